-- The records: the score table's six lines, the level's best time with its medal and car, and after
-- a race its result. Back (or Esc) returns to the menu.
local MEDALS = { [0] = "records_gold", [1] = "records_silver", [2] = "records_bronze" }

dofile("Data/Scripts/screen.lua")("records", function(self, command, params)
    if command == "show" then
        SetWindowActive(self.screen, "panel", false)
        local lines = GetRecords(1)
        for i = 1, 6 do
            local line = lines[i] or { "", "" }
            SetText(self.screen, "rec" .. i, line[1] ~= "" and (line[1] .. "  " .. line[2]) or "-")
            self.journal.value("rec" .. i, line[1], line[2])
        end
        local time, medal, name = GetLevelMedalTime(0)
        self.journal.value("level1", time, medal, name)
        if time > 0 then
            local m, s, h = math.floor(time / 60), math.floor(time % 60), math.floor(time * 100 % 100)
            SetText(self.screen, "best", string.format("%02d:%02d:%02d  %s", m, s, h, name))
            SetTextString(self.screen, "medal", MEDALS[medal] or "records_none")
        else
            SetText(self.screen, "best", "-")
            SetTextString(self.screen, "medal", "records_nomedal")
        end
        local scoreName, score = GetScoreLine(0)
        self.journal.value("score_line", scoreName, score)
        -- After a race: the money the prize brought it to.
        if params[1] == "results" then
            SetTextString(self.screen, "result_label", "records_money")
            SetText(self.screen, "result", string.format("%d", GetMoney()))
        else
            SetText(self.screen, "result_label", "")
            SetText(self.screen, "result", "")
        end
        DeselectCurrentButton(self.screen)
        IMenuRight()
    elseif command == "button" then
        self.journal.value("button", params[1])
        if params[1] == "back" then SendCommandByName("main", "screen", "menu") end
    end
end)
