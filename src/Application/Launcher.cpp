#include "Application/Launcher.h"

#include <cstdio>

#include "Core/PPath.h"
#include "Core/PSettings.h"

using Platform::Dialog;
using Platform::DialogMessage;

std::vector<Platform::DisplayMode> g_displayModes;
int g_optionsBloom = 0;
int g_optionsBlur = 0;

namespace {
void SaveSettings() {
    if (CPSettingsManager* settings = GetSettingsManager()) settings->Save("config.cfg");
}
} // namespace

void EnumerateDisplayModes() { Platform::ListDisplayModes(g_displayModes); }

int PressLauncherButton(int control) {
    switch (control) {
    case Platform::ControlStartFullScreen:
        g_fullScreen = 1;
        SaveSettings();
        return control;
    case Platform::ControlStartWindowed:
        g_fullScreen = 0;
        SaveSettings();
        return control;
    case Platform::ControlExit: return control;
    default: return 0;
    }
}

bool LauncherDialogProc(Dialog& dialog, DialogMessage message, int control) {
    switch (message) {
    case DialogMessage::Init:
        dialog.SetCaption("Vastrel");
        dialog.CentreOnScreen();
        // Without the page the host area simply stays black.
        dialog.ShowWebPage(Platform::ControlWebHost, ResolvePath(kLauncherPage));
        return true;
    case DialogMessage::Close: dialog.End(Platform::ControlExit); return true;
    case DialogMessage::Command:
        if (control == Platform::ControlOptions) {
            dialog.RunChild(Platform::OptionsDialog, OptionsDialogProc);
        } else if (const int result = PressLauncherButton(control)) {
            dialog.End(result);
        }
        return true;
    }
    return false;
}

void InitOptionsDialog(Dialog& dialog) {
    g_optionsBloom = g_bloom;
    g_optionsBlur = g_blur;
    dialog.SetChecked(Platform::ControlBloom, g_bloom != 0);
    dialog.SetChecked(Platform::ControlMotionBlur, g_blur != 0);
    int selected = -1;
    for (size_t i = 0; i < g_displayModes.size(); ++i) {
        const Platform::DisplayMode& mode = g_displayModes[i];
        char text[64];
        std::snprintf(text, sizeof text, "%d x %d x %d", mode.width, mode.height, mode.bitsPerPixel);
        dialog.AddListItem(Platform::ControlResolution, text, static_cast<int>(i));
        if (selected < 0 && mode.width == g_screenWidth && mode.height == g_screenHeight &&
            mode.bitsPerPixel == g_screenBPP)
            selected = static_cast<int>(i);
    }
    // A resolution that is not offered selects the first entry.
    dialog.SelectListItem(Platform::ControlResolution, selected < 0 ? 0 : selected);
}

bool OptionsDialogProc(Dialog& dialog, DialogMessage message, int control) {
    switch (message) {
    case DialogMessage::Init:
        InitOptionsDialog(dialog);
        dialog.CentreOnScreen();
        return true;
    case DialogMessage::Close: dialog.End(Platform::ControlExit); return true;
    case DialogMessage::Command:
        switch (control) {
        case Platform::ControlBloom: g_optionsBloom = dialog.IsChecked(Platform::ControlBloom) ? 1 : 0; break;
        case Platform::ControlMotionBlur: g_optionsBlur = dialog.IsChecked(Platform::ControlMotionBlur) ? 1 : 0; break;
        case Platform::ControlOk: {
            // With nothing selected (an empty list) the resolution stays as it is.
            const int item = dialog.SelectedListItem(Platform::ControlResolution);
            const int index = item < 0 ? -1 : dialog.ListItemData(Platform::ControlResolution, item);
            if (index >= 0 && index < static_cast<int>(g_displayModes.size())) {
                const Platform::DisplayMode& mode = g_displayModes[index];
                g_screenBPP = mode.bitsPerPixel;
                g_screenWidth = mode.width;
                g_screenHeight = mode.height;
            }
            g_bloom = g_optionsBloom;
            g_blur = g_optionsBlur;
            SaveSettings();
            dialog.End(Platform::ControlOk);
            break;
        }
        case Platform::ControlCancel: dialog.End(Platform::ControlCancel); break;
        default: break;
        }
        return true;
    }
    return false;
}

int RunLauncher(Platform::DialogBackend& dialogs) {
    return dialogs.RunModal(Platform::LauncherDialog, LauncherDialogProc);
}
