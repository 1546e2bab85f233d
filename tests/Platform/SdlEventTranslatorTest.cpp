#include "Platform/SdlEventTranslator.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

using Platform::Message;
using Platform::MessageId;

SDL_Event WindowEvent(Uint8 kind, int data1 = 0, int data2 = 0) {
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.event = kind;
    e.window.data1 = data1;
    e.window.data2 = data2;
    return e;
}

SDL_Event Text(const char* utf8) {
    SDL_Event e{};
    e.type = SDL_TEXTINPUT;
    std::strncpy(e.text.text, utf8, sizeof e.text.text - 1);
    return e;
}

SDL_Event Key(Uint32 type, SDL_Keycode sym, Uint8 repeat = 0) {
    SDL_Event e{};
    e.type = type;
    e.key.keysym.sym = sym;
    e.key.repeat = repeat;
    return e;
}

SDL_Event Plain(Uint32 type) {
    SDL_Event e{};
    e.type = type;
    return e;
}

Message Char(uint32_t code) { return Message{MessageId::Char, code}; }
Message Size(Platform::SizeKind kind, int w, int h) { return Message{MessageId::Size, kind, w, h}; }
Message Activate(Platform::ActivateKind kind, bool minimized) {
    return Message{MessageId::Activate, kind, 0, 0, minimized};
}

bool Same(const Message& a, const Message& b) {
    return a.id == b.id && a.param == b.param && a.x == b.x && a.y == b.y && a.minimized == b.minimized;
}

std::string Describe(const std::vector<Message>& messages) {
    std::string s;
    for (const Message& m : messages)
        s += "{" + std::to_string(int(m.id)) + "," + std::to_string(m.param) + "," + std::to_string(m.x) + "," +
             std::to_string(m.y) + "," + (m.minimized ? "min" : "-") + "} ";
    return s;
}

// Each case feeds a sequence of events to a translator for an 800 x 600 window and expects the
// messages all of them made, in order.
struct Case {
    const char* name;
    std::vector<SDL_Event> events;
    std::vector<Message> messages;
};

TEST(SdlEventTranslator, EventsToMessages) {
    using namespace Platform;
    const Case cases[] = {
        {"quit", {Plain(SDL_QUIT)}, {Message{MessageId::Quit}}},
        {"close button", {WindowEvent(SDL_WINDOWEVENT_CLOSE)}, {Message{MessageId::Close}}},
        {"mouse, wheel and plain keys make nothing",
         {Plain(SDL_MOUSEMOTION), Plain(SDL_MOUSEBUTTONDOWN), Plain(SDL_MOUSEWHEEL), Key(SDL_KEYDOWN, SDLK_a),
          Key(SDL_KEYUP, SDLK_a), Key(SDL_KEYUP, SDLK_ESCAPE), Key(SDL_KEYDOWN, SDLK_LEFT)},
         {}},
        {"window noise at start-up makes nothing",
         {WindowEvent(SDL_WINDOWEVENT_SHOWN), WindowEvent(SDL_WINDOWEVENT_EXPOSED),
          WindowEvent(SDL_WINDOWEVENT_RESTORED), WindowEvent(SDL_WINDOWEVENT_SIZE_CHANGED, 800, 600),
          WindowEvent(SDL_WINDOWEVENT_ENTER)},
         {}},
        {"minimise and restore",
         {WindowEvent(SDL_WINDOWEVENT_MINIMIZED), WindowEvent(SDL_WINDOWEVENT_RESTORED)},
         {Size(SizeMinimized, 0, 0), Size(SizeRestored, 800, 600)}},
        {"hidden and shown again",
         {WindowEvent(SDL_WINDOWEVENT_HIDDEN), WindowEvent(SDL_WINDOWEVENT_SHOWN)},
         {Size(SizeMinimized, 0, 0), Size(SizeRestored, 800, 600)}},
        {"resize reports the new size once",
         {WindowEvent(SDL_WINDOWEVENT_RESIZED, 1024, 700), WindowEvent(SDL_WINDOWEVENT_SIZE_CHANGED, 1024, 700)},
         {Size(SizeRestored, 1024, 700)}},
        {"maximise then restore",
         {WindowEvent(SDL_WINDOWEVENT_SIZE_CHANGED, 1920, 1050), WindowEvent(SDL_WINDOWEVENT_MAXIMIZED),
          WindowEvent(SDL_WINDOWEVENT_RESTORED), WindowEvent(SDL_WINDOWEVENT_SIZE_CHANGED, 800, 600)},
         {Size(SizeRestored, 1920, 1050), Size(SizeMaximized, 1920, 1050), Size(SizeRestored, 1920, 1050),
          Size(SizeRestored, 800, 600)}},
        {"a size change while minimised waits for the restore",
         {WindowEvent(SDL_WINDOWEVENT_MINIMIZED), WindowEvent(SDL_WINDOWEVENT_SIZE_CHANGED, 640, 480),
          WindowEvent(SDL_WINDOWEVENT_RESTORED)},
         {Size(SizeMinimized, 0, 0), Size(SizeRestored, 640, 480)}},
        {"focus lost and gained",
         {WindowEvent(SDL_WINDOWEVENT_FOCUS_LOST), WindowEvent(SDL_WINDOWEVENT_FOCUS_GAINED)},
         {Activate(ActivateInactive, false), Activate(ActivateActive, false)}},
        {"focus while minimised carries the flag",
         {WindowEvent(SDL_WINDOWEVENT_MINIMIZED), WindowEvent(SDL_WINDOWEVENT_FOCUS_LOST),
          WindowEvent(SDL_WINDOWEVENT_FOCUS_GAINED)},
         {Size(SizeMinimized, 0, 0), Activate(ActivateInactive, true), Activate(ActivateActive, true)}},
        {"typed letter", {Text("a")}, {Char(97)}},
        {"one Char per character, in the game's code page",
         {Text("\xC3\xA9\xE2\x82\xAC"
               "b")},
         {Char(0xE9), Char(0x80), Char('b')}},
        {"characters the code page lacks are dropped",
         {Text("\xE4\xB8\xAD"
               "x\xF0\x9F\x98\x80")},
         {Char('x')}},
        {"control codes in text are not doubled", {Text("\t\r")}, {}},
        {"editing keys make control codes",
         {Key(SDL_KEYDOWN, SDLK_BACKSPACE), Key(SDL_KEYDOWN, SDLK_TAB), Key(SDL_KEYDOWN, SDLK_RETURN),
          Key(SDL_KEYDOWN, SDLK_KP_ENTER), Key(SDL_KEYDOWN, SDLK_ESCAPE)},
         {Char(8), Char(9), Char(13), Char(13), Char(27)}},
        {"held Backspace repeats",
         {Key(SDL_KEYDOWN, SDLK_BACKSPACE), Key(SDL_KEYDOWN, SDLK_BACKSPACE, 1)},
         {Char(8), Char(8)}},
    };
    for (const Case& c : cases) {
        Platform::SdlEventTranslator translator;
        translator.SetClientSize(800, 600);
        std::vector<Message> got;
        for (const SDL_Event& e : c.events) translator.Translate(e, got);
        bool same = got.size() == c.messages.size();
        for (size_t i = 0; same && i < got.size(); ++i) same = Same(got[i], c.messages[i]);
        EXPECT_TRUE(same) << c.name << "\n  got:      " << Describe(got) << "\n  expected: " << Describe(c.messages);
    }
}

} // namespace
