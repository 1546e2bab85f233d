#pragma once
// The input system: the key bindings of "Actions.cfg" (the key-name table, the per-key bindings, the
// action map and the action list) and the task that turns the keyboard and mouse into commands.
#include <list>
#include <string>

#include "Core/PHashMap.h"
#include "Core/PResult.h"
#include "Core/PSingleton.h"
#include "Core/PTask.h"

struct CNActionBinding {
    uint8_t code = 0;
    std::string keyName;
    std::string text; // the action name in the key bindings, the action's title in the action map
    bool bound = false;
    bool numeric = false;
};

// The name of a DirectInput-style scan code ("Esc", "NumPad 7", "undefined key"...); codes past the
// table have no name and answer null.
const char* GetKeyName(int scanCode);
// The first scan code whose name equals the text exactly, or -1.
int FindKeyCode(const std::string& name);
constexpr int kKeyNameCount = 212;

class CNInput : public CPTask, public CPSingleton<CNInput> {
public:
    CNInput();
    ~CNInput() override;

    // Loads the bindings; false (the task is refused) when "Actions.cfg" can't be read.
    bool Start() override;
    void Update() override;
    int GetTaskKind() const override { return KindSystem; }
    int GetObjectSize() const override { return sizeof(*this); }
    const char* GetTypeName() const override { return "CNInput"; }

    HRESULT LoadActions(const std::string& fileName);
    // Writes one "action;title;key;numeric" line per action-list entry, replacing the file whole.
    HRESULT SaveActions(const std::string& fileName) const;
    void SetAction(const std::string& title, const std::string& keyName);

    const CNActionBinding& GetKeyBinding(int scanCode) const { return keyBindings_[scanCode & 0xFF]; }
    const CNActionBinding& GetNumericBinding(int slot) const { return numericBindings_[slot & 0x7F]; }
    CPHashMap<CNActionBinding>& GetActionMap() { return actionMap_; }
    std::list<std::string>& GetActionList() { return actionList_; }

    bool actionsEnabled = true;
    bool keyAssignMode = false;

private:
    CNActionBinding keyBindings_[256];
    CNActionBinding numericBindings_[128];
    CPHashMap<CNActionBinding> actionMap_; // 100 requested buckets: the engine map's 193
    std::list<std::string> actionList_;
};

inline CNInput* GetInput() { return CPSingleton<CNInput>::Instance(); }
