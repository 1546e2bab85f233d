-- The player's car. Its description names this script: "add_object" brings the car when the race
-- activates it. The driving keys set its inputs (Up accelerates, Down reverses, Left lifts the
-- nose, Space holds the wheels); "super" sets off the super weapon; "fire" and the weapon keys work
-- the guns (the weapons block). "game_over" (finish, time up, burned) holds the car for good and
-- tells "main".
local journal = dofile("Data/Scripts/journal.lua")("jeep")

local car
local accelerate, brake, lift = false, false, false
local over = false

local function drive()
    if not car then return end
    local throttle = (accelerate and 1 or 0) - (brake and 1 or 0)
    SetCarParams(car, throttle, lift and 30 or 0)
end

-- ---- weapons: "fire" holds the trigger, "prev_weapon"/"next_weapon" pick the gun, and every turn
-- the guns aim 40 m ahead of the car. Near the second lamp post a bolt leaps from its arm at the road.
local AIM_AHEAD = 40
local BOLT_FROM = { 90, -4.6, 3.4 }
local BOLT_AT = { 92, 0, 1.2 }
local BOLT_WHEN = 78 -- the car's x that sets the bolt off, once a race
local bolt, boltDone = nil, false

local function weaponsMount()
    -- Selecting mounts: going back and forth lands on the first weapon, now on the car.
    SetPrevWeapon(car)
    SetNextWeapon(car)
    boltDone = false
end

local function weaponsKey(action, down)
    if action == "fire" then
        SetShot(car, down)
        if down then PlayerShot() end
    elseif action == "next_weapon" and down then
        SetNextWeapon(car)
    elseif action == "prev_weapon" and down then
        SetPrevWeapon(car)
    end
end

local function weaponsRelease()
    if bolt then Release(bolt) end
    bolt = nil
end

local function weaponsTurn()
    if not car then return end
    local x, y, z = GetPlayerPosition()
    local dx, dy, dz = GetPlayerDirection()
    if dx then SetWeaponPos(x + AIM_AHEAD * dx, y + AIM_AHEAD * dy, z + AIM_AHEAD * dz) end
    if not boltDone and x >= BOLT_WHEN then
        boltDone = true
        local ax, ay, az = BOLT_AT[1] - BOLT_FROM[1], BOLT_AT[2] - BOLT_FROM[2], BOLT_AT[3] - BOLT_FROM[3]
        local length = math.sqrt(ax * ax + ay * ay + az * az)
        bolt = StartLighting("bolt", BOLT_FROM[1], BOLT_FROM[2], BOLT_FROM[3], ax / length, ay / length, az / length)
    end
    if bolt then
        -- 1 while it grows, 0 when it reached a car, -1 once it has grown out.
        local state = UpdateTrasser(bolt)
        if state ~= 1 then
            journal.value("bolt", state)
            weaponsRelease()
        end
    end
end
-- ---- end of weapons

local function handle(command, params)
    journal.command(command, params)
    if command == "add_object" then
        car = StringToPointer(params[1])
        over = false
        SendCommandByName("gamemenu", "car", params[1])
        weaponsMount()
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
        weaponsRelease()
        return true
    elseif command == "go" then
        drive()
    elseif command == "game_over" then
        over = true
        if car then SetShot(car, false) end
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
        else
            weaponsKey(action, down)
        end
        drive()
    end
end

while true do
    while SetNextCommand(globalObject) do
        if journal.guard(handle, GetCurrentCommand(globalObject), { GetCurrentParams(globalObject) }) then return end
    end
    if not over then weaponsTurn() end
    Update()
end
