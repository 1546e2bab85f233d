#include "PhysicsTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>

using namespace Physics;
using PhysicsTest::GameDesc;
using PhysicsTest::MessageLog;
using PhysicsTest::World;

TEST(SimulatorCreation, GravityAndDerivedValues) {
    World world(GameDesc(), &PhysicsTest::kGameGravity);
    ASSERT_NE(world.sim, nullptr);
    EXPECT_FLOAT_EQ(world->GetGravity().z, -9.8f);
    EXPECT_FLOAT_EQ(world->GetGravityDirection().z, -1.0f);
    EXPECT_FLOAT_EQ(world->GetGravityLength(), 9.8f);
    EXPECT_EQ(world->GetStepCount(), 0);
    EXPECT_FLOAT_EQ(world->GetSleepThreshold(), 1.0f);

    const AnimatedBody* ground = world->GetWorldBody();
    EXPECT_EQ(ground->GetId(), -1);
    EXPECT_TRUE(ground->IsEnabled());
    EXPECT_EQ(ground->GetUserData(), nullptr);
    EXPECT_EQ(ground->GetKind(), kBodyAnimated);

    World weightless;
    ASSERT_NE(weightless.sim, nullptr);
    EXPECT_FLOAT_EQ(LengthSquared(weightless->GetGravity()), 0.0f);
    EXPECT_FLOAT_EQ(LengthSquared(weightless->GetGravityDirection()), 0.0f);
}

TEST(SimulatorCreation, NonFiniteGravityHasZeroLength) {
    const Vector4 g{0.0f, 0.0f, std::numeric_limits<float>::infinity(), 0.0f};
    World world(GameDesc(), &g);
    ASSERT_NE(world.sim, nullptr);
    EXPECT_EQ(world->GetGravityLength(), 0.0f);
}

TEST(SimulatorMaterials, DefaultsAndGameTable) {
    World world;
    float f = 0, r = 0, t = 0;
    for (int i : {0, 1, 100, 255}) {
        ASSERT_TRUE(world->GetMaterial(i, &f, &r, &t));
        EXPECT_FLOAT_EQ(f, 0.5f);
        EXPECT_FLOAT_EQ(r, 0.4f);
        EXPECT_FLOAT_EQ(t, 1.0f);
    }

    struct Entry {
        int index;
        float friction, restitution;
    };
    const Entry game[] = {{0, 1.0f, 1.0f}, {1, 0, 0}, {2, 0.5f, 0.5f}, {3, 0, 0}, {4, 0.5f, 0.5f}, {5, 1.0f, 0.5f}};
    for (const Entry& e : game) {
        EXPECT_TRUE(world->SetMaterial(e.index, e.friction, e.restitution));
    }
    for (const Entry& e : game) {
        ASSERT_TRUE(world->GetMaterial(e.index, &f, &r, &t));
        EXPECT_FLOAT_EQ(f, e.friction) << e.index;
        EXPECT_FLOAT_EQ(r, e.restitution) << e.index;
        EXPECT_FLOAT_EQ(t, 0.0f) << e.index;
    }
    ASSERT_TRUE(world->GetMaterial(6, &f, &r, &t));
    EXPECT_FLOAT_EQ(f, 0.5f);
    EXPECT_FLOAT_EQ(r, 0.4f);

    EXPECT_TRUE(world->SetMaterial(255, 0.25f, 0.75f));
    for (int bad : {256, -1, 1000}) {
        EXPECT_FALSE(world->SetMaterial(bad, 9.0f, 9.0f)) << bad;
        EXPECT_FALSE(world->GetMaterial(bad, &f, &r, &t)) << bad;
    }
    ASSERT_TRUE(world->GetMaterial(255, &f, &r, &t));
    EXPECT_FLOAT_EQ(f, 0.25f);
}

TEST(CollisionGroups, SetAndGetRules) {
    CollisionGroupMatrix m;
    EXPECT_EQ(m.Get(0, 0), 1);
    EXPECT_EQ(m.Get(63, 12), 1);
    EXPECT_EQ(m.Get(-1, 7), 1);
    EXPECT_EQ(m.Get(-1, -1), 0);

    m.Set(-1, -1, 5);
    EXPECT_EQ(m.Get(-1, -1), 0);
    m.Set(2, 5, 0);
    EXPECT_EQ(m.Get(5, 2), 0);
    EXPECT_EQ(m.Get(2, 5), 0);
    m.Set(-1, 4, 2);
    EXPECT_EQ(m.Get(4, -1), 2);
    EXPECT_EQ(m.Get(-1, 4), 2);
    EXPECT_EQ(m.Get(4, 4), 1);
}

TEST(CollisionGroups, GameSettingsReadBackInBothOrders) {
    World world;
    CollisionGroupMatrix& m = world->GetCollisionGroups();
    struct Setting {
        int a, b, value;
    };
    const Setting settings[] = {{0, -1, 3}, {0, 0, 3}, {0, 1, 3}, {1, -1, 1}, {1, 2, 0}, {0, 2, 1}, {0, 3, 0}};
    for (const Setting& s : settings) {
        m.Set(s.a, s.b, s.value);
    }
    for (const Setting& s : settings) {
        EXPECT_EQ(m.Get(s.a, s.b), s.value) << s.a << "," << s.b;
        EXPECT_EQ(m.Get(s.b, s.a), s.value) << s.b << "," << s.a;
    }
    EXPECT_EQ(m.Get(2, 2), 1);
    EXPECT_EQ(m.Get(3, -1), 1);
}

TEST(CollisionGroups, OutOfRangeGroupsNeverIndexTheTable) {
    CollisionGroupMatrix m;
    for (int bad : {64, 200, -2, -1000, 1 << 30}) {
        m.Set(bad, 0, 0);
        m.Set(0, bad, 0);
        m.Set(bad, -1, 0);
        EXPECT_EQ(m.Get(bad, 0), 0) << bad;
        EXPECT_EQ(m.Get(0, bad), 0) << bad;
    }
    EXPECT_EQ(m.Get(0, 0), 1);
    EXPECT_EQ(m.Get(0, -1), 1);
}

TEST(SimulatorPools, RigidIdsReuseAndExhaustion) {
    World world;
    MessageLog log(world.sim);
    RigidBody* bodies[5];
    for (int i = 0; i < 5; ++i) {
        bodies[i] = world->CreateRigidBody();
        ASSERT_NE(bodies[i], nullptr);
        EXPECT_EQ(bodies[i]->GetId(), i);
        EXPECT_TRUE(bodies[i]->IsInUse());
    }
    EXPECT_EQ(world->CreateRigidBody(), nullptr);
    EXPECT_TRUE(log.Contains("Run out of RigidBodies. Increase 'rigidBodiesCount'.\n"));

    world->FreeBody(bodies[2]);
    EXPECT_FALSE(bodies[2]->IsInUse());
    RigidBody* again = world->CreateRigidBody();
    EXPECT_EQ(again, bodies[2]);
    EXPECT_EQ(again->GetId(), 2);

    // The most recently freed slot is handed out first.
    world->FreeBody(bodies[0]);
    world->FreeBody(bodies[4]);
    EXPECT_EQ(world->CreateRigidBody()->GetId(), 4);
    EXPECT_EQ(world->CreateRigidBody()->GetId(), 0);
}

TEST(SimulatorPools, AnimatedAndParticleIds) {
    World world;
    MessageLog log(world.sim);
    AnimatedBody* a0 = world->CreateAnimatedBody();
    AnimatedBody* a1 = world->CreateAnimatedBody();
    ASSERT_NE(a1, nullptr);
    EXPECT_EQ(a0->GetId(), 5);
    EXPECT_EQ(a1->GetId(), 6);
    EXPECT_TRUE(a1->IsEnabled());
    const Matrix4 m = a1->GetWorldTransform();
    EXPECT_FLOAT_EQ(m.row[0].x, 1.0f);
    EXPECT_FLOAT_EQ(m.row[3].w, 1.0f);
    EXPECT_FLOAT_EQ(m.row[3].z, 0.0f);

    EXPECT_EQ(world->CreateRigidParticle(), nullptr);
    EXPECT_TRUE(log.Contains("Run out of RigidBodies. Increase 'rigidParticleCount'.\n"));

    SimulatorDesc desc = GameDesc();
    desc.rigidParticleCount = 2;
    World withParticles(desc);
    RigidBody* p = withParticles->CreateRigidParticle();
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->GetId(), 10);
    EXPECT_TRUE(p->IsParticle());
    withParticles->FreeBody(p);
    EXPECT_EQ(withParticles->EnabledParticles().count, 0);

    for (int i = 0; i < 3; ++i) {
        ASSERT_NE(world->CreateAnimatedBody(), nullptr);
    }
    EXPECT_EQ(world->CreateAnimatedBody(), nullptr);
}

TEST(SimulatorPools, BodiesAreAppendedAndProcessedInCreationOrder) {
    World world;
    RigidBody* a = world->CreateRigidBody();
    RigidBody* b = world->CreateRigidBody();
    RigidBody* c = world->CreateRigidBody();
    EXPECT_EQ(world->EnabledRigidBodies().head, a);
    EXPECT_EQ(world->EnabledRigidBodies().tail, c);
    b->SetEnabled(0, nullptr);
    EXPECT_EQ(world->EnabledRigidBodies().count, 2);
    EXPECT_EQ(world->DisabledRigidBodies().head, b);
    b->SetEnabled(1, nullptr);
    EXPECT_EQ(world->EnabledRigidBodies().tail, b);
    EXPECT_TRUE(b->IsEnabled());
}

TEST(SimulatorBadInput, FreeingInvalidBodiesReportsAndChangesNothing) {
    World world;
    MessageLog log(world.sim);
    RigidBody* r = world->CreateRigidBody();
    AnimatedBody* a = world->CreateAnimatedBody();
    world->FreeBody(r);
    world->FreeBody(a);
    log.Clear();

    world->FreeBody(r);
    world->FreeBody(a);
    EXPECT_EQ(log.All().size(), 2u);
    EXPECT_TRUE(log.Contains("Trying to Free invalid RigidBody.\n"));
    EXPECT_TRUE(log.Contains("Trying to Free invalid AnimatedBody.\n"));
    EXPECT_EQ(world->RigidBodyPool().FreeCount(), 5);
    EXPECT_EQ(world->AnimatedBodyPool().FreeCount(), 5);

    log.Clear();
    world->FreeBody(world->GetWorldBody());
    world->FreeBody(nullptr);
    EXPECT_EQ(log.All().size(), 2u);
    EXPECT_TRUE(world->GetWorldBody()->IsEnabled());

    // A freed slot taken again is a live body; freeing the old pointer now frees the new one once.
    RigidBody* again = world->CreateRigidBody();
    EXPECT_EQ(again, r);
    world->FreeBody(again);
    EXPECT_EQ(world->EnabledRigidBodies().count, 0);
}

TEST(SimulatorBadInput, PoolsRunningOutReportTheirMessages) {
    SimulatorDesc desc = GameDesc();
    desc.geometriesCount = 1;
    desc.sensorsCount = 1;
    desc.constraintSetsCount = 1;
    World world(desc);
    MessageLog log(world.sim);
    RigidBody* body = world->CreateRigidBody();
    ASSERT_NE(body->CreateGeometry(), nullptr);
    ASSERT_NE(body->CreateSensor(), nullptr);
    ASSERT_NE(body->CreateController(nullptr, 0), nullptr);
    EXPECT_EQ(body->CreateGeometry(), nullptr);
    EXPECT_EQ(body->CreateSensor(), nullptr);
    EXPECT_EQ(body->CreateController(nullptr, 0), nullptr);
    EXPECT_EQ(log.All(), (std::vector<std::string>{"Run out of Geometries. Increase 'geometriesCount'.\n",
                                                   "Run out of Sensors. Increase 'sensorsCount'.\n",
                                                   "Run out of Controllers. Increase 'constraintSetsCount'.\n"}));
    EXPECT_EQ(body->GetGeometryCount(), 1);

    // Freeing the body returns all three to their pools.
    world->FreeBody(body);
    EXPECT_EQ(world->GeometryPool().FreeCount(), 1);
    EXPECT_EQ(world->SensorPool().FreeCount(), 1);
    EXPECT_EQ(world->ControllerPool().FreeCount(), 1);
}

TEST(SimulatorBadInput, MessagesAreDroppedWithoutCallbackOrAboveErrorLevel) {
    World world;
    for (int i = 0; i < 5; ++i) {
        world->CreateRigidBody();
    }
    EXPECT_EQ(world->CreateRigidBody(), nullptr);
    EXPECT_STREQ(world->LastMessage(), "Run out of RigidBodies. Increase 'rigidBodiesCount'.\n");

    MessageLog log(world.sim);
    world->SetErrorLevel(0);
    EXPECT_EQ(world->CreateRigidBody(), nullptr);
    EXPECT_TRUE(log.All().empty());
}

namespace {

// Refuses the n-th allocation and every later one; counts what is still outstanding.
class FailingAllocator final : public SimulatorAllocator {
public:
    explicit FailingAllocator(int allowed) : allowed_(allowed) {}
    void* Alloc(std::size_t size, int flags) override {
        EXPECT_EQ(flags, 0);
        if (allowed_-- <= 0) {
            return nullptr;
        }
        ++outstanding;
        return std::malloc(size == 0 ? 1 : size);
    }
    void Free(void* block) override {
        --outstanding;
        std::free(block);
    }
    int outstanding = 0;

private:
    int allowed_;
};

} // namespace

TEST(SimulatorBadInput, RefusedAllocationsGiveNullAndReturnEverything) {
    int succeededAt = -1;
    for (int allowed = 0; allowed < 100; ++allowed) {
        FailingAllocator allocator(allowed);
        Simulator* sim = CreateSimulator(GameDesc(), &allocator, &PhysicsTest::kGameGravity);
        if (sim == nullptr) {
            EXPECT_EQ(allocator.outstanding, 0) << "after " << allowed << " allocations";
            continue;
        }
        succeededAt = allowed;
        RigidBody* b = sim->CreateRigidBody();
        b->CreateGeometry();
        sim->Step(PhysicsTest::kTick, 1, nullptr);
        DestroySimulator(sim);
        EXPECT_EQ(allocator.outstanding, 0);
        break;
    }
    EXPECT_GT(succeededAt, 5);
}

TEST(SimulatorStep, ReturnsCountAndClearsMovedFlagsEvenWithoutTicks) {
    World world(GameDesc(), &PhysicsTest::kGameGravity);
    AnimatedBody* a = world->CreateAnimatedBody();
    RigidBody* r = world->CreateRigidBody();
    r->SetPosition({0, 0, 10});
    a->SetPosition({1, 2, 3});
    EXPECT_TRUE(a->IsMoved());
    EXPECT_EQ(world->Step(PhysicsTest::kTick, 0, nullptr), 1);
    EXPECT_FALSE(a->IsMoved());
    EXPECT_EQ(r->GetPosition().z, 10.0f);
    EXPECT_EQ(world->Step(PhysicsTest::kTick, -3, nullptr), 2);
    EXPECT_EQ(r->GetPosition().z, 10.0f);
}

TEST(SimulatorBadInput, NonPositiveOrNonFiniteStepRunsNoTick) {
    const float bad[] = {0.0f, -PhysicsTest::kTick, std::numeric_limits<float>::quiet_NaN(),
                         std::numeric_limits<float>::infinity()};
    for (float dt : bad) {
        World world(GameDesc(), &PhysicsTest::kGameGravity);
        RigidBody* r = world->CreateRigidBody();
        r->SetPosition({0, 0, 10});
        world->Step(PhysicsTest::kTick, 1, nullptr);
        world->Step(PhysicsTest::kTick, 1, nullptr);
        const Vector4 before = r->GetPosition();
        const Vector4 velocity = r->GetLinearVelocity();
        EXPECT_EQ(world->Step(dt, 1, nullptr), 3) << dt;
        EXPECT_EQ(r->GetPosition().z, before.z) << dt;
        EXPECT_EQ(r->GetLinearVelocity().z, velocity.z) << dt;
        EXPECT_FLOAT_EQ(world->GetSubStep(), PhysicsTest::kTick) << dt;
        EXPECT_TRUE(std::isfinite(world->GetInverseSubStep())) << dt;
    }
}

TEST(SimulatorStep, StatsModes) {
    World world(GameDesc(), &PhysicsTest::kGameGravity);
    world->CreateRigidBody()->CreateGeometry();

    StepStats last;
    last.mode = 1;
    last.cleared[3] = 42.0f;
    world->Step(PhysicsTest::kTick, 3, &last);
    EXPECT_GE(last.result, 0.0f);
    EXPECT_LT(last.result, 1.0f);
    EXPECT_EQ(last.cleared[3], 0.0f);
    EXPECT_EQ(last.count, 0);

    StepStats average;
    for (int i = 0; i < 4; ++i) {
        world->Step(PhysicsTest::kTick, 1, &average);
    }
    EXPECT_EQ(average.count, 4);
    EXPECT_FLOAT_EQ(average.result, average.sum / 4.0f);
}

namespace {

// Records, per call, which body's controller ran and what it saw of one animated body.
class OrderProbe final : public ControllerCallback {
public:
    void OnTick(Controller* controller, float) override {
        order.push_back(controller->GetBody()->GetId());
        if (watched != nullptr) {
            moved.push_back(watched->IsMoved());
        }
    }
    std::vector<int> order;
    std::vector<bool> moved;
    const AnimatedBody* watched = nullptr;
};

} // namespace

TEST(SimulatorStep, BodiesAreSteppedInListOrderRigidBeforeParticles) {
    SimulatorDesc desc = GameDesc();
    desc.rigidParticleCount = 2;
    World world(desc);
    OrderProbe probe;
    RigidBody* particle = world->CreateRigidParticle(); // id 10, created first
    RigidBody* a = world->CreateRigidBody();            // id 0
    RigidBody* b = world->CreateRigidBody();            // id 1
    RigidBody* c = world->CreateRigidBody();            // id 2
    for (RigidBody* body : {particle, c, a, b}) {
        body->CreateController(&probe, 0);
    }
    struct Stage {
        const char* name;
        RigidBody* toggle; // disabled and enabled again before the step, or null
        std::vector<int> order;
    };
    const Stage stages[] = {
        {"creation order", nullptr, {0, 1, 2, 10}},
        {"re-enabled body goes last", a, {1, 2, 0, 10}},
        {"and again", c, {1, 0, 2, 10}},
    };
    for (const Stage& s : stages) {
        if (s.toggle != nullptr) {
            s.toggle->SetEnabled(0, nullptr);
            s.toggle->SetEnabled(1, nullptr);
        }
        probe.order.clear();
        world->Step(PhysicsTest::kTick, 1, nullptr);
        EXPECT_EQ(probe.order, s.order) << s.name;
    }
    // A disabled body is not visited at all.
    b->SetEnabled(0, nullptr);
    probe.order.clear();
    world->Step(PhysicsTest::kTick, 1, nullptr);
    EXPECT_EQ(probe.order, (std::vector<int>{0, 2, 10}));
}

TEST(SimulatorStep, AnimatedBodyMovedBetweenStepsCountsAsMovedForEverySubStepOfOneStep) {
    World world;
    AnimatedBody* gate = world->CreateAnimatedBody();
    AnimatedBody* parked = world->CreateAnimatedBody();
    RigidBody* body = world->CreateRigidBody();
    OrderProbe probe;
    probe.watched = gate;
    body->CreateController(&probe, 0);

    gate->SetPosition({1.0f, 0.0f, 0.0f});
    world->Step(PhysicsTest::kTick, 3, nullptr);
    EXPECT_EQ(probe.moved, (std::vector<bool>{true, true, true}));
    probe.moved.clear();
    world->Step(PhysicsTest::kTick, 3, nullptr);
    EXPECT_EQ(probe.moved, (std::vector<bool>{false, false, false}));

    // Orientation counts as a move too; only enabled bodies have their flag cleared.
    gate->SetOrientation({0.0f, 0.0f, 0.0f, 1.0f});
    parked->SetPosition({0.0f, 4.0f, 0.0f});
    parked->SetEnabled(0, nullptr);
    probe.moved.clear();
    world->Step(PhysicsTest::kTick, 2, nullptr);
    EXPECT_EQ(probe.moved, (std::vector<bool>{true, true}));
    EXPECT_FALSE(gate->IsMoved());
    EXPECT_TRUE(parked->IsMoved());
}

TEST(SimulatorStep, FirstPhaseClearsTheSensorHitsOfEveryEnabledBody) {
    struct Case {
        const char* name;
        bool animated;
        bool asleep;  // a sleeping RigidBody has no position step to clear them
        bool enabled; // disabled bodies are not visited
        int32_t ticks;
        bool cleared;
    };
    const Case cases[] = {
        {"animated body", true, false, true, 1, true},
        {"sleeping rigid body", false, true, true, 1, true},
        {"awake rigid body", false, false, true, 1, true},
        {"disabled animated body", true, false, false, 1, false},
        {"disabled rigid body", false, false, false, 1, false},
        {"step without ticks", true, false, true, 0, false},
    };
    for (const Case& c : cases) {
        World world;
        AnimatedBody* target = world->CreateAnimatedBody();
        Body* body = c.animated ? static_cast<Body*>(world->CreateAnimatedBody()) : world->CreateRigidBody();
        Sensor* s = body->CreateSensor();
        s->SetRay({}, {0.0f, 0.0f, -1.0f});
        if (c.asleep) {
            static_cast<RigidBody*>(body)->Sleep();
        }
        if (!c.enabled) {
            body->SetEnabled(0, nullptr);
        }
        s->hitDepth = 0.25f;
        s->hitBody = target;
        s->hitPoint = {0.0f, 0.0f, -0.75f};
        s->hitMaterial = 4;
        world->Step(PhysicsTest::kTick, c.ticks, nullptr);
        EXPECT_EQ(s->GetHitDepth(), c.cleared ? 0.0f : 0.25f) << c.name;
        EXPECT_EQ(s->GetHitBody(), c.cleared ? nullptr : target) << c.name;
        // Only depth and body are cleared.
        EXPECT_EQ(s->GetHitPoint().z, -0.75f) << c.name;
        EXPECT_EQ(s->GetHitMaterial(), 4) << c.name;
        if (c.asleep) {
            EXPECT_TRUE(static_cast<RigidBody*>(body)->IsAsleep()) << c.name;
        }
    }
}

TEST(SimulatorPools, FreeingADisabledBodyUnlinksItFromTheDisabledList) {
    World world;
    RigidBody* r0 = world->CreateRigidBody();
    RigidBody* r1 = world->CreateRigidBody();
    RigidBody* r2 = world->CreateRigidBody();
    AnimatedBody* a0 = world->CreateAnimatedBody();
    AnimatedBody* a1 = world->CreateAnimatedBody();
    r0->SetEnabled(0, nullptr);
    r1->SetEnabled(0, nullptr);
    a0->SetEnabled(0, nullptr);

    world->FreeBody(r0);
    world->FreeBody(a0);
    EXPECT_EQ(world->DisabledRigidBodies().count, 1);
    EXPECT_EQ(world->DisabledRigidBodies().head, r1);
    EXPECT_EQ(world->DisabledRigidBodies().tail, r1);
    EXPECT_EQ(world->EnabledRigidBodies().count, 1);
    EXPECT_EQ(world->EnabledRigidBodies().head, r2);
    EXPECT_EQ(world->DisabledAnimatedBodies().count, 0);
    EXPECT_EQ(world->DisabledAnimatedBodies().head, nullptr);
    EXPECT_EQ(world->EnabledAnimatedBodies().head, a1);
    EXPECT_EQ(world->EnabledAnimatedBodies().count, 1);

    // The freed slots come back enabled, at the tail of the enabled lists.
    EXPECT_EQ(world->CreateRigidBody(), r0);
    EXPECT_TRUE(r0->IsEnabled());
    EXPECT_EQ(world->EnabledRigidBodies().tail, r0);
    EXPECT_EQ(world->CreateAnimatedBody(), a0);
    EXPECT_TRUE(a0->IsEnabled());
    EXPECT_EQ(world->EnabledAnimatedBodies().tail, a0);
}

TEST(SimulatorCreation, GravityDirectionIsZeroBelowTheNormalisationLimit) {
    struct Case {
        Vector4 g;
        Vector4 direction;
        float length;
    };
    // |g|² = 1e-6 is the smallest square that still has a direction.
    const Case cases[] = {
        {{0.0f, 0.0f, -9.8f}, {0.0f, 0.0f, -1.0f}, 9.8f},
        {{3.0f, 0.0f, -4.0f}, {0.6f, 0.0f, -0.8f}, 5.0f},
        {{0.0f, 0.0f, -0.0009f}, {0.0f, 0.0f, 0.0f}, 0.0009f},
        {{0.0f, -0.0011f, 0.0f}, {0.0f, -1.0f, 0.0f}, 0.0011f},
    };
    for (const Case& c : cases) {
        World world(GameDesc(), &c.g);
        ASSERT_NE(world.sim, nullptr);
        for (int i = 0; i < 3; ++i) {
            EXPECT_NEAR(world->GetGravityDirection()[i], c.direction[i], 1e-6f) << c.g[1] << "," << c.g[2];
        }
        EXPECT_NEAR(world->GetGravityLength(), c.length, 1e-6f);
    }
}
