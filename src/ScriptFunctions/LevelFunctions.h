#pragma once
// The race and level functions: create, start, stop and delete the level, the race-active and
// level-started switches and the level's size.
void RegisterLevelScriptFunctions();
