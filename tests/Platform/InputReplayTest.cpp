#include "Platform/InputReplay.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "Platform/SdlMessageSource.h"

namespace {

using Platform::InputReplay;
using Platform::ReplayEvent;

TEST(InputReplay, ReadsEveryKindOfLine) {
    InputReplay replay;
    std::string error;
    ASSERT_TRUE(replay.Parse("# menu\n"
                             "1 key Return down\r\n"
                             "\n"
                             "2 text Zoë Ann\n"
                             "2 motion -12 40\n"
                             "7 button middle up\n"
                             "9 wheel -3\n"
                             "9 key Left Shift up\n",
                             error))
        << error;
    const auto& e = replay.Events();
    ASSERT_EQ(e.size(), 6u);
    EXPECT_EQ(e[0].kind, ReplayEvent::Kind::Key);
    EXPECT_EQ(e[0].code, SDL_SCANCODE_RETURN);
    EXPECT_TRUE(e[0].down);
    EXPECT_EQ(e[1].kind, ReplayEvent::Kind::Text);
    EXPECT_EQ(e[1].text, "Zoë Ann"); // spaces inside the text stay
    EXPECT_EQ(e[2].x, -12);
    EXPECT_EQ(e[2].y, 40);
    EXPECT_EQ(e[3].code, 2);
    EXPECT_FALSE(e[3].down);
    EXPECT_EQ(e[4].y, -3);
    EXPECT_EQ(e[5].code, SDL_SCANCODE_LSHIFT); // a name with a space
    EXPECT_EQ(replay.LastTurn(), 9);
}

// A bad line stops the whole file with its number, and nothing of the file is kept.
TEST(InputReplay, RefusesBadLinesByNumber) {
    const struct {
        const char* line;
        const char* why;
    } kCases[] = {
        {"0 key Up down", "a turn"},
        {"x key Up down", "a turn"},
        {"99999999999 key Up down", "a turn"},
        {"3 key Nosuchkey down", "unknown key"},
        {"3 key Up pressed", "down or up"},
        {"3 key Up down now", "unknown key"},
        {"3 key down", "a name and down or up"},
        {"3 text", "without characters"},
        {"3 text 0123456789012345678901234567890123456789", "longer"},
        {"3 motion 1", "two whole numbers"},
        {"3 motion 1 2x", "two whole numbers"},
        {"3 button thumb down", "unknown button"},
        {"3 wheel", "one whole number"},
        {"3 wheel 1 2", "one whole number"},
        {"3 jump", "unknown event"},
        {"1 key Up up", "goes back"}, // after turn 2
    };
    for (const auto& c : kCases) {
        InputReplay replay;
        std::string error;
        ASSERT_TRUE(replay.Parse("2 key Up down\n", error));
        EXPECT_FALSE(replay.Parse(std::string("2 key Up down\n") + c.line + "\n", error)) << c.line;
        EXPECT_EQ(error.rfind("2: ", 0), 0u) << c.line << " -> " << error;
        EXPECT_NE(error.find(c.why), std::string::npos) << c.line << " -> " << error;
        EXPECT_EQ(replay.Events().size(), 1u) << "the earlier file stays whole: " << c.line;
    }
    InputReplay replay;
    std::string error;
    EXPECT_FALSE(replay.Load("/nonexistent/replay.txt", error));
    EXPECT_NE(error.find("cannot open"), std::string::npos);
}

// Played through the message source, each event arrives in its own turn and reaches the input state
// and the messages as the user's would.
TEST(InputReplay, EventsArriveInTheirTurn) {
    if (SDL_InitSubSystem(SDL_INIT_EVENTS) != 0) GTEST_SKIP() << SDL_GetError();
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    auto replay = std::make_unique<InputReplay>();
    std::string error;
    ASSERT_TRUE(replay->Parse("2 key Up down\n"
                              "2 motion 5 -6\n"
                              "3 text ab\n"
                              "4 key Up up\n"
                              "4 button right down\n"
                              "4 wheel 2\n",
                              error))
        << error;
    Platform::SdlMessageSource source(1024, 768);
    source.SetReplay(std::move(replay));
    constexpr int kUp = 0xC8;
    struct Turn {
        bool upDown;
        int dx, dy, dz;
        bool right;
        std::string chars;
    };
    const Turn kExpected[] = {
        {false, 0, 0, 0, false, ""},
        {true, 5, -6, 0, false, ""},
        {true, 0, 0, 0, false, "a"},
        {false, 0, 0, 2, true, "b"}, // the second character comes one turn later: one message a turn
    };
    for (size_t i = 0; i < std::size(kExpected); ++i) {
        Platform::Message m;
        std::string chars;
        if (source.TakeMessage(m) && m.id == Platform::MessageId::Char) chars += static_cast<char>(m.param);
        Platform::InputState state;
        source.Input().Read(state);
        const Turn& t = kExpected[i];
        SCOPED_TRACE("turn " + std::to_string(i + 1));
        EXPECT_EQ((state.keys[kUp] & 0x80) != 0, t.upDown);
        EXPECT_EQ(state.dx, t.dx);
        EXPECT_EQ(state.dy, t.dy);
        EXPECT_EQ(state.dz, t.dz);
        EXPECT_EQ((state.buttons[1] & 0x80) != 0, t.right);
        EXPECT_EQ(chars, t.chars);
    }
    SDL_QuitSubSystem(SDL_INIT_EVENTS);
}

} // namespace
