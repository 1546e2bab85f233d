// The library's object functions: place, turn and read scene objects, push them through their
// physics bodies, copy them, find their parts, show or hide them, start their animations, and stop
// a script. An object argument that is not a live game object reads as nil.
//
// A bad argument raises a Lua error, which unwinds with longjmp: every argument check comes before
// the first C++ object with a destructor in each function.
#include "ScriptFunctions/SceneObjectFunctions.h"

#include <cmath>
#include <cstdint>

#include "Core/Math/Mat4.h"
#include "Core/PGameObject.h"
#include "Core/PLuaScript.h"
#include "Core/PScriptObject.h"
#include "Core/PScriptRegistry.h"
#include "Physics/Physics.h"
#include "Race/PPhysicData.h"
#include "Race/PPlayer.h"
#include "ScriptFunctions/ScriptArgs.h"

namespace {

float Number(lua_State* L, int idx) { return static_cast<float>(ScriptArgNumber(L, idx)); }

Physics::RigidBody* RigidBodyOf(const CPGameObject* object) {
    if (object == nullptr) return nullptr;
    auto* data = dynamic_cast<CPPhysicData*>(object->GetPhysicData().Get());
    return data != nullptr ? data->rigidBody : nullptr;
}

void PushNils(lua_State* L, int count) {
    for (int i = 0; i < count; ++i) lua_pushnil(L);
}

int SetPosition(lua_State* L) {
    CPGameObject* object = ScriptArgObject<CPGameObject>(L, 1);
    const Vec3 position(Number(L, 2), Number(L, 3), Number(L, 4));
    if (!object || !ScriptArgsFinite("SetPosition", {position.x, position.y, position.z})) return 0;
    object->SetPosition(position);
    object->UpdateTransform();
    return 0;
}

// The turn about x, then about y, then about z.
int SetRotation(lua_State* L) {
    CPGameObject* object = ScriptArgObject<CPGameObject>(L, 1);
    const float x = Number(L, 2), y = Number(L, 3), z = Number(L, 4);
    if (!object || !ScriptArgsFinite("SetRotation", {x, y, z})) return 0;
    const Mat4 turn = MatRotationX(x) * MatRotationY(y) * MatRotationZ(z);
    object->SetRotation(QuatRotationMatrix(turn));
    object->UpdateTransform();
    return 0;
}

int GetPosition(lua_State* L) {
    const CPGameObject* object = ScriptArgObject<CPGameObject>(L, 1);
    if (!object) {
        PushNils(L, 3);
        return 3;
    }
    const Vec3& p = object->GetPosition();
    lua_pushnumber(L, p.x);
    lua_pushnumber(L, p.y);
    lua_pushnumber(L, p.z);
    return 3;
}

int GetBBoxInfo(lua_State* L) {
    const CPGameObject* object = ScriptArgObject<CPGameObject>(L, 1);
    if (!object) {
        PushNils(L, 9);
        return 9;
    }
    const CPBoundingBox& box = object->GetVisibilityBounds();
    for (const Vec3* v : {&box.GetCentre(), &box.min, &box.max}) {
        lua_pushnumber(L, v->x);
        lua_pushnumber(L, v->y);
        lua_pushnumber(L, v->z);
    }
    return 9;
}

int GetObjectSpeed(lua_State* L) {
    const Physics::RigidBody* body = RigidBodyOf(ScriptArgObject<CPGameObject>(L, 1));
    double speed = 0.0;
    if (body != nullptr) {
        const Physics::Vector4& v = body->GetLinearVelocity();
        const double squared = double(v.x) * v.x + double(v.y) * v.y + double(v.z) * v.z;
        if (squared >= 0.000001) speed = std::sqrt(squared);
    }
    lua_pushnumber(L, speed);
    return 1;
}

int IsRigid(lua_State* L) {
    lua_pushboolean(L, RigidBodyOf(ScriptArgObject<CPGameObject>(L, 1)) != nullptr);
    return 1;
}

// The impulse at the object's position.
int Jump(lua_State* L) {
    CPGameObject* object = ScriptArgObject<CPGameObject>(L, 1);
    Physics::RigidBody* body = RigidBodyOf(object);
    const float x = Number(L, 2), y = Number(L, 3), z = Number(L, 4);
    if (body == nullptr || !ScriptArgsFinite("Jump", {x, y, z})) return 0;
    const Vec3& p = object->GetPosition();
    body->ApplyImpulseAtPoint(Physics::Vector4(x, y, z, 0.0f), Physics::Vector4(p.x, p.y, p.z, 0.0f));
    return 0;
}

// ApplyImpulse (car, x, y, z): the impulse at the car's position on its body; only cars are pushed.
int ApplyImpulse(lua_State* L) {
    auto* car = ScriptArgObject<CPPlayer>(L, 1);
    const Vec3 impulse(Number(L, 2), Number(L, 3), Number(L, 4));
    if (car && ScriptArgsFinite("ApplyImpulse", {impulse.x, impulse.y, impulse.z}))
        car->ApplyImpulse(car->GetPosition(), impulse);
    return 0;
}

// The copy comes back holding no reference: the collector takes it at the end of the turn unless
// the script keeps it with AddRef. A nil object copies nothing and answers a null object.
int Clone(lua_State* L) {
    CPGameObject* object = ScriptArgObject<CPGameObject>(L, 1);
    if (!object) {
        PushObject(L, nullptr);
        return 1;
    }
    CPGameObject* copy = nullptr;
    {
        CPRefPtr<CPGameObject> made(new CPGameObject(object->GetName()));
        made->CopyFrom(CPRefPtr<CPGameObject>(object));
        copy = made.Get();
    }
    PushObject(L, copy);
    return 1;
}

// The name is read first: a missing name is an error even for a nil object.
int FindObject(lua_State* L) {
    const char* name = luaL_checkstring(L, 2);
    CPGameObject* object = ScriptArgObject<CPGameObject>(L, 1);
    CPGameObject* found = nullptr;
    if (object) found = object->FindChild(name).Get();
    PushObject(L, found);
    return 1;
}

int SetObjectVisible(lua_State* L) {
    if (CPGameObject* object = ScriptArgObject<CPGameObject>(L, 1)) object->SetVisible(ScriptArgBool(L, 2));
    return 0;
}

// Speed 1, no report frame; a count of 0 or less plays endlessly. An animation already playing
// under the name goes on undisturbed.
int StartAnimation(lua_State* L) {
    CPGameObject* object = ScriptArgObject<CPGameObject>(L, 1);
    if (!object) return 0;
    const char* name = ScriptArgString(L, 2);
    const double count = ScriptArgNumber(L, 3);
    CPLuaScript* listener = ScriptArgObject<CPLuaScript>(L, 4);
    AnimationRequest request;
    request.name = name;
    request.speed = 1.0f;
    request.timeOffset = 0.0f;
    request.playCount = std::isfinite(count) && std::fabs(count) < 2147483647.0 ? static_cast<int>(count) : 0;
    request.listener = CPRefPtr<CPLuaScript>(listener);
    request.reportFrame = -1;
    object->PlayAnimation(request, false);
    return 0;
}

// Anything but a script does nothing.
int StopScript(lua_State* L) {
    if (CPLuaScript* script = ScriptArgObject<CPLuaScript>(L, 1)) script->SetKilled(true);
    return 0;
}

const ScriptFunctionEntry kSceneObjectFunctions[] = {
    {"SetPosition", SetPosition},
    {"SetRotation", SetRotation},
    {"GetPosition", GetPosition},
    {"GetBBoxInfo", GetBBoxInfo},
    {"GetObjectSpeed", GetObjectSpeed},
    {"IsRigid", IsRigid},
    {"ApplyImpulse", ApplyImpulse},
    {"Jump", Jump},
    {"Clone", Clone},
    {"FindObject", FindObject},
    {"SetObjectVisible", SetObjectVisible},
    {"StartAnimation", StartAnimation},
    {"StopScript", StopScript},
};

} // namespace

void RegisterSceneObjectScriptFunctions() { RegisterScriptTable(ScriptTable::Library, kSceneObjectFunctions); }
