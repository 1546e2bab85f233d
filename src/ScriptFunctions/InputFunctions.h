#pragma once
// The script functions of the key bindings: SetActions, SetAssignKey, SetAction, GetActionNames,
// SaveActions, UpdateActions and LoadActions.

// Adds them to the library table; called once at start-up, before any script is loaded.
void RegisterInputScriptFunctions();
