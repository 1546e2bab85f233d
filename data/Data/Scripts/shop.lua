-- The shop between races: seven catalogs with their items' names, prices and descriptions; an item
-- bought goes into the car's configuration and its price comes off the money. "auto" lets the game
-- fit the car; the upgrades raise the engine, rear wheels and wing and change the paint, and the
-- showroom car shows them. The races passed lead the mission on, and the mission unlocks items.
local CATALOGS = {
    { key = "shop_weapons", names = GetWeaponNames, info = GetWeaponInfo, slot = "weapon" },
    { key = "shop_mines", names = GetMineNames, info = GetMineInfo, slot = "mine" },
    { key = "shop_super", names = GetSuperWeaponNames, info = GetSuperWeaponInfo, slot = "super" },
    { key = "shop_bumpers", names = GetBumperNames, info = GetBumperInfo, slot = "bumper" },
    { key = "shop_equipment", names = GetEquipmentNames, info = GetEquipmentInfo, slot = "equipment" },
    { key = "shop_armor", names = GetArmorNames, info = GetArmorInfo, slot = "armor" },
    { key = "shop_engines", names = GetEngineNames, info = GetEngineInfo, slot = "engine" },
}
local ITEMS = 3 -- item buttons on the screen
-- Upgrade buttons: the upgrade level they raise, at a price each step.
local PAINT = 6 -- the upgrade level the level loader paints the car with
local UPGRADES = { engine_up = 1, wheels_up = 2, wing_up = 3, paint = PAINT }
local PAINTS = 4 -- the player's paints go round 0 to 3 (the rival's are 4 to 7)
local UPGRADE_PRICE = 100
local TOP_LEVEL = 3 -- the engine, wheels and wing go no higher
local LAST_MISSION = 2 -- the demo's catalogs unlock nothing past it

local catalog = 1
local shown = {} -- item names on the buttons
local chosen -- item index

local function empty(name) return name == "" or name == "none" end

local function info(i)
    -- text, price, ..., description text, unlock mission
    local values = { CATALOGS[catalog].info(shown[i]) }
    return values[1], values[2], values[#values - 1]
end

local function showMoney(self)
    -- Whole money: the text of the number cut to an integer.
    local text = CheckString(ToInt(GetMoney()))
    SetText(self.screen, "money", text)
    self.journal.value("money", text)
end

-- Nothing more to buy at the top level: its button is locked.
local function lockUpgrades(self)
    for name, index in pairs(UPGRADES) do
        if index ~= PAINT and GetUpgrade(index) >= TOP_LEVEL then
            LockButton(self.screen, name)
        else
            UnlockButton(self.screen, name)
        end
    end
end

local function showCar(self)
    local car = { GetCarInfo() }
    local fitted = {}
    -- Only what the catalogs sell is a part shown ("none" and the like are empty slots).
    for i = 1, 9 do
        if IsValidGameDataName(car[i]) then fitted[#fitted + 1] = car[i] end
    end
    if IsValidGameDataName(car[11]) then fitted[#fitted + 1] = car[11] end
    SetText(self.screen, "car", table.concat(fitted, " "))
    self.journal.value("fitted", table.concat(fitted, " "))
    for name, index in pairs(UPGRADES) do
        SetText(self.screen, name .. "_level", tostring(GetUpgrade(index)))
    end
    lockUpgrades(self)
    -- The showroom car shows the parts of the upgrade levels, in its paint.
    SetDragsterTexture(GetUpgrade(PAINT))
    SendCommandByName("showroom", "dragster", tostring(GetUpgrade(PAINT)))
end

-- The chosen item is marked by a bar at its left; Buy is locked while it costs more than there is.
local function choose(self, item)
    chosen = item
    SetWindowVisible(self.screen, "mark", item ~= nil)
    if item then
        local x, y = GetWindowPosition(self.screen, "item" .. item)
        SetWindowPositionShop(self.screen, "mark", x - 14, y)
        local _, price, desc = info(item)
        if price > GetMoney() then
            LockButton(self.screen, "buy")
            SetTextString(self.screen, "desc", "shop_no_money")
        else
            UnlockButton(self.screen, "buy")
            SetText(self.screen, "desc", desc)
        end
    else
        UnlockButton(self.screen, "buy")
    end
    UpdateInterfaceBuffers(self.screen)
end

-- The configuration fields each catalog's parts go into.
local SLOT_FIELDS = {
    weapon = { 1, 2, 3 }, equipment = { 4, 5 }, bumper = { 6 }, engine = { 7 }, armor = { 8 }, super = { 9 }, mine = { 11 },
}

-- The first part of the catalog's kind the car carries, if any.
local function fittedPart(c)
    local car = { GetCarInfo() }
    for _, field in ipairs(SLOT_FIELDS[CATALOGS[c].slot]) do
        if IsValidGameDataName(car[field]) then return car[field] end
    end
end

local function showCatalog(self, c)
    catalog = c
    local count, names = CATALOGS[c].names()
    shown = {}
    SetTextString(self.screen, "catalog", CATALOGS[c].key)
    for i = 1, ITEMS do
        shown[i] = i <= count and names[i] or nil
        SetWindowVisible(self.screen, "item" .. i, shown[i] ~= nil)
        if shown[i] then
            local text, price = info(i)
            SetText(self.screen, "item" .. i .. "_name", text)
            SetText(self.screen, "item" .. i .. "_price", string.format("%d", price))
            self.journal.value("item", shown[i], text, price)
        else
            SetText(self.screen, "item" .. i .. "_name", "")
            SetText(self.screen, "item" .. i .. "_price", "")
        end
    end
    SetText(self.screen, "desc", "")
    if count == 0 then
        -- Nothing of this kind left to buy: the line below says what the car carries instead.
        local part = fittedPart(c)
        if part then
            local text = CATALOGS[c].info(part)
            SetText(self.screen, "desc", "Fitted: " .. text)
            self.journal.value("carried", part, text)
        end
    end
    choose(self, nil)
end

-- The configuration with the item in its slot: a free slot of its kind, else the first one.
local function fitted(name)
    local car = { GetCarInfo() }
    local fields = SLOT_FIELDS[CATALOGS[catalog].slot]
    local at = fields[1]
    for _, field in ipairs(fields) do
        if empty(car[field]) then
            at = field
            break
        end
    end
    car[at] = name
    -- A super weapon bought is one charge more.
    if at == 9 then car[10] = (tonumber(car[10]) or 0) + 1 end
    for i = 1, 11 do
        if i ~= 10 and empty(car[i]) then car[i] = "" end
    end
    return car
end

local function buy(self)
    if not chosen then return end
    local name = shown[chosen]
    local _, price = info(chosen)
    local money = GetMoney()
    if price > money then
        SetTextString(self.screen, "desc", "shop_no_money")
        return
    end
    local car = fitted(name)
    SetCarInfo(car[1], car[2], car[3], car[4], car[5], car[6], car[7], car[8], car[9], car[10], car[11])
    SetMoney(money - price)
    CommitCarSettings()
    self.journal.value("bought", name, price, GetMoney())
    self.journal.value("car", GetRealCarInfo())
    showMoney(self)
    showCar(self)
    showCatalog(self, catalog)
end

local function upgrade(self, button)
    local index = UPGRADES[button]
    local money = GetMoney()
    if money < UPGRADE_PRICE then
        SetTextString(self.screen, "desc", "shop_no_money")
        return
    end
    local level = GetUpgrade(index) + 1
    if index == PAINT then
        level = level % PAINTS
    elseif level > TOP_LEVEL then
        return
    end
    SetUpgrade(index, level)
    SetMoney(money - UPGRADE_PRICE)
    self.journal.value("upgrade", index, GetUpgrade(index), GetMoney())
    showMoney(self)
    showCar(self)
end

dofile("Data/Scripts/screen.lua")("shop", function(self, command, params)
    if command == "show" then
        SetWindowActive(self.screen, "panel", false)
        SetWindowActive(self.screen, "mark", false)
        SetText(self.screen, "profile", GetProfileName())
        -- The races passed (counted from 1) lead the mission on.
        SetCurrentMission(math.max(1, math.min(GetNumRacesPassed(), LAST_MISSION)))
        SetText(self.screen, "mission", string.format("%d", GetCurrentMission()))
        local car = GetActiveCar()
        SetTextString(self.screen, "car_name", "car_" .. car)
        self.journal.value("profile", GetProfileName(), GetMoney(), car, GetCurrentMission())
        showMoney(self)
        showCar(self)
        showCatalog(self, 1)
        DeselectCurrentButton(self.screen)
        IMenuRight()
    elseif command == "button" then
        local button = params[1]
        self.journal.value("button", button)
        local c = tonumber(button:match("^cat(%d)$"))
        local item = tonumber(button:match("^item(%d)$"))
        if c then
            showCatalog(self, c)
        elseif item and shown[item] then
            choose(self, item)
        elseif button == "buy" then
            buy(self)
        elseif button == "auto" then
            -- The fitted set is paid for at once (AutoSetting has set the money), so it is the car
            -- that races, committed as a bought item is.
            AutoSetting()
            CommitCarSettings()
            self.journal.value("auto", GetRealCarInfo())
            showMoney(self)
            showCar(self)
            showCatalog(self, catalog)
        elseif UPGRADES[button] then
            upgrade(self, button)
        elseif button == "race" then
            SaveGame()
            -- The loading screen stands while the level loads.
            InitWarning(0)
            SendCommandByName("main", "screen", "race")
        elseif button == "back" then
            SendCommandByName("main", "screen", "menu")
        end
    end
end)
