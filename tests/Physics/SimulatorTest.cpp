#include "PhysicsTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>

using namespace Physics;
using PhysicsTest::GameDesc;
using PhysicsTest::MessageLog;
using PhysicsTest::World;

TEST(SimulatorCreation, GravityAndDerivedValues)
{
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

TEST(SimulatorCreation, NonFiniteGravityHasZeroLength)
{
    const Vector4 g{0.0f, 0.0f, std::numeric_limits<float>::infinity(), 0.0f};
    World world(GameDesc(), &g);
    ASSERT_NE(world.sim, nullptr);
    EXPECT_EQ(world->GetGravityLength(), 0.0f);
}

TEST(SimulatorMaterials, DefaultsAndGameTable)
{
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

TEST(CollisionGroups, SetAndGetRules)
{
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

TEST(CollisionGroups, GameSettingsReadBackInBothOrders)
{
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

TEST(CollisionGroups, OutOfRangeGroupsNeverIndexTheTable)
{
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

TEST(SimulatorPools, RigidIdsReuseAndExhaustion)
{
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

TEST(SimulatorPools, AnimatedAndParticleIds)
{
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

TEST(SimulatorPools, BodiesAreAppendedAndProcessedInCreationOrder)
{
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

TEST(SimulatorBadInput, FreeingInvalidBodiesReportsAndChangesNothing)
{
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

TEST(SimulatorBadInput, PoolsRunningOutReportTheirMessages)
{
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

TEST(SimulatorBadInput, MessagesAreDroppedWithoutCallbackOrAboveErrorLevel)
{
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
    void* Alloc(std::size_t size, int flags) override
    {
        EXPECT_EQ(flags, 0);
        if (allowed_-- <= 0) {
            return nullptr;
        }
        ++outstanding;
        return std::malloc(size == 0 ? 1 : size);
    }
    void Free(void* block) override
    {
        --outstanding;
        std::free(block);
    }
    int outstanding = 0;

private:
    int allowed_;
};

} // namespace

TEST(SimulatorBadInput, RefusedAllocationsGiveNullAndReturnEverything)
{
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

TEST(SimulatorStep, ReturnsCountAndClearsMovedFlagsEvenWithoutTicks)
{
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

TEST(SimulatorBadInput, NonPositiveOrNonFiniteStepRunsNoTick)
{
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

TEST(SimulatorStep, StatsModes)
{
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
