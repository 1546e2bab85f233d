#pragma once

#include "Physics/ConstraintRow.h"
#include "Physics/Geometry.h"
#include "Physics/Matrix4.h"

#include <cstdint>

namespace Physics {

// A box in working form: world axes, half extents and the axes scaled by them.
struct BoxFrame {
    const Geometry* geometry = nullptr;
    Matrix4 transform;
    Vector4 centre;
    Vector4 axis[3];   // unit rows of the world transform
    Vector4 scaled[3]; // axis k times half extent k
    float half[3] = {0.0f, 0.0f, 0.0f};
    Vector4 corners[8];
    int32_t cornersComputed = 0;

    void Build(const Geometry& box, const Matrix4& world);
};

// Scratch result of the separating-axis tests.
struct PairContact {
    Vector4 pointA;
    Vector4 pointB;
    Vector4 normal;
    float depth = 100000.0f;
    bool found = false;
    bool edge = false;
    // Edge candidate: the axis and the two end points of the edge on each box.
    Vector4 axis;
    Vector4 edgeX[2];
    Vector4 edgeY[2];
};

struct SegmentClosest {
    float s = 0.0f;
    float t = 0.0f;
    Vector4 pointP;
    Vector4 pointQ;
    float distance = 0.0f;
    bool inside = false;
};

bool BoxBoxSeparatingAxes(const BoxFrame& a, PairContact& r, const BoxFrame& b);
bool TestBoxFaceAxis(PairContact& r, const BoxFrame& x, const BoxFrame& y, int i);
bool TestBoxEdgeAxis(PairContact& e, const BoxFrame& x, const BoxFrame& y, int i, int j);
bool ClosestEdgePoints(const PairContact& edge, PairContact& out);
bool ClosestSegmentPoints(const Vector4& p0, const Vector4& p1, const Vector4& q0, const Vector4& q1,
                          SegmentClosest& out);
// Segment and result in the box's frame.
void ClosestSegmentBoxPoints(const Vector4& s0, const Vector4& s1, const Vector4& half, Vector4& segmentPoint,
                             Vector4& boxPoint);
// Improve the row's deepest end-cap contact: end P of capsule A against end Q of capsule B, and
// the end P of either capsule (endOfA) against the other's core S0 -> S1.
void CapsuleEndToEnd(ConstraintRow& row, const Vector4& p, const Vector4& q, float radiusA, float radiusB);
void CapsuleEndToSegment(ConstraintRow& row, const Vector4& p, const Vector4& s0, const Vector4& s1, bool endOfA,
                         float radiusA, float radiusB);

// Each writes worldPointA, worldPointB, normal (from B towards A), depth and found into the row.
void CollideBoxBox(ConstraintRow& row, const Geometry& a, const Matrix4& wa, const Geometry& b, const Matrix4& wb);
void CollideBoxCapsule(ConstraintRow& row, const Geometry& box, const Matrix4& wa, const Geometry& capsule,
                       const Matrix4& wb);
void CollideCapsuleCapsule(ConstraintRow& row, const Geometry& a, const Matrix4& wa, const Geometry& b,
                           const Matrix4& wb);

} // namespace Physics
