#pragma once
// The script functions on game objects: SetPTransformation, GetChildObject, SetVisible, SetCollision,
// SetAnimation, GetParentObject, ActivateObject and DeactivateObject.

struct lua_State;

// DeactivateObject (object): the object's deactivate operation; nothing for a null object. The
// interface functions register it again as DeactivateInterface, one function under two names.
int DeactivateObjectFunction(lua_State* L);

// Adds them to the core script table; called once at start-up, before any script is loaded.
void RegisterObjectScriptFunctions();
