#pragma once
// The dialog backend for tests: no window, a script of user actions instead of a user, and a
// record of what every dialog showed.
#include <deque>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "Platform/Dialog.h"

namespace Platform {

class ScriptedDialogBackend final : public DialogBackend {
public:
    struct Action {
        enum Kind { Press, SetCheck, Select, Close } kind;
        int control = 0;
        int value = 0; // SetCheck: 0 or 1; Select: the item index
    };
    static Action Press(int control) { return {Action::Press, control, 0}; }
    static Action Check(int control, bool checked) { return {Action::SetCheck, control, checked ? 1 : 0}; }
    static Action Select(int control, int index) { return {Action::Select, control, index}; }
    static Action CloseWindow() { return {Action::Close, 0, 0}; }

    // What one dialog showed, as it stood when it ended.
    struct Record {
        int dialogTemplate = 0;
        std::string caption;
        bool centred = false;
        std::map<int, bool> checks;
        std::map<int, std::vector<std::pair<std::string, int>>> lists;
        std::map<int, int> selected;
        std::string webPage;
        int result = 0;
    };

    int RunModal(int dialogTemplate, const DialogProc& proc) override;

    // The user's actions, taken in order by whichever dialog is open. A dialog that runs out of
    // actions is closed through its window; one that still does not end answers DialogFailed.
    std::deque<Action> script;
    // Answer DialogFailed without showing anything, as without a display.
    bool failToOpen = false;
    // Web pages cannot be shown.
    bool webPageFails = false;
    // Every dialog shown, in the order they opened.
    std::vector<Record> records;
};

} // namespace Platform
