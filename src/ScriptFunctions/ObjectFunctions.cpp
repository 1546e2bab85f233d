// Script functions on game objects. An object argument that is not a live game object reads as
// null, and the function then does nothing (or answers a null object).
//
// A bad argument raises a Lua error, which unwinds with longjmp: every argument check comes before
// the first C++ object with a destructor in each function.
#include "ScriptFunctions/ObjectFunctions.h"

#include <cmath>
#include <cstdint>
#include <string>

#include "Core/Math/Mat4.h"
#include "Core/PGameObject.h"
#include "Core/PLuaScript.h"
#include "Core/PScriptObject.h"
#include "Core/PScriptRegistry.h"
#include "Render/PMeshManager.h"

namespace {

// Truncated toward zero; out-of-range values are clamped and NaN reads 0.
int32_t ToInt32(double value) {
    if (std::isnan(value)) return 0;
    if (value >= 2147483647.0) return INT32_MAX;
    if (value <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(value);
}

int SetPTransformation(lua_State* L) {
    CPGameObject* object = ScriptArgObject<CPGameObject>(L, 1);
    if (!object) return 0;
    const auto arg = [L](int i) { return static_cast<float>(ScriptArgNumber(L, i)); };
    // Holds until the parent next hands its world matrix down.
    object->SetParentMatrix(MatRotationYawPitchRoll(arg(5), arg(6), arg(7)) * MatTranslation(arg(2), arg(3), arg(4)));
    object->MarkDirty();
    object->UpdateTransform();
    return 0;
}

int GetChildObject(lua_State* L) {
    const char* name = luaL_checkstring(L, 2);
    CPGameObject* object = ScriptArgObject<CPGameObject>(L, 1);
    CPGameObject* found = nullptr;
    if (object) {
        CPGameObject::ObjectList objects;
        object->CollectObjects(objects);
        for (const auto& candidate : objects) {
            if (candidate->GetName() == name) {
                found = candidate.Get();
                break;
            }
        }
    }
    PushObject(L, found);
    return 1;
}

int SetVisible(lua_State* L) {
    if (CPGameObject* object = ScriptArgObject<CPGameObject>(L, 1)) object->SetVisible(ScriptArgBool(L, 2));
    return 0;
}

int SetCollision(lua_State* L) {
    if (CPGameObject* object = ScriptArgObject<CPGameObject>(L, 1)) object->SetCollision(ScriptArgBool(L, 2));
    return 0;
}

// Arguments: object, animation name, speed, play count, report frame, listener script. A missing
// number reads 0, so leaving out the report frame asks for a report at frame 0.
int SetAnimation(lua_State* L) {
    CPGameObject* object = ScriptArgObject<CPGameObject>(L, 1);
    if (!object) return 0;
    // Every argument is read before the request exists: converting one may raise a Lua error.
    const char* name = ScriptArgString(L, 2);
    const double speed = ScriptArgNumber(L, 3);
    const int32_t playCount = ToInt32(ScriptArgNumber(L, 4));
    const int32_t reportFrame = ToInt32(ScriptArgNumber(L, 5));
    CPLuaScript* listener = ScriptArgObject<CPLuaScript>(L, 6);

    AnimationRequest request;
    request.name = name;
    request.speed = static_cast<float>(speed);
    request.playCount = playCount;
    request.reportFrame = reportFrame;
    request.listener = CPRefPtr<CPLuaScript>(listener);
    request.timeOffset = 0.0f;
    object->PlayAnimation(request, false);
    return 0;
}

int GetParentObject(lua_State* L) {
    CPGameObject* object = ScriptArgObject<CPGameObject>(L, 1);
    PushObject(L, object ? object->GetParentPointer() : nullptr);
    return 1;
}

int ActivateObject(lua_State* L) {
    if (CPGameObject* object = ScriptArgObject<CPGameObject>(L, 1)) object->Activate(ToInt32(ScriptArgNumber(L, 2)));
    return 0;
}

// Serves interfaces too: their deactivation replaces the object's.
// LoadRenderObject (description name, layer offset): the object comes with one reference, which
// the script gives back with Release; a null object when nothing was built.
int LoadRenderObject(lua_State* L) {
    const char* name = luaL_checkstring(L, 1);
    const int32_t offset = ToInt32(luaL_checknumber(L, 2));
    CPGameObject* object = nullptr;
    if (CPMeshManager* meshes = GetMeshManager()) {
        CPRefPtr<CPGameObject> built = meshes->LoadRenderObject(name, offset);
        object = built.Get();
        if (object) object->AddRef();
    }
    PushObject(L, object);
    return 1;
}

const ScriptFunctionEntry kObjectFunctions[] = {
    {"SetPTransformation", SetPTransformation},
    {"GetChildObject", GetChildObject},
    {"SetVisible", SetVisible},
    {"SetCollision", SetCollision},
    {"LoadRenderObject", LoadRenderObject},
    {"SetAnimation", SetAnimation},
    {"GetParentObject", GetParentObject},
    {"ActivateObject", ActivateObject},
    {"DeactivateObject", DeactivateObjectFunction},
};

} // namespace

int DeactivateObjectFunction(lua_State* L) {
    if (CPGameObject* object = ScriptArgObject<CPGameObject>(L, 1)) object->Deactivate();
    return 0;
}

void RegisterObjectScriptFunctions() { RegisterScriptTable(ScriptTable::Core, kObjectFunctions); }
