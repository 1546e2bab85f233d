#include "PhysicsTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>

using namespace Physics;
using PhysicsTest::GameDesc;
using PhysicsTest::kGameGravity;
using PhysicsTest::kTick;
using PhysicsTest::World;

namespace {

// A unit-mass body touching the world body 0.5 below its centre, normal up; the world has taken
// one step so that the sub-step is 1/150.
struct SingleContact {
    World world{GameDesc(), &kGameGravity};
    RigidBody* body = nullptr;
    ConstraintRow row{};

    explicit SingleContact(float depth = 0.03f, int material = 7) {
        world->Step(kTick, 1, nullptr);
        body = world->CreateRigidBody();
        body->SetMass(1.0f);
        row.type = kRestingContact;
        row.bodyA = body;
        row.bodyB = world->GetWorldBody();
        row.offsetA = {0.0f, 0.0f, -0.5f, 0.0f};
        row.normal = {0.0f, 0.0f, 1.0f, 0.0f};
        row.depth = depth;
        row.materialA = material;
        row.materialB = material;
        row.Prepare(false, false);
    }
};

void ExpectVec(const Vector4& v, float x, float y, float z, float tolerance = 1e-5f) {
    EXPECT_NEAR(v.x, x, tolerance);
    EXPECT_NEAR(v.y, y, tolerance);
    EXPECT_NEAR(v.z, z, tolerance);
}

} // namespace

TEST(SolveRows, RestingContactRestitutionThenPositionCorrection) {
    // Pass 1 bounces with e = 0.5 (v 0.5), pass 2 corrects the depth beyond the slop:
    // goal 0.5 · 150 · (depth - 0.0098), raised by goal - 0.5 v.
    struct Case {
        float depth;
        float expected;
    };
    const Case cases[] = {{0.03f, 1.765f}, {0.2f, 3.265f}, {0.009f, 0.5f}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.depth);
        SingleContact s(c.depth);
        ASSERT_TRUE(s.world->SetMaterial(7, 1.0f, 0.5f));
        s.row.Prepare(false, false);
        s.body->linearVelocity = {0.0f, 0.0f, -1.0f, 0.0f};
        ASSERT_TRUE(s.world->AppendContactRow(s.row));
        s.world->SolveRows(-1.0f, 2);
        EXPECT_NEAR(s.body->GetLinearVelocity().z, c.expected, 1e-4f);
        EXPECT_NEAR(s.body->GetLinearVelocity().x, 0.0f, 1e-6f);
        EXPECT_EQ(s.world->ContactRows().Size(), 0);
        EXPECT_TRUE(s.world->IsLastIteration());
    }
}

TEST(SolveRows, EmptyArraysReturnAtOnce) {
    SingleContact s;
    s.world->SolveRows(-1.0f, 2);
    EXPECT_FALSE(s.world->IsLastIteration());
    EXPECT_FALSE(s.world->IsSecondPass());
}

TEST(SolveRows, DepthIsCappedAndStoredBack) {
    SingleContact s(0.2f);
    s.world->SetSecondPass(true);
    s.world->SolveRow(s.row);
    EXPECT_FLOAT_EQ(s.row.depth, 0.05f);
}

TEST(FrictionCone, ImpulseTable) {
    // With the contact 0.5 below the centre and unit inertia, K = diag(1.25, 1.25, 1) in the
    // contact frame, so a = -vn.
    struct Case {
        const char* name;
        float friction, restitution;
        Vector4 frameVelocity;
        bool secondPass;
        Vector4 impulse;
    };
    const Case cases[] = {
        {"frictionless bounce", 0.0f, 0.5f, {0.3f, 0.0f, -1.0f}, false, {0.0f, 0.0f, 1.5f}},
        {"frictionless, tiny slip", 0.0f, 0.5f, {1e-7f, 0.0f, -1.0f}, false, {0.0f, 0.0f, 1.5f}},
        {"frictionless, second pass", 0.0f, 0.5f, {0.3f, 0.0f, -1.0f}, true, {0.0f, 0.0f, 1.0f}},
        {"sticking", 1.0f, 0.0f, {0.1f, 0.0f, -1.0f}, false, {-0.08f, 0.0f, 1.0f}},
        {"sliding on the cone", 0.1f, 0.0f, {2.0f, 0.0f, -1.0f}, false, {-0.1f, 0.0f, 1.0f}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SingleContact s;
        s.world->SetMaterial(7, c.friction, c.restitution);
        s.row.frameVelocity = c.frameVelocity;
        Vector4 j;
        s.world->FrictionConeImpulse(j, s.row, c.secondPass);
        ExpectVec(j, c.impulse.x, c.impulse.y, c.impulse.z);
    }
}

TEST(FrictionCone, MaterialsCombineByTheSmallerValue) {
    // Material 5 (friction 1.0, restitution 0.5) on material 0 (1.0, 1.0): no slip allowed,
    // half the approach speed back.
    SingleContact s;
    s.world->SetMaterial(0, 1.0f, 1.0f);
    s.world->SetMaterial(5, 1.0f, 0.5f);
    s.row.materialA = 5;
    s.row.materialB = 0;
    s.row.frameVelocity = {0.0f, 0.0f, -1.0f, 0.0f};
    Vector4 j;
    s.world->FrictionConeImpulse(j, s.row, false);
    ExpectVec(j, 0.0f, 0.0f, 1.5f);
    s.world->SetMaterial(0, 1.0f, 0.0f);
    s.world->FrictionConeImpulse(j, s.row, false);
    ExpectVec(j, 0.0f, 0.0f, 1.0f);
}

TEST(ContactImpulse, OneShotActsOnlyOnApproach) {
    struct Case {
        const char* name;
        float vz;
        float after;
    };
    // Default materials: restitution 0.4.
    const Case cases[] = {{"approaching", -1.0f, 0.4f}, {"resting", 0.0f, 0.0f}, {"separating", 0.5f, 0.5f}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SingleContact s(0.1f, 0);
        s.row.type = kCollisionContact;
        s.row.Prepare(false, false);
        s.body->linearVelocity = {0.0f, 0.0f, c.vz, 0.0f};
        s.world->ApplyContactImpulse(s.row.bodyA, s.row.bodyB, s.row, 1, 1.0f);
        EXPECT_NEAR(s.body->GetLinearVelocity().z, c.after, 1e-5f);
    }
}

TEST(ContactImpulse, NonFiniteVelocitiesAreNotPassedOn) {
    World world(GameDesc(), &kGameGravity);
    world->Step(kTick, 1, nullptr);
    RigidBody* top = world->CreateRigidBody();
    RigidBody* bottom = world->CreateRigidBody();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    top->linearVelocity = {0.0f, nan, -1.0f, 0.0f};
    bottom->linearVelocity = {0.0f, 0.0f, 0.0f, 0.0f};

    ConstraintRow row{};
    row.bodyA = top;
    row.bodyB = bottom;
    row.offsetA = {0.0f, 0.0f, -0.5f, 0.0f};
    row.offsetB = {0.0f, 0.0f, 0.5f, 0.0f};
    row.normal = {0.0f, 0.0f, 1.0f, 0.0f};
    row.depth = 0.03f;
    for (int type : {kCollisionContact, kRestingContact}) {
        row.type = type;
        row.Prepare(false, false);
        if (type == kCollisionContact) {
            world->ApplyContactImpulse(top, bottom, row, 1, 1.0f);
        } else {
            world->AppendContactRow(row);
            world->SolveRows(-1.0f, 2);
        }
        const Vector4& v = bottom->GetLinearVelocity();
        const Vector4& w = bottom->GetAngularVelocity();
        EXPECT_TRUE(std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z)) << type;
        EXPECT_TRUE(std::isfinite(w.x) && std::isfinite(w.y) && std::isfinite(w.z)) << type;
    }
}

TEST(ConstraintRowPrepare, TangentBasis) {
    Vector4 t1;
    Vector4 t2;
    BuildTangentBasis(t1, t2, {0.0f, 0.0f, 1.0f, 0.0f});
    ExpectVec(t1, 0.70710678f, 0.70710678f, 0.0f);
    ExpectVec(t2, -0.70710678f, 0.70710678f, 0.0f);
    BuildTangentBasis(t1, t2, {1.0f, 0.0f, 0.0f, 0.0f});
    ExpectVec(t1, 0.0f, 0.70710678f, 0.70710678f);
    ExpectVec(t2, 0.0f, -0.70710678f, 0.70710678f);

    std::srand(7);
    for (int i = 0; i < 1000; ++i) {
        Vector4 n{static_cast<float>(std::rand()) / RAND_MAX - 0.5f, static_cast<float>(std::rand()) / RAND_MAX - 0.5f,
                  static_cast<float>(std::rand()) / RAND_MAX - 0.5f, 0.0f};
        n = Normalize(n);
        if (LengthSquared(n) == 0.0f) {
            continue;
        }
        BuildTangentBasis(t1, t2, n);
        EXPECT_NEAR(Dot(t1, n), 0.0f, 1e-5f);
        EXPECT_NEAR(Dot(t2, n), 0.0f, 1e-5f);
        EXPECT_NEAR(Dot(t1, t2), 0.0f, 1e-5f);
        EXPECT_NEAR(Length(t1), 1.0f, 1e-5f);
        EXPECT_NEAR(Length(t2), 1.0f, 1e-5f);
    }
}

TEST(ConstraintRowPrepare, SingularMatrixKeepsThePreviousInverse) {
    SingleContact s;
    ConstraintRow row = s.row;
    row.bodyA = s.world->GetWorldBody(); // nothing takes part: K = 0
    row.bodyB = nullptr;
    row.inverseMassMatrix = Matrix3::Diagonal(2.0f, 3.0f, 4.0f);
    row.Prepare(false, false);
    EXPECT_FLOAT_EQ(row.massMatrix.At(2, 2), 0.0f);
    EXPECT_FLOAT_EQ(row.inverseMassMatrix.At(0, 0), 2.0f);
    EXPECT_FLOAT_EQ(row.inverseMassMatrix.At(2, 2), 4.0f);
}

TEST(ConstraintRowPrepare, DropSleepingSideTable) {
    World world(GameDesc(), &kGameGravity);
    RigidBody* a = world->CreateRigidBody();
    RigidBody* b = world->CreateRigidBody();
    struct Case {
        const char* name;
        float speed;
        bool aAsleep, bRigid, bAsleep;
        bool dropped, keepsA, keepsB;
    };
    const Case cases[] = {
        {"fast row is kept", 2.0f, true, true, true, false, true, true},
        {"A asleep on the ground", 0.5f, true, false, false, true, true, true},
        {"both asleep", 0.5f, true, true, true, true, true, true},
        {"A asleep, B awake", 0.5f, true, true, false, false, false, true},
        {"A awake, B asleep", 0.5f, false, true, true, false, true, false},
        {"both awake", 0.5f, false, true, false, false, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        a->sleepState = c.aAsleep ? kAsleep : kAwake;
        b->sleepState = c.bAsleep ? kAsleep : kAwake;
        ConstraintRow row{};
        row.speed = c.speed;
        row.bodyA = a;
        row.bodyB = c.bRigid ? static_cast<Body*>(b) : world->GetWorldBody();
        EXPECT_EQ(row.DropSleepingSide(), c.dropped);
        EXPECT_EQ(row.bodyA != nullptr, c.keepsA);
        EXPECT_EQ(row.bodyB != nullptr, c.keepsB);
    }
}

TEST(ContactRows, GrowByAHundredAndKeepTheirRows) {
    World world;
    ASSERT_EQ(world->ContactRows().Capacity(), 100);
    for (int i = 0; i < 101; ++i) {
        ConstraintRow row{};
        row.depth = static_cast<float>(i);
        ASSERT_TRUE(world->AppendContactRow(row));
    }
    EXPECT_EQ(world->ContactRows().Capacity(), 200);
    EXPECT_EQ(world->ContactRows().Size(), 101);
    for (int i = 0; i < 101; ++i) {
        EXPECT_EQ(world->ContactRows()[i].depth, static_cast<float>(i));
    }
}

namespace {

// Two unit-mass bodies: A rests on B, B on the world body, every contact through the centres
// (offsets 0, so K is the plain mass sum). Nothing bounces; only the lower row is deep enough to
// be corrected.
struct TwoRowStack {
    World world{GameDesc(), &kGameGravity};
    RigidBody* a = nullptr;
    RigidBody* b = nullptr;

    TwoRowStack() {
        world->Step(kTick, 1, nullptr);
        world->SetMaterial(7, 1.0f, 0.0f);
        a = world->CreateRigidBody();
        b = world->CreateRigidBody();
        a->SetMass(1.0f);
        b->SetMass(1.0f);
    }

    ConstraintRow Row(Body* upper, Body* lower, float depth) const {
        ConstraintRow row{};
        row.type = kRestingContact;
        row.bodyA = upper;
        row.bodyB = lower;
        row.normal = {0.0f, 0.0f, 1.0f, 0.0f};
        row.depth = depth;
        row.materialA = 7;
        row.materialB = 7;
        row.Prepare(false, false);
        return row;
    }
};

} // namespace

TEST(SolveRows, SweepsTopFirstAndLeavesTheLowerBodyAloneInTheLastIteration) {
    // Rows run from the bottom up (B on the world, then A on B) and are swept top first.
    // Pass 1 finds nothing approaching. Pass 2, first sweep: A-B at rest; B-world corrects
    // 0.03 - 0.0098 at 0.5 · 150 (vB = 1.515). Then A-B is re-prepared with B immovable.
    // Last sweep: A-B approaches at -1.515 and stops A alone (K = 1, vA = 1.515), B untouched;
    // B-world: goal 1.515 > vB = 1.515? no.
    // Had the rows been swept bottom first: pass 2 raises B to 1.515, then A-B shares it
    // (K = 2: vA = vB = 0.7575); re-prepared, the last sweep corrects B again by
    // 1.515 - 0.5 · 0.7575 = 1.13625 (vB = 1.89375), and A-B stops A alone (vA = 1.89375).
    TwoRowStack s;
    ASSERT_TRUE(s.world->AppendContactRow(s.Row(s.b, s.world->GetWorldBody(), 0.03f)));
    ASSERT_TRUE(s.world->AppendContactRow(s.Row(s.a, s.b, 0.0f)));
    s.world->SolveRows(-1.0f, 2);
    EXPECT_NEAR(s.a->GetLinearVelocity().z, 1.515f, 1e-4f);
    EXPECT_NEAR(s.b->GetLinearVelocity().z, 1.515f, 1e-4f);
}

TEST(SolveRows, IterationCountAndTheLastIterationRule) {
    // One row, A on a free B, corrected from rest: 0.5 · 150 · (0.03 - 0.0098) = 1.515 shared
    // through K = 2. With a single iteration that sweep is also the last one: B keeps still.
    struct Case {
        int iterations;
        float va, vb;
    };
    const Case cases[] = {{1, 0.7575f, 0.0f}, {2, 0.7575f, -0.7575f}, {-1, 0.7575f, -0.7575f}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.iterations);
        TwoRowStack s;
        ASSERT_TRUE(s.world->AppendContactRow(s.Row(s.a, s.b, 0.03f)));
        s.world->SolveRows(-1.0f, c.iterations);
        EXPECT_NEAR(s.a->GetLinearVelocity().z, c.va, 1e-4f);
        EXPECT_NEAR(s.b->GetLinearVelocity().z, c.vb, 1e-4f);
    }
}
