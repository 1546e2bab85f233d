// The camera functions on a loaded level: picking through the view, what the view can see, where
// the camera is, the field of view of both cameras and the circling camera's random side and pitch.
#include <gtest/gtest.h>

#include <cmath>

#include "Core/POrientedBox.h"
#include "Core/PRandom.h"
#include "Core/PSettings.h"
#include "Race/PCamera.h"
#include "Race/PPlayer.h"
#include "RaceWorldSupport.h"

namespace {

constexpr float kPi = 3.14159265f;

class CameraLevelFunctionsTest : public RaceWorldTest {
protected:
    void SetUp() override {
        RaceWorldTest::SetUp();
        if (HasFatalFailure()) return;
        PutLayout("level1", {LayoutRecord("player", 0, 0, 0)});
        ASSERT_TRUE(Run("InitLevel('level1')"));
        ASSERT_NE(GetLevel(), nullptr);
        ASSERT_NE(GetLevel()->GetCamera(), nullptr);
    }
    CPCamera& Camera() { return *GetLevel()->GetCamera(); }
    // The main camera placed by hand: an eye, a look point, an up vector and a right-angled view.
    void Look(const Vec3& eye, const Vec3& at, const Vec3& up) {
        CPPerspectiveCamera& view = *Camera().GetMainCamera();
        view.eye = eye;
        view.lookAt = at;
        view.up = up;
        view.fov = kPi / 2;
        view.viewDirty = view.projectionDirty = true;
        view.Recalculate();
    }
    void SetGlobalObject(const char* name, CPGameObject* object) {
        lua_pushlightuserdata(L, object);
        lua_setglobal(L, name);
    }
};

// From 10 above the ground looking straight down with up +Y (left-handed: the screen's right is -X,
// its top +Y) through a right-angled view: the ray through a screen point meets the ground at
// 10 x tan(45 degrees) times the point's offset from the centre, widened by the aspect across.
TEST_F(CameraLevelFunctionsTest, CrossInterfaceRayPicksAndMeetsTheGround) {
    const float aspect = static_cast<float>(g_screenWidth) / static_cast<float>(g_screenHeight);
    Look(Vec3(0, 0, 10), Vec3(0, 0, 0), Vec3(0, 1, 0));
    const struct {
        const char* point;
        bool hit;
        float gx, gy;
    } cases[] = {
        {"0.5, 0.5", true, 0.0f, 0.0f}, // through the centre onto the car's box below
        {"0.5, 0", false, 0.0f, 10.0f},
        {"1, 0.5", false, -10.0f * aspect, 0.0f},
        {"0.75, 1", false, -5.0f * aspect, -10.0f},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(Run(std::string("hit, object, gx, gy, zero = CrossInterfaceRay(") + c.point + ")"));
        EXPECT_EQ(Eval("hit"), std::string("1 ") + (c.hit ? "true" : "false")) << c.point;
        EXPECT_NEAR(Number("gx"), c.gx, 1e-3) << c.point;
        EXPECT_NEAR(Number("gy"), c.gy, 1e-3) << c.point;
        EXPECT_EQ(Number("zero"), 0.0) << c.point;
        lua_getglobal(L, "object");
        auto* object = static_cast<CPGameObject*>(lua_touserdata(L, -1));
        lua_pop(L, 1);
        if (!c.hit) {
            EXPECT_EQ(object, nullptr) << c.point;
            continue;
        }
        // The car or one of its parts.
        CPGameObject* car = GetLevel()->GetPlayerCar();
        ASSERT_NE(object, nullptr);
        bool ofCar = false;
        for (CPGameObject* o = object; o; o = o->GetParentPointer()) ofCar = ofCar || o == car;
        EXPECT_TRUE(ofCar);
    }
}

// Seen by the main camera: a box below it, and an object without boxes (its empty box spans the
// scene); not a box above the eye nor one far to the side.
TEST_F(CameraLevelFunctionsTest, CheckVisibleAsksTheMainCamerasView) {
    Look(Vec3(0, 0, 10), Vec3(0, 0, 0), Vec3(0, 1, 0));
    const struct {
        const char* name;
        Vec3 at;
        bool boxed, visible;
    } cases[] = {
        {"below", {0, 0, 0}, true, true},    {"corner", {9, 9, 0}, true, true}, {"above", {0, 0, 20}, true, false},
        {"aside", {100, 0, 0}, true, false}, {"bare", {0, 0, 50}, false, true},
    };
    for (const auto& c : cases) {
        CPRefPtr<CPGameObject> object(new CPGameObject(c.name));
        if (c.boxed) object->AddCollisionBox(CPOrientedBox(Vec3(), Vec3(0.5f, 0.5f, 0.5f)));
        object->SetPosition(c.at);
        object->UpdateTransform();
        SetGlobalObject("thing", object.Get());
        EXPECT_EQ(Eval("CheckVisible(thing)"), std::string("1 ") + (c.visible ? "true" : "false")) << c.name;
    }
}

// The main camera's eye, then the target, or the fixed view's look point while the fixed view is on.
TEST_F(CameraLevelFunctionsTest, GetCameraPositionsGivesTheEyeAndTheLookPoint) {
    Camera().GetMainCamera()->eye = Vec3(7, 8, 9);
    Camera().fixedLookAt = Vec3(4, 5, 6);
    Camera().fixedView = false;
    ASSERT_TRUE(Run("SetCameraPos(1, 2, 3)"));
    EXPECT_EQ(Eval("GetCameraPositions()"), "6 7 8 9 1 2 3");
    Camera().fixedView = true;
    EXPECT_EQ(Eval("GetCameraPositions()"), "6 7 8 9 4 5 6");
}

// Both perspective cameras take the field of view in radians and are marked for a new projection.
TEST_F(CameraLevelFunctionsTest, SetFovReachesBothCameras) {
    CPPerspectiveCamera* cameras[] = {Camera().GetMainCamera(), Camera().GetSecondCamera()};
    for (CPPerspectiveCamera* c : cameras) {
        ASSERT_NE(c, nullptr);
        c->Recalculate();
        c->projectionDirty = false;
    }
    Camera().changed = false;
    ASSERT_TRUE(Run("SetFOV(45)"));
    EXPECT_TRUE(Camera().changed);
    for (CPPerspectiveCamera* c : cameras) {
        EXPECT_NEAR(c->fov, 0.785398f, 1e-6f);
        EXPECT_TRUE(c->projectionDirty);
    }
}

// SetCamera: the side from the parity of one draw (even: -1), then the pitch from the next (a
// multiple of 4: -15 degrees, else -90); the same mode again draws nothing and changes nothing;
// switching off also turns the camera to the player's heading.
TEST_F(CameraLevelFunctionsTest, SetCameraDrawsItsSideAndPitchOnlyOnAChange) {
    // The generator by its formula: seed x 214013 + 2531011, bits 16 to 30.
    uint32_t state = 0;
    auto draw = [&state] {
        state = state * 214013u + 2531011u;
        return static_cast<int>((state >> 16) & 0x7FFFu);
    };
    CPLevel& level = *GetLevel();
    bool sawSides[2] = {false, false}, sawPitches[2] = {false, false};
    for (unsigned seed = 1; seed <= 12; ++seed) {
        level.SetCameraTimerMode(0);
        level.SetCameraTimer(3.0f);
        level.SetPlayerHeadingValue(0.75f);
        Camera().SetZAngle(2.0f);
        EngineSrand(seed);
        state = seed;
        ASSERT_TRUE(Run("SetCamera(true)"));
        const float side = draw() % 2 == 0 ? -1.0f : 1.0f;
        const float pitch = draw() % 4 == 0 ? -0.2617994f : -1.5707964f;
        sawSides[side > 0] = true;
        sawPitches[pitch > -1.0f] = true;
        EXPECT_EQ(level.GetCameraTimerMode(), 1) << seed;
        EXPECT_EQ(level.GetCameraTimer(), 0.0f) << seed;
        EXPECT_EQ(level.GetRotationSide(), side) << seed;
        EXPECT_FLOAT_EQ(Camera().pitch, pitch) << seed;
        EXPECT_EQ(Camera().zAngle, 2.0f) << seed; // turned to the heading only when switched off

        level.SetCameraTimer(2.5f);
        ASSERT_TRUE(Run("SetCamera(true)"));
        EXPECT_EQ(level.GetCameraTimer(), 2.5f) << seed;
        EXPECT_EQ(level.GetRotationSide(), side) << seed;
        EXPECT_FLOAT_EQ(Camera().pitch, pitch) << seed;

        ASSERT_TRUE(Run("SetCamera(false)"));
        const float sideOff = draw() % 2 == 0 ? -1.0f : 1.0f;
        const float pitchOff = draw() % 4 == 0 ? -0.2617994f : -1.5707964f;
        EXPECT_EQ(level.GetCameraTimerMode(), 0) << seed;
        EXPECT_EQ(level.GetCameraTimer(), 0.0f) << seed;
        EXPECT_EQ(level.GetRotationSide(), sideOff) << seed;
        EXPECT_FLOAT_EQ(Camera().pitch, pitchOff) << seed;
        EXPECT_EQ(Camera().zAngle, 0.75f) << seed;
        // Nothing else was drawn.
        EXPECT_EQ(EngineRand(), draw()) << seed;
    }
    EXPECT_TRUE(sawSides[0] && sawSides[1]);
    EXPECT_TRUE(sawPitches[0] && sawPitches[1]);
}

} // namespace
