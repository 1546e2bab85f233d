#include "Physics/MeshCollision.h"

#include <cmath>

namespace Physics {

namespace {

// Corner bits 4, 2, 1 select -a0, -a1, -a2: corner 0 is c + a0 + a1 + a2.
void ComputeCorners(BoxFrame& box) {
    if (box.cornersComputed != 0) {
        return;
    }
    for (int k = 0; k < 8; ++k) {
        Vector4 v = box.centre;
        v += (k & 4) != 0 ? -box.scaled[0] : box.scaled[0];
        v += (k & 2) != 0 ? -box.scaled[1] : box.scaled[1];
        v += (k & 1) != 0 ? -box.scaled[2] : box.scaled[2];
        v.w = 0.0f;
        box.corners[k] = v;
    }
    box.cornersComputed = 1;
}

void WriteRow(ConstraintRow& row, const PairContact& best, int32_t material) {
    row.depth = best.depth;
    row.normal = best.normal;
    row.worldPointA = best.pointA;
    row.worldPointB = best.pointB;
    row.normal.w = row.worldPointA.w = row.worldPointB.w = 0.0f;
    row.materialB = material;
    row.found = 1;
}

float Min3(float a, float b, float c) {
    const float m = a < b ? a : b;
    return m < c ? m : c;
}

float Max3(float a, float b, float c) {
    const float m = a > b ? a : b;
    return m > c ? m : c;
}

void ResetContact(PairContact& r, float depth) {
    r.found = false;
    r.edge = false;
    r.depth = depth;
}

} // namespace

void TriangleFrame::Set(const Vector4& p0, const Vector4& p1, const Vector4& p2) {
    p[0] = p0;
    p[1] = p1;
    p[2] = p2;
    for (int k = 0; k < 3; ++k) {
        p[k].w = 0.0f;
    }
    e[0] = p[1] - p[0];
    e[1] = p[2] - p[1];
    e[2] = p[0] - p[2];
    n = Normalize(Cross(e[0], e[1]));
    n.w = 0.0f;
    d = Dot(n, p[0]);
}

void PreparedTriangle::Prepare(const TriangleFrame& triangle) {
    frame = triangle;
    for (int a = 0; a < 3; ++a) {
        lo[a] = Min3(triangle.p[0][a], triangle.p[1][a], triangle.p[2][a]);
        hi[a] = Max3(triangle.p[0][a], triangle.p[1][a], triangle.p[2][a]);
    }
}

bool RayMeetsTriangle(const TriangleFrame& triangle, const Vector4& o, const Vector4& d, float& t, Vector4& point,
                      float& denominator) {
    const Vector4* p = triangle.p;
    const Vector4* e = triangle.e;
    const Vector4& n = triangle.n;
    denominator = Dot(d, n);
    // A degenerate triangle or a ray along the plane gives 0/0 or x/0: never within 0..1.
    if (denominator == 0.0f) {
        return false;
    }
    t = (Dot(p[0], n) - Dot(o, n)) / denominator;
    if (!(t >= 0.0f && t <= 1.0f)) {
        return false;
    }
    point = o + d * t;
    return Dot(Cross(p[2] - p[0], e[0]), Cross(point - p[0], e[0])) >= 0.0f &&
           Dot(Cross(p[0] - p[1], e[1]), Cross(point - p[1], e[1])) >= 0.0f &&
           Dot(Cross(p[1] - p[2], e[2]), Cross(point - p[2], e[2])) >= 0.0f;
}

const CollisionTriangle* MeshTriangle(const Geometry& mesh, int32_t triangleIndex) {
    if (mesh.meshTriangles == nullptr || mesh.meshVertices == nullptr || triangleIndex < 0 ||
        triangleIndex >= mesh.meshTriangleCount) {
        return nullptr;
    }
    const CollisionTriangle& t = mesh.meshTriangles[triangleIndex];
    if (t.vertex[0] < 0 || t.vertex[1] < 0 || t.vertex[2] < 0) {
        return nullptr;
    }
    return &t;
}

bool TriangleFrame::Build(const Geometry& mesh, int32_t triangleIndex) {
    const CollisionTriangle* t = MeshTriangle(mesh, triangleIndex);
    if (t == nullptr) {
        return false;
    }
    Set(Vertex(mesh.meshVertices, t->vertex[0]), Vertex(mesh.meshVertices, t->vertex[1]),
        Vertex(mesh.meshVertices, t->vertex[2]));
    material = t->material;
    testMode = t->testMode;
    return true;
}

void CollideBoxMesh(ConstraintRow& row, const Geometry& box, const Matrix4& worldA, const Geometry& mesh) {
    row.found = 0;
    BoxFrame frame;
    frame.Build(box, worldA);
    PairContact best;
    best.depth = -1000000.0f;
    int32_t material = 0;
    // Scratch records shared by all triangles: each test writes every field it later reads.
    PairContact r;
    PairContact t;
    PairContact e;
    ForEachTriangle(mesh, [&](const TriangleFrame& triangle) {
        ResetContact(r, 100000.0f);
        bool hit = false;
        if (triangle.testMode == 0) {
            hit = CollideBoxTriangle(frame, r, triangle, t, e);
        } else if (triangle.testMode == 1) {
            hit = CollideBoxCornersTriangle(frame, r, triangle);
        }
        if (hit && r.depth > best.depth) {
            best = r;
            best.found = true;
            material = triangle.material;
        }
    });
    if (best.found) {
        WriteRow(row, best, material);
    }
}

bool CollideBoxTriangle(BoxFrame& box, PairContact& r, const TriangleFrame& triangle) {
    PairContact t;
    PairContact e;
    return CollideBoxTriangle(box, r, triangle, t, e);
}

bool CollideBoxTriangle(BoxFrame& box, PairContact& r, const TriangleFrame& triangle, PairContact& t, PairContact& e) {
    ResetContact(r, 100000.0f);
    const Vector4& c = box.centre;

    // The triangle's plane, taken as unbounded. A degenerate triangle has no plane: its box and
    // edge axes decide alone, instead of a zero-depth contact without a direction.
    if (!triangle.IsDegenerate()) {
        const float b = Dot(triangle.n, c) - triangle.d;
        const Vector4 m = b >= 0.0f ? triangle.n : -triangle.n;
        // Written out: most triangles of a query end here, so the loop overhead showed.
        const float q[3] = {Dot(m, box.scaled[0]), Dot(m, box.scaled[1]), Dot(m, box.scaled[2])};
        const float s[3] = {q[0] > 0.0f ? 1.0f : -1.0f, q[1] > 0.0f ? 1.0f : -1.0f, q[2] > 0.0f ? 1.0f : -1.0f};
        const float overlap = -std::fabs(b) + s[0] * q[0] + s[1] * q[1] + s[2] * q[2];
        if (overlap < 0.0f) {
            return false;
        }
        if (overlap < r.depth) {
            const Vector4 v = c - box.scaled[0] * s[0] - box.scaled[1] * s[1] - box.scaled[2] * s[2];
            r.depth = overlap;
            r.found = true;
            r.pointA = v;
            r.pointB = v + m * overlap;
            r.normal = m;
        }
    }

    ResetContact(t, r.depth);
    for (int i = 0; i < 3; ++i) {
        if (!TestBoxAxisTriangle(t, box, triangle, i)) {
            return false;
        }
    }
    if (t.found) {
        r.depth = t.depth;
        r.pointA = t.pointA;
        r.pointB = t.pointB;
        r.normal = t.normal;
        r.found = true;
    }

    ResetContact(e, r.depth);
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            if (!TestBoxEdgeTriangleEdge(e, box, triangle, i, j)) {
                return false;
            }
        }
    }
    PairContact points;
    if (e.found && ClosestEdgePoints(e, points)) {
        r.pointA = points.pointA;
        r.pointB = points.pointB;
        r.depth = e.depth;
        r.normal = e.normal;
        r.edge = true;
        r.found = true;
    }
    return r.found;
}

bool TestBoxAxisTriangle(PairContact& t, const BoxFrame& box, const TriangleFrame& triangle, int i) {
    const Vector4& n = box.axis[i];
    const float pr[3] = {Dot(triangle.p[0], n), Dot(triangle.p[1], n), Dot(triangle.p[2], n)};
    int lo = 0;
    int hi = 0;
    if (pr[0] <= pr[1]) {
        lo = 0;
        hi = pr[0] < pr[1] ? 1 : 0;
    } else {
        lo = 1;
        hi = 0;
    }
    if (pr[lo] <= pr[2]) {
        if (pr[2] > pr[hi]) {
            hi = 2;
        }
    } else {
        lo = 2;
    }
    const float centre = Dot(box.centre, n);
    const float boxMin = centre - box.half[i];
    const float boxMax = centre + box.half[i];
    if (pr[lo] >= boxMax || pr[hi] <= boxMin) {
        return false;
    }
    const float o1 = boxMax - pr[lo];
    const float o2 = pr[hi] - boxMin;
    Vector4 normal;
    Vector4 vertex;
    float depth = 0.0f;
    if (o2 <= o1) {
        normal = n;
        vertex = triangle.p[hi];
        depth = o2;
    } else {
        normal = -n;
        vertex = triangle.p[lo];
        depth = o1;
    }
    if (depth < t.depth) {
        t.depth = depth;
        t.found = true;
        t.pointA = vertex;
        t.pointB = vertex + normal * depth;
        t.normal = normal;
    }
    return true;
}

bool TestBoxEdgeTriangleEdge(PairContact& e, const BoxFrame& box, const TriangleFrame& triangle, int i, int j) {
    const Vector4 u = Normalize(triangle.e[j]);
    if (AllBelow(u, 1e-6f)) {
        return true;
    }
    Vector4 axis = Cross(box.axis[i], u);
    if (AllBelow(axis, 1e-6f)) {
        return true;
    }
    axis = Normalize(axis);
    if (AllBelow(axis, 1e-6f)) {
        return true;
    }
    const int i1 = (i + 1) % 3;
    const int i2 = (i + 2) % 3;
    const float p1 = Dot(axis, box.scaled[i1]);
    const float p2 = Dot(axis, box.scaled[i2]);
    const float t1 = p1 >= 0.0f ? 1.0f : -1.0f;
    const float t2 = p2 >= 0.0f ? 1.0f : -1.0f;
    const float centre = Dot(box.centre, axis);
    const float extent = t1 * p1 + t2 * p2;
    const float boxMin = centre - extent;
    const float boxMax = centre + extent;

    const float pE = Dot(triangle.p[j], axis);
    const float pO = Dot(triangle.p[(j + 2) % 3], axis);
    const bool edgeLow = pE < pO;
    const float lo = edgeLow ? pE : pO;
    const float hi = edgeLow ? pO : pE;
    if (!(lo < boxMax && hi > boxMin)) {
        return false;
    }
    Vector4 normal;
    Vector4 p;
    float depth = 0.0f;
    if (edgeLow) {
        normal = -axis;
        depth = boxMax - lo;
        p = box.centre + box.scaled[i1] * t1 + box.scaled[i2] * t2;
    } else {
        normal = axis;
        depth = hi - boxMin;
        p = box.centre - box.scaled[i1] * t1 - box.scaled[i2] * t2;
    }
    if (depth < e.depth) {
        e.depth = depth;
        e.found = true;
        e.pointA = p;
        e.pointB = p;
        e.normal = normal;
        e.axis = axis;
        e.edgeX[0] = p + box.scaled[i];
        e.edgeX[1] = p - box.scaled[i];
        e.edgeY[0] = triangle.p[j];
        e.edgeY[1] = triangle.p[(j + 1) % 3];
    }
    return true;
}

bool CollideBoxCornersTriangle(BoxFrame& box, PairContact& r, const TriangleFrame& triangle) {
    // Heights are measured along world y; a triangle standing vertical in y (or degenerate) has
    // no height to measure against.
    const Vector4& n = triangle.n;
    if (n.y == 0.0f) {
        return false;
    }
    ComputeCorners(box);
    const Vector4* p = triangle.p;
    const Vector4* e = triangle.e;
    float best = 0.0f;
    bool any = false;
    for (int k = 0; k < 8; ++k) {
        const Vector4& v = box.corners[k];
        const float g = (v.z - p[0].z) * e[2].x - (v.x - p[0].x) * e[2].z;
        if (((v.z - p[1].z) * e[1].x - (v.x - p[1].x) * e[1].z) * g >= 0.0f &&
            ((v.z - p[0].z) * e[0].x - (v.x - p[0].x) * e[0].z) * g >= 0.0f) {
            const float yp = (triangle.d - v.x * n.x - v.z * n.z) / n.y;
            const float penetration = yp - v.y;
            if (penetration > best && std::isfinite(penetration)) {
                best = penetration;
                r.depth = penetration;
                r.pointA = v;
                r.pointB = {v.x, yp, v.z, 0.0f};
                r.normal = n;
                r.found = true;
                any = true;
            }
        }
    }
    return any;
}

void CollideCapsuleMesh(ConstraintRow& row, const Geometry& capsule, const Matrix4& worldA, const Geometry& mesh) {
    row.found = 0;
    PairContact best;
    best.depth = -1000000.0f;
    int32_t material = 0;
    PairContact r; // scratch: the test resets it and writes every field it reports
    ForEachTriangle(mesh, [&](const TriangleFrame& triangle) {
        ResetContact(r, 100000.0f);
        if (triangle.testMode == 0 && CollideCapsuleTriangle(capsule, worldA, r, triangle) && r.depth > best.depth) {
            best = r;
            best.found = true;
            material = triangle.material;
        }
    });
    if (best.found) {
        WriteRow(row, best, material);
    }
}

bool CollideCapsuleTriangle(const Geometry& capsule, const Matrix4& world, PairContact& r,
                            const TriangleFrame& triangle) {
    ResetContact(r, 1000000.0f);
    if (CollideCapsuleTriangleFace(capsule, world, r, triangle) == 0) {
        return false;
    }
    if (r.found) {
        return true;
    }
    ResetContact(r, 1000000.0f);
    for (int k = 0; k < 3; ++k) {
        CollideCapsuleTriangleEdge(capsule, world, r, triangle, k);
    }
    return r.found;
}

int CollideCapsuleTriangleFace(const Geometry& capsule, const Matrix4& world, PairContact& r,
                               const TriangleFrame& triangle) {
    // Without a plane there is no face; the edges decide.
    if (triangle.IsDegenerate()) {
        return 1;
    }
    Vector4 c = world.row[3];
    Vector4 u = world.row[1];
    c.w = u.w = 0.0f;
    const float length = capsule.HalfLength();
    const float radius = capsule.Radius();

    const float b = Dot(triangle.n, c) - triangle.d;
    Vector4 m;
    float s = 0.0f;
    if (b >= 0.0f) {
        m = -triangle.n;
        s = -b;
    } else {
        m = triangle.n;
        s = b;
    }
    if (radius + length <= std::fabs(s)) {
        return 0;
    }
    const float k = Dot(m, u * length);
    Vector4 end;
    float f = 0.0f;
    if (k > 0.0f) {
        end = c + u * length;
        f = s + k;
    } else {
        end = c - u * length;
        f = s - k;
    }
    const Vector4 deepest = end + m * radius;
    const float depth = radius + f;
    if (depth <= 0.0f) {
        return 0;
    }
    if (depth >= r.depth) {
        return 1;
    }
    const Vector4 onPlane = deepest - m * depth;
    if (TriangleContainsPoint(triangle, onPlane) != -1) {
        return 1;
    }
    // Where the line from the centre through the deepest point meets the plane.
    const Vector4 toDeepest = deepest - c;
    const float along = Dot(toDeepest, m);
    if (!(along > 0.0f)) {
        return 1;
    }
    const Vector4 crossing = c + toDeepest * (Dot(m, triangle.p[0] - c) / along);
    if (TriangleContainsPoint(triangle, crossing) != -1) {
        return 1;
    }
    r.depth = depth;
    r.pointA = deepest;
    r.pointB = onPlane;
    r.normal = -m;
    r.found = true;
    return 1;
}

void CollideCapsuleTriangleEdge(const Geometry& capsule, const Matrix4& world, PairContact& r,
                                const TriangleFrame& triangle, int k) {
    Vector4 c = world.row[3];
    Vector4 u = world.row[1];
    c.w = u.w = 0.0f;
    const float length = capsule.HalfLength();
    const float radius = capsule.Radius();
    const Vector4 coreStart = c + u * length;
    const Vector4 coreEnd = c - u * length;
    const Vector4& edgeStart = triangle.p[k];
    const Vector4& edgeEnd = triangle.p[(k + 1) % 3];

    SegmentClosest closest;
    if (!ClosestSegmentPoints(coreStart, coreEnd, edgeStart, edgeEnd, closest)) {
        return;
    }
    {
        const float depth = radius - closest.distance;
        if (!(depth > 0.0f) || !(depth < r.depth)) {
            return;
        }
        if (closest.inside) {
            Vector4 normal = Normalize(Cross(edgeStart - edgeEnd, u));
            if (Dot(normal, closest.pointP - closest.pointQ) < 0.0f) {
                normal = -normal;
            }
            normal.w = 0.0f;
            r.depth = depth;
            r.found = true;
            r.pointB = closest.pointQ;
            r.normal = normal;
            r.pointA = closest.pointP - normal * radius;
            return;
        }
    }

    // The nearest features by the two parameters: an end of the core or its line against an
    // end of the edge or its line.
    const bool coreLine = closest.s > 0.0f && closest.s < 1.0f;
    const bool edgeLine = closest.t > 0.0f && closest.t < 1.0f;
    const Vector4 coreFeature = closest.s <= 0.0f ? coreStart : coreEnd;
    const Vector4 edgeFeature = closest.t <= 0.0f ? edgeStart : edgeEnd;
    Vector4 coreSide;
    Vector4 triangleSide;
    if (coreLine) {
        coreSide = c + u * Dot(edgeFeature - c, u);
        triangleSide = edgeFeature;
    } else if (edgeLine) {
        const Vector4 edge = edgeEnd - edgeStart;
        coreSide = coreFeature;
        triangleSide = edgeStart + edge * (Dot(coreFeature - edgeStart, edge) / Dot(edge, edge));
    } else {
        if (!(LengthSquared(coreFeature - edgeFeature) < capsule.RadiusSquared())) {
            return;
        }
        coreSide = coreFeature;
        triangleSide = edgeFeature;
    }
    coreSide.w = triangleSide.w = 0.0f;
    const float sq = LengthSquared(coreSide - triangleSide);
    const float dist = sq < 1e-6f ? 0.0f : std::sqrt(sq);
    const float depth = radius - dist;
    if (!(depth > 0.0f) || !(depth < r.depth)) {
        return;
    }
    const Vector4 normal = Normalize(coreSide - triangleSide);
    r.depth = depth;
    r.found = true;
    r.pointB = triangleSide;
    r.normal = normal;
    r.pointA = coreSide - normal * radius;
}

int TriangleContainsPoint(const TriangleFrame& triangle, const Vector4& q) {
    const Vector4& n = triangle.n;
    const float ax = std::fabs(n.x);
    const float ay = std::fabs(n.y);
    const float az = std::fabs(n.z);
    int ic = 0;
    int id = 0;
    float dropped = 0.0f;
    if (ay > az && ay > ax) {
        ic = 0; // (x, z)
        id = 2;
        dropped = n.y;
    } else if (ax >= az) {
        ic = 2; // (z, y)
        id = 1;
        dropped = n.x;
    } else {
        ic = 1; // (y, x)
        id = 0;
        dropped = n.z;
    }
    auto cross = [ic, id](const Vector4& a, const Vector4& b) { return a[ic] * b[id] - a[id] * b[ic]; };
    const Vector4* p = triangle.p;
    const bool pos0 = cross(p[0] - q, p[0] - p[1]) > 0.0f;
    const bool pos1 = cross(p[1] - q, p[1] - p[2]) > 0.0f;
    const bool pos2 = cross(p[2] - q, p[2] - p[0]) > 0.0f;
    if ((pos0 && pos1 && pos2) || (!pos0 && !pos1 && !pos2)) {
        return -1;
    }
    int code = 0;
    if (!pos0 && pos1 && pos2) {
        code = 1;
    } else if (pos0 && !pos1 && pos2) {
        code = 3;
    } else if (pos0 && pos1 && !pos2) {
        code = 5;
    } else if (!pos0 && !pos1) {
        code = 2;
    } else if (!pos1 && !pos2) {
        code = 4;
    } else {
        code = 0; // E2 and E0 not positive
    }
    // The regions were named for one winding; the other winding sees them mirrored. Inside
    // stays inside.
    if (dropped <= 0.0f) {
        code = (code + 3) % 6;
    }
    return code;
}

} // namespace Physics
