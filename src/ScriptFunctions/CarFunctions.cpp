// The library's car functions. A car argument that is not a live car reads as nil.
//
// A bad argument raises a Lua error, which unwinds with longjmp: every argument check comes before
// the first C++ object with a destructor in each function.
#include "ScriptFunctions/CarFunctions.h"

#include <lua.hpp>

#include <cmath>

#include "Core/PLog.h"
#include "Core/PScriptObject.h"
#include "Core/PScriptRegistry.h"
#include "Race/PCar.h"
#include "Race/PLevel.h"
#include "Race/PPlayer.h"

namespace {

float Number(lua_State* L, int idx) { return static_cast<float>(ScriptArgNumber(L, idx)); }

CPPlayer* PlayerCar() {
    const CPLevel* level = GetLevel();
    return level ? level->GetPlayerCar() : nullptr;
}

void PushVector(lua_State* L, const Vec3& v) {
    lua_pushnumber(L, v.x);
    lua_pushnumber(L, v.y);
    lua_pushnumber(L, v.z);
}

// SetCarParams (car, throttle, lift): the car's inputs; its update hands them on each turn.
int SetCarParams(lua_State* L) {
    auto* car = ScriptArgObject<CPPlayer>(L, 1);
    const float throttle = Number(L, 2), lift = Number(L, 3);
    if (car) car->SetControls(throttle, lift);
    return 0;
}

// LockPlayers and LockPlayer (locked): one function, the player's car held or let go.
int LockPlayer(lua_State* L) {
    const bool locked = ScriptArgBool(L, 1);
    if (CPPlayer* player = PlayerCar()) player->Lock(locked);
    return 0;
}

int GetPlayerPosition(lua_State* L) {
    const CPPlayer* player = PlayerCar();
    PushVector(L, player ? player->GetPosition() : Vec3());
    return 3;
}

int GetPlayerDirection(lua_State* L) {
    const CPPlayer* player = PlayerCar();
    if (!player) return 0;
    PushVector(L, player->GetForward());
    return 3;
}

int GetPlayerSpeed(lua_State* L) {
    const CPLevel* level = GetLevel();
    lua_pushnumber(L, level ? level->GetCurrentSpeed() : 0.0f);
    return 1;
}

// GetPlayerSpeedAI (car): the speed of the car's vehicle model; nothing for a car without one.
int GetPlayerSpeedAI(lua_State* L) {
    auto* car = ScriptArgObject<CPPlayer>(L, 1);
    const CPCar* model = car ? car->GetCar() : nullptr;
    if (!model) return 0;
    lua_pushnumber(L, model->speed);
    return 1;
}

// GetPlayerMass ([car]): the player's car's mass, or the given car's (0 for nil).
int GetPlayerMass(lua_State* L) {
    const bool given = lua_gettop(L) >= 1;
    auto* car = given ? ScriptArgObject<CPPlayer>(L, 1) : nullptr;
    if (!GetLevel()) return 0;
    if (!given) car = PlayerCar();
    if (!given && !car) return 0;
    lua_pushnumber(L, car ? car->GetMass() : 0.0f);
    return 1;
}

int StopPlayerCar(lua_State*) {
    if (CPPlayer* player = PlayerCar()) player->ApplyImpulse(player->GetPosition(), player->GetVelocity() * -4.0f);
    return 0;
}

// PlayerApplyImpulse ([px, py, pz,] ix, iy, iz): with more than three arguments the first three
// are the world point, else the impulse acts at the car's position.
int PlayerApplyImpulse(lua_State* L) {
    const bool withPoint = lua_gettop(L) > 3;
    const Vec3 first(Number(L, 1), Number(L, 2), Number(L, 3));
    const Vec3 second(Number(L, 4), Number(L, 5), Number(L, 6));
    CPPlayer* player = PlayerCar();
    if (!player) return 0;
    // A number that is not finite would reach the car's body and from there its recorded run.
    const auto finite = [](const Vec3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); };
    if (!finite(first) || (withPoint && !finite(second))) {
        GetLog().Write(0, "PlayerApplyImpulse: a number that is not finite, ignored\n");
        return 0;
    }
    if (withPoint) player->ApplyImpulse(first, second);
    else player->ApplyImpulse(player->GetPosition(), first);
    return 0;
}

int IsPlayerMovingBackwards(lua_State* L) {
    const CPLevel* level = GetLevel();
    if (!level) return 0;
    lua_pushboolean(L, level->IsPlayerMovingBackwards());
    return 1;
}

const ScriptFunctionEntry kCarFunctions[] = {
    {"SetCarParams", SetCarParams},
    {"LockPlayers", LockPlayer},
    {"LockPlayer", LockPlayer},
    {"GetPlayerPosition", GetPlayerPosition},
    {"GetPlayerDirection", GetPlayerDirection},
    {"GetPlayerSpeed", GetPlayerSpeed},
    {"GetPlayerSpeedAI", GetPlayerSpeedAI},
    {"GetPlayerMass", GetPlayerMass},
    {"StopPlayerCar", StopPlayerCar},
    {"PlayerApplyImpulse", PlayerApplyImpulse},
    {"IsPlayerMovingBackwards", IsPlayerMovingBackwards},
};

} // namespace

void RegisterCarScriptFunctions() { RegisterScriptTable(ScriptTable::Library, kCarFunctions); }
