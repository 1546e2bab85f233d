#include "Physics/SphereCollision.h"

#include <cmath>
#include <utility>

namespace Physics {

namespace {

void WriteContact(ConstraintRow& row, const Vector4& pointA, const Vector4& pointB, const Vector4& normal,
                  float depth) {
    row.worldPointA = pointA;
    row.worldPointB = pointB;
    row.normal = normal;
    row.worldPointA.w = row.worldPointB.w = row.normal.w = 0.0f;
    row.depth = depth;
    row.found = 1;
}

// |v|, zero for vectors whose square is below 1e-6.
float ClampedLength(const Vector4& v) {
    const float sq = LengthSquared(v);
    return sq < 1e-6f ? 0.0f : std::sqrt(sq);
}

Vector4 Centre(const Matrix4& m) { return {m.row[3].x, m.row[3].y, m.row[3].z, 0.0f}; }

// The triangle's face normal turned towards the centre: the direction for a centre that lies on
// the triangle's own edge or vertex, where the distance gives none.
Vector4 FaceSide(const Vector4& c, const TriangleFrame& t) { return Dot(t.n, c) - t.d < 0.0f ? -t.n : t.n; }

} // namespace

void CollideBoxSphere(ConstraintRow& row, const Geometry& box, const Matrix4& wa, const Geometry& sphere,
                      const Matrix4& wb) {
    row.found = 0;
    const Vector4 s = Centre(wb);
    const float r = sphere.Radius();
    const Vector4& o = wa.row[3];
    const Vector4 d0 = s - o;
    const float h[3] = {box.param[0], box.param[1], box.param[2]};
    float c[3];
    float sigma[3];
    float e[3];
    int outside = 0;
    for (int i = 0; i < 3; ++i) {
        c[i] = Dot(d0, wa.row[i]);
        sigma[i] = c[i] >= 0.0f ? 1.0f : -1.0f;
        e[i] = sigma[i] * c[i] - h[i];
        outside += e[i] >= 0.0f ? 1 : 0;
    }
    const auto toWorld = [&wa, &o](const float v[3]) {
        Vector4 w = o + wa.row[0] * v[0] + wa.row[1] * v[1] + wa.row[2] * v[2];
        w.w = 0.0f;
        return w;
    };
    // Face contact of axis k: the point on A lies on that face.
    const auto faceContact = [&](int k, float depth) {
        Vector4 normal = wa.row[k] * -sigma[k];
        normal.w = 0.0f;
        const Vector4 pointB = s + normal * r;
        WriteContact(row, pointB - normal * depth, pointB, normal, depth);
    };
    // The face nearest the centre: the smallest distance inward, v_k = h_k - σ_k c_k.
    const auto nearestFace = [&]() {
        const float v[3] = {h[0] - sigma[0] * c[0], h[1] - sigma[1] * c[1], h[2] - sigma[2] * c[2]};
        const int k = v[0] < v[1] && v[0] < v[2] ? 0 : (v[1] < v[2] ? 1 : 2);
        return std::pair<int, float>(k, r + v[k]);
    };
    if (outside >= 2) {
        // Corner region (all three outside) or edge region along the one axis inside.
        float q[3];
        float d[3];
        float across = 0.0f;
        for (int i = 0; i < 3; ++i) {
            q[i] = e[i] >= 0.0f ? sigma[i] * h[i] : c[i];
            d[i] = q[i] - c[i];
            across += d[i] * d[i];
        }
        if (across > sphere.RadiusSquared()) {
            return;
        }
        const float len = std::sqrt(across);
        if (len == 0.0f) {
            // The centre on the box's edge or corner: the nearest face decides the direction.
            const auto [k, depth] = nearestFace();
            faceContact(k, depth);
            return;
        }
        const float n[3] = {d[0] / len, d[1] / len, d[2] / len};
        Vector4 normal = wa.row[0] * n[0] + wa.row[1] * n[1] + wa.row[2] * n[2];
        normal.w = 0.0f;
        WriteContact(row, toWorld(q), s + normal * r, normal, r - len);
        return;
    }
    if (outside == 1) {
        const int k = e[0] >= 0.0f ? 0 : (e[1] >= 0.0f ? 1 : 2);
        const float depth = h[k] + r - sigma[k] * c[k];
        if (!(depth > 0.0f)) {
            return;
        }
        faceContact(k, depth);
        return;
    }
    const auto [k, depth] = nearestFace();
    faceContact(k, depth);
}

void CollideSphereSphere(ConstraintRow& row, const Geometry& a, const Matrix4& wa, const Geometry& b,
                         const Matrix4& wb) {
    row.found = 0;
    const Vector4 sa = Centre(wa);
    const Vector4 sb = Centre(wb);
    const float ra = a.Radius();
    const float rb = b.Radius();
    const Vector4 d = sa - sb;
    const float sq = LengthSquared(d);
    if (sq >= (ra + rb) * (ra + rb) || sq < 1e-6f) {
        return;
    }
    const float len = std::sqrt(sq);
    const Vector4 n = d * (1.0f / len);
    WriteContact(row, sa - n * ra, sb + n * rb, n, ra + rb - len);
}

void CollideCapsuleSphere(ConstraintRow& row, const Geometry& capsule, const Matrix4& wa, const Geometry& sphere,
                          const Matrix4& wb) {
    row.found = 0;
    const Vector4 m = Centre(wa);
    Vector4 u = wa.row[1];
    u.w = 0.0f;
    const float half = capsule.HalfLength();
    const float ra = capsule.Radius();
    const Vector4 s = Centre(wb);
    const float rb = sphere.Radius();
    const Vector4 top = m + u * half;
    const Vector4 bottom = m - u * half;
    const float t = Dot(u, s - bottom);
    if (t >= ra + rb + 2.0f * half || t <= -(ra + rb)) {
        return;
    }
    const Vector4 q = t > 2.0f * half ? top : (t < 0.0f ? bottom : bottom + u * t);
    const Vector4 d = q - s;
    const float len = Length(d);
    if (len >= ra + rb) {
        return;
    }
    Vector4 n;
    if (len < 1e-6f) {
        n = wa.row[0];
        n.w = 0.0f;
    } else {
        n = d * (1.0f / len);
    }
    WriteContact(row, q - n * ra, s + n * rb, n, ra + rb - len);
}

void CollideSphereTriangleVertex(const Vector4& c, float r, PairContact& p, const TriangleFrame& triangle, int k) {
    const Vector4 d = c - triangle.p[k];
    const float dist = ClampedLength(d);
    if (!(r - dist > 0.0f)) {
        return;
    }
    p.depth = r - dist;
    p.found = true;
    // A centre on the vertex itself takes the face normal towards it.
    p.normal = dist == 0.0f ? FaceSide(c, triangle) : d * (1.0f / dist);
    p.normal.w = 0.0f;
    p.pointA = c - p.normal * r;
    p.pointB = triangle.p[k];
}

void CollideSphereTriangleEdge(const Vector4& c, float r, PairContact& p, const TriangleFrame& triangle, int k) {
    const Vector4& start = triangle.p[k];
    const float length = ClampedLength(triangle.e[k]);
    if (length < 1e-6f) {
        CollideSphereTriangleVertex(c, r, p, triangle, k);
        return;
    }
    const Vector4 u = triangle.e[k] * (1.0f / length);
    const float t = Dot(c - start, u);
    // The edge region runs beyond the edge's ends; there the nearer vertex is the contact.
    if (!(t > 0.0f)) {
        CollideSphereTriangleVertex(c, r, p, triangle, k);
        return;
    }
    if (!(t < length)) {
        CollideSphereTriangleVertex(c, r, p, triangle, (k + 1) % 3);
        return;
    }
    const Vector4 q = start + u * t;
    const Vector4 d = c - q;
    const float dist = ClampedLength(d);
    const float pen = r - dist;
    // A centre on the edge line itself (pen = r) takes the face normal.
    if (pen > 0.0f && pen < p.depth && (pen < r || dist == 0.0f)) {
        p.depth = pen;
        p.found = true;
        p.normal = dist == 0.0f ? FaceSide(c, triangle) : d * (1.0f / dist);
        p.normal.w = 0.0f;
        p.pointA = c - p.normal * r;
        p.pointB = q;
    }
}

bool CollideSphereTriangle(const Vector4& c, float r, PairContact& p, const TriangleFrame& triangle) {
    p.depth = 100000.0f;
    p.found = false;
    p.edge = false;
    // A triangle without area has no plane and gives no contact.
    if (triangle.IsDegenerate()) {
        return false;
    }
    const float h = Dot(triangle.n, c) - triangle.d;
    const float s = h < 0.0f ? -1.0f : 1.0f;
    const float pen = r - s * h;
    if (!(pen > 0.0f)) {
        return false;
    }
    Vector4 f = c - triangle.n * h;
    f.w = 0.0f;
    const int region = TriangleContainsPoint(triangle, f);
    if (region == -1) {
        p.depth = pen;
        p.normal = triangle.n * s;
        p.pointA = c - triangle.n * (s * r);
        p.pointB = f;
        p.found = true;
        return true;
    }
    if (region % 2 == 0) {
        CollideSphereTriangleVertex(c, r, p, triangle, region / 2);
    } else {
        CollideSphereTriangleEdge(c, r, p, triangle, region / 2);
    }
    return p.found;
}

void CollideSphereMesh(ConstraintRow& row, const Geometry& sphere, const Matrix4& wa, const Geometry& mesh) {
    row.found = 0;
    const Vector4 c = Centre(wa);
    const float r = sphere.Radius();
    PairContact best;
    best.depth = -1000000.0f;
    bool found = false;
    int32_t material = 0;
    PairContact p;
    ForEachTriangle(mesh, [&](const TriangleFrame& triangle) {
        if (triangle.testMode != 0) {
            return;
        }
        if (CollideSphereTriangle(c, r, p, triangle) && p.depth > best.depth) {
            best = p;
            found = true;
            material = triangle.material;
        }
    });
    if (found) {
        WriteContact(row, best.pointA, best.pointB, best.normal, best.depth);
        row.materialB = material;
    }
}

void CollideBoxSingleTriangle(ConstraintRow& row, const Geometry& box, const Matrix4& wa, const Geometry& triangle,
                              const Matrix4& wb) {
    row.found = 0;
    if (triangle.meshVertices == nullptr) {
        return;
    }
    BoxFrame frame;
    frame.Build(box, wa);
    TriangleFrame t;
    t.Set(TransformPoint(Vertex(triangle.meshVertices, triangle.triangleVertex[0]), wb),
          TransformPoint(Vertex(triangle.meshVertices, triangle.triangleVertex[1]), wb),
          TransformPoint(Vertex(triangle.meshVertices, triangle.triangleVertex[2]), wb));
    if (t.IsDegenerate()) {
        return;
    }
    PairContact p;
    if (!CollideBoxTriangle(frame, p, t)) {
        return;
    }
    // A face contact gives one point, the box's deepest corner, for both sides.
    WriteContact(row, p.pointA, p.edge ? p.pointB : p.pointA, p.normal, p.depth);
    row.materialB = triangle.material;
}

} // namespace Physics
