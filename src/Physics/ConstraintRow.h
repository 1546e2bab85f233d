#pragma once

#include "Physics/Matrix3.h"

#include <cstdint>

namespace Physics {

class Body;
class Geometry;
class RigidBody;
class Simulator;

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

    // Contact frame and mass matrices for the row's kind. A side takes part only when it is a
    // RigidBody and is not treated as static; a side that does not counts as infinitely heavy.
    void Prepare(bool treatAStatic, bool treatBStatic);
    void BuildPointMatrix(const RigidBody* a, const RigidBody* b, bool worldAxes);
    void BuildAngularMatrix(const RigidBody* a, const RigidBody* b);
    void BuildFramedAngularMatrix(const RigidBody* a, const RigidBody* b);
    // True when a slow row of sleeping bodies may be skipped; may drop a sleeping side.
    bool DropSleepingSide();

    void SolveContact(Simulator* simulator);
    void SolvePointJoint(Simulator* simulator);
    void SolveLineJoint(Simulator* simulator);
    void SolveLinearLimit(Simulator* simulator);
    void SolveAngularLimit(Simulator* simulator);
    void SolveFramedAngularLimit(Simulator* simulator);
    void SolveAngularMotor(Simulator* simulator);
    void SolveLinearMotor(Simulator* simulator);
    void ApplyAngularLimit(Simulator* simulator, float error, const Vector4& axis, float rate);
    void ApplyFramedAngularLimit(Simulator* simulator, float error, const Vector4& axis, float rate);
    void ApplyAngularMotor(Simulator* simulator, const Vector4& axisA, const Vector4& axisB, float rate,
                           float targetRate, float limit);
};

// Two unit tangents for a unit normal n: t1 . n = 0 and t2 = n x t1.
void BuildTangentBasis(Vector4& t1, Vector4& t2, const Vector4& n);

} // namespace Physics
