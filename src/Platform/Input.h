#pragma once
// Keyboard and mouse as the input system reads them once per turn: 256 key bytes by scan code of
// the game's key table (bit 0x80 = down), the mouse's movement and wheel since the last read, and
// three buttons (0 left, 1 right, 2 middle). The state is built from events, so events a test
// injects and the user's take one road. Auto-repeat is ignored; a key pressed and released between
// two reads reads down once, then up.
#include <cstdint>
#include <string>
#include <vector>

union SDL_Event;

namespace Platform {

struct InputState {
    uint8_t keys[256] = {};
    int32_t dx = 0, dy = 0, dz = 0;
    uint8_t buttons[3] = {};
};

class InputDevice {
public:
    virtual ~InputDevice() = default;
    // Called every turn: the mouse is captured while the application is active, released otherwise.
    virtual void Acquire(bool active) = 0;
    // The state since the last read.
    virtual void Read(InputState& out) = 0;
};

// The state of keys and buttons kept from events between two reads.
class EventInput : public InputDevice {
public:
    void Read(InputState& out) override;

    void KeyDown(int code);
    void KeyUp(int code);
    void ButtonDown(int button);
    void ButtonUp(int button);
    void Motion(int dx, int dy);
    void Wheel(int dz);

private:
    uint8_t keys_[256] = {};
    uint8_t pressed_[256] = {}; // went down since the last read
    uint8_t buttons_[3] = {};
    uint8_t clicked_[3] = {};
    int32_t dx_ = 0, dy_ = 0, dz_ = 0;
};

// Fed by the test: key codes of the game's table, buttons 0..2. Records each Acquire.
class ScriptedInput final : public EventInput {
public:
    void Acquire(bool active) override { acquired.push_back(active); }
    std::vector<bool> acquired;
};

// Fed by the SDL event pump (SdlMessageSource). Acquire turns SDL's relative mouse mode on while the
// application is active; where there is none (offscreen) motion still comes as xrel/yrel.
class SdlInput final : public EventInput {
public:
    void Acquire(bool active) override;
    void Feed(const SDL_Event& event);

private:
    int acquired_ = -1;
};

// The game's key code of an SDL scancode; 0 for keys the table has no place for.
int KeyCodeOfScancode(int scancode);
// An SDL scancode of a game key code (the first that maps to it); 0 when none does.
int ScancodeOfKeyCode(int code);

} // namespace Platform
