// The library's camera and rendering functions.
//
// A bad argument raises a Lua error, which unwinds with longjmp: every argument check comes before
// the first C++ object with a destructor in each function.
#include "ScriptFunctions/CameraFunctions.h"

#include <cmath>

#include "Core/PGameObject.h"
#include "Core/PScriptObject.h"
#include "Core/PScriptRegistry.h"
#include "Render/PMeshManager.h"

namespace {

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

const ScriptFunctionEntry kCameraFunctions[] = {
    {"CreateArrow", CreateArrow},
};

} // namespace

void RegisterCameraScriptFunctions() { RegisterScriptTable(ScriptTable::Library, kCameraFunctions); }
