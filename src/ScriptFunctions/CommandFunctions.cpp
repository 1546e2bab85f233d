// The object and command functions every script gets: the command queue, reference counting, the
// frame time, object handles as text, and the kernel's kill switch.
//
// A bad argument raises a Lua error, which unwinds with longjmp: every argument check comes before
// the first C++ object with a destructor in each function.
#include "ScriptFunctions/CommandFunctions.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "Core/PGameObject.h"
#include "Core/PGlobalTimer.h"
#include "Core/PKernel.h"
#include "Core/PLuaScript.h"
#include "Core/PScriptManager.h"
#include "Core/PScriptObject.h"
#include "Core/PScriptRegistry.h"
#include "Core/PTokenizer.h"

namespace {

int GetDeltaTime(lua_State* L) {
    lua_pushnumber(L, FrameDelta);
    return 1;
}

int AddRef(lua_State* L) {
    if (CPManagedObject* object = ScriptArgManagedObject(L, 1)) object->AddRef();
    return 0;
}

int DumpObjects(lua_State*) {
    CPManagedObject::DumpObjects();
    return 0;
}

int Release(lua_State* L) {
    if (CPManagedObject* object = ScriptArgManagedObject(L, 1)) object->Release();
    return 0;
}

int SendCommandByName(lua_State* L) {
    const char* name = luaL_checkstring(L, 1);
    const char* command = luaL_checkstring(L, 2);
    const char* params = luaL_checkstring(L, 3);
    if (CPScriptManager* manager = GetScriptManager()) manager->SendCommandByName(name, command, params);
    return 0;
}

int SendCommandByObject(lua_State* L) {
    // Only a game object has a script; anything else reads as no object, and then the strings are
    // not looked at.
    CPGameObject* object = ScriptArgObject<CPGameObject>(L, 1);
    if (!object) return 0;
    const char* command = luaL_checkstring(L, 2);
    const char* params = luaL_checkstring(L, 3);
    CPLuaScript* script = GetObjectScript(object);
    CPScriptManager* manager = GetScriptManager();
    if (script && manager) manager->SendCommandByObject(script, command, params);
    return 0;
}

int SendCommandByCategory(lua_State* L) {
    const char* category = luaL_checkstring(L, 1);
    const char* command = luaL_checkstring(L, 2);
    const char* params = luaL_checkstring(L, 3);
    if (CPScriptManager* manager = GetScriptManager()) manager->SendCommandByCategory(category, command, params);
    return 0;
}

int SetNextCommand(lua_State* L) {
    CPLuaScript* script = ScriptArgObject<CPLuaScript>(L, 1);
    lua_pushboolean(L, script && script->SetNextCommand());
    return 1;
}

int GetCurrentCommand(lua_State* L) {
    CPLuaScript* script = ScriptArgObject<CPLuaScript>(L, 1);
    const CPCommand* command = script ? script->GetCurrentCommand() : nullptr;
    if (!command) return 0;
    lua_pushlstring(L, command->name.data(), command->name.size());
    return 1;
}

int GetCurrentParams(lua_State* L) {
    CPLuaScript* script = ScriptArgObject<CPLuaScript>(L, 1);
    const CPCommand* command = script ? script->GetCurrentCommand() : nullptr;
    if (!command) return 0;
    const int count = static_cast<int>(command->params.size());
    luaL_checkstack(L, count, "too many command parameters");
    for (const std::string& param : command->params) lua_pushlstring(L, param.data(), param.size());
    return count;
}

int PointerToString(lua_State* L) {
    const CPManagedObject* object = ScriptArgManagedObject(L, 1);
    char text[32];
    std::snprintf(text, sizeof text, "%" PRId64, static_cast<int64_t>(reinterpret_cast<intptr_t>(object)));
    lua_pushstring(L, text);
    return 1;
}

int StringToPointer(lua_State* L) {
    const char* text = luaL_checkstring(L, 1);
    PushObject(L, ParseHandle(text));
    return 1;
}

int CheckString(lua_State* L) {
    // Converts a number argument to its text in place; the last argument is the result.
    luaL_checkstring(L, 1);
    return 1;
}

int SplitString(lua_State* L) {
    const char* text = luaL_checkstring(L, 1);
    const char* delimiter = luaL_checkstring(L, 2);
    std::vector<std::string> tokens;
    {
        CPTokenizer tokenizer(text, delimiter, true);
        std::string token;
        while (tokenizer.NextToken(token)) tokens.push_back(token);
    }
    // lua_checkstack answers instead of raising, so the vector is always destroyed.
    int pushed = 0;
    for (const std::string& token : tokens) {
        if (!lua_checkstack(L, 1)) break;
        lua_pushlstring(L, token.data(), token.size());
        ++pushed;
    }
    return pushed;
}

int KillAllTasks(lua_State*) {
    if (CPKernel* kernel = GetKernel()) kernel->KillAllTasks();
    return 0;
}

int ToInt(lua_State* L) {
    // Truncation toward zero; values past the 32-bit range clamp to its ends, NaN gives 0.
    const double value = lua_tonumber(L, 1);
    double result = 0.0;
    if (value >= 2147483647.0) result = 2147483647.0;
    else if (value <= -2147483648.0) result = -2147483648.0;
    else if (!std::isnan(value)) result = static_cast<int32_t>(value);
    lua_pushnumber(L, result);
    return 1;
}

// In the order scripts see them registered; they open the core table. The object, rendering,
// interface and music functions of this table are added after them by their own groups.
const ScriptFunctionEntry kCoreFunctions[] = {
    {"GetDeltaTime", GetDeltaTime},
    {"AddRef", AddRef},
    {"DumpObjects", DumpObjects},
    {"Release", Release},
    {"SendCommandByName", SendCommandByName},
    {"SendCommandByObject", SendCommandByObject},
    {"SendCommandByCategory", SendCommandByCategory},
    {"SetNextCommand", SetNextCommand},
    {"GetCurrentCommand", GetCurrentCommand},
    {"GetCurrentParams", GetCurrentParams},
    {"PointerToString", PointerToString},
    {"StringToPointer", StringToPointer},
    {"CheckString", CheckString},
    {"SplitString", SplitString},
    {"KillAllTasks", KillAllTasks},
    {"ToInt", ToInt},
};

} // namespace

void RegisterCommandScriptFunctions() { RegisterScriptTable(ScriptTable::Core, kCoreFunctions); }
