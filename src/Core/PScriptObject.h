#pragma once
// How engine objects cross into scripts and back. An object goes out as a light userdata holding
// its CPManagedObject address (a missing object is a light userdata holding null, never nil) and,
// inside command text, as that address in 64-bit signed decimal. Anything that comes back is
// checked: an address that is not a live engine object of the expected class reads as null.
#include <cstdint>
#include <string>

#include <lua.hpp>

#include "Core/PManagedObject.h"

class CPLuaScript;

// The object's address as "%lld" text; "0" for null.
std::string FormatHandle(const CPManagedObject* object);
// The decimal text parsed as a 64-bit address; null unless it is a live engine object.
CPManagedObject* ParseHandle(const std::string& text);
// The address itself when it is a live engine object, else null. Never dereferences the address.
CPManagedObject* CheckEngineObject(const void* address);

template <class T>
T* ParseHandleAs(const std::string& text) {
    return dynamic_cast<T*>(ParseHandle(text));
}

// Argument idx as an engine object of class T: null when it is not a userdata, not a live engine
// object or not a T.
CPManagedObject* ScriptArgManagedObject(lua_State* L, int idx);
template <class T>
T* ScriptArgObject(lua_State* L, int idx) {
    return dynamic_cast<T*>(ScriptArgManagedObject(L, idx));
}

// Pushes the object as a light userdata of its CPManagedObject address (null gives null).
void PushObject(lua_State* L, const CPManagedObject* object);

// A plain string argument: its text (a number is converted), "" when absent or of another type.
const char* ScriptArgString(lua_State* L, int idx);
// A number argument: its value, 0 when it is not a number.
double ScriptArgNumber(lua_State* L, int idx);
// A boolean argument: false for nil and false, true otherwise.
bool ScriptArgBool(lua_State* L, int idx);

// How SendCommandByObject finds the script of a game object. The game-object code installs it; until
// then no object has a script.
using ObjectScriptLookup = CPLuaScript* (*)(CPManagedObject* object);
void SetObjectScriptLookup(ObjectScriptLookup lookup);
CPLuaScript* GetObjectScript(CPManagedObject* object);
