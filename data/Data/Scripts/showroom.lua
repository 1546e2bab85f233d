-- The showroom: the demo objects under the renderer's fixed perspective camera (layer 225), queued
-- every turn; the car turns on its spot and its wheels spin. It is the script of the floor
-- ("floor.rdf"), which main activates: the floor comes as "add_object" with the reference its
-- activation gave, and is queued too. "hide" (a race, a screen that fills the middle) stops the
-- queueing, "show" brings it back, "car" shows the car on its floor alone (the shop); "dragster"
-- (the shop) fits the car with the parts of the upgrade levels and, when its parameter names
-- another paint than the car wears, loads the car anew in that paint (a texture is chosen as the
-- car loads). While it shows,
-- the car answers the keys: "fire" sounds its horn, steering runs its engine from that side.
local journal = dofile("Data/Scripts/journal.lua")("showroom")
local crate = LoadRenderObject("crate.rdf", 225)
local lamp = LoadRenderObject("lamp.rdf", 225)
local sign = LoadRenderObject("sign.rdf", 225)
-- The menu takes the middle of the screen: the car turns on the right under the lamp, the crate
-- and the sign stand on the left.
local spot = { 10, 9, 0 }
SetPosition(crate, 1, -3.9, 0)
SetPosition(lamp, 16, 12.5, 0)
-- The sign stands at its spot turned a little toward the camera.
SetPTransformation(sign, 3, -5.6, 0, 0, 0, 0.35)

-- Moving things: a flag waving in whole-mesh frames, a sign turning by key frames (its "idle"
-- animation runs once the object is active) and the stand of vertex effects. The stand is loaded
-- into layers 130 and 131, before the bloom, so its lights glow; with no camera of their own those
-- layers draw with the showroom camera the device still holds.
local flag = LoadRenderObject("pennant.rdf", 225)
local spinsign = LoadRenderObject("spinsign.rdf", 225)
local stand = LoadRenderObject("fxshow.rdf", 100)
SetPosition(flag, 0, 3, 1)
SetPosition(spinsign, 4, -4.6, 2.6)
SetPosition(stand, 6, 0, 5)
SetAnimation(flag, "wave", 1, 0, -1)
ActivateObject(spinsign, 20)

-- The car on its spot. The wheels come without a reference of their own; they are held for as
-- long as they spin. The body rocks on its wheels while the engine runs; a model of one piece is
-- its own body. A car loaded anew (another paint) takes the place of the one before.
local car, body
local wheels = {}
local painted -- the paint number the car wears; nil: the one at start
local function loadCar()
    for _, wheel in ipairs(wheels) do
        Release(wheel)
    end
    if car then Release(car) end
    car = LoadRenderObject("car.rdf", 225)
    SetPosition(car, spot[1], spot[2], spot[3])
    wheels = {}
    for _, name in ipairs({ "wheel_fl", "wheel_fr", "wheel_rl", "wheel_rr" }) do
        local wheel = FindObject(car, name)
        AddRef(wheel)
        wheels[#wheels + 1] = wheel
    end
    body = GetChildObject(car, "body")
end
loadCar()
local revving = false

-- The car the shop dresses: the game's showroom model for it when there is one, else the demo's.
local function dressed()
    local model = GetDragster(1, 1)
    if PointerToString(model) ~= "0" then return model end
    return car
end

local floor
local shown, carOnly = true, false
local heading, spin = 0, 0
while true do
    while SetNextCommand(globalObject) do
        local command = GetCurrentCommand(globalObject)
        journal.command(command, { GetCurrentParams(globalObject) })
        if command == "add_object" then
            floor = StringToPointer(GetCurrentParams(globalObject))
            SetPosition(floor, spot[1], spot[2], spot[3])
        elseif command == "hide" then
            -- A race took the screen.
            shown, revving = false, false
            StopSpecialSound("engine")
        elseif command == "show" or command == "car" then
            shown, carOnly = true, command == "car"
        elseif command == "dragster" then
            local paint = GetCurrentParams(globalObject)
            if paint ~= "" and paint ~= painted then
                painted = paint
                loadCar()
            end
            InitDragster(dressed())
        elseif command == "key_action" and shown then
            local action, down = GetCurrentParams(globalObject)
            down = down == "1"
            if action == "fire" and down then
                PlaySpecialSound("horn")
            elseif action == "left" or action == "right" then
                if down then
                    PlaySpecialSound3D("engine", action == "left" and -5 or 5, 0, 0, true)
                else
                    StopSpecialSound("engine")
                end
                revving = down
            end
        elseif command == "release_all" then
            -- Shutdown: give back what this script holds, the floor's reference included.
            for _, wheel in ipairs(wheels) do
                Release(wheel)
            end
            for _, object in pairs({ car, crate, lamp, sign, flag, spinsign, stand, floor }) do
                Release(object)
            end
            return
        end
    end
    local dt = GetDeltaTime()
    heading = heading + dt * 0.5
    spin = spin - dt * 4
    SetRotation(car, 0, 0, heading)
    SetRotation(body, 0, revving and math.sin(spin * 12) * 0.03 or 0, 0)
    for _, wheel in ipairs(wheels) do
        SetRotation(wheel, spin, 0, 0)
    end
    if shown then
        if floor then
            DrawDynamicObject(floor)
        end
        DrawDynamicObject(car)
    end
    if shown and not carOnly then
        DrawDynamicObject(crate)
        DrawDynamicObject(lamp)
        DrawDynamicObject(sign)
        DrawDynamicObject(flag)
        DrawDynamicObject(spinsign)
        DrawDynamicObject(stand)
    end
    Update()
end
