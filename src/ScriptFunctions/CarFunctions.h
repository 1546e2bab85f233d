#pragma once
// The car functions: the driving inputs and locks of the player's car, pushes, and its position,
// direction, speed and mass.
void RegisterCarScriptFunctions();
