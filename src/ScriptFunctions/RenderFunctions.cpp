#include "ScriptFunctions/RenderFunctions.h"

#include <cmath>
#include <lua.hpp>

#include "Core/PGameObject.h"
#include "Core/PScriptObject.h"
#include "Core/PScriptRegistry.h"
#include "Core/PSettings.h"
#include "Race/PLevel.h"
#include "Render/PMeshManager.h"
#include "Render/PRender.h"
#include "Render/PRenderBlock.h"
#include "ScriptFunctions/ScriptArgs.h"

namespace {

constexpr float kDegree = 0.0174532924f;

CPRenderBlock* DynamicBlock() {
    CPRender* render = GetRender();
    return render ? render->GetDynamicRenderBlock().Get() : nullptr;
}

// CreateArrow (name, n): the description built in layer n + 200, one reference for the script.
int CreateArrow(lua_State* L) {
    const char* name = ScriptArgString(L, 1);
    const double n = ScriptArgNumber(L, 2);
    const int layer = (std::isfinite(n) && std::fabs(n) < 1e9 ? static_cast<int>(n) : 0) + 200;
    CPGameObject* arrow = nullptr;
    if (CPMeshManager* meshes = GetMeshManager()) {
        CPRefPtr<CPGameObject> built = meshes->LoadRenderObject(name, layer);
        arrow = built.Get();
        if (arrow) arrow->AddRef();
    }
    PushObject(L, arrow);
    return 1;
}

// DrawLine (x1, y1, z1, x2, y2, z2): a red line into the renderer's debug-line list.
int DrawLine(lua_State* L) {
    const Vec3 from(static_cast<float>(ScriptArgNumber(L, 1)), static_cast<float>(ScriptArgNumber(L, 2)),
                    static_cast<float>(ScriptArgNumber(L, 3)));
    const Vec3 to(static_cast<float>(ScriptArgNumber(L, 4)), static_cast<float>(ScriptArgNumber(L, 5)),
                  static_cast<float>(ScriptArgNumber(L, 6)));
    if (!ScriptArgsFinite("DrawLine", {from.x, from.y, from.z, to.x, to.y, to.z})) return 0;
    if (CPRender* render = GetRender()) render->DrawLine(0xFFFF0000, from, to);
    return 0;
}

// DrawObject (object, -, -, degrees): one unit along y, turned about z, queued with its children.
int DrawObject(lua_State* L) {
    auto* object = ScriptArgObject<CPGameObject>(L, 1);
    if (!object) return 0;
    const float angle = static_cast<float>(ScriptArgNumber(L, 4)) * kDegree;
    if (!ScriptArgsFinite("DrawObject", {angle})) return 0;
    object->SetBaseMatrix(MatTranslation(0, 1, 0) * MatRotationZ(angle));
    object->MarkDirty();
    object->UpdateTransform();
    if (CPRenderBlock* block = DynamicBlock()) block->DrawDynamicObject(object);
    return 0;
}

// A gauge needle on the 1024 x 768 interface grid, turned by `degrees` and queued alone.
void DrawNeedle(CPGameObject* object, float x, float y, float degrees) {
    if (!ScriptArgsFinite("DrawArrow", {x, y, degrees})) return;
    const Vec3 point(x * static_cast<float>(g_screenWidth) / 1024.0f, y * static_cast<float>(g_screenHeight) / 768.0f,
                     0);
    const float radians = degrees * 3.1415927f / 180.0f;
    object->SetBaseMatrix(MatRotationZ(radians) * MatTranslation(point.x, point.y, point.z));
    object->MarkDirty();
    object->UpdateTransform();
    if (CPRenderBlock* block = DynamicBlock()) block->AddObject(object);
}

// DrawArrow (object, x, y): the speed gauge's needle, 47 degrees at rest and 1.8 per unit of speed.
int DrawArrow(lua_State* L) {
    auto* object = ScriptArgObject<CPGameObject>(L, 1);
    if (!object) return 0;
    const CPLevel* level = GetLevel();
    const float degrees = level ? level->GetCurrentSpeed() * 1.8f + 47.0f : 0.0f;
    DrawNeedle(object, static_cast<float>(ScriptArgNumber(L, 2)), static_cast<float>(ScriptArgNumber(L, 3)), degrees);
    return 0;
}

// DrawArrow2 (object, x, y, degrees) and DrawArrow3: needles of their own angle.
int DrawArrow2(lua_State* L) {
    auto* object = ScriptArgObject<CPGameObject>(L, 1);
    if (!object) return 0;
    DrawNeedle(object, static_cast<float>(ScriptArgNumber(L, 2)), static_cast<float>(ScriptArgNumber(L, 3)),
               static_cast<float>(ScriptArgNumber(L, 4)) - 44.0f);
    return 0;
}

int DrawArrow3(lua_State* L) {
    auto* object = ScriptArgObject<CPGameObject>(L, 1);
    if (!object) return 0;
    DrawNeedle(object, static_cast<float>(ScriptArgNumber(L, 2)), static_cast<float>(ScriptArgNumber(L, 3)),
               static_cast<float>(ScriptArgNumber(L, 4)) + 129.0f);
    return 0;
}

// InitSky (): white ambient until the level's sky sets its own, and the default device state.
int InitSky(lua_State*) {
    if (CPRender* render = GetRender()) {
        render->SetStoredAmbient(0xFFFFFFFF, 1, 1, 1, 1);
        render->RestoreRenderStates();
    }
    return 0;
}

// SetLightCoeff (value): the factor of the light and ambient colours the effects see.
int SetLightCoeff(lua_State* L) {
    const float k = static_cast<float>(ScriptArgNumber(L, 1));
    if (!ScriptArgsFinite("SetLightCoeff", {k})) return 0;
    if (CPRender* render = GetRender()) render->SetLightCoeff(k);
    return 0;
}

// SetLensFlare (a, b, c): read and ignored.
int SetLensFlare(lua_State* L) {
    for (int i = 1; i <= 3; ++i) (void)ScriptArgNumber(L, i);
    return 0;
}

// SetMotionBlur (amount): non-zero on with that amount, 0 off with amount 0.
int SetMotionBlur(lua_State* L) {
    const float amount = static_cast<float>(ScriptArgNumber(L, 1));
    if (!ScriptArgsFinite("SetMotionBlur", {amount})) return 0;
    if (CPRender* render = GetRender()) render->SetMotionBlur(amount);
    return 0;
}

// SetRadialBlur (amount): kept with the speed-blur grid.
int SetRadialBlur(lua_State* L) {
    const float amount = static_cast<float>(ScriptArgNumber(L, 1));
    if (!ScriptArgsFinite("SetRadialBlur", {amount})) return 0;
    if (CPRender* render = GetRender()) render->SetRadialBlur(amount);
    return 0;
}

// SetBlurParam (value): the "blur" setting (saved with config.cfg at exit).
int SetBlurParam(lua_State* L) {
    g_blur = ScriptArgInt(L, 1);
    return 0;
}

int GetBlurParam(lua_State* L) {
    lua_pushnumber(L, g_blur);
    return 1;
}

int GetCurrentResolution(lua_State* L) {
    lua_pushnumber(L, g_screenWidth);
    return 1;
}

int GetScreenSize(lua_State* L) {
    lua_pushnumber(L, g_screenWidth);
    lua_pushnumber(L, g_screenHeight);
    return 2;
}

int SetAnisoParam(lua_State* L) {
    // Saved with config.cfg at exit.
    const float aniso = static_cast<float>(ScriptArgNumber(L, 1));
    if (ScriptArgsFinite("SetAnisoParam", {aniso})) g_aniso = aniso;
    return 0;
}

int GetAnisoParam(lua_State* L) {
    lua_pushnumber(L, g_aniso);
    return 1;
}

const ScriptFunctionEntry kRenderFunctions[] = {
    {"DrawLine", DrawLine},           {"DrawObject", DrawObject},       {"DrawArrow", DrawArrow},
    {"DrawArrow2", DrawArrow2},       {"DrawArrow3", DrawArrow3},       {"InitSky", InitSky},
    {"SetLightCoeff", SetLightCoeff}, {"SetLensFlare", SetLensFlare},   {"GetCurrentResolution", GetCurrentResolution},
    {"GetScreenSize", GetScreenSize}, {"SetAnisoParam", SetAnisoParam}, {"GetAnisoParam", GetAnisoParam},
    {"CreateArrow", CreateArrow},     {"SetMotionBlur", SetMotionBlur}, {"SetRadialBlur", SetRadialBlur},
    {"SetBlurParam", SetBlurParam},   {"GetBlurParam", GetBlurParam},
};

} // namespace

void RegisterRenderScriptFunctions() { RegisterScriptTable(ScriptTable::Library, kRenderFunctions); }
