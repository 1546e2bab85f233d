#include "ScriptFunctions/WeaponFunctions.h"

#include <cmath>

#include "Core/Math/Mat4.h"
#include "Core/PRandom.h"
#include "Core/PScriptManager.h"
#include "Core/PScriptObject.h"
#include "Core/PScriptRegistry.h"
#include "Platform/Clock.h"
#include "Race/PGameData.h"
#include "Race/PLevel.h"
#include "Race/PPlayer.h"
#include "Render/PRender.h"
#include "Render/PRenderBlock.h"
#include "ScriptFunctions/ScriptArgs.h"
#include "Sound/NAudio.h"
#include "Sound/NSound.h"
#include "Weapons/PTracerShot.h"
#include "Weapons/PWeaponsSystem.h"

namespace {

Vec3 ReadVec3(lua_State* L, int first) {
    return {static_cast<float>(ScriptArgNumber(L, first)), static_cast<float>(ScriptArgNumber(L, first + 1)),
            static_cast<float>(ScriptArgNumber(L, first + 2))};
}

// Every shot a script asks for uses its kind's own damage, no owner and no extra pointer.
void ScriptShot(const std::string& name, const Vec3& position, const Vec3& direction) {
    if (CPWeaponsSystem* weapons = GetWeaponsSystem()) weapons->CreateShot(name, position, direction, -1.0f);
}

// Shot (weapon, object, ox, oy, oz, ...): the named shot at a point of the object's own frame, while
// the level's race has not been stopped.
int Shot(lua_State* L) {
    const char* name = luaL_checkstring(L, 1);
    CPGameObject* object = ScriptArgObject<CPGameObject>(L, 2);
    CPLevel* level = GetLevel();
    if (!object || !level || level->IsStopped()) return 0;
    const Vec3 at = ReadVec3(L, 3);
    if (!ScriptArgsFinite("Shot", {at.x, at.y, at.z})) return 0;
    ScriptShot(name, Vec3TransformCoord(at, object->GetWorldMatrix()), Vec3());
    return 0;
}

// PlayerShot (): the level remembers that the player fired.
int PlayerShot(lua_State*) {
    if (CPLevel* level = GetLevel()) level->playerFired = true;
    return 0;
}

// Explosion (name, x, y, z): the named shot there, without a direction.
int Explosion(lua_State* L) {
    const Vec3 at = ReadVec3(L, 2);
    if (!ScriptArgsFinite("Explosion", {at.x, at.y, at.z})) return 0;
    ScriptShot(ScriptArgString(L, 1), at, Vec3());
    return 0;
}

// DirectionalExplosion (name, x, y, z, dx, dy, dz).
int DirectionalExplosion(lua_State* L) {
    const Vec3 at = ReadVec3(L, 2), direction = ReadVec3(L, 5);
    if (!ScriptArgsFinite("DirectionalExplosion", {at.x, at.y, at.z, direction.x, direction.y, direction.z})) return 0;
    ScriptShot(ScriptArgString(L, 1), at, direction);
    return 0;
}

// SmartBomb (): the super weapon's white-out, while the car has one left.
int SmartBomb(lua_State*) {
    CPGameData* data = GetGameData();
    if (!data || data->raceConfiguration.superCount <= 0) return 0;
    ScriptShot("super", Vec3(), Vec3());
    --data->raceConfiguration.superCount;
    if (CPScriptManager* scripts = GetScriptManager())
        scripts->SendCommandByName("gamemenu", "update_game_interface", "");
    return 0;
}

// SetBonus (x, y, line): maybe drops a pickup of the mission line's bonus list at (x, y, 0).
int SetBonus(lua_State* L) {
    const float x = static_cast<float>(ScriptArgNumber(L, 1)), y = static_cast<float>(ScriptArgNumber(L, 2));
    const int line = ScriptArgInt(L, 3);
    if (!ScriptArgsFinite("SetBonus", {x, y})) return 0;
    CPGameData* data = GetGameData();
    if (!data || line < 0 || line >= static_cast<int>(data->missionLines.size())) return 0;
    const CPMissionLine& mission = data->missionLines[static_cast<size_t>(line)];
    const double product = static_cast<double>(mission.bonusChance) * data->coefficients[2];
    const int chance = std::isfinite(product) ? static_cast<int>(std::clamp(std::trunc(product), -1e9, 1e9)) : 0;
    EngineSrand(Platform::GetClock().Milliseconds());
    if (chance < EngineRand() % 100) return 0;
    const int r = EngineRand() % 100;
    for (const CPChanceEntry& entry : mission.bonuses) {
        if (entry.lower <= r && r < entry.upper) {
            ScriptShot(entry.name, Vec3(x, y, 0), Vec3(x, y, 0));
            break;
        }
    }
    return 0;
}

// AddBonus (object, n): the list holds the object.
int AddBonus(lua_State* L) {
    CPManagedObject* object = ScriptArgManagedObject(L, 1);
    CPGameData* data = GetGameData();
    if (!object || !data) return 0;
    data->bonusList.push_back({CPRefPtr<CPManagedObject>(object), ScriptArgInt(L, 2)});
    return 0;
}

// EraseBonus (object): the first entry of the object only.
int EraseBonus(lua_State* L) {
    CPManagedObject* object = ScriptArgManagedObject(L, 1);
    CPGameData* data = GetGameData();
    if (!object || !data) return 0;
    auto& list = data->bonusList;
    for (auto it = list.begin(); it != list.end(); ++it) {
        if (it->object.Get() == object) {
            list.erase(it);
            break;
        }
    }
    return 0;
}

int GetBonusesCount(lua_State* L) {
    const CPGameData* data = GetGameData();
    lua_pushnumber(L, data ? static_cast<lua_Number>(data->bonusList.size()) : 0);
    return 1;
}

int ClearBonuses(lua_State*) {
    if (CPGameData* data = GetGameData()) data->bonusList.clear();
    return 0;
}

// GetBonusList () -> {{object, n}, ...} in list order.
int GetBonusList(lua_State* L) {
    lua_newtable(L);
    const CPGameData* data = GetGameData();
    if (!data) return 1;
    int i = 1;
    for (const CPBonusEntry& entry : data->bonusList) {
        lua_newtable(L);
        PushObject(L, entry.object.Get());
        lua_rawseti(L, -2, 1);
        lua_pushnumber(L, entry.value);
        lua_rawseti(L, -2, 2);
        lua_rawseti(L, -2, i++);
    }
    return 1;
}

// StartLighting (name, x, y, z, dx, dy, dz) -> bolt, which the script holds by one reference.
int StartLighting(lua_State* L) {
    CPLightningShot* bolt = new CPLightningShot(ScriptArgString(L, 1));
    CPRefPtr<CPLightningShot> keep(bolt);
    bolt->Init(CPLightningShot::DefaultParams());
    Vec3 from = ReadVec3(L, 2), direction = ReadVec3(L, 5);
    // A bolt from numbers that are not finite has no direction: it is done at its first step.
    if (!ScriptArgsFinite("StartLighting", {from.x, from.y, from.z, direction.x, direction.y, direction.z}))
        from = direction = Vec3();
    bolt->Launch(from, direction, 10.0f, CPRefPtr<CPGameObject>(), nullptr);
    bolt->AddRef();
    PushObject(L, bolt);
    return 1;
}

// UpdateTrasser (bolt) -> state, [hit object]: 1 growing (and drawn), 0 reached a car, -1 done.
int UpdateTrasser(lua_State* L) {
    CPLightningShot* bolt = ScriptArgObject<CPLightningShot>(L, 1);
    if (!bolt) {
        lua_pushnumber(L, -1);
        return 1;
    }
    CPRefPtr<CPGameObject> hit;
    const int state = bolt->Step(hit);
    if (state == 1)
        if (CPRender* render = GetRender())
            if (CPRenderBlock* block = render->GetDynamicRenderBlock().Get()) block->DrawDynamicObject(bolt);
    lua_pushnumber(L, state);
    if (!hit) return 1;
    PushObject(L, hit.Get());
    return 2;
}

// ---- the car's weapon ----

// SetWeaponPos (x, y, z, object): the player car aims (and fires) at the point.
int SetWeaponPos(lua_State* L) {
    CPGameObject* target = ScriptArgObject<CPGameObject>(L, 4);
    if (CPLevel* level = GetLevel()) level->SetWeaponPos(ReadVec3(L, 1), target);
    return 0;
}

// SetShot (car, firing).
int SetShot(lua_State* L) {
    if (auto* car = ScriptArgObject<CPPlayer>(L, 1)) car->SetFiring(ScriptArgBool(L, 2));
    return 0;
}

// SetMineShot (car, dropping).
int SetMineShot(lua_State* L) {
    if (auto* car = ScriptArgObject<CPPlayer>(L, 1)) car->SetDroppingMine(ScriptArgBool(L, 2));
    return 0;
}

// SetCurrentWeapon (car, name): only the shown part changes, not the slot, kind or record.
int SetCurrentWeapon(lua_State* L) {
    const char* name = luaL_checkstring(L, 2);
    if (auto* car = ScriptArgObject<CPPlayer>(L, 1)) car->weapon.part = car->FindChild(name);
    return 0;
}

void PlaySelectionSound(bool changed) {
    CNAudio* audio = GetSoundManager();
    CPRefPtr<CNSound> sound = audio ? audio->GetSound(changed ? "change_weapon" : "undo_weapon") : CPRefPtr<CNSound>();
    if (!sound) return;
    if (sound->IsPlaying()) {
        sound->Stop();
        sound->Rewind();
    }
    sound->Play(0, 0);
}

// SetPrevWeapon (car) / SetNextWeapon (car): the neighbouring named weapon, mounted.
int SetPrevWeapon(lua_State* L) {
    auto* car = ScriptArgObject<CPPlayer>(L, 1);
    if (!car) return 0;
    PlaySelectionSound(car->SelectPrevWeapon());
    car->MountWeapon();
    return 0;
}

int SetNextWeapon(lua_State* L) {
    auto* car = ScriptArgObject<CPPlayer>(L, 1);
    if (!car) return 0;
    PlaySelectionSound(car->SelectNextWeapon());
    car->MountWeapon();
    return 0;
}

// ---- end of the car's weapon ----

const ScriptFunctionEntry kWeaponFunctions[] = {
    {"Shot", Shot},
    {"PlayerShot", PlayerShot},
    {"Explosion", Explosion},
    {"DirectionalExplosion", DirectionalExplosion},
    {"SmartBomb", SmartBomb},
    {"SetBonus", SetBonus},
    {"AddBonus", AddBonus},
    {"EraseBonus", EraseBonus},
    {"GetBonusesCount", GetBonusesCount},
    {"ClearBonuses", ClearBonuses},
    {"GetBonusList", GetBonusList},
    {"StartLighting", StartLighting},
    {"UpdateTrasser", UpdateTrasser},
    {"SetWeaponPos", SetWeaponPos},
    {"SetShot", SetShot},
    {"SetMineShot", SetMineShot},
    {"SetCurrentWeapon", SetCurrentWeapon},
    {"SetPrevWeapon", SetPrevWeapon},
    {"SetNextWeapon", SetNextWeapon},
};

} // namespace

void RegisterWeaponScriptFunctions() { RegisterScriptTable(ScriptTable::Library, kWeaponFunctions); }
