#pragma once
// The input system: the key bindings of "Actions.cfg" (the key-name table, the per-key bindings, the
// action map and the action list) and the task that turns the keyboard and mouse into commands.
#include <list>
#include <string>

#include "Core/PHashMap.h"
#include "Core/PResult.h"
#include "Core/PSingleton.h"
#include "Core/PTask.h"
#include "Platform/Input.h"

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

// The interface screens' side of the input: the dispatch over every active interface. The
// interface floor implements it; until one is given the input system moves no screen.
class CNInterfaceDispatch {
public:
    virtual ~CNInterfaceDispatch() = default;
    virtual void MouseMove(float x, float y) = 0;
    virtual void MouseDown(int button, float x, float y) = 0;
    virtual void MouseUp(int button, float x, float y) = 0;
    virtual void MenuDown() = 0;
    virtual void MenuUp() = 0;
    virtual void MenuLeft() = 0;
    virtual void MenuRight() = 0;
    virtual void EnterDown() = 0;
    virtual void EnterUp() = 0;
};

class CNInput : public CPTask, public CPSingleton<CNInput> {
public:
    CNInput();
    ~CNInput() override;

    // The keyboard and mouse the application chose; without one nothing is ever pressed.
    void SetDevice(Platform::InputDevice* device) { device_ = device; }
    void SetDispatch(CNInterfaceDispatch* dispatch) { dispatch_ = dispatch; }

    // Loads the bindings; false (the task is refused) when "Actions.cfg" can't be read.
    bool Start() override;
    void Update() override;
    int GetTaskKind() const override { return KindSystem; }
    int GetObjectSize() const override { return sizeof(*this); }
    const char* GetTypeName() const override { return "CNInput"; }

    // The cursor truncated toward zero to whole pixels.
    void GetMousePosition(int& x, int& y) const;
    float GetCursorX() const { return cursorX_; }
    float GetCursorY() const { return cursorY_; }
    void SetCursor(float x, float y) {
        cursorX_ = x;
        cursorY_ = y;
    }

    HRESULT LoadActions(const std::string& fileName);
    // Writes one "action;title;key;numeric" line per action-list entry, replacing the file whole.
    HRESULT SaveActions(const std::string& fileName);
    void SetAction(const std::string& title, const std::string& keyName);

    const CNActionBinding& GetKeyBinding(int scanCode) const { return keyBindings_[scanCode & 0xFF]; }
    const CNActionBinding& GetNumericBinding(int slot) const { return numericBindings_[slot & 0x7F]; }
    CPHashMap<CNActionBinding>& GetActionMap() { return actionMap_; }
    std::list<std::string>& GetActionList() { return actionList_; }

    bool actionsEnabled = true;
    bool keyAssignMode = false;

private:
    void SendKeyAction(const std::string& params);
    void SendStandardAction(const char* params);
    void UpdateCursorAxis(float& cursor, int delta, float factor, int size);

    Platform::InputDevice* device_ = nullptr;
    CNInterfaceDispatch* dispatch_ = nullptr;
    bool held_[3] = {};
    int32_t dx_ = 0, dy_ = 0, dz_ = 0;
    float cursorX_ = 0, cursorY_ = 0;
    uint8_t keys_[256] = {};
    uint8_t previousKeys_[256] = {};
    CNActionBinding keyBindings_[256];
    CNActionBinding numericBindings_[128];
    CPHashMap<CNActionBinding> actionMap_; // 100 requested buckets: the engine map's 193
    std::list<std::string> actionList_;
};

inline CNInput* GetInput() { return CPSingleton<CNInput>::Instance(); }
