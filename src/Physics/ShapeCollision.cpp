#include "Physics/ShapeCollision.h"

#include <cmath>
#include <initializer_list>

namespace Physics {

namespace {

float Sign(float x) { return x > 0.0f ? 1.0f : -1.0f; }

// |v|, zero for vectors whose square is below 1e-6.
float ClampedLength(const Vector4& v) {
    const float sq = LengthSquared(v);
    return sq < 1e-6f ? 0.0f : std::sqrt(sq);
}

// v / dist, or zero when the two points coincide: a contact without a direction stays finite and
// is then never handed to the solver.
Vector4 DirectionOver(const Vector4& v, float dist) {
    if (dist == 0.0f) {
        return Vector4();
    }
    return v * (1.0f / dist);
}

Vector4 ToFrame(const Vector4& p, const Matrix4& m) {
    const Vector4 d = p - m.row[3];
    return {Dot(d, m.row[0]), Dot(d, m.row[1]), Dot(d, m.row[2]), 0.0f};
}

void WriteContact(ConstraintRow& row, const Vector4& pointA, const Vector4& pointB, const Vector4& normal,
                  float depth) {
    row.worldPointA = pointA;
    row.worldPointB = pointB;
    row.normal = normal;
    row.depth = depth;
    row.found = 1;
}

} // namespace

void BoxFrame::Build(const Geometry& box, const Matrix4& world) {
    geometry = &box;
    transform = world;
    centre = world.row[3];
    centre.w = 0.0f;
    for (int k = 0; k < 3; ++k) {
        axis[k] = world.row[k];
        axis[k].w = 0.0f;
        half[k] = box.param[k];
        scaled[k] = axis[k] * half[k];
    }
    cornersComputed = 0;
}

bool TestBoxFaceAxis(PairContact& r, const BoxFrame& x, const BoxFrame& y, int i) {
    Vector4 n = x.axis[i];
    const float d = Dot(y.centre - x.centre, n);
    if (d < 0.0f) {
        n = -n;
    }
    const float p[3] = {Dot(n, y.scaled[0]), Dot(n, y.scaled[1]), Dot(n, y.scaled[2])};
    const float overlap = -std::fabs(d) + x.half[i] + Sign(p[0]) * p[0] + Sign(p[1]) * p[1] + Sign(p[2]) * p[2];
    if (overlap <= 0.0f) {
        return false;
    }
    const Vector4 v = y.centre - y.scaled[0] * Sign(p[0]) - y.scaled[1] * Sign(p[1]) - y.scaled[2] * Sign(p[2]);
    bool take = overlap + 0.0001f < r.depth;
    if (!take && std::fabs(overlap - r.depth) < 1e-6f) {
        // A tie goes to the later axis only when its corner lies over the face.
        take = true;
        for (int step = 1; step <= 2; ++step) {
            const int k = (i + step) % 3;
            if (!(std::fabs(Dot(v - x.centre, x.axis[k])) <= 1.001f * x.half[k])) {
                take = false;
            }
        }
    }
    if (take) {
        r.depth = overlap;
        r.pointA = v;
        r.pointB = v + n * overlap;
        r.normal = n;
        r.found = true;
    }
    return true;
}

bool TestBoxEdgeAxis(PairContact& e, const BoxFrame& x, const BoxFrame& y, int i, int j) {
    Vector4 axis = Cross(x.axis[i], y.axis[j]);
    const float sq = LengthSquared(axis);
    if (sq < 1e-6f) {
        return true; // parallel edges
    }
    // What Normalize gives, with the length already in hand.
    axis = axis * (1.0f / std::sqrt(sq));
    const float d = Dot(y.centre - x.centre, axis);
    if (d < 0.0f) {
        axis = -axis;
    }
    const int i1 = (i + 1) % 3;
    const int i2 = (i + 2) % 3;
    const int j1 = (j + 1) % 3;
    const int j2 = (j + 2) % 3;
    const float q1 = Dot(axis, x.scaled[i1]);
    const float q2 = Dot(axis, x.scaled[i2]);
    const float r1 = Dot(axis, y.scaled[j1]);
    const float r2 = Dot(axis, y.scaled[j2]);
    const float overlap = -std::fabs(d) + Sign(q1) * q1 + Sign(q2) * q2 + Sign(r1) * r1 + Sign(r2) * r2;
    if (overlap <= 0.0f) {
        return false;
    }
    if (!(overlap < e.depth)) {
        return true;
    }
    e.depth = overlap;
    e.edge = true;
    e.axis = axis;
    const Vector4 ex = x.centre + x.scaled[i1] * Sign(q1) + x.scaled[i2] * Sign(q2);
    e.edgeX[0] = ex + x.scaled[i];
    e.edgeX[1] = ex - x.scaled[i];
    const Vector4 ey = y.centre - y.scaled[j1] * Sign(r1) - y.scaled[j2] * Sign(r2);
    e.edgeY[0] = ey + y.scaled[j];
    e.edgeY[1] = ey - y.scaled[j];
    return true;
}

bool ClosestEdgePoints(const PairContact& edge, PairContact& out) {
    const Vector4& p0 = edge.edgeX[0];
    const Vector4& q0 = edge.edgeY[0];
    const Vector4 dq = edge.edgeY[1] - q0;
    const Vector4 dp = edge.edgeX[1] - p0;
    if (AllBelow(dq, 1e-6f) || AllBelow(dp, 1e-6f)) {
        return false;
    }
    const float rr = Dot(dq, dq);
    const float tt = Dot(dq, dp);
    const float det = rr * Dot(dp, dp) - tt * tt;
    if (!(std::fabs(det) >= 1e-6f)) {
        return false;
    }
    const Vector4 w = p0 - q0;
    const float b = Dot(dq, w);
    const float s = (b * tt - rr * Dot(dp, w)) / det;
    if (!(s >= 0.0f && s < 1.0f)) {
        return false;
    }
    const float t = (b + tt * s) / rr;
    if (!(t >= 0.0f && t < 1.0f)) {
        return false;
    }
    out.pointA = p0 + dp * s;
    out.pointA.w = 0.0f;
    out.pointB = q0 + dq * t;
    out.pointB.w = 0.0f;
    return true;
}

bool BoxBoxSeparatingAxes(const BoxFrame& a, PairContact& r, const BoxFrame& b) {
    for (int i = 0; i < 3; ++i) {
        if (!TestBoxFaceAxis(r, a, b, i)) {
            return false;
        }
    }
    // A's face results read (point on B, point on A, normal A to B): turn them round.
    r.normal = -r.normal;
    const Vector4 first = r.pointA;
    r.pointA = r.pointB;
    r.pointB = first;
    for (int i = 0; i < 3; ++i) {
        if (!TestBoxFaceAxis(r, b, a, i)) {
            return false;
        }
    }
    PairContact e;
    e.depth = r.depth;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            if (!TestBoxEdgeAxis(e, a, b, i, j)) {
                return false;
            }
        }
    }
    if (e.edge) {
        PairContact points;
        if (ClosestEdgePoints(e, points)) {
            r.pointA = points.pointA;
            r.pointB = points.pointB;
            r.depth = e.depth;
            r.normal = -e.axis;
            r.edge = true;
        }
    }
    return r.found;
}

void CollideBoxBox(ConstraintRow& row, const Geometry& a, const Matrix4& wa, const Geometry& b, const Matrix4& wb) {
    row.found = 0;
    BoxFrame fa;
    BoxFrame fb;
    fa.Build(a, wa);
    fb.Build(b, wb);
    PairContact r;
    if (BoxBoxSeparatingAxes(fa, r, fb)) {
        WriteContact(row, r.pointA, r.pointB, r.normal, r.depth);
    }
}

void ClosestSegmentBoxPoints(const Vector4& s0, const Vector4& s1, const Vector4& h, Vector4& segmentPoint,
                             Vector4& boxPoint) {
    float d[3];
    float p[3];
    float sign[3];
    int region[3];
    float anchor[3];
    for (int k = 0; k < 3; ++k) {
        d[k] = s1[k] - s0[k];
        p[k] = s0[k];
        sign[k] = 1.0f;
        if (d[k] < 0.0f) {
            d[k] = -d[k];
            p[k] = -p[k];
            sign[k] = -1.0f;
        }
    }
    for (int k = 0; k < 3; ++k) {
        if (d[k] == 0.0f) {
            region[k] = 0;
            anchor[k] = 2.0f; // never crossed
        } else if (p[k] < -h[k]) {
            region[k] = -1;
            anchor[k] = (-h[k] - p[k]) / d[k];
        } else {
            region[k] = p[k] > h[k] ? 1 : 0;
            anchor[k] = (h[k] - p[k]) / d[k];
        }
    }
    float t = 0.0f;
    float slope = 0.0f;
    for (int k = 0; k < 3; ++k) {
        if (region[k] != 0) {
            slope -= d[k] * d[k] * anchor[k];
        }
    }
    // Each round moves t forward to a later slab crossing; there are at most six of them.
    for (int round = 0; round < 8 && slope < 0.0f; ++round) {
        float next = 1.0f;
        for (int k = 0; k < 3; ++k) {
            if (t < anchor[k] && anchor[k] < 1.0f && anchor[k] < next) {
                next = anchor[k];
            }
        }
        float nextSlope = 0.0f;
        for (int k = 0; k < 3; ++k) {
            if (region[k] != 0) {
                nextSlope += d[k] * d[k] * (next - anchor[k]);
            }
        }
        if (nextSlope >= 0.0f) {
            t = t - slope * (next - t) / (nextSlope - slope);
            break;
        }
        for (int k = 0; k < 3; ++k) {
            if (anchor[k] == next) {
                region[k] += 1;
                anchor[k] = (h[k] - p[k]) / d[k];
            }
        }
        t = next;
        slope = nextSlope;
        if (t >= 1.0f) {
            t = 1.0f;
            break;
        }
    }
    segmentPoint = s0 + (s1 - s0) * t;
    segmentPoint.w = 0.0f;
    for (int k = 0; k < 3; ++k) {
        const float v = sign[k] * (p[k] + t * d[k]);
        boxPoint[k] = std::fmin(std::fmax(v, -h[k]), h[k]);
    }
    boxPoint.w = 0.0f;
}

void CollideBoxCapsule(ConstraintRow& row, const Geometry& box, const Matrix4& wa, const Geometry& capsule,
                       const Matrix4& wb) {
    row.found = 0;
    const Vector4 c = wb.row[3];
    const Vector4 u = wb.row[1];
    const float length = capsule.HalfLength();
    const float radius = capsule.Radius();
    const Vector4 s0 = ToFrame(c - u * length, wa);
    const Vector4 s1 = ToFrame(c + u * length, wa);
    const Vector4 half = box.HalfExtents();
    Vector4 local;
    Vector4 b;
    ClosestSegmentBoxPoints(s0, s1, half, local, b);
    Vector4 q = TransformPoint(local, wa);
    b = TransformPoint(b, wa);
    q.w = b.w = 0.0f;
    const float dist = ClampedLength(b - q);
    if (!(dist <= radius)) {
        return;
    }
    if (dist == 0.0f) {
        // The core meets the box, so the two closest points give no direction: push the core's
        // point out through the face it is nearest to, or the capsule would sink through the box.
        int axis = 0;
        float toFace = half[0] - std::fabs(local[0]);
        for (int k = 1; k < 3; ++k) {
            const float d = half[k] - std::fabs(local[k]);
            if (d < toFace) {
                axis = k;
                toFace = d;
            }
        }
        Vector4 outward = wa.row[axis] * (local[axis] > 0.0f ? 1.0f : -1.0f);
        outward.w = 0.0f;
        const Vector4 normal = -outward;
        WriteContact(row, q + outward * toFace, q + normal * radius, normal, toFace + radius);
        return;
    }
    const Vector4 normal = DirectionOver(b - q, dist);
    WriteContact(row, b, q + normal * radius, normal, radius - dist);
}

bool ClosestSegmentPoints(const Vector4& p0, const Vector4& p1, const Vector4& q0, const Vector4& q1,
                          SegmentClosest& out) {
    out.inside = false;
    const Vector4 dq = q1 - q0;
    const Vector4 dp = p1 - p0;
    const Vector4 w = p0 - q0;
    if (AllBelow(dq, 1e-6f) || AllBelow(dp, 1e-6f)) {
        return false;
    }
    const float rr = Dot(dq, dq);
    const float tt = Dot(dp, dq);
    const float det = Dot(dp, dp) * rr - tt * tt;
    if (!(std::fabs(det) >= 1e-6f)) {
        return false;
    }
    const float b = Dot(dq, w);
    const float s = (b * tt - Dot(dp, w) * rr) / det;
    const float t = (b + tt * s) / rr;
    out.s = s;
    out.t = t;
    out.inside = s >= 0.0f && s < 1.0f && t >= 0.0f && t < 1.0f;
    out.pointP = p0 + dp * s;
    out.pointP.w = 0.0f;
    out.pointQ = q0 + dq * t;
    out.pointQ.w = 0.0f;
    out.distance = Length(out.pointP - out.pointQ);
    return true;
}

namespace {

void Improve(ConstraintRow& row, float depth, const Vector4& pointA, const Vector4& pointB, const Vector4& normal) {
    if (depth > 0.0f && depth > row.depth) {
        WriteContact(row, pointA, pointB, normal, depth);
    }
}

} // namespace

// End P of capsule A against end Q of capsule B.
void CapsuleEndToEnd(ConstraintRow& row, const Vector4& p, const Vector4& q, float radiusA, float radiusB) {
    const float dist = ClampedLength(p - q);
    const float depth = radiusA + radiusB - dist;
    if (!(depth > 0.0f && depth > row.depth)) {
        return;
    }
    const Vector4 normal = DirectionOver(p - q, dist);
    Improve(row, depth, p - normal * radiusA, q + normal * radiusB, normal);
}

// End P of one capsule against the core S0 -> S1 of the other; endOfA tells whose end P is.
void CapsuleEndToSegment(ConstraintRow& row, const Vector4& p, const Vector4& s0, const Vector4& s1, bool endOfA,
                         float radiusA, float radiusB) {
    const Vector4 u = Normalize(s1 - s0);
    const Vector4 foot = s0 + u * Dot(p - s0, u);
    const float dist = Length(p - foot);
    const float depth = radiusA + radiusB - dist;
    if (!(depth > 0.0f && depth > row.depth)) {
        return;
    }
    if (endOfA) {
        const Vector4 normal = Normalize(p - foot);
        Improve(row, depth, p - normal * radiusA, foot + normal * radiusB, normal);
    } else {
        const Vector4 normal = Normalize(foot - p);
        Improve(row, depth, foot - normal * radiusA, p + normal * radiusB, normal);
    }
}

void CollideCapsuleCapsule(ConstraintRow& row, const Geometry& a, const Matrix4& wa, const Geometry& b,
                           const Matrix4& wb) {
    row.found = 0;
    Vector4 ua = wa.row[1];
    Vector4 ub = wb.row[1];
    Vector4 ca = wa.row[3];
    Vector4 cb = wb.row[3];
    ua.w = ub.w = ca.w = cb.w = 0.0f;
    const float la = a.HalfLength();
    const float lb = b.HalfLength();
    const float ra = a.Radius();
    const float rb = b.Radius();
    const Vector4 aPlus = ca + ua * la;
    const Vector4 aMinus = ca - ua * la;
    const Vector4 bPlus = cb + ub * lb;
    const Vector4 bMinus = cb - ub * lb;

    const float c = ClampedLength(Cross(ua, ub));
    SegmentClosest closest;
    if (c >= 1e-6f && ClosestSegmentPoints(aPlus, aMinus, bPlus, bMinus, closest) && closest.inside) {
        const float dist = closest.distance;
        const float depth = ra + rb - dist;
        if (!(depth > 0.0f)) {
            return;
        }
        const Vector4 normal = DirectionOver(closest.pointP - closest.pointQ, dist);
        WriteContact(row, closest.pointP - normal * ra, closest.pointQ + normal * rb, normal, depth);
        return;
    }

    row.depth = -1000000.0f;
    for (const Vector4& e : {aPlus, aMinus}) {
        const float s = Dot(ub, e - bMinus);
        if (s < 0.0f) {
            CapsuleEndToEnd(row, e, bMinus, ra, rb);
        } else if (s <= 2.0f * lb) {
            CapsuleEndToSegment(row, e, bMinus, bPlus, true, ra, rb);
        } else if (s > 2.0f * lb) {
            CapsuleEndToEnd(row, e, bPlus, ra, rb);
        }
    }
    for (const Vector4& e : {bPlus, bMinus}) {
        const float s = Dot(ua, e - aMinus);
        if (s < 0.0f) {
            CapsuleEndToEnd(row, aMinus, e, ra, rb);
        } else if (s <= 2.0f * la) {
            CapsuleEndToSegment(row, e, aMinus, aPlus, false, ra, rb);
        } else if (s > 2.0f * la) {
            CapsuleEndToEnd(row, aPlus, e, ra, rb);
        }
    }
}

} // namespace Physics
