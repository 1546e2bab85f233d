#pragma once

#include "Physics/ConstraintRow.h"
#include "Physics/Matrix4.h"

namespace Physics {

class Body;
struct ConvexScratch;
class Geometry;

// World transform of a geometry: its local matrix times its body's world transform.
Matrix4 GeometryWorldTransform(const Geometry& geometry, const Matrix4& body);

// The deepest contact between any geometry of A and any geometry of B; the row's found flag tells
// whether there is one. offset = B's position minus A's position.
void CollideGeometryLists(ConstraintRow& row, const Body& a, const Matrix4& transformA, const Body& b,
                          const Matrix4& transformB, const Vector4& offset);

// One shape pair, dispatched by shape types; geometry transforms are world transforms.
// The polyhedron tests work in `scratch` (the Simulator's); without one they use their own.
void CollideGeometries(ConstraintRow& row, const Geometry& a, const Matrix4& worldA, const Geometry& b,
                       const Matrix4& worldB, const Vector4& offset, ConvexScratch* scratch = nullptr);

} // namespace Physics
