-- The player's car. Its description names this script: "add_object" brings the car when the race
-- activates it. The driving keys set its inputs (Up accelerates, Down reverses, Left lifts the
-- nose, Space holds the wheels); "super" sets off the super weapon; "fire" and the weapon keys work
-- the guns (the weapons block); "mine" lays the configured mine (the mine block); "ability" spends
-- one ability on a push forward. Blasts that reach the car ("damage") wear its health down.
-- "game_over" (finish, time up, burned) holds the car for good, brings it to rest and tells "main".
local journal = dofile("Data/Scripts/journal.lua")("jeep")

local car
local accelerate, brake, lift = false, false, false
local over = false

local function drive()
    if not car then return end
    local throttle = (accelerate and 1 or 0) - (brake and 1 or 0)
    SetCarParams(car, throttle, lift and 30 or 0)
    -- The engine's note rises with the throttle open either way.
    SetEngineMoment(throttle ~= 0 and 0.75 or 0)
end

-- ---- abilities: one is a forward push that fades over two seconds, with the view stretched and
-- blurred while it lasts.
local PUSH, PUSH_TIME = 6, 2
local PUSH_SOUND = "bonus_fast" -- a rush that rides with the car while the push lasts
local pushLeft = 0

-- Where the car is and how fast it goes, for a sound that rides with it.
local function soundAtCar(start)
    local x, y, z = GetPlayerPosition()
    local dx, dy, dz = GetPlayerDirection()
    local v = GetPlayerSpeed()
    if start then
        PlaySpecialSound3D(PUSH_SOUND, x, y, z, true)
    elseif dx then
        UpdateSoundPosition(PUSH_SOUND, x, y, z, v * dx, v * dy, v * dz)
    end
end

local function abilityUse()
    local count, most = ActivateAbilities()
    journal.value("ability", count, most)
    if not count or count <= 0 then return end
    SetAbilitiesCount(count - 1)
    SendCommandByName("game_interface", "redraw_abilities", "")
    PlayerNitro(PUSH, PUSH_TIME)
    pushLeft = PUSH_TIME
    soundAtCar(true)
    SetMotionBlur(0.5)
    SetRadialBlur(0.5)
    local base = GetCameraPlayer() == 1 and GetFov2() or GetFov1()
    if base then SetFOV(base + 15) end
end

local function abilityTurn(dt)
    if pushLeft <= 0 then return end
    pushLeft = pushLeft - dt
    local base = GetCameraPlayer() == 1 and GetFov2() or GetFov1()
    if pushLeft > 0 then
        -- The effects fade with the push.
        local k = pushLeft / PUSH_TIME
        SetRadialBlur(0.5 * k)
        if base then SetFOV(base + 15 * k) end
        soundAtCar(false)
        return
    end
    StopSpecialSound(PUSH_SOUND)
    -- The gloom keeps its own blur on while the car is in it.
    if not IsInGloom(car) then SetMotionBlur(0) end
    SetRadialBlur(0)
    if base then SetFOV(base) end
end
-- ---- end of abilities

-- ---- weapons: "fire" holds the trigger, "prev_weapon"/"next_weapon" pick the gun, and every turn
-- the guns aim 40 m ahead of the car. Near the second lamp post a bolt leaps from its arm at the road.
local AIM_AHEAD = 40
local BOLT_FROM = { 90, -4.6, 3.4 }
local BOLT_AT = { 92, 0, 1.2 }
local BOLT_WHEN = 78 -- the car's x that sets the bolt off, once a race
local BOLT_DAMAGE = 15 -- what the bolt does to the car it strikes
local BOLT_KICK = 3 -- the strike throws the car up by this much speed
local bolt, boltDone = nil, false

-- A blast or a strike wears the car's health down; for a while after, the car is not set back on
-- the road for lying low while it lands.
local function hurt(amount)
    local alive = DamagePlayer(car, amount)
    SetTimeBonus(car)
    journal.value("health", alive, GetPlayerDamage())
end

-- The bolt reports the car it reached and leaves the rest to the car: the hit, and a jolt up.
local function struck(hit)
    if not car or hit ~= car or over then return end
    hurt(BOLT_DAMAGE)
    local mass = GetPlayerMass(car)
    if mass then ApplyImpulse(car, 0, 0, BOLT_KICK * mass) end
end

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
        local state, hit = UpdateTrasser(bolt)
        if state ~= 1 then
            journal.value("bolt", state)
            if state == 0 then struck(hit) end
            weaponsRelease()
        end
    end
end
-- ---- end of weapons

-- ---- the mine: "mine" lays the mine the race configuration names, once a race, on the road behind
-- the car. The engine's drop flag (SetMineShot) is set only for a car that has a mine, which no
-- operation gives, and nothing lays one from it, so the script lays it by name itself. The demo's spike is a timer mine on a
-- short fuse (weapons.dat): nothing in the demo carries the enemy component that sets a proximity
-- mine off, so one would lie there until its lifetime ran out and go without a blast.
local MINE_AT = { 0, 4, -0.8 } -- in the car's frame: its front is -Y, the road 0.8 below it
local mineLaid = false

local function mineLay()
    if mineLaid then return end
    local mine = select(11, GetRealCarInfo())
    if not mine or mine == "" then return end
    mineLaid = true
    Shot(mine, car, MINE_AT[1], MINE_AT[2], MINE_AT[3])
    journal.value("mine", mine, GetPlayerPosition())
end
-- ---- end of the mine

local function handle(command, params)
    journal.command(command, params)
    if command == "add_object" then
        car = StringToPointer(params[1])
        over = false
        SendCommandByName("gamemenu", "car", params[1])
        weaponsMount()
        mineLaid = false
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
    elseif command == "damage" and car and not over then
        -- A blast near the car.
        hurt(tonumber(params[1]) or 0)
    elseif command == "game_over" then
        over = true
        if car then
            SetShot(car, false)
            SetMineShot(car, false)
            -- The finish is watched from outside: the driver shows again if the bonnet view hid him.
            local driver = FindObject(car, "biker")
            if driver then SetObjectVisible(driver, true) end
        end
        pushLeft = math.min(pushLeft, 0.001)
        LockPlayer(true)
        SetEngineMoment(0)
        journal.value("over", IsDead(), IsDamageMsg())
        SendCommandByName("main", "race_over", "")
    elseif command == "key_action" then
        local action, down = params[1], params[2] == "1"
        -- The driving keys are followed whatever happens: a key let go after the finish or between
        -- races must not drive the next car.
        if action == "accelerate" then
            accelerate = down
        elseif action == "brake" then
            brake = down
        elseif action == "left" then
            lift = down
        elseif not car or over then
            return
        elseif action == "handbrake" then
            LockPlayer(down)
        elseif action == "super" and down then
            SmartBomb()
        elseif action == "mine" then
            if down then mineLay() end
        elseif action == "ability" and down then
            abilityUse()
        elseif action == "camera" and down then
            -- "main" changed the view earlier in this turn: from the bonnet the driver is not seen.
            local driver = FindObject(car, "biker")
            if driver then SetObjectVisible(driver, GetCameraPlayer() ~= 2) end
        else
            weaponsKey(action, down)
        end
        if not over then drive() end
    end
end

while true do
    while SetNextCommand(globalObject) do
        if journal.guard(handle, GetCurrentCommand(globalObject), { GetCurrentParams(globalObject) }) then return end
    end
    if not over then
        -- The inputs go to the car every turn: a bonus's push cuts the throttle for its time, and
        -- the car drives again once the cut ends.
        drive()
        weaponsTurn()
    elseif car and GetPlayerSpeed() > 0.5 then
        -- Past the line the held car is brought to rest.
        StopPlayerCar()
    end
    abilityTurn(GetDeltaTime())
    Update()
end
