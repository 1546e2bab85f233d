#include "Physics/SphereCollision.h"
#include "Physics/BodyDump.h"
#include "Physics/CollisionDrivers.h"
#include "Physics/Quaternion.h"
#include "PhysicsTestSupport.h"
#include "StaticMeshSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

using namespace Physics;
using namespace PhysicsTest;

namespace {

Matrix4 At(float x, float y, float z) { return Matrix4::FromRotationAndPosition(Matrix3::Identity(), {x, y, z}); }

Geometry Sphere(float r) {
    Geometry g;
    g.Reset();
    g.SetSphere(r);
    return g;
}

void ExpectVec(const Vector4& v, const Vector4& e, float tolerance = 1e-5f) {
    EXPECT_NEAR(v.x, e.x, tolerance);
    EXPECT_NEAR(v.y, e.y, tolerance);
    EXPECT_NEAR(v.z, e.z, tolerance);
}

struct Expect {
    bool found = false;
    float depth = 0.0f;
    Vector4 normal{};
    Vector4 pointA{};
    Vector4 pointB{};
};

void Check(const ConstraintRow& row, const Expect& e) {
    ASSERT_EQ(row.found != 0, e.found);
    if (!e.found) {
        return;
    }
    EXPECT_NEAR(row.depth, e.depth, 1e-5f);
    ExpectVec(row.normal, e.normal);
    ExpectVec(row.worldPointA, e.pointA);
    ExpectVec(row.worldPointB, e.pointB);
}

const float kDiag = 0.1f / std::sqrt(3.0f);

} // namespace

// Box A (half extents given) at the origin, sphere B of radius r at c.
TEST(SphereShapes, BoxSphereRegions) {
    struct Case {
        const char* name;
        float half;
        Vector4 c;
        float r;
        Expect e;
    };
    const Case cases[] = {
        {"centre inside: out through the nearest face",
         2.5f,
         {2, 0, 0},
         1.0f,
         {true, 1.5f, {-1, 0, 0}, {2.5f, 0, 0}, {1, 0, 0}}},
        {"face region", 1.0f, {1.15f, 0, 0}, 0.2f, {true, 0.05f, {-1, 0, 0}, {1, 0, 0}, {0.95f, 0, 0}}},
        {"corner region, 0.1 out, radius 0.2",
         1.0f,
         {1 + kDiag, 1 + kDiag, 1 + kDiag},
         0.2f,
         {true,
          0.1f,
          Vector4{-1, -1, -1} * (1 / std::sqrt(3.0f)),
          {1, 1, 1},
          Vector4{1, 1, 1} - Vector4{1, 1, 1} * (0.1f / std::sqrt(3.0f))}},
        {"corner region, radius 0.05", 1.0f, {1 + kDiag, 1 + kDiag, 1 + kDiag}, 0.05f, {false}},
        {"edge region",
         1.0f,
         {1.1f, 1.1f, 0.3f},
         0.2f,
         {true,
          0.2f - 0.1f * std::sqrt(2.0f),
          Vector4{-1, -1, 0} * (1 / std::sqrt(2.0f)),
          {1, 1, 0.3f},
          Vector4{1.1f, 1.1f, 0.3f} + Vector4{-1, -1, 0} * (0.2f / std::sqrt(2.0f))}},
        {"edge region, out of reach", 1.0f, {1.1f, 1.1f, 0.3f}, 0.1f, {false}},
        {"centre on the edge: the nearest face, no NaN",
         1.0f,
         {1, 1, 0},
         0.2f,
         {true, 0.2f, {0, -1, 0}, {1, 1, 0}, {1, 0.8f, 0}}},
        {"clear miss", 1.0f, {3, 0, 0}, 0.5f, {false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ConstraintRow row{};
        CollideBoxSphere(row, Box(c.half, c.half, c.half), At(0, 0, 0), Sphere(c.r), At(c.c.x, c.c.y, c.c.z));
        Check(row, c.e);
    }
}

TEST(SphereShapes, SphereSphereAndCapsuleSphere) {
    ConstraintRow row{};
    CollideSphereSphere(row, Sphere(0.5f), At(0, 0, 0), Sphere(0.5f), At(0.9f, 0, 0));
    Check(row, {true, 0.1f, {-1, 0, 0}, {0.5f, 0, 0}, {0.4f, 0, 0}});
    CollideSphereSphere(row, Sphere(0.5f), At(1, 2, 3), Sphere(0.3f), At(1, 2, 3));
    EXPECT_EQ(row.found, 0) << "coincident centres";
    CollideSphereSphere(row, Sphere(0.5f), At(0, 0, 0), Sphere(0.5f), At(1.0f, 0, 0));
    EXPECT_EQ(row.found, 0) << "touching";

    // Capsule along y, half length 1, radius 0.5.
    const Geometry capsule = Capsule(0.5f, 1.0f);
    CollideCapsuleSphere(row, capsule, At(0, 0, 0), Sphere(0.5f), At(0, 1.8f, 0));
    Check(row, {true, 0.2f, {0, -1, 0}, {0, 1.5f, 0}, {0, 1.3f, 0}}); // beyond the core: the end point T
    CollideCapsuleSphere(row, capsule, At(0, 0, 0), Sphere(0.5f), At(0, -1.2f, 0.9f));
    ASSERT_EQ(row.found, 1); // the end point D
    ExpectVec(row.normal, Vector4{0, 0.2f, -0.9f} * (1 / std::sqrt(0.85f)));
    CollideCapsuleSphere(row, capsule, At(0, 0, 0), Sphere(0.25f), At(0, 0.3f, 0));
    Check(row, {true, 0.75f, {1, 0, 0}, {-0.5f, 0.3f, 0}, {0.25f, 0.3f, 0}}); // on the core: row 0
    CollideCapsuleSphere(row, capsule, At(0, 0, 0), Sphere(0.5f), At(0, 2.1f, 0));
    EXPECT_EQ(row.found, 0);

    // Through the dispatch, swapped pairs read A then B again.
    Geometry sphere = Sphere(0.5f);
    const Geometry box = Box(1, 1, 1);
    CollideGeometries(row, sphere, At(1.4f, 0, 0), box, At(0, 0, 0), {});
    Check(row, {true, 0.1f, {1, 0, 0}, {0.9f, 0, 0}, {1, 0, 0}});
    EXPECT_EQ(row.geometryA, &sphere);
    CollideGeometries(row, sphere, At(0, 1.8f, 0), capsule, At(0, 0, 0), {});
    Check(row, {true, 0.2f, {0, 1, 0}, {0, 1.3f, 0}, {0, 1.5f, 0}});
}

// The triangle (0,0,0), (1,0,0), (0,1,0), normal +z, against spheres of radius 0.2.
TEST(SphereShapes, SphereOnMeshRegions) {
    struct Case {
        const char* name;
        Vector4 c;
        Expect e;
    };
    const float edgeDist = std::sqrt(0.1f * 0.1f + 0.05f * 0.05f);
    const float vertexDist = std::sqrt(0.05f * 0.05f + 0.1f * 0.1f);
    const Case cases[] = {
        {"above the face", {0.25f, 0.25f, 0.1f}, {true, 0.1f, {0, 0, 1}, {0.25f, 0.25f, -0.1f}, {0.25f, 0.25f, 0}}},
        {"below the face: the normal turns to the sphere",
         {0.25f, 0.25f, -0.1f},
         {true, 0.1f, {0, 0, -1}, {0.25f, 0.25f, 0.1f}, {0.25f, 0.25f, 0}}},
        {"beside edge 0, between its ends",
         {0.5f, -0.1f, 0.05f},
         {true,
          0.2f - edgeDist,
          Vector4{0, -0.1f, 0.05f} * (1 / edgeDist),
          Vector4{0.5f, -0.1f, 0.05f} - Vector4{0, -0.1f, 0.05f} * (0.2f / edgeDist),
          {0.5f, 0, 0}}},
        {"beyond edge 0's end: the nearer vertex",
         {1.05f, -0.1f, 0},
         {true,
          0.2f - vertexDist,
          Vector4{0.05f, -0.1f, 0} * (1 / vertexDist),
          Vector4{1.05f, -0.1f, 0} - Vector4{0.05f, -0.1f, 0} * (0.2f / vertexDist),
          {1, 0, 0}}},
        {"in a vertex region",
         {-0.1f, -0.1f, 0},
         {true,
          0.2f - std::sqrt(0.02f),
          Vector4{-1, -1, 0} * (1 / std::sqrt(2.0f)),
          Vector4{-0.1f, -0.1f, 0} + Vector4{1, 1, 0} * (0.2f / std::sqrt(2.0f)),
          {0, 0, 0}}},
        {"centre on a vertex: the face normal", {1, 0, 0}, {true, 0.2f, {0, 0, 1}, {1, 0, -0.2f}, {1, 0, 0}}},
        {"out of reach", {0.25f, 0.25f, 0.3f}, {false}},
    };
    TriangleSoup soup;
    soup.Add({0, 0, 0}, {1, 0, 0}, {0, 1, 0}, 7);
    const Geometry mesh = soup.Mesh();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ConstraintRow row{};
        CollideSphereMesh(row, Sphere(0.2f), At(c.c.x, c.c.y, c.c.z), mesh);
        Check(row, c.e);
        if (c.e.found) {
            EXPECT_EQ(row.materialB, 7);
        }
    }
}

TEST(SphereShapes, MeshTestModesDegenerateTrianglesAndPreparedTriangles) {
    TriangleSoup soup;
    soup.Add({0, 0, 0}, {1, 0, 0}, {0, 1, 0}, 1, 1);
    soup.Add({0, 0, 0}, {1, 0, 0}, {0, 1, 0}, 2, 3);
    soup.Add({0, 0, 0}, {1, 1, 0}, {2, 2, 0}, 3, 0); // no area
    ConstraintRow row{};
    CollideSphereMesh(row, Sphere(0.2f), At(0.25f, 0.25f, 0.1f), soup.Mesh());
    EXPECT_EQ(row.found, 0) << "only test mode 0 triangles, and only with an area";
    CollideSphereMesh(row, Sphere(0.2f), At(1.0f, 1.0f, 0.0f), soup.Mesh());
    EXPECT_EQ(row.found, 0);

    // The static pass hands the shape tests prepared triangles: the same contact, bit for bit.
    TriangleSoup ground;
    ground.AddQuad(0, 0, 2, 0, 4);
    ground.Add({0, 0, 0}, {0.5f, 0, 0.5f}, {0, 0.5f, 0.5f}, 5);
    const Geometry plain = ground.Mesh();
    std::vector<PreparedTriangle> prepared;
    for (int32_t index : ground.indexes) {
        TriangleFrame t;
        ASSERT_TRUE(t.Build(plain, index));
        prepared.emplace_back().Prepare(t);
    }
    Geometry fast = plain;
    fast.meshPrepared = prepared.data();
    fast.meshPreparedCount = static_cast<int32_t>(prepared.size());
    for (const Vector4& c : {Vector4{0.3f, 0.2f, 0.15f}, Vector4{0.1f, 0.1f, 0.3f}, Vector4{1.9f, -2.1f, 0.1f}}) {
        ConstraintRow a{};
        ConstraintRow b{};
        CollideSphereMesh(a, Sphere(0.25f), At(c.x, c.y, c.z), plain);
        CollideSphereMesh(b, Sphere(0.25f), At(c.x, c.y, c.z), fast);
        ASSERT_EQ(a.found, b.found);
        EXPECT_EQ(std::memcmp(&a.normal, &b.normal, sizeof(Vector4)), 0);
        EXPECT_EQ(std::memcmp(&a.worldPointA, &b.worldPointA, sizeof(Vector4)), 0);
        EXPECT_EQ(a.depth, b.depth);
        EXPECT_EQ(a.materialB, b.materialB);
    }
}

TEST(SphereShapes, BoxAgainstASingleTriangle) {
    // The triangle's vertices in its own frame, placed by its world transform at z = 1.
    const float vertices[] = {-5, -5, 0, 1, 5, -5, 0, 1, 0, 5, 0, 1, 9, 9, 9, 1};
    const int32_t indexes[3] = {0, 1, 2};
    Geometry triangle;
    triangle.Reset();
    triangle.SetTriangle(indexes, vertices, 4);
    triangle.SetMaterial(9);
    ASSERT_EQ(triangle.GetType(), kGeometrySingleTriangle);
    const Geometry box = Box(0.5f, 0.5f, 0.5f);
    ConstraintRow row{};
    row.materialB = 1234;
    CollideBoxSingleTriangle(row, box, At(0, 0, 1.4f), triangle, At(0, 0, 1));
    ASSERT_EQ(row.found, 1);
    EXPECT_NEAR(row.depth, 0.1f, 1e-5f);
    ExpectVec(row.normal, {0, 0, 1});
    ExpectVec(row.worldPointA, row.worldPointB, 0.0f); // a face contact: one point for both
    EXPECT_NEAR(row.worldPointA.z, 0.9f, 1e-5f);
    EXPECT_EQ(row.materialB, 9) << "the triangle's own material, not what the row held";

    // A triangle first, or against anything but a box, has no test.
    CollideGeometries(row, triangle, At(0, 0, 1), box, At(0, 0, 1.4f), {});
    EXPECT_EQ(row.found, 0);
    CollideGeometries(row, Sphere(0.5f), At(0, 0, 1.4f), triangle, At(0, 0, 1), {});
    EXPECT_EQ(row.found, 0);
    CollideGeometries(row, Capsule(0.5f, 1), At(0, 0, 1.4f), triangle, At(0, 0, 1), {});
    EXPECT_EQ(row.found, 0);

    // A triangle without area gives no contact and no NaN.
    const float flat[] = {0, 0, 0, 1, 1, 0, 0, 1, 2, 0, 0, 1};
    Geometry sliver;
    sliver.Reset();
    sliver.SetTriangle(indexes, flat, 3);
    CollideBoxSingleTriangle(row, box, At(0.5f, 0, 0.2f), sliver, At(0, 0, 0));
    EXPECT_EQ(row.found, 0);
}

TEST(SphereShapes, SettersRefuseBadInputAndTheShapesGetBoxes) {
    Geometry g;
    g.Reset();
    g.SetSphere(0.5f);
    EXPECT_EQ(g.GetType(), kGeometrySphere);
    EXPECT_EQ(g.Radius(), 0.5f);
    EXPECT_EQ(g.RadiusSquared(), 0.25f);
    for (float bad : {0.0f, -1.0f, std::nanf(""), INFINITY}) {
        g.SetSphere(bad);
        EXPECT_EQ(g.Radius(), 0.5f);
    }
    const float vertices[] = {0, 0, 0, 1, 1, 0, 0, 1, 0, 2, 0, 1};
    const int32_t good[3] = {0, 1, 2};
    const int32_t outside[3] = {0, 1, 3};
    const int32_t negative[3] = {-1, 1, 2};
    g.SetTriangle(outside, vertices, 3);
    g.SetTriangle(negative, vertices, 3);
    EXPECT_EQ(g.GetType(), kGeometrySphere);
    g.SetTriangle(good, vertices, 3);
    EXPECT_EQ(g.GetType(), kGeometrySingleTriangle);

    // A body of one triangle gets its box from the vertices through the local matrix.
    World world;
    RigidBody* body = world->CreateRigidBody();
    Geometry* t = body->CreateGeometry();
    t->SetTriangle(good, vertices, 3);
    t->SetLocalMatrix(At(10, 0, 0));
    body->UpdateBounds();
    world->Step(kTick, 1, nullptr);
    ExpectVec(body->GetWorldBoxMin(), {10, 0, 0});
    ExpectVec(body->GetWorldBoxMax(), {11, 2, 0});
    Geometry* s = body->CreateGeometry();
    s->SetSphere(0.5f);
    EXPECT_NE(DumpBodies(*world.sim).find("  triangle"), std::string::npos) << DumpBodies(*world.sim);
    EXPECT_NE(DumpBodies(*world.sim).find("  sphere r 0.5000"), std::string::npos);
}

namespace {

TriangleSoup* g_ground = nullptr;
void QueryGround(const Vector4&, const Vector4&, int32_t** indexes, CollisionTriangle** triangles, float** vertices,
                 int32_t* indexCount, int32_t* triangleCount, Body*) {
    *indexes = g_ground->indexes.data();
    *triangles = g_ground->triangles.data();
    *vertices = g_ground->vertices.data();
    *indexCount = static_cast<int32_t>(g_ground->indexes.size());
    *triangleCount = static_cast<int32_t>(g_ground->triangles.size());
}

// A 3 kg ball of radius 0.5 on triangle ground tilted by `slope` (downhill +x), friction 0.5.
struct Roll {
    TriangleSoup ground;
    World world{GameDesc(), &kGameGravity};
    RigidBody* ball = nullptr;
    Vector4 downhill;

    explicit Roll(float slope) {
        const Vector4 n{std::sin(slope), 0, std::cos(slope)};
        downhill = {std::cos(slope), 0, -std::sin(slope)};
        const Vector4 side{0, 1, 0};
        const Vector4 c[4] = {downhill * -100 - side * 100, downhill * 100 - side * 100, downhill * 100 + side * 100,
                              downhill * -100 + side * 100};
        ground.Add(c[0], c[1], c[2]);
        ground.Add(c[0], c[2], c[3]);
        g_ground = &ground;
        world->SetTriangleQueryCallback(&QueryGround);
        world->SetMaterial(0, 0.5f, 0.0f);
        ball = world->CreateRigidBody();
        ball->CreateGeometry()->SetSphere(0.5f);
        ball->SetMass(3.0f);
        ball->SetInertia(Vector4{1, 1, 1} * (0.4f * 3.0f * 0.25f));
        ball->UpdateBounds();
        ball->SetPosition(n * 0.501f);
    }
    ~Roll() { g_ground = nullptr; }
    float Speed() const { return Dot(ball->GetLinearVelocity(), downhill); }
    float Spin() const { return ball->GetAngularVelocity().y * 0.5f; }
};

} // namespace

TEST(SphereShapes, ABallLaunchedWithoutSpinEndsRollingAtFiveSevenths) {
    Roll roll(0.0f);
    roll.ball->SetLinearVelocity({3, 0, 0});
    for (int i = 0; i < 300; ++i) {
        roll.world->Step(kTick, 1, nullptr);
    }
    EXPECT_NEAR(roll.Speed(), 3.0f * 5.0f / 7.0f, 0.02f * 3.0f * 5.0f / 7.0f);
    EXPECT_NEAR(roll.Spin(), roll.Speed(), 0.02f * roll.Speed());
    EXPECT_NEAR(roll.ball->GetPosition().z, 0.5f, 0.02f);
}

TEST(SphereShapes, ABallRollsDownASlopeAtFiveSeventhsGSinTheta) {
    const float slope = 20.0f * 3.14159265f / 180.0f;
    Roll roll(slope);
    for (int i = 0; i < 60; ++i) {
        roll.world->Step(kTick, 1, nullptr);
    }
    const float v0 = roll.Speed();
    for (int i = 0; i < 150; ++i) {
        roll.world->Step(kTick, 1, nullptr);
    }
    const float expected = 5.0f / 7.0f * 9.8f * std::sin(slope);
    EXPECT_NEAR(roll.Speed() - v0, expected, 0.03f * expected);
    EXPECT_NEAR(roll.Spin(), roll.Speed(), 0.02f * roll.Speed());
}
