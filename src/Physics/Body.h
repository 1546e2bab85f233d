#pragma once

#include "Physics/Geometry.h"
#include "Physics/Matrix4.h"
#include "Physics/Pool.h"
#include "Physics/Sensor.h"
#include "Physics/SupportRecord.h"

#include <cstdint>

namespace Physics {

class Simulator;
class AnimatedBody;
class RigidBody;
struct BroadphaseEntry;
struct Endpoint;
struct JointGroup;
struct JointListEntry;

enum BodyKind : int32_t {
    kBodyAnimated = 0,
    kBodyRigid = 1, // also a RigidParticle
};

enum BroadphaseState : int32_t {
    kBroadphaseIdle = 0,      // inserted, or not queued
    kBroadphaseQueued = 1,    // waiting for the next update
    kBroadphaseCancelled = 2, // queued, then removed before the update
};

// What both body kinds share. Bodies are plain pooled records; the kind says which one it is.
class Body {
public:
    Geometry* CreateGeometry();
    Sensor* CreateSensor();
    void UpdateBounds();
    void SetEnabled(int enable, Body* hint);
    bool IsEnabled() const { return enabled != 0; }
    // Groups outside -1..63 are ignored.
    void SetCollisionGroup(int32_t group);
    int32_t GetCollisionGroup() const { return group; }
    void SetUserData(void* data) { userData = data; }
    void* GetUserData() const { return userData; }
    Matrix4 GetWorldTransform() const;
    // v + ω × r for an offset r from the centre of mass; zero for an AnimatedBody.
    void GetPointVelocity(Vector4& out, const Vector4& r) const;
    bool IsInUse() const;
    int32_t GetId() const { return id; }
    int32_t GetKind() const { return kind; }
    Simulator* GetSimulator() const { return simulator; }
    bool IsParticle() const;

    Geometry* FirstGeometry();
    Geometry* NextGeometry();
    int32_t GetGeometryCount() const { return geometries.count; }
    const IntrusiveList<Geometry>& GetGeometries() const { return geometries; }
    const IntrusiveList<Sensor>& GetSensors() const { return sensors; }
    const Geometry& GetHeader() const { return header; }
    const Vector4& GetWorldBoxMin() const { return worldMin; }
    const Vector4& GetWorldBoxMax() const { return worldMax; }

    // Rotation rows and position of the body in the world.
    Matrix3 WorldRotation() const;
    Vector4 WorldPosition() const;

    // Recomputes the world box from the header and writes it into the broadphase endpoints.
    void UpdateWorldBox();
    // True while the world box was computed from the body's present pose and header, so that
    // computing it again would give the same bits.
    bool WorldBoxCurrent() const;
    bool HasWorldBox() const { return geometries.count > 0 || callbackCollision != 0; }
    void ClearSensorHits();
    // Unparks the bodies with a support record on this one: they were parked on its rest.
    void UnparkSupported();
    bool SharesJoint(const Body* other) const;
    // Contacts with a body this one shares a joint with are made only when both allow them.
    void SetCollideWithJointPartners(bool on) { jointedFlags[0] = on ? 1 : 0; }

    // Pieces of releasing a body; Simulator::FreeBody runs them.
    void ReleaseContents();
    void LeaveJointGroup();

    Body* self = this; // JointGroup body-list membership
    Body* groupNext = nullptr;
    Body* groupPrev = nullptr;
    JointListEntry* jointHead = nullptr;
    JointListEntry* jointTail = nullptr;
    int32_t jointCount = 0;
    Geometry* geometryCursor = nullptr;
    void* userData = nullptr;
    Geometry header; // local bounding box of the body, built by UpdateBounds
    IntrusiveList<Geometry> geometries;
    int32_t id = 0;
    int32_t group = 0;
    JointGroup* jointGroup = nullptr;
    int32_t enabled = 1;
    int32_t jointedFlags[2] = {0, 0};
    BroadphaseEntry* broadphaseEntry = nullptr;
    Simulator* simulator = nullptr;
    Vector4 headerAxes[3]; // header rotation rows scaled by the half extents
    Vector4 headerCentre;
    int32_t callbackCollision = 0;
    Vector4 worldMin;
    Vector4 worldMax;
    Endpoint* maxEndpoint[3] = {nullptr, nullptr, nullptr};
    Endpoint* minEndpoint[3] = {nullptr, nullptr, nullptr};
    Vector4 smoothedDisplacement;
    SupportList supportedBy; // records of other bodies resting on this one
    int32_t broadphaseState = kBroadphaseIdle;
    // Read every tick for every body: next to the rigid body's own per-tick fields.
    int32_t kind = kBodyAnimated;
    // The pose the world box was last computed from; boxStale is set when the header changes.
    int32_t boxStale = 1;
    IntrusiveList<Sensor> sensors;
    Matrix3 boxRotation;
    Vector4 boxPosition;

protected:
    Body() = default;
    // The body defaults, shared by both kinds; pool links are left alone.
    void ResetCommon();
    void BuildHeaderGeometry();
    void DeriveWorldHeader();
};

} // namespace Physics
