#pragma once

// Adds the race camera's functions (mode, angle, target, field of view, picking, visibility, the
// level light) to the library table.
void RegisterCameraScriptFunctions();
