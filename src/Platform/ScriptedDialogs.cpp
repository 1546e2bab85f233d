#include "Platform/ScriptedDialogs.h"

namespace Platform {

namespace {

class ScriptedDialog final : public Dialog {
public:
    ScriptedDialog(ScriptedDialogBackend& backend, size_t record) : backend_(backend), index_(record) {}

    void SetCaption(const std::string& text) override { Rec().caption = text; }
    void CentreOnScreen() override { Rec().centred = true; }
    void End(int result) override {
        ended_ = true;
        Rec().result = result;
    }
    void SetChecked(int control, bool checked) override { Rec().checks[control] = checked; }
    bool IsChecked(int control) const override {
        const auto it = Rec().checks.find(control);
        return it != Rec().checks.end() && it->second;
    }
    void AddListItem(int control, const std::string& text, int data) override {
        Rec().lists[control].emplace_back(text, data);
    }
    void SelectListItem(int control, int index) override {
        const auto& list = Rec().lists[control];
        Rec().selected[control] = index >= 0 && index < static_cast<int>(list.size()) ? index : -1;
    }
    int SelectedListItem(int control) const override {
        const auto it = Rec().selected.find(control);
        return it == Rec().selected.end() ? -1 : it->second;
    }
    int ListItemData(int control, int index) const override {
        const auto it = Rec().lists.find(control);
        if (it == Rec().lists.end() || index < 0 || index >= static_cast<int>(it->second.size())) return -1;
        return it->second[index].second;
    }
    bool ShowWebPage(int, const std::string& file) override {
        Rec().webPage = file;
        return !backend_.webPageFails;
    }
    int RunChild(int dialogTemplate, const DialogProc& proc) override {
        return backend_.RunModal(dialogTemplate, proc);
    }

    bool Ended() const { return ended_; }

private:
    // By index: a child dialog appends to the records while this one is open.
    ScriptedDialogBackend::Record& Rec() { return backend_.records[index_]; }
    const ScriptedDialogBackend::Record& Rec() const { return backend_.records[index_]; }

    ScriptedDialogBackend& backend_;
    size_t index_;
    bool ended_ = false;
};

} // namespace

int ScriptedDialogBackend::RunModal(int dialogTemplate, const DialogProc& proc) {
    if (failToOpen) return DialogFailed;
    records.push_back(Record{});
    const size_t index = records.size() - 1;
    records[index].dialogTemplate = dialogTemplate;
    ScriptedDialog dialog(*this, index);
    proc(dialog, DialogMessage::Init, 0);
    while (!dialog.Ended()) {
        if (script.empty()) {
            proc(dialog, DialogMessage::Close, 0);
            if (!dialog.Ended()) dialog.End(DialogFailed);
            break;
        }
        const Action action = script.front();
        script.pop_front();
        switch (action.kind) {
        case Action::Press: proc(dialog, DialogMessage::Command, action.control); break;
        case Action::SetCheck:
            dialog.SetChecked(action.control, action.value != 0);
            proc(dialog, DialogMessage::Command, action.control);
            break;
        case Action::Select: dialog.SelectListItem(action.control, action.value); break;
        case Action::Close: proc(dialog, DialogMessage::Close, 0); break;
        }
    }
    return records[index].result;
}

} // namespace Platform
