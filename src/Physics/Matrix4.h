#pragma once

#include "Physics/Matrix3.h"

namespace Physics {

// Rotation rows first, translation as the fourth row (w = 1); points transform as p · M.
struct Matrix4 {
    Vector4 row[4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};

    static Matrix4 Identity() { return Matrix4(); }
    static Matrix4 FromRotationAndPosition(const Matrix3& r, const Vector4& p) {
        Matrix4 m;
        for (int i = 0; i < 3; ++i) {
            m.row[i] = r.row[i];
            m.row[i].w = 0.0f;
        }
        m.row[3] = {p.x, p.y, p.z, 1.0f};
        return m;
    }
    Matrix3 Rotation() const {
        Matrix3 r;
        r.row[0] = row[0];
        r.row[1] = row[1];
        r.row[2] = row[2];
        return r;
    }
    Vector4 Translation() const { return row[3]; }
};

// Point transform: p · R + t.
inline Vector4 TransformPoint(const Vector4& p, const Matrix4& m) {
    Vector4 r = p * m.Rotation() + m.row[3];
    r.w = p.w;
    return r;
}

// A frame given in a parent's frame, placed in the world: local · world.
inline Matrix4 ComposeFrames(const Matrix4& local, const Matrix4& world) {
    const Matrix3 r = world.Rotation();
    Matrix4 out;
    for (int i = 0; i < 3; ++i) {
        out.row[i] = local.row[i] * r;
        out.row[i].w = 0.0f;
    }
    out.row[3] = local.row[3] * r + world.row[3];
    out.row[3].w = 1.0f;
    return out;
}

} // namespace Physics
