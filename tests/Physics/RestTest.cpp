#include "Physics/RestDetection.h"
#include "PhysicsTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace Physics;
using PhysicsTest::GameDesc;
using PhysicsTest::kGameGravity;
using PhysicsTest::kTick;
using PhysicsTest::World;

namespace {

Vector4 AxisAngle(float x, float y, float z, float angle) {
    const float s = std::sin(angle * 0.5f);
    return {x * s, y * s, z * s, std::cos(angle * 0.5f)};
}

// A body resting on the world body at the given owner points (body frame), with gravity's pull.
struct Supported {
    World world{GameDesc(), &kGameGravity};
    RigidBody* body = nullptr;

    explicit Supported(std::initializer_list<Vector4> points) {
        world->Step(kTick, 1, nullptr);
        body = world->CreateRigidBody();
        body->SetPosition({0.0f, 0.0f, 0.5f});
        for (const Vector4& p : points) {
            SupportRecord t;
            t.Set(world->GetWorldBody(), p, p + Vector4{0.0f, 0.0f, 0.5f, 0.0f}, {0.0f, 0.0f, 1.0f, 0.0f}, 0, 0);
            t.depth = 0.01f;
            body->StoreSupport(t);
        }
        int count = 0;
        for (int slot = 0; slot < RigidBody::kSupportSlots; ++slot) {
            if (body->supports[slot].InUse()) {
                body->supports[slot].Update();
                body->supportIndices[count++] = slot;
            }
        }
        body->supportCount = count;
        body->forceSum = {0.0f, 0.0f, -9.8f, 0.0f};
    }
};

} // namespace

TEST(RestDetection, PointInEnlargedTriangleTable) {
    struct Case {
        const char* name;
        Vector4 a, b, c;
        int32_t inside;
    };
    const Case cases[] = {
        {"around the origin", {-1, -1, 0}, {-1, 1, 0}, {2, 0, 0}, 1},
        {"the other winding", {-1, 1, 0}, {-1, -1, 0}, {2, 0, 0}, 1},
        {"outside, within the 10% growth", {0.05f, -1, 0}, {0.05f, 1, 0}, {2, 0, 0}, 1},
        {"beyond the growth", {0.1f, -1, 0}, {0.1f, 1, 0}, {2, 0, 0}, 0},
        {"degenerate", {1, 0, 0}, {2, 0, 0}, {3, 0, 0}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(PointInEnlargedTriangle(c.a, c.b, c.c), c.inside);
    }
}

TEST(RestDetection, RestStabilityTable) {
    struct Case {
        const char* name;
        std::initializer_list<Vector4> points;
        int32_t stability;
    };
    const Case cases[] = {
        {"three supports around the centre", {{-0.5f, -0.5f, -0.5f}, {0.5f, -0.5f, -0.5f}, {0.0f, 0.5f, -0.5f}}, 3},
        {"three supports beside the centre", {{0.2f, -0.5f, -0.5f}, {0.5f, -0.5f, -0.5f}, {0.5f, 0.5f, -0.5f}}, 0},
        {"an edge 0.004 from the centre", {{0.004f, -0.5f, -0.5f}, {0.004f, 0.5f, -0.5f}}, 2},
        {"an edge 0.006 from the centre", {{0.006f, -0.5f, -0.5f}, {0.006f, 0.5f, -0.5f}}, 0},
        {"one point under the centre", {{0.0f, 0.003f, -0.5f}}, 1},
        {"one point off the centre", {{0.0f, 0.006f, -0.5f}}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Supported s(c.points);
        EXPECT_EQ(s.body->RestStability(), c.stability);
        s.body->forceSum = Vector4();
        EXPECT_EQ(s.body->RestStability(), 3) << "no net force is always stable";
    }
}

TEST(RestDetection, SupportsHoldReleasesARecordThatCameApart) {
    Supported s({{-0.5f, -0.5f, -0.5f}, {0.5f, -0.5f, -0.5f}, {0.0f, 0.5f, -0.5f}});
    s.body->stackNode = nullptr;
    EXPECT_EQ(s.body->SupportsHold(), 0) << "no stack node";

    StackNode node;
    node.body = s.body;
    s.body->stackNode = &node;
    EXPECT_EQ(s.body->SupportsHold(), 1);
    node.supportOnly = 1;
    EXPECT_EQ(s.body->SupportsHold(), 0);
    node.supportOnly = 0;

    // 0.05 apart: 0.0025 > 0.002.
    s.body->position.z += 0.05f;
    EXPECT_EQ(s.body->SupportsHold(), 0);
    EXPECT_EQ(s.body->supportCount, 0);
    int inUse = 0;
    for (const SupportRecord& r : s.body->supports) {
        inUse += r.InUse() ? 1 : 0;
    }
    EXPECT_EQ(inUse, 2);
    s.body->stackNode = nullptr;
}

TEST(RestDetection, IsSettledTable) {
    struct Case {
        const char* name;
        int32_t steps;
        Vector4 move;
        Vector4 turn; // orientation
        Vector4 velocity;
        int32_t settled;
    };
    const Vector4 still{0.0f, 0.0f, 0.0f, 1.0f};
    const Case cases[] = {
        {"59 steps after a wake", 59, {}, still, {}, 0},
        {"60 still steps", 60, {}, still, {}, 1},
        {"moved 0.1 in the window", 60, {0.1f, 0.0f, 0.0f}, still, {}, 0},
        {"turned 1 rad", 60, {}, AxisAngle(0, 0, 1, 1.0f), {}, 1},
        {"turned 4.5 rad", 60, {}, AxisAngle(0, 0, 1, 4.5f), {}, 0},
        {"no turn, written as -q", 60, {}, {0.0f, 0.0f, 0.0f, -1.0f}, {}, 1},
        {"velocity changed by 2.1", 60, {}, still, {2.1f, 0.0f, 0.0f}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        World world(GameDesc(), nullptr);
        world->Step(kTick, 1, nullptr);
        RigidBody* body = world->CreateRigidBody();
        body->Wake();
        body->stepsSinceWake = c.steps;
        body->position += c.move;
        body->orientation = c.turn;
        body->linearVelocity = c.velocity;
        EXPECT_EQ(body->IsSettled(), c.settled);
        if (c.settled == 0 && c.steps >= 60) {
            EXPECT_EQ(body->stepsSinceWake, 0) << "the window restarts";
        }
    }
}

TEST(RestDetection, SleepingBodyWakesOnlyFromASleepThresholdImpulse) {
    struct Case {
        float speedSquared;
        bool wakes;
    };
    for (const Case c : {Case{0.99f, false}, Case{1.0f, true}}) {
        SCOPED_TRACE(c.speedSquared);
        World world(GameDesc(), nullptr);
        RigidBody* body = world->CreateRigidBody();
        world->Step(kTick, 1, nullptr);
        body->Sleep();
        body->ApplyImpulse({std::sqrt(c.speedSquared), 0.0f, 0.0f, 0.0f}, Vector4());
        ASSERT_TRUE(body->IsAsleep());
        world->Step(kTick, 1, nullptr);
        EXPECT_EQ(!body->IsAsleep(), c.wakes);
        if (!c.wakes) {
            EXPECT_EQ(body->GetLinearVelocity().x, 0.0f);
        }
    }
}

TEST(RestDetection, BoxOnTheGroundSleepsByItsRestCounterAndStaysPut) {
    World world(GameDesc(), &kGameGravity);
    AnimatedBody* floor = world->CreateAnimatedBody();
    floor->CreateGeometry()->SetBox(10.0f, 10.0f, 1.0f);
    floor->UpdateBounds();
    floor->SetPosition({0.0f, 0.0f, -0.5f});
    RigidBody* box = world->CreateRigidBody();
    box->CreateGeometry()->SetBox(1.0f, 1.0f, 1.0f);
    box->SetInertia({1.0f / 6.0f, 1.0f / 6.0f, 1.0f / 6.0f, 0.0f});
    box->UpdateBounds();
    box->SetPosition({0.0f, 0.0f, 0.7f});
    int slept = 0;
    for (int i = 1; i <= 450 && !box->IsAsleep(); ++i) {
        world->Step(kTick, 1, nullptr);
        slept = i;
    }
    ASSERT_TRUE(box->IsAsleep()) << "within 3 s of a 0.2 m drop";
    const Vector4 pose = box->GetPosition();
    const Vector4 q = box->GetOrientation();
    for (int i = 0; i < 100; ++i) {
        world->Step(kTick, 1, nullptr);
    }
    EXPECT_TRUE(box->IsAsleep());
    EXPECT_EQ(box->GetPosition().x, pose.x);
    EXPECT_EQ(box->GetPosition().z, pose.z);
    EXPECT_EQ(box->GetOrientation().w, q.w);
    EXPECT_GT(slept, 10);
}

TEST(RestDetection, RestCounterSleepsAtElevenOnThreeSupportsAndAtOneHundredAndOneOnTwo) {
    struct Case {
        const char* name;
        std::initializer_list<Vector4> points;
        int sleepsAt; // 0: never within 150 steps
    };
    const Case cases[] = {
        {"three supports around the centre", {{-0.5f, -0.5f, -0.5f}, {0.5f, -0.5f, -0.5f}, {0.0f, 0.5f, -0.5f}}, 11},
        {"two supports in line with the centre", {{0.0f, -0.5f, -0.5f}, {0.0f, 0.5f, -0.5f}}, 101},
        {"two supports 0.006 beside the centre", {{0.006f, -0.5f, -0.5f}, {0.006f, 0.5f, -0.5f}}, 0},
        {"one support under the centre", {{0.0f, 0.0f, -0.5f}}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Supported s(c.points);
        StackNode node;
        node.body = s.body;
        s.body->stackNode = &node;
        int slept = 0;
        for (int step = 1; step <= 150 && slept == 0; ++step) {
            s.body->UpdateRestCounter();
            if (s.body->IsAsleep()) {
                slept = step;
            }
        }
        EXPECT_EQ(slept, c.sleepsAt);
        EXPECT_EQ(s.body->restCounter, c.sleepsAt == 0 ? 150 : c.sleepsAt);
        s.body->stackNode = nullptr;
    }
}

TEST(RestDetection, RestCounterLooksAtTheTenStepMeansOnceTheBodyMoves) {
    // Moving at |v|² >= 1: the mean over the history decides; its downward part does not count.
    struct Case {
        const char* name;
        Vector4 meanVelocity;
        Vector4 meanSpin;
        bool counts;
    };
    const Case cases[] = {
        {"falling straight down fast", {0.0f, 0.0f, -5.0f}, {}, true},
        {"sliding at |a|² = 1.96", {1.4f, 0.0f, 0.0f}, {}, true},
        {"sliding at |a|² = 2.25", {1.5f, 0.0f, 0.0f}, {}, false},
        {"rising at |a|² = 2.25", {0.0f, 0.0f, 1.5f}, {}, false},
        {"spinning at |b|² = 0.81", {}, {0.9f, 0.0f, 0.0f}, true},
        {"spinning at |b|² = 1.21", {}, {1.1f, 0.0f, 0.0f}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        World world(GameDesc(), &kGameGravity);
        RigidBody* body = world->CreateRigidBody();
        body->linearVelocity = {2.0f, 0.0f, 0.0f, 0.0f};
        for (int i = 0; i < RigidBody::kHistoryLength; ++i) {
            body->velocityHistory[i] = c.meanVelocity;
            body->angularVelocityHistory[i] = c.meanSpin;
        }
        body->restCounter = 5;
        body->UpdateRestCounter();
        EXPECT_EQ(body->restCounter, c.counts ? 6 : 0);
    }
}

namespace {

class IdleController final : public ControllerCallback {
public:
    void OnTick(Controller*, float) override {}
};

SimulatorDesc TenBodies() {
    SimulatorDesc desc = GameDesc();
    desc.rigidBodiesCount = 10;
    return desc;
}

// Boxes asleep on a floor: two alone, one on another, one with a ray and one with a controller.
struct SleepingBoxes {
    World world{TenBodies(), &kGameGravity};
    AnimatedBody* floor = nullptr;
    RigidBody* lone = nullptr;
    RigidBody* far = nullptr;
    RigidBody* bottom = nullptr;
    RigidBody* top = nullptr;
    RigidBody* withRay = nullptr;
    RigidBody* driven = nullptr;
    IdleController idle;

    SleepingBoxes() {
        floor = world->CreateAnimatedBody();
        floor->CreateGeometry()->SetBox(40.0f, 40.0f, 1.0f);
        floor->UpdateBounds();
        floor->SetPosition({0.0f, 0.0f, -0.5f});
        lone = Box(0.0f, 0.0f, 0.505f);
        far = Box(6.0f, 0.0f, 0.505f);
        bottom = Box(0.0f, 6.0f, 0.505f);
        top = Box(0.0f, 6.0f, 1.515f);
        withRay = Box(-6.0f, 0.0f, 0.505f);
        withRay->CreateSensor()->SetRay({0.0f, 0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, -1.0f, 0.0f});
        driven = Box(0.0f, -6.0f, 0.505f);
        driven->CreateController(&idle, 0);
        for (int i = 0; i < 600; ++i) {
            world->Step(kTick, 1, nullptr);
        }
    }

    RigidBody* Box(float x, float y, float z) {
        RigidBody* b = world->CreateRigidBody();
        b->CreateGeometry()->SetBox(1.0f, 1.0f, 1.0f);
        b->SetInertia({1.0f / 6.0f, 1.0f / 6.0f, 1.0f / 6.0f, 0.0f});
        b->UpdateBounds();
        b->SetPosition({x, y, z});
        return b;
    }
};

} // namespace

TEST(RestDetection, SleepingBodiesParkUntilSomethingReachesThem) {
    {
        SleepingBoxes s;
        for (RigidBody* b : {s.lone, s.far, s.bottom, s.top, s.withRay, s.driven}) {
            ASSERT_TRUE(b->IsAsleep()) << "box " << b->GetId();
        }
        for (RigidBody* b : {s.lone, s.far, s.bottom, s.top}) {
            EXPECT_TRUE(b->parked != 0) << "box " << b->GetId();
        }
        // A ray is cast and a controller called on every tick, asleep or not.
        EXPECT_FALSE(s.withRay->parked != 0);
        EXPECT_FALSE(s.driven->parked != 0);
    }
    struct Case {
        const char* name;
        void (*reach)(SleepingBoxes& s);
        bool lone, far, bottom, top; // unparked by it
    };
    const Case cases[] = {
        {"a setter", [](SleepingBoxes& s) { s.lone->SetPosition(s.lone->GetPosition()); }, true, false, false, false},
        {"an impulse",
         [](SleepingBoxes& s) {
             s.lone->ApplyImpulse({0.1f, 0.0f, 0.0f, 0.0f}, Vector4());
         },
         true, false, false, false},
        {"its bounds rebuilt", [](SleepingBoxes& s) { s.far->UpdateBounds(); }, false, true, false, false},
        // The box on top rested on a body at rest: it is looked at again when that one wakes.
        {"its support woken", [](SleepingBoxes& s) { s.bottom->Wake(); }, false, false, true, true},
        {"the top woken", [](SleepingBoxes& s) { s.top->Wake(); }, false, false, false, true},
        {"the floor moved",
         [](SleepingBoxes& s) {
             s.floor->SetPosition({0.0f, 0.0f, -0.5f});
         },
         true, true, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SleepingBoxes s;
        c.reach(s);
        EXPECT_EQ(s.lone->parked == 0, c.lone);
        EXPECT_EQ(s.far->parked == 0, c.far);
        EXPECT_EQ(s.bottom->parked == 0, c.bottom);
        EXPECT_EQ(s.top->parked == 0, c.top);
    }
}
