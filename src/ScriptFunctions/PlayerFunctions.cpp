// The library's player functions. A car argument that is not a live car reads as nil, and a call
// that needs a level, a player car or a car model it cannot find does nothing (and answers nothing
// where it would answer).
//
// No function here raises a Lua error: every argument is read with the forgiving readers.
#include "ScriptFunctions/PlayerFunctions.h"

#include <algorithm>
#include <cmath>
#include <string>

#include <lua.hpp>

#include "Core/PScriptObject.h"
#include "Core/PScriptRegistry.h"
#include "Interface/PInterface.h"
#include "Race/CarParts.h"
#include "Race/PCamera.h"
#include "Race/PCar.h"
#include "Race/PGameData.h"
#include "Race/PLevel.h"
#include "Race/PPlayer.h"
#include "Render/PRender.h"
#include "ScriptFunctions/ScriptArgs.h"

namespace {

constexpr float kPi = 3.14159265358979f;
constexpr float kHalfPi = 1.5707964f;
constexpr int kLastTuningIndex = 18;
// A shock wave reaches at most this many cars of the level's list.
constexpr size_t kShockWaveCars = 5;

float Number(lua_State* L, int idx) { return static_cast<float>(ScriptArgNumber(L, idx)); }

CPPlayer* PlayerCar() {
    const CPLevel* level = GetLevel();
    return level ? level->GetPlayerCar() : nullptr;
}

CPCar* PlayerModel() {
    CPPlayer* player = PlayerCar();
    return player ? player->GetCar() : nullptr;
}

void PushVector(lua_State* L, const Vec3& v) {
    lua_pushnumber(L, v.x);
    lua_pushnumber(L, v.y);
    lua_pushnumber(L, v.z);
}

// SetBrake (car, on): the car's boost, unless it is locked.
int SetBrake(lua_State* L) {
    auto* car = ScriptArgObject<CPPlayer>(L, 1);
    if (car) car->SetBrake(ScriptArgBool(L, 2));
    return 0;
}

// Spawn (car): righted at the restart point whatever its state.
int Spawn(lua_State* L) {
    if (auto* car = ScriptArgObject<CPPlayer>(L, 1)) car->Spawn(true);
    return 0;
}

// One amount pushes along the motion; an amount and a duration push forward and keep pushing.
void Nitro(CPPlayer& car, lua_State* L, int amountArg) {
    const float amount = Number(L, amountArg);
    if (lua_gettop(L) > amountArg) car.NitroForward(amount, Number(L, amountArg + 1));
    else car.Nitro(amount);
}

// PlayerNitro (amount, [duration]).
int PlayerNitro(lua_State* L) {
    if (CPPlayer* player = PlayerCar()) Nitro(*player, L, 1);
    return 0;
}

// PlayerNitroAI (car, amount, [duration]).
int PlayerNitroAI(lua_State* L) {
    if (auto* car = ScriptArgObject<CPPlayer>(L, 1)) Nitro(*car, L, 2);
    return 0;
}

// ThrowPlayer (car): a Sunward car is tossed up from behind; the hauler, longer, from further back
// and less hard.
int ThrowPlayer(lua_State* L) {
    auto* car = ScriptArgObject<CPPlayer>(L, 1);
    if (!car || !(car->GetClassBits() & 1)) return 0;
    const bool hauler = car->GetCarKey() == "hauler_";
    const float mass = car->GetMass();
    const Vec3 point = car->GetPosition() - car->GetForward() * (hauler ? 2.0f : 1.0f);
    car->ApplyImpulse(point, Vec3(0, 0, (hauler ? 31.25f : 62.5f) * mass));
    return 0;
}

// The shock wave's push: against the car's motion, none at rest.
void ShockWave(CPPlayer& car, float x, float y, float radius) {
    if (!(car.GetClassBits() & 2)) return;
    const Vec3& p = car.GetPosition();
    const float dx = p.x - x, dy = p.y - y;
    if (!(std::sqrt(dx * dx + dy * dy) <= radius)) return;
    const Vec3 v = car.GetLinearVelocity();
    const float squared = Dot(v, v);
    const Vec3 unit = squared < 0.000001f ? Vec3() : v / std::sqrt(squared);
    car.ApplyImpulse(p, unit * -72.0f);
}

// CheckIntersection (x, y, ignored, radius): Moonward cars within the radius on the ground plane.
int CheckIntersection(lua_State* L) {
    const float x = Number(L, 1), y = Number(L, 2), radius = Number(L, 4);
    CPLevel* level = GetLevel();
    if (!level || !std::isfinite(x) || !std::isfinite(y) || !std::isfinite(radius)) return 0;
    if (CPPlayer* player = level->GetPlayerCar()) ShockWave(*player, x, y, radius);
    const auto& cars = level->GetCars();
    for (size_t i = 0; i < std::min(cars.size(), kShockWaveCars); ++i)
        if (cars[i]) ShockWave(*cars[i], x, y, radius);
    return 0;
}

int GetPlayerDirectionAI(lua_State* L) {
    auto* car = ScriptArgObject<CPPlayer>(L, 1);
    if (!car) return 0;
    PushVector(L, car->GetForward());
    return 3;
}

// IsPlayerMoveForward (): the motion lies within a right angle of the camera's view. A car at rest,
// or a camera without a direction, counts as moving forward.
int IsPlayerMoveForward(lua_State* L) {
    CPLevel* level = GetLevel();
    CPPlayer* player = level ? level->GetPlayerCar() : nullptr;
    if (!player) return 0;
    bool forward = true;
    const CPCamera* camera = level->GetCamera();
    const CPPerspectiveCamera* view = camera ? camera->GetMainCamera() : nullptr;
    const Vec3 motion = player->GetLinearVelocity();
    if (view) {
        const Vec3 look = view->lookAt - view->eye;
        const float lookLength = Length(look), motionLength = Length(motion);
        if (lookLength > 0.0f && motionLength > 0.0f && std::isfinite(lookLength) && std::isfinite(motionLength)) {
            const float c = std::clamp(Dot(look / lookLength, motion / motionLength), -1.0f, 1.0f);
            forward = std::acos(c) + kHalfPi <= kPi;
        }
    }
    lua_pushboolean(L, forward);
    return 1;
}

// SetEngineMoment (torque): kept by the player car's model while the race runs.
int SetEngineMoment(lua_State* L) {
    const float torque = Number(L, 1);
    const CPLevel* level = GetLevel();
    if (!level || level->IsStopped()) return 0;
    if (CPCar* model = PlayerModel()) model->engineMoment = torque;
    return 0;
}

int GetNitro(lua_State* L) {
    const CPCar* model = PlayerModel();
    if (!model) return 0;
    lua_pushnumber(L, model->nitroAmount);
    return 1;
}

// EngineState (interface, on): the window named after the race configuration's engine.
int EngineState(lua_State* L) {
    auto* screen = ScriptArgObject<CPInterface>(L, 1);
    const bool on = ScriptArgBool(L, 2);
    const CPGameData* data = GetGameData();
    if (!screen || !data || data->raceConfiguration.engine.empty()) return 0;
    if (CPWindow* window = screen->FindElement(data->raceConfiguration.engine)) window->SetVisible(on);
    return 0;
}

int GetPlayerDamage(lua_State* L) {
    const CPPlayer* player = PlayerCar();
    if (!player) return 0;
    lua_pushnumber(L, player->damage);
    return 1;
}

// The first car of the level's list built from the script key's car.
const CPPlayer* ListedCar(const CPLevel& level, const std::string& carKey) {
    for (const auto& car : level.GetCars())
        if (car && car->GetCarKey() == carKey) return car.Get();
    return nullptr;
}

// GetAIDamage (key): the listed car's damage, 0 when the list has no such car.
int GetAIDamage(lua_State* L) {
    const std::string carKey = CarKeyOfScriptKey(ScriptArgString(L, 1));
    const CPLevel* level = GetLevel();
    if (!level) return 0;
    const CPPlayer* car = ListedCar(*level, carKey);
    lua_pushnumber(L, car ? car->damage : 0.0f);
    return 1;
}

// IsPlayerDead ([key]): the player car's damage at 100 or more, or that of the car the key names
// (the list first, then the player car).
int IsPlayerDead(lua_State* L) {
    const bool keyed = lua_gettop(L) >= 1;
    const std::string carKey = keyed ? CarKeyOfScriptKey(ScriptArgString(L, 1)) : std::string();
    const CPLevel* level = GetLevel();
    if (!level) return 0;
    const CPPlayer* player = level->GetPlayerCar();
    const CPPlayer* car = player;
    if (keyed) {
        car = ListedCar(*level, carKey);
        if (!car && player && player->GetCarKey() == carKey) car = player;
    } else if (!player) {
        return 0;
    }
    lua_pushboolean(L, car && car->damage >= 100.0f);
    return 1;
}

// IsDead (): the player car is wrecked; with no car to ask, it counts as dead.
int IsDead(lua_State* L) {
    const CPPlayer* player = PlayerCar();
    lua_pushboolean(L, !player || player->wrecked);
    return 1;
}

// IsDamageMsg (): the race has ended or the player's defeat was reported.
int IsDamageMsg(lua_State* L) {
    const CPLevel* level = GetLevel();
    const CPPlayer* player = level ? level->GetPlayerCar() : nullptr;
    lua_pushboolean(L, level && (level->IsFinished() || (player && player->defeatReported)));
    return 1;
}

// DamagePlayer (car, amount): alive after the hit; nil counts as alive.
int DamagePlayer(lua_State* L) {
    auto* car = ScriptArgObject<CPPlayer>(L, 1);
    const float amount = Number(L, 2);
    lua_pushboolean(L, car ? car->TakeDamage(amount) : true);
    return 1;
}

int KillPlayer(lua_State* L) {
    if (auto* car = ScriptArgObject<CPPlayer>(L, 1)) car->RemoveFromRace();
    return 0;
}

int IsInGloom(lua_State* L) {
    const auto* car = ScriptArgObject<CPPlayer>(L, 1);
    lua_pushboolean(L, car && car->inGloom);
    return 1;
}

// SetTimeBonus (car): no respawn for lying low during the next four seconds.
int SetTimeBonus(lua_State* L) {
    if (auto* car = ScriptArgObject<CPPlayer>(L, 1)) car->SetRespawnGuard(4.0f);
    return 0;
}

// ActivateAbilities (): the player car's ability count and the most it may hold.
int ActivateAbilities(lua_State* L) {
    const CPPlayer* player = PlayerCar();
    if (!player) return 0;
    const CPGameData* data = GetGameData();
    lua_pushnumber(L, player->abilityCount);
    lua_pushnumber(L, data ? data->abilityMaximum : 0);
    return 2;
}

int ActivateAbilitiesAI(lua_State* L) {
    const auto* car = ScriptArgObject<CPPlayer>(L, 1);
    if (!car) return 0;
    lua_pushnumber(L, car->abilityCount);
    return 1;
}

int SetAbilitiesCount(lua_State* L) {
    const int count = ScriptArgInt(L, 1);
    if (CPPlayer* player = PlayerCar()) player->abilityCount = count;
    return 0;
}

int SetAbilitiesCountAI(lua_State* L) {
    auto* car = ScriptArgObject<CPPlayer>(L, 1);
    const int count = ScriptArgInt(L, 2);
    if (car) car->abilityCount = count;
    return 0;
}

int SetMaxAbilityCount(lua_State* L) {
    const int count = ScriptArgInt(L, 1);
    if (CPGameData* data = GetGameData()) data->abilityMaximum = count;
    return 0;
}

int GetPlayerMana(lua_State* L) {
    const CPGameData* data = GetGameData();
    if (!data) return 0;
    lua_pushnumber(L, data->mana);
    return 1;
}

int SetPlayerMana(lua_State* L) {
    const int mana = ScriptArgInt(L, 1);
    if (CPGameData* data = GetGameData()) data->mana = mana;
    return 0;
}

// The tuner: each index names one value of the vehicle model and the step it moves by.
struct TuningEntry {
    float CPCar::*value;
    float step;
};
const TuningEntry kTuning[kLastTuningIndex + 1] = {
    {&CPCar::rayX, 0.01f},         {&CPCar::rayHeight, 0.01f},   {&CPCar::rayLength, 0.01f},
    {&CPCar::wheelRadius, 0.01f},  {&CPCar::frontLimit, 0.01f},  {&CPCar::rearLimit, 0.01f},
    {&CPCar::springFront, 1.0f},   {&CPCar::springRear, 1.0f},   {&CPCar::damping, 10.0f},
    {&CPCar::maxFrontSpeed, 1.0f}, {&CPCar::maxRearSpeed, 1.0f}, {&CPCar::frictionFront, 1.0f},
    {&CPCar::frictionBack, 1.0f},  {&CPCar::slide, 0.05f},       {&CPCar::forwardFactor, 1.0f},
    {&CPCar::reverseFactor, 1.0f}, {&CPCar::brake, 0.1f},        {&CPCar::yawFactor, 0.05f},
    {&CPCar::pitchFactor, 0.05f},
};

void MoveTuningIndex(int by) {
    if (CPRender* render = GetRender())
        render->SetTuningIndex(std::clamp(render->GetTuningIndex() + by, 0, kLastTuningIndex));
}

// The index starts at 0 and is only ever moved within the table; a renderer-less run tunes index 0.
void Tune(float direction) {
    CPCar* model = PlayerModel();
    if (!model) return;
    const CPRender* render = GetRender();
    const int index = std::clamp(render ? render->GetTuningIndex() : 0, 0, kLastTuningIndex);
    model->*kTuning[index].value += direction * kTuning[index].step;
}

int Pup(lua_State*) {
    MoveTuningIndex(-1);
    return 0;
}

int Pdown(lua_State*) {
    MoveTuningIndex(1);
    return 0;
}

int Pleft(lua_State*) {
    Tune(-1.0f);
    return 0;
}

int Pright(lua_State*) {
    Tune(1.0f);
    return 0;
}

const ScriptFunctionEntry kPlayerFunctions[] = {
    {"SetBrake", SetBrake},
    {"Spawn", Spawn},
    {"PlayerNitro", PlayerNitro},
    {"PlayerNitroAI", PlayerNitroAI},
    {"ThrowPlayer", ThrowPlayer},
    {"CheckIntersection", CheckIntersection},
    {"GetPlayerDirectionAI", GetPlayerDirectionAI},
    {"IsPlayerMoveForward", IsPlayerMoveForward},
    {"SetEngineMoment", SetEngineMoment},
    {"GetNitro", GetNitro},
    {"EngineState", EngineState},
    {"GetPlayerDamage", GetPlayerDamage},
    {"GetAIDamage", GetAIDamage},
    {"IsPlayerDead", IsPlayerDead},
    {"IsDead", IsDead},
    {"IsDamageMsg", IsDamageMsg},
    {"DamagePlayer", DamagePlayer},
    {"KillPlayer", KillPlayer},
    {"IsInGloom", IsInGloom},
    {"SetTimeBonus", SetTimeBonus},
    {"ActivateAbilities", ActivateAbilities},
    {"ActivateAbilitiesAI", ActivateAbilitiesAI},
    {"SetAbilitiesCount", SetAbilitiesCount},
    {"SetAbilitiesCountAI", SetAbilitiesCountAI},
    {"SetMaxAbilityCount", SetMaxAbilityCount},
    {"GetPlayerMana", GetPlayerMana},
    {"SetPlayerMana", SetPlayerMana},
    {"Pup", Pup},
    {"Pdown", Pdown},
    {"Pleft", Pleft},
    {"Pright", Pright},
};

} // namespace

void RegisterPlayerScriptFunctions() { RegisterScriptTable(ScriptTable::Library, kPlayerFunctions); }
