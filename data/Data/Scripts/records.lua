-- The records: the score table's six lines (the profile's own in bold with a marker), the level's
-- best time with its medal and car, the kills, and after a race its result and the profile's score
-- line. Back (or Esc) returns to the menu.
local MEDALS = { [0] = "records_gold", [1] = "records_silver", [2] = "records_bronze" }
local FIRST_ROW, ROW = 185, 40 -- where the table's lines stand

-- The table keeps a time as "mm:ss:hh"; the screen shows it as m:ss.hh.
local function lapTime(text)
    local m, s, h = SplitString(text, ":")
    if not h then return text end
    return string.format("%d:%02d.%02d", ToInt(m), ToInt(s), ToInt(h))
end

-- Shows the table's lines, best first, and marks the profile's own; that line (name and time) is
-- returned, nil when the profile has none.
local function showTable(self)
    local lines = GetRecords(1)
    local own
    for i = 1, 6 do
        local line = lines[i] or { "", "" }
        SetText(self.screen, "rec" .. i, line[1] ~= "" and (line[1] .. "  " .. lapTime(line[2])) or "-")
        self.journal.value("rec" .. i, line[1], line[2])
        if not own and line[1] ~= "" and line[1] == GetProfileName() then own = i end
    end
    if own then
        local line = lines[own]
        SetFont(self.screen, "rec" .. own, "title", line[1] .. "  " .. lapTime(line[2]))
        SetTextPosition(self.screen, "you", 278, FIRST_ROW + ROW * (own - 1) + 8)
        SetText(self.screen, "you", ">")
    else
        SetText(self.screen, "you", "")
    end
    self.journal.value("own_line", own or 0)
    return own and lines[own]
end

dofile("Data/Scripts/screen.lua")("records", function(self, command, params)
    if command == "show" then
        SetWindowActive(self.screen, "panel", false)
        local own = showTable(self)
        local time, medal, name = GetLevelMedalTime(0)
        self.journal.value("level1", time, medal, name)
        if time > 0 then
            local m, s, h = math.floor(time / 60), math.floor(time % 60), math.floor(time * 100 % 100)
            SetText(self.screen, "best", string.format("%02d:%02d:%02d  %s", m, s, h, name))
            if MEDALS[medal] then
                SetFontString(self.screen, "medal", "title", MEDALS[medal])
            else
                SetTextString(self.screen, "medal", "records_none")
            end
        else
            SetText(self.screen, "best", "-")
            SetTextString(self.screen, "medal", "records_nomedal")
        end
        -- The kills of the last race, and whether they earn a place in the table.
        local score = GetScore()
        UpdateScore(self.screen, score)
        local entered = IsInTable(score)
        self.journal.value("kills", score, entered)
        SetTextString(self.screen, "new_entry", entered and "records_new" or "records_none")
        -- After a race: the money the prize brought it to, and the profile's score line.
        if params[1] == "results" then
            SetScoreLine(GetProfileName(), score, GetNumRacesPassed())
            SetTextString(self.screen, "result_label", "records_money")
            SetText(self.screen, "result", string.format("%d", GetMoney()))
        else
            SetText(self.screen, "result_label", "")
            SetText(self.screen, "result", "")
        end
        -- The profile's score line is its line in the table, the one CheckPlayerRecords entered and
        -- SaveScore wrote; GetScoreLine keeps none of its own.
        self.journal.value("score_line", own and own[1] or "", own and own[2] or "")
        DeselectCurrentButton(self.screen)
        IMenuRight()
    elseif command == "button" then
        self.journal.value("button", params[1])
        if params[1] == "back" then SendCommandByName("main", "screen", "menu") end
    end
end)
