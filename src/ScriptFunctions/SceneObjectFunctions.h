#pragma once

// Adds the library's object functions (SetPosition ... StopScript) to the library table.
void RegisterSceneObjectScriptFunctions();
