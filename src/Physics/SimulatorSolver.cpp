// The contact response and the iterative row solve of the Simulator.
#include "Physics/Simulator.h"

#include <cmath>

namespace Physics {

namespace {

Vector4 PointVelocity(Body* body, const Vector4& r) {
    if (RigidBody* rigid = RigidSide(body)) {
        return rigid->linearVelocity + Cross(rigid->angularVelocity, r);
    }
    return Vector4();
}

void RefreshContactVelocity(ConstraintRow& row) {
    row.relativeVelocity = PointVelocity(row.bodyA, row.offsetA) - PointVelocity(row.bodyB, row.offsetB);
    row.relativeVelocity.w = 0.0f;
    row.frameVelocity = {Dot(row.relativeVelocity, row.tangent1), Dot(row.relativeVelocity, row.tangent2),
                         Dot(row.relativeVelocity, row.normal), 0.0f};
}

} // namespace

void Simulator::FrictionConeImpulse(Vector4& out, const ConstraintRow& row, bool secondPass) const {
    float frictionA = 0.0f;
    float frictionB = 0.0f;
    float restitutionA = 0.0f;
    float restitutionB = 0.0f;
    GetMaterial(row.materialA, &frictionA, &restitutionA, nullptr);
    GetMaterial(row.materialB, &frictionB, &restitutionB, nullptr);
    const float mu = std::fmin(frictionA, frictionB);
    const float e = secondPass ? 0.0f : std::fmin(restitutionA, restitutionB);

    const float vn = row.frameVelocity.z;
    const Vector4 p = -(row.frameVelocity * row.inverseMassMatrix);
    const float a = -vn / row.massMatrix.At(2, 2);
    const Vector4 bounce{0.0f, 0.0f, (1.0f + e) * a, 0.0f};
    // Without friction the contact gets the plain restitution impulse along its normal.
    if (!(mu > 0.0f)) {
        out = bounce;
        return;
    }
    const Vector4 candidate{p.x, p.y, p.z + e * a, 0.0f};
    if (candidate.x * candidate.x + candidate.y * candidate.y <= (mu * candidate.z) * (mu * candidate.z)) {
        out = candidate;
        return;
    }
    const float d = std::sqrt(p.x * p.x + p.y * p.y) - mu * (p.z - a);
    if (!(std::fabs(d) > 1e-6f)) {
        // No usable slide direction: an approaching contact still bounces.
        out = bounce;
        return;
    }
    const float s = mu * (1.0f + e) * a / d;
    out = {s * p.x, s * p.y, (1.0f + e) * a + s * (p.z - a), 0.0f};
}

void Simulator::ApplyContactImpulse(Body* a, Body* b, ConstraintRow& row, int mode, float scale) {
    RigidBody* ra = RigidSide(a);
    RigidBody* rb = RigidSide(b);
    if (ra == nullptr && rb == nullptr) {
        return;
    }
    RefreshContactVelocity(row);
    const float sq = LengthSquared(row.frameVelocity);
    row.speed = sq < 1e-6f ? 0.0f : std::sqrt(sq);
    if (mode == 2) {
        row.SolveContact(this);
        return;
    }
    if (!(row.frameVelocity.z < 0.0f)) {
        return;
    }
    Vector4 j;
    FrictionConeImpulse(j, row, false);
    if (!IsFinite(j)) {
        return;
    }
    const Vector4 world = (row.tangent1 * j.x + row.tangent2 * j.y + row.normal * j.z) * scale;
    if (breakOffCallback_ == nullptr) {
        if (ra != nullptr) {
            ra->ApplyImpulse(world, row.offsetA);
        }
        if (rb != nullptr) {
            rb->ApplyImpulse(-world, row.offsetB);
        }
        return;
    }
    // Each breakable side first passes its impulse through the break-off test.
    Vector4 onA = world;
    Vector4 onB = -world;
    if (row.geometryA != nullptr && row.geometryA->breakMode != 0) {
        TestBreakOff(a, row.geometryA, row.worldPointA, onA);
    }
    if (row.geometryB != nullptr && row.geometryB->breakMode != 0 && b != nullptr) {
        TestBreakOff(b, row.geometryB, row.worldPointB, onB);
    }
    if (ra != nullptr) {
        ra->ApplyImpulse(onA, row.offsetA);
    }
    if (rb != nullptr) {
        rb->ApplyImpulse(onB, row.offsetB);
    }
}

void Simulator::SolveRow(ConstraintRow& row) {
    switch (row.type) {
    case kRestingContact:
        RefreshContactVelocity(row);
        row.SolveContact(this);
        break;
    case kPointJoint:
        row.relativeVelocity = PointVelocity(row.bodyA, row.offsetA) - PointVelocity(row.bodyB, row.offsetB);
        row.frameVelocity = row.relativeVelocity;
        row.SolvePointJoint(this);
        break;
    case kLineJoint: {
        row.relativeVelocity = PointVelocity(row.bodyA, row.offsetA) - PointVelocity(row.bodyB, row.offsetB);
        const Vector4& axis = row.worldPointB;
        row.frameVelocity = row.relativeVelocity - axis * Dot(axis, row.relativeVelocity);
        row.SolveLineJoint(this);
        break;
    }
    case kLinearLimit: {
        const Vector4 v = PointVelocity(row.bodyA, row.offsetA) - PointVelocity(row.bodyB, row.offsetB);
        row.target = -Dot(row.worldPointB, v);
        row.SolveLinearLimit(this);
        break;
    }
    case kAngularLimit: {
        const RigidBody* a = RigidSide(row.bodyA);
        const RigidBody* b = RigidSide(row.bodyB);
        row.speed = (a != nullptr ? Dot(row.localPointB, a->angularVelocity) : 0.0f) -
                    (b != nullptr ? Dot(row.localPointB, b->angularVelocity) : 0.0f);
        row.SolveAngularLimit(this);
        break;
    }
    case kFramedAngularLimit: row.SolveFramedAngularLimit(this); break;
    case kAngularMotor: row.SolveAngularMotor(this); break;
    case kLinearMotor: row.SolveLinearMotor(this); break;
    default: break;
    }
}

void Simulator::SolveRows(float /*tolerance*/, int iterations) {
    secondPass_ = 0;
    if (jointRows_.Size() == 0 && contactRows_.Size() == 0) {
        return;
    }
    if (iterations == -1) {
        iterations = 4;
    }
    lastIteration_ = 0;
    for (int pass = 1; pass <= 2; ++pass) {
        secondPass_ = pass == 2 ? 1 : 0;
        for (int i = 0; i < iterations; ++i) {
            if (pass == 2 && i == iterations - 1) {
                lastIteration_ = 1;
            }
            for (int r = 0; r < jointRows_.Size(); ++r) {
                SolveRow(jointRows_[r]);
            }
            // Rows run from the supports upwards, so the top of a stack goes first.
            for (int r = contactRows_.Size() - 1; r >= 0; --r) {
                SolveRow(contactRows_[r]);
            }
            for (int g = 0; g < scratchGroups_.Size(); ++g) {
                scratchGroups_[g]->ClearSolveMarks();
            }
            solveGroup_.ClearSolveMarks();
            if (pass == 2 && i == iterations - 2) {
                for (int r = 0; r < contactRows_.Size(); ++r) {
                    // A row whose B is not a RigidBody already counts B as immovable.
                    ConstraintRow& row = contactRows_[r];
                    if (row.type == kRestingContact && RigidSide(row.bodyB) != nullptr) {
                        // Prepare(false, true) without rebuilding the tangent frame: the normal
                        // is the one the row was prepared with, so the frame would come out the same.
                        row.BuildPointMatrix(RigidSide(row.bodyA), nullptr, false);
                    }
                }
            }
        }
    }
    jointRows_.Clear();
    contactRows_.Clear();
}

bool Simulator::AppendContactRow(const ConstraintRow& row) { return contactRows_.Append(row); }

bool Simulator::AppendJointRow(const ConstraintRow& row) { return jointRows_.Append(row); }

} // namespace Physics
