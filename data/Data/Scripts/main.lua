-- The demo's main script. It answers what the engine sends it: the typed keys of the main window
-- come as "key" with the character code; Esc (27) saves the profile and ends the game.
-- "release_all" comes at shutdown.

-- The profile: named at start, loaded from its save slot when it has one.
local PROFILE = "Player"

local function loadProfile()
    SetProfileName(PROFILE)
    local count, names = GetSaves()
    for i = 1, count do
        if names[i] == PROFILE then
            LoadGame("save" .. (i - 1) .. ".sav")
            break
        end
    end
    if GetPlayerName() == "" then
        SetPlayerName("coupe_t")
    end
    InitPlayer()
end

local function quit()
    SetNumRacesPassed(GetNumRacesPassed())
    SaveGame()
    KillAllTasks()
end

local function handle(command, params)
    if command == "key" then
        if tonumber(params[1]) == 27 then
            quit()
        end
    elseif command == "standart_action" then
        if params[1] == "escape" and params[2] == "1" then
            quit()
        end
    end
end

loadProfile()
while true do
    while SetNextCommand(globalObject) do
        handle(GetCurrentCommand(globalObject), { GetCurrentParams(globalObject) })
    end
    Update()
end
