#pragma once
// The script functions on game objects: SetPTransformation, GetChildObject, SetVisible, SetCollision,
// SetAnimation, GetParentObject, ActivateObject and DeactivateObject.

// Adds them to the core script table; called once at start-up, before any script is loaded.
void RegisterObjectScriptFunctions();
