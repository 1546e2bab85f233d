#include "ScriptFunctions/RenderCoreFunctions.h"

#include "Core/PGameObject.h"
#include "Core/PScriptObject.h"
#include "Core/PScriptRegistry.h"
#include "Render/PRender.h"
#include "Render/PRenderBlock.h"

namespace {

// SetFade (level): the screen fade, 0 (black) to 1 (clear); the renderer clamps it.
int SetFade(lua_State* L) {
    float level = static_cast<float>(ScriptArgNumber(L, 1));
    if (CPRender* render = GetRender()) render->SetFade(level);
    return 0;
}

// DrawDynamicObject (object): the object and its visible children into this frame's dynamic block.
int DrawDynamicObject(lua_State* L) {
    auto* object = ScriptArgObject<CPGameObject>(L, 1);
    CPRender* render = GetRender();
    if (object && render && render->GetDynamicRenderBlock()) render->GetDynamicRenderBlock()->DrawDynamicObject(object);
    return 0;
}

const ScriptFunctionEntry kRenderCoreFunctions[] = {
    {"DrawDynamicObject", DrawDynamicObject},
    {"SetFade", SetFade},
};

} // namespace

void RegisterRenderCoreScriptFunctions() { RegisterScriptTable(ScriptTable::Core, kRenderCoreFunctions); }
