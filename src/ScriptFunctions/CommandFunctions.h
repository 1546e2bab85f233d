#pragma once
// The command and object-handle functions every script gets: GetDeltaTime, AddRef, DumpObjects,
// Release, SendCommandByName, SendCommandByObject, SendCommandByCategory, SetNextCommand,
// GetCurrentCommand, GetCurrentParams, PointerToString, StringToPointer, CheckString, SplitString,
// KillAllTasks and ToInt.

// Adds them to the core script table; called once at start-up, before any other group.
void RegisterCommandScriptFunctions();
