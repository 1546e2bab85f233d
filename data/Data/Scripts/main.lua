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
local MISSION = "mission1.txt"
local MEDALS = { 27, 31, 36 } -- gold, silver, bronze
local TIME_LIMIT = 120 -- the countdown on the panel when the level has no time to beat
local ABILITIES = 3 -- the most abilities a car carries
local GLOOM_TIME = 15 -- the gloom portal's shadow view lasts as long
-- The renderer's light factor, and the dimmer one in the gloom: it scales the sun and the ambient
-- colour of the level's lit solids, which at 1 look as the fixed-function drawing lights them.
local LIGHT, GLOOM_LIGHT = 1, 0.5
local GLOOM_CAST = { 0.05, 0.08, 0.3 } -- the gloom's cold cast on what the level's light lights
local TRAFFIC = 0 -- the level's road has no traffic of its own
local FINISH_SCALE = 0.5 -- the finish plays in slow motion

-- The next checkpoint of the mission, its flag moved ahead of the car each time one is passed.
local function checkpointShow(index)
    local number, target, side, x = GetCheckPointInfo(index - 1)
    if not x then return nil end
    ChangeCheckpointPosition(x, side == 1 and 5.5 or -5.5)
    return { index = index, x = x, number = number, target = target }
end

local function checkpointPassed(checkpoint)
    local time = GetTime2()
    local m, s, h = GetFormattedTime(time)
    local behind = time - checkpoint.target
    local text = string.format("%d:%02d.%02d %s%.2f", m, s, h, behind < 0 and "-" or "+", math.abs(behind))
    SendCommandByName("game_interface", "split", checkpoint.number .. "," .. text)
    journal.value("checkpoint", checkpoint.number, time)
    PlaySpecialSound2("click")
    -- The mission's chance of a bonus on the road ahead.
    SetBonus(checkpoint.x + 25, 0, checkpoint.index - 1)
    race.checkpoint = checkpointShow(checkpoint.index + 1)
end

local function startRace()
    hide()
    SendCommandByName("showroom", "hide", "")
    -- The race has the tune once through; "stop_music" brings back the menu's loop.
    PlayMusicNoLoop(MUSIC)
    journal.value("tune", GetMusicName())
    -- The player's car is Moonward: the level's halo and whirl strike the Sunward side only.
    SetPlayerType(true)
    -- The renderer starts at a factor of its own; the race's light is the demo's.
    SetLightCoeff(LIGHT)
    InitLevel(LEVEL)
    InitSky()
    -- The mission's sources are level objects: it is read once the level stands.
    LoadMissionInfo(MISSION)
    SetLevelTransportCount(TRAFFIC)
    -- The difficulty coefficients are read again for this race (the easy switch may have changed).
    SetDifficult(GetDifficult() == 1)
    journal.value("difficulty", GetDifficulty(), GetDifficult())
    -- The clocks of the last race must not run on into this one.
    ClearLevelTimers()
    SetMedalTimes(MEDALS[1], MEDALS[2], MEDALS[3])
    SetNumRounds(1)
    -- The bonus list lasts across races; this race starts with none.
    ClearBonuses()
    SetMaxAbilityCount(ABILITIES)
    SilentActivateInterface(hud)
    SilentActivateInterface(messages)
    StartLevel()
    -- The start set the countdown to its own ten minutes; the race has the level's time to beat
    -- (running past it loses), or a limit of its own when the level has none.
    local limit = GetLevelMedalTime(0)
    SetLevelTime(limit and limit > 0 and limit or TIME_LIMIT)
    -- The kills on the panel and the records are this race's.
    SetKills(0)
    -- Abilities saved up as mana in earlier races come back, as many as the car carries.
    local carried = math.min(GetPlayerMana(), ABILITIES)
    SetAbilitiesCount(carried)
    SetPlayerMana(GetPlayerMana() - carried)
    SendCommandByName("game_interface", "redraw_abilities", "")
    SetCameraPlayer(false)
    SetCamera(false)
    -- Loading took long: the race's first turn must not count it.
    ClearGlobalTimer()
    LockPlayers(true)
    -- The game-time scale the race found, given back when it ends.
    race = { phase = "countdown", clock = 0, count = 4, scale = GetTemp() }
    local count = GetCheckPointsCount()
    if count > 0 then
        ShowCheckPoint()
        race.checkpoint = checkpointShow(1)
    end
    journal.value("race", LEVEL, count)
end

-- The gloom dims the renderer's light and gives the level's light a cold cast (its ambient part:
-- the sky sets the sun's colour and direction every frame, but leaves that alone). The level's own
-- ambient comes back when the gloom ends.
local function setAmbient(rgb)
    local light = { GetLight() }
    if #light < 15 then return nil end
    local was = { light[9], light[10], light[11] }
    light[9], light[10], light[11] = rgb[1], rgb[2], rgb[3]
    SetLight(unpack(light))
    return was
end

local function gloomOn()
    local was = setAmbient(GLOOM_CAST)
    if was and not race.ambient then race.ambient = was end
    local light = { GetLight() }
    journal.value("gloom_cast", light[9], light[10], light[11])
    SetLightCoeff(GLOOM_LIGHT)
    race.gloom = GLOOM_TIME
end

local function gloomOff()
    race.gloom = nil
    if race.ambient then setAmbient(race.ambient) end
    race.ambient = nil
    SetLightCoeff(LIGHT)
end

local function endRace()
    -- Nothing the race set outlives it: the clock runs again at its own pace, the light is whole.
    if race.paused then StartGlobalTimer() end
    if race.gloom then gloomOff() end
    SetTemp(race.scale)
    SetLightCoeff(LIGHT)
    SetMotionBlur(0)
    SetRadialBlur(0)
    -- What the race left sounding stops with it, and the menu's loop comes back.
    StopSounds()
    StopPlayingMusic()
    PlayMusic(MUSIC)
    StopLevel()
    DeleteLevel()
    -- The log lists what lives on after each race, class by class: a leak shows as a count that grows.
    DumpObjects()
    DeactivateInterface(hud)
    DeactivateInterface(messages)
    race = nil
end

-- The results of a finished race: the record, the score table, the prize and the profile saved.
local function results()
    local time = GetRoundTime()
    local medal = 2
    for i = 2, 0, -1 do
        if time <= GetMedalTime(i) then medal = i end
    end
    journal.value("race_time", time, medal)
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

-- The car is over the line past the finish: whatever it carries is kept for the next race.
local function raceOver()
    -- The round's time is kept for the results and the finish message.
    SetRoundTime(race.time)
    SendCommandByName("game_interface", "rounds", "")
    local count = ActivateAbilities()
    if count and count > 0 then SetPlayerMana(GetPlayerMana() + count) end
    SetAbilitiesCount(0)
    journal.value("mana", GetPlayerMana())
    -- The camera circles the car while the result shows, in slow motion; the bonnet view has
    -- nothing to circle, so the view goes back to the side first.
    if GetCameraPlayer() == 2 then
        SetCameraPlayer(false)
        SetFOV(GetFov1())
    end
    SetCamera(true)
    SetTemp(race.scale * FINISH_SCALE)
end

-- "look_back" held turns the following view round to look behind the car; let go, it turns back.
-- The bonnet view has no angle of its own to turn.
local function lookBack(down)
    if down and not race.lookBack and GetCameraPlayer() ~= 2 then
        race.lookBack = GetCameraZAngle()
        if race.lookBack then SetCameraZAngle(race.lookBack + math.pi) end
        journal.value("look_back", GetCameraZAngle())
    elseif not down and race.lookBack then
        SetCameraZAngle(race.lookBack)
        race.lookBack = nil
        journal.value("look_ahead", GetCameraZAngle())
    end
end

-- "pause" stops the frame clock and starts it again; the turn it starts again takes no time.
local function pause()
    race.paused = not race.paused
    if race.paused then
        StopGlobalTimer()
    else
        StartGlobalTimer()
        ClearTimer()
    end
    journal.value("paused", race.paused)
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
                LockPlayers(false)
                -- Keys held through the countdown drive from the start.
                SendCommandByName("jeep", "go", "")
                SetLevelStarted(true)
                SetUpdateTime(true)
            end
        end
    elseif race.phase == "racing" then
        local checkpoint = race.checkpoint
        if checkpoint and IsRaceStarted() and GetPlayerPosition() >= checkpoint.x then checkpointPassed(checkpoint) end
    end
    if race.gloom then
        race.gloom = race.gloom - dt
        if race.gloom <= 0 then gloomOff() end
    end
    -- The finish stays on the screen for two seconds (slow motion makes them one of game time).
    if race.phase == "over" and race.clock > 2 * FINISH_SCALE then
        if race.raced and race.result == "finish" then
            results()
        else
            endRace()
            show("menu")
        end
    end
end

-- The slow-down bonus leaves the braking to the script: the car loses 40% of its speed at once.
local function slowDown()
    local speed, mass = GetPlayerSpeed(), GetPlayerMass()
    local dx, dy, dz = GetPlayerDirection()
    if not (dx and mass) then return end
    -- Against the way the car moves, which is its nose's way unless it rolls backwards.
    local k = -0.4 * speed * mass * (IsPlayerMoveForward() and 1 or -1)
    PlayerApplyImpulse(k * dx, k * dy, k * dz)
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
            -- The level's own clock, which ran only while the race did.
            race.time = GetTime2()
            race.phase, race.clock = "over", 0
            raceOver()
        end
    elseif command == "race_result" then
        if race then race.result = params[1] end
    elseif command == "defeat" or command == "player_dead" then
        if race and race.phase == "racing" then
            journal.value("dead", IsPlayerDead(), IsDamageMsg())
            race.result = "lost"
            race.time = GetTime2()
            race.phase, race.clock = "over", 0
            raceOver()
        end
    elseif command == "player_restart" then
        SendCommandByName("game_interface", "show_message", "restart")
    elseif command == "update_bonus_list" then
        if params[1] == "brake" and race then slowDown() end
        -- The shadow world is darker while the gloom view lasts.
        if params[1] == "gloom" and race then gloomOn() end
        SendCommandByName("game_interface", "bonus", params[1] or "")
    elseif command == "say_critical" or command == "say_super" or command == "say_show" then
        -- One horn at a time: a second call while it sounds is not heard as a new one.
        if not IsSpecialSoundPlaying("horn") then PlaySpecialSound("horn") end
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
        if race and down and action == "pause" then
            pause()
        elseif race and action == "look_back" then
            lookBack(down)
        elseif race and down and action == "camera" then
            -- The next view, with the field of view of its preset (the side views have their own).
            ChangeGameCamera()
            local mode = GetCameraPlayer()
            SetFOV(mode == 1 and GetFov2() or GetFov1())
            journal.value("camera", mode)
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
