#pragma once
// Every script state these tests make gets the registered script functions, as in the program,
// where the application registers them all at start-up before any script runs.
#include "ScriptFunctions/ScriptFunctions.h"

inline const bool kScriptFunctionsRegistered = (RegisterAllScriptFunctions(), true);
