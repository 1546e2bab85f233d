// The race as a player drives it: the application in this process on the demo data (mkdata's
// meshes, mklevel's level 1) on SDL (offscreen) and the GL device. The keys go the player's way to
// the race: Enter on "new", a name and Enter on the profile screen, back round to "race" in the
// shop and Enter; Up is held, and a probe reads the car every turn: it must move along the road,
// stay on it (never beside it, never under it) and reach the finish. Then the scripts' way to race again:
// StopLevel, DeleteLevel, InitLevel, StartLevel; the new car starts at the start line and drives off.
// One frame of the race view is written to build/test-output/race.png.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "Application/PApplication.h"
#include "Core/PKernel.h"
#include "Core/PScriptRegistry.h"
#include "Core/PSettings.h"
#include "Platform/GlDevice.h"
#include "Platform/SdlInjection.h"
#include "Platform/SdlMessageSource.h"
#include "Platform/SdlWindow.h"
#include "ProgramHarness.h"
#include "Race/PCar.h"
#include "Race/PGameData.h"
#include "Race/PLevel.h"
#include "Race/PPhysics.h"
#include "Race/PPlayer.h"
#include "Race/PRoadGrid.h"
#include "Render/PBloom.h"
#include "Render/PRender.h"
#include "RenderGL/PngWriter.h"
#include "ScriptHarness.h"

namespace fs = std::filesystem;

namespace {

constexpr int kEnter = 0x1C, kUp = 0xC8, kEsc = 0x01;
constexpr int kShotTurn = 150;

struct Sample {
    int turn;
    Vec3 position;
    float ground;
    float speed;
    float blur; // the speed blur's factor this turn
    bool finished;
};

// The height of the road under (x, y) from the physics grid's triangles; not a number off the road.
float RoadHeightAt(float x, float y) {
    const CPPhysics* physics = GetPhysics();
    if (!physics) return NAN;
    const CPRoadGrid& grid = physics->GetRoadGrid();
    for (const auto& triangle : grid.GetTriangles()) {
        const Vec3 a = grid.GetVertex(triangle.vertex[0]), b = grid.GetVertex(triangle.vertex[1]),
                   c = grid.GetVertex(triangle.vertex[2]);
        const float d = (b.y - c.y) * (a.x - c.x) + (c.x - b.x) * (a.y - c.y);
        if (d == 0.0f) continue;
        const float u = ((b.y - c.y) * (x - c.x) + (c.x - b.x) * (y - c.y)) / d;
        const float v = ((c.y - a.y) * (x - c.x) + (a.x - c.x) * (y - c.y)) / d;
        if (u >= -1e-4f && v >= -1e-4f && 1.0f - u - v >= -1e-4f) return u * a.z + v * b.z + (1.0f - u - v) * c.z;
    }
    return NAN;
}

int g_turn = 0;
int g_finishTurn = 0;
int g_againTurn = 0;
std::vector<Sample> g_samples, g_second;
bool g_shot = false;
const CPLevel* g_firstLevel = nullptr;

// What a race script runs to race the level again, in a script state of its own.
bool RaceAgain() {
    // The results made the first run the level's record, whose time is the next race's limit: the
    // level's clock starts again from 0 as a race script's own start would have it.
    if (CPGameData* data = GetGameData()) data->SetLevelTime(0.0f);
    lua_State* L = luaL_newstate();
    luaL_openlibs(L);
    RegisterScriptFunctions(L);
    const bool ok = luaL_dostring(L, "StopLevel() DeleteLevel() InitLevel('level1') InitSky() StartLevel() "
                                     "SetLevelStarted(true) SetUpdateTime(true)") == 0;
    lua_close(L);
    return ok;
}

void DriveTurn() {
    ++g_turn;
    using namespace Platform;
    switch (g_turn) {
    case 5: InjectKey(kEnter, true); break; // "new"
    case 6: InjectKey(kEnter, false); break;
    case 10: InjectText("a"); break;
    case 14: InjectKey(kEnter, true); break; // "ok": the shop
    case 15: InjectKey(kEnter, false); break;
    case 20: InjectKey(kUp, true); break; // the focus goes back from the first button to "race"
    case 21: InjectKey(kUp, false); break;
    case 24: InjectKey(kUp, true); break;
    case 25: InjectKey(kUp, false); break;
    case 28: InjectKey(kEnter, true); break;
    case 29: InjectKey(kEnter, false); break;
    case 40: InjectKey(kUp, true); break; // held from here; the countdown holds the car first
    default: break;
    }
    const CPLevel* level = GetLevel();
    const CPPlayer* car = level ? level->GetPlayerCar() : nullptr;
    if (car) {
        const CPCar* model = car->GetCar();
        const Vec3& p = car->GetPosition();
        (g_againTurn ? g_second : g_samples)
            .push_back({g_turn, p, RoadHeightAt(p.x, p.y), model ? model->speed : 0.0f, ComputeSpeedBlur().factor,
                        level->IsFinished()});
        if (!g_firstLevel) g_firstLevel = level;
        if (level->IsFinished() && !g_finishTurn) g_finishTurn = g_turn;
    }
    // Once the results are in and the records screen shows (two seconds after the finish).
    if (g_finishTurn && g_turn == g_finishTurn + 80) g_againTurn = RaceAgain() ? g_turn : -1;
    // The frame drawn last turn is still in the back buffer.
    if (g_turn == kShotTurn) {
        std::vector<uint32_t> pixels;
        int width = 0, height = 0;
        CPRender* render = GetRender();
        if (render && render->GetDevice() &&
            render->GetDevice()->ReadBackBuffer(pixels, width, height) == Platform::DeviceResult::Ok)
            g_shot = PngWriter::Write(fs::path(VASTREL_BINARY_DIR) / "test-output" / "race.png", pixels, width, height);
    }
    // Esc: from the records to the menu, and from the menu out.
    const int escTurn = g_againTurn ? g_againTurn + 250 : 3000;
    if (g_turn == escTurn || g_turn == escTurn + 10) InjectKey(kEsc, true);
    if (g_turn == escTurn + 1 || g_turn == escTurn + 11) InjectKey(kEsc, false);
}

int StartDriving(lua_State*) {
    CPRefPtr<ScriptHarness::ProbeTask> probe(new ScriptHarness::ProbeTask(11, DriveTurn));
    GetKernel()->AddTask(probe);
    return 0;
}

TEST(RaceE2ETest, TheCarDrivesAlongTheRoadOfLevelOneToTheFinish) {
    if (!ProgramHarness::Offscreen()) GTEST_SKIP() << "needs SDL_VIDEODRIVER=offscreen";
    ScriptHarness::GameRoot root("");
    ASSERT_TRUE(ProgramHarness::MakeDemoRoot(root.Path()));
    ProgramHarness::Prepend("Data/Scripts/main.lua", "StartDriving()\n");
    const ScriptFunctionEntry probe[] = {{"StartDriving", StartDriving}};
    RegisterScriptTable(ScriptTable::Library, probe);
    CPSettingsManager::ResetDefaults();
    AppActive = true;
    setenv("VASTREL_FRAME_DT", "0.04", 1);
    g_turn = g_finishTurn = 0;
    g_samples.clear();
    g_second.clear();
    g_againTurn = 0;
    g_firstLevel = nullptr;
    g_shot = false;

    ApplicationPlatform platform = ProgramHarness::SdlPlatform(ProgramHarness::Device::GlInWindow);
    const RunResult result = ProgramHarness::RunApplication(platform);
    unsetenv("VASTREL_FRAME_DT");
    CPManagedObject::CollectGarbage();
    CPSettingsManager::ResetDefaults();
    ASSERT_EQ(result, RunResult::Finished);

    ASSERT_FALSE(g_samples.empty()) << "the menu's start made no level with a car";
    // Settled on the road before the throttle.
    const Sample& start = g_samples.front();
    EXPECT_NEAR(start.position.x, 0.0f, 1.0f);
    float furthest = -1e9f, fastest = 0.0f, lowest = 1e9f, highest = -1e9f;
    int beside = 0, under = 0, flying = 0;
    for (const Sample& s : g_samples) {
        ASSERT_TRUE(std::isfinite(s.position.x) && std::isfinite(s.position.y) && std::isfinite(s.position.z));
        furthest = std::max(furthest, s.position.x);
        fastest = std::max(fastest, s.speed);
        // The road is 8 m wide, the car 1.6 m.
        if (std::fabs(s.position.y) > 3.2f || std::isnan(s.ground)) ++beside;
        if (s.position.z < s.ground) ++under;
        if (!std::isnan(s.ground)) {
            lowest = std::min(lowest, s.position.z - s.ground);
            highest = std::max(highest, s.position.z - s.ground);
        }
        if (s.position.z > s.ground + 3.0f) ++flying;
    }
    EXPECT_EQ(beside, 0) << "turns with the car off the side of the road";
    EXPECT_EQ(under, 0) << "turns with the car under the road";
    // Only the jump lifts the car clear of the road, and briefly.
    EXPECT_LT(flying, 40);
    EXPECT_GT(fastest, 10.0f);
    EXPECT_GE(furthest, 570.0f);
    EXPECT_GT(g_finishTurn, 0) << "the finish was never reached";
    EXPECT_TRUE(g_shot) << "no frame read back";
    // The speed blur follows the car: |v| x 0.04 while racing, nothing once the race is over.
    float strongest = 0.0f;
    for (const Sample& s : g_samples) {
        if (s.finished) EXPECT_EQ(s.blur, 0.0f) << "blur after the finish at turn " << s.turn;
        else strongest = std::max(strongest, s.blur);
    }
    EXPECT_NEAR(strongest, std::min(fastest * 0.04f, 1.0f), 0.1f);

    // The second race: a new level and car, from the start line, driven by the held key.
    ASSERT_GT(g_againTurn, 0) << "the script functions failed";
    ASSERT_GT(g_second.size(), 200u);
    EXPECT_NEAR(g_second.front().position.x, 0.0f, 1.0f);
    float secondFurthest = 0.0f;
    for (const Sample& s : g_second) {
        secondFurthest = std::max(secondFurthest, s.position.x);
        EXPECT_FALSE(std::isnan(s.ground)) << "off the road at turn " << s.turn;
        EXPECT_GE(s.position.z, s.ground) << "under the road at turn " << s.turn;
    }
    EXPECT_GT(secondFurthest, 60.0f);
    std::printf("second race: %zu turns, furthest x %.1f\n", g_second.size(), secondFurthest);
    std::printf("race: %zu turns sampled, finish at turn %d, furthest x %.1f, top speed %.1f, flying %d turns, "
                "height over the road %.2f..%.2f\n",
                g_samples.size(), g_finishTurn, furthest, fastest, flying, lowest, highest);
}

} // namespace
