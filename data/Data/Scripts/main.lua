-- The game's main script: it holds the screens and leads the player from one to the next, runs the
-- race from its countdown to the results, and ends the game. Each screen's owner script runs the
-- screen and asks for the next one with "screen" (menu, profile, shop, options, records, race).
-- Esc goes back to the menu from a screen, and ends the game from the menu or a race.
local journal = dofile("Data/Scripts/journal.lua")("main")

local LEVEL = "level1"
local MUSIC = "tune.ogg"
local PRIZE = 250 -- money for a finished race

PlayMusic(MUSIC)

-- Every screen is made once; main keeps the one reference each and shows one at a time.
local screens = {}
for i, name in ipairs({ "menu", "profile", "shop", "options", "records" }) do
    screens[name] = CreateInterface(name, 0)
end
-- The race's two overlays: the panel (script "gamemenu") and the messages (script "game_interface").
local hud = CreateInterface("hud", 0)
local messages = CreateInterface("messages", 2)

-- The showroom floor; activating it starts its script "showroom", which shows the car between races.
-- Main keeps the floor to tell that script, the floor's own, what the screens show.
local floor = LoadRenderObject("floor.rdf", 225)
ActivateObject(floor, 20)

local current -- the name of the screen shown, nil during a race
local race -- the race under way: { phase, clock, count }
local closing -- how far the screen has faded out on the way out of the game

-- A screen going away lets go of its hovered button: clicks on another screen would reach it.
local function hide()
    if current then
        DeselectCurrentButton(screens[current])
        DeactivateObject(screens[current])
    end
    current = nil
end

local function show(name, how)
    hide()
    current = name
    -- The showroom fills the menu's sides and shows the car beside the shop.
    SendCommandByObject(floor, name == "menu" and "show" or (name == "shop" and "car" or "hide"), "")
    ActivateInterface(screens[name])
    -- After the activation: the owner script is running now and takes the command.
    SendCommandByName(name, "show", how or "")
    journal.value("screen", name)
end

-- From a screen the game fades out first, the screens no longer pressed and the music stopped; a race
-- ends at once.
local function quit()
    if closing then return end
    journal.value("quit", GetProfileName())
    if race then
        KillAllTasks()
        return
    end
    SendCommandByCategory("interface", "closing", "")
    StopPlayingMusic()
    closing = 0
end

local function fadeOut(dt)
    closing = math.min(1, closing + math.max(dt * 4, 0.2))
    SetFade(closing)
    if closing >= 1 then KillAllTasks() end
end

-- The race: the mission's checkpoints, the level with its sky, the overlays, and a countdown with
-- the car held before the clocks run.
local function startRace()
    hide()
    SendCommandByName("showroom", "hide", "")
    -- The race has the tune once through; "stop_music" brings back the menu's loop.
    PlayMusicNoLoop(MUSIC)
    -- The player's car is Moonward: the level's halo and whirl strike the Sunward side only.
    SetPlayerType(true)
    InitLevel(LEVEL)
    InitSky()
    SilentActivateInterface(hud)
    SilentActivateInterface(messages)
    StartLevel()
    LockPlayer(true)
    race = { phase = "countdown", clock = 0, count = 4 }
    journal.value("race", LEVEL)
end

local function endRace()
    StopLevel()
    DeleteLevel()
    DeactivateInterface(hud)
    DeactivateInterface(messages)
    race = nil
end

-- The results of a finished race: the record, the score table, the prize and the profile saved.
local function results()
    local time = race.time
    local medal = time < 40 and 0 or (time < 60 and 1 or 2)
    journal.value("race_time", time)
    journal.value("record", SetLevelMedalTime(0, time, medal))
    journal.value("score_table", CheckPlayerRecords(1))
    journal.value("score", AddScore(GetNumRacesPassed() + 1))
    SaveScore()
    SetNumRacesPassed(GetNumRacesPassed() + 1)
    SetMoney(GetMoney() + PRIZE)
    journal.value("money", GetMoney())
    SaveGame()
    endRace()
    show("records", "results")
end

local function updateRace(dt)
    race.clock = race.clock + dt
    if race.phase == "countdown" then
        -- 3, 2, 1, then the race: one number a second.
        local count = 3 - math.floor(race.clock)
        if count < race.count then
            race.count = count
            SendCommandByName("game_interface", "count", count > 0 and tostring(count) or "go")
            if count <= 0 then
                race.phase, race.clock = "racing", 0
                LockPlayer(false)
                -- Keys held through the countdown drive from the start.
                SendCommandByName("jeep", "go", "")
                SetLevelStarted(true)
                SetUpdateTime(true)
            end
        end
    elseif race.phase == "over" and race.clock > 2 then
        -- The finish stays on the screen for two seconds.
        if race.raced and race.result == "finish" then
            results()
        else
            endRace()
            show("menu")
        end
    end
end

local function handle(command, params)
    journal.command(command, params)
    if command == "screen" then
        if params[1] == "race" then startRace() else show(params[1], params[2]) end
    elseif command == "quit" then
        quit()
    elseif command == "race_over" then
        -- From "jeep": the race is over for the car; what ended it comes from "game_interface".
        if race and race.phase ~= "over" then
            race.raced = race.phase == "racing"
            race.time = race.clock
            race.phase, race.clock = "over", 0
        end
    elseif command == "race_result" then
        if race then race.result = params[1] end
    elseif command == "defeat" or command == "player_dead" then
        if race and race.phase == "racing" then
            race.result = "lost"
            race.time = race.clock
            race.phase, race.clock = "over", 0
        end
    elseif command == "player_restart" then
        SendCommandByName("game_interface", "show_message", "restart")
    elseif command == "update_bonus_list" then
        SendCommandByName("game_interface", "bonus", params[1] or "")
    elseif command == "say_critical" or command == "say_super" or command == "say_show" then
        PlaySpecialSound("horn")
    elseif command == "stop_music" then
        journal.value("music", GetMusicName())
        PlayMusic(MUSIC)
    elseif command == "standart_action" then
        if params[1] == "escape" and params[2] == "1" then
            -- In a race, as on the menu, Esc ends the game; a screen goes back to the menu.
            if race or current == "menu" then
                quit()
            else
                show("menu")
            end
        end
    elseif command == "key_action" then
        local action, down = params[1], params[2] == "1"
        if race and down and action == "camera" then
            journal.value("camera", ChangeGameCamera())
        end
    elseif command == "release_all" then
        for _, screen in pairs(screens) do Release(screen) end
        Release(floor)
        Release(hud)
        Release(messages)
        return true
    end
end

-- The profile of the last run is not loaded here: the menu's Continue picks a slot.
InitPlayer()
show("menu")
while true do
    while SetNextCommand(globalObject) do
        if journal.guard(handle, GetCurrentCommand(globalObject), { GetCurrentParams(globalObject) }) then return end
    end
    if race then
        journal.guard(updateRace, GetDeltaTime())
    elseif closing then
        journal.guard(fadeOut, GetDeltaTime())
    end
    Update()
end
