#include "PhysicsTestSupport.h"

#include "Physics/Quaternion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

using namespace Physics;
using PhysicsTest::GameDesc;
using PhysicsTest::kGameGravity;
using PhysicsTest::kTick;
using PhysicsTest::World;

TEST(FreeFall, GravityArrivesOneTickLateAndPositionsFollowTheClosedForm) {
    World world(GameDesc(), &kGameGravity);
    RigidBody* body = world->CreateRigidBody();
    body->CreateGeometry();
    body->UpdateBounds();
    body->SetPosition({0.0f, 0.0f, 10.0f});

    // v_n = -(n - 1)·g·dt, z_n = z0 - g·dt²·(n² - 1)/2.
    struct Row {
        int tick;
        float vz, z;
    };
    const Row table[] = {
        {1, 0.0f, 10.0f}, {2, -0.0653333f, 9.9993467f}, {3, -0.1306667f, 9.9982578f}, {150, -9.734667f, 5.100218f}};
    int tick = 0;
    for (const Row& row : table) {
        while (tick < row.tick) {
            world->Step(kTick, 1, nullptr);
            ++tick;
        }
        EXPECT_NEAR(body->GetLinearVelocity().z, row.vz, 1e-4f) << "tick " << row.tick;
        EXPECT_NEAR(body->GetPosition().z, row.z, 1e-4f) << "tick " << row.tick;
    }
    EXPECT_EQ(body->GetPosition().x, 0.0f);
    EXPECT_EQ(body->GetPosition().y, 0.0f);
    // The world box follows the body at the start of each tick.
    world->Step(kTick, 1, nullptr);
    EXPECT_NEAR(body->GetWorldBoxMin().z, 5.100218f - 0.5f, 1e-4f);
}

namespace {

class CountingCallback final : public ControllerCallback {
public:
    void OnTick(Controller* controller, float subStep) override {
        ++calls;
        lastSubStep = subStep;
        controller->SetForce(forceToSet);
        if (wakeCheck != nullptr) {
            sawAsleep = sawAsleep || wakeCheck->IsAsleep();
        }
    }
    int calls = 0;
    float lastSubStep = 0.0f;
    Vector4 forceToSet;
    const RigidBody* wakeCheck = nullptr;
    bool sawAsleep = false;
};

} // namespace

TEST(Controllers, PeriodDecidesHowOftenTheCallbackRuns) {
    struct Case {
        int period;
        int expectedCalls;
    };
    const Case cases[] = {{0, 10}, {1, 5}, {2, 3}, {4, 2}, {9, 1}, {10, 0}};
    for (const Case& c : cases) {
        World world(GameDesc(), &kGameGravity);
        RigidBody* body = world->CreateRigidBody();
        CountingCallback callback;
        Controller* controller = body->CreateController(&callback, c.period);
        ASSERT_NE(controller, nullptr);
        EXPECT_EQ(controller->GetBody(), body);
        for (int i = 0; i < 10; ++i) {
            world->Step(kTick, 1, nullptr);
        }
        EXPECT_EQ(callback.calls, c.expectedCalls) << "period " << c.period;
        if (callback.calls > 0) {
            EXPECT_FLOAT_EQ(callback.lastSubStep, kTick);
        }
    }
}

TEST(Controllers, PeriodOneCallsOnEverySecondTick) {
    World world;
    RigidBody* body = world->CreateRigidBody();
    CountingCallback callback;
    body->CreateController(&callback, 1);
    std::vector<int> callTicks;
    for (int tick = 1; tick <= 8; ++tick) {
        const int before = callback.calls;
        world->Step(kTick, 1, nullptr);
        if (callback.calls != before) {
            callTicks.push_back(tick);
        }
    }
    EXPECT_EQ(callTicks, (std::vector<int>{2, 4, 6, 8}));
}

TEST(Controllers, ForceSetInsideTheCallbackActsFromTheNextForceStep) {
    World world;
    RigidBody* body = world->CreateRigidBody();
    body->SetMass(2.0f);
    CountingCallback callback;
    callback.forceToSet = {4.0f, 0.0f, 0.0f};
    body->CreateController(&callback, 0);

    world->Step(kTick, 1, nullptr);
    EXPECT_EQ(callback.calls, 1);
    EXPECT_EQ(body->GetLinearVelocity().x, 0.0f);
    world->Step(kTick, 1, nullptr);
    EXPECT_FLOAT_EQ(body->GetLinearVelocity().x, 2.0f * kTick);
    world->Step(kTick, 1, nullptr);
    EXPECT_FLOAT_EQ(body->GetLinearVelocity().x, 4.0f * kTick);
}

TEST(SubSteps, OneStepOfThreeEqualsThreeSingleSteps) {
    auto build = [](World& world, CountingCallback& callback) {
        RigidBody* body = world->CreateRigidBody();
        body->SetMass(3.0f);
        body->SetInertia({1.0f, 2.0f, 3.0f});
        body->SetLinearDamping(0.002f);
        body->SetAngularDamping(0.0025f);
        body->SetPosition({1.0f, 2.0f, 10.0f});
        body->SetOrientation(QuatNormalize({0.1f, 0.2f, 0.3f, 0.9f}));
        body->SetLinearVelocity({1.0f, -2.0f, 0.5f});
        body->SetForceAtPoint({0.5f, 0.0f, 1.0f}, {1.5f, 2.0f, 10.0f});
        callback.forceToSet = {0.0f, 1.0f, 0.0f};
        body->CreateController(&callback, 0);
        return body;
    };
    World a(GameDesc(), &kGameGravity);
    World b(GameDesc(), &kGameGravity);
    CountingCallback ca, cb;
    RigidBody* ba = build(a, ca);
    RigidBody* bb = build(b, cb);
    const float subStep = kTick / 3.0f;
    for (int i = 0; i < 20; ++i) {
        a->Step(kTick, 3, nullptr);
        for (int k = 0; k < 3; ++k) {
            b->Step(subStep, 1, nullptr);
        }
    }
    EXPECT_EQ(a->GetSubStep(), b->GetSubStep());
    EXPECT_EQ(ca.calls, 60);
    EXPECT_EQ(cb.calls, 60);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(ba->GetPosition()[i], bb->GetPosition()[i]) << i;
        EXPECT_EQ(ba->GetLinearVelocity()[i], bb->GetLinearVelocity()[i]) << i;
        EXPECT_EQ(ba->GetOrientation()[i], bb->GetOrientation()[i]) << i;
        EXPECT_EQ(ba->GetAngularMomentum()[i], bb->GetAngularMomentum()[i]) << i;
    }
    EXPECT_EQ(a->GetStepCount(), 20);
    EXPECT_EQ(b->GetStepCount(), 60);
}

TEST(Impulses, OffCentreImpulseGivesLinearAndAngularVelocity) {
    struct Case {
        const char* name;
        Vector4 orientation;
        Vector4 expectedOmega;
    };
    const float h = std::sqrt(0.5f);
    // Inertia diag(1, 2, 3), impulse (0, 0, 4) one unit along world x from the centre:
    // L = (0, -4, 0). Unrotated ω = L·I⁻¹ = (0, -2, 0); turned 90° about z the body's x axis
    // lies along world y, so ω = (0, -4, 0).
    const Case cases[] = {{"unrotated", {0, 0, 0, 1}, {0, -2, 0}}, {"turned", {0, 0, h, h}, {0, -4, 0}}};
    for (const Case& c : cases) {
        World world;
        RigidBody* body = world->CreateRigidBody();
        body->SetMass(2.0f);
        body->SetInertia({1.0f, 2.0f, 3.0f});
        body->SetPosition({5.0f, 0.0f, 0.0f});
        body->SetOrientation(c.orientation);
        world->Step(kTick, 1, nullptr); // derives the world inverse inertia
        body->Sleep();

        body->ApplyImpulseAtPoint({0.0f, 0.0f, 4.0f}, {6.0f, 0.0f, 0.0f});
        EXPECT_FALSE(body->IsAsleep()) << c.name;
        EXPECT_FLOAT_EQ(body->GetLinearVelocity().z, 2.0f) << c.name;
        EXPECT_FLOAT_EQ(body->GetLinearVelocity().x, 0.0f) << c.name;
        EXPECT_NEAR(body->GetAngularMomentum().y, -4.0f, 1e-6f) << c.name;
        for (int i = 0; i < 3; ++i) {
            EXPECT_NEAR(body->GetAngularVelocity()[i], c.expectedOmega[i], 1e-5f) << c.name << " axis " << i;
        }
        Vector4 pointVelocity;
        body->GetPointVelocity(pointVelocity, {1.0f, 0.0f, 0.0f});
        EXPECT_NEAR(pointVelocity.z, 2.0f - c.expectedOmega.y, 1e-5f) << c.name;
    }
}

TEST(Impulses, SolverImpulseDoesNotWake) {
    World world;
    RigidBody* body = world->CreateRigidBody();
    body->Sleep();
    EXPECT_EQ(body->ApplyImpulse({1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}), 1);
    EXPECT_TRUE(body->IsAsleep());
    EXPECT_FLOAT_EQ(body->GetLinearVelocity().x, 1.0f);
    EXPECT_FLOAT_EQ(body->GetAngularMomentum().z, -1.0f);
}

TEST(Damping, AppliedPerTick) {
    World world;
    RigidBody* body = world->CreateRigidBody();
    body->SetInertia({1.0f, 1.0f, 1.0f});
    body->SetLinearDamping(-0.002f); // stored as its magnitude
    body->SetAngularDamping(0.0025f);
    body->SetLinearVelocity({1.0f, 0.0f, 0.0f});
    body->SetAngularMomentum({0.0f, 0.0f, 1.0f});
    world->Step(kTick, 1, nullptr);
    EXPECT_FLOAT_EQ(body->GetLinearVelocity().x, 0.998f);
    EXPECT_FLOAT_EQ(body->GetAngularMomentum().z, 0.9975f);
    for (int i = 1; i < 100; ++i) {
        world->Step(kTick, 1, nullptr);
    }
    EXPECT_NEAR(body->GetLinearVelocity().x, 0.81857f, 1e-4f);
    EXPECT_NEAR(body->GetAngularMomentum().z, std::pow(0.9975f, 100.0f), 1e-4f);
}

TEST(Damping, FollowsTheForceOnVelocityAndPrecedesTheTorqueOnMomentum) {
    // m = 1, F = (2, 0, 0), I = 2·1, T = (0, 0, 1), both dampings 0.5, no gravity:
    //   v_n = (v_(n-1) + 2·dt)·0.5      x_n = x_(n-1) + v_n·dt + dt²
    //   L_n = L_(n-1)·0.5 + dt          ω_n = L_n / 2
    struct Row {
        float v, x, L, omega; // in units of dt, dt², dt, dt
    };
    const Row table[] = {{1.0f, 2.0f, 1.0f, 0.5f}, {1.5f, 4.5f, 1.5f, 0.75f}, {1.75f, 7.25f, 1.75f, 0.875f}};
    World world;
    RigidBody* body = world->CreateRigidBody();
    body->SetInertia({2.0f, 2.0f, 2.0f});
    body->SetLinearDamping(0.5f);
    body->SetAngularDamping(0.5f);
    body->SetForceAtPoint({2.0f, 0.0f, 0.0f}, body->GetPosition());
    body->SetTorque({0.0f, 0.0f, 1.0f});
    for (int n = 0; n < 3; ++n) {
        world->Step(kTick, 1, nullptr);
        const Row& r = table[n];
        EXPECT_NEAR(body->GetLinearVelocity().x, r.v * kTick, 1e-7f) << "tick " << n + 1;
        EXPECT_NEAR(body->GetPosition().x, r.x * kTick * kTick, 1e-9f) << "tick " << n + 1;
        EXPECT_NEAR(body->GetAngularMomentum().z, r.L * kTick, 1e-7f) << "tick " << n + 1;
        EXPECT_NEAR(body->GetAngularVelocity().z, r.omega * kTick, 1e-7f) << "tick " << n + 1;
    }
}

TEST(Rotation, TorqueFreeSpinTurnsAtTheRateOfItsMomentum) {
    World world;
    RigidBody* body = world->CreateRigidBody();
    body->SetInertia({1.0f, 1.0f, 1.0f});
    world->Step(kTick, 1, nullptr);
    body->SetAngularMomentum({0.0f, 0.0f, 1.0f});
    for (int i = 0; i < 150; ++i) {
        world->Step(kTick, 1, nullptr);
    }
    Matrix4 m;
    body->GetMatrix(m);
    const float angle = std::atan2(m.row[0].y, m.row[0].x);
    EXPECT_NEAR(angle, 1.0f, 0.01f);
    EXPECT_EQ(m.row[0].w, 0.0f);
    EXPECT_EQ(m.row[3].w, 1.0f);
}

TEST(Rotation, AsymmetricBodyKeepsMomentumAndUnitQuaternion) {
    World world;
    RigidBody* body = world->CreateRigidBody();
    body->SetInertia({1.0f, 2.0f, 3.0f});
    world->Step(kTick, 1, nullptr);
    const Vector4 L{0.3f, 0.5f, 0.2f, 0.0f};
    body->SetAngularMomentum(L);
    for (int i = 0; i < 1500; ++i) {
        world->Step(kTick, 1, nullptr);
    }
    EXPECT_EQ(body->GetAngularMomentum().x, L.x);
    EXPECT_EQ(body->GetAngularMomentum().y, L.y);
    EXPECT_EQ(body->GetAngularMomentum().z, L.z);
    EXPECT_NEAR(std::sqrt(QuatLengthSquared(body->GetOrientation())), 1.0f, 1e-6f);
}

TEST(Sleep, SleepingBodyIgnoresGravityAndTinyForces) {
    World world(GameDesc(), &kGameGravity);
    RigidBody* body = world->CreateRigidBody();
    body->SetPosition({0.0f, 0.0f, 3.0f});
    world->Step(kTick, 1, nullptr);
    body->Sleep();
    EXPECT_EQ(body->GetLinearVelocity().z, 0.0f);
    for (int i = 0; i < 10; ++i) {
        world->Step(kTick, 1, nullptr);
    }
    EXPECT_TRUE(body->IsAsleep());
    EXPECT_EQ(body->GetPosition().z, 3.0f);

    body->SetForceAtPoint({0.0f, 0.0f, 9e-7f}, body->GetPosition());
    world->Step(kTick, 1, nullptr);
    EXPECT_TRUE(body->IsAsleep());

    body->SetForceAtPoint({0.0f, 0.0f, 1e-6f}, body->GetPosition());
    EXPECT_FALSE(body->IsAsleep());
}

TEST(Sleep, StoredForceWakesInTheForceStep) {
    World world;
    RigidBody* body = world->CreateRigidBody();
    body->SetForceAtPoint({0.0f, 0.0f, 1e-6f}, {0.0f, 0.0f, 0.0f});
    body->Sleep(); // asleep with the force already stored
    world->Step(kTick, 1, nullptr);
    EXPECT_FALSE(body->IsAsleep());
}

TEST(Sleep, ControllerForceWakesASleepingBody) {
    World world(GameDesc(), &kGameGravity);
    RigidBody* body = world->CreateRigidBody();
    CountingCallback callback;
    callback.wakeCheck = body;
    body->CreateController(&callback, 0);
    world->Step(kTick, 1, nullptr);
    body->Sleep();

    // The next gathering (in the sleeping force step) picks up the new force...
    callback.forceToSet = {5.0f, 0.0f, 0.0f};
    world->Step(kTick, 1, nullptr);
    EXPECT_TRUE(body->IsAsleep());
    EXPECT_TRUE(callback.sawAsleep);
    EXPECT_EQ(body->GetLinearVelocity().x, 0.0f);
    // ...and the one after wakes the body and moves it.
    world->Step(kTick, 1, nullptr);
    EXPECT_FALSE(body->IsAsleep());
    EXPECT_FLOAT_EQ(body->GetLinearVelocity().x, 5.0f * kTick);
}

TEST(Sleep, FastSleepingBodyWakesSlowOneIsStilled) {
    World world;
    RigidBody* body = world->CreateRigidBody();
    body->Sleep();
    body->ApplyImpulse({0.9f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}); // |v|² = 0.81 < 1
    world->Step(kTick, 1, nullptr);
    EXPECT_TRUE(body->IsAsleep());
    EXPECT_EQ(body->GetLinearVelocity().x, 0.0f);

    body->ApplyImpulse({1.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}); // |v|² = 1
    world->Step(kTick, 1, nullptr);
    EXPECT_FALSE(body->IsAsleep());
    EXPECT_FLOAT_EQ(body->GetLinearVelocity().x, 1.0f);
}

TEST(Sleep, SleepThenWakeLeavesTheBodyStill) {
    World world(GameDesc(), &kGameGravity);
    RigidBody* body = world->CreateRigidBody();
    body->SetInertia({1.0f, 1.0f, 1.0f});
    body->SetLinearVelocity({1.0f, 2.0f, 3.0f});
    body->SetAngularMomentum({1.0f, 0.0f, 0.0f});
    for (int i = 0; i < 12; ++i) {
        world->Step(kTick, 1, nullptr);
    }
    body->Sleep();
    body->Wake();
    EXPECT_FALSE(body->IsAsleep());
    EXPECT_EQ(LengthSquared(body->GetLinearVelocity()), 0.0f);
    EXPECT_EQ(LengthSquared(body->GetAngularMomentum()), 0.0f);
    EXPECT_EQ(LengthSquared(body->GetAngularVelocity()), 0.0f);
    for (const Vector4& v : body->velocityHistory) {
        EXPECT_EQ(LengthSquared(v), 0.0f);
    }
    EXPECT_EQ(body->stepsSinceWake, 0);
    EXPECT_EQ(body->restCounter, 0);
}

TEST(Histories, OneEntryPerStepWrappingAfterTen) {
    World world;
    RigidBody* body = world->CreateRigidBody();
    body->SetMass(1.0f);
    CountingCallback callback;
    callback.forceToSet = {1.0f, 0.0f, 0.0f};
    body->CreateController(&callback, 0);
    for (int step = 0; step < 12; ++step) {
        world->Step(kTick, 1, nullptr);
        const int k = step % 10; // the step count before this step
        EXPECT_EQ(body->velocityHistory[k].x, body->GetLinearVelocity().x) << step;
    }
    // The force first acts in the second step, so step s ends with v = s·dt. Entry 1 was
    // overwritten by step 11; entry 2 still holds step 2.
    EXPECT_FLOAT_EQ(body->velocityHistory[1].x, 11.0f * kTick);
    EXPECT_FLOAT_EQ(body->velocityHistory[2].x, 2.0f * kTick);

    // All sub-steps of one step share an entry.
    World substeps;
    RigidBody* b = substeps->CreateRigidBody();
    b->SetLinearVelocity({1.0f, 0.0f, 0.0f});
    substeps->Step(kTick, 3, nullptr);
    EXPECT_EQ(b->velocityHistory[0].x, 1.0f);
    EXPECT_EQ(b->velocityHistory[1].x, 0.0f);
}

TEST(SetMassBadInput, IgnoresZeroNegativeAndNonFiniteMasses) {
    const float bad[] = {0.0f, -1.0f, -0.0f, std::numeric_limits<float>::quiet_NaN(),
                         std::numeric_limits<float>::infinity()};
    for (float m : bad) {
        World world(GameDesc(), &kGameGravity);
        RigidBody* body = world->CreateRigidBody();
        body->SetMass(2.0f);
        body->SetMass(m);
        EXPECT_EQ(body->GetMass(), 2.0f) << m;
        EXPECT_EQ(body->GetInverseMass(), 0.5f) << m;
        for (int i = 0; i < 5; ++i) {
            world->Step(kTick, 1, nullptr);
        }
        EXPECT_TRUE(std::isfinite(body->GetPosition().z)) << m;
        EXPECT_NEAR(body->GetLinearVelocity().z, -9.8f * 4.0f * kTick, 1e-5f) << m;
    }
}

TEST(SetInertia, SingularInertiaKeepsThePreviousInverse) {
    World world;
    RigidBody* body = world->CreateRigidBody();
    body->SetInertia({2.0f, 4.0f, 8.0f});
    body->SetInertia({0.0f, 1.0f, 1.0f});
    EXPECT_FLOAT_EQ(body->inverseInertia.At(0, 0), 0.5f);
    EXPECT_FLOAT_EQ(body->inverseInertia.At(1, 1), 0.25f);
    EXPECT_FLOAT_EQ(body->inverseInertia.At(2, 2), 0.125f);
    EXPECT_EQ(body->inertia.At(0, 0), 0.0f);
}

TEST(SupportRecords, StoreSupportChoosesTheSlot) {
    World world;
    RigidBody* owner = world->CreateRigidBody();
    AnimatedBody* ground = world->CreateAnimatedBody();
    RigidBody* box = world->CreateRigidBody();
    auto make = [&](Body* supporter, float x, float depth) {
        SupportRecord t;
        t.Set(supporter, {x, 0.0f, -0.5f}, {x, 0.0f, 0.5f}, {0.0f, 0.0f, 1.0f}, 1, 2);
        t.depth = depth;
        return t;
    };
    SupportRecord* slots = owner->supports;

    // With all slots free the last free one is used.
    owner->StoreSupport(make(ground, 0.0f, 0.03f));
    EXPECT_TRUE(slots[2].InUse());
    EXPECT_EQ(slots[2].supportClass, kSupportStatic);
    EXPECT_EQ(slots[2].owner, owner);
    EXPECT_EQ(slots[2].ownerMaterial, 1);
    EXPECT_EQ(slots[2].supporterMaterial, 2);
    EXPECT_EQ(slots[2].stamp, world->GetStepCount());

    // 0.06 away: a free slot.
    owner->StoreSupport(make(ground, 0.06f, 0.02f));
    EXPECT_FLOAT_EQ(slots[1].ownerPoint.x, 0.06f);
    EXPECT_EQ(ground->supportedBy.count, 2);
    EXPECT_EQ(ground->supportedBy.tail->record, &slots[1]);

    // 0.04 away from slot 2: that record is replaced and moves to the tail of the list.
    owner->StoreSupport(make(ground, -0.04f, 0.05f));
    EXPECT_FLOAT_EQ(slots[2].ownerPoint.x, -0.04f);
    EXPECT_FLOAT_EQ(slots[2].depth, 0.05f);
    EXPECT_FALSE(slots[0].InUse());
    EXPECT_EQ(ground->supportedBy.count, 2);
    EXPECT_EQ(ground->supportedBy.tail->record, &slots[2]);

    owner->StoreSupport(make(box, 1.0f, 0.01f));
    EXPECT_EQ(slots[0].supportClass, kSupportRigid);
    EXPECT_EQ(box->supportedBy.count, 1);

    // All three used and nothing near: the shallowest (the box, depth 0.01) goes.
    owner->StoreSupport(make(ground, -1.0f, 0.04f));
    EXPECT_FLOAT_EQ(slots[0].ownerPoint.x, -1.0f);
    EXPECT_EQ(slots[0].supporter, ground);
    EXPECT_EQ(box->supportedBy.count, 0);
    EXPECT_EQ(ground->supportedBy.count, 3);

    // Releasing the supporter releases every record resting on it.
    world->FreeBody(ground);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(slots[i].supportClass, kSupportFree) << i;
        EXPECT_EQ(slots[i].supporter, nullptr) << i;
        EXPECT_EQ(slots[i].stamp, 0) << i;
    }
}

TEST(SupportRecords, RestingValidAndWorldContact) {
    World world;
    RigidBody* owner = world->CreateRigidBody();
    RigidBody* rigid = world->CreateRigidBody();
    AnimatedBody* animated = world->CreateAnimatedBody();
    const float h = std::sqrt(0.5f);
    animated->SetOrientation({0.0f, 0.0f, h, h});
    animated->SetPosition({10.0f, 0.0f, 0.0f});

    SupportRecord t;
    t.Set(animated, {}, {1.0f, 0.0f, 0.0f}, {1.0f, 0.0f, 0.0f}, 0, 0);
    owner->StoreSupport(t);
    SupportRecord& onAnimated = owner->supports[2];
    EXPECT_FALSE(onAnimated.IsSupportResting());
    world->Step(kTick, 0, nullptr);
    EXPECT_TRUE(onAnimated.IsSupportResting());
    EXPECT_TRUE(onAnimated.IsSupportValid(*world.sim));
    const Vector4 p = onAnimated.GetWorldContact();
    EXPECT_NEAR(p.x, 10.0f, 1e-6f);
    EXPECT_NEAR(p.y, 1.0f, 1e-6f);
    EXPECT_NEAR(onAnimated.worldNormal.y, 1.0f, 1e-6f);
    animated->SetEnabled(0, nullptr);
    EXPECT_FALSE(onAnimated.IsSupportValid(*world.sim));

    t.Set(rigid, {2.0f, 0.0f, 0.0f}, {}, {0.0f, 0.0f, 1.0f}, 0, 0);
    owner->StoreSupport(t);
    SupportRecord& onRigid = owner->supports[1];
    ASSERT_EQ(onRigid.supporter, rigid);
    EXPECT_FALSE(onRigid.IsSupportResting());
    rigid->Sleep();
    EXPECT_TRUE(onRigid.IsSupportResting());

    t.Set(world->GetWorldBody(), {-2.0f, 0.0f, 0.0f}, {}, {0.0f, 0.0f, 1.0f}, 0, 0);
    owner->StoreSupport(t);
    SupportRecord& onWorld = owner->supports[0];
    ASSERT_EQ(onWorld.supporter, world->GetWorldBody());
    EXPECT_EQ(onWorld.supportClass, kSupportStatic);
    EXPECT_TRUE(onWorld.IsSupportValid(*world.sim));
    EXPECT_TRUE(onWorld.IsSupportResting());

    // Freeing the owner unhooks its records from every supporter.
    world->FreeBody(owner);
    EXPECT_EQ(rigid->supportedBy.count, 0);
    EXPECT_EQ(world->GetWorldBody()->supportedBy.count, 0);
    EXPECT_EQ(world->GetWorldBody()->supportedBy.head, nullptr);
}

// The quaternion rate follows every store of angular momentum, as seen from outside a step: after
// the owner's impulses and momentum changes at once, after a step for the solver's impulses, and
// a new orientation leaves the rate of the old one until the next store.
TEST(QuaternionRate, MatchesTheStoredMomentumWheneverRead) {
    World world(GameDesc(), &kGameGravity);
    RigidBody* floor = world->CreateRigidBody();
    floor->CreateGeometry()->SetBox(4.0f, 4.0f, 1.0f);
    floor->SetGravityEnabled(false);
    floor->UpdateBounds();
    RigidBody* body = world->CreateRigidBody();
    body->CreateGeometry()->SetBox(1.0f, 2.0f, 0.5f);
    body->SetInertia({0.4f, 0.2f, 0.6f, 0.0f});
    body->UpdateBounds();
    body->SetOrientation({0.1f, 0.2f, 0.3f, 0.9f});
    body->SetPosition({0.3f, -0.2f, 0.7f});
    world->Step(kTick, 1, nullptr);

    auto expectRate = [](const RigidBody& b, const Vector4& q, const char* when) {
        const Vector4 want = QuatRate(b.GetAngularVelocity(), q);
        EXPECT_EQ(b.quaternionRate.x, want.x) << when;
        EXPECT_EQ(b.quaternionRate.y, want.y) << when;
        EXPECT_EQ(b.quaternionRate.z, want.z) << when;
        EXPECT_EQ(b.quaternionRate.w, want.w) << when;
    };
    body->ApplyImpulseAtPoint({0.5f, -0.3f, 0.2f}, body->GetPosition() + Vector4{0.4f, 0.1f, -0.2f});
    expectRate(*body, body->GetOrientation(), "impulse");
    body->SetAngularMomentum({0.3f, 0.7f, -0.2f});
    expectRate(*body, body->GetOrientation(), "momentum");
    const Vector4 before = body->GetOrientation();
    body->SetOrientation({0.0f, 0.3f, 0.0f, 0.95f});
    expectRate(*body, before, "turned");
    for (int i = 0; i < 20; ++i) {
        world->Step(kTick, 1, nullptr);
        expectRate(*body, body->GetOrientation(), "step");
        expectRate(*floor, floor->GetOrientation(), "step");
    }
}
