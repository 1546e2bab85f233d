#pragma once
// 4x4 matrix with D3DX semantics: row vectors (p · M), translation in row 3, left-handed, clip z
// from 0 to 1. m[r][c] is D3DX's _(r+1)(c+1). Its bytes equal a column-major GL matrix.

#include "Core/Math/Plane.h"
#include "Core/Math/Quat.h"
#include "Core/Math/Vector.h"

#include <cmath>
#include <type_traits>

struct Mat4 {
    float m[4][4] = {};

    constexpr Mat4() = default;
    constexpr Mat4(float m11, float m12, float m13, float m14, float m21, float m22, float m23, float m24, float m31,
                   float m32, float m33, float m34, float m41, float m42, float m43, float m44)
        : m{{m11, m12, m13, m14}, {m21, m22, m23, m24}, {m31, m32, m33, m34}, {m41, m42, m43, m44}} {}

    constexpr float& operator()(int r, int c) { return m[r][c]; }
    constexpr float operator()(int r, int c) const { return m[r][c]; }
};

static_assert(std::is_standard_layout_v<Mat4> && std::is_trivially_copyable_v<Mat4> && sizeof(Mat4) == 64);

constexpr bool operator==(const Mat4& a, const Mat4& b) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            if (a.m[r][c] != b.m[r][c]) return false;
    return true;
}

constexpr Mat4 MatIdentity() { return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}; }

// a · b: a's transform first, then b's.
constexpr Mat4 MatMultiply(const Mat4& a, const Mat4& b) {
    Mat4 out;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            out.m[r][c] = a.m[r][0] * b.m[0][c] + a.m[r][1] * b.m[1][c] + a.m[r][2] * b.m[2][c] + a.m[r][3] * b.m[3][c];
    return out;
}

constexpr Mat4 operator*(const Mat4& a, const Mat4& b) { return MatMultiply(a, b); }

constexpr Mat4 MatTranspose(const Mat4& a) {
    Mat4 out;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) out.m[r][c] = a.m[c][r];
    return out;
}

// Writes the determinant to *det when det is not null, even when m is singular. A singular matrix
// (or one whose determinant is too small to invert in float) answers false and leaves out alone.
inline bool MatInverse(Mat4& out, float* det, const Mat4& m) {
    // Cofactor expansion in double; float loses too much on matrices with large translations.
    double a[4][4];
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) a[r][c] = m.m[r][c];

    // 2x2 minors of the bottom two rows and of the top two rows.
    const double b0 = a[2][0] * a[3][1] - a[2][1] * a[3][0];
    const double b1 = a[2][0] * a[3][2] - a[2][2] * a[3][0];
    const double b2 = a[2][0] * a[3][3] - a[2][3] * a[3][0];
    const double b3 = a[2][1] * a[3][2] - a[2][2] * a[3][1];
    const double b4 = a[2][1] * a[3][3] - a[2][3] * a[3][1];
    const double b5 = a[2][2] * a[3][3] - a[2][3] * a[3][2];
    const double t0 = a[0][0] * a[1][1] - a[0][1] * a[1][0];
    const double t1 = a[0][0] * a[1][2] - a[0][2] * a[1][0];
    const double t2 = a[0][0] * a[1][3] - a[0][3] * a[1][0];
    const double t3 = a[0][1] * a[1][2] - a[0][2] * a[1][1];
    const double t4 = a[0][1] * a[1][3] - a[0][3] * a[1][1];
    const double t5 = a[0][2] * a[1][3] - a[0][3] * a[1][2];

    const double d = t0 * b5 - t1 * b4 + t2 * b3 + t3 * b2 - t4 * b1 + t5 * b0;
    const float fd = static_cast<float>(d);
    if (det) *det = fd;
    const float inv = 1.0f / fd;
    if (fd == 0.0f || !std::isfinite(inv)) return false;

    const double k = 1.0 / d;
    Mat4 r;
    r.m[0][0] = static_cast<float>((a[1][1] * b5 - a[1][2] * b4 + a[1][3] * b3) * k);
    r.m[0][1] = static_cast<float>((-a[0][1] * b5 + a[0][2] * b4 - a[0][3] * b3) * k);
    r.m[0][2] = static_cast<float>((a[3][1] * t5 - a[3][2] * t4 + a[3][3] * t3) * k);
    r.m[0][3] = static_cast<float>((-a[2][1] * t5 + a[2][2] * t4 - a[2][3] * t3) * k);
    r.m[1][0] = static_cast<float>((-a[1][0] * b5 + a[1][2] * b2 - a[1][3] * b1) * k);
    r.m[1][1] = static_cast<float>((a[0][0] * b5 - a[0][2] * b2 + a[0][3] * b1) * k);
    r.m[1][2] = static_cast<float>((-a[3][0] * t5 + a[3][2] * t2 - a[3][3] * t1) * k);
    r.m[1][3] = static_cast<float>((a[2][0] * t5 - a[2][2] * t2 + a[2][3] * t1) * k);
    r.m[2][0] = static_cast<float>((a[1][0] * b4 - a[1][1] * b2 + a[1][3] * b0) * k);
    r.m[2][1] = static_cast<float>((-a[0][0] * b4 + a[0][1] * b2 - a[0][3] * b0) * k);
    r.m[2][2] = static_cast<float>((a[3][0] * t4 - a[3][1] * t2 + a[3][3] * t0) * k);
    r.m[2][3] = static_cast<float>((-a[2][0] * t4 + a[2][1] * t2 - a[2][3] * t0) * k);
    r.m[3][0] = static_cast<float>((-a[1][0] * b3 + a[1][1] * b1 - a[1][2] * b0) * k);
    r.m[3][1] = static_cast<float>((a[0][0] * b3 - a[0][1] * b1 + a[0][2] * b0) * k);
    r.m[3][2] = static_cast<float>((-a[3][0] * t3 + a[3][1] * t1 - a[3][2] * t0) * k);
    r.m[3][3] = static_cast<float>((a[2][0] * t3 - a[2][1] * t1 + a[2][2] * t0) * k);
    out = r;
    return true;
}

constexpr Mat4 MatTranslation(float x, float y, float z) { return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, x, y, z, 1}; }

constexpr Mat4 MatScaling(float x, float y, float z) { return {x, 0, 0, 0, 0, y, 0, 0, 0, 0, z, 0, 0, 0, 0, 1}; }

// Left-handed: looking down the axis towards the origin, positive angles turn clockwise.
inline Mat4 MatRotationX(float angle) {
    const float s = std::sin(angle), c = std::cos(angle);
    return {1, 0, 0, 0, 0, c, s, 0, 0, -s, c, 0, 0, 0, 0, 1};
}

inline Mat4 MatRotationY(float angle) {
    const float s = std::sin(angle), c = std::cos(angle);
    return {c, 0, -s, 0, 0, 1, 0, 0, s, 0, c, 0, 0, 0, 0, 1};
}

inline Mat4 MatRotationZ(float angle) {
    const float s = std::sin(angle), c = std::cos(angle);
    return {c, s, 0, 0, -s, c, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
}

// The axis need not be unit length.
inline Mat4 MatRotationAxis(const Vec3& axis, float angle) {
    const Vec3 n = Normalize(axis);
    const float s = std::sin(angle), c = std::cos(angle), t = 1.0f - c;
    return {t * n.x * n.x + c,
            t * n.x * n.y + s * n.z,
            t * n.x * n.z - s * n.y,
            0,
            t * n.x * n.y - s * n.z,
            t * n.y * n.y + c,
            t * n.y * n.z + s * n.x,
            0,
            t * n.x * n.z + s * n.y,
            t * n.y * n.z - s * n.x,
            t * n.z * n.z + c,
            0,
            0,
            0,
            0,
            1};
}

constexpr Mat4 MatRotationQuaternion(const Quat& q) {
    const float xx = q.x * q.x, yy = q.y * q.y, zz = q.z * q.z;
    const float xy = q.x * q.y, xz = q.x * q.z, yz = q.y * q.z;
    const float wx = q.w * q.x, wy = q.w * q.y, wz = q.w * q.z;
    return {1 - 2 * (yy + zz),
            2 * (xy + wz),
            2 * (xz - wy),
            0,
            2 * (xy - wz),
            1 - 2 * (xx + zz),
            2 * (yz + wx),
            0,
            2 * (xz + wy),
            2 * (yz - wx),
            1 - 2 * (xx + yy),
            0,
            0,
            0,
            0,
            1};
}

// Roll about Z first, then pitch about X, then yaw about Y.
inline Mat4 MatRotationYawPitchRoll(float yaw, float pitch, float roll) {
    return MatRotationZ(roll) * MatRotationX(pitch) * MatRotationY(yaw);
}

// The rotation in the upper 3x3 of m, which must be orthonormal. Picks the largest of w, x, y, z
// to divide by so that 180-degree turns stay exact.
inline Quat QuatRotationMatrix(const Mat4& m) {
    const float trace = m.m[0][0] + m.m[1][1] + m.m[2][2];
    if (trace > 0.0f) {
        const float s = 2.0f * std::sqrt(trace + 1.0f); // 4w
        return {(m.m[1][2] - m.m[2][1]) / s, (m.m[2][0] - m.m[0][2]) / s, (m.m[0][1] - m.m[1][0]) / s, 0.25f * s};
    }
    if (m.m[0][0] >= m.m[1][1] && m.m[0][0] >= m.m[2][2]) {
        const float s = 2.0f * std::sqrt(1.0f + m.m[0][0] - m.m[1][1] - m.m[2][2]); // 4x
        return {0.25f * s, (m.m[0][1] + m.m[1][0]) / s, (m.m[0][2] + m.m[2][0]) / s, (m.m[1][2] - m.m[2][1]) / s};
    }
    if (m.m[1][1] >= m.m[2][2]) {
        const float s = 2.0f * std::sqrt(1.0f + m.m[1][1] - m.m[0][0] - m.m[2][2]); // 4y
        return {(m.m[0][1] + m.m[1][0]) / s, 0.25f * s, (m.m[1][2] + m.m[2][1]) / s, (m.m[2][0] - m.m[0][2]) / s};
    }
    const float s = 2.0f * std::sqrt(1.0f + m.m[2][2] - m.m[0][0] - m.m[1][1]); // 4z
    return {(m.m[0][2] + m.m[2][0]) / s, (m.m[1][2] + m.m[2][1]) / s, 0.25f * s, (m.m[0][1] - m.m[1][0]) / s};
}

// View matrix: the eye goes to the origin looking down +z, up towards +y.
inline Mat4 MatLookAtLH(const Vec3& eye, const Vec3& at, const Vec3& up) {
    const Vec3 zaxis = Normalize(at - eye);
    const Vec3 xaxis = Normalize(Cross(up, zaxis));
    const Vec3 yaxis = Cross(zaxis, xaxis);
    return {xaxis.x, yaxis.x, zaxis.x, 0, xaxis.y,          yaxis.y,          zaxis.y,          0,
            xaxis.z, yaxis.z, zaxis.z, 0, -Dot(xaxis, eye), -Dot(yaxis, eye), -Dot(zaxis, eye), 1};
}

// fovY in radians, aspect = width / height; view z from zn..zf lands on 0..1 after the divide.
inline Mat4 MatPerspectiveFovLH(float fovY, float aspect, float zn, float zf) {
    const float yScale = 1.0f / std::tan(fovY * 0.5f);
    const float xScale = yScale / aspect;
    const float q = zf / (zf - zn);
    return {xScale, 0, 0, 0, 0, yScale, 0, 0, 0, 0, q, 1, 0, 0, -zn * q, 0};
}

constexpr Mat4 MatOrthoOffCenterLH(float l, float r, float b, float t, float zn, float zf) {
    return {2 / (r - l),    0, 0, 0, 0, 2 / (t - b), 0, 0, 0, 0, 1 / (zf - zn), 0, (l + r) / (l - r), (t + b) / (b - t),
            zn / (zn - zf), 1};
}

constexpr Mat4 MatOrthoLH(float w, float h, float zn, float zf) {
    return {2 / w, 0, 0, 0, 0, 2 / h, 0, 0, 0, 0, 1 / (zf - zn), 0, 0, 0, zn / (zn - zf), 1};
}

// Flattens geometry onto the plane as seen from the light. light.w = 0 is a directional light
// (x, y, z points towards the light), w = 1 a point light at (x, y, z). The plane is normalised
// first; with the dot·I − P·Lᵀ form, points on the light's side of the plane keep a positive w.
inline Mat4 MatShadow(const Vec4& light, const Plane& plane) {
    const Plane p = PlaneNormalize(plane);
    const float d = PlaneDot(p, light);
    const float pv[4] = {p.a, p.b, p.c, p.d};
    const float lv[4] = {light.x, light.y, light.z, light.w};
    Mat4 out;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) out.m[r][c] = (r == c ? d : 0.0f) - pv[r] * lv[c];
    return out;
}

constexpr Vec4 Vec4Transform(const Vec4& v, const Mat4& m) {
    return {v.x * m.m[0][0] + v.y * m.m[1][0] + v.z * m.m[2][0] + v.w * m.m[3][0],
            v.x * m.m[0][1] + v.y * m.m[1][1] + v.z * m.m[2][1] + v.w * m.m[3][1],
            v.x * m.m[0][2] + v.y * m.m[1][2] + v.z * m.m[2][2] + v.w * m.m[3][2],
            v.x * m.m[0][3] + v.y * m.m[1][3] + v.z * m.m[2][3] + v.w * m.m[3][3]};
}

// (x, y, z, 1) · m, keeping w.
constexpr Vec4 Vec3Transform(const Vec3& v, const Mat4& m) { return Vec4Transform(Vec4(v, 1.0f), m); }

// (x, y, z, 1) · m, divided by the resulting w.
constexpr Vec3 Vec3TransformCoord(const Vec3& v, const Mat4& m) {
    const Vec4 r = Vec3Transform(v, m);
    return {r.x / r.w, r.y / r.w, r.z / r.w};
}

// (x, y, z, 0) · m: directions ignore the translation row.
constexpr Vec3 Vec3TransformNormal(const Vec3& v, const Mat4& m) {
    const Vec4 r = Vec4Transform(Vec4(v, 0.0f), m);
    return {r.x, r.y, r.z};
}
