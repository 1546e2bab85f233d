#include "Physics/BodyDump.h"
#include "Physics/CollisionDrivers.h"
#include "Physics/ConvexCollision.h"
#include "Physics/Quaternion.h"
#include "PhysicsTestSupport.h"
#include "StaticMeshSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <set>
#include <vector>

using namespace Physics;
using namespace PhysicsTest;

namespace {

Vector4 AxisAngle(const Vector4& axis, float angle) {
    const Vector4 n = Normalize(axis);
    const float s = std::sin(angle * 0.5f);
    return {n.x * s, n.y * s, n.z * s, std::cos(angle * 0.5f)};
}

Matrix4 At(float x, float y, float z, const Vector4& q = {0, 0, 0, 1}) {
    return Matrix4::FromRotationAndPosition(QuatToRows(q), {x, y, z});
}

void ExpectVec(const Vector4& v, const Vector4& e, float tolerance = 1e-4f) {
    EXPECT_NEAR(v.x, e.x, tolerance);
    EXPECT_NEAR(v.y, e.y, tolerance);
    EXPECT_NEAR(v.z, e.z, tolerance);
}

std::vector<Vector4> CubePoints(float half) {
    std::vector<Vector4> p;
    for (int k = 0; k < 8; ++k) {
        p.push_back({(k & 4) != 0 ? half : -half, (k & 2) != 0 ? half : -half, (k & 1) != 0 ? half : -half});
    }
    return p;
}

// Points on a squashed, lumpy sphere: an irregular hull of about `faces` faces.
std::vector<Vector4> LumpyPoints(int count, float radius, unsigned seed) {
    std::vector<Vector4> p;
    const float golden = 2.39996323f;
    for (int i = 0; i < count; ++i) {
        const float z = 1.0f - 2.0f * (static_cast<float>(i) + 0.5f) / static_cast<float>(count);
        const float r = std::sqrt(1.0f - z * z);
        const float a = golden * static_cast<float>(i) + static_cast<float>(seed);
        const float lump = 1.0f + 0.15f * std::sin(3.0f * a + static_cast<float>(seed));
        p.push_back(Vector4{r * std::cos(a) * 1.3f, r * std::sin(a) * 0.9f, z * 0.7f} * (radius * lump));
    }
    return p;
}

Geometry HullShape(const ConvexHull* hull) {
    Geometry g;
    g.Reset();
    EXPECT_TRUE(g.SetConvexHull(hull));
    return g;
}

} // namespace

TEST(ConvexHulls, BadPointCloudsAreRefusedWithAMessage) {
    World world;
    MessageLog log(world.sim);
    const float nan = std::nanf("");
    struct Case {
        const char* name;
        std::vector<Vector4> points;
        const char* message;
    };
    std::vector<Vector4> many = LumpyPoints(300, 1.0f, 1);
    const Case cases[] = {
        {"three points", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, "Cannot build a ConvexHull from fewer than 4 points.\n"},
        {"four points, two the same",
         {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 0, 0}},
         "Cannot build a ConvexHull from fewer than 4 points.\n"},
        {"coplanar",
         {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}, {0.5f, 0.2f, 0}},
         "Cannot build a ConvexHull from points that are all collinear or coplanar.\n"},
        {"collinear",
         {{0, 0, 0}, {1, 1, 1}, {2, 2, 2}, {3, 3, 3}},
         "Cannot build a ConvexHull from points that are all collinear or coplanar.\n"},
        {"a NaN",
         {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, nan}},
         "Cannot build a ConvexHull from points that are not finite.\n"},
        {"an infinity",
         {{0, 0, 0}, {1, 0, 0}, {INFINITY, 1, 0}, {0, 0, 1}},
         "Cannot build a ConvexHull from points that are not finite.\n"},
        {"past 100 faces", many, "Cannot build a ConvexHull of more than 100 faces.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        log.Clear();
        EXPECT_EQ(world->CreateConvexHull(c.points.data(), static_cast<int>(c.points.size())), nullptr);
        EXPECT_TRUE(log.Contains(c.message));
    }
    EXPECT_EQ(world->CreateConvexHull(nullptr, 8), nullptr);
}

// The block: triangular faces with unit outward normals, adjacency in corner order, incident
// edges ended by 255, and an edge table that agrees with both.
TEST(ConvexHulls, BlockLayoutOfACubeAndOfAnIrregularCloud) {
    World world;
    std::vector<Vector4> cube = CubePoints(0.5f);
    cube.push_back({0.1f, 0.2f, -0.1f}); // inside: left out
    cube.push_back(cube[3]);             // a duplicate
    for (const std::vector<Vector4>& points : {cube, LumpyPoints(30, 1.0f, 2)}) {
        const ConvexHull* hull = world->CreateConvexHull(points.data(), static_cast<int>(points.size()));
        ASSERT_NE(hull, nullptr);
        ASSERT_TRUE(ConvexHull::IsValid(hull));
        const int f = hull->faceCount;
        const int v = hull->vertexCount;
        const int e = hull->edgeCount;
        EXPECT_EQ(f, 2 * v - 4);
        EXPECT_EQ(2 * e, 3 * f);
        if (points.size() == cube.size()) {
            EXPECT_EQ(v, 8);
            EXPECT_EQ(f, 12);
        }
        for (int i = 0; i < f; ++i) {
            const Vector4& n = hull->Planes()[i];
            EXPECT_NEAR(Length(n), 1.0f, 1e-5f);
            const ConvexHullFace& face = hull->Faces()[i];
            const float d = Dot(n, hull->Vertices()[face.vertices[0]]);
            for (int k = 0; k < v; ++k) {
                EXPECT_LE(Dot(n, hull->Vertices()[k]) - d, 1e-4f) << "face " << i << " vertex " << k;
            }
            for (int k = 0; k < 3; ++k) {
                // Edge k runs from corner k to corner k + 1 and separates this face from the
                // adjacent face k.
                const ConvexHullEdge& edge = hull->Edges()[face.edges[k]];
                const std::set<int> ends{edge.vertex[0], edge.vertex[1]};
                EXPECT_EQ(ends, (std::set<int>{face.vertices[k], face.vertices[(k + 1) % 3]}));
                const std::set<int> sides{edge.face[0], edge.face[1]};
                EXPECT_EQ(sides, (std::set<int>{i, face.adjacent[k]}));
            }
        }
        for (int i = 0; i < v; ++i) {
            int count = 0;
            for (const uint8_t* l = hull->VertexEdges()[i]; *l != ConvexHull::kListEnd; ++l, ++count) {
                const ConvexHullEdge& edge = hull->Edges()[*l];
                EXPECT_TRUE(edge.vertex[0] == i || edge.vertex[1] == i);
            }
            EXPECT_GE(count, 3);
        }
    }
}

TEST(ConvexHulls, SetConvexHullRefusesABrokenBlock) {
    World world;
    const std::vector<Vector4> cube = CubePoints(0.5f);
    ConvexHull* hull = world->CreateConvexHull(cube.data(), 8);
    ASSERT_NE(hull, nullptr);
    Geometry g;
    g.Reset();
    g.SetSphere(1.0f);
    auto* face = const_cast<ConvexHullFace*>(&hull->Faces()[3]);
    auto* adjacent = const_cast<uint8_t*>(face->adjacent);
    auto* edge = const_cast<ConvexHullEdge*>(&hull->Edges()[2]);
    struct Break {
        const char* name;
        std::function<void()> apply;
        std::function<void()> undo;
    };
    const uint8_t keepAdjacent = adjacent[1];
    const ConvexHullEdge keepEdge = *edge;
    const ConvexHullFace keepFace = *face;
    const int keepFaces = hull->faceCount;
    const Break breaks[] = {
        {"an adjacent face past the count", [&] { adjacent[1] = 12; }, [&] { adjacent[1] = keepAdjacent; }},
        {"an edge vertex past the count", [&] { edge->vertex[1] = 200; }, [&] { *edge = keepEdge; }},
        {"a list outside the block", [&] { face->edges = reinterpret_cast<const uint8_t*>(hull) - 64; },
         [&] { *face = keepFace; }},
        {"more than 100 faces", [&] { hull->faceCount = 101; }, [&] { hull->faceCount = keepFaces; }},
    };
    for (const Break& b : breaks) {
        SCOPED_TRACE(b.name);
        b.apply();
        EXPECT_FALSE(ConvexHull::IsValid(hull));
        EXPECT_FALSE(g.SetConvexHull(hull));
        EXPECT_EQ(g.GetType(), kGeometrySphere);
        b.undo();
    }
    EXPECT_FALSE(g.SetConvexHull(nullptr));
    EXPECT_TRUE(g.SetConvexHull(hull));
    EXPECT_EQ(g.GetType(), kGeometryConvexHull);
    // Its local box comes from its vertices through the local matrix.
    g.SetLocalMatrix(At(2, 0, 0, AxisAngle({0, 0, 1}, 0.7853982f)));
    Vector4 lo;
    Vector4 hi;
    g.GetLocalBox(lo, hi);
    ExpectVec(lo, {2 - 0.70710677f, -0.70710677f, -0.5f});
    ExpectVec(hi, {2 + 0.70710677f, 0.70710677f, 0.5f});
}

TEST(ConvexHulls, SupportVertices) {
    World world;
    const std::vector<Vector4> tetra = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    const ConvexHull* hull = world->CreateConvexHull(tetra.data(), 4);
    ASSERT_NE(hull, nullptr);
    const Geometry g = HullShape(hull);
    const Matrix4 identity;
    ShapeSide side;
    side.view.Init(g, nullptr);
    side.transform = &identity;
    // The support vertex for a plane lies farthest along minus its axis.
    for (const Vector4& n : {Vector4{-1, 0, 0}, Vector4{0, -1, 0}, Vector4{0, 0, -1}, Vector4{1, 1, 1},
                             Vector4{1, 0.2f, 0.1f}, Vector4{-1, -1.1f, 0}}) {
        int expected = 0;
        for (int v = 1; v < hull->vertexCount; ++v) {
            if (Dot(hull->Vertices()[v], -n) > Dot(hull->Vertices()[expected], -n)) {
                expected = v;
            }
        }
        EXPECT_EQ(ClimbSupportVertex(side, {n, 0}), expected);
    }
    // A box from three signs: +x bit 2, +y bit 1, +z bit 0, taken along minus the axis.
    ShapeSide boxSide;
    boxSide.isBox = 1;
    boxSide.transform = &identity;
    struct Case {
        Vector4 n;
        int vertex;
    };
    for (const Case& c : {Case{{-1, -1, -1}, 7}, Case{{1, 1, 1}, 0}, Case{{1, 0, 0}, 3}, Case{{0, 0.5f, -1}, 5}}) {
        EXPECT_EQ(BoxSupportVertex(boxSide, {c.n, 0}), c.vertex);
    }
}

// A unit box and a hull cube of the same size, 0.1 into each other along x.
TEST(ConvexHulls, HullAndBoxFaceContactBothWays) {
    World world;
    const std::vector<Vector4> cube = CubePoints(0.5f);
    const Geometry hull = HullShape(world->CreateConvexHull(cube.data(), 8));
    const Geometry box = Box(0.5f, 0.5f, 0.5f);
    ConstraintRow row{};
    CollideGeometries(row, box, At(0, 0, 0), hull, At(0.9f, 0, 0), {});
    ASSERT_EQ(row.found, 1);
    EXPECT_NEAR(row.depth, 0.1f, 1e-5f);
    ExpectVec(row.normal, {-1, 0, 0});
    ExpectVec(row.worldPointB + row.normal * -0.1f, row.worldPointA);
    EXPECT_NEAR(row.worldPointA.x, 0.5f, 1e-5f);

    CollideGeometries(row, hull, At(0.9f, 0, 0), box, At(0, 0, 0), {});
    ASSERT_EQ(row.found, 1);
    EXPECT_NEAR(row.depth, 0.1f, 1e-5f);
    ExpectVec(row.normal, {1, 0, 0});
    EXPECT_NEAR(row.worldPointB.x, 0.5f, 1e-5f);

    CollideGeometries(row, hull, At(1.05f, 0, 0), box, At(0, 0, 0), {});
    EXPECT_EQ(row.found, 0);
    // Centres at the offset that zeroes the reference offset: no division by zero, a contact.
    CollideGeometries(row, box, At(0, 0, 0), hull, At(-0.1f, -0.1f, -0.1f), {});
    ASSERT_EQ(row.found, 1);
    EXPECT_TRUE(IsFinite(row.normal));
    EXPECT_TRUE(std::isfinite(row.depth));
}

// Cube A turned 45° about z shows an edge along z towards +x; cube B turned 45° about y shows
// an edge along y towards -x. Overlapping by 0.05 they meet edge to edge.
TEST(ConvexHulls, CrossingEdgesGiveAnEdgeContact) {
    World world;
    const std::vector<Vector4> cube = CubePoints(0.5f);
    const Geometry a = HullShape(world->CreateConvexHull(cube.data(), 8));
    const Geometry b = a;
    const float reach = 0.70710677f;
    const Matrix4 ta = At(0, 0, 0, AxisAngle({0, 0, 1}, 0.7853982f));
    ConstraintRow row{};
    CollideGeometries(row, a, ta, b, At(2 * reach - 0.05f, 0, 0, AxisAngle({0, 1, 0}, 0.7853982f)), {});
    ASSERT_EQ(row.found, 1);
    EXPECT_NEAR(row.depth, 0.05f, 1e-4f);
    ExpectVec(row.normal, {-1, 0, 0});
    ExpectVec(row.worldPointA, {reach, 0, 0});
    ExpectVec(row.worldPointB, {reach - 0.05f, 0, 0});
    // Only the edge axis separates them here.
    CollideGeometries(row, a, ta, b, At(2 * reach + 0.01f, 0, 0, AxisAngle({0, 1, 0}, 0.7853982f)), {});
    EXPECT_EQ(row.found, 0);
}

TEST(ConvexHulls, HullAgainstMeshTriangles) {
    World world;
    const std::vector<Vector4> tetra = {{-0.5f, -0.5f, 0}, {0.5f, -0.5f, 0}, {0, 0.5f, 0}, {0, 0, 0.8f}};
    const Geometry hull = HullShape(world->CreateConvexHull(tetra.data(), 4));
    for (int32_t mode : {0, 2}) {
        SCOPED_TRACE(testing::Message() << "test mode " << mode);
        TriangleSoup soup;
        soup.Add({-10, -10, 0}, {10, -10, 0}, {0, 10, 0}, 6, mode);
        soup.Add({0, 0, 0}, {0, 0, 0}, {1, 1, 0}, 7, mode); // no area: no contact, no NaN
        const Geometry mesh = soup.Mesh();
        ConstraintRow row{};
        CollideGeometries(row, hull, At(0, 0, 0.01f), mesh, Matrix4(), {});
        EXPECT_EQ(row.found, 0) << "above the plane";
        CollideGeometries(row, hull, At(0, 0, -0.05f), mesh, Matrix4(), {});
        ASSERT_EQ(row.found, 1);
        EXPECT_NEAR(row.depth, 0.05f, 1e-5f);
        ExpectVec(row.normal, {0, 0, 1});
        EXPECT_EQ(row.materialB, 6);
    }
}

// Shapes of many edges at a vertex: the candidate stack stays within its 200 pairs.
TEST(ConvexHulls, ManyEdgesAtAVertexStayWithinTheScratch) {
    World world;
    std::vector<Vector4> cone;
    for (int i = 0; i < 48; ++i) {
        const float a = 6.2831855f * static_cast<float>(i) / 48.0f;
        cone.push_back({std::cos(a), std::sin(a), 0});
    }
    cone.push_back({0, 0, 1});
    cone.push_back({0, 0, -1});
    const ConvexHull* hull = world->CreateConvexHull(cone.data(), static_cast<int>(cone.size()));
    ASSERT_NE(hull, nullptr);
    const Geometry a = HullShape(hull);
    for (float angle : {0.3f, 1.2f, 2.0f}) {
        ConstraintRow row{};
        CollideGeometries(row, a, At(0, 0, 0, AxisAngle({1, 0.3f, 0}, angle)), a,
                          At(0.2f, 0.1f, 1.7f, AxisAngle({0.2f, 1, 0}, angle + 2.9f)), {});
        if (row.found != 0) {
            EXPECT_TRUE(IsFinite(row.normal));
            EXPECT_TRUE(IsFinite(row.worldPointA));
        }
    }
}

// Which shape pairs have a test: the rest yield no contact even when the shapes overlap.
TEST(ConvexHulls, DispatchTable) {
    World world;
    const std::vector<Vector4> cube = CubePoints(0.5f);
    const ConvexHull* block = world->CreateConvexHull(cube.data(), 8);
    const float vertices[] = {-5, -5, 0, 1, 5, -5, 0, 1, 0, 5, 0, 1};
    const int32_t indexes[3] = {0, 1, 2};
    TriangleSoup soup;
    soup.Add({-5, -5, 0}, {5, -5, 0}, {0, 5, 0});
    Geometry shapes[6];
    for (Geometry& g : shapes) {
        g.Reset();
    }
    shapes[1].SetSphere(0.5f);
    shapes[2].SetCapsule(1.0f, 1.0f);
    shapes[3].SetTriangle(indexes, vertices, 3);
    shapes[4].SetConvexHull(block);
    shapes[5] = soup.Mesh();
    const char* names[6] = {"box", "sphere", "capsule", "triangle", "hull", "mesh"};
    // Row: A's shape; column: B's. 1 = a test runs.
    const int table[6][6] = {
        {1, 1, 1, 1, 1, 1}, // box
        {1, 1, 1, 0, 0, 1}, // sphere
        {1, 1, 1, 0, 0, 1}, // capsule
        {0, 0, 0, 0, 0, 0}, // triangle
        {1, 0, 0, 0, 1, 1}, // hull
        {0, 0, 0, 0, 0, 0}, // mesh
    };
    for (int i = 0; i < 6; ++i) {
        for (int j = 0; j < 6; ++j) {
            SCOPED_TRACE(testing::Message() << names[i] << " against " << names[j]);
            ConstraintRow row{};
            // Both near the origin, overlapping; surfaces lie in z = 0.
            CollideGeometries(row, shapes[i], At(0, 0, 0.3f), shapes[j], j == 3 || j == 5 ? Matrix4() : At(0.2f, 0, 0),
                              {});
            EXPECT_EQ(row.found, table[i][j]);
        }
    }
}

namespace {

TriangleSoup* g_floor = nullptr;
void QueryFloor(const Vector4&, const Vector4&, int32_t** indexes, CollisionTriangle** triangles, float** vertices,
                int32_t* indexCount, int32_t* triangleCount, Body*) {
    *indexes = g_floor->indexes.data();
    *triangles = g_floor->triangles.data();
    *vertices = g_floor->vertices.data();
    *indexCount = static_cast<int32_t>(g_floor->indexes.size());
    *triangleCount = static_cast<int32_t>(g_floor->triangles.size());
}

} // namespace

// Dropped tilted onto a ground triangle, a tetrahedron and an irregular hull come to rest on a
// face (three vertices in the resting slop) and sleep.
TEST(ConvexHulls, DroppedHullsRestOnAFaceAndSleep) {
    const std::vector<Vector4> tetra = {{-0.5f, -0.4f, -0.2f}, {0.6f, -0.3f, -0.2f}, {0, 0.6f, -0.2f}, {0.1f, 0, 0.6f}};
    for (const std::vector<Vector4>& points : {tetra, LumpyPoints(24, 0.5f, 3)}) {
        TriangleSoup floor;
        floor.Add({-50, -50, 0}, {50, -50, 0}, {0, 50, 0});
        g_floor = &floor;
        World world(GameDesc(), &kGameGravity);
        world->SetTriangleQueryCallback(&QueryFloor);
        const ConvexHull* hull = world->CreateConvexHull(points.data(), static_cast<int>(points.size()));
        ASSERT_NE(hull, nullptr);
        RigidBody* body = world->CreateRigidBody();
        ASSERT_TRUE(body->CreateGeometry()->SetConvexHull(hull));
        body->SetMass(2.0f);
        body->SetInertia({0.1f, 0.1f, 0.1f});
        body->UpdateBounds();
        body->SetPosition({0, 0, 1.0f});
        body->SetOrientation(AxisAngle({1, 0.4f, 0.2f}, 0.6f));
        int steps = 0;
        while (!body->IsAsleep() && steps < 900) {
            world->Step(kTick, 1, nullptr);
            ++steps;
        }
        SCOPED_TRACE(testing::Message() << hull->faceCount << " faces, " << steps << " steps");
        ASSERT_TRUE(body->IsAsleep());
        const Matrix4 m = body->GetWorldTransform();
        std::vector<float> heights;
        for (int v = 0; v < hull->vertexCount; ++v) {
            heights.push_back(TransformPoint(hull->Vertices()[v], m).z);
        }
        std::sort(heights.begin(), heights.end());
        EXPECT_GT(heights[0], -0.03f);
        EXPECT_LT(heights[2], 0.03f) << "three vertices on the ground";
        EXPECT_NE(DumpBodies(*world.sim).find("  hull faces"), std::string::npos);
        g_floor = nullptr;
    }
}

namespace {

// A flat floor at z = 0 of square cells, each split into two triangles along a diagonal; the
// query hands over only the cells under the box, as a game's would.
struct GridFloor {
    TriangleSoup soup;
    float cell = 1.0f;
    float origin = 0.0f;
    int count = 0;
    std::vector<int32_t> listed;

    GridFloor(float cellSize, float half)
        : cell(cellSize), origin(-half), count(static_cast<int>(2.0f * half / cellSize)) {
        for (int j = 0; j < count; ++j) {
            for (int i = 0; i < count; ++i) {
                soup.AddQuad(origin + (static_cast<float>(i) + 0.5f) * cell,
                             origin + (static_cast<float>(j) + 0.5f) * cell, 0.5f * cell, 0.0f);
            }
        }
    }
    int Cell(float v) const { return std::clamp(static_cast<int>((v - origin) / cell), 0, count - 1); }
    void Gather(const Vector4& lo, const Vector4& hi) {
        listed.clear();
        for (int j = Cell(lo.y); j <= Cell(hi.y); ++j) {
            for (int i = Cell(lo.x); i <= Cell(hi.x); ++i) {
                listed.push_back(2 * (j * count + i));
                listed.push_back(2 * (j * count + i) + 1);
            }
        }
    }
};

GridFloor* g_grid = nullptr;
void QueryGrid(const Vector4& lo, const Vector4& hi, int32_t** indexes, CollisionTriangle** triangles, float** vertices,
               int32_t* indexCount, int32_t* triangleCount, Body*) {
    g_grid->Gather(lo, hi);
    *indexes = g_grid->listed.data();
    *triangles = g_grid->soup.triangles.data();
    *vertices = g_grid->soup.vertices.data();
    *indexCount = static_cast<int32_t>(g_grid->listed.size());
    *triangleCount = static_cast<int32_t>(g_grid->soup.triangles.size());
}

struct HullCase {
    const char* name;
    std::vector<Vector4> points;
};

std::vector<HullCase> FloorHulls() {
    std::vector<Vector4> slab;
    std::vector<Vector4> raised;
    for (int k = 0; k < 8; ++k) {
        const Vector4 c{(k & 4) != 0 ? 0.4f : -0.4f, (k & 2) != 0 ? 0.3f : -0.3f, (k & 1) != 0 ? 0.04f : -0.04f};
        slab.push_back(c);
        // Its frame origin lies outside it, as a model's base point may.
        raised.push_back(c * 0.8f + Vector4{0.3f, 0.0f, 0.5f});
    }
    return {{"tetrahedron", {{-0.5f, -0.4f, -0.2f}, {0.6f, -0.3f, -0.2f}, {0, 0.6f, -0.2f}, {0.1f, 0, 0.6f}}},
            {"irregular", LumpyPoints(24, 0.5f, 3)},
            {"thin slab", slab},
            {"off its origin", raised}};
}

float LowestVertex(const ConvexHull* hull, const Matrix4& m) {
    float lowest = 1e9f;
    for (int v = 0; v < hull->vertexCount; ++v) {
        lowest = std::min(lowest, TransformPoint(hull->Vertices()[v], m).z);
    }
    return lowest;
}

} // namespace

// Resting on a tessellated floor, a hull's contact is the floor's whichever triangle it touches
// (an edge shared by two triangles is no rim to slide off), as on one large triangle; also for a
// hull thinner than the search's fixed offset, and for one whose frame origin lies outside it.
TEST(ConvexHulls, RestingContactOnATessellatedFloorIsTheFloors) {
    World world;
    for (const HullCase& c : FloorHulls()) {
        const ConvexHull* hull = world->CreateConvexHull(c.points.data(), static_cast<int>(c.points.size()));
        ASSERT_NE(hull, nullptr) << c.name;
        const Geometry shape = HullShape(hull);
        // Cells of 100 m meet under the poses: large triangles touched near their corners.
        for (float cell : {0.25f, 1.0f, 4.0f, 100.0f, 0.0f}) {
            SCOPED_TRACE(testing::Message() << c.name << ", cells of " << cell << " m (0: one triangle)");
            TriangleSoup soup;
            if (cell > 0.0f) {
                GridFloor grid(cell, std::max(4.0f, cell));
                soup = grid.soup;
            } else {
                soup.Add({-50, -50, 0}, {50, -50, 0}, {0, 50, 0});
            }
            const Geometry floor = soup.Mesh();
            int wrong = 0;
            for (int k = 0; k < 300; ++k) {
                // Poses spread over the turns and over the cells.
                const float t = static_cast<float>(k);
                const Vector4 axis{std::sin(t * 1.7f), std::cos(t * 2.3f), std::sin(t * 0.9f + 1.0f)};
                const Matrix4 turn = At(0, 0, 0, AxisAngle(axis, 0.37f * t));
                const float sink = 0.01f;
                const Matrix4 pose = At(std::fmod(t * 0.731f, 3.0f) - 1.5f, std::fmod(t * 0.417f, 3.0f) - 1.5f,
                                        -LowestVertex(hull, turn) - sink, AxisAngle(axis, 0.37f * t));
                ConstraintRow row{};
                CollideGeometries(row, shape, pose, floor, Matrix4(), {});
                const bool floors = row.found == 1 && row.normal.z > 0.999f && std::fabs(row.depth - sink) < 1e-3f;
                wrong += floors ? 0 : 1;
            }
            EXPECT_EQ(wrong, 0);
        }
    }
}

// Dropped in many poses onto floors of several cell sizes, each hull comes to rest on top of the
// floor and sleeps there (landing from 1 m it may dip a few centimetres for a tick or two).
TEST(ConvexHulls, HullsDroppedOnGriddedFloorsRestOnTop) {
    for (const HullCase& c : FloorHulls()) {
        for (float cell : {0.25f, 0.5f, 1.0f, 2.0f, 4.0f}) {
            for (int k = 0; k < 40; ++k) {
                SCOPED_TRACE(testing::Message() << c.name << ", cells of " << cell << " m, pose " << k);
                GridFloor grid(cell, 8.0f);
                g_grid = &grid;
                World world(GameDesc(), &kGameGravity);
                world->SetTriangleQueryCallback(&QueryGrid);
                const ConvexHull* hull = world->CreateConvexHull(c.points.data(), static_cast<int>(c.points.size()));
                ASSERT_NE(hull, nullptr);
                RigidBody* body = world->CreateRigidBody();
                ASSERT_TRUE(body->CreateGeometry()->SetConvexHull(hull));
                body->SetMass(2.0f);
                body->SetInertia({0.1f, 0.1f, 0.1f});
                body->UpdateBounds();
                const float t = static_cast<float>(k);
                const Vector4 axis{std::sin(t * 1.7f), std::cos(t * 2.3f), std::sin(t * 0.9f + 1.0f)};
                body->SetOrientation(AxisAngle(axis, 0.37f * t + 0.5f));
                body->SetPosition({std::fmod(t * 0.731f, 3.0f) - 1.5f, std::fmod(t * 0.417f, 3.0f) - 1.5f, 1.0f});
                int steps = 0;
                float lowest = 0.0f;
                while (!body->IsAsleep() && steps < 900) {
                    world->Step(kTick, 1, nullptr);
                    lowest = std::min(lowest, LowestVertex(hull, body->GetWorldTransform()));
                    ++steps;
                }
                EXPECT_TRUE(body->IsAsleep());
                EXPECT_GT(lowest, -0.1f) << "deepest on the way";
                EXPECT_GT(LowestVertex(hull, body->GetWorldTransform()), -0.03f) << "at rest";
                g_grid = nullptr;
            }
        }
    }
}

// A hull lying on a larger hull (or box) gets the contact of the face it lies on. The larger
// hull's flat sides are pairs of coplanar triangles: its face search climbs across them to its top.
TEST(ConvexHulls, AHullRestingOnALargerHullTouchesItsTop) {
    World world;
    for (float half : {2.0f, 10.0f}) {
        const std::vector<Vector4> cube = CubePoints(half);
        const Geometry block = HullShape(world->CreateConvexHull(cube.data(), 8));
        const Geometry box = Box(half, half, half);
        for (const HullCase& c : FloorHulls()) {
            const ConvexHull* hull = world->CreateConvexHull(c.points.data(), static_cast<int>(c.points.size()));
            const Geometry shape = HullShape(hull);
            for (const Geometry* floor : {&block, &box}) {
                SCOPED_TRACE(testing::Message()
                             << c.name << " on a " << 2.0f * half << " m " << (floor == &box ? "box" : "hull cube"));
                int wrong = 0;
                for (int k = 0; k < 200; ++k) {
                    const float t = static_cast<float>(k);
                    const Vector4 q =
                        AxisAngle({std::sin(t * 1.7f), std::cos(t * 2.3f), std::sin(t * 0.9f + 1.0f)}, 0.37f * t);
                    const float sink = 0.01f;
                    const Matrix4 pose = At(std::fmod(t * 0.731f, 2.0f) - 1.0f, std::fmod(t * 0.417f, 2.0f) - 1.0f,
                                            -LowestVertex(hull, At(0, 0, 0, q)) - sink, q);
                    ConstraintRow row{};
                    CollideGeometries(row, shape, pose, *floor, At(0, 0, -half), {});
                    const bool top =
                        row.found == 1 && std::fabs(row.normal.z) > 0.999f && std::fabs(row.depth - sink) < 1e-3f;
                    wrong += top ? 0 : 1;
                }
                EXPECT_EQ(wrong, 0);
            }
        }
    }
}
