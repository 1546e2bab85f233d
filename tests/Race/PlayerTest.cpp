// The player's car without a world: its inputs under the lock and the throttle cut, and a car
// without a vehicle model or body answering zero.
#include <gtest/gtest.h>

#include "Race/PPlayer.h"

namespace {

TEST(PlayerTest, ControlsFollowTheLockAndTheThrottleCut) {
    const struct {
        bool locked, cut;
        float throttle, lift;
    } cases[] = {
        {false, false, 0.7f, 30.0f}, // stored as given
        {false, true, 0.0f, 30.0f},  // the cut writes 0 as throttle and still the lift
        {true, false, 0.2f, 5.0f},   // locked: nothing changes
        {true, true, 0.2f, 5.0f},
    };
    for (const auto& c : cases) {
        CPRefPtr<CPPlayer> car(new CPPlayer);
        car->SetControls(0.2f, 5.0f);
        car->Lock(c.locked);
        car->SetThrottleCut(c.cut);
        if (!c.locked && c.cut) {
            EXPECT_EQ(car->GetThrottle(), 0.0f);
        }
        car->SetControls(0.7f, 30.0f);
        EXPECT_EQ(car->GetThrottle(), c.throttle) << c.locked << c.cut;
        EXPECT_EQ(car->GetLift(), c.lift) << c.locked << c.cut;
    }
}

TEST(PlayerTest, ResetRestoresTheStartValuesButNotTheKey) {
    CPRefPtr<CPPlayer> car(new CPPlayer);
    EXPECT_EQ(car->GetName(), "PLAYER");
    car->SetCarKey("coupe_t");
    car->SetClassBits(9);
    car->health = 5;
    car->damage = 100;
    car->Lock(true);
    car->SetThrottleCut(true);
    car->blinkTime = 1;
    EXPECT_TRUE(car->Reset());
    EXPECT_EQ(car->GetCarKey(), "coupe_t");
    EXPECT_EQ(car->GetClassBits(), 0);
    EXPECT_EQ(car->health, CPPlayer::kStartHealth);
    EXPECT_EQ(car->damage, 0.0f);
    EXPECT_FALSE(car->IsLocked());
    EXPECT_FALSE(car->IsThrottleCut());
    EXPECT_EQ(car->blinkTime, 0.0f);
}

TEST(PlayerTest, ACarWithoutModelOrBodyAnswersZero) {
    CPRefPtr<CPPlayer> car(new CPPlayer);
    EXPECT_EQ(car->GetCar(), nullptr);
    EXPECT_EQ(car->GetVelocity(), Vec3());
    EXPECT_EQ(car->GetMass(), 0.0f);
    car->ApplyImpulse(Vec3(1, 2, 3), Vec3(0, 0, 10)); // nothing to push
    car->SetRotation(Quat{0, 0, 0.70710677f, 0.70710677f});
    const Vec3 forward = car->GetForward();
    EXPECT_NEAR(forward.x, 1.0f, 1e-5f);
    EXPECT_NEAR(forward.y, 0.0f, 1e-5f);
}

} // namespace
