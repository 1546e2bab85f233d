#include "Physics/ConstraintRow.h"

#include "Physics/AnimatedBody.h"
#include "Physics/RigidBody.h"
#include "Physics/Simulator.h"

#include <cmath>

namespace Physics {

namespace {

constexpr float kContactSlop = 0.001f;
constexpr float kContactCorrectionRate = 0.5f;
constexpr float kJointCorrectionRate = 0.5f;
constexpr float kContactDepthCap = 0.05f;
constexpr float kJointErrorCap = 0.05f;
constexpr float kAngularErrorCap = 0.1f;

Matrix3 Add(const Matrix3& a, const Matrix3& b) {
    Matrix3 m = Matrix3::Zero();
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            m.At(r, c) = a.At(r, c) + b.At(r, c);
        }
    }
    return m;
}

// M applied to v; every matrix it is used with is symmetric, so the side does not matter.
Vector4 Apply(const Matrix3& m, const Vector4& v) { return v * m; }

void PushLinear(Body* body, const Vector4& j, const Vector4& r) {
    if (RigidBody* rigid = RigidSide(body)) {
        rigid->ApplyImpulse(j, r);
    }
}

void PushAngular(Body* body, const Vector4& dL) {
    if (RigidBody* rigid = RigidSide(body)) {
        rigid->StoreAngularMomentum(rigid->angularMomentum + dL);
    }
}

// The joint error term shared by point and line joints.
Vector4 PointBias(const Vector4& error, float errorLength, const Vector4& velocity, float inverseDt) {
    if (!(errorLength >= 1e-6f)) {
        return velocity;
    }
    Vector4 e = error * kJointCorrectionRate;
    if (kJointCorrectionRate * errorLength > kJointErrorCap) {
        e = error * (kJointErrorCap / (kJointCorrectionRate * errorLength));
    }
    return velocity * 0.5f + e * inverseDt;
}

} // namespace

void BuildTangentBasis(Vector4& t1, Vector4& t2, const Vector4& n) {
    const float ax = std::fabs(n.x);
    const float ay = std::fabs(n.y);
    const float az = std::fabs(n.z);
    Vector4 t{1.0f, 1.0f, 1.0f, 0.0f};
    if (ax <= ay) {
        if (az < ay) {
            t.y = -(n.z + n.x) / n.y;
        } else {
            t.z = -(n.x + n.y) / n.z;
        }
    } else if (az < ax) {
        t.x = -(n.y + n.z) / n.x;
    } else {
        t.z = -(n.x + n.y) / n.z;
    }
    const float sq = LengthSquared(t);
    if (!(sq >= 1e-6f) || !std::isfinite(sq)) {
        t1 = Vector4();
    } else {
        t1 = t * (1.0f / std::sqrt(sq));
    }
    t2 = Cross(n, t1);
}

void ConstraintRow::Prepare(bool treatAStatic, bool treatBStatic) {
    const RigidBody* a = treatAStatic ? nullptr : RigidSide(bodyA);
    const RigidBody* b = treatBStatic ? nullptr : RigidSide(bodyB);
    switch (type) {
    case kCollisionContact:
    case kRestingContact:
        BuildTangentBasis(tangent1, tangent2, normal);
        for (int i = 0; i < 3; ++i) {
            frame.At(i, 0) = tangent1[i];
            frame.At(i, 1) = tangent2[i];
            frame.At(i, 2) = normal[i];
        }
        BuildPointMatrix(a, b, false);
        break;
    case kPointJoint:
    case kLineJoint:
    case kLinearLimit: BuildPointMatrix(a, b, true); break;
    case kAngularLimit:
    case kAngularMotor: BuildAngularMatrix(a, b); break;
    case kFramedAngularLimit: BuildFramedAngularMatrix(a, b); break;
    case kLinearMotor: {
        const float sum = (a != nullptr ? a->inverseMass : 0.0f) + (b != nullptr ? b->inverseMass : 0.0f);
        if (sum > 0.0f) {
            inverseMassMatrix.At(0, 0) = 1.0f / sum;
        }
        break;
    }
    default: break;
    }
}

void ConstraintRow::BuildPointMatrix(const RigidBody* a, const RigidBody* b, bool worldAxes) {
    // K = (mA⁻¹ + mB⁻¹) 1 - [rA]x IA⁻¹ [rA]x - [rB]x IB⁻¹ [rB]x. With u_i the columns of [r]x,
    // entry (i, j) of -[r]x I⁻¹ [r]x is u_i . I⁻¹ u_j: symmetric, so only the upper half is
    // computed. The terms are summed in world axes; expressing r and I⁻¹ in the contact frame F
    // gives Fᵀ (sum) F, applied once.
    const float m = (a != nullptr ? a->inverseMass : 0.0f) + (b != nullptr ? b->inverseMass : 0.0f);
    float k[3][3] = {{0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}};
    const RigidBody* sides[2] = {a, b};
    const Vector4* offsets[2] = {&offsetA, &offsetB};
    for (int s = 0; s < 2; ++s) {
        if (sides[s] == nullptr) {
            continue;
        }
        const Matrix3& w = sides[s]->worldInverseInertia;
        const float i00 = w.row[0].x, i01 = w.row[0].y, i02 = w.row[0].z;
        const float i11 = w.row[1].y, i12 = w.row[1].z, i22 = w.row[2].z;
        const float rx = offsets[s]->x;
        const float ry = offsets[s]->y;
        const float rz = offsets[s]->z;
        // I⁻¹ u_j for u_0 = (0, rz, -ry), u_1 = (-rz, 0, rx), u_2 = (ry, -rx, 0); the parts that
        // meet a zero of u_i are left out.
        const float v0y = i11 * rz - i12 * ry, v0z = i12 * rz - i22 * ry;
        const float v1x = i02 * rx - i00 * rz, v1y = i12 * rx - i01 * rz, v1z = i22 * rx - i02 * rz;
        const float v2x = i00 * ry - i01 * rx, v2y = i01 * ry - i11 * rx, v2z = i02 * ry - i12 * rx;
        k[0][0] += rz * v0y - ry * v0z;
        k[0][1] += rz * v1y - ry * v1z;
        k[0][2] += rz * v2y - ry * v2z;
        k[1][1] += rx * v1z - rz * v1x;
        k[1][2] += rx * v2z - rz * v2x;
        k[2][2] += ry * v2x - rx * v2y;
    }
    k[1][0] = k[0][1];
    k[2][0] = k[0][2];
    k[2][1] = k[1][2];
    float e[3][3];
    if (worldAxes) {
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) {
                e[i][j] = k[i][j];
            }
        }
    } else {
        const Vector4 f[3] = {tangent1, tangent2, normal};
        float kf[3][3]; // column j: K f_j
        // Written out: the loops are short and hot, and each entry keeps its own sum order.
        const auto column = [&k, &kf](int j, const Vector4& v) {
            kf[0][j] = k[0][0] * v.x + k[0][1] * v.y + k[0][2] * v.z;
            kf[1][j] = k[1][0] * v.x + k[1][1] * v.y + k[1][2] * v.z;
            kf[2][j] = k[2][0] * v.x + k[2][1] * v.y + k[2][2] * v.z;
        };
        column(0, f[0]);
        column(1, f[1]);
        column(2, f[2]);
        const auto entry = [&kf, &f](int i, int j) {
            return f[i].x * kf[0][j] + f[i].y * kf[1][j] + f[i].z * kf[2][j];
        };
        e[0][0] = entry(0, 0);
        e[0][1] = e[1][0] = entry(0, 1);
        e[0][2] = e[2][0] = entry(0, 2);
        e[1][1] = entry(1, 1);
        e[1][2] = e[2][1] = entry(1, 2);
        e[2][2] = entry(2, 2);
    }
    for (int i = 0; i < 3; ++i) {
        e[i][i] += m;
        massMatrix.row[i] = {e[i][0], e[i][1], e[i][2], 0.0f};
    }
    // Inverse by cofactors; a singular matrix keeps the previous inverse.
    const float c00 = e[1][1] * e[2][2] - e[1][2] * e[2][1];
    const float c01 = e[1][2] * e[2][0] - e[1][0] * e[2][2];
    const float c02 = e[1][0] * e[2][1] - e[1][1] * e[2][0];
    const float det = e[0][0] * c00 + e[0][1] * c01 + e[0][2] * c02;
    if (!(std::fabs(det) >= 1e-17f)) {
        return;
    }
    const float inv = 1.0f / det;
    inverseMassMatrix.row[0] = {c00 * inv, (e[0][2] * e[2][1] - e[0][1] * e[2][2]) * inv,
                                (e[0][1] * e[1][2] - e[0][2] * e[1][1]) * inv, 0.0f};
    inverseMassMatrix.row[1] = {c01 * inv, (e[0][0] * e[2][2] - e[0][2] * e[2][0]) * inv,
                                (e[0][2] * e[1][0] - e[0][0] * e[1][2]) * inv, 0.0f};
    inverseMassMatrix.row[2] = {c02 * inv, (e[0][1] * e[2][0] - e[0][0] * e[2][1]) * inv,
                                (e[0][0] * e[1][1] - e[0][1] * e[1][0]) * inv, 0.0f};
}

void ConstraintRow::BuildAngularMatrix(const RigidBody* a, const RigidBody* b) {
    Matrix3 k = Matrix3::Zero();
    if (a != nullptr) {
        k = Add(k, a->worldInverseInertia);
    }
    if (b != nullptr) {
        k = Add(k, b->worldInverseInertia);
    }
    massMatrix = k;
    Invert(k, inverseMassMatrix);
}

void ConstraintRow::BuildFramedAngularMatrix(const RigidBody* a, const RigidBody* /*b*/) {
    // B's rotation as stored, whatever B's kind; B's inertia only when it takes part. The world
    // as B stands unturned and immovable: its rotation is the identity and it adds nothing (left
    // out, the row kept a unit inverse and threw a light body about).
    const Matrix3 t = bodyB != nullptr ? massMatrix * bodyB->WorldRotation() : massMatrix;
    Matrix3 k = Matrix3::Zero();
    if (a != nullptr) {
        k = Transpose(t) * a->worldInverseInertia * t;
    }
    if (const RigidBody* rb = RigidSide(bodyB)) {
        k = Add(k, rb->worldInverseInertia);
    }
    Invert(k, inverseMassMatrix);
}

bool ConstraintRow::DropSleepingSide() {
    if (speed > 1.0f) {
        return false;
    }
    RigidBody* a = RigidSide(bodyA);
    RigidBody* b = RigidSide(bodyB);
    if (a != nullptr && a->IsAsleep()) {
        if (b == nullptr || b->IsAsleep()) {
            return true;
        }
        bodyA = nullptr;
        return false;
    }
    if (b != nullptr && b->IsAsleep() && a != nullptr) {
        bodyB = nullptr;
    }
    return false;
}

void ConstraintRow::SolveContact(Simulator* simulator) {
    Vector4 j;
    if (frameVelocity.z < 0.0f) {
        simulator->FrictionConeImpulse(j, *this, simulator->IsSecondPass());
        frameVelocity.z = 0.0f;
    }
    if (depth > kContactDepthCap) {
        depth = kContactDepthCap;
    }
    const float excess = depth - kContactSlop * simulator->GetGravityLength();
    if (simulator->IsSecondPass() && depth > 0.0f && excess > 0.0f) {
        const float goal = kContactCorrectionRate * simulator->GetInverseSubStep() * excess;
        const float vn = frameVelocity.z;
        if (goal > vn) {
            const float c = goal - 0.5f * vn;
            j += Vector4{inverseMassMatrix.At(0, 2), inverseMassMatrix.At(1, 2), inverseMassMatrix.At(2, 2), 0.0f} * c;
        }
    }
    // A row fed non-finite velocities from outside must not carry them into its bodies.
    if (!IsFinite(j)) {
        return;
    }
    const Vector4 world = tangent1 * j.x + tangent2 * j.y + normal * j.z;
    PushLinear(bodyA, world, offsetA);
    if (!simulator->IsLastIteration()) {
        PushLinear(bodyB, -world, offsetB);
    }
}

void ConstraintRow::SolvePointJoint(Simulator* simulator) {
    const Vector4 bias = PointBias(worldPointA, depth, frameVelocity, simulator->GetInverseSubStep());
    const Vector4 j = -Apply(inverseMassMatrix, bias);
    if (!IsFinite(j)) {
        return;
    }
    PushLinear(bodyA, j, offsetA);
    PushLinear(bodyB, -j, offsetB);
}

void ConstraintRow::SolveLineJoint(Simulator* simulator) {
    const Vector4 bias = PointBias(worldPointA, target, frameVelocity, simulator->GetInverseSubStep());
    Vector4 j = -Apply(inverseMassMatrix, bias);
    const Vector4& axis = worldPointB;
    j -= axis * Dot(axis, j);
    if (!IsFinite(j)) {
        return;
    }
    PushLinear(bodyA, j, offsetA);
    PushLinear(bodyB, -j, offsetB);
}

void ConstraintRow::SolveLinearLimit(Simulator* simulator) {
    const float goal = kJointCorrectionRate * depth * simulator->GetInverseSubStep();
    if (!(target < goal)) {
        return;
    }
    const float c = goal - 0.5f * target;
    const Vector4 j = -Apply(inverseMassMatrix, worldPointB * c);
    if (!IsFinite(j)) {
        return;
    }
    PushLinear(bodyA, j, offsetA);
    if (!simulator->IsLastIteration()) {
        PushLinear(bodyB, -j, offsetB);
    }
}

void ConstraintRow::ApplyAngularLimit(Simulator* simulator, float error, const Vector4& axis, float rate) {
    if (error == 0.0f) {
        return;
    }
    if ((error > 0.0f && !(rate > 0.0f)) || (error < 0.0f && !(rate < 0.0f))) {
        return;
    }
    const float c = -kJointCorrectionRate * error * simulator->GetInverseSubStep() - 0.5f * rate;
    const Vector4 dL = Apply(inverseMassMatrix, axis * c);
    if (!IsFinite(dL)) {
        return;
    }
    PushAngular(bodyA, dL);
    PushAngular(bodyB, -dL);
}

void ConstraintRow::SolveAngularLimit(Simulator* simulator) { ApplyAngularLimit(simulator, depth, localPointB, speed); }

void ConstraintRow::ApplyFramedAngularLimit(Simulator* simulator, float error, const Vector4& axis, float rate) {
    const float e = std::fmin(std::fmax(0.5f * error, -kAngularErrorCap), kAngularErrorCap);
    if ((e > 0.0f && !(rate > 0.0f)) || (!(e > 0.0f) && !(rate < 0.0f))) {
        return;
    }
    const float c = -e * simulator->GetInverseSubStep() - 0.5f * rate;
    const Vector4 i = Apply(inverseMassMatrix, axis * c);
    // The frame F rides in massMatrix: component r of F i is row r of F dotted with i.
    const Vector4 fi{Dot(massMatrix.row[0], i), Dot(massMatrix.row[1], i), Dot(massMatrix.row[2], i), 0.0f};
    if (!IsFinite(i) || !IsFinite(fi)) {
        return;
    }
    PushAngular(bodyA, fi);
    PushAngular(bodyB, -i);
}

void ConstraintRow::SolveFramedAngularLimit(Simulator* simulator) {
    const RigidBody* a = RigidSide(bodyA);
    const RigidBody* b = RigidSide(bodyB);
    const float rate = (a != nullptr ? Dot(localPointA, a->angularVelocity) : 0.0f) -
                       (b != nullptr ? Dot(localPointB, b->angularVelocity) : 0.0f);
    ApplyFramedAngularLimit(simulator, depth, localPointB, rate);
}

void ConstraintRow::ApplyAngularMotor(Simulator* simulator, const Vector4& axisA, const Vector4& axisB, float rate,
                                      float targetRate, float limit) {
    const float dt = simulator->GetSubStep();
    const float d = targetRate - rate;

    Vector4 dLA = Apply(inverseMassMatrix, axisA * d);
    Vector4 torque = dLA * simulator->GetInverseSubStep();
    float size = Length(torque);
    if (size > limit && std::fabs(limit) >= 1e-6f) {
        dLA = torque * (limit * dt / size);
    }
    Vector4 dLB = Apply(inverseMassMatrix, axisB * d);
    torque = dLB * simulator->GetInverseSubStep();
    size = Length(torque);
    if (size > limit) {
        dLB = torque * (limit * dt / size);
    }
    if (IsFinite(dLA)) {
        PushAngular(bodyA, dLA);
    }
    if (IsFinite(dLB)) {
        PushAngular(bodyB, -dLB);
    }
}

void ConstraintRow::SolveAngularMotor(Simulator* simulator) {
    const RigidBody* a = RigidSide(bodyA);
    const RigidBody* b = RigidSide(bodyB);
    const float rate = (a != nullptr ? Dot(localPointA, a->angularVelocity) : 0.0f) -
                       (b != nullptr ? Dot(localPointB, b->angularVelocity) : 0.0f);
    ApplyAngularMotor(simulator, localPointA, localPointB, rate, target, depth);
}

void ConstraintRow::SolveLinearMotor(Simulator* simulator) {
    RigidBody* a = RigidSide(bodyA);
    RigidBody* b = RigidSide(bodyB);
    const Vector4& axis = localPointA;
    const float rate =
        (a != nullptr ? Dot(axis, a->linearVelocity) : 0.0f) - (b != nullptr ? Dot(axis, b->linearVelocity) : 0.0f);
    float lambda = (target - rate) * inverseMassMatrix.At(0, 0);
    const float bound = depth * simulator->GetSubStep();
    lambda = std::fmin(std::fmax(lambda, -bound), bound);
    if (!std::isfinite(lambda)) {
        return;
    }
    if (a != nullptr) {
        a->Unpark();
        a->linearVelocity += axis * (lambda * a->inverseMass);
    }
    if (b != nullptr) {
        b->Unpark();
        b->linearVelocity -= axis * (lambda * b->inverseMass);
    }
}

} // namespace Physics
