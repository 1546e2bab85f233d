#include "Platform/InputReplay.h"

#include <SDL.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include "Platform/SdlInjection.h"

namespace Platform {

namespace {

bool ParseInt(const std::string& word, int& out) {
    if (word.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const long value = std::strtol(word.c_str(), &end, 10);
    if (*end != '\0' || errno == ERANGE || value < INT_MIN || value > INT_MAX) return false;
    out = static_cast<int>(value);
    return true;
}

bool ParseState(const std::string& word, bool& down) {
    if (word == "down") return down = true, true;
    if (word == "up") return down = false, true;
    return false;
}

// One line after its turn; an empty answer means it was read.
std::string ParseEvent(std::istringstream& in, const std::string& rest, ReplayEvent& e) {
    std::string kind, a, b, extra;
    in >> kind;
    if (kind == "text") {
        // The text is the rest of the line after one space; it may hold spaces itself.
        const size_t at = rest.find("text") + 4;
        e.kind = ReplayEvent::Kind::Text;
        e.text = at < rest.size() ? rest.substr(at + 1) : "";
        if (e.text.empty()) return "text without characters";
        if (e.text.size() >= sizeof(SDL_TextInputEvent::text)) return "text longer than one event holds";
        return "";
    }
    if (kind == "key") {
        // SDL's key names may hold spaces ("Left Shift"): the name is all but the last word.
        std::vector<std::string> words;
        for (std::string w; in >> w;) words.push_back(w);
        if (words.size() < 2) return "key needs a name and down or up";
        for (size_t i = 0; i + 1 < words.size(); ++i) a += (i ? " " : "") + words[i];
        e.kind = ReplayEvent::Kind::Key;
        e.code = SDL_GetScancodeFromName(a.c_str());
        if (e.code == SDL_SCANCODE_UNKNOWN) return "unknown key \"" + a + "\"";
        if (!ParseState(words.back(), e.down)) return "key state must be down or up";
        return "";
    }
    in >> a >> b;
    if (in >> extra) return "unexpected \"" + extra + "\"";
    if (kind == "motion") {
        e.kind = ReplayEvent::Kind::Motion;
        if (!ParseInt(a, e.x) || !ParseInt(b, e.y)) return "motion needs two whole numbers";
    } else if (kind == "button") {
        e.kind = ReplayEvent::Kind::Button;
        static const char* const kNames[3] = {"left", "right", "middle"};
        e.code = -1;
        for (int i = 0; i < 3; ++i)
            if (a == kNames[i]) e.code = i;
        if (e.code < 0) return "unknown button \"" + a + "\"";
        if (!ParseState(b, e.down)) return "button state must be down or up";
    } else if (kind == "wheel") {
        e.kind = ReplayEvent::Kind::Wheel;
        if (!b.empty() || !ParseInt(a, e.y)) return "wheel needs one whole number";
    } else {
        return "unknown event \"" + kind + "\"";
    }
    return "";
}

} // namespace

bool InputReplay::Parse(const std::string& text, std::string& error) {
    std::vector<ReplayEvent> events;
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    for (; std::getline(lines, line);) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == '#') continue;
        std::istringstream in(line);
        std::string turnWord;
        in >> turnWord;
        ReplayEvent e;
        std::string why;
        if (!ParseInt(turnWord, e.turn) || e.turn < 1) why = "a turn (1 or more) comes first";
        else if (!events.empty() && e.turn < events.back().turn) why = "turn goes back";
        else why = ParseEvent(in, line, e);
        if (!why.empty()) {
            error = std::to_string(number) + ": " + why;
            return false;
        }
        events.push_back(std::move(e));
    }
    events_ = std::move(events);
    next_ = 0;
    return true;
}

bool InputReplay::Load(const std::string& path, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot open " + path;
        return false;
    }
    std::ostringstream text;
    text << file.rdbuf();
    return Parse(text.str(), error);
}

bool InputReplay::PushTurn(int turn) {
    bool ok = true;
    while (next_ < events_.size() && events_[next_].turn <= turn) {
        const ReplayEvent& e = events_[next_++];
        if (e.turn < turn) continue; // a turn already gone is not played late
        switch (e.kind) {
        case ReplayEvent::Kind::Key: ok &= InjectScancode(e.code, e.down); break;
        case ReplayEvent::Kind::Text: ok &= InjectText(e.text.c_str()); break;
        case ReplayEvent::Kind::Motion: ok &= InjectMouseMotion(e.x, e.y); break;
        case ReplayEvent::Kind::Button: ok &= InjectMouseButton(e.code, e.down); break;
        case ReplayEvent::Kind::Wheel: ok &= InjectWheel(e.y); break;
        }
    }
    return ok;
}

} // namespace Platform
