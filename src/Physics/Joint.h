#pragma once

#include "Physics/Matrix4.h"

#include <cstdint>

namespace Physics {

class Body;
class Controller;
class ControllerCallback;
class RigidBody;
class Simulator;
struct Joint;

enum JointKind : int32_t {
    kJointBall = 0,
    kJointHinge = 2,
    kJointSlider = 3,
};

// Entry of a joint in one of its bodies' joint lists.
struct JointListEntry {
    Joint* joint = nullptr;
    JointListEntry* next = nullptr;
    JointListEntry* prev = nullptr;
    uint8_t flag = 0;
};

struct JointPoint {
    Vector4 local;
    Vector4 world;
};

struct JointLimit {
    int32_t active = 0;
    Vector4 axis;
    int32_t side = 0;
    int32_t enabled = 0;
    float error = 0.0f;
    float upper = 0.0f;
    float lower = 0.0f;
    Joint* joint = nullptr;
};

struct JointMotor {
    int32_t enabled = 0;
    float target = 0.0f;
    float maximum = 0.0f;
};

// A ball, hinge or slider joint between a RigidBody and another body (or the world).
struct Joint {
    Matrix4 localFrameA;
    Matrix4 localFrameB;
    Matrix4 worldFrameA;
    Matrix4 worldFrameB;
    Simulator* simulator = nullptr;
    Controller* controllers = nullptr;
    RigidBody* bodyA = nullptr;
    Body* bodyB = nullptr;
    JointListEntry entryA;
    JointListEntry entryB;
    int32_t pointCount = 0;
    JointPoint pointsA[2];
    JointPoint pointsB[2];
    int32_t active = 0;
    int32_t iterations = 0;
    float angle = 0.0f;
    float signedAngle = 0.0f;
    float angularDamping = 0.0f;
    JointLimit limit;
    JointLimit twist;
    JointMotor motor;
    JointMotor secondMotor;
    int32_t kind = kJointBall;

    // Set-up; each refuses non-finite input and answers false for it. Frames and points are given
    // in world space at the bodies' current poses and stored in each body's own frame (in world
    // space for the world end).
    bool SetFrames(const Matrix4& worldFrame);
    bool SetPoint(int index, const Vector4& worldPoint);
    // Ball and hinge: angle bounds in radians; slider: distance bounds along the axis.
    bool SetLimit(float lower, float upper, bool enabled = true);
    // Ball only: the twist about the joint's x axis stays within ±bound.
    bool SetTwist(float bound, bool enabled = true);
    // Hinge: target rate in rad/s and torque limit; slider: target speed and force limit.
    bool SetMotor(float target, float maximum, bool enabled = true);
    bool SetDamping(float damping);
    // The iterations the group solve runs at least; -1 leaves it to the solver (4).
    bool SetIterations(int32_t count);
    void SetActive(bool on) { active = on ? 1 : 0; }
    // A periodic force source on both bodies, called after each tick's positions.
    Controller* CreateController(ControllerCallback* callback, int32_t period);

    // The per-tick stages, in the order the group solve runs them.
    void UpdateFramesAndAngle();
    Matrix4 ComputeWorldFrameB() const;
    void UpdateWorldPoints();
    void BuildRows();
    void BuildLimitRows();
    void BuildAngularLimitRow();
    void BuildTwistLimitRow();
    void BuildLinearLimitRow();
    void BuildMotorRow(const JointMotor& block);
    void UpdateWorldFrames();
    void ApplyDamping();
    void RunControllers(float subStep);
    // Defaults of a freshly taken joint; pool links are left alone.
    void Reset();

    Joint* next = nullptr;
    Joint* prev = nullptr;
    uint8_t inUse = 0;
};

// Bodies connected by joints, solved as one group.
struct JointGroup {
    Joint* firstJoint = nullptr;
    Joint* lastJoint = nullptr;
    int32_t visited = 0;
    int32_t state = 1; // 1 after creation or Clear, 2 after a body left
    Body* bodyHead = nullptr;
    Body* bodyTail = nullptr;
    int32_t bodyCount = 0;

    void AddBody(Body* body);
    void Clear();
    void ClearSolveMarks();
    int32_t AllSettled();
    void SleepAll(bool checkSupports);
    void WakeAll();
    // Folds the joints' iteration counts into `iterations` and marks the group visited.
    void BuildRows(int32_t& iterations);

    JointGroup* next = nullptr;
    JointGroup* prev = nullptr;
    uint8_t inUse = 0;
};

} // namespace Physics
