// A menu end to end: the application in this process on SDL (offscreen, null device), a probe task
// putting mouse, key and text events on SDL's queue at fixed turns, and the screen's owner script
// writing down every command it then gets, the focus moves and the name box's bytes.
#include <gtest/gtest.h>

#include "Application/PApplication.h"
#include "Core/PKernel.h"
#include "Core/PScriptRegistry.h"
#include "Core/PSettings.h"
#include "Platform/NullDevice.h"
#include "Platform/SdlInjection.h"
#include "Platform/SdlMessageSource.h"
#include "Platform/SdlWindow.h"
#include "ScriptHarness.h"

namespace {

constexpr int kDown = 0xD0, kEnter = 0x1C, kBackspace = 0x0E;

void MenuProbeTurn(int turn) {
    using namespace Platform;
    switch (turn) {
    case 3: InjectMouseMotion(10, 5); break;
    case 4: InjectMouseButton(0, true); break;
    case 5: InjectMouseButton(0, false); break;
    case 6: InjectKey(kDown, true); break;
    case 7: InjectKey(kDown, false); break;
    case 8: InjectKey(kDown, true); break;
    case 9: InjectKey(kDown, false); break;
    case 10: InjectKey(kEnter, true); break;
    case 11: InjectKey(kEnter, false); break;
    case 12: InjectMouseButton(1, true); break;
    case 13: InjectMouseButton(1, false); break;
    case 14: InjectText("\xC3\xA9"); break; // U+00E9 in UTF-8
    case 15: InjectText("x"); break;
    case 16: InjectKey(kBackspace, true); break;
    case 17: InjectKey(kBackspace, false); break;
    default: break;
    }
}

int g_menuProbeTurn = 0;

int StartProbe(lua_State*) {
    g_menuProbeTurn = 1;
    CPRefPtr<ScriptHarness::ProbeTask> probe(
        new ScriptHarness::ProbeTask(11, [] { MenuProbeTurn(++g_menuProbeTurn); }));
    GetKernel()->AddTask(probe);
    return 0;
}

TEST(MenuE2ETest, ClicksKeysAndTypingReachTheScreenAndItsScript) {
    const char* driver = std::getenv("SDL_VIDEODRIVER");
    if (!driver || std::string(driver) != "offscreen") GTEST_SKIP() << "needs SDL_VIDEODRIVER=offscreen";
    ScriptHarness::GameRoot root("menu");
    const ScriptFunctionEntry probe[] = {{"StartProbe", StartProbe}};
    RegisterScriptTable(ScriptTable::Library, probe);
    CPSettingsManager::ResetDefaults();
    AppActive = true;

    ApplicationPlatform platform;
    platform.startButton = Platform::ControlStartWindowed;
    platform.makeWindow = [] { return std::make_unique<Platform::SdlWindow>(); };
    platform.makeMessages = [](Platform::Window&, int width, int height) -> std::unique_ptr<Platform::MessageSource> {
        return std::make_unique<Platform::SdlMessageSource>(width, height);
    };
    platform.inputDevice = [](Platform::MessageSource& messages) -> Platform::InputDevice* {
        return &static_cast<Platform::SdlMessageSource&>(messages).Input();
    };
    platform.makeDevice = [] { return std::make_unique<Platform::NullBackend>(); };
    {
        CPApplication application(platform);
        ASSERT_EQ(application.Run(), RunResult::Finished);
    }
    CPManagedObject::CollectGarbage();
    CPSettingsManager::ResetDefaults();

    const std::vector<std::string> expected = {};
    EXPECT_EQ(root.ReadLines("commands.log"), expected);
}

} // namespace
