#include "Physics/BodyDump.h"
#include "Physics/Quaternion.h"
#include "PhysicsTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

using namespace Physics;
using PhysicsTest::GameDesc;
using PhysicsTest::kGameGravity;
using PhysicsTest::kTick;
using PhysicsTest::MessageLog;
using PhysicsTest::World;

namespace {

Vector4 AxisAngle(const Vector4& axis, float angle) {
    const float s = std::sin(angle * 0.5f);
    return {axis.x * s, axis.y * s, axis.z * s, std::cos(angle * 0.5f)};
}

Matrix4 Rotation(const Vector4& axis, float angle) {
    return Matrix4::FromRotationAndPosition(QuatToRows(AxisAngle(axis, angle)), {});
}

const Vector4 kX{1.0f, 0.0f, 0.0f, 0.0f};
const Vector4 kY{0.0f, 1.0f, 0.0f, 0.0f};
const Vector4 kZ{0.0f, 0.0f, 1.0f, 0.0f};

// A small box body of 1 kg with the solid box's inertia.
RigidBody* SmallBox(Simulator* sim, const Vector4& position, float size = 0.2f) {
    RigidBody* b = sim->CreateRigidBody();
    b->CreateGeometry()->SetBox(size, size, size);
    b->SetMass(1.0f);
    const float i = size * size / 6.0f;
    b->SetInertia({i, i, i, 0.0f});
    b->SetPosition(position);
    b->UpdateBounds();
    return b;
}

int CountRows(Simulator* sim, int32_t type) {
    int n = 0;
    for (int i = 0; i < sim->JointRows().Size(); ++i) {
        n += sim->JointRows()[i].type == type ? 1 : 0;
    }
    return n;
}

const ConstraintRow* FirstRow(Simulator* sim, int32_t type) {
    for (int i = 0; i < sim->JointRows().Size(); ++i) {
        if (sim->JointRows()[i].type == type) {
            return &sim->JointRows()[i];
        }
    }
    return nullptr;
}

// The complete elliptic integral of the first kind, by the arithmetic-geometric mean.
double EllipticK(double k) {
    double a = 1.0;
    double b = std::sqrt(1.0 - k * k);
    for (int i = 0; i < 20; ++i) {
        const double next = 0.5 * (a + b);
        b = std::sqrt(a * b);
        a = next;
    }
    return std::numbers::pi / (2.0 * a);
}

} // namespace

// Frames turned about the shared y axis: xA = R_y(θ) xB.
TEST(Joints, AnglesFromTheFrames) {
    struct Case {
        int32_t kind;
        float theta;
        float angle;
        float signedAngle;
    };
    const float twoPi = 6.2831855f;
    const float pi = 3.1415927f;
    const Case cases[] = {
        {kJointHinge, 0.0f, 0.0f, 0.0f}, {kJointHinge, 0.5f, 0.5f, 0.5f}, {kJointHinge, -0.5f, twoPi - 0.5f, -0.5f},
        {kJointHinge, pi, pi, -pi},      {kJointHinge, 3.0f, 3.0f, 3.0f}, {kJointBall, 0.0f, 0.0f, 0.0f},
        {kJointBall, 0.5f, 0.5f, 0.0f},  {kJointBall, -0.5f, 0.5f, 0.0f}, {kJointBall, pi, pi, 0.0f},
    };
    for (const Case& c : cases) {
        World world;
        RigidBody* a = world->CreateRigidBody();
        Joint* j = world->CreateJoint(c.kind, a, nullptr);
        ASSERT_NE(j, nullptr);
        j->localFrameA = Rotation(kY, c.theta);
        j->localFrameB = Matrix4::Identity();
        j->UpdateFramesAndAngle();
        SCOPED_TRACE(testing::Message() << "kind " << c.kind << " theta " << c.theta);
        EXPECT_NEAR(j->angle, c.angle, 2e-4f);
        if (c.kind == kJointHinge) {
            EXPECT_NEAR(j->signedAngle, c.signedAngle, 2e-4f);
            EXPECT_NEAR(j->limit.axis.y, 1.0f, 1e-6f);
        }
        if (c.kind == kJointBall && (c.theta == 0.0f || c.theta == pi)) {
            // Parallel or opposite x axes leave the cone axis at A's y axis.
            EXPECT_NEAR(Dot(j->limit.axis, j->worldFrameA.row[1]), 1.0f, 1e-6f);
        }
    }

    World world;
    RigidBody* a = world->CreateRigidBody();
    Joint* slider = world->CreateJoint(kJointSlider, a, nullptr);
    slider->localFrameA = Matrix4::Identity();
    slider->localFrameB = Matrix4::Identity();
    a->SetPosition({0.0f, 0.3f, 0.0f});
    slider->UpdateFramesAndAngle();
    EXPECT_NEAR(slider->angle, 0.3f, 1e-6f);
}

// What one joint appends to the joint rows, case by case.
TEST(Joints, RowsPerLimitMotorAndTwist) {
    struct Case {
        const char* name;
        int32_t kind;
        float turn;      // A's turn about y (hinge, ball) in radians
        Vector4 twistBy; // an extra turn of A about its x axis (ball)
        float slide;     // A moved along y (slider)
        bool limit;
        float lower, upper;
        float twist; // < 0: no twist limit
        float motorTarget;
        bool motor, secondMotor;
        int points, limitRows, twistRows, motorRows;
        float depth; // of the limit row, when there is one
        int32_t side;
    };
    const Case cases[] = {
        {"slider 0.2 beyond its upper bound",
         kJointSlider,
         0,
         {},
         0.3f,
         true,
         -0.1f,
         0.1f,
         -1,
         0,
         false,
         false,
         2,
         1,
         0,
         0,
         0.05f,
         0},
        {"slider below its lower bound",
         kJointSlider,
         0,
         {},
         -0.12f,
         true,
         -0.1f,
         0.1f,
         -1,
         0,
         false,
         false,
         2,
         1,
         0,
         0,
         0.02f,
         1},
        {"slider inside its bounds, motor",
         kJointSlider,
         0,
         {},
         0.05f,
         true,
         -0.1f,
         0.1f,
         -1,
         1,
         true,
         false,
         2,
         0,
         0,
         1,
         0,
         0},
        {"hinge past its upper bound, motor pushing on",
         kJointHinge,
         0.6f,
         {},
         0,
         true,
         -0.5f,
         0.5f,
         -1,
         1.0f,
         true,
         false,
         2,
         1,
         0,
         0,
         0.1f,
         0},
        {"hinge past its upper bound, motor pulling back",
         kJointHinge,
         0.6f,
         {},
         0,
         true,
         -0.5f,
         0.5f,
         -1,
         -1.0f,
         true,
         false,
         2,
         1,
         0,
         1,
         0.1f,
         0},
        {"hinge below its lower bound, motor pulling back",
         kJointHinge,
         -0.6f,
         {},
         0,
         true,
         -0.5f,
         0.5f,
         -1,
         1.0f,
         true,
         false,
         2,
         1,
         0,
         1,
         -0.1f,
         1},
        {"hinge: a positive lower bound reads 6.2 past the upper",
         kJointHinge,
         -0.0832f,
         {},
         0,
         true,
         0.1f,
         0.5f,
         -1,
         0,
         false,
         false,
         2,
         1,
         0,
         0,
         6.2f - 0.5f,
         0},
        {"hinge within its bounds", kJointHinge, 0.3f, {}, 0, true, -0.5f, 0.5f, -1, 0, false, false, 2, 0, 0, 0, 0, 0},
        {"the second motor block builds nothing",
         kJointHinge,
         0.0f,
         {},
         0,
         false,
         0,
         0,
         -1,
         1.0f,
         false,
         true,
         2,
         0,
         0,
         0,
         0,
         0},
        {"ball with twist inside its bound",
         kJointBall,
         0.2f,
         {1, 0, 0, 0.1f},
         0,
         true,
         0.0f,
         0.5f,
         0.3f,
         0,
         false,
         false,
         1,
         0,
         0,
         0,
         0,
         0},
        {"ball twisted past its bound",
         kJointBall,
         0.2f,
         {1, 0, 0, 0.5f},
         0,
         true,
         0.0f,
         0.5f,
         0.3f,
         0,
         false,
         false,
         1,
         0,
         1,
         0,
         0,
         0},
        {"ball beyond its cone", kJointBall, 0.7f, {}, 0, true, 0.0f, 0.5f, -1, 1.0f, true, false, 1, 1, 0, 0, 0.2f, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        World world;
        RigidBody* a = world->CreateRigidBody();
        Joint* j = nullptr;
        if (c.kind == kJointSlider) {
            j = world->CreateSliderJoint(a, nullptr, {}, kY);
            a->SetPosition({0.0f, c.slide, 0.0f});
        } else if (c.kind == kJointHinge) {
            j = world->CreateHingeJoint(a, nullptr, {}, kY);
        } else {
            j = world->CreateBallJoint(a, nullptr, {});
        }
        ASSERT_NE(j, nullptr);
        Vector4 q = AxisAngle(kY, c.turn);
        if (c.twistBy.w != 0.0f) {
            q = QuatMultiply(q, AxisAngle(kX, c.twistBy.w));
        }
        a->SetOrientation(q);
        if (c.limit) {
            ASSERT_TRUE(j->SetLimit(c.lower, c.upper));
        }
        if (c.twist >= 0.0f) {
            ASSERT_TRUE(j->SetTwist(c.twist));
        }
        if (c.motor) {
            ASSERT_TRUE(j->SetMotor(c.motorTarget, 5.0f));
        }
        if (c.secondMotor) {
            j->secondMotor.enabled = 1;
            j->secondMotor.target = c.motorTarget;
        }
        world->JointRows().Clear();
        int32_t iterations = -1;
        a->jointGroup->BuildRows(iterations);
        const int32_t pointType = c.kind == kJointSlider ? kLineJoint : kPointJoint;
        const int32_t limitType = c.kind == kJointSlider ? kLinearLimit : kAngularLimit;
        const int32_t motorType = c.kind == kJointSlider ? kLinearMotor : kAngularMotor;
        EXPECT_EQ(CountRows(world.sim, pointType), c.points);
        EXPECT_EQ(CountRows(world.sim, limitType), c.limitRows);
        EXPECT_EQ(CountRows(world.sim, kFramedAngularLimit), c.twistRows);
        EXPECT_EQ(CountRows(world.sim, motorType), c.motorRows);
        EXPECT_EQ(world->JointRows().Size(), c.points + c.limitRows + c.twistRows + c.motorRows);
        if (c.limitRows == 1) {
            const ConstraintRow* row = FirstRow(world.sim, limitType);
            EXPECT_NEAR(row->depth, c.depth, 2e-3f);
            EXPECT_EQ(j->limit.side, c.side);
            EXPECT_EQ(j->limit.active, 1);
        }
        EXPECT_EQ(a->jointGroup->visited, 1);
    }
}

TEST(Joints, GroupSolveTakesTheLargestIterationCount) {
    struct Case {
        int32_t first, second;
        int32_t expected;
    };
    for (const Case& c : {Case{6, 2, 6}, Case{-1, -1, -1}, Case{-1, 3, 3}}) {
        World world;
        RigidBody* a = world->CreateRigidBody();
        RigidBody* b = world->CreateRigidBody();
        Joint* j1 = world->CreateBallJoint(a, nullptr, {});
        Joint* j2 = world->CreateBallJoint(b, a, {});
        ASSERT_TRUE(j1->SetIterations(c.first));
        ASSERT_TRUE(j2->SetIterations(c.second));
        ASSERT_EQ(a->jointGroup, b->jointGroup);
        int32_t iterations = -1;
        a->jointGroup->BuildRows(iterations);
        EXPECT_EQ(iterations, c.expected);
        // An inactive joint builds nothing and asks for nothing.
        j1->SetActive(false);
        j2->SetActive(false);
        world->JointRows().Clear();
        iterations = -1;
        a->jointGroup->BuildRows(iterations);
        EXPECT_EQ(iterations, -1);
        EXPECT_EQ(world->JointRows().Size(), 0);
    }
}

TEST(Joints, ASleepingGroupBuildsNothingAndStaysAsleep) {
    World world(GameDesc(), &kGameGravity);
    RigidBody* a = SmallBox(world.sim, {0.0f, 0.0f, 1.0f});
    RigidBody* b = SmallBox(world.sim, {0.0f, 0.0f, 0.5f});
    Joint* j = world->CreateBallJoint(b, a, {0.0f, 0.0f, 0.75f});
    world->CreateBallJoint(a, nullptr, {0.0f, 0.0f, 1.25f});
    a->Sleep();
    b->Sleep();
    j->angle = 123.0f;
    for (int i = 0; i < 20; ++i) {
        world->Step(kTick, 1, nullptr);
    }
    EXPECT_EQ(j->angle, 123.0f);
    EXPECT_TRUE(a->IsAsleep());
    EXPECT_TRUE(b->IsAsleep());
}

namespace {

int g_reports = 0;
void CountReport(ContactReport*) { ++g_reports; }

} // namespace

// Two overlapping boxes joined by a joint: a rigid and an animated partner collide only when both
// allow it; two rigid partners share a group and are never paired.
TEST(Joints, PartnersCollideOnlyWhenBothAllowIt) {
    struct Case {
        bool animatedB;
        bool flagA, flagB;
        bool contact;
    };
    const Case cases[] = {
        {true, false, false, false}, {true, true, false, false}, {true, false, true, false},
        {true, true, true, true},    {false, true, true, false}, {false, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "animated " << c.animatedB << " flags " << c.flagA << c.flagB);
        World world;
        world->GetCollisionGroups().Set(0, 0, CollisionGroupMatrix::kCollide | CollisionGroupMatrix::kReport);
        world->SetContactCallback(&CountReport);
        g_reports = 0;
        RigidBody* a = SmallBox(world.sim, {0.0f, 0.0f, 0.0f}, 1.0f);
        Body* b = nullptr;
        if (c.animatedB) {
            AnimatedBody* anim = world->CreateAnimatedBody();
            anim->CreateGeometry()->SetBox(1.0f, 1.0f, 1.0f);
            anim->UpdateBounds();
            anim->SetPosition({0.5f, 0.0f, 0.0f});
            b = anim;
        } else {
            b = SmallBox(world.sim, {0.5f, 0.0f, 0.0f}, 1.0f);
        }
        ASSERT_NE(world->CreateBallJoint(a, b, {0.25f, 0.0f, 0.0f}), nullptr);
        a->SetCollideWithJointPartners(c.flagA);
        b->SetCollideWithJointPartners(c.flagB);
        const Vector4 before = a->GetPosition();
        world->Step(kTick, 1, nullptr);
        // The contact is reported either way once the pair is tested; only a solved one moves A.
        if (c.contact) {
            EXPECT_GT(Length(a->GetPosition() - before), 1e-3f);
        } else {
            EXPECT_LT(Length(a->GetPosition() - before), 1e-3f);
        }
        if (!c.animatedB) {
            EXPECT_EQ(g_reports, 0);
        }
    }
}

TEST(Joints, CreationRefusesBadBodiesAndInput) {
    World world;
    World other;
    MessageLog log(world.sim);
    RigidBody* a = world->CreateRigidBody();
    RigidBody* b = world->CreateRigidBody();
    AnimatedBody* animated = world->CreateAnimatedBody();
    RigidBody* freed = world->CreateRigidBody();
    world->FreeBody(freed);
    RigidBody* foreign = other->CreateRigidBody();
    const float nan = std::nanf("");
    const float inf = INFINITY;

    EXPECT_EQ(world->CreateJoint(kJointBall, nullptr, b), nullptr);
    EXPECT_EQ(world->CreateJoint(kJointBall, reinterpret_cast<RigidBody*>(animated), b), nullptr);
    EXPECT_EQ(world->CreateJoint(kJointBall, freed, b), nullptr);
    EXPECT_EQ(world->CreateJoint(kJointBall, a, freed), nullptr);
    EXPECT_EQ(world->CreateJoint(kJointBall, foreign, b), nullptr);
    EXPECT_EQ(world->CreateJoint(kJointBall, a, foreign), nullptr);
    EXPECT_EQ(world->CreateJoint(kJointBall, a, a), nullptr);
    EXPECT_EQ(world->CreateJoint(1, a, b), nullptr);
    EXPECT_EQ(world->CreateBallJoint(a, b, {nan, 0.0f, 0.0f}), nullptr);
    EXPECT_EQ(world->CreateHingeJoint(a, b, {}, {0.0f, 0.0f, 0.0f}), nullptr);
    EXPECT_EQ(world->CreateSliderJoint(a, b, {}, {inf, 0.0f, 0.0f}), nullptr);
    EXPECT_EQ(world->JointPool().UsedCount(), 0);
    EXPECT_EQ(world->JointGroupPool().UsedCount(), 0);
    EXPECT_EQ(a->jointCount, 0);

    Joint* j = world->CreateHingeJoint(a, b, {}, kZ);
    ASSERT_NE(j, nullptr);
    const Joint saved = *j;
    EXPECT_FALSE(j->SetLimit(nan, 1.0f));
    EXPECT_FALSE(j->SetLimit(1.0f, -1.0f));
    EXPECT_FALSE(j->SetTwist(-1.0f));
    EXPECT_FALSE(j->SetMotor(inf, 1.0f));
    EXPECT_FALSE(j->SetDamping(nan));
    EXPECT_FALSE(j->SetIterations(-2));
    EXPECT_FALSE(j->SetPoint(2, {}));
    EXPECT_FALSE(j->SetPoint(0, {0.0f, nan, 0.0f}));
    Matrix4 bad;
    bad.row[3].x = inf;
    EXPECT_FALSE(j->SetFrames(bad));
    EXPECT_EQ(std::memcmp(&saved.localFrameA, &j->localFrameA, sizeof(Matrix4)), 0);
    EXPECT_EQ(j->limit.enabled, 0);
    EXPECT_EQ(j->pointCount, 2);
    // An animated body is no joint's body A, but a fine body B.
    EXPECT_NE(world->CreateBallJoint(a, animated, {}), nullptr);
}

TEST(Joints, EmptyPoolsSayWhichCountToRaise) {
    SimulatorDesc desc = GameDesc();
    desc.jointsCount = 1;
    desc.jointGroupsCount = 1;
    World world(desc);
    MessageLog log(world.sim);
    RigidBody* a = world->CreateRigidBody();
    RigidBody* b = world->CreateRigidBody();
    RigidBody* c = world->CreateRigidBody();
    ASSERT_NE(world->CreateBallJoint(a, nullptr, {}), nullptr);
    EXPECT_EQ(world->CreateBallJoint(b, nullptr, {}), nullptr);
    EXPECT_TRUE(log.Contains("Run out of Joints. Increase 'jointsCount'.\n"));

    desc.jointsCount = 2;
    World second(desc);
    MessageLog secondLog(second.sim);
    a = second->CreateRigidBody();
    b = second->CreateRigidBody();
    c = second->CreateRigidBody();
    ASSERT_NE(second->CreateBallJoint(a, nullptr, {}), nullptr);
    EXPECT_EQ(second->CreateBallJoint(b, c, {}), nullptr);
    EXPECT_TRUE(secondLog.Contains("Run out of JointGroups. Increase 'jointGroupsCount'.\n"));
    EXPECT_EQ(second->JointPool().UsedCount(), 1);
    // Joining a body already in a group needs no new group.
    EXPECT_NE(second->CreateBallJoint(b, a, {}), nullptr);
}

// Groups merge when a joint joins two of them; freeing a body takes its joints and their
// controllers along while its partners and their group go on.
TEST(Joints, GroupsMergeAndReleaseFollowsTheBodies) {
    World world(GameDesc(), &kGameGravity);
    RigidBody* a = SmallBox(world.sim, {0.0f, 0.0f, 3.0f});
    RigidBody* b = SmallBox(world.sim, {1.0f, 0.0f, 3.0f});
    RigidBody* c = SmallBox(world.sim, {2.0f, 0.0f, 3.0f});
    Joint* ab = world->CreateBallJoint(a, b, {0.5f, 0.0f, 3.0f});
    Joint* cw = world->CreateBallJoint(c, nullptr, {2.5f, 0.0f, 3.0f});
    ASSERT_NE(a->jointGroup, c->jointGroup);
    EXPECT_EQ(world->JointGroupPool().UsedCount(), 2);
    Joint* bc = world->CreateBallJoint(b, c, {1.5f, 0.0f, 3.0f});
    ASSERT_NE(bc, nullptr);
    EXPECT_EQ(world->JointGroupPool().UsedCount(), 1);
    JointGroup* g = a->jointGroup;
    EXPECT_EQ(b->jointGroup, g);
    EXPECT_EQ(c->jointGroup, g);
    EXPECT_EQ(g->bodyCount, 3);
    std::vector<Joint*> chain;
    for (Joint* j = g->firstJoint; j != nullptr; j = j == g->lastJoint ? nullptr : j->next) {
        chain.push_back(j);
    }
    EXPECT_EQ(chain, (std::vector<Joint*>{ab, cw, bc}));
    ASSERT_NE(ab->CreateController(nullptr, 1), nullptr);
    ASSERT_NE(bc->CreateController(nullptr, 1), nullptr);
    const int controllers = world->ControllerPool().UsedCount();

    world->FreeBody(b);
    EXPECT_EQ(world->JointPool().UsedCount(), 1);
    EXPECT_EQ(world->ControllerPool().UsedCount(), controllers - 2);
    EXPECT_EQ(a->jointCount, 0);
    EXPECT_EQ(a->jointGroup, nullptr); // no joints left: solved on its own
    EXPECT_EQ(c->jointGroup, g);
    EXPECT_EQ(g->firstJoint, cw);
    EXPECT_EQ(g->lastJoint, cw);
    for (int i = 0; i < 30; ++i) {
        world->Step(kTick, 1, nullptr);
    }
    EXPECT_LT(Length(cw->pointsA[0].world - cw->pointsB[0].world), 0.01f);

    world->FreeJoint(cw);
    EXPECT_EQ(world->JointPool().UsedCount(), 0);
    EXPECT_EQ(world->JointGroupPool().UsedCount(), 0);
    EXPECT_EQ(c->jointGroup, nullptr);
    MessageLog log(world.sim);
    world->FreeJoint(cw);
    EXPECT_TRUE(log.Contains("Trying to Free invalid Joint.\n"));
}

namespace {

struct Pusher : ControllerCallback {
    int calls = 0;
    void OnTick(Controller* c, float) override {
        ++calls;
        c->SetForce({0.0f, 5.0f, 0.0f, 0.0f});
    }
};

} // namespace

TEST(Joints, AJointControllerPushWakesTheSleepingGroup) {
    World world(GameDesc(), &kGameGravity);
    RigidBody* a = SmallBox(world.sim, {0.0f, 0.0f, 1.0f});
    RigidBody* b = SmallBox(world.sim, {0.0f, 0.0f, 0.5f});
    world->CreateBallJoint(a, nullptr, {0.0f, 0.0f, 1.25f});
    Joint* j = world->CreateBallJoint(b, a, {0.0f, 0.0f, 0.75f});
    Pusher pusher;
    ASSERT_NE(j->CreateController(&pusher, 0), nullptr);
    a->Sleep();
    b->Sleep();
    world->Step(kTick, 1, nullptr);
    EXPECT_EQ(pusher.calls, 1);
    EXPECT_FALSE(a->IsAsleep());
    EXPECT_FALSE(b->IsAsleep());
    for (int i = 0; i < 30; ++i) {
        world->Step(kTick, 1, nullptr);
    }
    EXPECT_GT(b->GetLinearVelocity().y, 0.1f);
}

// Swinging at large amplitude from a world anchor 1 m above the centre: the period is the exact
// pendulum's, 4 sqrt(I / (m g d)) K(sin(θ0 / 2)), and the anchor holds.
TEST(Joints, PendulumsKeepTheLargeAmplitudePeriod) {
    for (int32_t kind : {kJointBall, kJointHinge}) {
        SCOPED_TRACE(kind == kJointBall ? "ball" : "hinge");
        World world(GameDesc(), &kGameGravity);
        const float theta0 = 1.0f;
        const Vector4 anchor{0.0f, 0.0f, 2.0f, 0.0f};
        RigidBody* bob = SmallBox(world.sim, {std::sin(theta0), 0.0f, 2.0f - std::cos(theta0)});
        Joint* j = kind == kJointBall ? world->CreateBallJoint(bob, nullptr, anchor)
                                      : world->CreateHingeJoint(bob, nullptr, anchor, kY);
        ASSERT_NE(j, nullptr);
        std::vector<float> crossings;
        float previous = theta0;
        float separation = 0.0f;
        for (int i = 1; i <= 1500; ++i) {
            world->Step(kTick, 1, nullptr);
            const Vector4 p = bob->GetPosition();
            const float theta = std::atan2(p.x, anchor.z - p.z);
            if (previous > 0.0f && theta <= 0.0f) {
                // Linear interpolation between the two ticks.
                crossings.push_back((static_cast<float>(i) - theta / (theta - previous)) * kTick);
            }
            previous = theta;
            for (int k = 0; k < j->pointCount; ++k) {
                separation = std::fmax(separation, Length(j->pointsA[k].world - j->pointsB[k].world));
            }
            ASSERT_FALSE(bob->IsAsleep()) << "tick " << i;
        }
        ASSERT_GE(crossings.size(), 4u);
        const double measured = (crossings.back() - crossings.front()) / static_cast<double>(crossings.size() - 1);
        const double inertia = 0.2 * 0.2 / 6.0 + 1.0;
        const double exact = 4.0 * std::sqrt(inertia / 9.8) * EllipticK(std::sin(theta0 / 2.0));
        EXPECT_NEAR(measured, exact, 0.02 * exact);
        EXPECT_LT(separation, 0.003f);
    }
}

// The rest rule looks at a short window: a slow pendulum can fall asleep at a turning point.
// Pinned where it starts: a 0.5 rad swing sleeps within its first two swings, 1 rad swings on.
TEST(Joints, ASlowPendulumMaySleepMidSwing) {
    World world(GameDesc(), &kGameGravity);
    RigidBody* bob = SmallBox(world.sim, {std::sin(0.5f), 0.0f, 2.0f - std::cos(0.5f)});
    world->CreateHingeJoint(bob, nullptr, {0.0f, 0.0f, 2.0f}, kY);
    int sleptAt = -1;
    for (int i = 1; i <= 300 && sleptAt < 0; ++i) {
        world->Step(kTick, 1, nullptr);
        if (bob->IsAsleep()) {
            sleptAt = i;
        }
    }
    ASSERT_GT(sleptAt, 0);
    const Vector4 p = bob->GetPosition();
    EXPECT_GT(std::fabs(std::atan2(p.x, 2.0f - p.z)), 0.3f); // near a turning point, not at rest
}

// The limited pendulum: hinged 1 m above its centre, limits ±0.5 on the signed angle, released
// at 0.4 rad swinging outwards.
TEST(Joints, LimitedPendulumStaysWithinItsLimits) {
    World world(GameDesc(), &kGameGravity);
    const Vector4 anchor{0.0f, 0.0f, 2.0f, 0.0f};
    RigidBody* bob = SmallBox(world.sim, {0.0f, 0.0f, 1.0f});
    Joint* j = world->CreateHingeJoint(bob, nullptr, anchor, kY);
    ASSERT_TRUE(j->SetLimit(-0.5f, 0.5f));
    // Turn the bob 0.4 rad about the anchor, then give it 2 rad/s outwards.
    const float start = 0.4f;
    bob->SetPosition({-std::sin(start), 0.0f, 2.0f - std::cos(start)});
    bob->SetOrientation(AxisAngle(kY, start));
    bob->SetLinearVelocity(Vector4{-std::cos(start), 0.0f, std::sin(start), 0.0f} * 2.0f);
    bob->SetAngularMomentum(kY * (2.0f * bob->inertia.At(1, 1)));
    float worstAngle = 0.0f;
    float separation = 0.0f;
    for (int i = 0; i < 300; ++i) {
        world->Step(kTick, 1, nullptr);
        worstAngle = std::fmax(worstAngle, std::fabs(j->signedAngle));
        for (int k = 0; k < j->pointCount; ++k) {
            separation = std::fmax(separation, Length(j->pointsA[k].world - j->pointsB[k].world));
        }
    }
    EXPECT_GT(worstAngle, 0.45f);
    EXPECT_LT(worstAngle, 0.55f);
    EXPECT_LT(separation, 0.05f);
}

// Driven above the rest rule's turn rate (10 rad/s over its window), so the wheel stays awake.
TEST(Joints, HingeMotorReachesItsTargetRate) {
    World world; // no gravity
    RigidBody* wheel = SmallBox(world.sim, {0.0f, 0.0f, 0.0f}, 0.5f);
    Joint* j = world->CreateHingeJoint(wheel, nullptr, {}, kZ);
    ASSERT_TRUE(j->SetMotor(12.0f, 10.0f));
    for (int i = 0; i < 150; ++i) {
        world->Step(kTick, 1, nullptr);
    }
    EXPECT_FALSE(wheel->IsAsleep());
    EXPECT_NEAR(Dot(wheel->GetAngularVelocity(), kZ), 12.0f, 0.24f);
    EXPECT_LT(Length(wheel->GetPosition()), 0.01f);
}

TEST(Joints, DumpListsTheJoints) {
    World world;
    RigidBody* a = world->CreateRigidBody();
    AnimatedBody* post = world->CreateAnimatedBody();
    world->CreateHingeJoint(a, post, {}, kZ);
    world->CreateBallJoint(a, nullptr, {});
    const std::string dump = DumpBodies(*world.sim);
    EXPECT_NE(dump.find("joint hinge a 0 b 5 angle 0.0000 active\n"), std::string::npos) << dump;
    EXPECT_NE(dump.find("joint ball a 0 b world angle 0.0000 active\n"), std::string::npos) << dump;
}

// A body hung from the world on a ball joint, twisted by a steady torque about the twist axis,
// is held at its twist bound: the row weighs the body's own inertia, heavy or light, with the
// world (unturned, immovable) as the other side.
TEST(Joints, TwistLimitHoldsABodyHungFromTheWorld) {
    const float bound = 0.3f;
    const struct {
        float inertia;
        float sign; // which way the torque turns it
    } cases[] = {{8.0f, 1.0f}, {0.05f, -1.0f}, {1.0f, 1.0f}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "inertia " << c.inertia << ", turned " << c.sign);
        World world; // no gravity: only the torque turns it
        RigidBody* body = world->CreateRigidBody();
        body->CreateGeometry()->SetBox(0.4f, 0.4f, 0.4f);
        body->SetMass(2.0f);
        body->SetInertia({c.inertia, c.inertia, c.inertia, 0.0f});
        body->UpdateBounds();
        Joint* j = world->CreateBallJoint(body, nullptr, {});
        ASSERT_NE(j, nullptr);
        ASSERT_TRUE(j->SetTwist(bound));
        // The frame's x axis is the twist axis: 40 rad/s² about it.
        body->SetTorque(kX * (40.0f * c.inertia * c.sign));
        float worst = 0.0f;
        float twist = 0.0f;
        for (int i = 0; i < 450; ++i) {
            world->Step(kTick, 1, nullptr);
            const Vector4 q = body->GetOrientation();
            twist = 2.0f * std::atan2(q.x, q.w);
            if (i >= 150) {
                worst = std::fmax(worst, std::fabs(twist - c.sign * bound));
            }
        }
        EXPECT_NEAR(twist, c.sign * bound, 0.002f);
        EXPECT_LT(worst, 0.002f) << "held after the first second";
        EXPECT_LT(std::fabs(Dot(body->GetAngularVelocity(), kX)), 0.01f);
    }
}
