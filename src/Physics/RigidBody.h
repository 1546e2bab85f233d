#pragma once

#include "Physics/Body.h"
#include "Physics/Controller.h"
#include "Physics/Quaternion.h"

namespace Physics {

struct ContactStack;
struct StackNode;

enum SleepState : int32_t {
    kAwake = 0,
    kAsleep = 1,
};

// A body moved by the simulation. A RigidParticle is the same record from the particle pool.
class RigidBody : public Body {
public:
    static constexpr int kHistoryLength = 10;
    static constexpr int kSupportSlots = 3;

    RigidBody() { kind = kBodyRigid; }

    // Set-up. A mass that is 0, negative or not finite is ignored.
    void SetMass(float m);
    float GetMass() const { return mass; }
    float GetInverseMass() const { return inverseMass; }
    void SetInertia(const Vector4& diagonal);
    void SetLinearDamping(float d);
    void SetAngularDamping(float d);
    void SetGravityEnabled(bool on) {
        Unpark();
        gravityEnabled = on ? 1 : 0;
    }

    // Pose and motion.
    void SetPosition(const Vector4& p);
    const Vector4& GetPosition() const { return position; }
    void SetOrientation(const Vector4& q);
    const Vector4& GetOrientation() const { return orientation; }
    void GetMatrix(Matrix4& out) const;
    const Vector4& GetLinearVelocity() const { return linearVelocity; }
    void SetLinearVelocity(const Vector4& v);
    const Vector4& GetAngularVelocity() const { return angularVelocity; }
    const Vector4& GetAngularMomentum() const { return angularMomentum; }
    void SetAngularMomentum(const Vector4& L);
    bool IsAsleep() const { return sleepState == kAsleep; }

    // Forces and impulses from the owner.
    void SetForceAtPoint(const Vector4& f, const Vector4& p);
    void SetTorque(const Vector4& t);
    void ApplyImpulseAtPoint(const Vector4& j, const Vector4& p);
    Controller* CreateController(ControllerCallback* callback, int32_t period);

    // Integration, one sub-step at a time.
    void IntegrateVelocity(float dt);
    void IntegrateAngular(const Vector4& torque, float dt);
    void IntegratePosition(float dt);
    void GatherForces();
    void UpdateDerivedState();
    void StoreAngularMomentum(const Vector4& L);
    // Brings quaternionRate up to date after StoreAngularMomentum, which leaves it to the first
    // reader: the solver stores momenta many times between reads. Computed from the same
    // velocity and orientation as at the store, since both are settled before they change.
    void SettleRate() {
        if (ratePending != 0) {
            quaternionRate = QuatRate(angularVelocity, orientation);
            ratePending = 0;
        }
    }

    // Wake and sleep primitives.
    void Wake();
    // Puts a parked body back into the tick's passes; whatever writes to a body, or may make a
    // pass do something to it, calls this first.
    void Unpark() {
        if (parked != 0) {
            UnparkFromTick();
        }
    }
    void UnparkFromTick();
    // True while every pass of a tick would leave the body exactly as it is: asleep, unpushed,
    // its box current, every sum a pass clears already zero, and its supports (when the stack
    // pass looks at them) two or more, all on bodies at rest.
    bool CanPark() const;
    void TakeWakeSnapshot();
    void Sleep();
    void ClearMotion();
    void WakeGroup();
    bool IsMoving() const;
    int32_t KeepAsleep();
    void UpdateRestCounter();

    // Solver primitives: no wake.
    int32_t ApplyImpulse(const Vector4& j, const Vector4& r);
    void ApplyVelocityCorrection();
    void ApplyMomentumCorrection();

    void StoreSupport(const SupportRecord& from);

    // Stack membership from supports.
    int32_t AddSupport(const SupportRecord& from);
    int32_t CreateStackNode(const SupportRecord& from);
    int32_t JoinAsSupport(ContactStack* stack);
    void ReleaseStackNode();
    int32_t ValidateSupports();
    int32_t BuildSupportRows(bool addAll);
    void EnterStackSolve();

    // Rest tests.
    int32_t RestStability();
    int32_t IsSettled();
    int32_t SupportsHold();

    // Defaults of a freshly taken body; pool links are left alone.
    void Reset();
    // Gives back what only a RigidBody holds (controllers, stack node, own supports).
    void Release();

    // What every tick reads or writes of a body it works on, kept together.
    RigidBody* next = nullptr;
    RigidBody* prev = nullptr;
    // The tick's own list of the bodies it works on, in the order of the enabled list: a parked
    // body is out of it.
    RigidBody* tickNext = nullptr;
    RigidBody* tickPrev = nullptr;
    uint64_t listOrder = 0;    // grows along the enabled list
    uint32_t parkedAtPass = 0; // the velocity pass count when it was parked
    uint8_t parked = 0;
    uint8_t inUse = 0;
    uint8_t ratePending = 0;
    // Set while both velocity histories hold only zeros, so a sleeping body does not clear them each tick.
    uint8_t historyClear = 0;
    int32_t sleepState = kAwake;
    int32_t stepped = 0;
    int32_t pushedThisTick = 0;
    int32_t pushedLastTick = 0;
    int32_t stepsSinceWake = 0;
    int32_t linearCorrectionCount = 0;
    int32_t angularCorrectionCount = 0;
    float speed = 0.0f;
    StackNode* stackNode = nullptr;
    IntrusiveList<Controller> controllers;
    Matrix3 rotation;
    Vector4 position;
    Vector4 linearVelocity;
    Vector4 angularVelocity;
    Vector4 quaternionRate; // read through SettleRate() while ratePending is set
    Vector4 angularMomentum;
    Vector4 storedForce;
    Vector4 storedTorque;
    Vector4 gravityForce;
    Vector4 controllerForceSum;
    Vector4 controllerTorqueSum;
    Vector4 forceSum;
    Vector4 torqueSum;
    Vector4 linearCorrectionSum;
    Vector4 angularCorrectionSum;

    float mass = 1.0f;
    float inverseMass = 1.0f;
    Matrix3 inertia = Matrix3::Zero();
    Matrix3 inverseInertia;
    int32_t gravityEnabled = 1;
    float linearDamping = 0.0f;
    float angularDamping = 0.0f;
    Vector4 orientation{0.0f, 0.0f, 0.0f, 1.0f};
    // Until the first position step derives it, the world inverse inertia is the identity.
    Matrix3 worldInverseInertia;

    Vector4 acceleration;

    int32_t restCounter = 0;
    Vector4 snapshotPosition;
    Vector4 snapshotOrientation{0.0f, 0.0f, 0.0f, 1.0f};
    Vector4 snapshotLinearVelocity;
    Vector4 snapshotAngularVelocity;

    Vector4 velocityHistory[kHistoryLength];
    Vector4 angularVelocityHistory[kHistoryLength];

    float driftLimit = 0.2f;
    int32_t isParticle = 0;
    SupportRecord supports[kSupportSlots];
    int32_t supportCount = 0;
    int32_t supportIndices[kSupportSlots] = {0, 0, 0};
};

// The RigidBody behind a row side, or null for an AnimatedBody, the world body or no body.
// Inline: the solver asks it for every side of every row.
inline RigidBody* RigidSide(Body* body) {
    if (body == nullptr || body->kind != kBodyRigid) {
        return nullptr;
    }
    return static_cast<RigidBody*>(body);
}

} // namespace Physics
