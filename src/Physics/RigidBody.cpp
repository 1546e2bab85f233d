#include "Physics/RigidBody.h"

#include "Physics/ContactStack.h"
#include "Physics/Joint.h"
#include "Physics/Quaternion.h"
#include "Physics/Simulator.h"

#include <cmath>
#include <cstring>

namespace Physics {

void RigidBody::Reset() {
    RigidBody* keepNext = next;
    RigidBody* keepPrev = prev;
    const uint8_t keepInUse = inUse;
    Simulator* keepSimulator = simulator;
    const int32_t keepId = id;
    *this = RigidBody();
    next = keepNext;
    prev = keepPrev;
    inUse = keepInUse;
    simulator = keepSimulator;
    id = keepId;
    ResetCommon();
    kind = kBodyRigid;
}

void RigidBody::UnparkFromTick() { simulator->Unpark(this); }

bool RigidBody::CanPark() const {
    const auto zero = [](const Vector4& v) {
        static const Vector4 kZero{};
        return std::memcmp(&v, &kZero, sizeof(v)) == 0;
    };
    const float zeroSpeed = 0.0f;
    if (sleepState != kAsleep || pushedThisTick != 0 || pushedLastTick != 0 || stepped != 1 || ratePending != 0 ||
        historyClear == 0 || linearCorrectionCount != 0 || angularCorrectionCount != 0 || sensors.count != 0 ||
        controllers.head != nullptr || jointGroup != nullptr || jointCount != 0 ||
        std::memcmp(&speed, &zeroSpeed, sizeof(speed)) != 0) {
        return false;
    }
    if (HasWorldBox() && !WorldBoxCurrent()) {
        return false;
    }
    // What the passes over a sleeping body set to zero is zero already, bit for bit.
    if (!zero(forceSum) || !zero(torqueSum) || !zero(linearCorrectionSum) || !zero(angularCorrectionSum) ||
        !zero(gravityForce) || !zero(controllerForceSum) || !zero(controllerTorqueSum) || !zero(linearVelocity) ||
        !zero(angularVelocity) || !zero(quaternionRate) || !zero(angularMomentum)) {
        return false;
    }
    if (AnyComponentAtLeast(storedForce, 1e-6f) || AnyComponentAtLeast(storedTorque, 1e-6f) || IsMoving()) {
        return false;
    }
    // The stack pass would wake a sleeping body with fewer than two supports, and look again at
    // any on a body that is not at rest.
    if (stackNode != nullptr && stackNode->supportOnly == 0) {
        int count = 0;
        for (const SupportRecord& r : supports) {
            if (r.InUse()) {
                if (!r.IsSupportResting()) {
                    return false;
                }
                ++count;
            }
        }
        if (count < 2) {
            return false;
        }
    }
    return true;
}

void RigidBody::SetMass(float m) {
    Unpark();
    // A zero, negative or non-finite mass would turn every later force step into NaN.
    if (!(m > 0.0f) || !std::isfinite(m)) {
        return;
    }
    mass = m;
    inverseMass = 1.0f / m;
}

void RigidBody::SetInertia(const Vector4& d) {
    Unpark();
    inertia = Matrix3::Diagonal(d.x, d.y, d.z);
    Invert(inertia, inverseInertia);
}

void RigidBody::SetLinearDamping(float d) {
    Unpark();
    linearDamping = std::fabs(d);
}

void RigidBody::SetAngularDamping(float d) {
    Unpark();
    angularDamping = std::fabs(d);
}

void RigidBody::SetPosition(const Vector4& p) {
    Unpark();
    position = p;
    Wake();
}

void RigidBody::SetOrientation(const Vector4& q) {
    Unpark();
    SettleRate();
    orientation = q;
    rotation = QuatToRows(q);
    Wake();
}

void RigidBody::GetMatrix(Matrix4& out) const { out = Matrix4::FromRotationAndPosition(rotation, position); }

void RigidBody::SetLinearVelocity(const Vector4& v) {
    linearVelocity = v;
    WakeGroup();
}

void RigidBody::SetAngularMomentum(const Vector4& L) {
    StoreAngularMomentum(L);
    SettleRate();
    WakeGroup();
}

void RigidBody::SetForceAtPoint(const Vector4& f, const Vector4& p) {
    Unpark();
    storedForce = f;
    storedTorque = Cross(p - position, f);
    if (AnyComponentAtLeast(f, 1e-6f)) {
        Wake();
    }
}

void RigidBody::SetTorque(const Vector4& t) {
    Unpark();
    storedTorque = t;
    if (AnyComponentAtLeast(t, 1e-6f)) {
        Wake();
    }
}

void RigidBody::ApplyImpulseAtPoint(const Vector4& j, const Vector4& p) {
    linearVelocity += j * inverseMass;
    StoreAngularMomentum(angularMomentum + Cross(p - position, j));
    SettleRate();
    Wake();
}

Controller* RigidBody::CreateController(ControllerCallback* callback, int32_t period) {
    Unpark();
    Controller* c = simulator->ControllerPool().Take();
    if (c == nullptr) {
        simulator->ReportMessage("Run out of Controllers. Increase 'constraintSetsCount'.\n");
        return nullptr;
    }
    c->period = period;
    c->countdown = period;
    c->callback = callback;
    c->jointCallback = nullptr;
    c->joint = nullptr;
    c->body = this;
    c->force = Vector4();
    c->torque = Vector4();
    c->forceB = Vector4();
    c->torqueB = Vector4();
    controllers.Append(c);
    return c;
}

void RigidBody::IntegrateVelocity(float dt) {
    ++stepsSinceWake;
    linearCorrectionSum = Vector4();
    linearCorrectionCount = 0;
    angularCorrectionSum = Vector4();
    angularCorrectionCount = 0;

    if (sleepState == kAsleep) {
        // A controller's push wakes the body as a stored force does; otherwise a car resting
        // asleep could never drive off.
        if (AnyComponentAtLeast(storedForce, 1e-6f) || AnyComponentAtLeast(storedTorque, 1e-6f) ||
            AnyComponentAtLeast(controllerForceSum, 1e-6f) || AnyComponentAtLeast(controllerTorqueSum, 1e-6f)) {
            Wake();
        }
        if (sleepState == kAsleep && KeepAsleep() != 0) {
            return;
        }
    }

    forceSum += storedForce + gravityForce + controllerForceSum;
    acceleration = forceSum * inverseMass;
    linearVelocity += acceleration * dt;
    linearVelocity *= 1.0f - linearDamping;

    torqueSum += storedTorque + controllerTorqueSum;
    IntegrateAngular(torqueSum, dt);
}

void RigidBody::IntegrateAngular(const Vector4& t, float dt) {
    SettleRate();
    angularMomentum *= 1.0f - angularDamping;
    const Vector4 qm = QuatNormalize(QuatAdd(orientation, QuatScale(quaternionRate, dt * 0.5f)));
    const Vector4 lm = angularMomentum + t * (dt * 0.5f);
    const Matrix3 rm = QuatToRows(qm);
    const Matrix3 wm = Transpose(rm) * inverseInertia * rm;
    const Vector4 omega = lm * wm;
    quaternionRate = QuatRate(omega, qm);
    ratePending = 0;
    angularVelocity = omega;
    angularMomentum += t * dt;
}

void RigidBody::IntegratePosition(float dt) {
    const Vector4 moved = position + linearVelocity * dt + acceleration * (0.5f * dt * dt);
    smoothedDisplacement = smoothedDisplacement * 0.7f + (moved - position) * 0.3f;
    position = moved;

    StoreAngularMomentum(angularMomentum);
    SettleRate();
    orientation = QuatAdd(orientation, QuatScale(quaternionRate, dt));
    UpdateDerivedState();

    GatherForces();
    if (sensors.count > 0) {
        ClearSensorHits();
    }
    const int k = simulator->GetStepCount() % kHistoryLength;
    velocityHistory[k] = linearVelocity;
    angularVelocityHistory[k] = angularVelocity;
    historyClear = 0;
}

void RigidBody::UpdateDerivedState() {
    orientation = QuatNormalize(orientation);
    rotation = QuatToRows(orientation);
    worldInverseInertia = Transpose(rotation) * inverseInertia * rotation;
    angularVelocity = angularMomentum * worldInverseInertia;
    quaternionRate = QuatRate(angularVelocity, orientation);
    ratePending = 0;
    const float sq = LengthSquared(linearVelocity);
    speed = sq < 1e-6f ? 0.0f : std::sqrt(sq);
}

void RigidBody::StoreAngularMomentum(const Vector4& L) {
    Unpark();
    angularMomentum = L;
    angularVelocity = L * worldInverseInertia;
    ratePending = 1;
}

void RigidBody::GatherForces() {
    gravityForce = (gravityEnabled != 0 && sleepState == kAwake) ? simulator->GetGravity() * mass : Vector4();
    controllerForceSum = Vector4();
    controllerTorqueSum = Vector4();
    for (Controller* c = controllers.head; c != nullptr; c = c->next) {
        if (c->countdown == 0) {
            if (c->callback != nullptr) {
                c->callback->OnTick(c, simulator->GetSubStep());
            }
            c->countdown = c->period;
        } else {
            --c->countdown;
        }
        controllerForceSum += c->force;
        controllerTorqueSum += c->torque;
    }
}

void RigidBody::Wake() {
    // Bodies resting on this one were parked on its rest.
    if (sleepState == kAsleep) {
        UnparkSupported();
    }
    sleepState = kAwake;
    restCounter = 0;
    TakeWakeSnapshot();
}

void RigidBody::TakeWakeSnapshot() {
    Unpark();
    snapshotPosition = position;
    snapshotOrientation = orientation;
    snapshotLinearVelocity = linearVelocity;
    snapshotAngularVelocity = angularVelocity;
    stepsSinceWake = 0;
}

void RigidBody::Sleep() {
    Unpark();
    sleepState = kAsleep;
    ClearMotion();
}

void RigidBody::ClearMotion() {
    linearVelocity = Vector4();
    angularVelocity = Vector4();
    quaternionRate = Vector4();
    ratePending = 0;
    speed = 0.0f;
    angularMomentum = Vector4();
    if (historyClear == 0) {
        for (int i = 0; i < kHistoryLength; ++i) {
            velocityHistory[i] = Vector4();
            angularVelocityHistory[i] = Vector4();
        }
        historyClear = 1;
    }
}

void RigidBody::WakeGroup() {
    if (jointGroup == nullptr) {
        Wake();
        return;
    }
    for (Body* b = jointGroup->bodyHead; b != nullptr; b = b->groupNext) {
        if (b->kind == kBodyRigid) {
            static_cast<RigidBody*>(b)->Wake();
        }
    }
}

bool RigidBody::IsMoving() const {
    return LengthSquared(linearVelocity) + LengthSquared(angularVelocity) >= simulator->GetSleepThreshold();
}

int32_t RigidBody::KeepAsleep() {
    if (IsMoving()) {
        Wake();
        return 0;
    }
    ClearMotion();
    GatherForces();
    return 1;
}

int32_t RigidBody::ApplyImpulse(const Vector4& j, const Vector4& r) {
    Unpark();
    linearVelocity += j * inverseMass;
    StoreAngularMomentum(angularMomentum + Cross(r, j));
    return 1;
}

void RigidBody::ApplyVelocityCorrection() {
    Unpark();
    if (linearCorrectionCount > 0) {
        linearVelocity += linearCorrectionSum * (1.0f / static_cast<float>(linearCorrectionCount));
    }
    linearCorrectionSum = Vector4();
    linearCorrectionCount = 0;
}

void RigidBody::ApplyMomentumCorrection() {
    Unpark();
    if (angularCorrectionCount > 0) {
        StoreAngularMomentum(angularMomentum +
                             angularCorrectionSum * (1.0f / static_cast<float>(angularCorrectionCount)));
    }
    angularCorrectionSum = Vector4();
    angularCorrectionCount = 0;
}

void RigidBody::StoreSupport(const SupportRecord& from) {
    SupportRecord* taken = nullptr;
    SupportRecord* freeSlot = nullptr;
    SupportRecord* candidate = nullptr;
    float candidateDepth = 0.0f;
    for (SupportRecord& slot : supports) {
        if (!slot.InUse()) {
            freeSlot = &slot;
            continue;
        }
        if (candidateDepth == 0.0f || slot.depth < candidateDepth) {
            candidate = &slot;
            candidateDepth = slot.depth;
        }
        if (LengthSquared(slot.ownerPoint - from.ownerPoint) < 0.0025f) {
            taken = &slot;
            break;
        }
    }
    SupportRecord* target = nullptr;
    if (taken != nullptr) {
        taken->Release();
        target = taken;
    } else if (freeSlot != nullptr) {
        target = freeSlot;
    } else {
        candidate->Release();
        target = candidate;
    }
    SupportRecord::Assign(*target, this, from);
}

void RigidBody::Release() {
    while (controllers.head != nullptr) {
        Controller* c = controllers.head;
        controllers.Unlink(c);
        c->body = nullptr;
        c->callback = nullptr;
        simulator->ControllerPool().Return(c);
    }
    LeaveJointGroup();
    if (stackNode != nullptr) {
        ContactStack* stack = stackNode->stack;
        if (stack != nullptr) {
            if (stackNode->prev != nullptr) {
                stackNode->prev->next = stackNode->next;
            } else {
                stack->firstNode = stackNode->next;
            }
            if (stackNode->next != nullptr) {
                stackNode->next->prev = stackNode->prev;
            } else {
                stack->lastNode = stackNode->prev;
            }
            --stack->nodeCount;
        }
        stackNode->stack = nullptr;
        stackNode->body = nullptr;
        simulator->StackNodePool().Return(stackNode);
        stackNode = nullptr;
    }
    for (SupportRecord& s : supports) {
        s.Release();
    }
}

} // namespace Physics
