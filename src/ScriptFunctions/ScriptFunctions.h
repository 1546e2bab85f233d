#pragma once
// Every group of script functions, registered in the order scripts see them.

// Registers each group with the script registry: the commands first (they open the core table), then
// the object and renderer functions, then the library's shop and profile functions, sound and music, input and options. Called once at start-up, before any script is loaded; calling it
// again changes nothing.
void RegisterAllScriptFunctions();
