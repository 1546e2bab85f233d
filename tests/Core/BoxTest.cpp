// Oriented boxes (corners, face planes, ray entry), axis-aligned bounding boxes and the coordinate
// frame.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "Core/Math/Math.h"
#include "Core/PBoundingBox.h"
#include "Core/PCoordFrame.h"
#include "Core/POrientedBox.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

void ExpectVec(const Vec3& actual, const Vec3& expected, float tolerance, const char* what) {
    EXPECT_NEAR(actual.x, expected.x, tolerance) << what;
    EXPECT_NEAR(actual.y, expected.y, tolerance) << what;
    EXPECT_NEAR(actual.z, expected.z, tolerance) << what;
}

void ExpectPlane(const Plane& actual, const Plane& expected, float tolerance, const char* what) {
    EXPECT_NEAR(actual.a, expected.a, tolerance) << what;
    EXPECT_NEAR(actual.b, expected.b, tolerance) << what;
    EXPECT_NEAR(actual.c, expected.c, tolerance) << what;
    EXPECT_NEAR(actual.d, expected.d, tolerance) << what;
}

CPOrientedBox UnitBox() {
    CPOrientedBox box(Vec3(0, 0, 0), Vec3(1, 1, 1));
    box.Update();
    return box;
}

TEST(OrientedBoxTest, RotatedBoxHasCornersInOrderAndOutwardFacePlanes) {
    // Centre (1, 0, 0) and half-extents (1, 2, 3) in the box's frame, turned a quarter about z (local x
    // becomes world y, local y world −x) and moved by (5, 0, 0). Worked by hand.
    CPOrientedBox box(Vec3(1, 0, 0), Vec3(1, 2, 3));
    box.worldMatrix = MatRotationZ(MathPi / 2) * MatTranslation(5, 0, 0);
    box.Update();

    const Vec3 corners[8] = {{7, 0, -3}, {7, 2, -3}, {3, 2, -3}, {3, 0, -3},
                             {7, 0, 3},  {7, 2, 3},  {3, 2, 3},  {3, 0, 3}};
    for (int k = 0; k < 8; ++k) ExpectVec(box.corners[k], corners[k], 1e-5f, "corner");
    ExpectVec(box.min, {3, 0, -3}, 1e-5f, "min");
    ExpectVec(box.max, {7, 2, 3}, 1e-5f, "max");

    // Faces z−, x+, y+, x−, y−, z+ of the box's frame; each normal is 4 × the face's two half-extents.
    const Plane planes[6] = {
        {0, 0, -8, -24}, // z− at z = −3
        {0, 24, 0, -48}, // local x+ faces world +y, at y = 2
        {-12, 0, 0, 36}, // local y+ faces world −x, at x = 3
        {0, -24, 0, 0},  // local x− at y = 0
        {12, 0, 0, -84}, // local y− at x = 7
        {0, 0, 8, -24},  // z+ at z = 3
    };
    for (int f = 0; f < 6; ++f) ExpectPlane(box.planes[f], planes[f], 1e-4f, "plane");
}

TEST(OrientedBoxTest, DegenerateExtentsAreRaisedToTheMinimum) {
    CPOrientedBox box(Vec3(0, 0, 0), Vec3(0, kNaN, -1));
    box.Update();
    ExpectVec(box.halfExtents, {0.001f, 0.001f, 0.001f}, 0, "half-extents");
    for (const Vec3& c : box.corners) EXPECT_TRUE(std::isfinite(c.x + c.y + c.z));

    // Still a box a ray can hit.
    float distance = 100;
    Plane plane;
    EXPECT_TRUE(box.IntersectsRay({0, 0, -5}, {0, 0, 1}, distance, plane));
    EXPECT_NEAR(distance, 4.999f, 1e-5f);
}

TEST(OrientedBoxTest, RaysEnterTheNearestFaceFromOutside) {
    struct Case {
        const char* name;
        Vec3 origin, direction;
        float distance; // in
        bool hit;
        float expectedDistance;
        Plane expectedPlane; // only checked on a hit
    };
    const Plane untouched(9, 9, 9, 9);
    const Case cases[] = {
        {"z− face", {0.5f, -0.25f, -5}, {0, 0, 1}, 100, true, 4, {0, 0, -4, -4}},
        {"starting on the face plane: entered at 0", {0.5f, -0.25f, -1}, {0, 0, 1}, 100, true, 0, {0, 0, -4, -4}},
        {"too short: distance kept", {0.5f, -0.25f, -5}, {0, 0, 1}, 3, false, 3, {}},
        {"exactly as long as the hit: not nearer", {0.5f, -0.25f, -5}, {0, 0, 1}, 4, false, 4, {}},
        {"x− face, not the far x+ face", {-5, 0.2f, 0.3f}, {1, 0, 0}, 100, true, 4, {-4, 0, 0, -4}},
        {"pointing away", {0.5f, -0.25f, -5}, {0, 0, -1}, 100, false, 100, {}},
        {"starting inside enters nothing", {0.1f, 0.2f, 0.3f}, {0, 1, 0}, 100, false, 100, {}},
        {"passing beside", {1.5f, 0, -5}, {0, 0, 1}, 100, false, 100, {}},
        {"zero direction", {0, 0, -5}, {0, 0, 0}, 100, false, 100, {}},
        {"NaN direction", {0, 0, -5}, {kNaN, 0, 1}, 100, false, 100, {}},
    };
    const CPOrientedBox box = UnitBox();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        float distance = c.distance;
        Plane plane = untouched;
        EXPECT_EQ(box.IntersectsRay(c.origin, c.direction, distance, plane), c.hit);
        EXPECT_FLOAT_EQ(distance, c.expectedDistance);
        if (c.hit) ExpectPlane(plane, c.expectedPlane, 1e-6f, "hit plane");
        else EXPECT_EQ(plane, untouched);
    }
}

TEST(OrientedBoxTest, EveryFaceIsHitAcrossBothOfItsTriangles) {
    // Each face is tested as two triangles that must cover its whole square: one ray into each of
    // the four quarters that the two diagonals cut a face into must hit it.
    struct Face {
        const char* name;
        Vec3 normal; // outward
        Vec3 u, v;   // the two axes spanning the face
        Plane plane;
    };
    const Face faces[] = {
        {"z−", {0, 0, -1}, {1, 0, 0}, {0, 1, 0}, {0, 0, -4, -4}},
        {"x+", {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {4, 0, 0, -4}},
        {"y+", {0, 1, 0}, {1, 0, 0}, {0, 0, 1}, {0, 4, 0, -4}},
        {"x−", {-1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {-4, 0, 0, -4}},
        {"y−", {0, -1, 0}, {1, 0, 0}, {0, 0, 1}, {0, -4, 0, -4}},
        {"z+", {0, 0, 1}, {1, 0, 0}, {0, 1, 0}, {0, 0, 4, -4}},
    };
    const float quarters[4][2] = {{0.5f, 0.25f}, {-0.25f, 0.5f}, {-0.5f, -0.25f}, {0.25f, -0.5f}};
    const CPOrientedBox box = UnitBox();
    for (const Face& f : faces) {
        for (const auto& q : quarters) {
            SCOPED_TRACE(std::string(f.name) + " at " + std::to_string(q[0]) + ", " + std::to_string(q[1]));
            const Vec3 origin = f.normal * 5.0f + f.u * q[0] + f.v * q[1];
            float distance = 100;
            Plane plane;
            EXPECT_TRUE(box.IntersectsRay(origin, f.normal * -1.0f, distance, plane));
            EXPECT_NEAR(distance, 4, 1e-6f);
            ExpectPlane(plane, f.plane, 1e-6f, "hit plane");
        }
    }
}

TEST(OrientedBoxTest, InsideAMirroredBoxIsAHitAtDistanceZero) {
    CPOrientedBox box(Vec3(0, 0, 0), Vec3(1, 1, 1));
    box.worldMatrix = MatScaling(-1, 1, 1);
    box.Update();
    float distance = 50;
    Plane plane(9, 9, 9, 9);
    EXPECT_TRUE(box.IntersectsRay({0.2f, 0.1f, 0}, {0, 0, 1}, distance, plane));
    EXPECT_EQ(distance, 0.0f);
    EXPECT_EQ(plane, Plane(9, 9, 9, 9));
}

CPBoundingBox Box(Vec3 min, Vec3 max) {
    CPBoundingBox b;
    b.min = min;
    b.max = max;
    b.UpdateCentre();
    return b;
}

TEST(BoundingBoxTest, StartsEmptyAndEmptyMergesAway) {
    const CPBoundingBox empty;
    EXPECT_TRUE(empty.IsEmpty());
    ExpectVec(empty.min, {1e6f, 1e6f, 1e6f}, 0, "min");
    ExpectVec(empty.max, {-1e6f, -1e6f, -1e6f}, 0, "max");
    EXPECT_FALSE(empty.IntersectsSegment({-5e6f, 0, 0}, {1, 0, 0}, 1e7f));
    EXPECT_FALSE(empty.IntersectsSegment(Vec3(-5e6f, -5e6f, -5e6f), Normalize(Vec3(1, 1, 1)), 2e7f));
    EXPECT_FALSE(empty.ContainsPoint({0, 0, 0}));

    const CPBoundingBox real = Box({-1, 2, 3}, {1, 4, 7});
    for (int includeInstead = 0; includeInstead < 2; ++includeInstead) {
        CPBoundingBox fromNothing;
        fromNothing.SetFromBoxes({});
        if (includeInstead) fromNothing.Include(real);
        else fromNothing.Merge(real);
        ExpectVec(fromNothing.min, real.min, 0, "min");
        ExpectVec(fromNothing.max, real.max, 0, "max");
        ExpectVec(fromNothing.centre, {0, 3, 5}, 0, "centre");
        ExpectVec(fromNothing.halfExtents, {1, 1, 2}, 0, "half-extents");

        // And the other way round the real box is unchanged.
        CPBoundingBox unchanged = real;
        if (includeInstead) unchanged.Include(CPBoundingBox());
        else unchanged.Merge(CPBoundingBox());
        ExpectVec(unchanged.min, real.min, 0, "min");
        ExpectVec(unchanged.max, real.max, 0, "max");
    }

    // An empty list forgets an earlier extent, derived values included.
    CPBoundingBox reused = real;
    reused.SetFromBoxes({});
    EXPECT_TRUE(reused.IsEmpty());
    EXPECT_FALSE(reused.IntersectsSegment({0, 0, -10}, {0, 0, 1}, 100));
}

TEST(BoundingBoxTest, SetFromBoxesEnclosesEveryWorldExtent) {
    std::vector<CPOrientedBox> boxes;
    boxes.emplace_back(Vec3(0, 0, 0), Vec3(1, 1, 1));
    boxes.emplace_back(Vec3(0, 0, 0), Vec3(1, 1, 1));
    boxes[1].worldMatrix = MatTranslation(5, -3, 0);
    for (auto& b : boxes) b.Update();
    CPBoundingBox bounds;
    bounds.SetFromBoxes(boxes);
    ExpectVec(bounds.min, {-1, -4, -1}, 0, "min");
    ExpectVec(bounds.max, {6, 1, 1}, 0, "max");
    ExpectVec(bounds.centre, {2.5f, -1.5f, 0}, 0, "centre");
    ExpectVec(bounds.halfExtents, {3.5f, 2.5f, 1}, 0, "half-extents");
}

TEST(BoundingBoxTest, SegmentPointAndSphereTests) {
    const CPBoundingBox box = Box({-1, -1, -1}, {1, 1, 1});
    const Vec3 diagonal = Normalize(Vec3(1, -1, 0));
    struct Case {
        const char* name;
        Vec3 origin, direction;
        float length;
        bool crosses;
    };
    const Case segments[] = {
        {"end touches the face", {-3, 0, 0}, {1, 0, 0}, 2, true},
        {"end just short", {-3, 0, 0}, {1, 0, 0}, 1.99f, false},
        {"through", {-3, 0.5f, 0.5f}, {1, 0, 0}, 10, true},
        {"starting inside", {0, 0, 0}, {0, 0, 1}, 0.1f, true},
        {"starting beyond, pointing away", {3, 0, 0}, {1, 0, 0}, 10, false},
        // Both slabs overlap, but the line x + y = 2.5 passes the corner (1, 1): only the cross-axis
        // test rejects it.
        {"slabs overlap, line misses the corner", {0, 2.5f, 0}, diagonal, 10, false},
        {"line x + y = 1.9 clips the corner", {0, 1.9f, 0}, diagonal, 10, true},
        {"zero direction outside", {0, 0, 5}, {0, 0, 0}, 10, false},
    };
    for (const Case& c : segments)
        EXPECT_EQ(box.IntersectsSegment(c.origin, c.direction, c.length), c.crosses) << c.name;

    struct PointCase {
        Vec3 point;
        bool inside;
    };
    const PointCase points[] = {
        {{0, 0, 0}, true}, {{0.999f, -0.999f, 0.5f}, true}, {{1, 0, 0}, false}, {{0, -1, 0}, false}, {{0, 0, 2}, false},
    };
    for (const PointCase& c : points)
        EXPECT_EQ(box.ContainsPoint(c.point), c.inside) << c.point.x << "," << c.point.y << "," << c.point.z;

    struct SphereCase {
        Vec3 centre;
        float radius;
        bool intersects;
    };
    const SphereCase spheres[] = {
        {{3, 0, 0}, 2, true},                               // touching
        {{3, 0, 0}, 1.99f, false}, {{2, 2, 0}, 1.5f, true}, // towards the edge: squared distance 2
        {{2, 2, 0}, 1.4f, false},  {{0, 0, 0}, 0, true},    // centre inside
        {{0, 0, 5}, 0, false},
    };
    for (const SphereCase& c : spheres) EXPECT_EQ(box.IntersectsSphere(c.centre, c.radius), c.intersects);
}

TEST(BoundingBoxTest, ExtendByTransformGrowsByTheImageOnly) {
    CPBoundingBox box = Box({-1, -1, -1}, {1, 1, 1});
    box.ExtendByTransform(MatTranslation(10, 0, -4));
    ExpectVec(box.min, {-1, -1, -5}, 0, "min");
    ExpectVec(box.max, {11, 1, 1}, 0, "max");
    // Derived values wait for UpdateCentre.
    ExpectVec(box.centre, {0, 0, 0}, 0, "centre");
    ExpectVec(box.halfExtents, {1, 1, 1}, 0, "half-extents");

    // A matrix that sends every corner to w = 0 has no image: nothing grows, nothing turns NaN.
    CPBoundingBox same = Box({-1, -1, -1}, {1, 1, 1});
    same.ExtendByTransform(Mat4());
    ExpectVec(same.min, {-1, -1, -1}, 0, "min");
    ExpectVec(same.max, {1, 1, 1}, 0, "max");

    // The image is divided by its w: here every corner lands at w = 2.
    CPBoundingBox halved = Box({-1, -1, -1}, {1, 1, 1});
    halved.ExtendByTransform(Mat4(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 10, 0, 0, 2));
    ExpectVec(halved.min, {-1, -1, -1}, 0, "min");
    ExpectVec(halved.max, {5.5f, 1, 1}, 0, "max");

    CPBoundingBox empty;
    empty.ExtendByTransform(MatTranslation(10, 0, 0));
    EXPECT_TRUE(empty.IsEmpty());
}

TEST(CoordFrameTest, ResetStateConversionsAndRealignment) {
    CPCoordFrame frame;
    ExpectVec(frame.GetDirection(), {0, 1, 0}, 0, "direction");
    ExpectVec(frame.GetSide(), {-1, 0, 0}, 0, "side");
    ExpectVec(frame.GetUp(), {0, 0, 1}, 0, "up");
    ExpectVec(frame.GetOrigin(), {0, 0, 0}, 0, "origin");

    frame.SetOrigin(1, 2, 3);
    // Local coordinates are (side, direction, up).
    ExpectVec(frame.WorldToLocal({1, 2, 3}), {0, 0, 0}, 0, "origin to local");
    ExpectVec(frame.WorldToLocal({2, 5, 4}), {-1, 3, 1}, 0, "point to local");
    ExpectVec(frame.LocalToWorld({-1, 3, 1}), {2, 5, 4}, 0, "back to world");
    ExpectVec(frame.QuarterTurn({1, 0, 0}), {0, -1, 0}, 0, "quarter turn");

    frame.SetForwardUp({4, 0, 0}, {0, 0, 1});
    ExpectVec(frame.GetDirection(), {1, 0, 0}, 0, "direction normalised");
    ExpectVec(frame.GetSide(), {0, -1, 0}, 0, "side = direction × up");
    ExpectVec(frame.GetUp(), {0, 0, 1}, 0, "up = side × direction");

    // A zero direction stays zero instead of turning into NaN.
    frame.SetForwardNormalised({0, 0, 0});
    ExpectVec(frame.GetDirection(), {0, 0, 0}, 0, "zero direction");
    EXPECT_FALSE(std::isnan(frame.GetSide().x));
}

} // namespace
