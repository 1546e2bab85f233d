#include "Core/PScriptObject.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>

namespace {
ObjectScriptLookup g_objectScriptLookup = nullptr;
}

std::string FormatHandle(const CPManagedObject* object) {
    char text[32];
    std::snprintf(text, sizeof text, "%" PRId64, static_cast<int64_t>(reinterpret_cast<intptr_t>(object)));
    return text;
}

CPManagedObject* ParseHandle(const std::string& text) {
    // Leading blanks, a sign and digits up to the first other character, like the runtime's integer
    // parse; anything unparsable is 0.
    errno = 0;
    const long long value = std::strtoll(text.c_str(), nullptr, 10);
    if (errno == ERANGE) return nullptr;
    return CheckEngineObject(reinterpret_cast<const void*>(static_cast<intptr_t>(value)));
}

CPManagedObject* CheckEngineObject(const void* address) {
    // Only compared against the registry, so a stale or foreign address is never dereferenced.
    auto* object = static_cast<CPManagedObject*>(const_cast<void*>(address));
    return CPManagedObject::IsEngineObject(object) ? object : nullptr;
}

CPManagedObject* ScriptArgManagedObject(lua_State* L, int idx) {
    const int type = lua_type(L, idx);
    if (type != LUA_TLIGHTUSERDATA && type != LUA_TUSERDATA) return nullptr;
    return CheckEngineObject(lua_touserdata(L, idx));
}

void PushObject(lua_State* L, const CPManagedObject* object) {
    lua_pushlightuserdata(L, const_cast<CPManagedObject*>(object));
}

const char* ScriptArgString(lua_State* L, int idx) {
    const char* text = lua_tostring(L, idx);
    return text ? text : "";
}

double ScriptArgNumber(lua_State* L, int idx) { return lua_tonumber(L, idx); }

bool ScriptArgBool(lua_State* L, int idx) { return lua_toboolean(L, idx) != 0; }

void SetObjectScriptLookup(ObjectScriptLookup lookup) { g_objectScriptLookup = lookup; }

CPLuaScript* GetObjectScript(CPManagedObject* object) {
    return object && g_objectScriptLookup ? g_objectScriptLookup(object) : nullptr;
}
