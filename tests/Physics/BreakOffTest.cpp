#include "Physics/CollisionDrivers.h"
#include "Physics/Quaternion.h"
#include "PhysicsTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace Physics;
using PhysicsTest::GameDesc;
using PhysicsTest::kGameGravity;
using PhysicsTest::kTick;
using PhysicsTest::World;

namespace {

Vector4 AxisAngle(const Vector4& axis, float angle) {
    const Vector4 n = Normalize(axis);
    const float s = std::sin(angle * 0.5f);
    return {n.x * s, n.y * s, n.z * s, std::cos(angle * 0.5f)};
}

void ExpectVec(const Vector4& v, const Vector4& e, float tolerance = 1e-5f) {
    EXPECT_NEAR(v.x, e.x, tolerance);
    EXPECT_NEAR(v.y, e.y, tolerance);
    EXPECT_NEAR(v.z, e.z, tolerance);
}

struct Broken {
    Body* source;
    int32_t code;
    Geometry* geometry;
    RigidBody* piece;
};
std::vector<Broken> g_broken;
void RecordBreak(Body* source, int32_t code, Geometry* geometry, RigidBody* piece) {
    g_broken.push_back({source, code, geometry, piece});
}

// A body of two unit boxes side by side along x; the second is breakable.
struct TwoBoxes {
    World world{GameDesc(), &kGameGravity};
    RigidBody* body = nullptr;
    Geometry* keep = nullptr;
    Geometry* breakable = nullptr;

    explicit TwoBoxes(int32_t mode, float threshold = 4.0f) {
        g_broken.clear();
        world->SetBreakOffCallback(&RecordBreak);
        body = world->CreateRigidBody();
        keep = body->CreateGeometry();
        breakable = body->CreateGeometry();
        Matrix4 local;
        local.row[3] = {1.0f, 0.0f, 0.0f, 1.0f};
        breakable->SetLocalMatrix(local);
        EXPECT_TRUE(breakable->SetBreakOff(mode, {0, 0, 1}, threshold, 0.5f, 2.0f, {1, 1, 1}));
        body->SetMass(4.0f);
        body->UpdateBounds();
    }
};

} // namespace

// Axis z, threshold 4, fraction 0.5: the sideways part of an impulse is limited to the threshold
// and split between the body and the detached piece.
TEST(BreakOff, SplitTable) {
    struct Case {
        const char* name;
        int32_t mode;
        Vector4 impulse;
        int32_t result;
        Vector4 kept;
        Vector4 piece; // the new body's velocity times its mass
        bool detached;
    };
    const Case cases[] = {
        {"along the axis: never breaks", 1, {0, 0, 10}, 0, {0, 0, 10}, {}, false},
        {"below the threshold", 1, {3, 0, 10}, 0, {3, 0, 10}, {}, false},
        {"sideways 10 against 4", 1, {10, 0, 3}, 1, {2, 0, 3}, {2, 0, 0}, true},
        {"mode 4 detaches too", 4, {0, -10, 3}, 1, {0, -2, 3}, {0, -2, 0}, true},
        {"mode 2 only limits", 2, {10, 0, 3}, 0, {2, 0, 3}, {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TwoBoxes s(c.mode);
        Vector4 j = c.impulse;
        const int32_t result = s.world->TestBreakOff(s.body, s.breakable, {1.0f, 0.0f, 0.5f}, j);
        EXPECT_EQ(result, c.result);
        ExpectVec(j, c.kept);
        ASSERT_EQ(g_broken.size(), c.detached ? 1u : 0u);
        EXPECT_EQ(s.body->GetGeometryCount(), c.detached ? 1 : 2);
        if (c.detached) {
            const Broken& b = g_broken[0];
            EXPECT_EQ(b.source, s.body);
            EXPECT_EQ(b.code, 1);
            EXPECT_EQ(b.geometry, s.breakable);
            ExpectVec(b.piece->GetLinearVelocity() * b.piece->GetMass(), c.piece);
            EXPECT_EQ(b.piece->GetMass(), 2.0f);
            EXPECT_EQ(s.breakable->breakMode, 0) << "it breaks once";
        }
    }
}

TEST(BreakOff, NothingToSplitOffAndDegenerateInput) {
    {
        // A single geometry is never detached; the impulse is still limited.
        World world;
        world->SetBreakOffCallback(&RecordBreak);
        g_broken.clear();
        RigidBody* body = world->CreateRigidBody();
        Geometry* only = body->CreateGeometry();
        ASSERT_TRUE(only->SetBreakOff(1, {0, 0, 1}, 4.0f, 0.5f, 1.0f, {1, 1, 1}));
        Vector4 j{10, 0, 3};
        EXPECT_EQ(world->TestBreakOff(body, only, {}, j), 0);
        ExpectVec(j, {2, 0, 3});
        EXPECT_TRUE(g_broken.empty());
    }
    {
        // No free body: the limited impulse stays, no callback.
        SimulatorDesc desc = GameDesc();
        desc.rigidBodiesCount = 1;
        World world(desc);
        world->SetBreakOffCallback(&RecordBreak);
        g_broken.clear();
        RigidBody* body = world->CreateRigidBody();
        body->CreateGeometry();
        Geometry* g = body->CreateGeometry();
        ASSERT_TRUE(g->SetBreakOff(1, {0, 0, 1}, 4.0f, 0.5f, 1.0f, {1, 1, 1}));
        Vector4 j{10, 0, 3};
        EXPECT_EQ(world->TestBreakOff(body, g, {}, j), 0);
        ExpectVec(j, {2, 0, 3});
        EXPECT_TRUE(g_broken.empty());
        EXPECT_EQ(body->GetGeometryCount(), 2);
    }
    struct Case {
        const char* name;
        Vector4 axis;
        float threshold;
        Vector4 impulse;
        Vector4 kept;
    };
    const Case cases[] = {
        {"threshold 0, no sideways part", {0, 0, 1}, 0.0f, {0, 0, 5}, {0, 0, 5}},
        {"threshold 0, sideways part", {0, 0, 1}, 0.0f, {3, 0, 5}, {0, 0, 5}},
        {"zero axis: all of it is sideways", {0, 0, 0}, 4.0f, {0, 0, 10}, {0, 0, 2}},
        {"zero axis, zero impulse", {0, 0, 0}, 0.0f, {0, 0, 0}, {0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TwoBoxes s(2);
        ASSERT_TRUE(s.breakable->SetBreakOff(2, c.axis, c.threshold, 0.5f, 1.0f, {1, 1, 1}));
        Vector4 j = c.impulse;
        s.world->TestBreakOff(s.body, s.breakable, {}, j);
        ASSERT_TRUE(IsFinite(j));
        ExpectVec(j, c.kept);
    }
    // Bad settings are refused and change nothing.
    TwoBoxes s(1);
    const float nan = std::nanf("");
    EXPECT_FALSE(s.breakable->SetBreakOff(1, {nan, 0, 1}, 1.0f, 0.5f, 1.0f, {1, 1, 1}));
    EXPECT_FALSE(s.breakable->SetBreakOff(1, {0, 0, 1}, -1.0f, 0.5f, 1.0f, {1, 1, 1}));
    EXPECT_FALSE(s.breakable->SetBreakOff(1, {0, 0, 1}, 1.0f, 1.5f, 1.0f, {1, 1, 1}));
    EXPECT_FALSE(s.breakable->SetBreakOff(1, {0, 0, 1}, 1.0f, 0.5f, 0.0f, {1, 1, 1}));
    EXPECT_EQ(s.breakable->breakThreshold, 4.0f);
}

TEST(BreakOff, AnAnimatedSourceKeepsThePieceImpulse) {
    World world;
    world->SetBreakOffCallback(&RecordBreak);
    g_broken.clear();
    AnimatedBody* wall = world->CreateAnimatedBody();
    wall->CreateGeometry();
    Geometry* brick = wall->CreateGeometry();
    ASSERT_TRUE(brick->SetBreakOff(1, {0, 0, 1}, 4.0f, 0.5f, 1.0f, {1, 1, 1}));
    wall->UpdateBounds();
    Vector4 j{10, 0, 3};
    EXPECT_EQ(world->TestBreakOff(wall, brick, {}, j), 1);
    ExpectVec(j, {2, 0, 0});
    ASSERT_EQ(g_broken.size(), 1u);
    EXPECT_EQ(g_broken[0].code, 2);
}

// The detached geometry keeps its world pose on the new body.
TEST(BreakOff, ThePieceSitsWhereTheGeometryWas) {
    TwoBoxes s(1);
    Matrix4 local = Matrix4::FromRotationAndPosition(QuatToRows(AxisAngle({1, 2, 3}, 0.7f)), {1.5f, -0.5f, 0.25f});
    s.breakable->SetLocalMatrix(local);
    s.breakable->SetBox(0.5f, 1.0f, 2.0f);
    ASSERT_TRUE(s.breakable->SetBreakOff(1, {0, 0, 0}, 4.0f, 0.5f, 2.0f, {1, 1, 1}));
    s.body->SetPosition({3, 4, 5});
    s.body->SetOrientation(AxisAngle({0, 1, 1}, 2.5f));
    s.body->UpdateBounds();
    const Matrix4 before = GeometryWorldTransform(*s.breakable, s.body->GetWorldTransform());
    Vector4 j{0, 10, 0};
    ASSERT_EQ(s.world->TestBreakOff(s.body, s.breakable, {}, j), 1);
    RigidBody* piece = g_broken[0].piece;
    const Matrix4 after = GeometryWorldTransform(*s.breakable, piece->GetWorldTransform());
    for (int r = 0; r < 4; ++r) {
        ExpectVec(after.row[r], before.row[r]);
    }
    // The orientation is the rotation's own quaternion.
    const Matrix3 rows = QuatToRows(piece->GetOrientation());
    for (int r = 0; r < 3; ++r) {
        ExpectVec(rows.row[r], before.row[r]);
    }
    EXPECT_GE(piece->GetOrientation().w, 0.0f);
    EXPECT_EQ(piece->GetGeometryCount(), 1);
    EXPECT_NE(piece->broadphaseState, kBroadphaseIdle) << "queued for the broadphase";
    EXPECT_EQ(s.body->GetGeometryCount(), 1);
}

TEST(BreakOff, RowsToQuatInvertsQuatToRows) {
    const Vector4 axes[] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 1}, {-2, 0.5f, 1}};
    for (const Vector4& axis : axes) {
        for (float angle : {0.0f, 0.3f, 1.5f, 3.0f, 3.1415f}) {
            const Vector4 q = AxisAngle(axis, angle);
            const Vector4 back = RowsToQuat(QuatToRows(q));
            const float sign = back.w * q.w < 0.0f ? -1.0f : 1.0f;
            SCOPED_TRACE(testing::Message() << "angle " << angle);
            EXPECT_NEAR(back.x, sign * q.x, 1e-5f);
            EXPECT_NEAR(back.y, sign * q.y, 1e-5f);
            EXPECT_NEAR(back.z, sign * q.z, 1e-5f);
            EXPECT_NEAR(back.w, sign * q.w, 1e-5f);
        }
    }
}

// Through the solver: a two-box body dropped onto a floor loses its breakable box when the
// landing pushes across that box's axis, and only while a callback is installed.
TEST(BreakOff, ALandingBreaksTheGeometryOffOnlyWithACallback) {
    for (bool callback : {false, true}) {
        SCOPED_TRACE(callback ? "with callback" : "without");
        World world(GameDesc(), &kGameGravity);
        g_broken.clear();
        if (callback) {
            world->SetBreakOffCallback(&RecordBreak);
        }
        AnimatedBody* floor = world->CreateAnimatedBody();
        floor->CreateGeometry()->SetBox(20, 20, 1);
        floor->UpdateBounds();
        floor->SetPosition({0, 0, -0.5f});
        RigidBody* body = world->CreateRigidBody();
        body->CreateGeometry();
        Geometry* g = body->CreateGeometry();
        Matrix4 local;
        local.row[3] = {1.0f, 0.0f, -0.1f, 1.0f};
        g->SetLocalMatrix(local);
        ASSERT_TRUE(g->SetBreakOff(1, {1, 0, 0}, 1.0f, 0.5f, 1.0f, {1, 1, 1}));
        body->SetMass(2.0f);
        body->SetInertia({1, 1, 1});
        body->UpdateBounds();
        body->SetPosition({0, 0, 1});
        body->SetLinearVelocity({0, 0, -5});
        for (int i = 0; i < 60; ++i) {
            world->Step(kTick, 1, nullptr);
        }
        EXPECT_EQ(g_broken.size(), callback ? 1u : 0u);
        EXPECT_EQ(body->GetGeometryCount(), callback ? 1 : 2);
        for (const RigidBody* r = world->EnabledRigidBodies().head; r != nullptr; r = r->next) {
            EXPECT_TRUE(IsFinite(r->GetPosition()));
            EXPECT_GT(r->GetPosition().z, 0.0f);
        }
    }
}
