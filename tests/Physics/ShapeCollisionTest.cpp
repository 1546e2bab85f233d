#include "Physics/ShapeCollision.h"
#include "Physics/CollisionDrivers.h"
#include "Physics/Quaternion.h"
#include "PhysicsTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace Physics;
using namespace PhysicsTest;

namespace {

Matrix4 At(float x, float y, float z, const Vector4& q = {0.0f, 0.0f, 0.0f, 1.0f}) {
    return Matrix4::FromRotationAndPosition(QuatToRows(q), {x, y, z, 0.0f});
}

// The capsule's axis (local y) laid along world x.
Matrix4 AlongX(float x, float y, float z) {
    Matrix4 m = Matrix4::Identity();
    m.row[0] = {0.0f, -1.0f, 0.0f, 0.0f};
    m.row[1] = {1.0f, 0.0f, 0.0f, 0.0f};
    m.row[3] = {x, y, z, 1.0f};
    return m;
}

// The capsule's axis standing along world z, upwards (up = 1) or downwards (up = -1).
Matrix4 Standing(float z, float up) {
    Matrix4 m = Matrix4::Identity();
    m.row[1] = {0.0f, 0.0f, up, 0.0f};
    m.row[2] = {0.0f, -up, 0.0f, 0.0f};
    m.row[3] = {0.0f, 0.0f, z, 1.0f};
    return m;
}

Vector4 AxisAngle(float x, float y, float z, float angle) {
    const float s = std::sin(angle * 0.5f);
    return {x * s, y * s, z * s, std::cos(angle * 0.5f)};
}

void ExpectVec(const Vector4& v, float x, float y, float z, float tolerance = 1e-5f) {
    EXPECT_NEAR(v.x, x, tolerance);
    EXPECT_NEAR(v.y, y, tolerance);
    EXPECT_NEAR(v.z, z, tolerance);
}

bool Finite(const Vector4& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

} // namespace

TEST(BoxBox, FaceContactTakesTheDeepestCornerAndBreaksTiesWithTheLaterFace) {
    // Half extents 1, centres 1.5 apart: B's x face ties with A's and is taken again.
    const Geometry a = Box(1, 1, 1);
    const Geometry b = Box(1, 1, 1);
    ConstraintRow row{};
    CollideBoxBox(row, a, At(0, 0, 0), b, At(1.5f, 0, 0));
    ASSERT_EQ(row.found, 1);
    EXPECT_FLOAT_EQ(row.depth, 0.5f);
    ExpectVec(row.normal, -1, 0, 0);
    // sign(0) = -1 picks the corner at +y, +z.
    ExpectVec(row.worldPointA, 1, 1, 1);
    ExpectVec(row.worldPointB, 0.5f, 1, 1);

    CollideBoxBox(row, a, At(0, 0, 0), b, At(2.0f, 0, 0));
    EXPECT_EQ(row.found, 0) << "touching boxes do not overlap";
}

TEST(BoxBox, AShallowerLaterAxisWithinTheMarginDoesNotReplaceTheFirst) {
    // Overlap 0.5 along x, 0.49995 along y: y is shallower by less than 0.0001.
    const Geometry a = Box(1, 1, 1);
    const Geometry b = Box(1, 1, 1);
    ConstraintRow row{};
    CollideBoxBox(row, a, At(0, 0, 0), b, At(1.5f, 1.50005f, 0));
    ASSERT_EQ(row.found, 1);
    EXPECT_FLOAT_EQ(row.depth, 0.5f);
    ExpectVec(row.normal, -1, 0, 0);

    // 0.001 shallower is beyond the margin: y wins.
    CollideBoxBox(row, a, At(0, 0, 0), b, At(1.5f, 1.501f, 0));
    ASSERT_EQ(row.found, 1);
    EXPECT_NEAR(row.depth, 0.499f, 1e-5f);
    ExpectVec(row.normal, 0, -1, 0);
}

TEST(BoxBox, CrossedEdgesGiveAnEdgeContactOnBothEdges) {
    // A turned 45 degrees about x (a ridge along x on top), B turned 45 degrees about y (a ridge
    // along y underneath), the ridges crossing by 0.1.
    const float r2 = std::sqrt(2.0f);
    const Geometry a = Box(1, 1, 1);
    const Geometry b = Box(1, 1, 1);
    ConstraintRow row{};
    CollideBoxBox(row, a, At(0, 0, 0, AxisAngle(1, 0, 0, 0.78539816f)), b,
                  At(0, 0, 2.0f * r2 - 0.1f, AxisAngle(0, 1, 0, 0.78539816f)));
    ASSERT_EQ(row.found, 1);
    EXPECT_NEAR(row.depth, 0.1f, 1e-4f);
    ExpectVec(row.normal, 0, 0, -1, 1e-4f);
    ExpectVec(row.worldPointA, 0, 0, r2, 1e-4f);
    ExpectVec(row.worldPointB, 0, 0, r2 - 0.1f, 1e-4f);
}

TEST(BoxCapsule, CapsuleLyingOnABox) {
    const Geometry box = Box(1, 1, 1);
    const Geometry capsule = Capsule(0.5f, 1.0f);
    ConstraintRow row{};
    CollideBoxCapsule(row, box, At(0, 0, 0), capsule, AlongX(0, 0, 1.3f));
    ASSERT_EQ(row.found, 1);
    EXPECT_NEAR(row.depth, 0.2f, 1e-5f);
    ExpectVec(row.normal, 0, 0, -1);
    // A level core meets the top face along its whole length; the walk stops at its start.
    ExpectVec(row.worldPointA, -1, 0, 1);
    ExpectVec(row.worldPointB, -1, 0, 0.8f);

    // Tilted so that its +x end is lower: the contact moves under that end.
    const float c = std::cos(0.1f);
    const float s = std::sin(0.1f);
    Matrix4 tilted = AlongX(0, 0, 1.3f);
    tilted.row[1] = {c, 0, -s, 0};
    tilted.row[2] = {s, 0, c, 0};
    CollideBoxCapsule(row, box, At(0, 0, 0), capsule, tilted);
    ASSERT_EQ(row.found, 1);
    EXPECT_GT(row.worldPointA.x, 0.9f);
    EXPECT_GT(row.depth, 0.2f);
}

TEST(BoxCapsule, DispatchRunsCapsuleAgainstBoxReversed) {
    const Geometry box = Box(1, 1, 1);
    const Geometry capsule = Capsule(0.5f, 1.0f);
    ConstraintRow row{};
    CollideGeometries(row, capsule, AlongX(0, 0, 1.3f), box, At(0, 0, 0), Vector4());
    ASSERT_EQ(row.found, 1);
    EXPECT_EQ(row.geometryA, &capsule);
    EXPECT_EQ(row.geometryB, &box);
    ExpectVec(row.normal, 0, 0, 1);
    ExpectVec(row.worldPointA, -1, 0, 0.8f);
    ExpectVec(row.worldPointB, -1, 0, 1);
}

// A core that meets the box has no closest-point direction: its point (where the core enters, or its
// start when that lies inside) is pushed out through the face it is nearest to, by its distance to
// that face plus the radius, so that a capsule never sinks through a box it lies on.
TEST(BoxCapsule, CoreInsideTheBoxIsPushedOutThroughTheNearestFace) {
    struct Case {
        const char* name;
        Geometry box;
        Matrix4 wa;
        Geometry capsule;
        Matrix4 wb;
        float depth;
        Vector4 normal, pointA, pointB;
    };
    const Case cases[] = {
        {"level core 0.1 under the top face",
         Box(1, 1, 1),
         At(0, 0, 0),
         Capsule(0.1f, 0.5f),
         AlongX(0, 0, 0.9f),
         0.2f,
         {0, 0, -1, 0},
         {-0.5f, 0, 1, 0},
         {-0.5f, 0, 0.8f, 0}},
        {"core reaching in through a side face",
         Box(1, 1, 1),
         At(0, 0, 0),
         Capsule(0.5f, 1),
         AlongX(-1, 0, 0.5f),
         0.5f,
         {1, 0, 0, 0},
         {-1, 0, 0.5f, 0},
         {-0.5f, 0, 0.5f, 0}},
        {"standing, the core's start inside",
         Box(1, 1, 1),
         At(0, 0, 0),
         Capsule(0.1f, 0.5f),
         Standing(1.2f, 1),
         0.4f,
         {0, 0, -1, 0},
         {0, 0, 1, 0},
         {0, 0, 0.6f, 0}},
        {"standing, the core's start above: where it enters",
         Box(1, 1, 1),
         At(0, 0, 0),
         Capsule(0.1f, 0.5f),
         Standing(1.2f, -1),
         0.1f,
         {0, 0, -1, 0},
         {0, 0, 1, 0},
         {0, 0, 0.9f, 0}},
        // Local y of the turned box lies along world x: its face 0.1 away is the nearest.
        {"turned box",
         Box(2, 1, 0.5f),
         At(0, 0, 0, AxisAngle(0, 0, 1, 1.57079633f)),
         Capsule(0.2f, 0.5f),
         At(0.9f, 0, 0),
         0.3f,
         {-1, 0, 0, 0},
         {1, -0.5f, 0, 0},
         {0.7f, -0.5f, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ConstraintRow row{};
        CollideBoxCapsule(row, c.box, c.wa, c.capsule, c.wb);
        ASSERT_EQ(row.found, 1);
        EXPECT_NEAR(row.depth, c.depth, 1e-5f);
        ExpectVec(row.normal, c.normal.x, c.normal.y, c.normal.z);
        ExpectVec(row.worldPointA, c.pointA.x, c.pointA.y, c.pointA.z);
        ExpectVec(row.worldPointB, c.pointB.x, c.pointB.y, c.pointB.z);
    }
}

TEST(CapsuleCapsule, ParallelCoresUseTheEndCaps) {
    const Geometry a = Capsule(0.5f, 1.0f);
    const Geometry b = Capsule(0.5f, 1.0f);
    ConstraintRow row{};
    CollideCapsuleCapsule(row, a, At(0, 0, 0), b, At(0.8f, 0, 0));
    ASSERT_EQ(row.found, 1);
    EXPECT_NEAR(row.depth, 0.2f, 1e-5f);
    ExpectVec(row.normal, -1, 0, 0);
    // A's upper end checked first; later checks of equal depth do not replace it.
    ExpectVec(row.worldPointA, 0.5f, 1, 0);
    ExpectVec(row.worldPointB, 0.3f, 1, 0);
}

TEST(CapsuleCapsule, CrossingCoresUseTheClosestPoints) {
    const Geometry a = Capsule(0.5f, 1.0f);
    const Geometry b = Capsule(0.5f, 1.0f);
    ConstraintRow row{};
    CollideCapsuleCapsule(row, a, At(0, 0, 0), b, AlongX(0, 0, 0.8f));
    ASSERT_EQ(row.found, 1);
    EXPECT_NEAR(row.depth, 0.2f, 1e-5f);
    ExpectVec(row.normal, 0, 0, -1);
    ExpectVec(row.worldPointA, 0, 0, 0.5f);
    ExpectVec(row.worldPointB, 0, 0, 0.3f);

    CollideCapsuleCapsule(row, a, At(0, 0, 0), b, AlongX(0, 0, 1.01f));
    EXPECT_EQ(row.found, 0);
}

TEST(CapsuleCapsule, EndToEndAlongOneLineOnlyWhileTheEndProjectsOntoTheOtherCore) {
    // A long capsule (L 2) and a short one (L 0.5) end to end along y, caps overlapping by 0.1.
    const Geometry longer = Capsule(0.5f, 2.0f);
    const Geometry shorter = Capsule(0.5f, 0.5f);
    ConstraintRow row{};
    CollideCapsuleCapsule(row, longer, At(0, 0, 0), shorter, At(0, 3.4f, 0));
    ASSERT_EQ(row.found, 1);
    EXPECT_NEAR(row.depth, 0.1f, 1e-5f);
    ExpectVec(row.normal, 0, -1, 0);
    ExpectVec(row.worldPointA, 0, 2.5f, 0);
    ExpectVec(row.worldPointB, 0, 2.4f, 0);
}

// Degenerate input never produces a non-finite contact and never hangs.
TEST(ShapePairs, DegenerateShapesGiveFiniteContacts) {
    struct Case {
        const char* name;
        Geometry a;
        Matrix4 wa;
        Geometry b;
        Matrix4 wb;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const Case cases[] = {
        {"coincident boxes", Box(0.5f, 0.5f, 0.5f), At(1, 2, 3), Box(0.5f, 0.5f, 0.5f), At(1, 2, 3)},
        {"zero-size boxes", Box(0, 0, 0), At(0, 0, 0), Box(0, 0, 0), At(0, 0, 0)},
        {"zero-size box in a box", Box(0.5f, 0.5f, 0.5f), At(0, 0, 0), Box(0, 0, 0), At(0.1f, 0, 0)},
        {"coincident capsules", Capsule(0.5f, 1), At(0, 0, 0), Capsule(0.5f, 1), At(0, 0, 0)},
        {"zero-length capsules", Capsule(0.5f, 0), At(0, 0, 0), Capsule(0.5f, 0), At(0, 0, 0)},
        {"zero-length capsule on a box", Box(1, 1, 1), At(0, 0, 0), Capsule(0.5f, 0), At(0, 0, 1.2f)},
        {"zero-length capsule in a zero box", Box(0, 0, 0), At(0, 0, 0), Capsule(0.5f, 0), At(0, 0, 0)},
        {"capsule on a box, same centre", Box(0.5f, 0.5f, 0.5f), At(0, 0, 0), Capsule(0.5f, 1), At(0, 0, 0)},
        {"NaN pose", Box(0.5f, 0.5f, 0.5f), At(nan, 0, 0), Capsule(0.5f, 1), At(0, 0, 0)},
        {"NaN box against box", Box(0.5f, 0.5f, 0.5f), At(0, nan, 0), Box(0.5f, 0.5f, 0.5f), At(0, 0, 0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (int order = 0; order < 2; ++order) {
            ConstraintRow row{};
            if (order == 0) {
                CollideGeometries(row, c.a, c.wa, c.b, c.wb, Vector4());
            } else {
                CollideGeometries(row, c.b, c.wb, c.a, c.wa, Vector4());
            }
            if (row.found != 0) {
                EXPECT_TRUE(std::isfinite(row.depth));
                EXPECT_TRUE(Finite(row.normal));
                EXPECT_TRUE(Finite(row.worldPointA));
                EXPECT_TRUE(Finite(row.worldPointB));
            }
        }
    }
}

TEST(ShapePairs, SegmentAgainstBoxWalksToTheNearestPoint) {
    struct Case {
        const char* name;
        Vector4 s0, s1;
        Vector4 segment, box;
    };
    const Vector4 h{1, 1, 1, 0};
    const Case cases[] = {
        {"level above the top face", {-1, 0, 1.3f}, {1, 0, 1.3f}, {-1, 0, 1.3f}, {-1, 0, 1}},
        {"dipping past the edge", {-2, 0, 2}, {2, 0, 1.2f}, {1.0769231f, 0, 1.3846154f}, {1, 0, 1}},
        {"passing a corner", {3, -1, 0}, {1, 3, 0}, {1.8f, 1.4f, 0}, {1, 1, 0}},
        {"crossing the box", {-3, 0, 0}, {3, 0, 0}, {-1, 0, 0}, {-1, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Vector4 segment;
        Vector4 box;
        ClosestSegmentBoxPoints(c.s0, c.s1, h, segment, box);
        ExpectVec(segment, c.segment.x, c.segment.y, c.segment.z, 1e-4f);
        ExpectVec(box, c.box.x, c.box.y, c.box.z, 1e-4f);
    }
}

TEST(BoxBox, FaceAxisTakesADeeperAxisOrATieWhoseCornerLiesOverTheFace) {
    // X half extents 1 at the origin, Y the same at (1.5, dy, 0): the x face overlaps by 0.5 and
    // Y's deepest corner is (0.5, 1 + dy, 1); it lies over X's x face while |1 + dy| <= 1.001.
    struct Case {
        const char* name;
        float bestSoFar;
        float dy;
        bool taken;
    };
    const Case cases[] = {
        {"fresh contact", 100000.0f, 0.0f, true},
        {"deeper by more than the margin", 0.5002f, 0.0f, true},
        {"deeper by less than the margin", 0.50005f, 0.0f, false},
        {"shallower by less than the margin", 0.49995f, 0.0f, false},
        {"tie, corner over the face", 0.5f, 0.0f, true},
        {"tie within 1e-6, corner over the face", 0.4999995f, 0.0f, true},
        {"tie, corner within the slack", 0.5f, 0.0005f, true},
        {"tie, corner beyond the slack", 0.5f, 0.002f, false},
    };
    const Geometry box = Box(1, 1, 1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BoxFrame x;
        BoxFrame y;
        x.Build(box, At(0, 0, 0));
        y.Build(box, At(1.5f, c.dy, 0));
        PairContact r;
        r.depth = c.bestSoFar;
        r.pointA = {7, 7, 7, 0};
        ASSERT_TRUE(TestBoxFaceAxis(r, x, y, 0));
        EXPECT_EQ(r.found, c.taken);
        if (c.taken) {
            EXPECT_FLOAT_EQ(r.depth, 0.5f);
            ExpectVec(r.normal, 1, 0, 0);
            ExpectVec(r.pointA, 0.5f, 1 + c.dy, 1);
            ExpectVec(r.pointB, 1.0f, 1 + c.dy, 1);
        } else {
            EXPECT_EQ(r.depth, c.bestSoFar);
            ExpectVec(r.pointA, 7, 7, 7);
        }
    }
    // Apart along the axis: it separates.
    BoxFrame x;
    BoxFrame y;
    x.Build(box, At(0, 0, 0));
    y.Build(box, At(2.0f, 0, 0));
    PairContact r;
    EXPECT_FALSE(TestBoxFaceAxis(r, x, y, 0));
}
