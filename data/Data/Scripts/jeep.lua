-- The player's car. Its description names this script: "add_object" brings the car when the race
-- activates it. The driving keys set its inputs (Up accelerates, Down reverses, Left lifts the
-- nose, Space holds the wheels); "super" sets off the super weapon. "game_over" (finish, time up,
-- burned) holds the car for good and tells "main".
local journal = dofile("Data/Scripts/journal.lua")("jeep")

local car
local accelerate, brake, lift = false, false, false
local over = false

local function drive()
    if not car then return end
    local throttle = (accelerate and 1 or 0) - (brake and 1 or 0)
    SetCarParams(car, throttle, lift and 30 or 0)
end

local function handle(command, params)
    journal.command(command, params)
    if command == "add_object" then
        car = StringToPointer(params[1])
        over = false
        SendCommandByName("gamemenu", "car", params[1])
        drive()
    elseif command == "delete_object" then
        -- Each activation handed this script a reference to the car; its deactivation ends it.
        local gone = StringToPointer(params[1])
        Release(gone)
        if gone == car then car = nil end
    elseif command == "release_all" then
        -- Shutdown in the middle of a race: the car's deactivation never reaches this script, so
        -- the reference its activation handed over goes back here.
        if car then Release(car) end
        car = nil
        return true
    elseif command == "go" then
        drive()
    elseif command == "game_over" then
        over = true
        LockPlayer(true)
        SendCommandByName("main", "race_over", "")
    elseif command == "key_action" and car and not over then
        local action, down = params[1], params[2] == "1"
        if action == "accelerate" then
            accelerate = down
        elseif action == "brake" then
            brake = down
        elseif action == "left" then
            lift = down
        elseif action == "handbrake" then
            LockPlayer(down)
        elseif action == "super" and down then
            SmartBomb()
        end
        drive()
    end
end

while true do
    while SetNextCommand(globalObject) do
        if journal.guard(handle, GetCurrentCommand(globalObject), { GetCurrentParams(globalObject) }) then return end
    end
    Update()
end
