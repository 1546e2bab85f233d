#pragma once

#include "Physics/ConstraintRow.h"
#include "Physics/Geometry.h"
#include "Physics/Matrix4.h"
#include "Physics/ShapeCollision.h"

#include <cstdint>

namespace Physics {

// One triangle of a mesh in working form, built once and shared by every axis test.
struct TriangleFrame {
    Vector4 p[3];
    Vector4 e[3]; // e[k] runs from p[k] to p[k + 1]
    Vector4 n;    // unit normal of e0 x e1, zero for a degenerate triangle
    float d = 0.0f;
    int32_t material = 0;
    int32_t testMode = 0;

    void Set(const Vector4& p0, const Vector4& p1, const Vector4& p2);
    // False when the index lies outside the mesh's table or names a negative vertex: such a
    // triangle is never read.
    bool Build(const Geometry& mesh, int32_t triangleIndex);
    bool IsDegenerate() const { return n.x == 0.0f && n.y == 0.0f && n.z == 0.0f; }
};

// A triangle frame with its axis-aligned box, prepared once for all the rays of one body.
struct PreparedTriangle {
    TriangleFrame frame;
    float lo[3] = {0.0f, 0.0f, 0.0f};
    float hi[3] = {0.0f, 0.0f, 0.0f};

    void Prepare(const TriangleFrame& triangle);
};

// Calls f with each listed triangle of a mesh in working form, in list order, skipping
// unreadable ones; the prepared static-world triangles when the pass has them, so every shape
// test reads the same values either way.
template <class F>
void ForEachTriangle(const Geometry& mesh, F&& f) {
    if (mesh.meshPreparedList != nullptr) {
        for (int32_t k = 0; k < mesh.meshPreparedCount; ++k) {
            f(mesh.meshPreparedList[k]->frame);
        }
        return;
    }
    if (mesh.meshPrepared != nullptr) {
        for (int32_t k = 0; k < mesh.meshPreparedCount; ++k) {
            f(mesh.meshPrepared[k].frame);
        }
        return;
    }
    if (mesh.meshIndexes == nullptr) {
        return;
    }
    for (int32_t k = 0; k < mesh.meshIndexCount; ++k) {
        TriangleFrame triangle;
        if (triangle.Build(mesh, mesh.meshIndexes[k])) {
            f(triangle);
        }
    }
}

// A ray o + t·d against one triangle, as the mesh ray test makes it: true when the ray crosses
// the triangle's plane at 0 <= t <= 1 inside the triangle (edges included), with t, the point
// and d · n.
bool RayMeetsTriangle(const TriangleFrame& triangle, const Vector4& o, const Vector4& d, float& t, Vector4& point,
                      float& denominator);

// The triangle of the mesh's table at triangleIndex, when it can be read safely.
const CollisionTriangle* MeshTriangle(const Geometry& mesh, int32_t triangleIndex);

// The deepest contact of a box or capsule (A) against the listed triangles of a mesh (B); the row
// gets the winning triangle's material as material B.
void CollideBoxMesh(ConstraintRow& row, const Geometry& box, const Matrix4& worldA, const Geometry& mesh);
void CollideCapsuleMesh(ConstraintRow& row, const Geometry& capsule, const Matrix4& worldA, const Geometry& mesh);

bool CollideBoxTriangle(BoxFrame& box, PairContact& r, const TriangleFrame& triangle);
// The same with caller-held scratch records for the face and edge candidates.
bool CollideBoxTriangle(BoxFrame& box, PairContact& r, const TriangleFrame& triangle, PairContact& t, PairContact& e);
bool CollideBoxCornersTriangle(BoxFrame& box, PairContact& r, const TriangleFrame& triangle);
bool TestBoxAxisTriangle(PairContact& t, const BoxFrame& box, const TriangleFrame& triangle, int i);
bool TestBoxEdgeTriangleEdge(PairContact& e, const BoxFrame& box, const TriangleFrame& triangle, int i, int j);

bool CollideCapsuleTriangle(const Geometry& capsule, const Matrix4& world, PairContact& r,
                            const TriangleFrame& triangle);
// 0 when the capsule cannot touch the triangle at all; a face contact sets r.found.
int CollideCapsuleTriangleFace(const Geometry& capsule, const Matrix4& world, PairContact& r,
                               const TriangleFrame& triangle);
void CollideCapsuleTriangleEdge(const Geometry& capsule, const Matrix4& world, PairContact& r,
                                const TriangleFrame& triangle, int k);

// -1 inside; otherwise 2k for the region of vertex k and 2k + 1 for the region of edge k.
int TriangleContainsPoint(const TriangleFrame& triangle, const Vector4& q);

} // namespace Physics
