// These open real SDL windows and need a video driver: SDL_VIDEODRIVER=offscreen is enough. They
// skip when SDL's video cannot start.
#include <SDL.h>
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstring>

#include "Platform/DisplayModes.h"
#include "Platform/NullWindow.h"
#include "Platform/SdlMessageSource.h"
#include "Platform/SdlWindow.h"

namespace {

class SdlVideo : public ::testing::Test {
protected:
    void SetUp() override {
        // Mesa's software driver keeps a little memory for the life of the process; once EGL
        // unloads it the leak checker sees that memory as lost. Keeping the driver mapped keeps it
        // reachable. Nothing happens where the driver lives elsewhere.
        static void* dri = dlopen("/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so", RTLD_NOW | RTLD_NODELETE);
        (void)dri;
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) GTEST_SKIP() << "no SDL video: " << SDL_GetError();
    }
    void TearDown() override {
        if (SDL_WasInit(SDL_INIT_VIDEO)) SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }
};

TEST_F(SdlVideo, WindowedMainWindow) {
    Platform::SdlWindow window;
    ASSERT_TRUE(window.Create("Vastrel", 800, 600, true)) << SDL_GetError();
    SDL_Window* w = window.GetSdlWindow();
    ASSERT_NE(w, nullptr);
    EXPECT_STREQ(SDL_GetWindowTitle(w), "Vastrel");
    int width = 0, height = 0;
    SDL_GetWindowSize(w, &width, &height);
    EXPECT_EQ(width, 800);
    EXPECT_EQ(height, 600);
    const Uint32 flags = SDL_GetWindowFlags(w);
    EXPECT_TRUE(flags & SDL_WINDOW_OPENGL);
    EXPECT_TRUE(flags & SDL_WINDOW_RESIZABLE);
    EXPECT_FALSE(flags & SDL_WINDOW_FULLSCREEN);
    EXPECT_TRUE(SDL_IsTextInputActive());
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);

    int screenW = 0, screenH = 0;
    ASSERT_TRUE(window.PrimaryScreenSize(screenW, screenH));
    EXPECT_GT(screenW, 0);
    int x = 0, y = 0;
    SDL_GetWindowPosition(w, &x, &y);
    EXPECT_EQ(x, Platform::CentredPosition(screenW, 800));
    EXPECT_EQ(y, Platform::CentredPosition(screenH, 600));

    window.Show();
    EXPECT_TRUE(SDL_GetWindowFlags(w) & SDL_WINDOW_SHOWN);
    window.Destroy();
    EXPECT_FALSE(window.IsCreated());
}

TEST_F(SdlVideo, FullScreenCoversTheDesktop) {
    Platform::SdlWindow window;
    ASSERT_TRUE(window.Create("Vastrel", 1024, 768, false)) << SDL_GetError();
    EXPECT_EQ(SDL_GetWindowFlags(window.GetSdlWindow()) & SDL_WINDOW_FULLSCREEN_DESKTOP, SDL_WINDOW_FULLSCREEN_DESKTOP);
    EXPECT_FALSE(SDL_GetWindowFlags(window.GetSdlWindow()) & SDL_WINDOW_RESIZABLE);
}

TEST_F(SdlVideo, DisplayModesAreOfferedSmallestFirst) {
    std::vector<Platform::DisplayMode> modes;
    ASSERT_TRUE(Platform::ListDisplayModes(modes));
    for (size_t i = 0; i < modes.size(); ++i) {
        EXPECT_GE(modes[i].width, 1024);
        EXPECT_GE(modes[i].height, 768);
        EXPECT_EQ(modes[i].bitsPerPixel, 32);
        if (i > 0) {
            EXPECT_FALSE(modes[i] == modes[i - 1]);
        }
    }
    // The video system is left as it was found.
    EXPECT_TRUE(SDL_WasInit(SDL_INIT_VIDEO));
}

// Events reach the kernel one message per turn, and events that make none are used up on the way.
TEST(SdlMessageSource, OneMessagePerTurnFromTheEventQueue) {
    if (SDL_InitSubSystem(SDL_INIT_EVENTS) != 0) GTEST_SKIP() << SDL_GetError();
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    Platform::SdlMessageSource source(800, 600);
    Platform::Message m;
    EXPECT_FALSE(source.TakeMessage(m));

    SDL_Event e{};
    for (int i = 0; i < 500; ++i) {
        e = {};
        e.type = SDL_MOUSEMOTION;
        SDL_PushEvent(&e);
    }
    e = {};
    e.type = SDL_TEXTINPUT;
    std::strcpy(e.text.text, "hi");
    SDL_PushEvent(&e);
    e = {};
    e.type = SDL_QUIT;
    SDL_PushEvent(&e);
    source.Post(Platform::Message{Platform::MessageId::Close});

    std::vector<std::pair<Platform::MessageId, uint32_t>> got;
    while (source.TakeMessage(m)) got.emplace_back(m.id, m.param);
    const std::vector<std::pair<Platform::MessageId, uint32_t>> expected = {
        {Platform::MessageId::Close, 0},
        {Platform::MessageId::Char, 'h'},
        {Platform::MessageId::Char, 'i'},
        {Platform::MessageId::Quit, 0},
    };
    EXPECT_EQ(got, expected);
    SDL_QuitSubSystem(SDL_INIT_EVENTS);
}

TEST(NullWindow, RecordsAndCentres) {
    Platform::NullWindow window;
    window.screenWidth = 1280;
    window.screenHeight = 1024;
    ASSERT_TRUE(window.Create("Vastrel", 1600, 900, true));
    window.Show();
    window.Destroy();
    EXPECT_EQ(window.calls, "create show destroy");
    EXPECT_EQ(window.x, -160); // larger than the screen: starts left of it
    EXPECT_EQ(window.y, 62);

    Platform::NullWindow failing;
    failing.failCreate = true;
    EXPECT_FALSE(failing.Create("Vastrel", 640, 480, false));
    EXPECT_FALSE(failing.IsCreated());
}

TEST(Window, CentredPositionTruncatesTowardZero) {
    EXPECT_EQ(Platform::CentredPosition(1920, 800), 560);
    EXPECT_EQ(Platform::CentredPosition(1025, 1024), 0);
    EXPECT_EQ(Platform::CentredPosition(1024, 1027), -1); // -3 / 2
}

} // namespace
