#pragma once

#include "Physics/Vector4.h"

#include <cstdint>

namespace Physics {

class Controller;
class RigidBody;
struct Joint;

// Implemented by the owner of a controller; called every (period + 1)-th gathering of forces.
class ControllerCallback {
public:
    virtual ~ControllerCallback() = default;
    virtual void OnTick(Controller* controller, float subStep) = 0;
};

// A force and torque that a body receives on every tick, refreshed by its callback.
class Controller {
public:
    void SetForce(const Vector4& f) { force = f; }
    void SetTorque(const Vector4& t) { torque = t; }
    const Vector4& GetForce() const { return force; }
    const Vector4& GetTorque() const { return torque; }
    RigidBody* GetBody() const { return body; }
    int32_t GetPeriod() const { return period; }

    int32_t period = 0;
    int32_t countdown = 0;
    ControllerCallback* callback = nullptr;
    ControllerCallback* jointCallback = nullptr; // joint controllers only
    Joint* joint = nullptr;                      // joint controllers only
    RigidBody* body = nullptr;
    Vector4 force;
    Vector4 torque;
    Vector4 forceB;  // joint controllers only
    Vector4 torqueB; // joint controllers only

    // Pool links; while owned they chain the body's controller list.
    Controller* next = nullptr;
    Controller* prev = nullptr;
    uint8_t inUse = 0;
};

} // namespace Physics
