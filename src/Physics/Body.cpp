#include "Physics/Body.h"

#include "Physics/AnimatedBody.h"
#include "Physics/Joint.h"
#include "Physics/RigidBody.h"
#include "Physics/Simulator.h"

#include <cmath>
#include <cstring>

namespace Physics {

void Body::ResetCommon() {
    self = this;
    groupNext = nullptr;
    groupPrev = nullptr;
    jointHead = nullptr;
    jointTail = nullptr;
    jointCount = 0;
    geometryCursor = nullptr;
    userData = nullptr;
    header.Reset();
    header.next = nullptr;
    header.prev = nullptr;
    geometries.Clear();
    group = 0;
    jointGroup = nullptr;
    enabled = 1;
    jointedFlags[0] = jointedFlags[1] = 0;
    sensors.Clear();
    broadphaseEntry = nullptr;
    callbackCollision = 0;
    worldMin = Vector4();
    worldMax = Vector4();
    for (int i = 0; i < 3; ++i) {
        minEndpoint[i] = nullptr;
        maxEndpoint[i] = nullptr;
    }
    smoothedDisplacement = Vector4();
    supportedBy = SupportList();
    broadphaseState = kBroadphaseIdle;
    // Until UpdateBounds runs the world box is the default unit box around the body.
    DeriveWorldHeader();
}

bool Body::IsInUse() const {
    return kind == kBodyAnimated ? static_cast<const AnimatedBody*>(this)->inUse != 0
                                 : static_cast<const RigidBody*>(this)->inUse != 0;
}

bool Body::IsParticle() const { return kind == kBodyRigid && static_cast<const RigidBody*>(this)->isParticle != 0; }

Matrix3 Body::WorldRotation() const {
    if (kind == kBodyAnimated) {
        return static_cast<const AnimatedBody*>(this)->matrix.Rotation();
    }
    return static_cast<const RigidBody*>(this)->rotation;
}

Vector4 Body::WorldPosition() const {
    if (kind == kBodyAnimated) {
        return static_cast<const AnimatedBody*>(this)->matrix.row[3];
    }
    return static_cast<const RigidBody*>(this)->position;
}

Matrix4 Body::GetWorldTransform() const {
    if (kind == kBodyAnimated) {
        return static_cast<const AnimatedBody*>(this)->matrix;
    }
    const auto* rigid = static_cast<const RigidBody*>(this);
    return Matrix4::FromRotationAndPosition(rigid->rotation, rigid->position);
}

void Body::GetPointVelocity(Vector4& out, const Vector4& r) const {
    if (kind != kBodyRigid) {
        out = Vector4();
        return;
    }
    const auto* rigid = static_cast<const RigidBody*>(this);
    out = rigid->linearVelocity + Cross(rigid->angularVelocity, r);
}

void Body::UnparkSupported() {
    for (SupportNode* n = supportedBy.head; n != nullptr; n = n->next) {
        n->record->owner->Unpark();
    }
}

Geometry* Body::CreateGeometry() {
    if (kind == kBodyRigid) {
        static_cast<RigidBody*>(this)->Unpark();
    }
    Geometry* geometry = simulator->GeometryPool().Take();
    if (geometry == nullptr) {
        simulator->ReportMessage("Run out of Geometries. Increase 'geometriesCount'.\n");
        return nullptr;
    }
    geometry->Reset();
    geometries.Append(geometry);
    if (enabled != 0 && broadphaseEntry == nullptr && this != simulator->GetWorldBody()) {
        simulator->GetBroadphase().Insert(this, nullptr);
    }
    return geometry;
}

Sensor* Body::CreateSensor() {
    if (kind == kBodyRigid) {
        static_cast<RigidBody*>(this)->Unpark();
    }
    Sensor* sensor = simulator->SensorPool().Take();
    if (sensor == nullptr) {
        simulator->ReportMessage("Run out of Sensors. Increase 'sensorsCount'.\n");
        return nullptr;
    }
    sensor->Reset();
    sensors.Append(sensor);
    return sensor;
}

Geometry* Body::FirstGeometry() {
    geometryCursor = geometries.head;
    return geometryCursor;
}

Geometry* Body::NextGeometry() {
    if (geometryCursor != nullptr) {
        geometryCursor = geometryCursor->next;
    }
    return geometryCursor;
}

void Body::BuildHeaderGeometry() {
    if (geometries.count == 1 && geometries.head->type == kGeometryBox) {
        const Geometry* only = geometries.head;
        for (int i = 0; i < 3; ++i) {
            header.param[i] = only->param[i];
        }
        header.local = only->local;
        header.type = kGeometryBox;
        return;
    }
    if (geometries.count == 0) {
        return;
    }
    Vector4 min{1e6f, 1e6f, 1e6f, 0.0f};
    Vector4 max{-1e6f, -1e6f, -1e6f, 0.0f};
    for (const Geometry* g = geometries.head; g != nullptr; g = g->next) {
        Vector4 gMin = min;
        Vector4 gMax = max;
        g->GetLocalBox(gMin, gMax);
        for (int i = 0; i < 3; ++i) {
            min[i] = std::fmin(min[i], gMin[i]);
            max[i] = std::fmax(max[i], gMax[i]);
        }
    }
    header.local = Matrix4::Identity();
    header.type = kGeometryBox;
    for (int i = 0; i < 3; ++i) {
        const float half = (max[i] - min[i]) * 0.5f;
        header.param[i] = half;
        header.local.row[3][i] = min[i] + half;
    }
}

void Body::DeriveWorldHeader() {
    if (kind == kBodyRigid) {
        static_cast<RigidBody*>(this)->Unpark();
    }
    for (int k = 0; k < 3; ++k) {
        headerAxes[k] = header.local.row[k] * header.param[k];
        headerAxes[k].w = 0.0f;
    }
    headerCentre = header.local.row[3];
    headerCentre.w = 0.0f;
    boxStale = 1;
}

bool Body::WorldBoxCurrent() const {
    if (boxStale != 0) {
        return false;
    }
    const Matrix3 r = WorldRotation();
    const Vector4 x = WorldPosition();
    // Bytes, not values: a pose that compares equal but differs in a bit (a sign of zero) counts as moved.
    return std::memcmp(&r, &boxRotation, sizeof(r)) == 0 && std::memcmp(&x, &boxPosition, sizeof(x)) == 0;
}

void Body::UpdateBounds() {
    BuildHeaderGeometry();
    Vector4 min;
    Vector4 max;
    header.GetLocalBox(min, max);
    for (const Sensor* s = sensors.head; s != nullptr; s = s->next) {
        const Vector4 ends[2] = {s->origin, s->origin + s->direction};
        for (const Vector4& p : ends) {
            for (int i = 0; i < 3; ++i) {
                min[i] = std::fmin(min[i], p[i]);
                max[i] = std::fmax(max[i], p[i]);
            }
        }
    }
    for (int i = 0; i < 3; ++i) {
        const float half = (max[i] - min[i]) * 0.5f;
        header.param[i] = half;
        header.local.row[3][i] = min[i] + half;
    }
    DeriveWorldHeader();
}

void Body::UpdateWorldBox() {
    if (!HasWorldBox()) {
        return;
    }
    const Matrix3 r = WorldRotation();
    const Vector4 x = WorldPosition();
    boxRotation = r;
    boxPosition = x;
    boxStale = 0;
    Vector4 axes[3];
    for (int k = 0; k < 3; ++k) {
        axes[k] = headerAxes[k] * r;
    }
    const Vector4 centre = headerCentre * r + x;
    // Per axis by member rather than by index: this runs for every awake body on every tick.
    const float extent[3] = {std::fabs(axes[0].x) + std::fabs(axes[1].x) + std::fabs(axes[2].x),
                             std::fabs(axes[0].y) + std::fabs(axes[1].y) + std::fabs(axes[2].y),
                             std::fabs(axes[0].z) + std::fabs(axes[1].z) + std::fabs(axes[2].z)};
    worldMin.x = centre.x - extent[0];
    worldMax.x = centre.x + extent[0];
    worldMin.y = centre.y - extent[1];
    worldMax.y = centre.y + extent[1];
    worldMin.z = centre.z - extent[2];
    worldMax.z = centre.z + extent[2];
    const float mins[3] = {worldMin.x, worldMin.y, worldMin.z};
    const float maxs[3] = {worldMax.x, worldMax.y, worldMax.z};
    for (int i = 0; i < 3; ++i) {
        bool changed = false;
        if (minEndpoint[i] != nullptr) {
            changed = std::memcmp(&minEndpoint[i]->value, &mins[i], sizeof(float)) != 0;
            minEndpoint[i]->value = mins[i];
        }
        if (maxEndpoint[i] != nullptr) {
            changed = changed || std::memcmp(&maxEndpoint[i]->value, &maxs[i], sizeof(float)) != 0;
            maxEndpoint[i]->value = maxs[i];
        }
        // The axis re-sorts only when one of its values moved.
        if (changed) {
            simulator->GetBroadphase().Axis(i).MarkDirty();
        }
    }
}

void Body::SetEnabled(int enable, Body* hint) {
    if (this == simulator->GetWorldBody()) {
        return;
    }
    if (enabled != 0 && enable == 0) {
        simulator->MoveBodyToList(this, false);
        if (broadphaseEntry != nullptr) {
            simulator->GetBroadphase().Remove(this);
        }
        enabled = 0;
    } else if (enabled == 0 && enable != 0) {
        simulator->MoveBodyToList(this, true);
        if (HasWorldBox()) {
            simulator->GetBroadphase().Insert(this, hint);
        }
        enabled = 1;
    }
}

void Body::SetCollisionGroup(int32_t g) {
    if (!CollisionGroupMatrix::IsValidGroup(g)) {
        return;
    }
    group = g;
}

void Body::ClearSensorHits() {
    for (Sensor* s = sensors.head; s != nullptr; s = s->next) {
        s->ClearHit();
    }
}

bool Body::SharesJoint(const Body* other) const {
    for (const JointListEntry* e = jointHead; e != nullptr; e = e->next) {
        for (const JointListEntry* o = other->jointHead; o != nullptr; o = o->next) {
            if (o->joint == e->joint) {
                return true;
            }
        }
    }
    return false;
}

void Body::ReleaseContents() {
    while (sensors.head != nullptr) {
        Sensor* s = sensors.head;
        sensors.Unlink(s);
        simulator->SensorPool().Return(s);
    }
    if (broadphaseEntry != nullptr) {
        simulator->GetBroadphase().Remove(this);
    }
    while (geometries.head != nullptr) {
        Geometry* g = geometries.head;
        geometries.Unlink(g);
        simulator->GeometryPool().Return(g);
    }
    geometryCursor = nullptr;
    // Each joint leaves both its bodies and its group; the partner and the group go on.
    while (jointHead != nullptr) {
        simulator->DetachJoint(jointHead->joint);
    }
    while (supportedBy.head != nullptr) {
        supportedBy.head->record->Release();
    }
}

void Body::LeaveJointGroup() {
    JointGroup* g = jointGroup;
    if (g == nullptr) {
        return;
    }
    if (groupPrev != nullptr) {
        groupPrev->groupNext = groupNext;
    } else {
        g->bodyHead = groupNext;
    }
    if (groupNext != nullptr) {
        groupNext->groupPrev = groupPrev;
    } else {
        g->bodyTail = groupPrev;
    }
    groupNext = nullptr;
    groupPrev = nullptr;
    --g->bodyCount;
    g->state = 2;
    jointGroup = nullptr;
    Pool<JointGroup>& pool = simulator->JointGroupPool();
    if (g->bodyCount == 0 && pool.Contains(g) && g->inUse != 0) {
        pool.Return(g);
    }
}

} // namespace Physics
