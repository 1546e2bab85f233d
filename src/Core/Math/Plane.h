#pragma once
// Plane a·x + b·y + c·z + d = 0 with D3DX semantics.

#include "Core/Math/Vector.h"

#include <cmath>
#include <type_traits>

struct Plane {
    float a = 0.0f, b = 0.0f, c = 0.0f, d = 0.0f;

    constexpr Plane() = default;
    constexpr Plane(float a_, float b_, float c_, float d_) : a(a_), b(b_), c(c_), d(d_) {}
};

static_assert(std::is_standard_layout_v<Plane> && std::is_trivially_copyable_v<Plane> && sizeof(Plane) == 16);

constexpr bool operator==(const Plane& p, const Plane& q) {
    return p.a == q.a && p.b == q.b && p.c == q.c && p.d == q.d;
}

constexpr float PlaneDot(const Plane& p, const Vec4& v) { return p.a * v.x + p.b * v.y + p.c * v.z + p.d * v.w; }
constexpr float PlaneDotCoord(const Plane& p, const Vec3& v) { return p.a * v.x + p.b * v.y + p.c * v.z + p.d; }
constexpr float PlaneDotNormal(const Plane& p, const Vec3& v) { return p.a * v.x + p.b * v.y + p.c * v.z; }

constexpr Plane PlaneFromPointNormal(const Vec3& point, const Vec3& normal) {
    return {normal.x, normal.y, normal.z, -Dot(point, normal)};
}

// Unit normal is Cross(p2 − p1, p3 − p1); degenerate triangles give a zero normal.
inline Plane PlaneFromPoints(const Vec3& p1, const Vec3& p2, const Vec3& p3) {
    return PlaneFromPointNormal(p1, Normalize(Cross(p2 - p1, p3 - p1)));
}

// Scales the whole equation so the normal has unit length; a plane without a normal becomes zero.
inline Plane PlaneNormalize(const Plane& p) {
    const float len = std::sqrt(p.a * p.a + p.b * p.b + p.c * p.c);
    if (len == 0.0f) return {};
    const float inv = 1.0f / len;
    return {p.a * inv, p.b * inv, p.c * inv, p.d * inv};
}

// Where the infinite line through v1 and v2 meets the plane. A line parallel to the plane answers
// false and leaves out unchanged.
inline bool PlaneIntersectLine(Vec3& out, const Plane& p, const Vec3& v1, const Vec3& v2) {
    const Vec3 dir = v2 - v1;
    const float denom = PlaneDotNormal(p, dir);
    if (denom == 0.0f) return false;
    out = v1 - dir * (PlaneDotCoord(p, v1) / denom);
    return true;
}
