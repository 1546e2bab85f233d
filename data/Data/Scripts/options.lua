-- The options: music and sound volumes in tenths, the mouse's speed, the speed blur, the texture
-- filtering and the easy switch, the screen the game runs on, and the keys: every action with its
-- key, the fire key reassigned (the next key released after "assign" takes the action; the
-- bindings are saved and take effect at once) and the default keys brought back. The settings
-- reach "config.cfg" when the game ends.
local ACTION = "Fire" -- the title of the action the screen rebinds
local STEP = 0.1
local MOUSE_STEP, MOUSE_MAX = 0.5, 3
local ANISO = { 0, 2, 4, 8, 16 } -- the filtering levels "aniso" steps through
local DEFAULT_KEYS = "Data/DefaultActions.cfg"
local LISTED = 15 -- action lines on the screen
-- While a key is awaited the mouse cursor is put away (a name the screen holds no object for), so
-- a click cannot press another button before the key comes.
local NO_CURSOR, CURSOR = "none", "cursor"

local function clamp(v) return math.max(0, math.min(1, math.floor(v * 10 + 0.5) / 10)) end

local function binding()
    local count, keys, titles = GetActionNames()
    for i = 1, count do
        if titles[i] == ACTION then return keys[i] end
    end
    return ""
end

local function nextAniso()
    local now = GetAnisoParam()
    for _, level in ipairs(ANISO) do
        if level > now then return level end
    end
    return ANISO[1]
end

local function refresh(self)
    SetText(self.screen, "music_value", string.format("%.1f", GetMusicVolume()))
    SetText(self.screen, "sound_value", string.format("%.1f", GetSoundVolume()))
    SetText(self.screen, "fire_key", binding())
    SetText(self.screen, "mouse_value", string.format("%.1f", GetMouse()))
    SetTextString(self.screen, "blur_value", GetBlurParam() ~= 0 and "options_on" or "options_off")
    SetTextString(self.screen, "easy_value", GetDifficulty() and "options_on" or "options_off")
    local aniso = GetAnisoParam()
    if aniso > 0 then
        SetText(self.screen, "aniso_value", string.format("%dx", aniso))
    else
        SetTextString(self.screen, "aniso_value", "options_off")
    end
    local _, height = GetScreenSize()
    SetText(self.screen, "screen_value", string.format("%d x %d", GetCurrentResolution(), height))
    SetText(self.screen, "bright_value", string.format("%.2f", GetBrightness()))
    local count, keys, titles = GetActionNames()
    for i = 1, LISTED do
        SetText(self.screen, "act" .. i, i <= count and (titles[i] .. ": " .. keys[i]) or "")
    end
end

local function awaiting(self) return GetCursor(self.screen) == NO_CURSOR end

-- Back from waiting for a key: the game's actions answer again and the cursor returns.
local function stopAwaiting(self)
    if awaiting(self) then
        SetActions(true)
        SetCursor(self.screen, CURSOR)
    end
end

dofile("Data/Scripts/screen.lua")("options", function(self, command, params)
    if command == "show" then
        SetWindowActive(self.screen, "panel", false)
        SetTextString(self.screen, "hint", "options_hint")
        if IsFileExists(DEFAULT_KEYS) then
            UnlockButton(self.screen, "defaults")
        else
            LockButton(self.screen, "defaults")
        end
        self.journal.value("display", GetCurrentResolution(), select(2, GetScreenSize()), GetBrightness())
        refresh(self)
        DeselectCurrentButton(self.screen)
        IMenuRight()
    elseif command == "hide" then
        stopAwaiting(self)
    elseif command == "key_assign" then
        SetAction(ACTION, params[1], false)
        -- The keys pressed in play change only when the bindings are written and read back.
        UpdateActions()
        stopAwaiting(self)
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
        elseif button == "mouse_down" or button == "mouse_up" then
            local mouse = GetMouse() + (button == "mouse_up" and MOUSE_STEP or -MOUSE_STEP)
            SetMouse(math.max(0, math.min(MOUSE_MAX, mouse)))
            self.journal.value("mouse", GetMouse())
        elseif button == "blur" then
            SetBlurParam(GetBlurParam() ~= 0 and 0 or 1)
            self.journal.value("blur", GetBlurParam())
        elseif button == "easy" then
            -- The switch lets the easy flag take the race's difficulty coefficients to 1; the flag
            -- goes with it, and the next race reads the coefficients again.
            local easy = not GetDifficulty()
            SetDifficulty(easy and 1 or 0)
            SetDifficult(easy)
            self.journal.value("easy", GetDifficulty(), GetDifficult())
        elseif button == "aniso" then
            SetAnisoParam(nextAniso())
            self.journal.value("aniso", GetAnisoParam())
        elseif button == "assign" then
            SetAssignKey()
            -- The key pressed for the action is no game action meanwhile.
            SetActions(false)
            SetCursor(self.screen, NO_CURSOR)
            SetTextString(self.screen, "hint", "options_hint_assign")
        elseif button == "defaults" then
            -- The default keys take effect as they load, and are the player's from now on.
            LoadActions(DEFAULT_KEYS)
            SaveActions()
            self.journal.value("fire_key", binding())
        elseif button == "back" then
            SendCommandByName("main", "screen", "menu")
        end
        refresh(self)
    end
end)
