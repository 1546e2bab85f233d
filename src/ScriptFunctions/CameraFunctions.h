#pragma once

// Adds the library's camera and rendering functions to the library table.
void RegisterCameraScriptFunctions();
