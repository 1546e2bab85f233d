#include "ScriptFunctions/RenderCoreFunctions.h"

#include "Core/PScriptObject.h"
#include "Core/PScriptRegistry.h"
#include "Render/PRender.h"

namespace {

// SetFade (level): the screen fade, 0 (black) to 1 (clear); the renderer clamps it.
int SetFade(lua_State* L) {
    float level = static_cast<float>(ScriptArgNumber(L, 1));
    if (CPRender* render = GetRender()) render->SetFade(level);
    return 0;
}

const ScriptFunctionEntry kRenderCoreFunctions[] = {
    {"SetFade", SetFade},
};

} // namespace

void RegisterRenderCoreScriptFunctions() { RegisterScriptTable(ScriptTable::Core, kRenderCoreFunctions); }
