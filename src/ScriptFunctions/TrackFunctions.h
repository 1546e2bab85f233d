#pragma once
// The rival, track and side functions: a ray through the level, points and types for enemies, the
// radar, the track lines' direction and points, and the nearest or remaining cars of each side.
void RegisterTrackScriptFunctions();
