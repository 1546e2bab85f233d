-- What every screen's owner script shares: the screen's handle while it is shown (its activation
-- brings "add_object" with a reference, its deactivation "delete_object"), the arrow keys moving
-- the focus over the buttons, and the journal. `run` reads the commands each turn, hands the
-- screen's own ones to `handle` ("hide" too, before the screen goes) and draws the screen while it
-- is shown. Once the game is closing (main tells every screen) the buttons press nothing more.
return function(name, handle, each)
    local journal = dofile("Data/Scripts/journal.lua")(name)
    local self = { journal = journal }
    while true do
        while SetNextCommand(globalObject) do
            local command, params = GetCurrentCommand(globalObject), { GetCurrentParams(globalObject) }
            journal.command(command, params)
            if command == "add_object" then
                self.screen = StringToPointer(params[1])
            elseif command == "delete_object" then
                if self.screen then journal.guard(handle, self, "hide", {}) end
                Release(StringToPointer(params[1]))
                self.screen = nil
            elseif command == "closing" then
                self.closing = true
            elseif command == "release_all" then
                if self.screen then Release(self.screen) end
                return
            elseif self.screen and command == "menu_up" then
                IMenuRight()
            elseif self.screen and command == "menu_down" then
                IMenuLeft()
            elseif self.screen and not self.closing then
                journal.guard(handle, self, command, params)
            end
        end
        if self.screen then
            if each then journal.guard(each, self) end
            UpdateInterface(self.screen)
        end
        Update()
    end
end
