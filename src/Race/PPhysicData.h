#pragma once
// The physics part of a game object: the body's box and mass, the collision shapes, the engine body
// the physics task makes from them, and the road triangles gathered near the body in the last step.
#include <vector>

#include "Core/Math/Quat.h"
#include "Core/Math/Vector.h"
#include "Core/PGameObjectParts.h"
#include "Physics/Physics.h"
#include "Render/PhysicShapes.h"

class CPGameObject;

class CPPhysicData : public CPBodyLink, public CPPhysicShapes, public Physics::ControllerCallback {
public:
    static constexpr int kMaxGathered = 1000;

    struct BodyDescription {
        int kind = 0; // 0 box, 1 cylinder
        float a = 0.0f, b = 0.0f, c = 0.0f;
        float diameter = 0.0f;
        float mass = 0.0f;
    };
    struct Shape {
        int type = 0;                          // 0 box, 1 cylinder
        Physics::Geometry* geometry = nullptr; // none until the body exists
        Vec3 position;
        Quat rotation = QuatIdentity();
        float a = 0.0f, b = 0.0f, c = 0.0f, d = 0.0f;
        float mass = 0.0f;
    };

    explicit CPPhysicData(CPGameObject* owner) : owner_(owner) {}
    int GetObjectSize() const override { return sizeof(*this); }
    const char* GetTypeName() const override { return "CPPhysicData"; }

    // Masses are divided by the "weight_div" setting as they are stored.
    void SetBodyBox(float a, float b, float c, float mass) override;
    void AddBoxShape(const Vec3& position, const Quat& rotation, float a, float b, float c, float mass) override;
    // A cylinder carries 5.0 in its a and c sizes.
    void AddCylinderShape(const Vec3& position, const Quat& rotation, float diameter, float length,
                          float mass) override;

    // Move and turn the kinematic body when there is one, else the rigid body; nothing without one.
    void SetPosition(const Vec3& position) override;
    void SetOrientation(const Quat& rotation) override;
    virtual bool HasBody() const { return rigidBody != nullptr || animatedBody != nullptr; }
    // The body description and shape list for the copy; no engine body.
    CPRefPtr<CPBodyLink> CloneForOwner(CPGameObject* owner) const override;

    // Only without a body: the physics task makes one (enabled) with this material, then SetupBody.
    void AddToPhysics(int material);
    // Damping, inertia from the body description, mass, the owner's pose, bounds; rigid bodies only.
    void SetupBody();
    // Parks and removes the body through the physics task; nothing without a body.
    void RemoveFromPhysics();
    // The controller's tick: re-applies the stored momentum and velocity when asked to.
    void OnTick(Physics::Controller* controller, float subStep) override;
    // The engine body as a plain body, whichever kind it is.
    Physics::Body* GetBody() const;

    CPGameObject* GetOwner() const { return owner_; }

    BodyDescription body;
    std::vector<Shape> shapes;
    // The engine bodies; at most one of the two exists. The physics task makes and removes them.
    Physics::RigidBody* rigidBody = nullptr;
    Physics::AnimatedBody* animatedBody = nullptr;
    bool enabled = false;  // entered into the world's written-back objects
    bool particle = false; // ask for a rigid particle instead of a rigid body
    // A controller, when asked for, re-applies the stored motion each tick (nothing asks for one).
    Physics::Controller* controller = nullptr;
    bool controlled = false;
    bool reapply = false;
    Vec3 storedMomentum;
    Vec3 storedVelocity;
    // Road triangle indices near the body, refilled whenever the engine asks for the road.
    int gathered[kMaxGathered] = {};
    int gatheredCount = 0;

private:
    CPGameObject* owner_; // no reference: the owner holds its physics data
};
