-- The profile screen. Shown for a new game ("new"), a name typed into the box and OK make a fresh
-- profile with the demo car and the starting money, saved into a free slot. Shown for Continue
-- ("load"), a slot button loads that profile. Either way a slot can be chosen and deleted: the
-- first Delete warns, a second one erases. Erasing the profile in play leaves the game without one.
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

-- The profile in play: its medals so far.
local function progress(self)
    if GetProfileName() == "" then
        SetText(self.screen, "progress", "")
        return
    end
    local gold, silver, bronze = GetMedalsCount(0), GetMedalsCount(1), GetMedalsCount(2)
    self.journal.value("medals", gold, silver, bronze)
    local text = string.format("%s   gold %d   silver %d   bronze %d", GetProfileName(), gold, silver, bronze)
    SetText(self.screen, "progress", text)
end

local function warn(self, on, slot)
    SetWindowVisible(self.screen, "warning", on)
    UpdateInterfaceBuffers(self.screen)
    if on then
        SetText(self.screen, "warning_text", "Delete slot " .. slot .. "? Press Delete again.")
    else
        SetText(self.screen, "warning_text", "")
    end
end

local function create(self)
    if EditBoxTextLength(self.screen, "name") == 0 then
        SetTextString(self.screen, "hint", "profile_hint_name")
        return
    end
    local name = GetEditBoxText(self.screen, "name")
    SetProfileName(name)
    -- Whatever the last profile raced (rounds, standings, bonuses, races passed) is not this one's,
    -- and a new game starts at the first race even under the same name.
    ClearGameData()
    SetNumRacesPassed(1)
    SetCurrentRace(1)
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
    -- A slot whose name reads but whose body does not is listed all the same: the screen stays and
    -- says so, and the profile in play is left as it was.
    if not LoadGame(slotFile(i)) then
        SetTextString(self.screen, "hint", "profile_hint_damaged")
        self.journal.value("not loaded", slotFile(i))
        return
    end
    -- What the last profile raced is not this one's.
    ClearGameData()
    self.journal.value("loaded", GetProfileName(), GetMoney(), GetUpgrade(1))
    SendCommandByName("main", "screen", "shop")
end

-- Delete needs a slot to act on: it stays locked until one is chosen.
local function choose(self, slot)
    selected = slot
    SetText(self.screen, "selected", slot and ("slot " .. slot) or "")
    if slot then
        UnlockButton(self.screen, "delete")
    else
        LockButton(self.screen, "delete")
    end
end

local function erase(self, slot)
    local names = refresh(self)
    DeleteSave(slotFile(slot))
    choose(self, nil)
    if names[slot] ~= "" and names[slot] == GetProfileName() then
        -- The profile in play is gone: the game goes on without one.
        SetProfileName("")
        ClearGameData()
        self.journal.value("profile", GetProfileName(), GetMoney())
    end
    refresh(self)
    progress(self)
end

dofile("Data/Scripts/screen.lua")("profile", function(self, command, params)
    if command == "show" then
        mode = params[1] == "load" and "load" or "new"
        choose(self, nil)
        SetEditBoxText(self.screen, "name", "")
        SetWindowVisible(self.screen, "field", mode == "new")
        SetWindowActive(self.screen, "field", false)
        SetWindowActive(self.screen, "panel", false)
        SetWindowActive(self.screen, "warning", false)
        SetWindowVisible(self.screen, "ok", mode == "new")
        warn(self, false)
        -- In the administrator's mode every profile is saved to and loaded from the one file.
        local admin = IsAdmin()
        self.journal.value("admin", admin)
        if admin then
            SetTextString(self.screen, "hint", "profile_hint_admin")
        else
            SetTextString(self.screen, "hint", mode == "new" and "profile_hint_new" or "profile_hint_load")
        end
        SetText(self.screen, "ok_label", mode == "new" and "OK" or "")
        UpdateInterfaceBuffers(self.screen)
        refresh(self)
        progress(self)
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
        -- Anything but a second Delete takes the warning back.
        local confirmed = button == "delete" and IsWindowVisible(self.screen, "warning")
        warn(self, false)
        if button == "ok" then
            create(self)
        elseif slot then
            choose(self, slot)
            if mode == "load" then load(self, slot) end
        elseif button == "delete" and selected then
            if confirmed then
                erase(self, selected)
            else
                warn(self, true, selected)
            end
        elseif button == "back" then
            SendCommandByName("main", "screen", "menu")
        end
    end
end)
