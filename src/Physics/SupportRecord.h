#pragma once

#include "Physics/Vector4.h"

#include <cstdint>

namespace Physics {

class Body;
class RigidBody;
class Simulator;
struct SupportRecord;

// Node by which a support record hangs in its supporter's list of records resting on it.
struct SupportNode {
    SupportRecord* record = nullptr;
    SupportNode* next = nullptr;
    SupportNode* prev = nullptr;
};

struct SupportList {
    SupportNode* head = nullptr;
    SupportNode* tail = nullptr;
    int32_t count = 0;
};

enum SupportClass : int32_t {
    kSupportFree = 0,
    kSupportRigid = 1,
    kSupportStatic = 2, // an AnimatedBody or the world body
};

// One point where the owning RigidBody rests on another body.
struct SupportRecord {
    Vector4 ownerPoint;     // owner's body frame
    Vector4 supporterPoint; // supporter's body frame
    Vector4 ownerWorldPoint;
    Vector4 supporterWorldPoint;
    Vector4 gap;
    Vector4 normal;      // supporter's body frame
    Vector4 worldNormal; // as last computed by GetWorldContact
    float depth = 0.0f;
    float separation = 0.0f;
    float drift = 0.0f;
    int32_t ownerMaterial = 0;
    int32_t supporterMaterial = 0;
    int32_t supportClass = kSupportFree;
    Body* supporter = nullptr;
    SupportNode node;
    RigidBody* owner = nullptr;
    int32_t stamp = 0;

    bool InUse() const { return supportClass != kSupportFree; }

    // Fills a template for RigidBody::StoreSupport.
    void Set(Body* supporterBody, const Vector4& pointOnOwner, const Vector4& pointOnSupporter,
             const Vector4& normalInSupporter, int32_t materialOwner, int32_t materialSupporter);
    static void Assign(SupportRecord& record, RigidBody* owner, const SupportRecord& from);
    void Release();
    bool IsSupportResting() const;
    bool IsSupportValid(const Simulator& simulator) const;
    // Recomputes the world points, gap, separation and drift from both bodies' poses.
    void Update();
    // Refreshes worldNormal and returns the supporter-side point in world space.
    Vector4 GetWorldContact();
};

} // namespace Physics
