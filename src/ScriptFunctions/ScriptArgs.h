#pragma once
// Argument helpers shared by the script-function groups.
#include <algorithm>
#include <climits>
#include <cmath>

#include <lua.hpp>

#include "Core/PScriptObject.h"

// An integer argument: the number truncated toward zero, saturated to the int range (not a number
// reads as 0).
inline int ScriptArgInt(lua_State* L, int idx) {
    const double value = ScriptArgNumber(L, idx);
    if (std::isnan(value)) return 0;
    return static_cast<int>(std::clamp(std::trunc(value), static_cast<double>(INT_MIN), static_cast<double>(INT_MAX)));
}
