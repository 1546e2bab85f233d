-- The profile screen. Shown for a new game ("new"), a name typed into the box and OK make a fresh
-- profile with the demo car and the starting money, saved into a free slot. Shown for Continue
-- ("load"), a slot button loads that profile. Either way a slot can be chosen and deleted.
local CAR = "coupe_t"
local START_MONEY = 1000

local mode = "new"
local selected -- slot 1..6

local function slotFile(i) return "save" .. (i - 1) .. ".sav" end

local function refresh(self)
    local count, names = GetSaves()
    for i = 1, count do
        self.journal.value("slot" .. i, names[i])
        if names[i] == "" then
            SetTextString(self.screen, "slot" .. i .. "_label", "profile_free")
        else
            SetText(self.screen, "slot" .. i .. "_label", names[i])
        end
    end
    return names
end

local function create(self)
    local name = GetEditBoxText(self.screen, "name")
    if name == "" then
        SetTextString(self.screen, "hint", "profile_hint_name")
        return
    end
    SetProfileName(name)
    local _, names = GetSaves()
    if names[1] == "" or names[1] == name then
        -- A new player starts in the first slot, which then is this profile's own.
        NewPlayer(CAR)
        LoadGame(slotFile(1))
    else
        -- The first slot holds someone else: the profile goes into a free (or the oldest) slot.
        SetPlayerName(CAR)
    end
    InitPlayer()
    SetMoney(START_MONEY)
    SaveGame()
    self.journal.value("profile", GetProfileName(), GetPlayerName(), GetMoney())
    SendCommandByName("main", "screen", "shop")
end

local function load(self, i)
    local names = refresh(self)
    if names[i] == "" then return end
    LoadGame(slotFile(i))
    self.journal.value("loaded", GetProfileName(), GetMoney(), GetUpgrade(1))
    SendCommandByName("main", "screen", "shop")
end

dofile("Data/Scripts/screen.lua")("profile", function(self, command, params)
    if command == "show" then
        mode = params[1] == "load" and "load" or "new"
        selected = nil
        SetEditBoxText(self.screen, "name", "")
        SetWindowVisible(self.screen, "field", mode == "new")
        SetWindowActive(self.screen, "field", false)
        SetWindowActive(self.screen, "panel", false)
        SetWindowVisible(self.screen, "ok", mode == "new")
        SetTextString(self.screen, "hint", mode == "new" and "profile_hint_new" or "profile_hint_load")
        SetText(self.screen, "ok_label", mode == "new" and "OK" or "")
        UpdateInterfaceBuffers(self.screen)
        refresh(self)
        DeselectCurrentButton(self.screen)
        IMenuRight()
    elseif command == "key" and mode == "new" then
        local code = tonumber(params[1])
        if code ~= 13 and code ~= 27 and code ~= 9 then
            EditBoxProcessKey(self.screen, "name", code)
        end
    elseif command == "button" then
        local button = params[1]
        self.journal.value("button", button)
        local slot = tonumber(button:match("^slot(%d)$"))
        if button == "ok" then
            create(self)
        elseif slot then
            selected = slot
            SetText(self.screen, "selected", "slot " .. slot)
            if mode == "load" then load(self, slot) end
        elseif button == "delete" and selected then
            DeleteSave(slotFile(selected))
            refresh(self)
        elseif button == "back" then
            SendCommandByName("main", "screen", "menu")
        end
    end
end)
