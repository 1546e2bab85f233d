// The demo as a player hears it: the application in this process on the demo data (with the sounds
// mkdata makes), its mix rendered by OpenAL Soft's loopback device a tenth of a second per turn,
// and keys put on SDL's queue: the tune plays from the start, "fire" sounds the horn, and holding
// Left runs the engine loop from the left.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "Application/PApplication.h"
#include "Core/PGlobalTimer.h"
#include "Core/PKernel.h"
#include "Core/PScriptRegistry.h"
#include "Core/PSettings.h"
#include "Platform/Audio.h"
#include "Platform/NullDevice.h"
#include "Platform/SdlInjection.h"
#include "Platform/SdlMessageSource.h"
#include "Platform/SdlWindow.h"
#include "ProgramHarness.h"
#include "ScriptHarness.h"
#include "Sound/PMusic.h"

namespace fs = std::filesystem;

namespace {

constexpr int kLCtrl = 0x1D, kLeft = 0xCB, kEsc = 0x01;

struct Heard {
    double left = 0, right = 0;
};

Platform::OpenAlAudioDevice* g_device = nullptr;
std::vector<Heard> g_heard; // by turn
int g_turn = 0;

// Each turn: a tenth of a second of the mix, measured; then this turn's keys.
void ListenTurn() {
    ++g_turn;
    const int frames = 2205;
    std::vector<float> mix(2 * frames);
    g_device->Render(mix.data(), frames);
    if (CPMusic* music = GetMusic())
        if (music->GetStream()) music->GetStream()->Refill();
    Heard h;
    for (int i = 0; i < frames; ++i) {
        h.left += double(mix[2 * i]) * mix[2 * i];
        h.right += double(mix[2 * i + 1]) * mix[2 * i + 1];
    }
    h.left = std::sqrt(h.left / frames);
    h.right = std::sqrt(h.right / frames);
    g_heard.push_back(h);
    using namespace Platform;
    switch (g_turn) {
    case 10:
        // The tune has been heard; silence it so the sounds can be told apart.
        if (CPMusic* music = GetMusic()) music->Stop();
        break;
    case 12: InjectKey(kLCtrl, true); break;
    case 13: InjectKey(kLCtrl, false); break;
    case 22: InjectKey(kLeft, true); break;
    case 30: InjectKey(kLeft, false); break;
    case 34: InjectKey(kEsc, true); break;
    default: break;
    }
}

int StartListening(lua_State*) {
    CPRefPtr<ScriptHarness::ProbeTask> probe(new ScriptHarness::ProbeTask(11, ListenTurn));
    GetKernel()->AddTask(probe);
    return 0;
}

TEST(DemoSoundE2ETest, TheTuneTheHornAndTheEngineFromItsSide) {
    if (!ProgramHarness::Offscreen()) GTEST_SKIP() << "needs SDL_VIDEODRIVER=offscreen";
    ScriptHarness::GameRoot root("");
    ASSERT_TRUE(ProgramHarness::MakeDemoRoot(root.Path(), ""));
    // The demo's main script, with the probe started from its first line.
    ProgramHarness::Prepend("Data/Scripts/main.lua", "StartListening()\n");
    const ScriptFunctionEntry probe[] = {{"StartListening", StartListening}};
    RegisterScriptTable(ScriptTable::Library, probe);
    CPSettingsManager::ResetDefaults();
    AppActive = true;

    Platform::OpenAlAudioDevice device({true, false});
    g_device = &device;
    g_heard.clear();
    g_turn = 0;
    ApplicationPlatform platform = ProgramHarness::SdlPlatform(ProgramHarness::Device::Null);
    platform.audio = &device;
    ASSERT_EQ(ProgramHarness::RunApplication(platform), RunResult::Finished);
    CPManagedObject::CollectGarbage();
    CPSettingsManager::ResetDefaults();
    g_device = nullptr;

    ASSERT_GE(g_heard.size(), 33u);
    auto at = [](int turn) { return g_heard[static_cast<size_t>(turn - 1)]; };
    // Turn n's measurement is the mix made before that turn's tasks: the tune starts at the music
    // task's first turn after PlayMusic (at the music volume 0.5), and the stop at turn 10 is heard from
    // turn 11.
    for (int turn = 4; turn <= 10; ++turn) EXPECT_GT(at(turn).left + at(turn).right, 0.002) << "tune, turn " << turn;
    EXPECT_LT(at(12).left + at(12).right, 1e-4) << "silence";
    // The horn: LCtrl is read at turn 13 and played by the script; heard from turn 14, both sides.
    EXPECT_GT(at(14).left, 0.05);
    EXPECT_NEAR(at(14).left, at(14).right, 0.01 * at(14).left);
    // Its 0.7 s are over by turn 22; the engine then runs from the left while Left is held.
    EXPECT_LT(at(23).left + at(23).right, 1e-4) << "silence after the horn";
    for (int turn = 25; turn <= 31; ++turn) {
        EXPECT_GT(at(turn).left, 0.02) << "engine, turn " << turn;
        EXPECT_GE(at(turn).left, 10 * at(turn).right) << "engine from the left, turn " << turn;
    }
    EXPECT_LT(at(33).left + at(33).right, 1e-4) << "engine stopped with the key";
    std::printf("heard (left/right RMS): tune %.3f/%.3f, silence %.5f/%.5f, horn %.3f/%.3f, engine %.3f/%.4f\n",
                at(6).left, at(6).right, at(12).left, at(12).right, at(14).left, at(14).right, at(26).left,
                at(26).right);
}

} // namespace
