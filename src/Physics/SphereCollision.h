#pragma once

#include "Physics/ConstraintRow.h"
#include "Physics/Geometry.h"
#include "Physics/Matrix4.h"
#include "Physics/MeshCollision.h"
#include "Physics/ShapeCollision.h"

namespace Physics {

// Sphere pairs and the single-triangle shape. Each writes worldPointA, worldPointB, the normal
// (from B towards A), depth and found into the row; the row is only written with a contact.
void CollideBoxSphere(ConstraintRow& row, const Geometry& box, const Matrix4& wa, const Geometry& sphere,
                      const Matrix4& wb);
void CollideSphereSphere(ConstraintRow& row, const Geometry& a, const Matrix4& wa, const Geometry& b,
                         const Matrix4& wb);
void CollideCapsuleSphere(ConstraintRow& row, const Geometry& capsule, const Matrix4& wa, const Geometry& sphere,
                          const Matrix4& wb);
// The deepest contact against the mesh's listed triangles of test mode 0, with materialB.
void CollideSphereMesh(ConstraintRow& row, const Geometry& sphere, const Matrix4& wa, const Geometry& mesh);
// The box against a single-triangle geometry; materialB is the triangle geometry's material.
void CollideBoxSingleTriangle(ConstraintRow& row, const Geometry& box, const Matrix4& wa, const Geometry& triangle,
                              const Matrix4& wb);

// Sphere (centre c, radius r) against one triangle, two-sided: face, edge or vertex contact.
bool CollideSphereTriangle(const Vector4& c, float r, PairContact& p, const TriangleFrame& triangle);
void CollideSphereTriangleVertex(const Vector4& c, float r, PairContact& p, const TriangleFrame& triangle, int k);
void CollideSphereTriangleEdge(const Vector4& c, float r, PairContact& p, const TriangleFrame& triangle, int k);

} // namespace Physics
