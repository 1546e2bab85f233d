#pragma once

#include "Physics/AnimatedBody.h"
#include "Physics/Broadphase.h"
#include "Physics/CollisionGroupMatrix.h"
#include "Physics/CollisionTriangle.h"
#include "Physics/ConstraintRow.h"
#include "Physics/ContactReport.h"
#include "Physics/ContactStack.h"
#include "Physics/ConvexCollision.h"
#include "Physics/Joint.h"
#include "Physics/MeshCollision.h"
#include "Physics/PhaseProfiler.h"
#include "Physics/Pool.h"
#include "Physics/RigidBody.h"
#include "Physics/SimulatorAllocator.h"
#include "Physics/SimulatorDesc.h"
#include "Physics/StepStats.h"
#include "Physics/WorkArray.h"

#include <cstdint>
#include <memory>

namespace Physics {

using ContactCallback = void (*)(ContactReport* report);
// Hands the static-world triangles near a body's world box to the engine.
using TriangleQueryCallback = void (*)(const Vector4& boxMin, const Vector4& boxMax, int32_t** indexList,
                                       CollisionTriangle** triangles, float** vertices, int32_t* indexCount,
                                       int32_t* triangleCount, Body* body);
using ErrorCallback = void (*)(const char* message);
using BreakOffCallback = void (*)(Body* source, int32_t bodyCode, Geometry* geometry, RigidBody* newBody);

struct Material {
    float friction;
    float restitution;
    float third; // 1.0 until SetMaterial writes the entry; nothing reads it
};

// The physics world: owns every body, shape, sensor, controller and contact structure, sized once
// from a SimulatorDesc, and advances them in fixed sub-steps.
class Simulator {
public:
    static constexpr int kMaterialCount = 256;

    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    bool SetMaterial(int index, float friction, float restitution);
    // Inline: the solver reads both sides' materials for every contact row it solves.
    bool GetMaterial(int index, float* friction, float* restitution, float* third) const {
        if (index < 0 || index >= kMaterialCount) {
            return false;
        }
        if (friction != nullptr) {
            *friction = materials_[index].friction;
        }
        if (restitution != nullptr) {
            *restitution = materials_[index].restitution;
        }
        if (third != nullptr) {
            *third = materials_[index].third;
        }
        return true;
    }
    ContactCallback SetContactCallback(ContactCallback callback);
    ContactCallback GetContactCallback() const { return contactCallback_; }
    CollisionGroupMatrix& GetCollisionGroups() { return groups_; }
    const CollisionGroupMatrix& GetCollisionGroups() const { return groups_; }
    void SetTriangleQueryCallback(TriangleQueryCallback callback) { triangleQueryCallback_ = callback; }
    TriangleQueryCallback GetTriangleQueryCallback() const { return triangleQueryCallback_; }
    // Nothing in the game installs these; tools and tests may.
    void SetErrorCallback(ErrorCallback callback) { errorCallback_ = callback; }
    void SetErrorLevel(int level) { errorLevel_ = level; }
    void SetBreakOffCallback(BreakOffCallback callback) { breakOffCallback_ = callback; }
    BreakOffCallback GetBreakOffCallback() const { return breakOffCallback_; }

    RigidBody* CreateRigidBody();
    RigidBody* CreateRigidParticle();
    AnimatedBody* CreateAnimatedBody();
    void FreeBody(Body* body);

    // Builds the convex hull of a point cloud into a block the world owns (freed with it): null,
    // with the reason through the error callback, for fewer than 4, non-finite, collinear or
    // coplanar points, or more than 100 faces.
    ConvexHull* CreateConvexHull(const Vector4* points, int count);
    ConvexScratch& GetConvexScratch() { return convexScratch_; }

    // Joints. b null (or the world body) holds the other end in the world. The joint enters both
    // bodies' joint lists and a group, merging the bodies' groups when they differ. Null for
    // bodies that are not live bodies of this world, a that is not rigid, a = b, an unknown kind
    // or empty pools.
    Joint* CreateJoint(int32_t kind, RigidBody* a, Body* b);
    // Ready-made joints at the bodies' current poses: anchor and axis in world space.
    Joint* CreateBallJoint(RigidBody* a, Body* b, const Vector4& anchor);
    Joint* CreateHingeJoint(RigidBody* a, Body* b, const Vector4& anchor, const Vector4& axis);
    Joint* CreateSliderJoint(RigidBody* a, Body* b, const Vector4& anchor, const Vector4& axis);
    // Takes the joint out of its bodies and group and frees its controllers; a body left without
    // joints leaves the group, so it collides with its former partner again.
    void FreeJoint(Joint* joint);
    // True for a body taken from one of this world's pools and not freed.
    bool IsLiveBody(const Body* body) const;

    // Advances the world by dt in n equal sub-steps; returns the new step count.
    int32_t Step(float dt, int32_t n, StepStats* stats);

    // Break-off: limits a contact impulse on a breakable geometry and, past its threshold,
    // detaches the geometry into a new body (1 when it did and the callback was told).
    int32_t TestBreakOff(Body* body, Geometry* geometry, const Vector4& point, Vector4& impulse);
    RigidBody* BreakOffGeometry(Geometry* geometry, Body* body);

    // Writes the message into the shared buffer and reports it at level 1.
    void ReportMessage(const char* text);
    void ReportError(int level);
    const char* LastMessage() const { return message_; }

    const SimulatorDesc& GetDesc() const { return desc_; }
    SimulatorAllocator* GetAllocator() const { return allocator_; }
    const Vector4& GetGravity() const { return gravity_; }
    const Vector4& GetGravityDirection() const { return gravityDirection_; }
    float GetGravityLength() const { return gravityLength_; }
    float GetSubStep() const { return subStep_; }
    float GetInverseSubStep() const { return inverseSubStep_; }
    int32_t GetStepCount() const { return stepCount_; }
    float GetSleepThreshold() const { return sleepThreshold_; }
    AnimatedBody* GetWorldBody() { return &worldBody_; }
    const AnimatedBody* GetWorldBody() const { return &worldBody_; }
    Broadphase& GetBroadphase() { return broadphase_; }
    const Broadphase& GetBroadphase() const { return broadphase_; }

    // Body lists, in processing order.
    const IntrusiveList<RigidBody>& EnabledRigidBodies() const { return enabledRigid_; }
    const IntrusiveList<RigidBody>& DisabledRigidBodies() const { return disabledRigid_; }
    const IntrusiveList<RigidBody>& EnabledParticles() const { return enabledParticles_; }
    const IntrusiveList<RigidBody>& DisabledParticles() const { return disabledParticles_; }
    const IntrusiveList<AnimatedBody>& EnabledAnimatedBodies() const { return enabledAnimated_; }
    const IntrusiveList<AnimatedBody>& DisabledAnimatedBodies() const { return disabledAnimated_; }

    // Pools, for the engine's own records.
    Pool<Geometry>& GeometryPool() { return geometryPool_; }
    Pool<Sensor>& SensorPool() { return sensorPool_; }
    Pool<Controller>& ControllerPool() { return controllerPool_; }
    Pool<Joint>& JointPool() { return jointPool_; }
    const Pool<Joint>& JointPool() const { return jointPool_; }
    Pool<JointGroup>& JointGroupPool() { return jointGroupPool_; }
    Pool<StackNode>& StackNodePool() { return stackNodePool_; }
    Pool<ContactStack>& ContactStackPool() { return contactStackPool_; }
    IntrusiveList<ContactStack>& Stacks() { return stacks_; }
    ContactStack& GroundedList() { return grounded_; }
    JointGroup& SolveGroup() { return solveGroup_; }
    const Pool<RigidBody>& RigidBodyPool() const { return rigidPool_; }
    const Pool<AnimatedBody>& AnimatedBodyPool() const { return animatedPool_; }
    const Pool<RigidBody>& ParticlePool() const { return particlePool_; }

    // Moves a body between the enabled and disabled lists of its kind.
    void MoveBodyToList(Body* body, bool enable);

    // Puts a parked body back into the tick's list at its place; RigidBody::Unpark calls it.
    void Unpark(RigidBody* body);

    // Contact hand-off: the one-shot response, then supports or a push-out.
    void HandleContact(Body* a, Body* b, ConstraintRow& row);
    void SeparateContact(Body* a, Body* b, const ConstraintRow& row);

    // The solver. Mode 1 is the one-shot collision response, mode 2 one resting-contact solve.
    void ApplyContactImpulse(Body* a, Body* b, ConstraintRow& row, int mode, float scale);
    // Contact-frame impulse (x along tangent1, y along tangent2, z along the normal).
    void FrictionConeImpulse(Vector4& out, const ConstraintRow& row, bool secondPass) const;
    void SolveRow(ConstraintRow& row);
    // Two passes of `iterations` sweeps (-1 means 4); the tolerance is not read.
    void SolveRows(float tolerance, int iterations);
    bool AppendContactRow(const ConstraintRow& row);
    bool AppendJointRow(const ConstraintRow& row);
    bool IsSecondPass() const { return secondPass_ != 0; }
    void SetSecondPass(bool on) { secondPass_ = on ? 1 : 0; }
    bool IsLastIteration() const { return lastIteration_ != 0; }
    WorkArray<ConstraintRow>& ContactRows() { return contactRows_; }
    WorkArray<ConstraintRow>& JointRows() { return jointRows_; }

    // Contact stacks.
    ContactStack* CreateStack(StackNode* node);
    void FreeStack(ContactStack* stack);
    WorkArray<ContactStack*>& ActiveStacks() { return activeStacks_; }
    WorkArray<StackNode*>& ScratchNodes() { return scratchNodes_; }
    WorkArray<JointGroup*>& ScratchGroups() { return scratchGroups_; }
    void GatherJointGroups(int32_t& iterations);
    void SettleGroupSleep();

private:
    friend Simulator* CreateSimulator(const SimulatorDesc& desc, SimulatorAllocator* allocator, const Vector4* gravity);

    Simulator();
    bool SetUp(const SimulatorDesc& desc, SimulatorAllocator* allocator, const Vector4* gravity);
    RigidBody* TakeRigid(Pool<RigidBody>& pool, bool particle);
    void ReleaseRigid(RigidBody* body);
    void ReleaseAnimated(AnimatedBody* body);
    void FreeAllBodies();

public:
    // Joint release without checks: Body::ReleaseContents and FreeJoint run it.
    void DetachJoint(Joint* joint);

private:
    // One sub-step and its phases, in order.
    void Tick();
    void ClearAllSensorHits();
    void UpdateWorldBoxes();
    void CollidePairs();
    void CollideStaticWorld();
    // The static-world triangles of the current body in working form; false when the scratch
    // could not hold them.
    bool PrepareTriangles(const Geometry& mesh);
    void ClearForceSums();
    void JointPreStep();
    void IntegrateVelocities();
    void ResetStackFlags();
    void SolveJointGroups();
    void UpdateStacks();
    void SolveStacks();
    void IntegratePositions();
    void JointPostStep();
    void Lap(int phase);
    // The tick's lists: a body joins at the tail when it enters an enabled list, leaves with it,
    // is parked at the end of a step when it can be, and comes back at its place when unparked.
    struct TickList {
        RigidBody* head = nullptr;
        RigidBody* tail = nullptr;
    };
    TickList& TickListOf(const RigidBody* body) { return ticking_[body->isParticle != 0 ? 1 : 0]; }
    void JoinTick(RigidBody* body);
    void LeaveTick(RigidBody* body);
    // Adds the velocity passes a parked body missed to its steps since waking and ends its parking.
    void CountMissedPasses(RigidBody* body);
    void ParkIdleBodies();
    static void FillReport(ContactReport& report, Body* a, Body* b, int32_t codeA, int32_t codeB,
                           const ConstraintRow& row);

    SimulatorDesc desc_{};
    SimulatorAllocator* allocator_ = nullptr;

    Pool<RigidBody> rigidPool_;
    Pool<AnimatedBody> animatedPool_;
    Pool<RigidBody> particlePool_;
    Pool<Controller> controllerPool_;
    Pool<Geometry> geometryPool_;
    Pool<Sensor> sensorPool_;
    Pool<Joint> jointPool_;
    Pool<JointGroup> jointGroupPool_;
    Pool<StackNode> stackNodePool_;
    Pool<ContactStack> contactStackPool_;

    IntrusiveList<RigidBody> enabledRigid_;
    IntrusiveList<RigidBody> disabledRigid_;
    IntrusiveList<AnimatedBody> enabledAnimated_;
    IntrusiveList<AnimatedBody> disabledAnimated_;
    IntrusiveList<RigidBody> enabledParticles_;
    IntrusiveList<RigidBody> disabledParticles_;
    IntrusiveList<ContactStack> stacks_;
    TickList ticking_[2]; // enabled rigid bodies, enabled particles
    uint64_t listOrder_ = 0;
    // Velocity passes run so far, and the body the one under way is at: a parked body's count of
    // steps since waking catches up with the passes it missed when it is unparked.
    uint32_t velocityPasses_ = 0;
    const RigidBody* integrating_ = nullptr;

    AnimatedBody worldBody_;
    Vector4 gravity_;
    Vector4 gravityDirection_;
    float gravityLength_ = 0.0f;
    float gravityLengthFraction_ = 0.0f; // 0.3 · |g|
    float sleepThreshold_ = 1.0f;

    Material materials_[kMaterialCount];
    CollisionGroupMatrix groups_;
    Broadphase broadphase_;

    ContactCallback contactCallback_ = nullptr;
    TriangleQueryCallback triangleQueryCallback_ = nullptr;
    ErrorCallback errorCallback_ = nullptr;
    BreakOffCallback breakOffCallback_ = nullptr;
    int errorLevel_ = 0;
    char message_[256] = {};

    float subStep_ = 0.0f;
    float inverseSubStep_ = 0.0f;
    int32_t stepCount_ = 0;

    ContactStack grounded_;
    JointGroup solveGroup_;

    // Work arrays of the later solver stages; they only grow.
    WorkArray<ContactStack*> activeStacks_;
    WorkArray<StackNode*> scratchNodes_;
    WorkArray<JointGroup*> scratchGroups_;
    WorkArray<ConstraintRow> jointRows_;
    WorkArray<ConstraintRow> contactRows_;
    WorkArray<TriangleTreeNode*> staticLeaves_;
    WorkArray<int32_t> staticTriangleIndexes_;
    WorkArray<PreparedTriangle> staticTriangles_;           // prepared triangles the cache could not hold
    WorkArray<const PreparedTriangle*> staticTriangleList_; // the fetched triangles, prepared, in order
    WorkArray<int32_t> rayCandidates_;                      // those near any of one body's rays
    // Triangles put in working form on earlier ticks, by triangle index, with the exact vertex
    // values and fields they were built from: equal inputs give the same working form.
    struct CachedTriangle {
        int32_t index;
        int32_t material;
        int32_t testMode;
        uint32_t stamp; // the last list built with it
        float vertex[9];
        PreparedTriangle prepared;
    };
    static constexpr int kTriangleCacheBits = 12;
    WorkArray<CachedTriangle> triangleCache_;
    uint32_t triangleStamp_ = 0;

    // Solver flags: secondPass_ corrects penetration and drops restitution; lastIteration_
    // leaves body B of a contact alone.
    uint8_t secondPass_ = 0;
    uint8_t lastIteration_ = 0;
    ConstraintRow pairRow_{};
    ContactReport pairReport_;

    ConvexScratch convexScratch_;
    WorkArray<ConvexHull*> hulls_;

    StepStats* stats_ = nullptr;
    std::unique_ptr<PhaseProfiler> profiler_;
};

// Returns null when the world or any of its pools cannot be allocated. A null gravity is zero.
Simulator* CreateSimulator(const SimulatorDesc& desc, SimulatorAllocator* allocator, const Vector4* gravity);
void DestroySimulator(Simulator* simulator);

} // namespace Physics
