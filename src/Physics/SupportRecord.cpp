#include "Physics/SupportRecord.h"

#include "Physics/AnimatedBody.h"
#include "Physics/RigidBody.h"
#include "Physics/Simulator.h"

namespace Physics {

void SupportRecord::Set(Body* supporterBody, const Vector4& pointOnOwner, const Vector4& pointOnSupporter,
                        const Vector4& normalInSupporter, int32_t materialOwner, int32_t materialSupporter) {
    supporter = supporterBody;
    ownerPoint = pointOnOwner;
    supporterPoint = pointOnSupporter;
    normal = normalInSupporter;
    ownerMaterial = materialOwner;
    supporterMaterial = materialSupporter;
}

void SupportRecord::Assign(SupportRecord& record, RigidBody* owner, const SupportRecord& from) {
    record.ownerPoint = from.ownerPoint;
    record.supporterPoint = from.supporterPoint;
    record.supporter = from.supporter;
    record.normal = from.normal;
    record.depth = from.depth;
    record.ownerMaterial = from.ownerMaterial;
    record.supporterMaterial = from.supporterMaterial;
    owner->Unpark();
    record.owner = owner;
    record.stamp = owner->simulator->GetStepCount();
    record.supportClass =
        from.supporter != nullptr && from.supporter->kind == kBodyRigid ? kSupportRigid : kSupportStatic;

    record.node.record = &record;
    record.node.next = nullptr;
    record.node.prev = nullptr;
    if (record.supporter != nullptr) {
        SupportList& list = record.supporter->supportedBy;
        record.node.prev = list.tail;
        if (list.tail != nullptr) {
            list.tail->next = &record.node;
        } else {
            list.head = &record.node;
        }
        list.tail = &record.node;
        ++list.count;
    }
}

void SupportRecord::Release() {
    if (owner != nullptr) {
        owner->Unpark();
    }
    if (supporter != nullptr) {
        SupportList& list = supporter->supportedBy;
        if (node.prev != nullptr) {
            node.prev->next = node.next;
        } else {
            list.head = node.next;
        }
        if (node.next != nullptr) {
            node.next->prev = node.prev;
        } else {
            list.tail = node.prev;
        }
        --list.count;
    }
    node.next = nullptr;
    node.prev = nullptr;
    supportClass = kSupportFree;
    stamp = 0;
    supporter = nullptr;
}

bool SupportRecord::IsSupportResting() const {
    if (supporter == nullptr) {
        return false;
    }
    if (supporter->kind == kBodyRigid) {
        return static_cast<const RigidBody*>(supporter)->IsAsleep();
    }
    return static_cast<const AnimatedBody*>(supporter)->moved == 0;
}

bool SupportRecord::IsSupportValid(const Simulator& simulator) const {
    if (supporter == simulator.GetWorldBody()) {
        return true;
    }
    return supporter != nullptr && supporter->IsInUse() && supporter->IsEnabled();
}

Vector4 SupportRecord::GetWorldContact() {
    const Matrix3 r = supporter->WorldRotation();
    worldNormal = normal * r;
    return supporterPoint * r + supporter->WorldPosition();
}

} // namespace Physics
