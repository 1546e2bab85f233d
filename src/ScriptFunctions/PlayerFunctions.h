#pragma once
// The player functions: brakes, nitro, throws and shock waves, respawning, damage and death, gloom,
// abilities and mana, and the debug tuner of the player car's vehicle values.
void RegisterPlayerScriptFunctions();
