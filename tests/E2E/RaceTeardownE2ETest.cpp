// What a race leaves behind: the application in this process on the demo data, the race started by
// the script functions a race script calls. Quitting in the middle of it (Esc, the window closed,
// KillAllTasks) must take the live level down with everything else, and a race ended the scripts'
// way must leave the clock, the pitch, the screen effects, the camera layers, the shots, the
// particles and the shadow projection as the menu had them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "Application/PApplication.h"
#include "Core/PGameObject.h"
#include "Core/PGlobalTimer.h"
#include "Core/PKernel.h"
#include "Core/PScriptRegistry.h"
#include "Core/PSettings.h"
#include "Particles/PParticlesManager.h"
#include "Platform/GlDevice.h"
#include "Platform/SdlInjection.h"
#include "Platform/SdlMessageSource.h"
#include "Platform/SdlWindow.h"
#include "ProgramHarness.h"
#include "Race/PLevel.h"
#include "Render/PRender.h"
#include "ScriptHarness.h"
#include "Sound/NSound.h"
#include "Weapons/PWeaponsSystem.h"

namespace fs = std::filesystem;

namespace {

constexpr int kEsc = 0x01;

std::function<void(int)> g_onTurn;
int g_turn = 0;

int StartProbe(lua_State*) {
    g_turn = 0;
    CPRefPtr<ScriptHarness::ProbeTask> probe(new ScriptHarness::ProbeTask(11, [] { g_onTurn(++g_turn); }));
    GetKernel()->AddTask(probe);
    return 0;
}

// Script lines run as a race script runs them, in a state of their own.
bool RunScript(const char* code) {
    lua_State* L = luaL_newstate();
    luaL_openlibs(L);
    RegisterScriptFunctions(L);
    const bool ok = luaL_dostring(L, code) == 0;
    lua_close(L);
    return ok;
}

bool StartRace() {
    return RunScript("SetPlayerName('coupe_t') InitPlayer() InitLevel('level1') InitSky() StartLevel() "
                     "SetLevelStarted(true) SetUpdateTime(true)");
}

// The demo root with mkdata's files and level 1; main.lua first adds the probe.
class RaceTeardownE2ETest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!ProgramHarness::Offscreen()) GTEST_SKIP() << "needs SDL_VIDEODRIVER=offscreen";
        root_ = std::make_unique<ScriptHarness::GameRoot>("");
        ASSERT_TRUE(ProgramHarness::MakeDemoRoot(root_->Path()));
        ProgramHarness::Prepend("Data/Scripts/main.lua", "StartProbe()\n");
        static const ScriptFunctionEntry probe[] = {{"StartProbe", StartProbe}};
        RegisterScriptTable(ScriptTable::Library, probe);
        CPSettingsManager::ResetDefaults();
        AppActive = true;
        setenv("VASTREL_FRAME_DT", "0.04", 1);
    }
    void TearDown() override {
        unsetenv("VASTREL_FRAME_DT");
        g_onTurn = nullptr;
        CPManagedObject::CollectGarbage();
        CPSettingsManager::ResetDefaults();
        root_.reset();
    }

    RunResult Run() {
        return ProgramHarness::RunApplication(ProgramHarness::SdlPlatform(ProgramHarness::Device::GlInWindow));
    }

    std::unique_ptr<ScriptHarness::GameRoot> root_;
};

struct QuitWay {
    const char* name;
    std::function<void()> quit;
};

TEST_F(RaceTeardownE2ETest, QuittingMidRaceTakesTheLiveLevelDown) {
    const QuitWay ways[] = {
        // No race: what the menu's scripts leave to the collector is the measure for the others.
        {"no race", [] { RunScript("KillAllTasks()"); }},
        {"Esc", [] { Platform::InjectKey(kEsc, true); }},
        {"window closed", [] { GetKernel()->GetMessageSource()->Post({Platform::MessageId::Close}); }},
        {"KillAllTasks", [] { RunScript("KillAllTasks()"); }},
    };
    size_t menuLeftovers = 0;
    for (const QuitWay& way : ways) {
        SCOPED_TRACE(way.name);
        const bool noRace = &way == &ways[0];
        bool raced = false, quitAsked = false;
        const size_t liveBefore = CPManagedObject::LiveCount();
        g_onTurn = [&](int turn) {
            if (turn == 5 && !noRace && !StartRace()) ADD_FAILURE() << "the race did not start";
            // The car is on the road with its bodies, sky and sounds; a rocket and some dust are out.
            if (turn == 30) {
                const CPLevel* level = GetLevel();
                raced = level && level->GetPlayerCar() && !level->IsStopped();
                if (CPWeaponsSystem* weapons = GetWeaponsSystem())
                    weapons->CreateShot("rocket1", Vec3(0, 0, 3), Vec3(1, 0, 0), 0.0f);
                CPParticleDesc dust;
                dust.typeName = "pil2";
                dust.position = Vec3(0, 0, 2);
                dust.life = 30.0f;
                dust.size = 1.0f;
                if (CPParticlesManager* particles = GetParticlesManager()) particles->EmitParticle(dust);
            }
            if (turn == 32) {
                way.quit();
                quitAsked = true;
            }
            if (turn == 400) RunScript("KillAllTasks()"); // the way under test did not end the loop
        };
        ASSERT_EQ(Run(), RunResult::Finished);
        EXPECT_EQ(raced, !noRace) << "no race was running";
        EXPECT_TRUE(quitAsked);
        EXPECT_LT(g_turn, 40) << "the loop did not end when asked";
        EXPECT_EQ(GetLevel(), nullptr) << "the level outlived the run";
        // The race, its car and everything they hold are gone with the run.
        CPManagedObject::CollectGarbage();
        const size_t leftovers = CPManagedObject::LiveCount() - liveBefore;
        if (noRace) menuLeftovers = leftovers;
        else EXPECT_EQ(leftovers, menuLeftovers) << "objects of the race outlived the run";
        fs::remove("config.cfg");
        fs::copy_file(fs::path(VASTREL_SOURCE_DIR) / "data/config.cfg", "config.cfg");
    }
}

struct SharedState {
    float timeScale, pitch, motionBlur, radialBlur, fade;
    const CPBaseCamera *layer16, *layer120;
    size_t shots, particleTypes;
    Mat4 shadow;
};

SharedState ReadSharedState() {
    CPRender* render = GetRender();
    const CPWeaponsSystem* weapons = GetWeaponsSystem();
    const CPParticlesManager* particles = GetParticlesManager();
    return {TimeScale,
            CNSound::GetGlobalPitch(),
            render->IsMotionBlurOn() ? render->GetMotionBlurAmount() : 0.0f,
            render->GetRadialBlur(),
            render->GetFadeLevel(),
            render->GetRenderQueue().GetCameraInEffect(16),
            render->GetRenderQueue().GetCameraInEffect(120),
            weapons ? weapons->GetLiveShots().size() : 0,
            particles ? particles->GetActiveTypes().size() : 0,
            ShadowMatrix};
}

TEST_F(RaceTeardownE2ETest, TheTeardownLetsGoOfTheRaceAndLeavesTheGameSpeedAsSet) {
    SharedState menu{}, during{}, after{};
    g_onTurn = [&](int turn) {
        if (turn == 3) menu = ReadSharedState();
        if (turn == 5 && !StartRace()) ADD_FAILURE() << "the race did not start";
        // A slow-motion pickup, a gloom view and a hit are under way when the race ends.
        if (turn == 30) {
            TimeScale = 0.5f;
            CNSound::SetGlobalPitch(0.5f);
            GetRender()->SetScreenEffect(1.0f);
            GetRender()->SetRadialBlur(0.7f);
            GetRender()->SetFade(0.25f);
            GetWeaponsSystem()->CreateShot("rocket1", Vec3(0, 0, 3), Vec3(1, 0, 0), 0.0f);
            CPParticleDesc dust;
            dust.typeName = "pil2";
            dust.position = Vec3(0, 0, 2);
            dust.life = 30.0f;
            dust.size = 1.0f;
            GetParticlesManager()->EmitParticle(dust);
        }
        if (turn == 31) during = ReadSharedState();
        if (turn == 32 && !RunScript("StopLevel() DeleteLevel()")) ADD_FAILURE() << "the race did not stop";
        // Layers out of use are dropped some frames later.
        if (turn == 50) {
            after = ReadSharedState();
            RunScript("KillAllTasks()");
        }
    };
    ASSERT_EQ(Run(), RunResult::Finished);
    // The race did change them, so the comparison below means something.
    EXPECT_NE(during.timeScale, menu.timeScale);
    EXPECT_NE(during.layer16, menu.layer16);
    EXPECT_GT(during.shots, 0u);
    EXPECT_GT(during.particleTypes, 0u);
    EXPECT_NE(during.shadow, menu.shadow);

    // The game-time factor and the pitch hold until they are set again: putting them back is the
    // race scripts' part (their end of the race does), not the level's.
    EXPECT_EQ(after.timeScale, 0.5f);
    EXPECT_EQ(after.pitch, 0.5f);
    TimeScale = 1.0f;
    CNSound::SetGlobalPitch(1.0f);
    EXPECT_EQ(after.layer16, menu.layer16);
    EXPECT_EQ(after.layer120, menu.layer120);
    EXPECT_EQ(after.shots, menu.shots);
    EXPECT_EQ(after.particleTypes, menu.particleTypes);
    EXPECT_EQ(after.shadow, menu.shadow); // the level light's shadow projection
}

} // namespace
