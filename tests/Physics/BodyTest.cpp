#include "PhysicsTestSupport.h"

#include "Physics/Inertia.h"
#include "Physics/Quaternion.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace Physics;
using PhysicsTest::GameDesc;
using PhysicsTest::kGameGravity;
using PhysicsTest::kTick;
using PhysicsTest::MessageLog;
using PhysicsTest::World;

namespace {

Matrix4 Translation(float x, float y, float z) {
    Matrix4 m;
    m.row[3] = {x, y, z, 1.0f};
    return m;
}

Matrix4 RotationZ(float angle) {
    return Matrix4::FromRotationAndPosition(QuatToRows({0.0f, 0.0f, std::sin(angle / 2), std::cos(angle / 2)}), {});
}

void ExpectVec(const Vector4& v, float x, float y, float z, const char* what) {
    EXPECT_NEAR(v.x, x, 1e-5f) << what;
    EXPECT_NEAR(v.y, y, 1e-5f) << what;
    EXPECT_NEAR(v.z, z, 1e-5f) << what;
}

} // namespace

TEST(GeometryShapes, SettersAndDefaults) {
    World world;
    RigidBody* body = world->CreateRigidBody();
    Geometry* g = body->CreateGeometry();
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->GetType(), kGeometryBox);
    ExpectVec(g->HalfExtents(), 0.5f, 0.5f, 0.5f, "default box");
    EXPECT_EQ(g->GetMaterial(), 0);
    EXPECT_EQ(g->GetLocalMatrix().row[0].x, 1.0f);
    ExpectVec(g->pieceInertia, 2.0f / 3.0f, 2.0f / 3.0f, 2.0f / 3.0f, "piece inertia");
    EXPECT_EQ(g->breakMass, 1.0f);
    EXPECT_EQ(g->pieceFraction, 0.5f);
    EXPECT_EQ(g->breakMode, 0);

    g->SetBox(2.0f, 4.0f, 6.0f);
    ExpectVec(g->HalfExtents(), 1.0f, 2.0f, 3.0f, "SetBox");
    EXPECT_NEAR(g->boundingValue, std::sqrt(14.0f), 1e-6f);
    g->SetBoxSize({0.001f, 0.001f, 0.001f});
    EXPECT_EQ(g->boundingValue, 0.0f);

    g->SetCapsule(0.5f, 2.0f);
    EXPECT_EQ(g->GetType(), kGeometryCapsule);
    EXPECT_FLOAT_EQ(g->Radius(), 0.25f);
    EXPECT_FLOAT_EQ(g->RadiusSquared(), 0.0625f);
    EXPECT_FLOAT_EQ(g->HalfLength(), 1.0f);

    g->SetMaterial(5);
    EXPECT_EQ(g->GetMaterial(), 5);
    for (int bad : {256, -1, 100000}) {
        g->SetMaterial(bad);
        EXPECT_EQ(g->GetMaterial(), 5) << bad;
    }
}

TEST(GeometryShapes, LocalBoxes) {
    struct Case {
        const char* name;
        int type; // 3 box, 5 capsule
        Matrix4 local;
        Vector4 min, max;
    };
    const float r2 = std::sqrt(2.0f);
    const Case cases[] = {
        {"box at offset", 3, Translation(1, 2, 3), {0.5f, 1.5f, 2.5f}, {1.5f, 2.5f, 3.5f}},
        {"box turned 45", 3, RotationZ(0.785398163f), {-r2 / 2, -r2 / 2, -0.5f}, {r2 / 2, r2 / 2, 0.5f}},
        {"capsule along y", 5, Matrix4(), {-0.25f, -1.25f, -0.25f}, {0.25f, 1.25f, 0.25f}},
        {"capsule turned onto x", 5, RotationZ(1.5707963f), {-1.25f, -0.25f, -0.25f}, {1.25f, 0.25f, 0.25f}},
    };
    for (const Case& c : cases) {
        Geometry g;
        g.Reset();
        if (c.type == 5) {
            g.SetCapsule(0.5f, 2.0f);
        }
        g.SetLocalMatrix(c.local);
        Vector4 min, max;
        g.GetLocalBox(min, max);
        ExpectVec(min, c.min.x, c.min.y, c.min.z, c.name);
        ExpectVec(max, c.max.x, c.max.y, c.max.z, c.name);
    }

    // Shapes without a box of their own leave the outputs alone.
    Geometry mesh;
    mesh.SetMesh(nullptr, 0, nullptr, 0, nullptr);
    Vector4 min{7, 7, 7}, max{8, 8, 8};
    mesh.GetLocalBox(min, max);
    ExpectVec(min, 7, 7, 7, "mesh min");
    ExpectVec(max, 8, 8, 8, "mesh max");
}

TEST(InertiaFunctions, BoxAndCylinder) {
    ExpectVec(BoxInertia({1.0f, 2.0f, 3.0f}, 6.0f), 36.0f, 36.0f, 36.0f, "box");
    ExpectVec(CylinderInertia(2.0f, 3.0f, 4.0f), 4.0f, 2.0f, 4.0f, "cylinder");
}

TEST(Bounds, HeaderFromGeometriesAndSensors) {
    World world;
    // One box turned 45° keeps its rotation and gets its body-frame box extents.
    RigidBody* turned = world->CreateRigidBody();
    turned->CreateGeometry()->SetLocalMatrix(RotationZ(0.785398163f));
    turned->UpdateBounds();
    const Geometry& h1 = turned->GetHeader();
    ExpectVec(h1.HalfExtents(), std::sqrt(0.5f), std::sqrt(0.5f), 0.5f, "turned extents");
    EXPECT_NEAR(h1.GetLocalMatrix().row[0].y, std::sqrt(0.5f), 1e-6f);
    world->Step(kTick, 1, nullptr);
    ExpectVec(turned->GetWorldBoxMax(), 1.0f, 1.0f, 0.5f, "turned world box");

    // Two boxes: an axis-aligned header around both.
    RigidBody* pair = world->CreateRigidBody();
    pair->CreateGeometry();
    pair->CreateGeometry()->SetLocalMatrix(Translation(2.0f, 0.0f, 0.0f));
    pair->UpdateBounds();
    const Geometry& h2 = pair->GetHeader();
    ExpectVec(h2.HalfExtents(), 1.5f, 0.5f, 0.5f, "pair extents");
    ExpectVec(h2.GetLocalMatrix().row[3], 1.0f, 0.0f, 0.0f, "pair centre");
    EXPECT_EQ(h2.GetLocalMatrix().row[0].x, 1.0f);

    // A sensor ray widens the header; the world box follows the body.
    RigidBody* probe = world->CreateRigidBody();
    probe->CreateGeometry();
    probe->CreateSensor()->SetRay({0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, -2.0f});
    probe->UpdateBounds();
    ExpectVec(probe->GetHeader().HalfExtents(), 0.5f, 0.5f, 1.25f, "probe extents");
    ExpectVec(probe->GetHeader().GetLocalMatrix().row[3], 0.0f, 0.0f, -0.75f, "probe centre");
    probe->SetPosition({0.0f, 0.0f, 5.0f});
    world->Step(kTick, 1, nullptr);
    EXPECT_NEAR(probe->GetWorldBoxMin().z, 3.0f, 1e-5f);
    EXPECT_NEAR(probe->GetWorldBoxMax().z, 5.5f, 1e-5f);

    // A capsule and a box: the union of their local boxes.
    RigidBody* mixed = world->CreateRigidBody();
    mixed->CreateGeometry()->SetCapsule(1.0f, 2.0f);
    mixed->CreateGeometry()->SetLocalMatrix(Translation(0.0f, 0.0f, 3.0f));
    mixed->UpdateBounds();
    ExpectVec(mixed->GetHeader().HalfExtents(), 0.5f, 1.5f, 2.0f, "mixed extents");
    ExpectVec(mixed->GetHeader().GetLocalMatrix().row[3], 0.0f, 0.0f, 1.5f, "mixed centre");
}

TEST(Bounds, AnimatedBodyBoxFollowsItsSetters) {
    World world;
    AnimatedBody* a = world->CreateAnimatedBody();
    a->CreateGeometry()->SetBox(4.0f, 2.0f, 2.0f);
    a->UpdateBounds();
    a->SetPosition({10.0f, 0.0f, 0.0f});
    EXPECT_TRUE(a->IsMoved());
    ExpectVec(a->GetWorldBoxMin(), 8.0f, -1.0f, -1.0f, "at once after SetPosition");

    world->Step(kTick, 1, nullptr);
    a->SetOrientation({0.0f, 0.0f, std::sqrt(0.5f), std::sqrt(0.5f)});
    ExpectVec(a->GetWorldBoxMin(), 8.0f, -1.0f, -1.0f, "orientation waits for the tick");
    world->Step(kTick, 1, nullptr);
    ExpectVec(a->GetWorldBoxMin(), 9.0f, -2.0f, -1.0f, "after the tick");
    EXPECT_FALSE(a->IsMoved());
}

TEST(Sensors, RayAndReadBack) {
    World world;
    RigidBody* body = world->CreateRigidBody();
    Sensor* s = body->CreateSensor();
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->GetHitDepth(), 0.0f);
    EXPECT_EQ(s->GetHitAnimatedBody(), nullptr);

    s->SetRay({0.0f, 1.0f, 0.0f}, {0.0f, 0.0f, -3.0f});
    EXPECT_FLOAT_EQ(s->length, 3.0f);
    ExpectVec(s->unitDirection, 0.0f, 0.0f, -1.0f, "unit direction");
    ExpectVec(s->GetOrigin(), 0.0f, 1.0f, 0.0f, "origin");

    s->SetRay({}, {0.0005f, 0.0f, 0.0f});
    EXPECT_EQ(s->length, 0.0f);
    ExpectVec(s->unitDirection, 0.0f, 0.0f, 0.0f, "short ray");
    ExpectVec(s->GetDirection(), 0.0005f, 0.0f, 0.0f, "short ray kept");
}

TEST(Sensors, HitBodyKindsAndClearing) {
    World world;
    RigidBody* body = world->CreateRigidBody();
    RigidBody* other = world->CreateRigidBody();
    AnimatedBody* animated = world->CreateAnimatedBody();
    Sensor* s = body->CreateSensor();
    s->hitDepth = 0.5f;
    s->hitBody = animated;
    s->hitNormal = {0.0f, 0.0f, 1.0f};
    EXPECT_EQ(s->GetHitAnimatedBody(), animated);
    s->hitBody = world->GetWorldBody();
    EXPECT_EQ(s->GetHitAnimatedBody(), world->GetWorldBody());
    s->hitBody = other;
    EXPECT_EQ(s->GetHitAnimatedBody(), nullptr);

    // An awake body's hits are cleared after its position step; the rest stays.
    world->Step(kTick, 1, nullptr);
    EXPECT_EQ(s->GetHitDepth(), 0.0f);
    EXPECT_EQ(s->GetHitBody(), nullptr);
    EXPECT_EQ(s->GetHitNormal().z, 1.0f);
}

TEST(Sensors, ReusedSlotsStartZeroed) {
    World world;
    RigidBody* body = world->CreateRigidBody();
    AnimatedBody* animated = world->CreateAnimatedBody();
    Sensor* s = body->CreateSensor();
    s->SetRay({1.0f, 2.0f, 3.0f}, {0.0f, 0.0f, -5.0f});
    s->hitBody = animated;
    s->hitDepth = 2.0f;
    world->FreeBody(body);
    world->FreeBody(animated);

    RigidBody* again = world->CreateRigidBody();
    Sensor* reused = again->CreateSensor();
    ASSERT_EQ(reused, s);
    EXPECT_EQ(reused->GetHitBody(), nullptr);
    EXPECT_EQ(reused->GetHitDepth(), 0.0f);
    ExpectVec(reused->GetOrigin(), 0.0f, 0.0f, 0.0f, "origin");
    EXPECT_EQ(reused->length, 0.0f);
    // Bounds built before SetRay see a ray of nothing at the origin.
    again->CreateGeometry();
    again->UpdateBounds();
    ExpectVec(again->GetHeader().HalfExtents(), 0.5f, 0.5f, 0.5f, "header");
}

TEST(RigidBodySetters, DefaultsPoseAndMatrix) {
    World world;
    RigidBody* body = world->CreateRigidBody();
    EXPECT_EQ(body->GetMass(), 1.0f);
    EXPECT_EQ(body->GetOrientation().w, 1.0f);
    EXPECT_FALSE(body->IsAsleep());
    EXPECT_EQ(body->GetCollisionGroup(), 0);

    const float h = std::sqrt(0.5f);
    body->SetPosition({1.0f, 2.0f, 3.0f});
    body->SetOrientation({0.0f, 0.0f, 2.0f * h, 2.0f * h}); // stored as given
    EXPECT_FLOAT_EQ(body->GetOrientation().z, 2.0f * h);
    Matrix4 m;
    body->GetMatrix(m);
    ExpectVec(m.row[3], 1.0f, 2.0f, 3.0f, "position row");
    EXPECT_EQ(m.row[3].w, 1.0f);
    EXPECT_EQ(m.row[1].w, 0.0f);
    const Matrix4 t = body->GetWorldTransform();
    EXPECT_EQ(t.row[3].y, 2.0f);

    int user = 7;
    body->SetUserData(&user);
    EXPECT_EQ(body->GetUserData(), &user);
}

TEST(RigidBodySetters, ForceAtPointReplacesAndWakesOnlyAboveTheLimit) {
    World world;
    RigidBody* body = world->CreateRigidBody();
    body->SetPosition({1.0f, 0.0f, 0.0f});
    body->SetForceAtPoint({0.0f, 0.0f, 2.0f}, {1.0f, 1.0f, 0.0f});
    ExpectVec(body->storedTorque, 2.0f, 0.0f, 0.0f, "first torque");
    body->SetForceAtPoint({0.0f, 3.0f, 0.0f}, {1.0f, 0.0f, 1.0f});
    ExpectVec(body->storedForce, 0.0f, 3.0f, 0.0f, "replaced force");
    ExpectVec(body->storedTorque, -3.0f, 0.0f, 0.0f, "replaced torque");

    body->Sleep();
    body->SetForceAtPoint({5e-7f, -5e-7f, 9e-7f}, {});
    EXPECT_TRUE(body->IsAsleep());
    body->SetTorque({0.0f, 9e-7f, 0.0f});
    EXPECT_TRUE(body->IsAsleep());
    ExpectVec(body->storedTorque, 0.0f, 9e-7f, 0.0f, "tiny torque stored");
    body->SetTorque({0.0f, -1e-6f, 0.0f});
    EXPECT_FALSE(body->IsAsleep());

    body->Sleep();
    body->SetLinearVelocity({0.1f, 0.0f, 0.0f});
    EXPECT_FALSE(body->IsAsleep());
    body->Sleep();
    body->SetAngularMomentum({0.0f, 0.1f, 0.0f});
    EXPECT_FALSE(body->IsAsleep());
    body->Sleep();
    body->SetPosition({});
    EXPECT_FALSE(body->IsAsleep());
    body->Sleep();
    body->SetOrientation({0.0f, 0.0f, 0.0f, 1.0f});
    EXPECT_FALSE(body->IsAsleep());
}

TEST(RigidBodySetters, PointVelocity) {
    World world;
    RigidBody* body = world->CreateRigidBody();
    body->SetInertia({1.0f, 1.0f, 1.0f});
    body->SetLinearVelocity({1.0f, 0.0f, 0.0f});
    body->SetAngularMomentum({0.0f, 0.0f, 2.0f});
    Vector4 v;
    body->GetPointVelocity(v, {1.0f, 0.0f, 0.0f});
    ExpectVec(v, 1.0f, 2.0f, 0.0f, "rigid");

    AnimatedBody* a = world->CreateAnimatedBody();
    v = {9.0f, 9.0f, 9.0f};
    a->GetPointVelocity(v, {1.0f, 0.0f, 0.0f});
    ExpectVec(v, 0.0f, 0.0f, 0.0f, "animated");
}

TEST(BodySetters, CollisionGroupOutsideTheTableIsIgnored) {
    World world;
    RigidBody* body = world->CreateRigidBody();
    body->SetCollisionGroup(3);
    for (int bad : {200, 64, -2, -100}) {
        body->SetCollisionGroup(bad);
        EXPECT_EQ(body->GetCollisionGroup(), 3) << bad;
    }
    body->SetCollisionGroup(-1);
    EXPECT_EQ(body->GetCollisionGroup(), -1);
    body->SetCollisionGroup(63);
    EXPECT_EQ(body->GetCollisionGroup(), 63);
}

TEST(BodySetters, SetEnabledChangesOnlyOnAChange) {
    World world;
    RigidBody* body = world->CreateRigidBody();
    body->CreateGeometry();
    world->Step(kTick, 1, nullptr);
    ASSERT_NE(body->broadphaseEntry, nullptr);

    body->SetEnabled(1, nullptr);
    EXPECT_EQ(world->EnabledRigidBodies().count, 1);
    EXPECT_NE(body->broadphaseEntry, nullptr);

    body->SetEnabled(0, nullptr);
    EXPECT_FALSE(body->IsEnabled());
    EXPECT_EQ(body->broadphaseEntry, nullptr);
    body->SetEnabled(0, nullptr);
    EXPECT_EQ(world->DisabledRigidBodies().count, 1);
    EXPECT_EQ(world->EnabledRigidBodies().count, 0);

    // A disabled body is not integrated.
    body->SetLinearVelocity({1.0f, 0.0f, 0.0f});
    world->Step(kTick, 1, nullptr);
    EXPECT_EQ(body->GetPosition().x, 0.0f);

    body->SetEnabled(1, nullptr);
    EXPECT_EQ(world->EnabledRigidBodies().count, 1);
    EXPECT_EQ(world->DisabledRigidBodies().count, 0);
    EXPECT_NE(body->broadphaseEntry, nullptr);

    // The world body is never moved between lists.
    world->GetWorldBody()->SetEnabled(0, nullptr);
    EXPECT_TRUE(world->GetWorldBody()->IsEnabled());
}

TEST(BodySetters, GeometryIterationAndListOrder) {
    World world;
    RigidBody* body = world->CreateRigidBody();
    Geometry* a = body->CreateGeometry();
    Geometry* b = body->CreateGeometry();
    Geometry* c = body->CreateGeometry();
    EXPECT_EQ(body->GetGeometryCount(), 3);
    EXPECT_EQ(body->FirstGeometry(), a);
    EXPECT_EQ(body->NextGeometry(), b);
    EXPECT_EQ(body->NextGeometry(), c);
    EXPECT_EQ(body->NextGeometry(), nullptr);
    EXPECT_EQ(body->NextGeometry(), nullptr);
}
