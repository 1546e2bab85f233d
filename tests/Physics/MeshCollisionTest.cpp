#include "Physics/MeshCollision.h"
#include "StaticMeshSupport.h"

#include <gtest/gtest.h>

#include "PhysicsTestSupport.h"

#include <cmath>

using namespace Physics;
using namespace PhysicsTest;

namespace {

// A capsule pose whose axis (local y) runs along u, with local x along world y cross u.
Matrix4 CapsulePose(const Vector4& c, const Vector4& u) {
    Matrix4 m = Matrix4::Identity();
    const Vector4 side = Normalize(Cross(Vector4{0.0f, 1.0f, 0.0f}, u));
    const Vector4 unit = Normalize(u);
    m.row[0] = side;
    m.row[1] = unit;
    m.row[2] = Cross(side, unit);
    m.row[3] = {c.x, c.y, c.z, 1.0f};
    return m;
}

void ExpectVec(const Vector4& v, float x, float y, float z, float tolerance = 1e-5f) {
    EXPECT_NEAR(v.x, x, tolerance);
    EXPECT_NEAR(v.y, y, tolerance);
    EXPECT_NEAR(v.z, z, tolerance);
}

ConstraintRow BoxAgainst(const TriangleSoup& soup, const Geometry& box, const Matrix4& pose) {
    ConstraintRow row{};
    const Geometry mesh = soup.Mesh();
    CollideBoxMesh(row, box, pose, mesh);
    return row;
}

ConstraintRow CapsuleAgainst(const TriangleSoup& soup, const Geometry& capsule, const Matrix4& pose) {
    ConstraintRow row{};
    const Geometry mesh = soup.Mesh();
    CollideCapsuleMesh(row, capsule, pose, mesh);
    return row;
}

TriangleFrame Frame(const Vector4& p0, const Vector4& p1, const Vector4& p2) {
    TriangleFrame t;
    t.Set(p0, p1, p2);
    return t;
}

} // namespace

// A box sitting on a large ground triangle meets it through the triangle's normal, whichever way
// the triangle is wound; a box whose centre sank below the plane is pushed on through it.
TEST(MeshShapes, BoxOnGroundTriangleTakesTheNormalAxis) {
    struct Case {
        bool clockwise;
        float centreZ;
        float depth;
        float normalZ;
        Vector4 pointA;
    };
    const Case cases[] = {
        {false, 0.49f, 0.01f, 1.0f, {0.5f, 0.5f, -0.01f}},
        {true, 0.49f, 0.01f, 1.0f, {0.5f, 0.5f, -0.01f}},
        {false, -0.1f, 0.4f, -1.0f, {0.5f, 0.5f, 0.4f}},
        {true, -0.1f, 0.4f, -1.0f, {0.5f, 0.5f, 0.4f}},
    };
    const Geometry box = Box(0.5f, 0.5f, 0.5f);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "clockwise " << c.clockwise << " z " << c.centreZ);
        TriangleSoup soup;
        const Vector4 a{-50.0f, -50.0f, 0.0f};
        const Vector4 b{50.0f, -50.0f, 0.0f};
        const Vector4 d{0.0f, 50.0f, 0.0f};
        if (c.clockwise) {
            soup.Add(a, d, b, 9);
        } else {
            soup.Add(a, b, d, 9);
        }
        const ConstraintRow row = BoxAgainst(soup, box, Pose(0.0f, 0.0f, c.centreZ));
        ASSERT_EQ(row.found, 1);
        EXPECT_NEAR(row.depth, c.depth, 1e-5f);
        ExpectVec(row.normal, 0.0f, 0.0f, c.normalZ);
        ExpectVec(row.worldPointA, c.pointA.x, c.pointA.y, c.pointA.z);
        ExpectVec(row.worldPointB, c.pointA.x, c.pointA.y, 0.0f);
        EXPECT_EQ(row.materialB, 9);
    }
}

// A small triangle poking 5 cm into the +x face: the box's own axis separates least, and the
// tie between the two vertices at x = 0.45 goes to the first.
TEST(MeshShapes, TrianglePokingIntoABoxFaceIsMetByTheBoxAxis) {
    TriangleSoup soup;
    soup.Add({0.45f, -0.1f, 0.0f}, {0.45f, 0.1f, 0.0f}, {0.8f, 0.0f, 0.0f}, 3);
    const ConstraintRow row = BoxAgainst(soup, Box(0.5f, 0.5f, 0.5f), Pose(0.0f, 0.0f, 0.0f));
    ASSERT_EQ(row.found, 1);
    EXPECT_NEAR(row.depth, 0.05f, 1e-5f);
    ExpectVec(row.normal, -1.0f, 0.0f, 0.0f);
    ExpectVec(row.worldPointA, 0.45f, -0.1f, 0.0f);
    ExpectVec(row.worldPointB, 0.40f, -0.1f, 0.0f);
}

// A triangle whose edge cuts across a box edge is met through the cross product of the two
// edges, with the closest points of the edges as the contact points.
TEST(MeshShapes, TriangleEdgeAcrossABoxEdgeIsMetByTheEdgeAxis) {
    // The box's upper +x edge runs along y at x = z = 0.5. The triangle stands in the plane
    // y = 0.2 outside the box, its edge A-B on the line x + z = 1 - eps clipping that edge.
    const float eps = 0.02f;
    TriangleSoup soup;
    soup.Add({0.3f, 0.2f, 0.7f - eps}, {0.7f, 0.2f, 0.3f - eps}, {0.7f, 0.2f, 0.7f});
    const ConstraintRow row = BoxAgainst(soup, Box(0.5f, 0.5f, 0.5f), Pose(0.0f, 0.0f, 0.0f));
    ASSERT_EQ(row.found, 1);
    const float s = 1.0f / std::sqrt(2.0f);
    EXPECT_NEAR(row.depth, eps * s, 1e-5f);
    ExpectVec(row.normal, -s, 0.0f, -s);
    ExpectVec(row.worldPointA, 0.5f, 0.2f, 0.5f);
    ExpectVec(row.worldPointB, 0.5f - eps * 0.5f, 0.2f, 0.5f - eps * 0.5f);
}

// Over a shared edge the deeper triangle wins; on a tie the one listed first keeps it.
TEST(MeshShapes, DeepestTriangleWinsAndTheFirstListedKeepsATie) {
    struct Case {
        float secondHeight;
        bool secondFirst;
        int32_t material;
        float depth;
    };
    const Case cases[] = {
        {0.0f, false, 4, 0.01f},   {0.0f, true, 5, 0.01f},    {0.005f, false, 5, 0.015f},
        {0.005f, true, 5, 0.015f}, {-0.005f, true, 4, 0.01f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.secondHeight << " " << c.secondFirst);
        TriangleSoup soup;
        // Two halves of a quad split along its diagonal, under a flat box that straddles it.
        soup.Add({-10.0f, -10.0f, 0.0f}, {10.0f, -10.0f, 0.0f}, {10.0f, 10.0f, 0.0f}, 4);
        soup.Add({-10.0f, -10.0f, c.secondHeight}, {10.0f, 10.0f, c.secondHeight}, {-10.0f, 10.0f, c.secondHeight}, 5);
        if (c.secondFirst) {
            std::swap(soup.indexes[0], soup.indexes[1]);
        }
        const ConstraintRow row = BoxAgainst(soup, Box(0.5f, 0.5f, 0.5f), Pose(0.0f, 0.0f, 0.49f));
        ASSERT_EQ(row.found, 1);
        EXPECT_EQ(row.materialB, c.material);
        EXPECT_NEAR(row.depth, c.depth, 1e-5f);
    }
}

// Test modes: 0 is the full test, 1 the corner test (boxes only), anything else no test. The
// corner test measures along world y and keeps the triangle's normal as wound.
TEST(MeshShapes, TestModeChoosesTheTest) {
    struct Case {
        int32_t mode;
        bool flipped;
        bool box;
        bool capsule;
        float boxNormalY;
    };
    const Case cases[] = {
        {0, false, true, true, 1.0f},  {0, true, true, true, 1.0f},    {1, false, true, false, 1.0f},
        {1, true, true, false, -1.0f}, {2, false, false, false, 0.0f}, {-1, false, false, false, 0.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode << " flipped " << c.flipped);
        // A large triangle in the x-z plane; the shapes rest on it along +y.
        TriangleSoup soup;
        const Vector4 p0{-10.0f, 0.0f, -10.0f};
        const Vector4 p1{0.0f, 0.0f, 10.0f};
        const Vector4 p2{10.0f, 0.0f, -10.0f};
        if (c.flipped) {
            soup.Add(p0, p2, p1, 6, c.mode);
        } else {
            soup.Add(p0, p1, p2, 6, c.mode);
        }
        const ConstraintRow box = BoxAgainst(soup, Box(0.5f, 0.5f, 0.5f), Pose(0.0f, 0.49f, 0.0f));
        EXPECT_EQ(box.found == 1, c.box);
        if (c.box) {
            EXPECT_NEAR(box.depth, 0.01f, 1e-5f);
            ExpectVec(box.normal, 0.0f, c.boxNormalY, 0.0f);
            EXPECT_NEAR(box.worldPointA.y, -0.01f, 1e-5f);
            EXPECT_NEAR(box.worldPointB.y, 0.0f, 1e-5f);
            EXPECT_EQ(box.materialB, 6);
        }
        const ConstraintRow capsule =
            CapsuleAgainst(soup, Capsule(0.25f, 1.0f), CapsulePose({0.0f, 0.24f, 0.0f}, {1.0f, 0.0f, 0.0f}));
        EXPECT_EQ(capsule.found == 1, c.capsule);
        if (c.capsule) {
            EXPECT_NEAR(capsule.depth, 0.01f, 1e-5f);
            ExpectVec(capsule.normal, 0.0f, 1.0f, 0.0f);
        }
    }
}

// Corner mode: only corners over the triangle in the x-z projection count, and the deepest one.
TEST(MeshShapes, CornerTestTakesTheDeepestCornerOverTheTriangle) {
    // A triangle covering only x > 0 (in x-z) under a box turned about z, so that its +x corners
    // hang lower than its -x ones.
    TriangleSoup soup;
    soup.Add({0.0f, 0.0f, -5.0f}, {0.0f, 0.0f, 5.0f}, {5.0f, 0.0f, 0.0f}, 2, 1);
    const float angle = -0.1f;
    const Matrix4 pose = Pose(0.0f, 0.5f, 0.0f, AxisAngle(0.0f, 0.0f, 1.0f, angle));
    const ConstraintRow row = BoxAgainst(soup, Box(0.5f, 0.5f, 0.5f), pose);
    ASSERT_EQ(row.found, 1);
    // Lowest corner: centre y 0.5 minus the projections of the two half axes on y.
    const float lowest = 0.5f - 0.5f * (std::cos(angle) + std::fabs(std::sin(angle)));
    EXPECT_NEAR(row.depth, -lowest, 1e-5f);
    EXPECT_GT(row.worldPointA.x, 0.0f);
    EXPECT_NEAR(row.worldPointB.y, 0.0f, 1e-6f);
    ExpectVec(row.normal, 0.0f, 1.0f, 0.0f);

    // Turned the other way the deep corners lie at x < 0, outside the triangle: the remaining
    // corners over it sit above the plane.
    const ConstraintRow other =
        BoxAgainst(soup, Box(0.5f, 0.5f, 0.5f), Pose(0.3f, 0.5f, 0.0f, AxisAngle(0.0f, 0.0f, 1.0f, -angle)));
    EXPECT_EQ(other.found, 0);
}

// A capsule lying on a triangle touches with the lower end of its core; when that end hangs
// past an edge the edge takes over, with a normal square to both edge and core.
TEST(MeshShapes, CapsuleMeetsTheFaceThenTheEdge) {
    TriangleSoup ground;
    ground.Add({-50.0f, -50.0f, 0.0f}, {50.0f, -50.0f, 0.0f}, {0.0f, 50.0f, 0.0f}, 1);
    const Geometry capsule = Capsule(0.25f, 1.0f);
    const ConstraintRow face = CapsuleAgainst(ground, capsule, CapsulePose({0.0f, 0.0f, 0.24f}, {1.0f, 0.0f, 0.0f}));
    ASSERT_EQ(face.found, 1);
    EXPECT_NEAR(face.depth, 0.01f, 1e-5f);
    // Level core (k = 0): the core's minus end is taken.
    ExpectVec(face.worldPointA, -1.0f, 0.0f, -0.01f);
    ExpectVec(face.worldPointB, -1.0f, 0.0f, 0.0f);
    ExpectVec(face.normal, 0.0f, 0.0f, 1.0f);

    // A triangle ending at x = 0.5 (edge along y), the capsule dipping its +x end beyond it.
    TriangleSoup ledge;
    ledge.Add({-10.0f, -10.0f, 0.0f}, {0.5f, -10.0f, 0.0f}, {0.5f, 10.0f, 0.0f}, 1);
    const float theta = 0.2f;
    const Vector4 u{std::cos(theta), 0.0f, -std::sin(theta)};
    const ConstraintRow edge = CapsuleAgainst(ledge, capsule, CapsulePose({0.0f, 0.0f, 0.3f}, u));
    ASSERT_EQ(edge.found, 1);
    const float distance = std::fabs(0.5f * std::sin(theta) - 0.3f * std::cos(theta));
    EXPECT_NEAR(edge.depth, 0.25f - distance, 1e-5f);
    ExpectVec(edge.normal, std::sin(theta), 0.0f, std::cos(theta));
    EXPECT_NEAR(edge.worldPointB.x, 0.5f, 1e-5f);
    EXPECT_NEAR(edge.worldPointB.z, 0.0f, 1e-5f);
}

// Region codes, and inside for both windings (the remap for the other winding must leave
// "inside" alone, or every face test on such a triangle fails).
TEST(MeshShapes, TriangleContainsPointRegions) {
    struct Case {
        bool clockwise;
        Vector4 q;
        int code;
    };
    const Case cases[] = {
        {false, {0.25f, 0.25f, 0.0f}, -1}, {true, {0.25f, 0.25f, 0.0f}, -1}, {false, {0.5f, -1.0f, 0.0f}, 1},
        {true, {0.5f, -1.0f, 0.0f}, 5},    {false, {-1.0f, -1.0f, 0.0f}, 0}, {false, {0.25f, 0.25f, 7.0f}, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.clockwise << " " << c.q.x << "," << c.q.y);
        const Vector4 a{0.0f, 0.0f, 0.0f};
        const Vector4 b{1.0f, 0.0f, 0.0f};
        const Vector4 d{0.0f, 1.0f, 0.0f};
        const TriangleFrame t = c.clockwise ? Frame(a, d, b) : Frame(a, b, d);
        EXPECT_EQ(TriangleContainsPoint(t, c.q), c.code);
    }

    // A capsule on a downward-wound road triangle still gets its face contact.
    TriangleSoup road;
    road.Add({-50.0f, -50.0f, 0.0f}, {0.0f, 50.0f, 0.0f}, {50.0f, -50.0f, 0.0f});
    const ConstraintRow row =
        CapsuleAgainst(road, Capsule(0.25f, 1.0f), CapsulePose({0.0f, 0.0f, 0.24f}, {1.0f, 0.0f, 0.0f}));
    ASSERT_EQ(row.found, 1);
    EXPECT_NEAR(row.depth, 0.01f, 1e-5f);
    ExpectVec(row.normal, 0.0f, 0.0f, 1.0f);
}

// Zero-area triangles have no plane: the box and edge axes decide, and a contact always carries a
// unit normal, never the zero vector of the missing plane.
TEST(MeshShapes, DegenerateTrianglesGiveContactsWithRealNormalsOrNone) {
    const Geometry box = Box(0.5f, 0.5f, 0.5f);
    const Geometry capsule = Capsule(0.25f, 1.0f);
    struct Case {
        const char* name;
        Vector4 p0, p1, p2;
        bool boxHit;
    };
    const Case cases[] = {
        {"collinear through the box", {-1.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}, {1.0f, 0.0f, 0.0f}, true},
        {"single point inside", {0.1f, 0.1f, 0.1f}, {0.1f, 0.1f, 0.1f}, {0.1f, 0.1f, 0.1f}, true},
        {"collinear far away", {5.0f, 0.0f, 0.0f}, {6.0f, 0.0f, 0.0f}, {7.0f, 0.0f, 0.0f}, false},
        {"tiny sliver", {-1.0f, 0.0f, 0.2f}, {1.0f, 0.0f, 0.2f}, {0.0f, 0.0001f, 0.2f}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TriangleSoup soup;
        soup.Add(c.p0, c.p1, c.p2);
        const ConstraintRow row = BoxAgainst(soup, box, Pose(0.0f, 0.0f, 0.0f));
        EXPECT_EQ(row.found == 1, c.boxHit);
        if (row.found == 1) {
            EXPECT_NEAR(Length(row.normal), 1.0f, 1e-5f);
            EXPECT_TRUE(std::isfinite(row.depth));
            EXPECT_GE(row.depth, 0.0f);
        }
        for (int mode = 0; mode < 2; ++mode) {
            soup.triangles[0].testMode = mode;
            const ConstraintRow any = BoxAgainst(soup, box, Pose(0.0f, 0.3f, 0.0f));
            EXPECT_TRUE(std::isfinite(any.depth) || any.found == 0);
        }
    }

    // A capsule across a collinear triangle: its edges give the contact, 5 cm deep, upwards.
    TriangleSoup line;
    line.Add({0.0f, -1.0f, 0.0f}, {0.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f});
    const ConstraintRow row = CapsuleAgainst(line, capsule, CapsulePose({0.0f, 0.0f, 0.2f}, {1.0f, 0.0f, 0.0f}));
    ASSERT_EQ(row.found, 1);
    EXPECT_NEAR(row.depth, 0.05f, 1e-5f);
    ExpectVec(row.normal, 0.0f, 0.0f, 1.0f);
}

// Triangle indexes outside the table and triangles naming a negative vertex are skipped; the
// valid triangle in between still counts.
TEST(MeshShapes, BadIndexesAreSkipped) {
    TriangleSoup soup;
    soup.AddQuad(0.0f, 0.0f, 10.0f, 0.0f, 2);
    soup.triangles.push_back({{-1, 0, 1}, 8, 0, 0});
    soup.triangles.push_back({{0, -400000, 1}, 8, 0, 0});
    soup.indexes = {99, -1, 2, 3, 1 << 30, 0, -(1 << 30)};
    const ConstraintRow box = BoxAgainst(soup, Box(0.5f, 0.5f, 0.5f), Pose(0.0f, 0.0f, 0.49f));
    ASSERT_EQ(box.found, 1);
    EXPECT_EQ(box.materialB, 2);
    const ConstraintRow capsule =
        CapsuleAgainst(soup, Capsule(0.25f, 1.0f), CapsulePose({0.0f, 0.0f, 0.24f}, {1.0f, 0.0f, 0.0f}));
    ASSERT_EQ(capsule.found, 1);
    EXPECT_EQ(capsule.materialB, 2);

    // No table or no vertex array: nothing is read.
    Geometry mesh = soup.Mesh();
    mesh.meshTriangles = nullptr;
    ConstraintRow none{};
    CollideBoxMesh(none, Box(0.5f, 0.5f, 0.5f), Pose(0.0f, 0.0f, 0.49f), mesh);
    EXPECT_EQ(none.found, 0);
    mesh = soup.Mesh();
    mesh.meshVertices = nullptr;
    CollideCapsuleMesh(none, Capsule(0.25f, 1.0f), Pose(0.0f, 0.0f, 0.24f), mesh);
    EXPECT_EQ(none.found, 0);
    // An empty list gives no contact.
    soup.indexes.clear();
    EXPECT_EQ(BoxAgainst(soup, Box(0.5f, 0.5f, 0.5f), Pose(0.0f, 0.0f, 0.49f)).found, 0);
}

// The shape tests read triangles either straight from the mesh's arrays or already in working
// form (as the static-world pass hands them over); both must give the same contact.
TEST(MeshShapes, PreparedTrianglesGiveTheSameContacts) {
    TriangleSoup soup;
    // A bumpy 8 x 8 patch, a sliver and a bad index among it.
    for (int i = 0; i < 8; ++i) {
        for (int j = 0; j < 8; ++j) {
            auto h = [](float x, float y) { return 0.3f * std::sin(1.3f * x) * std::cos(0.7f * y); };
            const auto x = static_cast<float>(i) - 4.0f;
            const auto y = static_cast<float>(j) - 4.0f;
            soup.Add({x, y, h(x, y)}, {x + 1, y, h(x + 1, y)}, {x + 1, y + 1, h(x + 1, y + 1)}, i);
            soup.Add({x, y, h(x, y)}, {x + 1, y + 1, h(x + 1, y + 1)}, {x, y + 1, h(x, y + 1)}, j, (i + j) % 3);
        }
    }
    soup.Add({0.0f, 0.0f, 0.0f}, {1.0f, 0.0f, 0.0f}, {2.0f, 0.0f, 0.0f});
    soup.indexes.push_back(9999);

    const Geometry plain = soup.Mesh();
    std::vector<PreparedTriangle> prepared;
    for (const int32_t index : soup.indexes) {
        TriangleFrame t;
        if (t.Build(plain, index)) {
            prepared.emplace_back();
            prepared.back().Prepare(t);
        }
    }
    Geometry ready = plain;
    ready.meshPrepared = prepared.data();
    ready.meshPreparedCount = static_cast<int32_t>(prepared.size());

    const Geometry box = Box(0.4f, 0.7f, 0.3f);
    const Geometry capsule = Capsule(0.3f, 0.6f);
    int contacts = 0;
    for (int k = 0; k < 200; ++k) {
        const float s = static_cast<float>(k);
        const Matrix4 pose = Pose(3.5f * std::sin(0.37f * s), 3.5f * std::cos(0.23f * s), 0.4f * std::sin(0.91f * s),
                                  AxisAngle(std::sin(s), std::cos(s), 0.5f, 0.13f * s));
        for (const bool isBox : {true, false}) {
            ConstraintRow a{};
            ConstraintRow b{};
            if (isBox) {
                CollideBoxMesh(a, box, pose, plain);
                CollideBoxMesh(b, box, pose, ready);
            } else {
                CollideCapsuleMesh(a, capsule, pose, plain);
                CollideCapsuleMesh(b, capsule, pose, ready);
            }
            ASSERT_EQ(a.found, b.found) << k;
            if (a.found == 1) {
                ++contacts;
                EXPECT_EQ(a.depth, b.depth);
                EXPECT_EQ(a.materialB, b.materialB);
                EXPECT_EQ(a.normal.x, b.normal.x);
                EXPECT_EQ(a.worldPointA.z, b.worldPointA.z);
            }
        }
    }
    EXPECT_GT(contacts, 100);
}
