#pragma once

#include "Physics/Vector4.h"

namespace Physics {

// Three rows of four floats, used with row vectors: v' = v · M.
struct Matrix3 {
    Vector4 row[3] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}};

    static Matrix3 Identity() { return Matrix3(); }
    static Matrix3 Zero() {
        Matrix3 m;
        m.row[0] = m.row[1] = m.row[2] = Vector4();
        return m;
    }
    static Matrix3 Diagonal(float x, float y, float z) {
        Matrix3 m = Zero();
        m.row[0].x = x;
        m.row[1].y = y;
        m.row[2].z = z;
        return m;
    }
    float At(int r, int c) const { return row[r][c]; }
    float& At(int r, int c) { return row[r][c]; }
};

// v · M, v taken as a row vector.
inline Vector4 operator*(const Vector4& v, const Matrix3& m) {
    return {v.x * m.row[0].x + v.y * m.row[1].x + v.z * m.row[2].x,
            v.x * m.row[0].y + v.y * m.row[1].y + v.z * m.row[2].y,
            v.x * m.row[0].z + v.y * m.row[1].z + v.z * m.row[2].z, v.w};
}

// Both written out: they run for every body on every tick, and indexed rows cost compares.
inline Matrix3 operator*(const Matrix3& a, const Matrix3& b) {
    Matrix3 r;
    r.row[0] = a.row[0] * b;
    r.row[0].w = 0.0f;
    r.row[1] = a.row[1] * b;
    r.row[1].w = 0.0f;
    r.row[2] = a.row[2] * b;
    r.row[2].w = 0.0f;
    return r;
}

inline Matrix3 Transpose(const Matrix3& m) {
    Matrix3 t;
    t.row[0] = {m.row[0].x, m.row[1].x, m.row[2].x, 0.0f};
    t.row[1] = {m.row[0].y, m.row[1].y, m.row[2].y, 0.0f};
    t.row[2] = {m.row[0].z, m.row[1].z, m.row[2].z, 0.0f};
    return t;
}

inline float Determinant(const Matrix3& m) {
    return m.At(0, 0) * (m.At(1, 1) * m.At(2, 2) - m.At(1, 2) * m.At(2, 1)) -
           m.At(0, 1) * (m.At(1, 0) * m.At(2, 2) - m.At(1, 2) * m.At(2, 0)) +
           m.At(0, 2) * (m.At(1, 0) * m.At(2, 1) - m.At(1, 1) * m.At(2, 0));
}

// Adjugate over determinant; false (and out untouched) when the matrix is near singular.
inline bool Invert(const Matrix3& m, Matrix3& out) {
    const float det = Determinant(m);
    if (!(std::fabs(det) >= 1e-17f)) {
        return false;
    }
    const float inv = 1.0f / det;
    Matrix3 r = Matrix3::Zero();
    r.At(0, 0) = (m.At(1, 1) * m.At(2, 2) - m.At(1, 2) * m.At(2, 1)) * inv;
    r.At(0, 1) = (m.At(0, 2) * m.At(2, 1) - m.At(0, 1) * m.At(2, 2)) * inv;
    r.At(0, 2) = (m.At(0, 1) * m.At(1, 2) - m.At(0, 2) * m.At(1, 1)) * inv;
    r.At(1, 0) = (m.At(1, 2) * m.At(2, 0) - m.At(1, 0) * m.At(2, 2)) * inv;
    r.At(1, 1) = (m.At(0, 0) * m.At(2, 2) - m.At(0, 2) * m.At(2, 0)) * inv;
    r.At(1, 2) = (m.At(0, 2) * m.At(1, 0) - m.At(0, 0) * m.At(1, 2)) * inv;
    r.At(2, 0) = (m.At(1, 0) * m.At(2, 1) - m.At(1, 1) * m.At(2, 0)) * inv;
    r.At(2, 1) = (m.At(0, 1) * m.At(2, 0) - m.At(0, 0) * m.At(2, 1)) * inv;
    r.At(2, 2) = (m.At(0, 0) * m.At(1, 1) - m.At(0, 1) * m.At(1, 0)) * inv;
    out = r;
    return true;
}

} // namespace Physics
