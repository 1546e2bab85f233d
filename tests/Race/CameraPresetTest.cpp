// The race camera as the level drives it: the presets read from the car's description, what each
// camera mode takes from them, the camera timer's circling and look-back, and the bonnet view's eye
// and the tilt. A loaded level whose car description names three presets, a fake millisecond clock
// for the camera timer, and turns with FrameDelta 1/3 (the follow distance then reaches its target
// in one turn) or 0 (the follow view's spring stands still).
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "Core/PGlobalTimer.h"
#include "Platform/Clock.h"
#include "Race/PCamera.h"
#include "Race/PLevel.h"
#include "Race/PPhysics.h"
#include "Race/PPlayer.h"
#include "RaceWorldFixture.h"

namespace {

constexpr float kDegree = 0.0174533f;

const char* const kDescription = R"(
<camera distance="6" height="1.5" angle="10" angle_div="20" distance_div="4" blur="0.2" fov="70"/>
<camera2 distance="9" height="3" angle="-5" angle_div="30" distance_div="8" blur="0.4"/>
<camera3 distance="1.2" height="0.8" blur="0.6" angle="33"/>
)";

// A rotation about Z by a: the model's forward (0, -1, 0) turned onto heading a - pi/2.
Quat AboutZ(float a) { return {0, 0, std::sin(a * 0.5f), std::cos(a * 0.5f)}; }
// The car facing heading h: forward (cos h, sin h, 0).
Quat Heading(float h) { return AboutZ(h + 1.5707964f); }

class CameraPresetTest : public RaceWorldFixture {
protected:
    void SetUp() override {
        RaceWorldFixture::SetUp();
        Platform::SetClock(&clock_);
        Put("Data/Meshes/wrong.rdf",
            std::string("mesh = wrong.msh\ndescription = car.xml\n[wrong]\neffectfile = simple.fx\n"));
        Put("Data/Descriptions/car.xml", std::string(kDescription));
        LevelObjectRecord start = LayoutRecord("player", 0, 0, 0);
        start.rotation = {0, 0, 0.70710677f, 0.70710677f}; // facing +X
        PutLayout("level2", {start});
        level_ = CPRefPtr<CPLevel>(new CPLevel);
        ASSERT_TRUE(level_->Load("level2"));
        ASSERT_NE(level_->GetPlayerCar(), nullptr);
        level_->Start();
    }
    void TearDown() override {
        if (level_) level_->StopLevel();
        level_.Reset();
        RaceWorldFixture::TearDown();
        Platform::SetClock(nullptr);
        FrameDelta = 0.0f;
    }

    void Turn(float delta, double realSeconds = 0.0) {
        clock_.Advance(realSeconds);
        FrameDelta = delta;
        level_->RaceUpdate();
        FrameDelta = 0.0f;
    }
    void SetCar(const Quat& rotation) {
        CPPlayer* car = level_->GetPlayerCar();
        car->SetRotation(rotation);
        car->UpdateTransform();
    }
    CPCamera& Camera() { return *level_->GetCamera(); }
    Vec3 Car() { return level_->GetPlayerCar()->GetPosition(); }

    Platform::FakeClock clock_;
    CPRefPtr<CPLevel> level_;
};

void ExpectNear(const Vec3& got, const Vec3& want, const char* what) {
    EXPECT_NEAR(got.x, want.x, 1e-4f) << what;
    EXPECT_NEAR(got.y, want.y, 1e-4f) << what;
    EXPECT_NEAR(got.z, want.z, 1e-4f) << what;
}

TEST_F(CameraPresetTest, PresetsComeFromTheCarDescription) {
    const struct {
        float distance, height, angle, angleDiv, distanceDiv, blur, fov;
    } want[2] = {{6, 1.5f, 10, 20, 4, 0.2f, 70}, {9, 3, -5, 30, 8, 0.4f, 50}};
    for (int p = 0; p < 2; ++p) {
        SCOPED_TRACE(p);
        const CPCameraPreset& preset = level_->GetPreset(p);
        EXPECT_EQ(preset.distance, want[p].distance);
        EXPECT_EQ(preset.height, want[p].height);
        EXPECT_EQ(preset.angle, want[p].angle);
        EXPECT_EQ(preset.angleDiv, want[p].angleDiv);
        EXPECT_EQ(preset.distanceDiv, want[p].distanceDiv);
        EXPECT_EQ(preset.blur, want[p].blur);
    }
    // "camera2" has no "fov": its field of view stays at the 50 it starts with.
    EXPECT_EQ(level_->GetFov(0), 70.0f);
    EXPECT_EQ(level_->GetFov(1), 50.0f);
    EXPECT_EQ(level_->GetPreset(2).distance, 1.2f);
    EXPECT_EQ(level_->GetPreset(2).height, 0.8f);
    EXPECT_EQ(level_->GetPreset(2).blur, 0.6f);
    // Each angle read turns the camera's pitch (degrees to radians); "camera3" has no angle of its
    // own, so the last one read is "camera2"'s -5.
    EXPECT_NEAR(Camera().pitch, -5.0f * kDegree, 1e-6f);
}

// Mode 0 follows with "camera", mode 1 with "camera2", mode 2 is the fixed bonnet view with
// "camera"'s values; any other mode is only stored and the values in use stay.
TEST_F(CameraPresetTest, EachCameraModeTakesItsPreset) {
    const Vec3 car = Car();
    struct Step {
        int mode;
        bool fixedView;
        float pitch;        // at rest: the preset's angle
        float distance;     // the follow distance reached in one turn; < 0: not followed
        float targetHeight; // look-at above the car; < 0: the race target kept
    };
    const Step steps[] = {
        {1, false, -5, 9, 3},    // "camera2"
        {5, false, -5, -1, -1},  // stored only: camera2's values stay, no target is computed
        {2, true, 10, -1, -1},   // bonnet: "camera" values, no target
        {0, false, 10, 6, 1.5f}, // "camera"
        {1, false, -5, 9, 3},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.mode);
        const Vec3 targetBefore = level_->GetRaceTarget();
        const float distanceBefore = Camera().followDistance;
        Camera().zAngle = 1.0f;
        level_->SetCameraMode(s.mode);
        EXPECT_EQ(level_->GetCameraMode(), s.mode);
        EXPECT_EQ(Camera().fixedView, s.fixedView);
        // Modes 0 and 1 turn the camera to the car's heading (0 here, within what acos gives for a
        // forward x a last bit below 1); the others leave it.
        EXPECT_NEAR(Camera().zAngle, s.mode == 0 || s.mode == 1 ? 0.0f : 1.0f, 1e-3f);
        Turn(1.0f / 3.0f);
        EXPECT_NEAR(Camera().pitch, s.pitch, 1e-5f);
        if (s.distance > 0) EXPECT_NEAR(Camera().followDistance, s.distance, 1e-4f);
        else EXPECT_EQ(Camera().followDistance, distanceBefore);
        if (s.targetHeight > 0) ExpectNear(Camera().lookAt, car + Vec3(0, 0, s.targetHeight), "look-at");
        else ExpectNear(Camera().lookAt, targetBefore, "kept look-at");
    }
}

// Timer mode 1 circles the car (z angle = side x timer x 0.3, the timer counting real seconds) and
// looks at two thirds of the height; 2 looks back (h - pi); 0 and 3 look along h.
TEST_F(CameraPresetTest, TheCameraTimerCirclesTheCarOrLooksBack) {
    const float pi = 3.1415927f, twoPi = 6.2831855f;
    const struct {
        const char* what;
        int cameraMode, timerMode;
        float heading, side, timer;
        float zAngle;       // NAN: not written
        float targetZAngle; // NAN: not written
        float targetHeight;
    } cases[] = {
        {"along", 0, 0, 0.5f, 1, 0, NAN, 0.5f, 1.5f},
        {"along, negative heading", 0, 3, -1.0f, 1, 0, NAN, twoPi - 1.0f, 1.5f},
        {"look back", 0, 2, 0.5f, 1, 0, NAN, 0.5f - pi + twoPi, 1.5f},
        {"look back at heading 1", 1, 2, 1.0f, 1, 0, NAN, 1.0f - pi + twoPi, 3.0f},
        {"look back at heading 4", 0, 2, 4.0f - twoPi, 1, 0, NAN, 4.0f - pi, 1.5f},
        {"circle", 0, 1, 0.0f, 1, 2.0f, (2.0f + 0.5f) * 0.3f, NAN, 1.0f},
        {"circle the other way", 1, 1, 0.0f, -1, 2.0f, -(2.0f + 0.5f) * 0.3f, NAN, 2.0f},
        // The bonnet view keeps its own angle, but the circling target height still holds.
        {"bonnet while circling", 2, 1, 1.0f, 1, 2.0f, 1.0f, NAN, 1.0f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SetCar(Heading(c.heading));
        level_->SetCameraMode(c.cameraMode);
        level_->SetCameraTimerMode(c.timerMode);
        level_->SetRotationSide(c.side);
        level_->SetCameraTimer(c.timer);
        Camera().zAngle = 100.0f;
        Camera().targetZAngle = 100.0f;
        Camera().zVelocity = 0.0f;
        Turn(0.0f, 0.5); // half a second of real time, none of game time
        EXPECT_NEAR(level_->GetCameraTimer(), c.timer + 0.5f, 1e-6f);
        if (std::isnan(c.zAngle)) EXPECT_EQ(Camera().zAngle, 100.0f);
        else EXPECT_NEAR(Camera().zAngle, c.zAngle, 1e-5f);
        if (std::isnan(c.targetZAngle)) EXPECT_EQ(Camera().targetZAngle, 100.0f);
        else EXPECT_NEAR(Camera().targetZAngle, c.targetZAngle, 1e-5f);
        ExpectNear(Camera().lookAt, Car() + Vec3(0, 0, c.targetHeight), "look-at");
    }
}

// The bonnet view's eye is the car + forward x "camera3" distance + up x its height, looking along
// the forward axis with the car's up; in every mode the tilt is acos(up.z), negative past a quarter
// roll.
TEST_F(CameraPresetTest, TheBonnetEyeAndTheTiltFollowTheCar) {
    const float d3 = 1.2f, h3 = 0.8f;
    const struct {
        const char* what;
        float roll; // degrees about the car's forward axis (world X here)
        Vec3 up;    // the car's up by hand: (0, -sin r, cos r)
        float tilt;
    } cases[] = {
        {"level", 0, {0, 0, 1}, 0.0f},
        {"rolled 30", 30, {0, -0.5f, 0.8660254f}, 0.5235988f},
        {"rolled -30", -30, {0, 0.5f, 0.8660254f}, 0.5235988f},
        {"rolled 120", 120, {0, -0.8660254f, -0.5f}, -2.0943952f},
        {"on its roof", 180, {0, 0, -1}, -3.1415927f},
    };
    for (int mode : {2, 0}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.what) + " mode " + std::to_string(mode));
            // Facing +X (a quarter turn about Z), then rolled about world X: the product worked
            // out by hand, (a c, -a s, b s, b c) with a, b the roll's half-angle sine and cosine.
            const float a = std::sin(c.roll * kDegree * 0.5f), b = std::cos(c.roll * kDegree * 0.5f);
            const float s = 0.70710677f;
            SetCar(Quat{a * s, -a * s, b * s, b * s});
            level_->SetCameraMode(mode);
            Turn(0.0f);
            EXPECT_NEAR(Camera().tilt, c.tilt, 1e-3f); // acos is steep near 1 and -1
            if (mode != 2) continue;
            const Vec3 forward(1, 0, 0);
            const Vec3 eye = Car() + forward * d3 + c.up * h3;
            ExpectNear(Camera().fixedEye, eye, "eye");
            ExpectNear(Camera().fixedLookAt, eye + forward, "look-along");
            ExpectNear(Camera().fixedUp, c.up, "up");
            EXPECT_NEAR(Camera().zAngle, 0.0f, 1e-3f); // the heading, within acos's steepness at 1
            // Both cameras take the fixed view.
            ExpectNear(Camera().GetMainCamera()->eye, eye, "main eye");
            ExpectNear(Camera().GetSecondCamera()->eye, eye, "second eye");
            ExpectNear(Camera().GetMainCamera()->lookAt, eye + forward, "main look-along");
        }
    }
}

// The follow view rises by the car's height over the road (its z less the ground height under it),
// springing at 3 per second and kept within [0, 5]; the look-ahead springs toward distance x 0.3 /
// (2 x impact + 1), and the impact fades by the frame time.
TEST_F(CameraPresetTest, TheFollowViewRisesOverTheRoadAndAnImpactShortensItsLookAhead) {
    const struct {
        float ground;
        float heightOffset; // from 0 after a turn of 0.1 s, the car at z 5
    } cases[] = {
        {1.0f, 1.2f},   // 4 x 0.3
        {-30.0f, 5.0f}, // 35 x 0.3 = 10.5, kept at 5
        {8.0f, 0.0f},   // -3 x 0.3, kept at 0
    };
    level_->SetCameraMode(0);
    ASSERT_EQ(Car().z, 5.0f);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ground);
        PlayerGroundHeight = c.ground;
        Camera().heightOffset = 0.0f;
        Camera().lookAhead = 0.0f;
        Camera().impact = 1.0f;
        Camera().followDistance = 6.0f; // already at the preset's distance
        Turn(0.1f);
        EXPECT_NEAR(Camera().heightOffset, c.heightOffset, 1e-5f);
        EXPECT_NEAR(Camera().lookAhead, 6.0f * 0.3f / 3.0f * 0.1f, 1e-6f);
        EXPECT_NEAR(Camera().impact, 0.9f, 1e-6f);
        // Both cameras look at the look-at point moved ahead and down by the springs.
        const Vec3 lookAt = Camera().lookAt;
        ExpectNear(Camera().GetMainCamera()->lookAt, lookAt + Vec3(0.06f, 0, -c.heightOffset), "main");
        ExpectNear(Camera().GetSecondCamera()->lookAt, lookAt + Vec3(0.06f, 0, -c.heightOffset), "second");
    }
    PlayerGroundHeight = 0.0f;
}

} // namespace
