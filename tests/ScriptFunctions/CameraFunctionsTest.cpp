// The camera functions on a level loaded from an empty layout: the circling camera's random side
// and height, the field of view of both cameras, the camera's positions, what is in view and the
// ray through a screen point.
#include <gtest/gtest.h>

#include <lua.hpp>

#include <cstdint>
#include <filesystem>
#include <string>

#include "Core/PGameObject.h"
#include "Core/PRandom.h"
#include "Core/PScriptRegistry.h"
#include "Core/PSettings.h"
#include "Race/PCamera.h"
#include "Race/PGameData.h"
#include "Race/PLevel.h"
#include "Race/PLevelFile.h"
#include "ScriptFunctionsSetup.h"
#include "ScriptHarness.h"

namespace {

// The classic generator, seed = seed * 214013 + 2531011, value (seed >> 16) & 0x7FFF.
int NextRand(uint32_t& seed) {
    seed = seed * 214013u + 2531011u;
    return static_cast<int>((seed >> 16) & 0x7FFFu);
}

class CameraFunctionsTest : public ::testing::Test {
protected:
    void SetUp() override {
        (void)kScriptFunctionsRegistered;
        CPSettingsManager::ResetDefaults();
        L = luaL_newstate();
        luaL_openlibs(L);
        RegisterScriptFunctions(L);
        std::filesystem::create_directories("Data/Levels");
        ASSERT_TRUE(WriteLevelFile("Data/Levels/level1.lvl", LevelFile()));
        ASSERT_TRUE(Run("InitLevel('level1')"));
        ASSERT_NE(GetLevel(), nullptr);
        camera = GetLevel()->GetCamera();
        ASSERT_NE(camera, nullptr);
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
    double Number(const char* name) {
        lua_getglobal(L, name);
        const double value = lua_tonumber(L, -1);
        lua_pop(L, 1);
        return value;
    }
    // The main camera at the eye looking at the point, z up.
    void Look(const Vec3& eye, const Vec3& at) {
        CPPerspectiveCamera* main = camera->GetMainCamera();
        main->eye = eye;
        main->lookAt = at;
        main->viewDirty = true;
        main->projectionDirty = true;
        main->Recalculate();
    }
    ScriptHarness::GameRoot root_{""};
    CPGameData data_;
    lua_State* L = nullptr;
    CPCamera* camera = nullptr;
};

// The side is -1 for an even draw, else +1; the pitch -15 degrees for a draw divisible by 4, else
// -90 degrees. Asking for the mode the camera already has draws nothing and changes nothing.
TEST_F(CameraFunctionsTest, SetCameraDrawsItsSideThenItsHeightAndIgnoresTheSameMode) {
    CPLevel* level = GetLevel();
    for (uint32_t seed : {1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u, 9u, 10u}) {
        level->SetCameraTimerMode(0);
        level->SetCameraTimer(2.5f);
        level->SetPlayerHeadingValue(0.7f);
        camera->zAngle = 0.1f;
        EngineSrand(seed);
        uint32_t mine = seed;
        const int sideDraw = NextRand(mine), pitchDraw = NextRand(mine);
        ASSERT_TRUE(Run("SetCamera(true)"));
        EXPECT_EQ(level->GetCameraTimerMode(), 1);
        EXPECT_EQ(level->GetCameraTimer(), 0.0f);
        EXPECT_EQ(level->GetRotationSide(), sideDraw % 2 == 0 ? -1.0f : 1.0f) << seed;
        EXPECT_EQ(camera->pitch, pitchDraw % 4 == 0 ? -0.2617994f : -1.5707964f) << seed;
        EXPECT_EQ(camera->zAngle, 0.1f); // turning on keeps the angle

        // The same mode again: the timer, side and pitch stay and nothing is drawn.
        level->SetCameraTimer(3.0f);
        level->SetRotationSide(5.0f);
        camera->pitch = 0.25f;
        ASSERT_TRUE(Run("SetCamera(1)"));
        EXPECT_EQ(level->GetCameraTimer(), 3.0f);
        EXPECT_EQ(level->GetRotationSide(), 5.0f);
        EXPECT_EQ(camera->pitch, 0.25f);

        // Off: the angle goes back to the player's heading.
        const int offSide = NextRand(mine), offPitch = NextRand(mine);
        ASSERT_TRUE(Run("SetCamera(false)"));
        EXPECT_EQ(level->GetCameraTimerMode(), 0);
        EXPECT_EQ(level->GetRotationSide(), offSide % 2 == 0 ? -1.0f : 1.0f) << seed;
        EXPECT_EQ(camera->pitch, offPitch % 4 == 0 ? -0.2617994f : -1.5707964f) << seed;
        EXPECT_EQ(camera->zAngle, 0.7f);
        EXPECT_EQ(EngineRand(), NextRand(mine)) << "the generator moved on " << seed;
    }
}

TEST_F(CameraFunctionsTest, SetFovTurnsBothCamerasAndGetCameraPositionsNamesTheLookPoint) {
    ASSERT_TRUE(Run("SetFOV(45)"));
    EXPECT_FLOAT_EQ(camera->GetMainCamera()->fov, 45.0f * 0.0174532924f);
    EXPECT_FLOAT_EQ(camera->GetSecondCamera()->fov, 45.0f * 0.0174532924f);
    EXPECT_TRUE(camera->GetSecondCamera()->projectionDirty);

    camera->GetMainCamera()->eye = Vec3(1, 2, 3);
    camera->lookAt = Vec3(4, 5, 6);
    camera->fixedLookAt = Vec3(7, 8, 9);
    camera->fixedView = false;
    ASSERT_TRUE(Run("p = table.concat({ GetCameraPositions() }, ',')"));
    lua_getglobal(L, "p");
    EXPECT_STREQ(lua_tostring(L, -1), "1,2,3,4,5,6");
    lua_pop(L, 1);
    camera->fixedView = true;
    ASSERT_TRUE(Run("p = table.concat({ GetCameraPositions() }, ',')"));
    lua_getglobal(L, "p");
    EXPECT_STREQ(lua_tostring(L, -1), "1,2,3,7,8,9");
    lua_pop(L, 1);
}

// In view unless the box lies wholly outside one plane of the main camera's frustum; an object
// without boxes has the empty box, whose corners span everything.
TEST_F(CameraFunctionsTest, CheckVisibleTestsTheBoxAgainstTheMainCamera) {
    Look(Vec3(0, -20, 5), Vec3(0, 0, 0));
    const struct {
        const char* name;
        Vec3 at;
        bool boxed, visible;
    } cases[] = {
        {"ahead", {0, 0, 0}, true, true},
        {"behind", {0, -60, 0}, true, false},
        {"far to the side", {500, 0, 0}, true, false},
        {"boxless", {0, -60, 0}, false, true},
    };
    for (const auto& c : cases) {
        CPRefPtr<CPGameObject> object(new CPGameObject(c.name));
        if (c.boxed) object->AddCollisionBox(CPOrientedBox(Vec3(), Vec3(1, 1, 1)));
        object->SetPosition(c.at);
        object->UpdateTransform();
        lua_pushlightuserdata(L, object.Get());
        lua_setglobal(L, "o");
        ASSERT_TRUE(Run("v = CheckVisible(o)"));
        lua_getglobal(L, "v");
        EXPECT_EQ(lua_toboolean(L, -1) != 0, c.visible) << c.name;
        lua_pop(L, 1);
    }
}

// The ray through a screen point: the centre looks along the view, and the ground point is where
// the ray meets z = 0. The empty level has nothing to hit.
TEST_F(CameraFunctionsTest, CrossInterfaceRayMeetsTheGroundPlane) {
    Look(Vec3(0, -20, 5), Vec3(0, 0, 0));
    ASSERT_TRUE(Run("hit, object, gx, gy, zero = CrossInterfaceRay(0.5, 0.5)"));
    lua_getglobal(L, "hit");
    EXPECT_FALSE(lua_toboolean(L, -1));
    lua_pop(L, 1);
    lua_getglobal(L, "object");
    EXPECT_TRUE(lua_islightuserdata(L, -1));
    EXPECT_EQ(lua_touserdata(L, -1), nullptr);
    lua_pop(L, 1);
    EXPECT_NEAR(Number("gx"), 0.0, 1e-3);
    EXPECT_NEAR(Number("gy"), 0.0, 1e-3);
    EXPECT_EQ(Number("zero"), 0.0);
    // Lower on the screen the ray comes down nearer the camera, straight ahead of it.
    ASSERT_TRUE(Run("hit, object, gx, gy = CrossInterfaceRay(0.5, 0.75)"));
    EXPECT_NEAR(Number("gx"), 0.0, 1e-3);
    EXPECT_GT(Number("gy"), -20.0);
    EXPECT_LT(Number("gy"), -0.5);
}

} // namespace
