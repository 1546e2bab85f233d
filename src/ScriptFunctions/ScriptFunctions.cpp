#include "ScriptFunctions/ScriptFunctions.h"

#include "ScriptFunctions/CommandFunctions.h"
#include "ScriptFunctions/ObjectFunctions.h"
#include "ScriptFunctions/RenderCoreFunctions.h"

void RegisterAllScriptFunctions() {
    RegisterCommandScriptFunctions();
    RegisterObjectScriptFunctions();
    RegisterRenderCoreScriptFunctions();
}
