#pragma once

#include "Physics/Matrix3.h"

#include <cstdint>

namespace Physics {

class Body;
class Geometry;

enum ConstraintRowType : int32_t {
    kCollisionContact = 1,
    kRestingContact = 2,
    kPointJoint = 3,
    kLineJoint = 4,
    kLinearLimit = 5,
    kAngularLimit = 6,
    kFramedAngularLimit = 7,
    kAngularMotor = 8,
    kLinearMotor = 10,
};

// One solver row: a contact, or a joint constraint reusing the same fields.
struct ConstraintRow {
    Vector4 offsetA;
    Vector4 offsetB;
    Vector4 localPointA;
    Vector4 localPointB;
    Vector4 worldPointA;
    Vector4 worldPointB;
    Vector4 tangent1;
    Vector4 tangent2;
    Vector4 normal; // from B towards A
    Matrix3 frame;
    Vector4 relativeVelocity;
    Vector4 frameVelocity;
    int32_t materialA;
    int32_t materialB;
    float depth;
    int32_t found;
    Body* bodyA;
    Body* bodyB;
    float speed;
    float target;
    Geometry* geometryA;
    Geometry* geometryB;
    Matrix3 massMatrix;
    Matrix3 inverseMassMatrix;
    int32_t type;
};

} // namespace Physics
