#pragma once
// Rotation quaternion stored as (x, y, z, w) with D3DX semantics. Conversions to and from matrices
// (MatRotationQuaternion, QuatRotationMatrix) live in Mat4.h.

#include "Core/Math/Vector.h"

#include <cmath>
#include <type_traits>

struct Quat {
    float x = 0.0f, y = 0.0f, z = 0.0f, w = 0.0f;

    constexpr Quat() = default;
    constexpr Quat(float x_, float y_, float z_, float w_) : x(x_), y(y_), z(z_), w(w_) {}
};

static_assert(std::is_standard_layout_v<Quat> && std::is_trivially_copyable_v<Quat> && sizeof(Quat) == 16);

constexpr Quat operator+(const Quat& a, const Quat& b) { return {a.x + b.x, a.y + b.y, a.z + b.z, a.w + b.w}; }
constexpr Quat operator-(const Quat& a, const Quat& b) { return {a.x - b.x, a.y - b.y, a.z - b.z, a.w - b.w}; }
constexpr Quat operator-(const Quat& q) { return {-q.x, -q.y, -q.z, -q.w}; }
constexpr Quat operator*(const Quat& q, float s) { return {q.x * s, q.y * s, q.z * s, q.w * s}; }
constexpr Quat operator*(float s, const Quat& q) { return q * s; }
constexpr bool operator==(const Quat& a, const Quat& b) { return a.x == b.x && a.y == b.y && a.z == b.z && a.w == b.w; }

constexpr float Dot(const Quat& a, const Quat& b) { return a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w; }
constexpr float LengthSq(const Quat& q) { return Dot(q, q); }
inline float Length(const Quat& q) { return std::sqrt(LengthSq(q)); }

constexpr Quat QuatIdentity() { return {0.0f, 0.0f, 0.0f, 1.0f}; }

constexpr Quat QuatConjugate(const Quat& q) { return {-q.x, -q.y, -q.z, q.w}; }

// The rotation q1 followed by q2, i.e. the Hamilton product q2 * q1.
constexpr Quat QuatMultiply(const Quat& q1, const Quat& q2) {
    return {
        q2.w * q1.x + q2.x * q1.w + q2.y * q1.z - q2.z * q1.y, q2.w * q1.y - q2.x * q1.z + q2.y * q1.w + q2.z * q1.x,
        q2.w * q1.z + q2.x * q1.y - q2.y * q1.x + q2.z * q1.w, q2.w * q1.w - q2.x * q1.x - q2.y * q1.y - q2.z * q1.z};
}

// A zero quaternion stays zero instead of becoming NaNs.
inline Quat QuatNormalize(const Quat& q) {
    const float len = Length(q);
    return len != 0.0f ? q * (1.0f / len) : Quat{};
}

// Conjugate over squared length, so non-unit quaternions invert too. Zero has no inverse and
// stays zero.
constexpr Quat QuatInverse(const Quat& q) {
    const float lenSq = LengthSq(q);
    return lenSq != 0.0f ? QuatConjugate(q) * (1.0f / lenSq) : Quat{};
}

// The axis need not be unit length.
inline Quat QuatRotationAxis(const Vec3& axis, float angle) {
    const Vec3 n = Normalize(axis);
    const float s = std::sin(angle * 0.5f);
    return {n.x * s, n.y * s, n.z * s, std::cos(angle * 0.5f)};
}

// Roll about Z, then pitch about X, then yaw about Y; matches MatRotationYawPitchRoll.
inline Quat QuatRotationYawPitchRoll(float yaw, float pitch, float roll) {
    const float sy = std::sin(yaw * 0.5f), cy = std::cos(yaw * 0.5f);
    const float sp = std::sin(pitch * 0.5f), cp = std::cos(pitch * 0.5f);
    const float sr = std::sin(roll * 0.5f), cr = std::cos(roll * 0.5f);
    return {sy * cp * sr + cy * sp * cr, sy * cp * cr - cy * sp * sr, cy * cp * sr - sy * sp * cr,
            cy * cp * cr + sy * sp * sr};
}

// Spherical interpolation along the shorter arc; nearly equal inputs fall back to a linear blend,
// where the sine ratio would lose all precision.
inline Quat QuatSlerp(const Quat& q1, const Quat& q2, float t) {
    float cosTheta = Dot(q1, q2);
    float sign = 1.0f;
    if (cosTheta < 0.0f) {
        sign = -1.0f;
        cosTheta = -cosTheta;
    }
    float k1 = 1.0f - t;
    float k2 = t;
    if (1.0f - cosTheta > 0.001f) {
        const float theta = std::acos(cosTheta);
        const float sinTheta = std::sin(theta);
        k1 = std::sin(theta * k1) / sinTheta;
        k2 = std::sin(theta * k2) / sinTheta;
    }
    return q1 * k1 + q2 * (sign * k2);
}
