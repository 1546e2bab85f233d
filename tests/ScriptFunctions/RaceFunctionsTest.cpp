// The level, car and camera functions from a script: what they answer without a level, and on a
// level loaded from an empty layout (a camera, no car).
#include <gtest/gtest.h>

#include <lua.hpp>

#include <filesystem>
#include <string>
#include <vector>

#include "Core/PGameObject.h"
#include "Core/PGlobalTimer.h"
#include "Core/PScriptRegistry.h"
#include "Core/PSettings.h"
#include "Core/PTask.h"
#include "Race/PCamera.h"
#include "Race/PGameData.h"
#include "Race/PLevel.h"
#include "Race/PLevelFile.h"
#include "ScriptFunctionsSetup.h"
#include "ScriptHarness.h"

namespace {

class RaceFunctionsTest : public ::testing::Test {
protected:
    void SetUp() override {
        (void)kScriptFunctionsRegistered;
        CPSettingsManager::ResetDefaults();
        L = luaL_newstate();
        luaL_openlibs(L);
        RegisterScriptFunctions(L);
        std::filesystem::create_directories("Data/Levels");
        ASSERT_TRUE(WriteLevelFile("Data/Levels/level1.lvl", LevelFile()));
    }
    void TearDown() override {
        Run("DeleteLevel()");
        lua_close(L);
        CPManagedObject::CollectGarbage();
        CPSettingsManager::ResetDefaults();
    }
    bool Run(const char* code) {
        if (luaL_dostring(L, code) == 0) return true;
        ADD_FAILURE() << lua_tostring(L, -1);
        return false;
    }
    std::string Global(const char* name) {
        lua_getglobal(L, name);
        std::string text = lua_isnil(L, -1)       ? "nil"
                           : lua_isboolean(L, -1) ? (lua_toboolean(L, -1) ? "true" : "false")
                                                  : std::to_string(lua_tonumber(L, -1));
        lua_pop(L, 1);
        return text;
    }
    static bool ARaceUpdateRuns(const CPKernel& kernel) {
        for (const auto& task : kernel.GetRunningTasks())
            if (task->GetTaskKind() == CPTask::KindLevel && !task->IsKilled()) return true;
        return false;
    }
    static int LevelsAlive() {
        auto counts = CPManagedObject::LiveCountsByClass();
        auto it = counts.find("CPLevel");
        return it == counts.end() ? 0 : it->second;
    }

    ScriptHarness::GameRoot root_{""};
    CPGameData data_;
    lua_State* L = nullptr;
};

TEST_F(RaceFunctionsTest, WithoutALevelTheQueriesAnswerNothingOrTheirDefaults) {
    ASSERT_TRUE(Run(R"(
        StartLevel() StopLevel() SetUpdateTime(true) LockPlayer(true) StopPlayerCar() SetCameraPos(1, 2, 3)
        started = select('#', IsRaceStarted())
        size = select('#', GetLevelSize())
        px, py, pz = GetPlayerPosition()
        direction = select('#', GetPlayerDirection())
        speed = GetPlayerSpeed()
        mass = select('#', GetPlayerMass())
        camera = ChangeGameCamera()
        fov = select('#', GetFov1())
        zangle = select('#', GetCameraZAngle())
        hit, object, gx = CrossInterfaceRay(0.5, 0.5)
        visible = CheckVisible(nil)
        light = select('#', GetLight())
    )"));
    for (const char* none : {"started", "size", "direction", "mass", "fov", "zangle", "light"})
        EXPECT_EQ(Global(none), "0.000000") << none;
    EXPECT_EQ(Global("px") + Global("py") + Global("pz"), "0.0000000.0000000.000000");
    EXPECT_EQ(Global("speed"), "0.000000");
    EXPECT_EQ(Global("camera"), "-1.000000");
    EXPECT_EQ(Global("hit"), "false");
    lua_getglobal(L, "object"); // a null object
    EXPECT_TRUE(lua_islightuserdata(L, -1));
    EXPECT_EQ(lua_touserdata(L, -1), nullptr);
    lua_pop(L, 1);
    EXPECT_EQ(Global("visible"), "false");
}

TEST_F(RaceFunctionsTest, ALoadedLevelAnswersItsCameraLightAndSize) {
    ASSERT_TRUE(Run(R"(
        InitLevel("level1")
        sx, sy = GetLevelSize()
        SetUpdateTime(true) running = IsRaceStarted()
        SetUpdateTime(false) stopped = IsRaceStarted()
        modes = ChangeGameCamera() .. ChangeGameCamera() .. ChangeGameCamera()
        SetCameraPlayer(true) player = GetCameraPlayer()
        SetFOV(60)
        SetCameraZAngle(1.25) zangle = GetCameraZAngle()
        SetLight(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 0, 0, -1)
        local l = { GetLight() }
        light = table.concat(l, ",")
        SetLevelStarted(true)
    )"));
    EXPECT_EQ(Global("sx"), "3000.000000");
    EXPECT_EQ(Global("sy"), "3000.000000");
    EXPECT_EQ(Global("running"), "true");
    EXPECT_EQ(Global("stopped"), "false");
    lua_getglobal(L, "modes");
    EXPECT_STREQ(lua_tostring(L, -1), "120");
    lua_pop(L, 1);
    EXPECT_EQ(Global("player"), "1.000000");
    EXPECT_EQ(Global("zangle"), "1.250000");
    lua_getglobal(L, "light");
    EXPECT_STREQ(lua_tostring(L, -1), "1,2,3,4,5,6,7,8,9,10,11,12,0,0,-1");
    lua_pop(L, 1);
    EXPECT_TRUE(data_.levelStarted);
    ASSERT_NE(GetLevel(), nullptr);
    EXPECT_NEAR(GetLevel()->GetCamera()->GetMainCamera()->fov, 60.0f * 0.0174532924f, 1e-6f);
    EXPECT_NE(ShadowMatrix, Mat4()); // the loaded level's shadow projection
    // StopLevel clears the started flag; DeleteLevel ends the level at once (its memory goes at the
    // next collection).
    ASSERT_TRUE(Run("StopLevel() DeleteLevel() DeleteLevel()"));
    EXPECT_FALSE(data_.levelStarted);
    CPManagedObject::CollectGarbage();
    EXPECT_EQ(GetLevel(), nullptr);
    // Nothing of the level's light is left to grow the bounds of objects made after it.
    EXPECT_EQ(ShadowMatrix, Mat4());
    CPRefPtr<CPGameObject> menuCar(new CPGameObject("menu car"));
    menuCar->SetBoundingBox(CPOrientedBox(Vec3(0, 0, 0), Vec3(1, 1, 1)));
    menuCar->SetPosition(Vec3(0, 0, 3));
    menuCar->UpdateTransform();
    EXPECT_EQ(menuCar->GetVisibilityBounds().min.z, 2.0f);
}

// A started level started again has one race update: its clock moves one frame a turn, and once
// the level is stopped and deleted nothing calls into it on the turns after.
TEST_F(RaceFunctionsTest, StartingALevelTwiceKeepsOneRaceUpdate) {
    ScriptHarness::TurnRunner runner;
    ASSERT_TRUE(Run("InitLevel('level1') StartLevel() StartLevel()"));
    FrameDelta = 0.1f;
    float clock = -1.0f;
    bool updateAfterDelete = true;
    int levelsAfterDelete = -1;
    runner.Run(3, [&](int turn) {
        if (turn == 1) {
            clock = GetLevel()->GetRaceClock();
            Run("StopLevel() DeleteLevel()");
        } else if (turn == 3) {
            updateAfterDelete = ARaceUpdateRuns(runner.Kernel());
            levelsAfterDelete = LevelsAlive();
        }
    });
    FrameDelta = 0.0f;
    EXPECT_FLOAT_EQ(clock, 0.1f);
    EXPECT_FALSE(updateAfterDelete);
    EXPECT_EQ(levelsAfterDelete, 0);
}

// InitLevel over a level the script never deleted ends that level first, started or not: after
// DeleteLevel and a turn, no level is alive and no race update runs.
TEST_F(RaceFunctionsTest, InitLevelOverALoadedLevelEndsItFirst) {
    const std::vector<std::string> scripts = {
        "InitLevel('level1') InitLevel('level1') StartLevel() DeleteLevel()",
        "InitLevel('level1') StartLevel() InitLevel('level1') StartLevel() DeleteLevel()",
    };
    for (const std::string& script : scripts) {
        SCOPED_TRACE(script);
        ScriptHarness::TurnRunner runner;
        ASSERT_TRUE(Run(script.c_str()));
        bool updateRuns = true;
        runner.Run(1, [&](int) { updateRuns = ARaceUpdateRuns(runner.Kernel()); });
        CPManagedObject::CollectGarbage();
        EXPECT_FALSE(updateRuns);
        EXPECT_EQ(GetLevel(), nullptr);
        EXPECT_EQ(LevelsAlive(), 0);
    }
}

} // namespace
