// The library's camera and rendering functions: the race camera's mode, angle, target and field of
// view, picking through the camera, visibility and the level light.
//
// A bad argument raises a Lua error, which unwinds with longjmp: every argument check comes before
// the first C++ object with a destructor in each function.
#include "ScriptFunctions/CameraFunctions.h"

#include <cmath>

#include "Core/PGameObject.h"
#include "Core/PRandom.h"
#include "Core/PRayQuery.h"
#include "Core/PScriptObject.h"
#include "Core/PScriptRegistry.h"
#include "Race/PCamera.h"
#include "Race/PLevel.h"
#include "ScriptFunctions/ScriptArgs.h"

namespace {

float Number(lua_State* L, int idx) { return static_cast<float>(ScriptArgNumber(L, idx)); }

CPCamera* LevelCamera() {
    const CPLevel* level = GetLevel();
    return level ? level->GetCamera() : nullptr;
}

int SetCameraPos(lua_State* L) {
    const Vec3 target(Number(L, 1), Number(L, 2), Number(L, 3));
    if (!ScriptArgsFinite("SetCameraPos", {target.x, target.y, target.z})) return 0;
    if (CPCamera* camera = LevelCamera()) {
        camera->lookAt = target;
        camera->changed = true;
    }
    return 0;
}

int SetCameraZAngle(lua_State* L) {
    const float angle = Number(L, 1);
    if (!ScriptArgsFinite("SetCameraZAngle", {angle})) return 0;
    if (CPCamera* camera = LevelCamera()) camera->SetZAngle(angle);
    return 0;
}

int GetCameraZAngle(lua_State* L) {
    const CPCamera* camera = LevelCamera();
    if (!camera) return 0;
    lua_pushnumber(L, camera->zAngle);
    return 1;
}

// GetCameraPositions: the main camera's eye, then the point the camera looks at.
int GetCameraPositions(lua_State* L) {
    const CPCamera* camera = LevelCamera();
    if (!camera) return 0;
    const Vec3& eye = camera->GetMainCamera()->eye;
    const Vec3& at = camera->fixedView ? camera->fixedLookAt : camera->lookAt;
    for (float v : {eye.x, eye.y, eye.z, at.x, at.y, at.z}) lua_pushnumber(L, v);
    return 6;
}

// SetCamera (on): the circling camera of the race update on or off, from a random side and height.
int SetCamera(lua_State* L) {
    const int mode = ScriptArgBool(L, 1) ? 1 : 0;
    CPLevel* level = GetLevel();
    CPCamera* camera = LevelCamera();
    if (!level || !camera || level->GetCameraTimerMode() == mode) return 0;
    level->SetCameraTimerMode(mode);
    level->SetCameraTimer(0.0f);
    level->SetRotationSide(EngineRand() % 2 == 0 ? -1.0f : 1.0f);
    if (mode == 0) camera->SetZAngle(level->GetPlayerHeadingValue());
    camera->SetPitch(EngineRand() % 4 == 0 ? -0.2617994f : -1.5707964f);
    return 0;
}

int ChangeGameCamera(lua_State* L) {
    CPLevel* level = GetLevel();
    if (!level) {
        lua_pushnumber(L, -1);
        return 1;
    }
    const int mode = level->GetCameraMode() + 1 > 2 ? 0 : level->GetCameraMode() + 1;
    level->SetCameraMode(mode);
    lua_pushnumber(L, mode);
    return 1;
}

int SetCameraPlayer(lua_State* L) {
    const bool follow = ScriptArgBool(L, 1);
    if (CPLevel* level = GetLevel()) level->SetCameraMode(follow ? 1 : 0);
    return 0;
}

int GetCameraPlayer(lua_State* L) {
    const CPLevel* level = GetLevel();
    if (!level) return 0;
    lua_pushnumber(L, level->GetCameraMode());
    return 1;
}

int SetFOV(lua_State* L) {
    const float degrees = Number(L, 1);
    if (!ScriptArgsFinite("SetFOV", {degrees})) return 0;
    if (CPCamera* camera = LevelCamera()) camera->SetFieldOfView(degrees);
    return 0;
}

int GetFov(lua_State* L, int preset) {
    const CPLevel* level = GetLevel();
    if (!level) return 0;
    lua_pushnumber(L, level->GetFov(preset));
    return 1;
}
int GetFov1(lua_State* L) { return GetFov(L, 0); }
int GetFov2(lua_State* L) { return GetFov(L, 1); }

// CrossInterfaceRay (sx, sy): the ray through the screen point tested against the level and the
// player's car; the hit, the object, and where the ray meets the ground plane.
int CrossInterfaceRay(lua_State* L) {
    const float sx = Number(L, 1), sy = Number(L, 2);
    CPLevel* level = GetLevel();
    const CPCamera* camera = LevelCamera();
    bool hit = false;
    CPGameObject* object = nullptr;
    float gx = 0.0f, gy = 0.0f;
    if (level && camera) {
        const CPPerspectiveCamera* view = camera->GetMainCamera();
        const Vec4 clip =
            Vec4Transform(Vec4(2.0f * sx - 1.0f, 1.0f - 2.0f * sy, 1.0f, 1.0f), view->viewProjectionInverse);
        const Vec3 far = clip.w != 0.0f ? Vec3(clip.x, clip.y, clip.z) / clip.w : Vec3(clip.x, clip.y, clip.z);
        CPRayQuery query;
        query.origin = view->eye;
        query.direction = Normalize(far - view->eye);
        query.distance = 100000.0f;
        hit = level->CrossRayWithPlayer(query);
        object = query.hitObject.Get();
        const Vec3& d = query.direction;
        if (d.z != 0.0f) {
            gx = view->eye.x - d.x * view->eye.z / d.z;
            gy = view->eye.y - d.y * view->eye.z / d.z;
        }
    }
    lua_pushboolean(L, hit);
    PushObject(L, object);
    lua_pushnumber(L, gx);
    lua_pushnumber(L, gy);
    lua_pushnumber(L, 0);
    return 5;
}

// CheckVisible (object): whether the box around its collision boxes is in the main camera's view.
int CheckVisible(lua_State* L) {
    auto* object = ScriptArgObject<CPGameObject>(L, 1);
    const CPCamera* camera = LevelCamera();
    bool visible = false;
    if (object && camera) {
        const CPBoundingBox& box = object->GetCollisionBounds();
        visible = camera->GetMainCamera()->IsBoxVisible(box.min, box.max);
    }
    lua_pushboolean(L, visible);
    return 1;
}

// GetLight: diffuse, specular and ambient (r, g, b, a each), then the direction.
int GetLight(lua_State* L) {
    CPLevel* level = GetLevel();
    if (!level) return 0;
    const LightRecord& light = level->GetLight();
    for (const Color* c : {&light.Diffuse, &light.Specular, &light.Ambient})
        for (float v : {c->r, c->g, c->b, c->a}) lua_pushnumber(L, v);
    for (float v : {light.Direction.x, light.Direction.y, light.Direction.z}) lua_pushnumber(L, v);
    return 15;
}

int SetLight(lua_State* L) {
    float v[15];
    for (int i = 0; i < 15; ++i) v[i] = Number(L, i + 1);
    CPLevel* level = GetLevel();
    if (!level || !ScriptArgsFinite("SetLight", {v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8], v[9], v[10],
                                                 v[11], v[12], v[13], v[14]}))
        return 0;
    LightRecord& light = level->GetLight();
    light.Diffuse = Color{v[0], v[1], v[2], v[3]};
    light.Specular = Color{v[4], v[5], v[6], v[7]};
    light.Ambient = Color{v[8], v[9], v[10], v[11]};
    light.Direction = Vec3(v[12], v[13], v[14]);
    return 0;
}

const ScriptFunctionEntry kCameraFunctions[] = {
    {"SetCameraPos", SetCameraPos},
    {"SetCameraZAngle", SetCameraZAngle},
    {"GetCameraZAngle", GetCameraZAngle},
    {"GetCameraPositions", GetCameraPositions},
    {"SetCamera", SetCamera},
    {"ChangeGameCamera", ChangeGameCamera},
    {"SetCameraPlayer", SetCameraPlayer},
    {"GetCameraPlayer", GetCameraPlayer},
    {"SetFOV", SetFOV},
    {"GetFov1", GetFov1},
    {"GetFov2", GetFov2},
    {"CrossInterfaceRay", CrossInterfaceRay},
    {"CheckVisible", CheckVisible},
    {"GetLight", GetLight},
    {"SetLight", SetLight},
};

} // namespace

void RegisterCameraScriptFunctions() { RegisterScriptTable(ScriptTable::Library, kCameraFunctions); }
