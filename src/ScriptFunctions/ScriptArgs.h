#pragma once
// Argument helpers shared by the script-function groups.
#include <algorithm>
#include <climits>
#include <cmath>
#include <initializer_list>

#include <lua.hpp>

#include "Core/PLog.h"
#include "Core/PScriptObject.h"

// An integer argument: the number truncated toward zero, saturated to the int range (not a number
// reads as 0).
inline int ScriptArgInt(lua_State* L, int idx) {
    const double value = ScriptArgNumber(L, idx);
    if (std::isnan(value)) return 0;
    return static_cast<int>(std::clamp(std::trunc(value), static_cast<double>(INT_MIN), static_cast<double>(INT_MAX)));
}

// Numbers bound for a body, a camera, a light or a sound position: true when all are finite, else
// a log line names the function and the caller leaves everything as it was.
inline bool ScriptArgsFinite(const char* function, std::initializer_list<float> values) {
    for (const float v : values) {
        if (std::isfinite(v)) continue;
        GetLog().Write(0, "%s: a number that is not finite, ignored\n", function);
        return false;
    }
    return true;
}
