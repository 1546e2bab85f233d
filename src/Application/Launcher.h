#pragma once
// The launcher (start full screen, start windowed, Options, Exit) and its Options dialog: what
// their controls do to the settings. The widgets are the platform layer's.
#include <vector>

#include "Platform/Dialog.h"
#include "Platform/DisplayModes.h"

// The full-screen modes the Options dialog offers, smallest first.
extern std::vector<Platform::DisplayMode> g_displayModes;
// The Options check boxes' values until OK copies them to "bloom" and "blur".
extern int g_optionsBloom;
extern int g_optionsBlur;

// The page the launcher shows in its web host area.
inline constexpr const char* kLauncherPage = "Data\\launcher.html";

// Fills g_displayModes from the primary screen; it stays empty when the video system cannot start.
void EnumerateDisplayModes();

// What a launcher button does: a start button sets "fullScreen" and saves "config.cfg". Answers the
// launcher's result for a start or exit button (1000, 1003, 1002), 0 for any other control. The
// command line's --start switch uses it in place of the dialog.
int PressLauncherButton(int control);

bool LauncherDialogProc(Platform::Dialog& dialog, Platform::DialogMessage message, int control);
void InitOptionsDialog(Platform::Dialog& dialog);
bool OptionsDialogProc(Platform::Dialog& dialog, Platform::DialogMessage message, int control);

// Runs the launcher modally: 1000 (start full screen), 1003 (start windowed) or 1002 (exit or
// closed); Platform::DialogFailed when it cannot be shown at all (no display).
int RunLauncher(Platform::DialogBackend& dialogs);
