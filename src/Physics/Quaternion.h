#pragma once

#include "Physics/Matrix3.h"

namespace Physics {

// Quaternions are stored (x, y, z, w) in a Vector4.

// Hamilton product a ⊗ b.
inline Vector4 QuatMultiply(const Vector4& a, const Vector4& b) {
    return {a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y, a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
            a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w, a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z};
}

inline Vector4 QuatAdd(const Vector4& a, const Vector4& b) { return {a.x + b.x, a.y + b.y, a.z + b.z, a.w + b.w}; }
inline Vector4 QuatScale(const Vector4& a, float s) { return {a.x * s, a.y * s, a.z * s, a.w * s}; }
inline float QuatLengthSquared(const Vector4& q) { return q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w; }

// Four-component normalisation; a degenerate quaternion becomes zero rather than NaN.
inline Vector4 QuatNormalize(const Vector4& q) {
    const float sq = QuatLengthSquared(q);
    if (sq < 1e-6f) {
        return {0.0f, 0.0f, 0.0f, 0.0f};
    }
    return QuatScale(q, 1.0f / std::sqrt(sq));
}

// ½ (ω, 0) ⊗ q: the rate of q under angular velocity ω.
inline Vector4 QuatRate(const Vector4& omega, const Vector4& q) {
    return QuatScale(QuatMultiply({omega.x, omega.y, omega.z, 0.0f}, q), 0.5f);
}

// Rotation rows for row vectors (p · R rotates p by q).
inline Matrix3 QuatToRows(const Vector4& q) {
    const float x = q.x, y = q.y, z = q.z, w = q.w;
    Matrix3 r;
    r.row[0] = {1.0f - 2.0f * (y * y + z * z), 2.0f * (x * y + w * z), 2.0f * (x * z - w * y), 0.0f};
    r.row[1] = {2.0f * (x * y - w * z), 1.0f - 2.0f * (x * x + z * z), 2.0f * (y * z + w * x), 0.0f};
    r.row[2] = {2.0f * (x * z + w * y), 2.0f * (y * z - w * x), 1.0f - 2.0f * (x * x + y * y), 0.0f};
    return r;
}

// The inverse of QuatToRows for a rotation: the largest of w², x², y², z² is taken from the
// diagonal, the others from the off-diagonal sums and differences; w >= 0, unit length.
inline Vector4 RowsToQuat(const Matrix3& r) {
    const float m00 = r.row[0].x, m01 = r.row[0].y, m02 = r.row[0].z;
    const float m10 = r.row[1].x, m11 = r.row[1].y, m12 = r.row[1].z;
    const float m20 = r.row[2].x, m21 = r.row[2].y, m22 = r.row[2].z;
    const float w2 = 1.0f + m00 + m11 + m22;
    const float x2 = 1.0f + m00 - m11 - m22;
    const float y2 = 1.0f - m00 + m11 - m22;
    const float z2 = 1.0f - m00 - m11 + m22;
    Vector4 q;
    if (w2 >= x2 && w2 >= y2 && w2 >= z2) {
        const float s = 2.0f * std::sqrt(w2);
        q = {(m12 - m21) / s, (m20 - m02) / s, (m01 - m10) / s, 0.25f * s};
    } else if (x2 >= y2 && x2 >= z2) {
        const float s = 2.0f * std::sqrt(x2);
        q = {0.25f * s, (m01 + m10) / s, (m20 + m02) / s, (m12 - m21) / s};
    } else if (y2 >= z2) {
        const float s = 2.0f * std::sqrt(y2);
        q = {(m01 + m10) / s, 0.25f * s, (m12 + m21) / s, (m20 - m02) / s};
    } else {
        const float s = 2.0f * std::sqrt(z2);
        q = {(m20 + m02) / s, (m12 + m21) / s, 0.25f * s, (m01 - m10) / s};
    }
    if (q.w < 0.0f) {
        q = QuatScale(q, -1.0f);
    }
    return QuatNormalize(q);
}

} // namespace Physics
