#include "Input/NInput.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Core/PFileReader.h"
#include "Core/PFileWriter.h"
#include "Core/PGlobalTimer.h"
#include "Core/PScriptManager.h"
#include "Core/PSettings.h"
#include "Core/PTextReader.h"
#include "Core/PTokenizer.h"

namespace {

struct NamedKey {
    int code;
    const char* name;
};

const NamedKey kNamedKeys[] = {
    {0x01, "Esc"},        {0x02, "1"},         {0x03, "2"},
    {0x04, "3"},          {0x05, "4"},         {0x06, "5"},
    {0x07, "6"},          {0x08, "7"},         {0x09, "8"},
    {0x0A, "9"},          {0x0B, "0"},         {0x0C, "-"},
    {0x0D, "="},          {0x0E, "Backspace"}, {0x0F, "Tab"},
    {0x10, "Q"},          {0x11, "W"},         {0x12, "E"},
    {0x13, "R"},          {0x14, "T"},         {0x15, "Y"},
    {0x16, "U"},          {0x17, "I"},         {0x18, "O"},
    {0x19, "P"},          {0x1A, "["},         {0x1B, "]"},
    {0x1C, "Enter"},      {0x1D, "LCtrl"},     {0x1E, "A"},
    {0x1F, "S"},          {0x20, "D"},         {0x21, "F"},
    {0x22, "G"},          {0x23, "H"},         {0x24, "J"},
    {0x25, "K"},          {0x26, "L"},         {0x27, ";"},
    {0x28, "'"},          {0x29, "`"},         {0x2A, "LShift"},
    {0x2B, "\\"},         {0x2C, "Z"},         {0x2D, "X"},
    {0x2E, "C"},          {0x2F, "V"},         {0x30, "B"},
    {0x31, "N"},          {0x32, "M"},         {0x33, ","},
    {0x34, "."},          {0x35, "/"},         {0x36, "RShift"},
    {0x37, "*"},          {0x38, "LAlt"},      {0x39, "Space"},
    {0x3A, "CapsLock"},   {0x3B, "F1"},        {0x3C, "F2"},
    {0x3D, "F3"},         {0x3E, "F4"},        {0x3F, "F5"},
    {0x40, "F6"},         {0x41, "F7"},        {0x42, "F8"},
    {0x43, "F9"},         {0x44, "F10"},       {0x45, "NumLock"},
    {0x46, "ScrollLock"}, {0x47, "NumPad 7"},  {0x48, "NumPad 8"},
    {0x49, "NumPad 9"},   {0x4A, "NumPad -"},  {0x4B, "NumPad 4"},
    {0x4C, "NumPad 5"},   {0x4D, "NumPad 6"},  {0x4E, "NumPad +"},
    {0x4F, "NumPad 1"},   {0x50, "NumPad 2"},  {0x51, "NumPad 3"},
    {0x52, "NumPad 0"},   {0x53, "NumPad ."},  {0x57, "F11"},
    {0x58, "F12"},        {0x64, "F13"},       {0x65, "F14"},
    {0x66, "F15"},        {0x70, "Kana"},      {0x79, "Convert"},
    {0x7B, "NoConvert"},  {0x7D, "Yen"},       {0x8D, "Numpad ="},
    {0x90, "CircumFlex"}, {0x91, "@"},         {0x92, ":"},
    {0x93, "_"},          {0x94, "Kanji"},     {0x95, "Stop"},
    {0x96, "Ax"},         {0x97, "Unlabeled"}, {0x9C, "NumPad Enter"},
    {0x9D, "RCtrl"},      {0xB3, "Numpad ,"},  {0xB5, "Numpad /"},
    {0xB7, "SysRq"},      {0xB8, "RAlt"},      {0xC5, "Pause"},
    {0xC7, "Home"},       {0xC8, "Up"},        {0xC9, "PgUp"},
    {0xCB, "Left"},       {0xCD, "Right"},     {0xCF, "End"},
    {0xD0, "Down"},       {0xD1, "PgDn"},      {0xD2, "Ins"},
    {0xD3, "Del"},
};

struct KeyNameTable {
    const char* names[kKeyNameCount];
    KeyNameTable() {
        for (auto& n : names) n = "undefined key";
        for (const NamedKey& k : kNamedKeys) names[k.code] = k.name;
    }
};

const KeyNameTable& KeyNames() {
    static const KeyNameTable table;
    return table;
}

} // namespace

const char* GetKeyName(int scanCode) {
    if (scanCode < 0 || scanCode >= kKeyNameCount) return nullptr;
    return KeyNames().names[scanCode];
}

int FindKeyCode(const std::string& name) {
    for (int i = 0; i < kKeyNameCount; ++i)
        if (name == KeyNames().names[i]) return i;
    return -1;
}

CNInput::CNInput() = default;

CNInput::~CNInput() = default;

bool CNInput::Start() {
    if (FAILED(LoadActions("Actions.cfg"))) return false;
    return CPTask::Start();
}

namespace {

// Key codes of the fixed menu keys.
enum : int {
    kEsc = 0x01,
    kBackspace = 0x0E,
    kEnter = 0x1C,
    kPad8 = 0x48,
    kPad4 = 0x4B,
    kPad6 = 0x4D,
    kPad2 = 0x50,
    kPadEnter = 0x9C,
    kUp = 0xC8,
    kLeft = 0xCB,
    kRight = 0xCD,
    kDown = 0xD0,
};

} // namespace

void CNInput::SendKeyAction(const std::string& params) {
    if (CPScriptManager* scripts = GetScriptManager())
        scripts->SendCommandByCategory("action_listener", "key_action", params);
}

void CNInput::SendStandardAction(const char* params) {
    if (CPScriptManager* scripts = GetScriptManager())
        scripts->SendCommandByCategory("action_listener", "standart_action", params);
}

void CNInput::GetMousePosition(int& x, int& y) const {
    x = static_cast<int>(cursorX_);
    y = static_cast<int>(cursorY_);
}

void CNInput::UpdateCursorAxis(float& cursor, int delta, float factor, int size) {
    float d = static_cast<float>(delta) * factor;
    // A sensitivity that isn't a number moves nothing.
    if (!std::isfinite(d)) return;
    float moved = cursor + d;
    if (d > 0) {
        float limit = static_cast<float>(size - 1);
        if (moved > limit) moved = limit;
    } else if (moved < 0) {
        moved = 0;
    }
    cursor = moved;
}

void CNInput::Update() {
    // 1. Device upkeep.
    if (device_) device_->Acquire(AppActive);

    // 2. Mouse (the keyboard comes with it and is taken in step 7).
    Platform::InputState state;
    if (device_) device_->Read(state);
    dx_ = state.dx;
    dy_ = state.dy;
    dz_ = state.dz;

    // 3. Wheel, whatever the actions-enabled flag.
    if (dz_ > 0) SendKeyAction("prev_weapon,0");
    else if (dz_ < 0) SendKeyAction("next_weapon,0");

    // 4. Cursor.
    const float factor = g_mouse + 1.0f;
    const float oldX = cursorX_, oldY = cursorY_;
    UpdateCursorAxis(cursorX_, dx_, factor, g_screenWidth);
    UpdateCursorAxis(cursorY_, dy_, factor, g_screenHeight);

    // 5. Buttons 0, 1, 2: the dispatch first, then buttons 1 and 2 send theirs (",0" down, ",1" up).
    for (int button = 0; button < 3; ++button) {
        bool down = (state.buttons[button] & 0x80) != 0;
        if (down == held_[button]) continue;
        if (down) {
            if (dispatch_) dispatch_->MouseDown(button, cursorX_, cursorY_);
        } else if (dispatch_) {
            dispatch_->MouseUp(button, cursorX_, cursorY_);
        }
        if (button > 0) SendKeyAction("mouse" + std::to_string(button) + (down ? ",0" : ",1"));
        held_[button] = down;
    }

    // 6. Cursor moved.
    if ((cursorX_ != oldX || cursorY_ != oldY) && dispatch_) dispatch_->MouseMove(cursorX_, cursorY_);

    // 7. Keyboard.
    std::memcpy(previousKeys_, keys_, sizeof(keys_));
    std::memcpy(keys_, state.keys, sizeof(keys_));

    // 8. Every scan code in ascending order.
    bool anyUp = false;
    for (int code = 0; code < 256; ++code) {
        const bool was = (previousKeys_[code] & 0x80) != 0, is = (keys_[code] & 0x80) != 0;
        if (was == is) continue;
        const CNActionBinding& binding = keyBindings_[code];
        if (!is) {
            if (keyAssignMode) {
                keyAssignMode = false;
                // Keys past the name table (the Windows keys and beyond) have no name of their own.
                const char* name = GetKeyName(code);
                if (CPScriptManager* scripts = GetScriptManager())
                    scripts->SendCommandByCategory("interface", "key_assign",
                                                   std::string(name ? name : "undefined key") + ",false");
            }
            if (actionsEnabled && binding.bound) SendKeyAction(binding.text + ",0");
            anyUp = true;
            switch (code) {
            case kEsc: SendStandardAction("escape,0"); break;
            case kBackspace: SendStandardAction("backspace,0"); break;
            case kLeft:
            case kPad4: SendStandardAction("left,0"); break;
            case kRight:
            case kPad6: SendStandardAction("right,0"); break;
            case kEnter:
            case kPadEnter:
                SendStandardAction("enter,0");
                if (dispatch_) dispatch_->EnterUp();
                break;
            default: break;
            }
        } else {
            if (actionsEnabled && binding.bound) SendKeyAction(binding.text + ",1");
            switch (code) {
            case kUp:
            case kPad8:
                if (dispatch_) dispatch_->MenuDown();
                break;
            case kDown:
            case kPad2:
                if (dispatch_) dispatch_->MenuUp();
                break;
            case kLeft:
            case kPad4:
                SendStandardAction("left,1");
                if (dispatch_) dispatch_->MenuLeft();
                break;
            case kRight:
            case kPad6:
                SendStandardAction("right,1");
                if (dispatch_) dispatch_->MenuRight();
                break;
            case kEnter:
            case kPadEnter:
                SendStandardAction("enter,1");
                if (dispatch_) dispatch_->EnterDown();
                break;
            case kEsc: SendStandardAction("escape,1"); break;
            case kBackspace: SendStandardAction("backspace,1"); break;
            default: break;
            }
        }
    }

    // 9. One "any_key" for every key that went up this turn.
    if (anyUp)
        if (CPScriptManager* scripts = GetScriptManager()) scripts->SendCommandByName("main", "any_key", "");
}

HRESULT CNInput::LoadActions(const std::string& fileName) {
    CPFileReader reader(fileName);
    HRESULT hr = reader.Load();
    if (FAILED(hr)) return hr;

    for (auto& binding : keyBindings_) binding = CNActionBinding{};
    actionMap_.Clear();
    actionList_.clear();

    CPTextReader lines(reader.GetData(), reader.GetLength());
    std::string line;
    while (lines.GetLine(line)) {
        CPTokenizer fields(line, ";", true);
        std::string action, title, key, numeric;
        fields.NextToken(action);
        fields.NextToken(title);
        fields.NextToken(key);
        fields.NextToken(numeric);
        if (numeric == "true") {
            int slot = std::atoi(key.c_str());
            // Slots past the numeric table are kept in the action map only.
            if (slot >= 0 && slot < 128) numericBindings_[slot] = {static_cast<uint8_t>(slot), "", action, true, true};
            actionMap_[action] = {static_cast<uint8_t>(slot), key, title, true, true};
        } else {
            // A key name the table doesn't know binds nothing.
            int code = FindKeyCode(key);
            if (code >= 0) keyBindings_[code] = {static_cast<uint8_t>(code), key, action, true, false};
            actionMap_[action] = {static_cast<uint8_t>(code < 0 ? 0 : code), key, title, true, false};
        }
        actionList_.push_back(action);
    }
    return S_OK;
}

namespace {

// A field holding ";" or a quote is written in quotes (inner quotes doubled), so it reads back as
// it was written; every other field is written as it is.
std::string QuoteField(const std::string& field) {
    if (field.find_first_of(";\"") == std::string::npos) return field;
    std::string quoted = "\"";
    for (char c : field) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

} // namespace

HRESULT CNInput::SaveActions(const std::string& fileName) {
    CPFileWriter writer(fileName, false);
    for (const std::string& action : actionList_) {
        // An action without a map entry is written with an empty one, which it keeps.
        const CNActionBinding& entry = actionMap_[action];
        std::string key = entry.numeric ? std::to_string(entry.code) : entry.keyName;
        std::string line = QuoteField(action) + ";" + QuoteField(entry.text) + ";" + QuoteField(key) + ";" +
                           (entry.numeric ? "true" : "false") + "\r\n";
        writer.Write(line.data(), static_cast<int>(line.size()));
    }
    return writer.SaveReplacing();
}

void CNInput::SetAction(const std::string& title, const std::string& keyName) {
    for (auto& entry : actionMap_) {
        if (entry.second.keyName == keyName) {
            entry.second.code = 0;
            entry.second.keyName = "undefined key";
            entry.second.bound = true;
            entry.second.numeric = false;
            break;
        }
    }
    int code = FindKeyCode(keyName);
    if (code < 0) return;
    for (auto& entry : actionMap_) {
        if (entry.second.text == title) {
            entry.second.keyName = keyName;
            entry.second.code = static_cast<uint8_t>(code);
            break;
        }
    }
}
