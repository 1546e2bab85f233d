#pragma once
// The script functions of the profile, the save slots, the level records and the score tables.

// Adds them to the library's script table; called once at start-up, before any script is loaded.
void RegisterProfileScriptFunctions();
