-- The demo's main script. It answers what the engine sends it: the typed keys of the main window
-- come as "key" with the character code; Esc (27) saves the profile and ends the game.
-- "release_all" comes at shutdown.

-- The profile: named at start, loaded from its save slot when it has one.
local PROFILE = "Player"

local function loadProfile()
-- The showroom floor; activating it starts its script "showroom", which shows the demo objects and
-- holds the floor from then on.
local floor = LoadRenderObject("floor.rdf", 225)
ActivateObject(floor, 20)
Release(floor)
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
-- The tune plays from the start; "fire" sounds the horn; outside a race, steering left or right runs
-- the engine sound from that side for as long as the key is held.

PlayMusic("tune.ogg")

local function handle(command, params)
    if command == "key" then
        if tonumber(params[1]) == 27 then
            quit()
        end
    elseif command == "standart_action" then
        if params[1] == "escape" and params[2] == "1" then
            quit()
        end
    elseif command == "key_action" then
        local action, down = params[1], params[2] == "1"
        if action == "fire" and down then
            PlaySpecialSound("horn")
        elseif (action == "left" or action == "right") and not IsRaceStarted() then
            if down then
                PlaySpecialSound3D("engine", action == "left" and -5 or 5, 0, 0, true)
            else
                StopSpecialSound("engine")
            end
        end
    end
end

loadProfile()
-- The menu screen; activating it starts its owner script "menu", which runs the menu and the HUD.
local menu = CreateInterface("menu", 0)
ActivateInterface(menu)
-- The showroom floor; activating it starts its script "showroom", which shows the demo objects and
-- holds the floor from then on.
local floor = LoadRenderObject("floor.rdf", 225)
ActivateObject(floor, 20)
Release(floor)
while true do
    while SetNextCommand(globalObject) do
        handle(GetCurrentCommand(globalObject), { GetCurrentParams(globalObject) })
    end
    Update()
end
