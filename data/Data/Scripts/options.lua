-- The options: music and sound volumes in tenths, and the fire key reassigned (the next key
-- released after "assign" takes the action; the bindings are saved at once). The volumes reach
-- "config.cfg" when the game ends.
local ACTION = "Fire" -- the title of the action the screen rebinds
local STEP = 0.1

local function clamp(v) return math.max(0, math.min(1, math.floor(v * 10 + 0.5) / 10)) end

local function binding()
    local count, keys, titles = GetActionNames()
    for i = 1, count do
        if titles[i] == ACTION then return keys[i] end
    end
    return ""
end

local function refresh(self)
    SetText(self.screen, "music_value", string.format("%.1f", GetMusicVolume()))
    SetText(self.screen, "sound_value", string.format("%.1f", GetSoundVolume()))
    SetText(self.screen, "fire_key", binding())
end

dofile("Data/Scripts/screen.lua")("options", function(self, command, params)
    if command == "show" then
        SetWindowActive(self.screen, "panel", false)
        SetTextString(self.screen, "hint", "options_hint")
        refresh(self)
        DeselectCurrentButton(self.screen)
        IMenuRight()
    elseif command == "key_assign" then
        SetAction(ACTION, params[1], false)
        SaveActions()
        self.journal.value("fire_key", binding())
        SetTextString(self.screen, "hint", "options_hint")
        refresh(self)
    elseif command == "button" then
        local button = params[1]
        self.journal.value("button", button)
        if button == "music_down" or button == "music_up" then
            SetMusicVolume(clamp(GetMusicVolume() + (button == "music_up" and STEP or -STEP)))
            self.journal.value("music_volume", GetMusicVolume())
        elseif button == "sound_down" or button == "sound_up" then
            SetSoundVolume(clamp(GetSoundVolume() + (button == "sound_up" and STEP or -STEP)))
            self.journal.value("sound_volume", GetSoundVolume())
            PlaySpecialSound("click")
        elseif button == "assign" then
            SetAssignKey()
            SetTextString(self.screen, "hint", "options_hint_assign")
        elseif button == "back" then
            SendCommandByName("main", "screen", "menu")
        end
        refresh(self)
    end
end)
