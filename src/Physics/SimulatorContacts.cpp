// The pair pass: contacts between overlapping bodies and their hand-off to the solver and stacks.
#include "Physics/Simulator.h"

#include "Physics/CollisionDrivers.h"
#include "Physics/SensorCast.h"

#include <cmath>

namespace Physics {

namespace {

// A world vector expressed in a body's frame.
Vector4 IntoFrame(const Vector4& v, const Body& body) {
    const Matrix3 r = body.WorldRotation();
    return {Dot(v, r.row[0]), Dot(v, r.row[1]), Dot(v, r.row[2]), 0.0f};
}

int32_t ReportCode(const Body* body) { return body->kind == kBodyRigid ? 1 : 2; }

} // namespace

void Simulator::FillReport(ContactReport& report, Body* a, Body* b, int32_t codeA, int32_t codeB,
                           const ConstraintRow& row) {
    report.bodyA = a;
    report.bodyB = b;
    report.codeA = codeA;
    report.codeB = codeB;
    report.geometryA = row.geometryA;
    report.geometryB = row.geometryB;
    report.materialA = row.materialA;
    report.materialB = row.materialB;
    report.localPointA = row.localPointA;
    report.localPointB = row.localPointB;
    report.worldPointA = row.worldPointA;
    report.worldPointB = row.worldPointB;
    report.relativeVelocity = row.relativeVelocity;
    report.normal = row.normal;
}

void Simulator::CollidePairs() {
    for (OverlapPair* pair = broadphase_.FirstPair(); pair != nullptr; pair = pair->next) {
        Body* a = pair->bodyA;
        Body* b = pair->bodyB;
        RigidBody* ra = RigidSide(a);
        RigidBody* rb = RigidSide(b);
        if (ra == nullptr && rb == nullptr) {
            continue;
        }
        // Pairs at rest are passed over first: in a sleeping world nearly every pair is one.
        if (ra == nullptr || rb == nullptr) {
            const RigidBody* rigid = ra != nullptr ? ra : rb;
            const auto* animated = static_cast<const AnimatedBody*>(ra != nullptr ? b : a);
            if (rigid->IsAsleep() && rigid->pushedLastTick == 0 && animated->moved == 0) {
                continue;
            }
        } else {
            if (a->jointGroup != nullptr && a->jointGroup == b->jointGroup) {
                continue;
            }
            if (ra->IsAsleep() && rb->IsAsleep() && ra->pushedLastTick == 0 && rb->pushedLastTick == 0) {
                continue;
            }
        }
        const int32_t value = groups_.Get(a->group, b->group);
        if (value == 0) {
            continue;
        }
        // Something on the other side moves: a parked body here may be pushed or woken.
        if (ra != nullptr) {
            ra->Unpark();
        }
        if (rb != nullptr) {
            rb->Unpark();
        }
        // Pairs for a pair callback are never tested; no such callback exists.
        if (a->callbackCollision != 0 || b->callbackCollision != 0) {
            continue;
        }

        const Matrix4 ta = a->GetWorldTransform();
        const Matrix4 tb = b->GetWorldTransform();
        ConstraintRow& row = pairRow_;
        row.relativeVelocity = Vector4();
        CollideGeometryLists(row, *a, ta, *b, tb, b->WorldPosition() - a->WorldPosition());

        if (ra != nullptr && a->sensors.count > 0) {
            CastSensors(a->sensors, ta, *b, tb, b);
        }
        if (rb != nullptr && b->sensors.count > 0) {
            CastSensors(b->sensors, tb, *a, ta, a);
        }

        if (row.found == 0) {
            continue;
        }
        row.type = kCollisionContact;
        row.bodyA = a;
        row.bodyB = b;
        // A contact without a usable direction or depth is reported but never solved.
        if ((value & CollisionGroupMatrix::kCollide) != 0 && IsUsableNormal(row.normal) && std::isfinite(row.depth)) {
            HandleContact(a, b, row);
        }
        if ((value & CollisionGroupMatrix::kReport) != 0 && contactCallback_ != nullptr) {
            FillReport(pairReport_, a, b, ReportCode(a), ReportCode(b), row);
            contactCallback_(&pairReport_);
        }
    }
}

void Simulator::HandleContact(Body* a, Body* b, ConstraintRow& row) {
    RigidBody* ra = RigidSide(a);
    RigidBody* rb = RigidSide(b);
    if ((ra != nullptr || rb != nullptr) && a->SharesJoint(b) &&
        !(a->jointedFlags[0] != 0 && b->jointedFlags[0] != 0)) {
        return;
    }
    if (ra != nullptr && rb != nullptr && rb->isParticle != 0) {
        row.Prepare(false, false);
        ApplyContactImpulse(a, b, row, 1, 1.0f);
        rb->Unpark();
        rb->position -= row.normal * row.depth;
        return;
    }
    Vector4 va;
    Vector4 vb;
    a->GetPointVelocity(va, row.offsetA);
    b->GetPointVelocity(vb, row.offsetB);
    row.relativeVelocity = va - vb;
    row.relativeVelocity.w = 0.0f;

    const float s = Dot(row.normal, gravityDirection_);
    SupportRecord support;
    if (s >= 0.0f) {
        // The normal points down: B lies on top of A.
        if (rb != nullptr) {
            row.Prepare(false, false);
            ApplyContactImpulse(a, b, row, 1, 1.0f);
            support.Set(a, row.localPointB, row.localPointA, IntoFrame(-row.normal, *a), row.materialB, row.materialA);
            support.depth = row.depth;
            rb->AddSupport(support);
        } else if (ra != nullptr) {
            SeparateContact(a, b, row);
            row.Prepare(false, false);
            ApplyContactImpulse(a, b, row, 1, 1.0f);
        }
    } else {
        if (ra != nullptr) {
            row.Prepare(false, false);
            ApplyContactImpulse(a, b, row, 1, 1.0f);
            support.Set(b, row.localPointA, row.localPointB, IntoFrame(row.normal, *b), row.materialA, row.materialB);
            support.depth = row.depth;
            ra->AddSupport(support);
        } else if (rb != nullptr) {
            SeparateContact(a, b, row);
            row.Prepare(false, false);
            ApplyContactImpulse(a, b, row, 1, 1.0f);
        }
    }
}

void Simulator::SeparateContact(Body* a, Body* b, const ConstraintRow& row) {
    if (RigidBody* ra = RigidSide(a)) {
        ra->Unpark();
        ra->position += row.normal * row.depth;
        ra->pushedThisTick = 1;
    } else if (RigidBody* rb = RigidSide(b)) {
        rb->Unpark();
        rb->position -= row.normal * row.depth;
        rb->pushedThisTick = 1;
    }
}

} // namespace Physics
