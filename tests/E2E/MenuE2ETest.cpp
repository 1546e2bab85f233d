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
#include "ProgramHarness.h"
#include "ScriptHarness.h"

namespace {

constexpr int kDown = 0xD0, kEnter = 0x1C, kBackspace = 0x0E;

void MenuProbeTurn(int turn) {
    using namespace Platform;
    switch (turn) {
    case 3: InjectMouseMotion(250, 160); break; // the cursor doubles it: (500, 320), on b1
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
    if (!ProgramHarness::Offscreen()) GTEST_SKIP() << "needs SDL_VIDEODRIVER=offscreen";
    ScriptHarness::GameRoot root("menu");
    const ScriptFunctionEntry probe[] = {{"StartProbe", StartProbe}};
    RegisterScriptTable(ScriptTable::Library, probe);
    CPSettingsManager::ResetDefaults();
    AppActive = true;

    ApplicationPlatform platform = ProgramHarness::SdlPlatform(ProgramHarness::Device::Null);
    ASSERT_EQ(ProgramHarness::RunApplication(platform), RunResult::Finished);
    CPManagedObject::CollectGarbage();
    CPSettingsManager::ResetDefaults();

    const std::vector<std::string> expected = {
        "1 mouse_move 0.000000,0.000000",
        "1 mouse_move2 0.000000,0.000000",
        "1 add_object ",
        "4 mouse_move 0.488281,0.416667",
        "4 mouse_move2 500.000000,320.000000",
        "4 mouse_button_over b1", // the motion lands on b1
        "5 button_down b1",
        "6 mouse_released ",
        "6 button b1",
        "7 menu_up ", // Down arrow: the script steps the focus
        "7 mouse_button_out b1",
        "7 mouse_button_over b2",
        "8 any_key ",
        "9 menu_up ",
        "9 mouse_button_out b2",
        "9 mouse_button_over b3",
        "10 any_key ",
        "11 key 13",
        "11 standart_action enter,1",
        "11 button_down b3", // Enter presses the focused button
        "12 standart_action enter,0",
        "12 button b3",
        "12 any_key ",
        "13 key_action mouse1,0",
        "14 mouse_released ", // a right release: no "button"
        "14 key_action mouse1,1",
        "15 key 233", // "é" arrives as its Windows-1252 byte
        "16 key 120",
        "17 key 8",
        "17 standart_action backspace,1",
        "18 standart_action backspace,0",
        "18 any_key ",
        "21 mouse_button_out b3",  // LockButton on the focused b3
        "21 mouse_button_over b1", // three steps skip the locked b3
        "21 mouse_button_out b1",
        "21 mouse_button_over b2",
        "21 mouse_button_out b2",
        "21 mouse_button_over b1",
        "22 mouse_button_out b1", // unlocked, b3 is reachable again
        "22 mouse_button_over b2",
        "22 mouse_button_out b2",
        "22 mouse_button_over b3",
        "text 201", // É: upper-cased, the "X" taken back
    };
    EXPECT_EQ(root.ReadLines("commands.log"), expected);
}

} // namespace
