#pragma once
// The script functions of the named sounds and the music: PlaySpecialSound, PlaySpecialSound2,
// PlaySpecialSound3D, StopSpecialSound, IsSpecialSoundPlaying, UpdateSoundPosition, StopSounds,
// PlayMusicNoLoop, StopPlayingMusic, GetMusicName, and PlayMusic of the core table.

// Adds them to their tables; called once at start-up, before any script is loaded.
void RegisterSoundScriptFunctions();
