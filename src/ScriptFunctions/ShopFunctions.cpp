#include "ScriptFunctions/ShopFunctions.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "Core/PGameObject.h"
#include "Core/PScriptRegistry.h"
#include "Race/CarParts.h"
#include "Race/PGameData.h"
#include "Render/PTexture.h"
#include "ScriptFunctions/ScriptArgs.h"

namespace {

// The showroom table: 4 x 4 objects that nothing fills, so every entry stays null.
CPManagedObject* const kShowroom[16] = {};

// Text of the name, price, the catalog's numbers, text of the description key, unlock mission.
// No result for a name the catalog does not hold.
int PushItemInfo(lua_State* L, CatalogKind kind) {
    CPGameData* data = GetGameData();
    if (!data) return 0;
    const CPCatalogItem* item = data->catalogs[kind].Find(ScriptArgString(L, 1));
    if (!item) return 0;
    const int count = 4 + static_cast<int>(item->numbers.size());
    lua_checkstack(L, count);
    lua_pushstring(L, data->GetString(item->name).c_str());
    lua_pushnumber(L, item->price);
    for (double n : item->numbers) lua_pushnumber(L, n);
    lua_pushstring(L, data->GetString(item->descriptionKey).c_str());
    lua_pushnumber(L, item->unlockMission);
    return count;
}

int GetWeaponInfo(lua_State* L) { return PushItemInfo(L, CatalogWeapons); }
int GetMineInfo(lua_State* L) { return PushItemInfo(L, CatalogMines); }
int GetSuperWeaponInfo(lua_State* L) { return PushItemInfo(L, CatalogSuperWeapons); }
int GetBumperInfo(lua_State* L) { return PushItemInfo(L, CatalogBumpers); }
int GetEquipmentInfo(lua_State* L) { return PushItemInfo(L, CatalogEquipment); }
int GetArmorInfo(lua_State* L) { return PushItemInfo(L, CatalogArmor); }
int GetEngineInfo(lua_State* L) { return PushItemInfo(L, CatalogEngines); }

int IsValidGameDataName(lua_State* L) {
    CPGameData* data = GetGameData();
    const std::string name = ScriptArgString(L, 1);
    bool found = false;
    if (data)
        for (const CPCatalog& catalog : data->catalogs) found = found || catalog.Find(name) != nullptr;
    lua_pushboolean(L, found);
    return 1;
}

// The purchasable items of a catalog: unlocked by the current mission (15 in easy mode) and none of
// the excluded names. Pushes the count, then the table of names.
int PushNames(lua_State* L, CatalogKind kind, const std::vector<std::string>& excluded, bool none = false) {
    CPGameData* data = GetGameData();
    if (!data) return 0;
    const int mission = data->easy ? 15 : data->currentMission;
    std::vector<const std::string*> names;
    if (!none)
        for (const CPCatalogItem& item : data->catalogs[kind].Items())
            if (item.unlockMission <= mission &&
                std::find(excluded.begin(), excluded.end(), item.name) == excluded.end())
                names.push_back(&item.name);
    lua_pushnumber(L, static_cast<double>(names.size()));
    lua_createtable(L, static_cast<int>(names.size()), 0);
    for (size_t i = 0; i < names.size(); ++i) {
        lua_pushstring(L, names[i]->c_str());
        lua_rawseti(L, -2, static_cast<int>(i) + 1);
    }
    return 2;
}

const CPCarConfiguration& Edited() {
    static const CPCarConfiguration empty;
    return GetGameData() ? GetGameData()->editedConfiguration : empty;
}

int GetWeaponNames(lua_State* L) {
    const CPCarConfiguration& c = Edited();
    return PushNames(L, CatalogWeapons, {c.weapon1, c.weapon2, c.weapon3});
}
int GetMineNames(lua_State* L) { return PushNames(L, CatalogMines, {Edited().mine}); }
int GetSuperWeaponNames(lua_State* L) { return PushNames(L, CatalogSuperWeapons, {}, Edited().superCount >= 3); }
int GetBumperNames(lua_State* L) { return PushNames(L, CatalogBumpers, {Edited().bumper}); }
int GetEquipmentNames(lua_State* L) {
    const CPCarConfiguration& c = Edited();
    return PushNames(L, CatalogEquipment, {c.equipment1, c.equipment2});
}
int GetArmorNames(lua_State* L) { return PushNames(L, CatalogArmor, {Edited().armor}); }
int GetEngineNames(lua_State* L) { return PushNames(L, CatalogEngines, {Edited().engine}); }

int GetMoney(lua_State* L) {
    CPGameData* data = GetGameData();
    if (!data) return 0;
    lua_pushnumber(L, data->GetMoney());
    return 1;
}

// Money goes into the save slot: a number that is not finite is refused.
int SetMoney(lua_State* L) {
    const float amount = static_cast<float>(ScriptArgNumber(L, 1));
    if (!ScriptArgsFinite("SetMoney", {amount})) return 0;
    if (CPGameData* data = GetGameData()) data->SetMoney(amount);
    return 0;
}

int PushConfiguration(lua_State* L, const CPCarConfiguration& c) {
    const std::string* names[] = {&c.weapon1, &c.weapon2, &c.weapon3, &c.equipment1, &c.equipment2,
                                  &c.bumper,  &c.engine,  &c.armor,   &c.superWeapon};
    for (const std::string* name : names) lua_pushstring(L, name->c_str());
    lua_pushnumber(L, c.superCount);
    lua_pushstring(L, c.mine.c_str());
    return 11;
}

int GetCarInfo(lua_State* L) { return GetGameData() ? PushConfiguration(L, GetGameData()->editedConfiguration) : 0; }
int GetRealCarInfo(lua_State* L) { return GetGameData() ? PushConfiguration(L, GetGameData()->raceConfiguration) : 0; }

int SetCarInfo(lua_State* L) {
    CPGameData* data = GetGameData();
    if (!data) return 0;
    CPCarConfiguration c;
    std::string* names[] = {&c.weapon1, &c.weapon2, &c.weapon3, &c.equipment1, &c.equipment2,
                            &c.bumper,  &c.engine,  &c.armor,   &c.superWeapon};
    for (int i = 0; i < 9; ++i) *names[i] = ScriptArgString(L, i + 1);
    c.superCount = ScriptArgInt(L, 10);
    c.mine = ScriptArgString(L, 11);
    data->SetEditedConfiguration(c);
    return 0;
}

int CommitCarSettings(lua_State*) {
    if (CPGameData* data = GetGameData()) data->CommitConfiguration();
    return 0;
}

// Takes the best preset the money and the edited configuration's value can pay for, from preset
// 3 x mission - 1 (or the last one) downwards.
int AutoSetting(lua_State*) {
    CPGameData* data = GetGameData();
    if (!data || data->presets.empty()) return 0;
    const float budget = data->GetMoney() + data->GetConfigurationPrice(data->editedConfiguration);
    const long long first = std::min<long long>(3LL * data->currentMission - 1, data->presets.size() - 1);
    for (long long i = first; i >= 0; --i) {
        const float price = data->GetConfigurationPrice(data->presets[i]);
        if (price <= budget) {
            data->SetEditedConfiguration(data->presets[i]);
            data->SetMoney(budget - price);
            break;
        }
    }
    return 0;
}

int SetUpgrade(lua_State* L) {
    CPGameData* data = GetGameData();
    const int index = ScriptArgInt(L, 1);
    const int level = ScriptArgInt(L, 2);
    if (!data || index < 0 || index >= kUpgradeCount) return 0;
    data->upgrades[index] = index == 6 ? level : std::clamp(level, 0, 3);
    return 0;
}

int GetUpgrade(lua_State* L) {
    CPGameData* data = GetGameData();
    const int index = ScriptArgInt(L, 1);
    if (!data || index < 0 || index >= kUpgradeCount) return 0;
    lua_pushnumber(L, data->upgrades[index]);
    return 1;
}

int GetActiveCar(lua_State* L) {
    CPGameData* data = GetGameData();
    lua_pushstring(L, data ? ScriptKeyOfCarKey(data->GetPlayerName()).c_str() : "");
    return 1;
}

int InitDragster(lua_State* L) {
    CPGameData* data = GetGameData();
    CPGameObject* model = ScriptArgObject<CPGameObject>(L, 1);
    if (data && model) SelectCarParts(model, data->upgrades[3], data->upgrades[1], data->upgrades[2]);
    return 0;
}

int GetDragster(lua_State* L) {
    const int row = ScriptArgInt(L, 1);
    const int column = ScriptArgInt(L, 2);
    if (row < 1 || row > 4 || column < 1 || column > 4) return 0;
    PushObject(L, kShowroom[(row - 1) * 4 + (column - 1)]);
    return 1;
}

int SetDragsterTexture(lua_State* L) {
    DragsterTextureIndex = ScriptArgInt(L, 1);
    return 0;
}

const ScriptFunctionEntry kShopFunctions[] = {
    {"GetWeaponInfo", GetWeaponInfo},
    {"GetMineInfo", GetMineInfo},
    {"GetSuperWeaponInfo", GetSuperWeaponInfo},
    {"GetBumperInfo", GetBumperInfo},
    {"GetEquipmentInfo", GetEquipmentInfo},
    {"GetArmorInfo", GetArmorInfo},
    {"GetEngineInfo", GetEngineInfo},
    {"IsValidGameDataName", IsValidGameDataName},
    {"GetWeaponNames", GetWeaponNames},
    {"GetMineNames", GetMineNames},
    {"GetSuperWeaponNames", GetSuperWeaponNames},
    {"GetBumperNames", GetBumperNames},
    {"GetEquipmentNames", GetEquipmentNames},
    {"GetArmorNames", GetArmorNames},
    {"GetEngineNames", GetEngineNames},
    {"GetMoney", GetMoney},
    {"SetMoney", SetMoney},
    {"GetCarInfo", GetCarInfo},
    {"GetRealCarInfo", GetRealCarInfo},
    {"SetCarInfo", SetCarInfo},
    {"CommitCarSettings", CommitCarSettings},
    {"AutoSetting", AutoSetting},
    {"SetUpgrade", SetUpgrade},
    {"GetUpgrade", GetUpgrade},
    {"GetActiveCar", GetActiveCar},
    {"InitDragster", InitDragster},
    {"GetDragster", GetDragster},
    {"SetDragsterTexture", SetDragsterTexture},
};

} // namespace

void RegisterShopScriptFunctions() { RegisterScriptTable(ScriptTable::Library, kShopFunctions); }
