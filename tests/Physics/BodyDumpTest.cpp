#include "PhysicsTestSupport.h"

#include "Physics/BodyDump.h"

#include <gtest/gtest.h>

using namespace Physics;
using PhysicsTest::GameDesc;
using PhysicsTest::kGameGravity;
using PhysicsTest::kTick;
using PhysicsTest::World;

TEST(BodyDump, FreeFallReadsAsATable) {
    World world(GameDesc(), &kGameGravity);
    RigidBody* falling = world->CreateRigidBody();
    falling->SetPosition({0.0f, 0.0f, 10.0f});
    RigidBody* parked = world->CreateRigidBody();
    parked->SetPosition({2.0f, 0.0f, 0.0f});
    parked->SetGravityEnabled(false);
    AnimatedBody* gate = world->CreateAnimatedBody();
    gate->SetPosition({0.0f, 5.0f, 0.0f});
    EXPECT_EQ(
        DumpBodies(*world.sim),
        "rigid 0 pos (0.0000, 0.0000, 10.0000) rot (0.0000, 0.0000, 0.0000, 1.0000) vel (0.0000, 0.0000, 0.0000) "
        "awake\n"
        "rigid 1 pos (2.0000, 0.0000, 0.0000) rot (0.0000, 0.0000, 0.0000, 1.0000) vel (0.0000, 0.0000, 0.0000) awake\n"
        "animated 5 pos (0.0000, 5.0000, 0.0000) moved\n");

    std::string ticks;
    for (int i = 0; i < 3; ++i) {
        world->Step(kTick, 1, nullptr);
        ticks += DumpBodies(*world.sim);
    }
    EXPECT_EQ(
        ticks,
        // tick 1: gravity is first gathered at the end of this tick
        "rigid 0 pos (0.0000, 0.0000, 10.0000) rot (0.0000, 0.0000, 0.0000, 1.0000) vel (0.0000, 0.0000, 0.0000) "
        "awake\n"
        "rigid 1 pos (2.0000, 0.0000, 0.0000) rot (0.0000, 0.0000, 0.0000, 1.0000) vel (0.0000, 0.0000, 0.0000) awake\n"
        "animated 5 pos (0.0000, 5.0000, 0.0000)\n"
        // tick 2: z = 10 - 1.5·g·dt²
        "rigid 0 pos (0.0000, 0.0000, 9.9993) rot (0.0000, 0.0000, 0.0000, 1.0000) vel (0.0000, 0.0000, -0.0653) "
        "awake\n"
        "rigid 1 pos (2.0000, 0.0000, 0.0000) rot (0.0000, 0.0000, 0.0000, 1.0000) vel (0.0000, 0.0000, 0.0000) awake\n"
        "animated 5 pos (0.0000, 5.0000, 0.0000)\n"
        // tick 3: z = 10 - 4·g·dt²
        "rigid 0 pos (0.0000, 0.0000, 9.9983) rot (0.0000, 0.0000, 0.0000, 1.0000) vel (0.0000, 0.0000, -0.1307) "
        "awake\n"
        "rigid 1 pos (2.0000, 0.0000, 0.0000) rot (0.0000, 0.0000, 0.0000, 1.0000) vel (0.0000, 0.0000, 0.0000) awake\n"
        "animated 5 pos (0.0000, 5.0000, 0.0000)\n");

    parked->Sleep();
    gate->SetEnabled(0, nullptr);
    const std::string after = DumpBodies(*world.sim);
    EXPECT_NE(after.find("rigid 1 pos (2.0000, 0.0000, 0.0000) rot (0.0000, 0.0000, 0.0000, 1.0000) vel (0.0000, "
                         "0.0000, 0.0000) asleep\n"),
              std::string::npos);
    EXPECT_EQ(after.find("animated"), std::string::npos);
}
