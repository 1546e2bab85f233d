// The demo's menu as a player sees it: the application in this process on the demo data (with the
// textures and fonts the tools make) drawing with OpenGL into SDL's offscreen window, a probe task
// reading each frame back after the renderer's turn. The menu is there after loading, the mouse
// moved onto "continue" lights that button, a click on "new" brings the profile screen, and the
// frames go to build/test-output/ as PNG.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <filesystem>

#include "Application/PApplication.h"
#include "Core/PKernel.h"
#include "Core/PScriptRegistry.h"
#include "Core/PSettings.h"
#include "Platform/GlDevice.h"
#include "Platform/SdlInjection.h"
#include "Platform/SdlMessageSource.h"
#include "Platform/SdlWindow.h"
#include "ProgramHarness.h"
#include "Render/PRender.h"
#include "RenderGL/PngWriter.h"
#include "ScriptHarness.h"

namespace fs = std::filesystem;

namespace {

constexpr int kEsc = 0x01;

std::vector<std::vector<uint32_t>> g_frames; // by turn
int g_turn = 0;

// After the renderer: this turn's frame, then this turn's events.
void WatchTurn() {
    ++g_turn;
    std::vector<uint32_t> pixels;
    int w = 0, h = 0;
    if (CPRender* render = GetRender())
        if (render->GetDevice() && render->GetDevice()->ReadBackBuffer(pixels, w, h) != Platform::DeviceResult::Ok)
            pixels.clear();
    if (w != 1024 || h != 768) pixels.clear();
    g_frames.push_back(pixels);
    using namespace Platform;
    switch (g_turn) {
    // The cursor starts at (0, 0) and moves the motion times (the setting "mouse" + 1): onto
    // "continue" at (412, 370, 200, 50).
    case 12: {
        const float factor = g_mouse + 1.0f;
        InjectMouseMotion(static_cast<int>(500 / factor), static_cast<int>(390 / factor));
        break;
    }
    // Up onto "new" and a left click: the profile screen comes.
    case 20: {
        const float factor = g_mouse + 1.0f;
        InjectMouseMotion(0, static_cast<int>(-70 / factor));
        break;
    }
    case 22: InjectMouseButton(0, true); break;
    case 23: InjectMouseButton(0, false); break;
    // Esc: from the profile screen to the menu, and from the menu out.
    case 40: InjectKey(kEsc, true); break;
    case 41: InjectKey(kEsc, false); break;
    case 44: InjectKey(kEsc, true); break;
    default: break;
    }
}

int StartWatching(lua_State*) {
    CPRefPtr<ScriptHarness::ProbeTask> probe(new ScriptHarness::ProbeTask(INT_MAX, WatchTurn));
    GetKernel()->AddTask(probe);
    return 0;
}

uint32_t At(const std::vector<uint32_t>& p, int x, int y) { return p[static_cast<size_t>(y) * 1024 + x] & 0xFFFFFF; }

TEST(DemoMenuE2ETest, TheMenuIsThereAfterLoadingAndTheMouseLightsAButton) {
    if (!ProgramHarness::Offscreen()) GTEST_SKIP() << "needs SDL_VIDEODRIVER=offscreen";
    ScriptHarness::GameRoot root("");
    const std::string make =
        std::string(VASTREL_SOURCE_DIR) + "/scripts/make-game-root.sh " + VASTREL_BINARY_DIR + " . >/dev/null";
    ASSERT_EQ(std::system(make.c_str()), 0);
    ProgramHarness::Prepend("Data/Scripts/main.lua", "StartWatching()\n");
    const ScriptFunctionEntry probe[] = {{"StartWatching", StartWatching}};
    RegisterScriptTable(ScriptTable::Library, probe);
    CPSettingsManager::ResetDefaults();
    AppActive = true;
    g_frames.clear();
    g_turn = 0;

    ApplicationPlatform platform = ProgramHarness::SdlPlatform(ProgramHarness::Device::Gl);
    ASSERT_EQ(ProgramHarness::RunApplication(platform), RunResult::Finished);
    CPManagedObject::CollectGarbage();
    CPSettingsManager::ResetDefaults();

    ASSERT_GE(g_frames.size(), 40u);
    const auto& menu = g_frames[10];
    const auto& hovered = g_frames[18];
    if (menu.empty()) GTEST_SKIP() << "no OpenGL frame to read back here";
    ASSERT_FALSE(hovered.empty());
    const fs::path out = fs::path(VASTREL_BINARY_DIR) / "test-output";
    PngWriter::Write(out / "menu.png", menu, 1024, 768);
    PngWriter::Write(out / "menu-continue.png", hovered, 1024, 768);
    const auto& profile = g_frames[36];
    ASSERT_FALSE(profile.empty());
    PngWriter::Write(out / "menu-profile.png", profile, 1024, 768);

    // The buttons at file (412, 300 + 70 k, 200, 50): "new" focused (amber), the others slate;
    // with the cursor on "continue", that one is amber and "new" slate again.
    const uint32_t amber = 0xE6A01E, slate = 0x3C5078;
    auto fill = [](const std::vector<uint32_t>& p, int k) { return At(p, 420, 300 + 70 * k + 12); };
    EXPECT_EQ(fill(menu, 0), amber);
    EXPECT_EQ(fill(menu, 1), slate);
    EXPECT_EQ(fill(menu, 2), slate);
    EXPECT_EQ(fill(hovered, 0), slate);
    EXPECT_EQ(fill(hovered, 1), amber);
    EXPECT_EQ(fill(hovered, 2), slate);
    // Each button's label writes white ink inside it.
    for (int k = 0; k < 3; ++k) {
        int ink = 0;
        for (int y = 300 + 70 * k + 10; y < 300 + 70 * k + 40; ++y)
            for (int x = 436; x < 560; ++x)
                if ((At(menu, x, y) & 0xF0F0F0) == 0xF0F0F0) ++ink;
        EXPECT_GT(ink, 40) << "label of button " << k;
    }
    // The profile screen: the menu's last button is gone (the profile's panel lies there), the
    // title at file (212, 100) is inked white and its six slot buttons at (212 + 260 c, 270 + 70 r)
    // are slate (the focus is on "ok").
    EXPECT_NE(fill(profile, 4), slate);
    EXPECT_NE(fill(profile, 4), amber);
    int ink = 0;
    for (int y = 100; y < 140; ++y)
        for (int x = 212; x < 420; ++x)
            if ((At(profile, x, y) & 0xF0F0F0) == 0xF0F0F0) ++ink;
    EXPECT_GT(ink, 100) << "profile title";
    for (int slot = 0; slot < 6; ++slot)
        EXPECT_EQ(At(profile, 212 + 260 * (slot % 2) + 220, 270 + 70 * (slot / 2) + 40), slate) << "slot " << slot + 1;
}

} // namespace
