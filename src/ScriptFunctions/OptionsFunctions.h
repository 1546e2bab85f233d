#pragma once
// The script functions of the options and files: GetSoundVolume, SetSoundVolume, GetMusicVolume,
// SetMusicVolume, GetMouse, SetMouse, GetBrightness, IsFileExists, GoURL, SaveLog, and one
// function that does nothing under the names SetDefaultCamera, SetBrightness, DumpAIInfo,
// PlayVideo, PlayVideoNoSound, PlayVideo1, StopVideo and StopVideo1.

namespace Platform {
class Shell;
}

// Adds them to the library table; called once at start-up, before any script is loaded.
void RegisterOptionsScriptFunctions();

// The shell GoURL opens files through; none opens nothing.
void SetScriptShell(Platform::Shell* shell);
