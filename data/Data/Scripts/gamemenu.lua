-- The race panel ("hud"): the countdown clock and the engine heat, the money, the fitted
-- equipment, the progress of the player and the rival, and the health bar over the car. The race
-- sends it "set_money", "init_game_interface", "update_game_interface", "change_money" and
-- "engine_temp"; "jeep" hands it the car. Beside the countdown it shows the race's own time, the
-- gold time to beat, the lap and the car's damage, and a speedometer at the bottom left with two
-- more dials beside it; the engine's icon goes out while it overheats.
local journal = dofile("Data/Scripts/journal.lua")("gamemenu")

local ITEMS = { "plate", "v6", "v8", "nitro", "nitro2" }
local NEEDLE_AT = { 90, 724 } -- the speedometer's pivot on the 1024 x 768 grid, under its dial
-- Two more dials beside it: the abilities the car carries against the most it may, and the race's
-- time against the gold time. Their needles sweep as the speedometer's does, from 47 degrees at
-- nought through 180 more at full.
local ABILITIES_AT, GOLD_AT = { 230, 724 }, { 370, 724 }
local REST, SWEEP = 47, 180
local hud, car, needle, rigid
local abilitiesNeedle, goldNeedle

-- The needles' own turns: the second kind is drawn 44 degrees back, the third 129 on.
local function dials()
    local count, most = ActivateAbilities()
    local carried = count and most and most > 0 and math.min(count / most, 1) or 0
    if abilitiesNeedle then
        DrawArrow2(abilitiesNeedle, ABILITIES_AT[1], ABILITIES_AT[2], REST + SWEEP * carried + 44)
    end
    local gold = GetMedalTime(0)
    local part = gold and gold > 0 and math.min(GetTime2() / gold, 1) or 0
    if goldNeedle then DrawArrow3(goldNeedle, GOLD_AT[1], GOLD_AT[2], REST + SWEEP * part - 129) end
end

local function releaseNeedles()
    for _, n in pairs({ needle, abilitiesNeedle, goldNeedle }) do Release(n) end
    needle, abilitiesNeedle, goldNeedle = nil, nil, nil
end

local function clock(m, s, h)
    return string.format("%d:%02d.%02d", m or 0, s or 0, h or 0)
end

local function showMoney(amount)
    if hud then SetText(hud, "money", string.format("%d", tonumber(amount) or 0)) end
end

local function handle(command, params)
    journal.command(command, params)
    if command == "add_object" then
        hud = StringToPointer(params[1])
        -- The needle is drawn above the panel (one layer up) for as long as the panel is shown.
        needle = CreateArrow("needle.rdf", 1)
        abilitiesNeedle = CreateArrow("needle.rdf", 1)
        goldNeedle = CreateArrow("needle.rdf", 1)
        SetText(hud, "dial_abilities_label", "abilities")
        SetText(hud, "dial_gold_label", "gold")
        -- The item icons show only what the car carries (InitGameInterface shows them).
        for _, name in ipairs(ITEMS) do SetWindowVisible(hud, name, false) end
        SetWindowVisible(hud, "hot", false)
    elseif command == "delete_object" then
        Release(StringToPointer(params[1]))
        releaseNeedles()
        hud, car = nil, nil
    elseif command == "car" then
        car = StringToPointer(params[1])
        -- The dial's figure reads the car's body; a car without one shows none.
        rigid = IsRigid(car)
    elseif command == "set_money" or command == "change_money" then
        journal.value("money", tonumber(params[1]))
        showMoney(params[1])
    elseif command == "init_game_interface" then
        if hud then
            InitGameInterface(hud)
            SetText(hud, "driver", GetProfileName())
            journal.value("standings", table.concat(SetPlayersPanel() or {}, " "))
            EngineState(hud, true)
            local gold = GetMedalTime(0)
            SetText(hud, "medal", gold and "gold " .. clock(GetFormattedTime(gold)) or "")
        end
    elseif command == "update_game_interface" then
        if hud then UpdateGameInterface(hud) end
    elseif command == "engine_temp" then
        if hud then
            SetWindowVisible(hud, "hot", params[1] == "1")
            EngineState(hud, params[1] ~= "1")
        end
    elseif command == "release_all" then
        if hud then Release(hud) end
        releaseNeedles()
        return true
    end
end

while true do
    while SetNextCommand(globalObject) do
        if journal.guard(handle, GetCurrentCommand(globalObject), { GetCurrentParams(globalObject) }) then return end
    end
    if hud then
        if car then
            -- The bar sits above the car; it is out of sight while the car is behind the camera.
            local x, y, length = GetHelthBarCoord(car)
            if x and CheckVisible(car) then
                SetWindowPosition(hud, "health", x, y - 12)
                SetWindowSize(hud, "health", math.max(length, 0), 6)
            end
        end
        -- The clock, heat and kills, and where the car and the rival are on the way to the finish.
        UpdateTime(hud)
        if needle then DrawArrow(needle, NEEDLE_AT[1], NEEDLE_AT[2]) end
        dials()
        SetText(hud, "speed", car and rigid and string.format("%d km/h", GetObjectSpeed(car) * 3.6) or "")
        SetText(hud, "elapsed", clock(GetTime()))
        SetText(hud, "lap", string.format("lap %d/%d", GetCurrentRound(), GetRoundsNumber()))
        -- A wrecked car says so instead of its figure.
        SetText(hud, "damage", IsPlayerDead() and "wrecked" or string.format("damage %d%%", GetPlayerDamage() or 0))
        UpdateGameInterface(hud)
        UpdateInterface(hud)
    end
    Update()
end
