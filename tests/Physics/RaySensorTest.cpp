#include "Physics/SensorCast.h"
#include "PhysicsTestSupport.h"
#include "StaticMeshSupport.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace Physics;
using namespace PhysicsTest;

namespace {

RayRecord Ray(const Vector4& origin, const Vector4& direction) {
    RayRecord r;
    r.origin = origin;
    r.direction = direction;
    r.length = LengthSquared(direction) < 1e-6f ? 0.0f : Length(direction);
    return r;
}

Geometry UnitBox() {
    Geometry g;
    g.Reset();
    g.SetBox(1.0f, 1.0f, 1.0f);
    g.SetMaterial(11);
    return g;
}

} // namespace

// A ray against a triangle mesh: depth is the part of the ray beyond the hit, the normal faces
// the ray whichever way the triangle is wound, and a ray that only reaches the surface, or has
// no length, or runs along the plane, hits nothing.
TEST(RaySensors, RayAgainstGroundTriangles) {
    struct Case {
        const char* name;
        bool clockwise;
        Vector4 origin;
        Vector4 direction;
        float depth; // 0: no hit
        float normalZ;
    };
    const Case cases[] = {
        {"down", false, {0.0f, 0.0f, 1.0f}, {0.0f, 0.0f, -1.5f}, 0.5f, 1.0f},
        {"down, other winding", true, {0.0f, 0.0f, 1.0f}, {0.0f, 0.0f, -1.5f}, 0.5f, 1.0f},
        {"up from below", false, {0.0f, 0.0f, -1.0f}, {0.0f, 0.0f, 2.0f}, 1.0f, -1.0f},
        {"end just reaches", false, {0.0f, 0.0f, 1.0f}, {0.0f, 0.0f, -1.0f}, 0.0f, 0.0f},
        {"too short", false, {0.0f, 0.0f, 1.0f}, {0.0f, 0.0f, -0.5f}, 0.0f, 0.0f},
        {"pointing away", false, {0.0f, 0.0f, 1.0f}, {0.0f, 0.0f, 1.5f}, 0.0f, 0.0f},
        {"zero length", false, {0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}, 0.0f, 0.0f},
        {"along the plane", false, {-1.0f, 0.0f, 0.0f}, {2.0f, 0.0f, 0.0f}, 0.0f, 0.0f},
        {"beside the triangle", false, {30.0f, 30.0f, 1.0f}, {0.0f, 0.0f, -1.5f}, 0.0f, 0.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TriangleSoup soup;
        const Vector4 a{-10.0f, -10.0f, 0.0f};
        const Vector4 b{10.0f, -10.0f, 0.0f};
        const Vector4 d{0.0f, 10.0f, 0.0f};
        // Test mode 2 keeps boxes and capsules off the triangle, but never rays.
        if (c.clockwise) {
            soup.Add(a, d, b, 7, 2);
        } else {
            soup.Add(a, b, d, 7, 2);
        }
        const Geometry mesh = soup.Mesh();
        RayRecord ray = Ray(c.origin, c.direction);
        CastRay(ray, mesh, Matrix4::Identity());
        EXPECT_NEAR(ray.hitDepth, c.depth, 1e-6f);
        if (c.depth > 0.0f) {
            EXPECT_NEAR(ray.hitPoint.x, c.origin.x, 1e-6f);
            EXPECT_NEAR(ray.hitPoint.z, 0.0f, 1e-6f);
            EXPECT_NEAR(ray.hitNormal.z, c.normalZ, 1e-6f);
            EXPECT_EQ(ray.hitMaterial, 7);
        }
    }
}

// Of two stacked triangles the nearer one is hit, in either list order.
TEST(RaySensors, NearestOfTwoTrianglesWins) {
    for (const bool upperFirst : {false, true}) {
        SCOPED_TRACE(upperFirst);
        TriangleSoup soup;
        soup.Add({-10.0f, -10.0f, 0.0f}, {10.0f, -10.0f, 0.0f}, {0.0f, 10.0f, 0.0f}, 1);
        soup.Add({-10.0f, -10.0f, 0.3f}, {10.0f, -10.0f, 0.3f}, {0.0f, 10.0f, 0.3f}, 2);
        if (upperFirst) {
            std::swap(soup.indexes[0], soup.indexes[1]);
        }
        RayRecord ray = Ray({0.0f, 0.0f, 1.0f}, {0.0f, 0.0f, -1.5f});
        CastRay(ray, soup.Mesh(), Matrix4::Identity());
        EXPECT_NEAR(ray.hitDepth, 0.8f, 1e-6f);
        EXPECT_NEAR(ray.hitPoint.z, 0.3f, 1e-6f);
        EXPECT_EQ(ray.hitMaterial, 2);
    }
}

// The slab test: the entry face is hit with a normal facing the ray; a ray starting inside hits
// the face behind it, deeper than its own length.
TEST(RaySensors, RayAgainstABox) {
    struct Case {
        const char* name;
        Vector4 origin;
        Vector4 direction;
        float depth; // 0: no hit
        Vector4 point;
        Vector4 normal;
    };
    const Case cases[] = {
        {"along -x", {2.0f, 0.0f, 0.0f}, {-2.0f, 0.0f, 0.0f}, 0.5f, {0.5f, 0.0f, 0.0f}, {1.0f, 0.0f, 0.0f}},
        {"along +z", {0.2f, 0.1f, -1.0f}, {0.0f, 0.0f, 1.0f}, 0.5f, {0.2f, 0.1f, -0.5f}, {0.0f, 0.0f, -1.0f}},
        {"inside", {0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, -0.2f}, 0.7f, {0.0f, 0.0f, 0.5f}, {0.0f, 0.0f, 1.0f}},
        {"end just reaches", {2.0f, 0.0f, 0.0f}, {-1.5f, 0.0f, 0.0f}, 0.0f, {}, {}},
        {"parallel outside the slab", {2.0f, 0.0f, 0.0f}, {0.0f, 3.0f, 0.0f}, 0.0f, {}, {}},
        {"passes by", {2.0f, 2.0f, 0.0f}, {-4.0f, 0.0f, 0.0f}, 0.0f, {}, {}},
        {"pointing away", {2.0f, 0.0f, 0.0f}, {2.0f, 0.0f, 0.0f}, 0.0f, {}, {}},
        {"zero length inside", {0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}, 0.0f, {}, {}},
        {"zero length outside", {3.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}, 0.0f, {}, {}},
    };
    const Geometry box = UnitBox();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RayRecord ray = Ray(c.origin, c.direction);
        CastRay(ray, box, Matrix4::Identity());
        EXPECT_NEAR(ray.hitDepth, c.depth, 1e-6f);
        if (c.depth > 0.0f) {
            EXPECT_NEAR(ray.hitPoint.x, c.point.x, 1e-6f);
            EXPECT_NEAR(ray.hitPoint.y, c.point.y, 1e-6f);
            EXPECT_NEAR(ray.hitPoint.z, c.point.z, 1e-6f);
            EXPECT_NEAR(ray.hitNormal.x, c.normal.x, 1e-6f);
            EXPECT_NEAR(ray.hitNormal.y, c.normal.y, 1e-6f);
            EXPECT_NEAR(ray.hitNormal.z, c.normal.z, 1e-6f);
            EXPECT_EQ(ray.hitMaterial, 11);
        }
    }
}

// Which shapes a sensor meets on another body: a lone capsule is met as the header box around it
// (the box that also encloses that body's own rays); among several geometries only boxes count.
TEST(RaySensors, SensorsMeetTheOtherBodysShapes) {
    World world(GameDesc(), &kGameGravity);
    RigidBody* probe = world->CreateRigidBody();
    probe->CreateGeometry()->SetBox(0.2f, 0.2f, 0.2f);
    Sensor* ray = probe->CreateSensor();
    ray->SetRay({}, {0.0f, 0.0f, -3.0f});
    probe->UpdateBounds();
    probe->SetPosition({0.0f, 0.0f, 2.0f});
    const Matrix4 probePose = probe->GetWorldTransform();

    // One upright capsule of radius 0.25 whose own ray reaches 1 below its centre: the header
    // box spans z from -1 to 0.75 (half length 0.5 plus radius). The probe's ray hits its top.
    AnimatedBody* lone = world->CreateAnimatedBody();
    Geometry* capsule = lone->CreateGeometry();
    capsule->SetCapsule(0.5f, 1.0f);
    capsule->SetLocalMatrix(Pose(0.0f, 0.0f, 0.0f, AxisAngle(1.0f, 0.0f, 0.0f, 1.5707964f)));
    capsule->SetMaterial(4);
    lone->CreateSensor()->SetRay({0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, -1.0f});
    lone->UpdateBounds();
    const Matrix4 at = Pose(0.2f, 0.0f, 0.0f);
    ray->ClearHit();
    CastSensors(probe->GetSensors(), probePose, *lone, at, lone);
    EXPECT_NEAR(ray->GetHitDepth(), 3.0f - (2.0f - 0.75f), 1e-5f);
    EXPECT_EQ(ray->GetHitBody(), lone);
    EXPECT_EQ(ray->GetHitAnimatedBody(), lone);

    // The same capsule beside a box: the capsule no longer counts, only the box below it.
    Geometry* box = lone->CreateGeometry();
    box->SetBox(1.0f, 1.0f, 0.2f);
    box->SetLocalMatrix(Pose(0.0f, 0.0f, -0.5f));
    box->SetMaterial(6);
    lone->UpdateBounds();
    ray->ClearHit();
    CastSensors(probe->GetSensors(), probePose, *lone, at, lone);
    EXPECT_NEAR(ray->GetHitDepth(), 3.0f - (2.0f - (-0.4f)), 1e-5f);
    EXPECT_EQ(ray->GetHitMaterial(), 6);
    EXPECT_NEAR(ray->GetHitPoint().z, -0.4f, 1e-5f);
}
