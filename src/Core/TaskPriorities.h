#pragma once
// Every task priority the engine uses, in the order a kernel turn runs them (lower runs earlier).
// Equal priorities run in the order their tasks were added.
namespace TaskPriority {

// The frame clock runs first, so every other task sees this turn's FrameDelta.
inline constexpr int Timer = 10;
// Input and music: the keyboard is read before any script looks at it.
inline constexpr int Input = 12;
inline constexpr int Music = 12;
// The script "main", and game objects a description activates.
inline constexpr int MainScript = 20;
// Game objects made during the race: the player, flames, emitters started by them.
inline constexpr int RaceObject = 200;
// The weapons step their shots before physics moves the bodies they hit.
inline constexpr int Weapons = 390;
// The physics task steps the world after the shots and before the race update reads it.
inline constexpr int Physics = 400;
// Menu and HUD screens.
inline constexpr int Interface = 450;
// The level's per-frame race update: clocks, the player's car, camera, culling.
inline constexpr int RaceUpdate = 500;
// What a task has when its creator sets nothing.
inline constexpr int Default = 5000;
// Particles after everything that emits them, so they are updated and queued in the same turn.
inline constexpr int Particles = 9000;
// The renderer draws last, what every other task queued during the turn (the sky included).
inline constexpr int Render = 10000;

} // namespace TaskPriority
