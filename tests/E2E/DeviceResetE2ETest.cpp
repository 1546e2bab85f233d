// A race in full screen (SDL offscreen), the window's size message (a device reset) and the focus
// lost and regained in its middle: the race must go on, and with game time held still the frame read
// back after the resets must be the frame read back before them. Both frames are written to
// build/test-output.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <vector>

#include "Application/PApplication.h"
#include "Core/PGlobalTimer.h"
#include "Core/PKernel.h"
#include "Core/PScriptRegistry.h"
#include "Core/PSettings.h"
#include "Platform/GlDevice.h"
#include "Platform/SdlInjection.h"
#include "Platform/SdlMessageSource.h"
#include "Platform/SdlWindow.h"
#include "ProgramHarness.h"
#include "Race/PLevel.h"
#include "Race/PPlayer.h"
#include "Render/PRender.h"
#include "RenderGL/PngWriter.h"
#include "ScriptHarness.h"

namespace fs = std::filesystem;

namespace {

constexpr int kUp = 0xC8;

struct Frame {
    std::vector<uint32_t> pixels;
    int width = 0, height = 0;
};

struct ResetRun {
    int turn = 0;
    Frame before, after;
    float xFrozen = 0, xAfter = 0;
    int resets = 0;
    bool raceStarted = false;
};
ResetRun* g_run = nullptr;

bool ReadFrame(Frame& frame) {
    CPRender* render = GetRender();
    return render && render->GetDevice() &&
           render->GetDevice()->ReadBackBuffer(frame.pixels, frame.width, frame.height) == Platform::DeviceResult::Ok;
}

float CarX() {
    const CPLevel* level = GetLevel();
    const CPPlayer* car = level ? level->GetPlayerCar() : nullptr;
    return car ? car->GetPosition().x : 0.0f;
}

void Post(Platform::Message message) { GetKernel()->GetMessageSource()->Post(message); }

// The probe runs before the renderer: the back buffer holds last turn's frame.
void Turn() {
    ResetRun& r = *g_run;
    ++r.turn;
    if (r.turn == 5) {
        lua_State* L = luaL_newstate();
        RegisterScriptFunctions(L);
        r.raceStarted = luaL_dostring(L, "SetPlayerName('coupe_t') InitPlayer() InitLevel('level1') InitSky() "
                                         "StartLevel() SetLevelStarted(true) "
                                         "SetUpdateTime(true)") == 0;
        lua_close(L);
    }
    // Once the car is there to take it.
    if (r.turn == 20) Platform::InjectKey(kUp, true);
    // Game time stands still from here: every frame after is the same picture.
    if (r.turn == 60) TimeScale = 0.0f;
    if (r.turn == 64) {
        ReadFrame(r.before);
        r.xFrozen = CarX();
        Post({Platform::MessageId::Size, Platform::SizeRestored, 1024, 768});
    }
    // No task runs while the window is away, so the way back is queued at once behind it.
    if (r.turn == 66) {
        Post({Platform::MessageId::Activate, Platform::ActivateInactive});
        Post({Platform::MessageId::Activate, Platform::ActivateActive});
    }
    if (r.turn == 72) {
        ReadFrame(r.after);
        TimeScale = 1.0f;
    }
    if (r.turn == 140) {
        r.xAfter = CarX();
        GetKernel()->KillAllTasks();
    }
}

int StartProbe(lua_State*) {
    CPRefPtr<ScriptHarness::ProbeTask> probe(new ScriptHarness::ProbeTask(11, Turn));
    GetKernel()->AddTask(probe);
    return 0;
}

TEST(DeviceResetE2ETest, TheRaceGoesOnThroughAResetAndAFocusChangeAndDrawsTheSameFrame) {
    if (!ProgramHarness::Offscreen()) GTEST_SKIP() << "needs SDL_VIDEODRIVER=offscreen";
    ScriptHarness::GameRoot root("");
    ASSERT_TRUE(ProgramHarness::MakeDemoRoot(root.Path()));
    ProgramHarness::Prepend("Data/Scripts/main.lua", "StartProbe()\n");
    static const ScriptFunctionEntry probe[] = {{"StartProbe", StartProbe}};
    RegisterScriptTable(ScriptTable::Library, probe);
    ProgramHarness::SmallScreen(".");
    CPSettingsManager::ResetDefaults();
    AppActive = true;
    setenv("VASTREL_FRAME_DT", "0.04", 1);
    ResetRun run;
    g_run = &run;

    ApplicationPlatform platform = ProgramHarness::SdlPlatform(ProgramHarness::Device::GlInWindow);
    platform.startButton = Platform::ControlStartFullScreen;
    const RunResult result = ProgramHarness::RunApplication(platform);
    unsetenv("VASTREL_FRAME_DT");
    g_run = nullptr;
    TimeScale = 1.0f;
    CPManagedObject::CollectGarbage();
    CPSettingsManager::ResetDefaults();
    ASSERT_EQ(result, RunResult::Finished);
    ASSERT_TRUE(run.raceStarted);
    ASSERT_FALSE(run.before.pixels.empty()) << "no frame read back before the reset";
    ASSERT_FALSE(run.after.pixels.empty()) << "no frame read back after the reset";
    const fs::path out = fs::path(VASTREL_BINARY_DIR) / "test-output";
    PngWriter::Write(out / "reset-before.png", run.before.pixels, run.before.width, run.before.height);
    PngWriter::Write(out / "reset-after.png", run.after.pixels, run.after.width, run.after.height);

    ASSERT_EQ(run.after.width, run.before.width);
    ASSERT_EQ(run.after.height, run.before.height);
    // A picture, not a cleared screen.
    std::set<uint32_t> colours(run.before.pixels.begin(), run.before.pixels.end());
    EXPECT_GT(colours.size(), 50u);
    size_t differing = 0;
    for (size_t i = 0; i < run.before.pixels.size(); ++i) differing += run.before.pixels[i] != run.after.pixels[i];
    EXPECT_EQ(differing, 0u) << "pixels that differ after the reset";
    // The race went on: the car drove on once time ran again.
    EXPECT_GT(run.xAfter, run.xFrozen + 5.0f);
}

} // namespace
