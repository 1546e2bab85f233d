#include "Core/POrientedBox.h"

#include "Core/PUtils.h"

namespace {

// Signs of the half-extents per corner.
constexpr float kCornerSign[8][3] = {
    {-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1}, {-1, -1, 1}, {1, -1, 1}, {1, 1, 1}, {-1, 1, 1},
};

// Each face: the corner triple its plane is built from, then its two test triangles.
struct Face {
    int plane[3];
    int tri[2][3];
};
constexpr Face kFaces[6] = {
    {{0, 1, 2}, {{0, 1, 2}, {0, 2, 3}}}, // z−
    {{1, 5, 6}, {{1, 5, 6}, {1, 2, 6}}}, // x+
    {{2, 6, 7}, {{2, 6, 7}, {2, 7, 3}}}, // y+
    {{3, 7, 4}, {{3, 4, 7}, {3, 4, 0}}}, // x−
    {{0, 4, 5}, {{0, 4, 5}, {0, 5, 1}}}, // y−
    {{5, 4, 7}, {{4, 5, 6}, {4, 6, 7}}}, // z+
};

const float* Ptr(const Vec3& v) { return &v.x; }

} // namespace

CPOrientedBox::CPOrientedBox(const Vec3& c, const Vec3& h) : centre(c), halfExtents(h), min(c - h), max(c + h) {}

void CPOrientedBox::Update() {
    // Written so that NaN fails the test and is raised too.
    for (float* h : {&halfExtents.x, &halfExtents.y, &halfExtents.z})
        if (!(*h >= kMinHalfExtent)) *h = kMinHalfExtent;

    for (int k = 0; k < 8; ++k) {
        const Vec3 local(centre.x + kCornerSign[k][0] * halfExtents.x, centre.y + kCornerSign[k][1] * halfExtents.y,
                         centre.z + kCornerSign[k][2] * halfExtents.z);
        corners[k] = Vec3TransformCoord(local, worldMatrix);
    }

    for (int f = 0; f < 6; ++f) {
        const Vec3& p0 = corners[kFaces[f].plane[0]];
        const Vec3& p1 = corners[kFaces[f].plane[1]];
        const Vec3& p2 = corners[kFaces[f].plane[2]];
        const Vec3 n = Cross(p2 - p0, p1 - p0);
        planes[f] = Plane(n.x, n.y, n.z, -Dot(n, p0));
    }

    min = max = corners[0];
    for (int k = 1; k < 8; ++k) {
        const Vec3& c = corners[k];
        if (c.x < min.x) min.x = c.x;
        if (c.y < min.y) min.y = c.y;
        if (c.z < min.z) min.z = c.z;
        if (c.x > max.x) max.x = c.x;
        if (c.y > max.y) max.y = c.y;
        if (c.z > max.z) max.z = c.z;
    }
}

bool CPOrientedBox::IntersectsRay(const Vec3& origin, const Vec3& direction, float& distance, Plane& plane) const {
    bool inside = true;
    for (const Plane& p : planes) {
        if (!(PlaneDotCoord(p, origin) > 0.0f)) {
            inside = false;
            break;
        }
    }
    if (inside) {
        distance = 0.0f;
        return true;
    }

    bool hit = false;
    for (int f = 0; f < 6; ++f) {
        const Plane& p = planes[f];
        const float t = RayPlaneDistance(Ptr(origin), Ptr(direction), p.a, p.b, p.c, p.d);
        if (!(t < distance && t >= 0.0f)) continue;
        const Vec3 point = origin + direction * t;
        bool inFace = false;
        for (const auto& tri : kFaces[f].tri) {
            if (IsPointInTriangle(Ptr(point), Ptr(corners[tri[0]]), Ptr(corners[tri[1]]), Ptr(corners[tri[2]]))) {
                inFace = true;
                break;
            }
        }
        if (!inFace) continue;
        distance = t;
        plane = p;
        hit = true;
    }
    return hit;
}
