-- The main menu: New, Continue, Records, Options and Exit, by mouse or by the arrow keys and Enter.
-- It names the profile in play with its mission and the time to beat on the level; Continue is
-- offered once a save slot holds a profile.
local function anySave()
    local count, names = GetSaves()
    for i = 1, count do
        if names[i] ~= "" then return true end
    end
    return false
end

dofile("Data/Scripts/screen.lua")("menu", function(self, command, params)
    if command == "show" then
        SetText(self.screen, "profile", GetProfileName())
        if GetProfileName() ~= "" then
            local mission, best = GetCurrentRace(), GetLevelTime(0)
            self.journal.value("progress", mission, best)
            local text = string.format("Mission %d   record %d:%05.2f", mission, math.floor(best / 60), best % 60)
            SetText(self.screen, "progress", text)
        else
            SetText(self.screen, "progress", "")
        end
        SetWindowActive(self.screen, "panel", false)
        SetTextString(self.screen, "hint", "menu_hint")
        -- The focus starts on the first button.
        DeselectCurrentButton(self.screen)
        IMenuRight()
    elseif command == "button" then
        local button = params[1]
        self.journal.value("button", button)
        if button == "new" then
            SendCommandByName("main", "screen", "profile,new")
        elseif button == "continue" then
            if anySave() then
                SendCommandByName("main", "screen", "profile,load")
            else
                SetTextString(self.screen, "hint", "menu_hint_nosave")
            end
        elseif button == "records" then
            SendCommandByName("main", "screen", "records")
        elseif button == "options" then
            SendCommandByName("main", "screen", "options")
        elseif button == "exit" then
            SendCommandByName("main", "quit", "")
        end
    end
end)
