#include "Platform/SdlInjection.h"

#include <SDL.h>

#include <cstring>

#include "Platform/Input.h"

namespace Platform {

namespace {
bool Push(SDL_Event& event) { return SDL_PushEvent(&event) == 1; }
} // namespace

bool InjectScancode(int scancode, bool down) {
    SDL_Event event{};
    event.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    event.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    event.key.keysym.scancode = static_cast<SDL_Scancode>(scancode);
    event.key.keysym.sym = SDL_GetKeyFromScancode(event.key.keysym.scancode);
    return Push(event);
}

bool InjectKey(int code, bool down) { return InjectScancode(ScancodeOfKeyCode(code), down); }

bool InjectMouseButton(int button, bool down) {
    static const uint8_t kButtons[3] = {SDL_BUTTON_LEFT, SDL_BUTTON_RIGHT, SDL_BUTTON_MIDDLE};
    if (button < 0 || button > 2) return false;
    SDL_Event event{};
    event.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
    event.button.button = kButtons[button];
    event.button.state = down ? SDL_PRESSED : SDL_RELEASED;
    event.button.clicks = 1;
    return Push(event);
}

bool InjectMouseMotion(int dx, int dy) {
    SDL_Event event{};
    event.type = SDL_MOUSEMOTION;
    event.motion.xrel = dx;
    event.motion.yrel = dy;
    return Push(event);
}

bool InjectWheel(int dz) {
    SDL_Event event{};
    event.type = SDL_MOUSEWHEEL;
    event.wheel.y = dz;
    event.wheel.direction = SDL_MOUSEWHEEL_NORMAL;
    return Push(event);
}

bool InjectText(const char* utf8) {
    SDL_Event event{};
    const size_t length = std::strlen(utf8);
    if (length >= sizeof(event.text.text)) return false;
    event.type = SDL_TEXTINPUT;
    std::memcpy(event.text.text, utf8, length + 1);
    return Push(event);
}

} // namespace Platform
