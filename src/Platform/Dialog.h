#pragma once
// Modal dialogs built from two fixed templates, driven by dialog procedures the engine writes. A
// backend builds the controls; the procedure decides what they do.
#include <functional>
#include <string>

namespace Platform {

// The templates and their control ids.
enum DialogTemplate : int {
    LauncherDialog = 101, // four buttons and the web host area
    OptionsDialog = 105,  // resolution, motion blur, bloom
};

enum DialogControl : int {
    ControlOk = 1,
    ControlCancel = 2,
    ControlStartFullScreen = 1000,
    ControlOptions = 1001,
    ControlExit = 1002,
    ControlStartWindowed = 1003,
    ControlResolution = 1004,
    ControlMotionBlur = 1007,
    ControlBloom = 1009,
    ControlWebHost = 1037,
};

// What a dialog procedure is told: the dialog is being shown (Init), its window was asked to close
// (Close), or a control was used (Command: a button pressed, a check box toggled).
enum class DialogMessage { Init, Close, Command };

// What RunModal answers when the dialog cannot be shown at all (no display).
inline constexpr int DialogFailed = -1;

class Dialog;
// Answers true when it handled the message.
using DialogProc = std::function<bool(Dialog& dialog, DialogMessage message, int control)>;

class Dialog {
public:
    virtual ~Dialog() = default;
    virtual void SetCaption(const std::string& text) = 0;
    virtual void CentreOnScreen() = 0;
    // Ends the modal loop; RunModal answers `result`.
    virtual void End(int result) = 0;
    // Setting a check box from code sends no Command.
    virtual void SetChecked(int control, bool checked) = 0;
    virtual bool IsChecked(int control) const = 0;
    // Appends an item to a drop-down list with a number kept beside it.
    virtual void AddListItem(int control, const std::string& text, int data) = 0;
    virtual void SelectListItem(int control, int index) = 0;
    // The selected item's index; -1 when none is.
    virtual int SelectedListItem(int control) const = 0;
    // The number kept beside an item; -1 when there is no such item.
    virtual int ListItemData(int control, int index) const = 0;
    // Shows a local HTML file in a host area; false when it cannot (the area then stays black).
    virtual bool ShowWebPage(int control, const std::string& file) = 0;
    // Runs another template modally, owned by this dialog.
    virtual int RunChild(int dialogTemplate, const DialogProc& proc) = 0;
};

class DialogBackend {
public:
    virtual ~DialogBackend() = default;
    // Runs a template modally without owner: the procedure gets Init, then what the user does,
    // until it calls End. Answers End's result, or DialogFailed when the dialog cannot be shown.
    virtual int RunModal(int dialogTemplate, const DialogProc& proc) = 0;
};

} // namespace Platform
