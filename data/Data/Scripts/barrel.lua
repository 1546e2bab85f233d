-- A barrel on the race line, run by its own script (barrel_a.lua, ...): "damage" wears it down, and
-- at the end it bursts: an explosion at its middle (which may set off its neighbours), a shock wave
-- that checks a Moonward car close by, maybe a pickup from the mission's first line, and the barrel
-- is gone from sight and from the shots' way. While it stands it holds a place on the race's bonus
-- list (the radar marks it), with the mission line its pickup comes from. What is left of a burst
-- barrel (a copy of it) lies on its side where it stood until the race ends.
return function(name)
    local journal = dofile("Data/Scripts/journal.lua")(name)
    local HEALTH = 20
    local SHOCK = 8 -- the shock wave's reach
    local LINE = 0 -- the mission line of its pickup
    local RADIUS = 0.4 -- the drum's, for the shell lying on its side

    local shell -- what is left after the burst: the script's own copy, drawn every turn

    local barrel
    local health = HEALTH

    local function dropShell()
        if shell then Release(shell) end
        shell = nil
    end

    local function burst()
        local x, y, z = GetPosition(barrel)
        local _, _, middle = GetBBoxInfo(barrel)
        journal.value("burst", x, y, z)
        -- The shell is a copy taken while the barrel still shows; the copy is the script's (one
        -- nobody holds is gone at the end of the turn).
        dropShell()
        shell = Clone(barrel)
        if shell then
            AddRef(shell)
            SetRotation(shell, math.pi / 2, 0, 0)
            SetPosition(shell, x, y, RADIUS)
            journal.value("shell", GetPosition(shell))
        end
        EraseBonus(barrel)
        SetVisible(barrel, false)
        SetCollision(barrel, false)
        Explosion("rocket_exp2", x, y, middle or z + 0.75)
        -- Sparks off its lid and burning scraps thrown up.
        Shot("sparks4", barrel, 0, 0, 1.5)
        DirectionalExplosion("sparks4red", x, y, z + 1, 0, 0, 1)
        CheckIntersection(x, y, 0, SHOCK)
        -- A barrel blown up counts as a kill of this race.
        SetKills(GetScore() + 1)
        SetBonus(x, y, LINE)
    end

    local function handle(command, params)
        if command == "shot" then
            -- The handles differ from run to run; the damage is what counts.
            journal.command(command, { params[3] })
        else
            journal.command(command, params)
        end
        if command == "add_object" then
            if barrel then
                EraseBonus(barrel)
                Release(barrel)
            end
            dropShell()
            barrel = StringToPointer(params[1])
            health = HEALTH
            AddBonus(barrel, LINE)
        elseif command == "delete_object" then
            local gone = StringToPointer(params[1])
            EraseBonus(gone)
            Release(gone)
            if gone == barrel then
                barrel = nil
                dropShell()
            end
        elseif command == "release_all" then
            if barrel then
                EraseBonus(barrel)
                Release(barrel)
            end
            barrel = nil
            dropShell()
            return true
        elseif command == "damage" and barrel and health > 0 then
            health = health - (tonumber(params[1]) or 0)
            if health <= 0 then burst() end
        end
    end

    while true do
        while SetNextCommand(globalObject) do
            if journal.guard(handle, GetCurrentCommand(globalObject), { GetCurrentParams(globalObject) }) then return end
        end
        -- The shell goes with the race: without a level the race flag has no answer.
        if shell and IsRaceStarted() == nil then dropShell() end
        if shell then DrawDynamicObject(shell) end
        Update()
    end
end
