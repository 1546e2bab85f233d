#include <cstring>

#include "Platform/Input.h"

namespace Platform {

void EventInput::Read(InputState& out) {
    for (int i = 0; i < 256; ++i) out.keys[i] = (keys_[i] || pressed_[i]) ? 0x80 : 0;
    for (int i = 0; i < 3; ++i) out.buttons[i] = (buttons_[i] || clicked_[i]) ? 0x80 : 0;
    out.dx = dx_;
    out.dy = dy_;
    out.dz = dz_;
    std::memset(pressed_, 0, sizeof(pressed_));
    std::memset(clicked_, 0, sizeof(clicked_));
    dx_ = dy_ = dz_ = 0;
}

void EventInput::KeyDown(int code) {
    if (code <= 0 || code > 255) return;
    keys_[code] = 1;
    pressed_[code] = 1;
}

void EventInput::KeyUp(int code) {
    if (code > 0 && code <= 255) keys_[code] = 0;
}

void EventInput::ButtonDown(int button) {
    if (button < 0 || button > 2) return;
    buttons_[button] = 1;
    clicked_[button] = 1;
}

void EventInput::ButtonUp(int button) {
    if (button >= 0 && button <= 2) buttons_[button] = 0;
}

void EventInput::Motion(int dx, int dy) {
    dx_ += dx;
    dy_ += dy;
}

void EventInput::Wheel(int dz) { dz_ += dz; }

} // namespace Platform
