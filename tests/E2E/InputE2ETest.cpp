// The keyboard and mouse end to end: the application in this process on SDL (offscreen), a probe
// task putting events on SDL's queue at fixed turns the way a user's would arrive, and the script
// "main" writing down every command it then gets.
#include <gtest/gtest.h>

#include <climits>

#include "Application/PApplication.h"
#include "Core/PGlobalTimer.h"
#include "Core/PKernel.h"
#include "Core/PScriptRegistry.h"
#include "Core/PSettings.h"
#include "Platform/NullDevice.h"
#include "Platform/SdlInjection.h"
#include "Platform/SdlMessageSource.h"
#include "Platform/SdlWindow.h"
#include "Platform/Shell.h"
#include "ProgramHarness.h"
#include "ScriptHarness.h"

namespace {

constexpr int kSpace = 0x39, kEsc = 0x01, kUp = 0xC8, kW = 0x11, kLeftWindows = 0xDB, kLeft = 0xCB;

// The turn a probe runs in (it starts in main's first turn) and what it puts on the queue then.
void ProbeTurn(int turn) {
    using namespace Platform;
    switch (turn) {
    case 3: InjectKey(kSpace, true); break;
    case 4: InjectKey(kSpace, false); break;
    case 5: InjectKey(kEsc, true); break;
    case 6: InjectKey(kEsc, false); break;
    case 7: InjectKey(kUp, true); break;
    case 8: InjectKey(kUp, false); break;
    case 9: InjectKey(kW, true); break;
    case 10: InjectKey(kW, false); break;
    case 12: InjectKey(kLeftWindows, true); break;
    case 13: InjectKey(kLeftWindows, false); break;
    case 14: InjectKey(kLeft, true); break;
    case 15: InjectKey(kLeft, false); break;
    case 16: InjectWheel(1); break;
    case 17: InjectMouseButton(1, true); break;
    case 18: InjectMouseButton(1, false); break;
    case 19: InjectMouseMotion(10, 5); break;
    // From here on the actions are off.
    case 21: InjectKey(kSpace, true); break;
    case 22: InjectKey(kSpace, false); break;
    case 23: InjectKey(kEsc, true); break;
    case 24: InjectKey(kEsc, false); break;
    case 25: InjectMouseButton(1, true); break;
    case 26: InjectWheel(-1); break;
    default: break;
    }
}

int g_probeTurn = 0;

// StartProbe: adds the probe to the kernel at priority 11, before the input system's 12.
int StartProbe(lua_State*) {
    g_probeTurn = 1;
    CPRefPtr<ScriptHarness::ProbeTask> probe(new ScriptHarness::ProbeTask(11, [] { ProbeTurn(++g_probeTurn); }));
    GetKernel()->AddTask(probe);
    return 0;
}

TEST(InputE2ETest, EventsOnSdlsQueueReachTheScriptsAsCommands) {
    if (!ProgramHarness::Offscreen()) GTEST_SKIP() << "needs SDL_VIDEODRIVER=offscreen";
    ScriptHarness::GameRoot root("input");
    const ScriptFunctionEntry probe[] = {{"StartProbe", StartProbe}};
    RegisterScriptTable(ScriptTable::Library, probe);
    CPSettingsManager::ResetDefaults();
    AppActive = true;

    ApplicationPlatform platform = ProgramHarness::SdlPlatform(ProgramHarness::Device::Null);
    ASSERT_EQ(ProgramHarness::RunApplication(platform), RunResult::Finished);
    CPManagedObject::CollectGarbage();
    CPSettingsManager::ResetDefaults();

    const std::vector<std::string> expected = {
        "4 key_action fire,1",
        "5 key_action fire,0",
        "5 any_key ",
        "6 key 27",
        "6 standart_action escape,1",
        "7 standart_action escape,0",
        "7 any_key ",
        "8 key_action forward,1", // Up is bound; it sends no standard action
        "9 key_action forward,0",
        "9 any_key ",
        "11 key_assign W,false",
        "11 any_key ",
        "14 key_assign undefined key,false",
        "14 any_key ",
        "15 key_action left,1",
        "15 standart_action left,1",
        "16 key_action left,0",
        "16 standart_action left,0",
        "16 any_key ",
        "17 key_action prev_weapon,0",
        "18 key_action mouse1,0",
        "19 key_action mouse1,1",
        "20 mouse_move 0.031250,0.020833",
        "20 mouse_move2 20.000000,10.000000",
        // Actions off: fire is silent, the rest is not.
        "23 any_key ",
        "24 key 27",
        "24 standart_action escape,1",
        "25 standart_action escape,0",
        "25 any_key ",
        "26 key_action mouse1,0",
        "27 key_action next_weapon,0",
    };
    EXPECT_EQ(root.ReadLines("commands.log"), expected);
}

} // namespace
