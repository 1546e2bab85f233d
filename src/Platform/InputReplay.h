#pragma once
// A recorded session of keyboard and mouse input, played into SDL's event queue so a run repeats
// exactly: each event goes onto the queue before the pump of its turn and then takes the road the
// user's own events take. One event per line, turns counted from 1 (the kernel's first turn):
//   <turn> key <SDL scancode name> down|up
//   <turn> text <utf-8>
//   <turn> motion <dx> <dy>        (the mouse's movement, as the input system reads it)
//   <turn> button left|right|middle down|up
//   <turn> wheel <dy>
// Blank lines and lines starting with "#" are skipped. Turns never go back.
#include <string>
#include <vector>

namespace Platform {

struct ReplayEvent {
    enum class Kind { Key, Text, Motion, Button, Wheel };
    int turn = 0;
    Kind kind = Kind::Key;
    int code = 0; // scancode, or button 0 left, 1 right, 2 middle
    bool down = false;
    int x = 0, y = 0; // motion; wheel in y
    std::string text;
};

class InputReplay {
public:
    // False with the first bad line named in `error` ("<line>: <why>"); nothing is kept then.
    bool Parse(const std::string& text, std::string& error);
    bool Load(const std::string& path, std::string& error);

    // Puts this turn's events on SDL's queue; false when SDL refused one.
    bool PushTurn(int turn);

    const std::vector<ReplayEvent>& Events() const { return events_; }
    // The turn of the last event; 0 for an empty replay.
    int LastTurn() const { return events_.empty() ? 0 : events_.back().turn; }

private:
    std::vector<ReplayEvent> events_;
    size_t next_ = 0;
};

} // namespace Platform
