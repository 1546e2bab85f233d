#pragma once
// Puts keyboard and mouse events on SDL's queue as a user's would arrive, for tests and tools that
// drive the program from outside. Keys are given by the game's key codes.

namespace Platform {

// False when SDL refused the event (its event system is not running).
bool InjectKey(int code, bool down);
bool InjectScancode(int scancode, bool down);  // an SDL scancode
bool InjectMouseButton(int button, bool down); // 0 left, 1 right, 2 middle
bool InjectMouseMotion(int dx, int dy);
bool InjectWheel(int dz);
// Typed text in UTF-8, as SDL_TEXTINPUT carries it; longer than one event holds is refused.
bool InjectText(const char* utf8);

} // namespace Platform
