-- The race's messages ("messages"): the countdown, what the race reports ("finish!", "lost!",
-- "burn!", the bonuses' words...), the danger sign while the car tips over, the abilities line
-- (one star an ability, one dot a free place) and the time at each checkpoint. A message stays two
-- seconds of the frame clock. The outcome of the race goes on to "main".
local journal = dofile("Data/Scripts/journal.lua")("game_interface")

local OUTCOMES = { ["finish!"] = "finish", ["lost!"] = "lost", ["burn!"] = "burn", ["proigrish!"] = "lost" }
local screen
local shownUntil, splitUntil

-- ---- The radar and the wrong-way sign ----
-- The radar panel sits 109 pixels from the right edge and 100 from the top around the player's
-- dot: the track lines ahead and behind (every third line's centre near the car) and the cars
-- GetAIPositions places. The sign shows while the car heads more than a quarter turn away from
-- the track's direction where it is.
local RADAR_TRACK, RADAR_CARS, RADAR_MARKS = 21, 4, 3
local function radar_place(width, height)
    SetWindowPosition(screen, "radar", width - 205, 4)
    SetWindowSize(screen, "radar", 192, 192)
    SetWindowPosition(screen, "radar_me", width - 112, 97)
end
local function radar_hide()
    for i = 1, RADAR_TRACK do SetWindowVisible(screen, "radar_track" .. i, false) end
    for i = 1, RADAR_CARS do SetWindowVisible(screen, "radar_car" .. i, false) end
    for i = 1, RADAR_MARKS do SetWindowVisible(screen, "radar_mark" .. i, false) end
    SetWindowVisible(screen, "wrongway", false)
    SetText(screen, "wrongway_text", "")
end
local function radar_update()
    local width = GetScreenSize()
    local px, py = GetPlayerPosition()
    local zangle, sx, sy = GetCameraZAngle(), GetLevelSize()
    if zangle and sx then
        local turn = zangle - math.pi / 2
        local c, s = math.cos(turn), math.sin(turn)
        local scale = 500 / math.max(sx, sy)
        -- A point of the level on the panel, and whether it falls inside it.
        local function place(wx, wy)
            local dx, dy = wx - px, -(wy - py)
            local x, y = width - 109 + (dx * c - dy * s) * scale, 100 + (dx * s + dy * c) * scale
            return x, y, x >= width - 205 and y <= 200 and y >= 4
        end
        -- The props that hold a place on the bonus list (the barrels still standing) as marks.
        local count, list = GetBonusesCount(), GetBonusList()
        for i = 1, RADAR_MARKS do
            local entry = i <= count and list[i]
            local x, y, on
            if entry then
                local wx, wy = GetPosition(entry[1])
                if wx then x, y, on = place(wx, wy) end
            end
            if on then SetWindowPosition(screen, "radar_mark" .. i, x - 3, y - 3) end
            SetWindowVisible(screen, "radar_mark" .. i, on or false)
        end
        for i = 1, RADAR_TRACK do
            local cx, cy = GetClosestLineCenter(px, py, nil, (i - 11) * 3)
            if cx then
                local x, y, on = place(cx, cy)
                if on then SetWindowPosition(screen, "radar_track" .. i, x - 2, y - 2) end
                SetWindowVisible(screen, "radar_track" .. i, on)
            else
                SetWindowVisible(screen, "radar_track" .. i, false)
            end
        end
    end
    local count, places = GetAIPositions()
    for i = 1, RADAR_CARS do
        local x, y = places and places[3 * i - 2], places and places[3 * i - 1]
        local on = x ~= nil and 3 * i <= (count or 0) and x <= width
        if on then SetWindowPosition(screen, "radar_car" .. i, x - 3, y - 3) end
        SetWindowVisible(screen, "radar_car" .. i, on)
    end
    local heading, angle = GetPlayerSplineAngle()
    local wrong = false
    if angle then
        local off = math.abs(math.fmod(heading - angle + 3 * math.pi, 2 * math.pi) - math.pi)
        wrong = off > math.pi / 2 and GetPlayerSpeed() > 1
    elseif heading then
        -- A level without track lines: the race's own way (+X) is the reference.
        wrong = IsPlayerMovingBackwards() and GetPlayerSpeed() > 1
    end
    SetWindowVisible(screen, "wrongway", wrong)
    SetText(screen, "wrongway_text", wrong and "WRONG WAY" or "")
    -- Moved and hidden windows take effect once the screen's quads are built again.
    UpdateInterfaceBuffers(screen)
end
-- ---- end of the radar and the wrong-way sign ----

local function say(text, key)
    if not screen then return end
    if key then SetTextString(screen, "message", text) else SetText(screen, "message", text) end
    shownUntil = GetFullTime() + 2
end

-- The round times at the finish: each round the race has run (the rounds table keeps ten), and the
-- round's time the race kept for its results.
local function rounds()
    local size, times = UpdateRoundsTime()
    local parts = {}
    for k = 1, (size or 0), 4 do
        if times[k + 3] and (k + 3) / 4 <= GetRoundsNumber() then
            parts[#parts + 1] = string.format("lap %d  %d:%02d.%02d", (k + 3) / 4, times[k], times[k + 1], times[k + 2])
        end
    end
    local m, s, h = GetFormattedTime(GetRoundTime())
    parts[#parts + 1] = string.format("time %d:%02d.%02d", m, s, h)
    local text = table.concat(parts, "  ")
    journal.value("rounds", text)
    if screen then
        SetText(screen, "split", text)
        splitUntil = nil
    end
end

local function handle(command, params)
    journal.command(command, params)
    if command == "add_object" then
        screen = StringToPointer(params[1])
        SetWindowVisible(screen, "danger", false)
        SetText(screen, "message", "")
        SetText(screen, "abilities", "")
        SetText(screen, "split", "")
        radar_place(GetScreenSize())
        radar_hide()
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
        local count, most = ActivateAbilities()
        if screen and count then
            journal.value("abilities", count, most)
            SetText(screen, "abilities", string.rep("*", count) .. string.rep(".", math.max(most - count, 0)))
        end
    elseif command == "split" then
        if screen then
            SetText(screen, "split", "checkpoint " .. params[1] .. "  " .. (params[2] or ""))
            splitUntil = GetFullTime() + 3
        end
    elseif command == "rounds" then
        rounds()
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
        local now = GetFullTime()
        if shownUntil and now >= shownUntil then
            shownUntil = nil
            SetText(screen, "message", "")
        end
        if splitUntil and now >= splitUntil then
            splitUntil = nil
            SetText(screen, "split", "")
        end
        radar_update()
        UpdateInterface(screen)
    end
    Update()
end
