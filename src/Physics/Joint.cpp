// Joints: set-up, creation and release, and the per-tick frames, angles and rows of one joint.
#include "Physics/Joint.h"

#include "Physics/Controller.h"
#include "Physics/Quaternion.h"
#include "Physics/Simulator.h"

#include <algorithm>
#include <cmath>

namespace Physics {

namespace {

constexpr float kPi = 3.1415927f;
constexpr float kTwoPi = 6.2831855f;
constexpr float kLinearLimitCap = 0.05f;
// Hinge and slider points sit this far along the axis on either side of the anchor.
constexpr float kAxisPointSpacing = 0.5f;

float SafeAcos(float x) { return static_cast<float>(std::acos(std::clamp(static_cast<double>(x), -1.0, 1.0))); }

Vector4 Direction(const Vector4& v) {
    Vector4 n = Normalize(v);
    n.w = 0.0f;
    return n;
}

bool IsFiniteMatrix(const Matrix4& m) {
    for (const Vector4& r : m.row) {
        if (!IsFinite(r)) {
            return false;
        }
    }
    return true;
}

// p given in the world, expressed in a frame whose world transform is m.
Vector4 PointIntoFrame(const Vector4& p, const Matrix4& m) {
    const Vector4 d = p - m.row[3];
    return {Dot(d, m.row[0]), Dot(d, m.row[1]), Dot(d, m.row[2]), 1.0f};
}

// The inverse of ComposeFrames: a world frame expressed in the frame whose world transform is m.
Matrix4 FrameIntoFrame(const Matrix4& world, const Matrix4& m) {
    Matrix4 out;
    for (int i = 0; i < 3; ++i) {
        out.row[i] = {Dot(world.row[i], m.row[0]), Dot(world.row[i], m.row[1]), Dot(world.row[i], m.row[2]), 0.0f};
    }
    out.row[3] = PointIntoFrame(world.row[3], m);
    return out;
}

// A right-handed frame at `origin` whose y axis is `axis`.
Matrix4 FrameAroundAxis(const Vector4& origin, const Vector4& axis) {
    const Vector4 y = Direction(axis);
    const Vector4 helper = std::fabs(y.x) < 0.9f ? Vector4{1.0f, 0.0f, 0.0f, 0.0f} : Vector4{0.0f, 0.0f, 1.0f, 0.0f};
    const Vector4 z = Direction(Cross(helper, y));
    const Vector4 x = Cross(y, z);
    Matrix4 m;
    m.row[0] = x;
    m.row[1] = y;
    m.row[2] = z;
    m.row[3] = {origin.x, origin.y, origin.z, 1.0f};
    return m;
}

void AppendEntry(Body* body, JointListEntry* entry) {
    entry->next = nullptr;
    entry->prev = body->jointTail;
    if (body->jointTail != nullptr) {
        body->jointTail->next = entry;
    } else {
        body->jointHead = entry;
    }
    body->jointTail = entry;
    ++body->jointCount;
}

void UnlinkEntry(Body* body, JointListEntry* entry) {
    if (entry->prev != nullptr) {
        entry->prev->next = entry->next;
    } else {
        body->jointHead = entry->next;
    }
    if (entry->next != nullptr) {
        entry->next->prev = entry->prev;
    } else {
        body->jointTail = entry->prev;
    }
    entry->next = nullptr;
    entry->prev = nullptr;
    --body->jointCount;
}

void ResetGroup(JointGroup* g) {
    g->firstJoint = nullptr;
    g->lastJoint = nullptr;
    g->visited = 0;
    g->state = 1;
    g->bodyHead = nullptr;
    g->bodyTail = nullptr;
    g->bodyCount = 0;
}

// Moves every body and joint of `from` into `into` and gives `from` back to its pool.
void MergeGroups(JointGroup* into, JointGroup* from, Pool<JointGroup>& pool) {
    while (from->bodyHead != nullptr) {
        Body* b = from->bodyHead;
        from->bodyHead = b->groupNext;
        into->AddBody(b);
    }
    if (from->firstJoint != nullptr) {
        if (into->lastJoint != nullptr) {
            into->lastJoint->next = from->firstJoint;
            from->firstJoint->prev = into->lastJoint;
        } else {
            into->firstJoint = from->firstJoint;
        }
        into->lastJoint = from->lastJoint;
    }
    ResetGroup(from);
    pool.Return(from);
}

} // namespace

void Joint::Reset() {
    Joint* keepNext = next;
    Joint* keepPrev = prev;
    const uint8_t keepInUse = inUse;
    *this = Joint();
    next = keepNext;
    prev = keepPrev;
    inUse = keepInUse;
    entryA.joint = this;
    entryB.joint = this;
    active = 1;
    iterations = -1;
}

bool Joint::SetFrames(const Matrix4& worldFrame) {
    if (!IsFiniteMatrix(worldFrame) || bodyA == nullptr) {
        return false;
    }
    localFrameA = FrameIntoFrame(worldFrame, bodyA->GetWorldTransform());
    localFrameB = bodyB != nullptr ? FrameIntoFrame(worldFrame, bodyB->GetWorldTransform()) : worldFrame;
    return true;
}

bool Joint::SetPoint(int index, const Vector4& worldPoint) {
    if (index < 0 || index > 1 || !IsFinite(worldPoint) || bodyA == nullptr) {
        return false;
    }
    Vector4 world = worldPoint;
    world.w = 1.0f;
    pointsA[index].local = PointIntoFrame(world, bodyA->GetWorldTransform());
    pointsB[index].local = bodyB != nullptr ? PointIntoFrame(world, bodyB->GetWorldTransform()) : world;
    pointsA[index].world = world;
    pointsB[index].world = world;
    pointCount = std::max(pointCount, index + 1);
    return true;
}

bool Joint::SetLimit(float lower, float upper, bool enabled) {
    if (!std::isfinite(lower) || !std::isfinite(upper) || lower > upper) {
        return false;
    }
    limit.lower = lower;
    limit.upper = upper;
    limit.enabled = enabled ? 1 : 0;
    limit.joint = this;
    return true;
}

bool Joint::SetTwist(float bound, bool enabled) {
    if (!std::isfinite(bound) || bound < 0.0f) {
        return false;
    }
    twist.lower = bound;
    twist.enabled = enabled ? 1 : 0;
    twist.joint = this;
    return true;
}

bool Joint::SetMotor(float target, float maximum, bool enabled) {
    if (!std::isfinite(target) || !std::isfinite(maximum) || maximum < 0.0f) {
        return false;
    }
    motor.target = target;
    motor.maximum = maximum;
    motor.enabled = enabled ? 1 : 0;
    return true;
}

bool Joint::SetDamping(float damping) {
    if (!std::isfinite(damping)) {
        return false;
    }
    angularDamping = damping;
    return true;
}

bool Joint::SetIterations(int32_t count) {
    if (count < -1) {
        return false;
    }
    iterations = count;
    return true;
}

Controller* Joint::CreateController(ControllerCallback* callback, int32_t period) {
    Controller* c = simulator->ControllerPool().Take();
    if (c == nullptr) {
        simulator->ReportMessage("Run out of Controllers. Increase 'constraintSetsCount'.\n");
        return nullptr;
    }
    c->period = period;
    c->countdown = period;
    c->callback = nullptr;
    c->jointCallback = callback;
    c->joint = this;
    c->body = bodyA;
    c->force = c->torque = c->forceB = c->torqueB = Vector4();
    c->next = nullptr;
    c->prev = nullptr;
    if (controllers == nullptr) {
        controllers = c;
    } else {
        Controller* last = controllers;
        while (last->next != nullptr) {
            last = last->next;
        }
        last->next = c;
        c->prev = last;
    }
    return c;
}

Matrix4 Joint::ComputeWorldFrameB() const {
    return bodyB != nullptr ? ComposeFrames(localFrameB, bodyB->GetWorldTransform()) : localFrameB;
}

void Joint::UpdateWorldFrames() {
    worldFrameA = ComposeFrames(localFrameA, bodyA->GetWorldTransform());
    worldFrameB = ComputeWorldFrameB();
}

void Joint::UpdateFramesAndAngle() {
    UpdateWorldFrames();
    const Vector4& xA = worldFrameA.row[0];
    const Vector4& yA = worldFrameA.row[1];
    const Vector4& oA = worldFrameA.row[3];
    const Vector4& xB = worldFrameB.row[0];
    const Vector4& yB = worldFrameB.row[1];
    const Vector4& oB = worldFrameB.row[3];
    Vector4 axis = limit.axis;
    if (kind == kJointHinge) {
        axis = Direction(yA + yB);
        const float c = Dot(xA, xB);
        if (std::fabs(c - 1.0f) < 1e-6f) {
            angle = 0.0f;
            signedAngle = 0.0f;
        } else if (std::fabs(c + 1.0f) < 1e-6f) {
            angle = kPi;
            signedAngle = -kPi;
        } else {
            const Vector4 n = Direction(Cross(xB, xA));
            const float a = SafeAcos(c);
            if (Dot(n, axis) > 0.0f) {
                angle = a;
                signedAngle = a;
            } else {
                angle = kTwoPi - a;
                signedAngle = -a;
            }
        }
    } else if (kind == kJointBall) {
        const float c = Dot(xA, xB);
        if (std::fabs(c - 1.0f) < 1e-6f) {
            angle = 0.0f;
            axis = yA;
        } else if (std::fabs(c + 1.0f) < 1e-6f) {
            angle = kPi;
            axis = yA;
        } else {
            axis = Direction(Cross(xB, xA));
            angle = SafeAcos(c);
        }
    } else if (kind == kJointSlider) {
        axis = Direction(yA + yB);
        angle = Dot(oA - oB, yB);
    }
    axis.w = 0.0f;
    limit.axis = axis;
}

void Joint::UpdateWorldPoints() {
    const Matrix4 a = bodyA->GetWorldTransform();
    const bool bothEnds = kind == kJointBall || kind == kJointHinge;
    const Matrix4 b = bodyB != nullptr && bothEnds ? bodyB->GetWorldTransform() : Matrix4();
    for (int i = 0; i < pointCount; ++i) {
        pointsA[i].world = TransformPoint(pointsA[i].local, a);
        if (bothEnds) {
            pointsB[i].world = bodyB != nullptr ? TransformPoint(pointsB[i].local, b) : pointsB[i].local;
        }
    }
}

void Joint::BuildRows() {
    RigidBody* rigidB = RigidSide(bodyB);
    const bool pointKind = kind == kJointBall || kind == kJointHinge;
    for (int i = 0; i < pointCount && (pointKind || kind == kJointSlider); ++i) {
        ConstraintRow row{};
        const Vector4 wa = pointsA[i].world;
        row.offsetA = wa - bodyA->position;
        if (pointKind) {
            const Vector4 wb = pointsB[i].world;
            row.type = kPointJoint;
            if (rigidB != nullptr) {
                row.offsetB = wb - rigidB->position;
            } else {
                row.offsetB = wb;
                row.worldPointB = wb;
            }
            row.worldPointA = wa - wb;
            const float sq = LengthSquared(row.worldPointA);
            row.depth = sq < 1e-6f ? 0.0f : std::sqrt(sq);
        } else {
            const Vector4& yB = worldFrameB.row[1];
            const Vector4& oB = worldFrameB.row[3];
            Vector4 p = oB + yB * Dot(wa - oB, yB);
            p.w = 0.0f;
            pointsB[i].world = p;
            row.type = kLineJoint;
            row.offsetB = rigidB != nullptr ? p - rigidB->position : p;
            row.worldPointA = wa - p;
            row.target = Length(row.worldPointA);
            row.worldPointB = yB;
        }
        row.offsetA.w = row.offsetB.w = row.worldPointA.w = row.worldPointB.w = 0.0f;
        row.bodyA = bodyA;
        row.bodyB = bodyB;
        row.Prepare(false, false);
        simulator->AppendJointRow(row);
    }
    // Once per joint, after its points: limits, the stacks its bodies rest in, then motors.
    if ((pointKind || kind == kJointSlider) && (limit.enabled != 0 || twist.enabled != 0)) {
        BuildLimitRows();
    }
    if (bodyA->stackNode != nullptr) {
        bodyA->EnterStackSolve();
    }
    if (rigidB != nullptr && rigidB->stackNode != nullptr) {
        rigidB->EnterStackSolve();
    }
    if (motor.enabled != 0) {
        BuildMotorRow(motor);
    }
    if (secondMotor.enabled != 0) {
        BuildMotorRow(secondMotor);
    }
}

void Joint::BuildLimitRows() {
    if (kind == kJointBall || kind == kJointHinge) {
        if (limit.enabled != 0) {
            BuildAngularLimitRow();
        }
        if (kind == kJointBall && twist.enabled != 0) {
            BuildTwistLimitRow();
        }
    } else if (kind == kJointSlider && limit.enabled != 0) {
        BuildLinearLimitRow();
    }
}

void Joint::BuildAngularLimitRow() {
    limit.active = 0;
    // A positive lower bound measures the hinge on [0, 2π); otherwise on the signed angle.
    const float a = limit.lower > 0.0f || kind == kJointBall ? angle : signedAngle;
    float error = 0.0f;
    if (a < limit.lower) {
        limit.side = 1;
        error = a - limit.lower;
    } else if (a <= limit.upper) {
        return;
    } else {
        limit.side = 0;
        error = a - limit.upper;
    }
    limit.active = 1;
    limit.error = error;
    ConstraintRow row{};
    row.type = kAngularLimit;
    row.bodyA = bodyA;
    row.bodyB = bodyB;
    row.localPointB = limit.axis;
    row.depth = error;
    row.Prepare(false, false);
    simulator->AppendJointRow(row);
}

void Joint::BuildTwistLimitRow() {
    twist.active = 0;
    const Vector4& xA = worldFrameA.row[0];
    const Vector4& zA = worldFrameA.row[2];
    const Vector4& xB = worldFrameB.row[0];
    const Vector4& zB = worldFrameB.row[2];
    // Undo the cone swing about the limit axis, then measure how far z has turned about x.
    const float s = std::sin(-angle * 0.5f);
    const Vector4 q{limit.axis.x * s, limit.axis.y * s, limit.axis.z * s, std::cos(-angle * 0.5f)};
    const Matrix3 turn = QuatToRows(q);
    const Vector4 r = zA * turn;
    const float c = Dot(zB, r);
    float t = 0.0f;
    if (std::fabs(c - 1.0f) < 1e-6f) {
        t = 0.0f;
    } else if (std::fabs(c + 1.0f) < 1e-6f) {
        t = kPi;
    } else {
        t = SafeAcos(c);
        if (Dot(Direction(Cross(zB, r)), xB) < 0.0f) {
            t = -t;
        }
    }
    const float bound = twist.lower;
    float error = 0.0f;
    if (t > bound) {
        error = t - bound;
    } else if (t >= -bound) {
        return;
    } else {
        error = t + bound;
    }
    twist.active = 1;
    twist.error = error;
    ConstraintRow row{};
    row.type = kFramedAngularLimit;
    row.bodyA = bodyA;
    row.bodyB = bodyB;
    row.localPointA = xA;
    row.localPointB = xB;
    row.depth = error;
    row.massMatrix = turn;
    row.Prepare(false, false);
    simulator->AppendJointRow(row);
}

void Joint::BuildLinearLimitRow() {
    limit.active = 0;
    const Vector4& oA = worldFrameA.row[3];
    const Vector4& oB = worldFrameB.row[3];
    const Vector4& yB = worldFrameB.row[1];
    const float e = Dot(oA - oB, yB);
    float c = 0.0f;
    float sign = 1.0f;
    if (e > limit.upper) {
        limit.side = 0;
        c = e - limit.upper;
    } else if (e >= limit.lower) {
        return;
    } else {
        limit.side = 1;
        c = limit.lower - e;
        sign = -1.0f;
    }
    limit.active = 1;
    limit.error = c;
    ConstraintRow row{};
    row.type = kLinearLimit;
    row.bodyA = bodyA;
    row.bodyB = bodyB;
    row.depth = std::fmin(c, kLinearLimitCap);
    row.offsetA = oA - bodyA->position;
    row.offsetB = bodyB != nullptr ? oB - bodyB->WorldPosition() : oB;
    row.offsetA.w = row.offsetB.w = 0.0f;
    row.worldPointB = yB * sign;
    row.Prepare(false, false);
    simulator->AppendJointRow(row);
}

void Joint::BuildMotorRow(const JointMotor& block) {
    // The second block is stored for its owner; only the first drives.
    if (&block != &motor) {
        return;
    }
    if (kind != kJointHinge && kind != kJointSlider) {
        return;
    }
    // Never push further into a limit that is holding this tick.
    if (limit.enabled != 0 && limit.active != 0 &&
        ((limit.side == 0 && block.target > 0.0f) || (limit.side == 1 && block.target < 0.0f))) {
        return;
    }
    ConstraintRow row{};
    row.type = kind == kJointHinge ? kAngularMotor : kLinearMotor;
    row.bodyA = bodyA;
    row.bodyB = bodyB;
    row.target = block.target;
    row.depth = block.maximum;
    row.localPointA = worldFrameA.row[1];
    row.localPointB = worldFrameB.row[1];
    row.localPointA.w = row.localPointB.w = 0.0f;
    row.Prepare(false, false);
    simulator->AppendJointRow(row);
}

Joint* Simulator::CreateJoint(int32_t kind, RigidBody* a, Body* b) {
    if (b == &worldBody_) {
        b = nullptr;
    }
    if (kind != kJointBall && kind != kJointHinge && kind != kJointSlider) {
        ReportMessage("Cannot create a Joint of an unknown kind.\n");
        return nullptr;
    }
    if (!IsLiveBody(a) || a->kind != kBodyRigid || (b != nullptr && !IsLiveBody(b)) || static_cast<Body*>(a) == b) {
        ReportMessage("Cannot create a Joint between these bodies.\n");
        return nullptr;
    }
    Joint* joint = jointPool_.Take();
    if (joint == nullptr) {
        ReportMessage("Run out of Joints. Increase 'jointsCount'.\n");
        return nullptr;
    }
    RigidBody* rigidB = RigidSide(b);
    JointGroup* groupA = a->jointGroup;
    JointGroup* groupB = rigidB != nullptr ? rigidB->jointGroup : nullptr;
    JointGroup* group = groupA != nullptr ? groupA : groupB;
    if (group == nullptr) {
        group = jointGroupPool_.Take();
        if (group == nullptr) {
            jointPool_.Return(joint);
            ReportMessage("Run out of JointGroups. Increase 'jointGroupsCount'.\n");
            return nullptr;
        }
        ResetGroup(group);
    } else if (groupA != nullptr && groupB != nullptr && groupA != groupB) {
        MergeGroups(groupA, groupB, jointGroupPool_);
    }
    joint->Reset();
    joint->kind = kind;
    joint->simulator = this;
    joint->bodyA = a;
    joint->bodyB = b;
    joint->limit.joint = joint;
    joint->twist.joint = joint;
    // Both frames start as A's pose, so every angle reads 0 at creation.
    joint->SetFrames(a->GetWorldTransform());
    AppendEntry(a, &joint->entryA);
    if (b != nullptr) {
        AppendEntry(b, &joint->entryB);
    }
    joint->next = nullptr;
    joint->prev = group->lastJoint;
    if (group->lastJoint != nullptr) {
        group->lastJoint->next = joint;
    } else {
        group->firstJoint = joint;
    }
    group->lastJoint = joint;
    if (a->jointGroup != group) {
        group->AddBody(a);
    }
    if (rigidB != nullptr && rigidB->jointGroup != group) {
        group->AddBody(rigidB);
    }
    return joint;
}

Joint* Simulator::CreateBallJoint(RigidBody* a, Body* b, const Vector4& anchor) {
    if (!IsFinite(anchor)) {
        ReportMessage("Cannot create a Joint at a non-finite anchor.\n");
        return nullptr;
    }
    Joint* joint = CreateJoint(kJointBall, a, b);
    if (joint == nullptr) {
        return nullptr;
    }
    Matrix4 frame = a->GetWorldTransform();
    frame.row[3] = {anchor.x, anchor.y, anchor.z, 1.0f};
    joint->SetFrames(frame);
    joint->SetPoint(0, anchor);
    return joint;
}

Joint* Simulator::CreateHingeJoint(RigidBody* a, Body* b, const Vector4& anchor, const Vector4& axis) {
    if (!IsFinite(anchor) || !IsFinite(axis) || LengthSquared(axis) < 1e-6f) {
        ReportMessage("Cannot create a Joint at a non-finite anchor or axis.\n");
        return nullptr;
    }
    Joint* joint = CreateJoint(kJointHinge, a, b);
    if (joint == nullptr) {
        return nullptr;
    }
    const Matrix4 frame = FrameAroundAxis(anchor, axis);
    joint->SetFrames(frame);
    joint->SetPoint(0, anchor - frame.row[1] * kAxisPointSpacing);
    joint->SetPoint(1, anchor + frame.row[1] * kAxisPointSpacing);
    return joint;
}

Joint* Simulator::CreateSliderJoint(RigidBody* a, Body* b, const Vector4& anchor, const Vector4& axis) {
    if (!IsFinite(anchor) || !IsFinite(axis) || LengthSquared(axis) < 1e-6f) {
        ReportMessage("Cannot create a Joint at a non-finite anchor or axis.\n");
        return nullptr;
    }
    Joint* joint = CreateJoint(kJointSlider, a, b);
    if (joint == nullptr) {
        return nullptr;
    }
    const Matrix4 frame = FrameAroundAxis(anchor, axis);
    joint->SetFrames(frame);
    joint->SetPoint(0, anchor - frame.row[1] * kAxisPointSpacing);
    joint->SetPoint(1, anchor + frame.row[1] * kAxisPointSpacing);
    return joint;
}

void Simulator::FreeJoint(Joint* joint) {
    if (joint == nullptr || !jointPool_.Contains(joint) || joint->inUse == 0) {
        ReportMessage("Trying to Free invalid Joint.\n");
        return;
    }
    DetachJoint(joint);
}

void Simulator::DetachJoint(Joint* joint) {
    RigidBody* a = joint->bodyA;
    Body* b = joint->bodyB;
    JointGroup* group = a->jointGroup;
    UnlinkEntry(a, &joint->entryA);
    if (b != nullptr) {
        UnlinkEntry(b, &joint->entryB);
    }
    if (group != nullptr) {
        if (joint->prev != nullptr) {
            joint->prev->next = joint->next;
        } else {
            group->firstJoint = joint->next;
        }
        if (joint->next != nullptr) {
            joint->next->prev = joint->prev;
        } else {
            group->lastJoint = joint->prev;
        }
    }
    for (Controller* c = joint->controllers; c != nullptr;) {
        Controller* nextController = c->next;
        c->next = nullptr;
        c->prev = nullptr;
        controllerPool_.Return(c);
        c = nextController;
    }
    joint->controllers = nullptr;
    joint->next = nullptr;
    joint->prev = nullptr;
    jointPool_.Return(joint);
    // A body without joints is solved on its own again; an emptied group goes back to its pool.
    if (a->jointCount == 0) {
        a->LeaveJointGroup();
    }
    RigidBody* rigidB = RigidSide(b);
    if (rigidB != nullptr && rigidB->jointCount == 0) {
        rigidB->LeaveJointGroup();
    }
}

} // namespace Physics
