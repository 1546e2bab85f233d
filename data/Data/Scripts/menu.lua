-- The demo's menu and HUD. The mouse or the arrow keys move over the buttons, Enter or a click
-- presses one; typed letters and digits fill the driver's name, Backspace takes one back. "start"
-- swaps the menu for the HUD with a running clock and starts the race on level 1 (the script "jeep"
-- drives the car from the keys), "options" shows a hint, "exit" quits.

-- The script "main" creates and activates the menu, which starts this script: the screen's handle
-- is the first command here.
local menu
while not menu do
    while SetNextCommand(globalObject) do
        if GetCurrentCommand(globalObject) == "add_object" then
            menu = StringToPointer(GetCurrentParams(globalObject))
        end
    end
    if not menu then Update() end
end
local hud = CreateInterface("hud", 0)
-- The panel lies under the buttons: disabled, it is drawn but never takes the hover or the focus.
SetWindowActive(menu, "panel", false)
SetWindowActive(menu, "field", false)
SetWindowActive(hud, "bar", false)
IMenuRight()

local showing = menu
local clock = 0

local function startRace()
    DeactivateInterface(menu)
    SilentActivateInterface(hud)
    local name = GetEditBoxText(menu, "name")
    if name == "" then name = "PLAYER" end
    SetText(hud, "driver", name)
    clock = 0
    showing = hud
    -- Level 1: its layout, road and car, under its sky; the showroom makes way; the clocks run.
    SendCommandByName("showroom", "hide", "")
    InitLevel("level1")
    InitSky()
    StartLevel()
    SetLevelStarted(true)
    SetUpdateTime(true)
end

local function handle(command, params)
    if command == "menu_up" then
        IMenuRight()
    elseif command == "menu_down" then
        IMenuLeft()
    elseif command == "key" and showing == menu then
        EditBoxProcessKey(menu, "name", tonumber(params[1]))
    elseif command == "button" then
        if params[1] == "start" then
            startRace()
        elseif params[1] == "options" then
            SetTextString(menu, "hint", "menu_hint_options")
        elseif params[1] == "exit" then
            KillAllTasks()
        end
    end
end

while true do
    while SetNextCommand(globalObject) do
        handle(GetCurrentCommand(globalObject), { GetCurrentParams(globalObject) })
    end
    if showing == hud then
        clock = clock + GetDeltaTime()
        local minutes = math.floor(clock / 60)
        SetText(hud, "time", string.format("%02d:%02d", minutes, math.floor(clock - 60 * minutes)))
        -- The heat gauge climbs with the seconds and starts again after twelve.
        local heat = math.floor(clock) % 13
        for i = 1, 12 do SetWindowVisible(hud, "overheat" .. i, i <= heat) end
        UpdateInterfaceBuffers(hud)
    end
    UpdateInterface(showing)
    Update()
end
