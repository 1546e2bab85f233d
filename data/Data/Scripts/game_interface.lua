-- The race's messages ("messages"): the countdown, what the race reports ("finish!", "lost!",
-- "burn!", the bonuses' words...), the danger sign while the car tips over, and the abilities line.
-- A message stays two seconds. The outcome of the race goes on to "main".
local journal = dofile("Data/Scripts/journal.lua")("game_interface")

local OUTCOMES = { ["finish!"] = "finish", ["lost!"] = "lost", ["burn!"] = "burn", ["proigrish!"] = "lost" }
local screen
local shownFor = 0

local function say(text, key)
    if not screen then return end
    if key then SetTextString(screen, "message", text) else SetText(screen, "message", text) end
    shownFor = 2
end

local function handle(command, params)
    journal.command(command, params)
    if command == "add_object" then
        screen = StringToPointer(params[1])
        SetWindowVisible(screen, "danger", false)
        SetText(screen, "message", "")
        SetText(screen, "abilities", "")
    elseif command == "delete_object" then
        Release(StringToPointer(params[1]))
        screen = nil
    elseif command == "show_message" then
        say(params[1], true)
        if OUTCOMES[params[1]] then SendCommandByName("main", "race_result", OUTCOMES[params[1]]) end
    elseif command == "count" then
        say(params[1] == "go" and "msg_go" or params[1], params[1] == "go")
    elseif command == "bonus" then
        say("bonus_" .. params[1], true)
    elseif command == "danger" then
        if screen then SetWindowVisible(screen, "danger", params[1] == "true") end
    elseif command == "redraw_abilities" then
        if screen then
            local count = GetBonusesCount()
            journal.value("bonuses", count)
            SetText(screen, "abilities", string.rep("*", count))
        end
    elseif command == "release_all" then
        if screen then Release(screen) end
        return true
    end
end

while true do
    while SetNextCommand(globalObject) do
        if journal.guard(handle, GetCurrentCommand(globalObject), { GetCurrentParams(globalObject) }) then return end
    end
    if screen then
        if shownFor > 0 then
            shownFor = shownFor - GetDeltaTime()
            if shownFor <= 0 then SetText(screen, "message", "") end
        end
        UpdateInterface(screen)
    end
    Update()
end
