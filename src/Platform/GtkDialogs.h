#pragma once
// The dialog templates on GTK3: the launcher with its web host (WebKit2GTK) and the Options dialog.
// Sizes and places come from the templates in dialog units, turned into pixels at the base units
// of the dialogs' font, as the templates were laid out.
#include "Platform/Dialog.h"

namespace Platform {

// Average character width and line height of a font, in pixels.
struct DialogBaseUnits {
    int x = 6;
    int y = 13;
};

// Dialog units to pixels: a horizontal unit is a quarter of the average character width, a
// vertical one an eighth of the line height; halves round away from zero.
constexpr int DialogUnitsToPixelsX(int units, DialogBaseUnits base) {
    return (units * base.x * 2 + (units < 0 ? -4 : 4)) / 8;
}
constexpr int DialogUnitsToPixelsY(int units, DialogBaseUnits base) {
    return (units * base.y * 2 + (units < 0 ? -8 : 8)) / 16;
}

class GtkDialogBackend final : public DialogBackend {
public:
    // Starts GTK on first use, keeping the process's "C" numeric locale. Without a display nothing
    // is shown and the answer is DialogFailed.
    int RunModal(int dialogTemplate, const DialogProc& proc) override;
};

} // namespace Platform
