#pragma once

#include "Physics/Vector4.h"

#include <cstdint>

namespace Physics {

class Body;
class AnimatedBody;

// A ray fixed to a body, in the body's frame, with the nearest hit of the current tick.
class Sensor {
public:
    void SetRay(const Vector4& origin, const Vector4& direction);

    const Vector4& GetOrigin() const { return origin; }
    const Vector4& GetDirection() const { return direction; }
    float GetHitDepth() const { return hitDepth; }
    const Vector4& GetHitNormal() const { return hitNormal; }
    const Vector4& GetHitPoint() const { return hitPoint; }
    int32_t GetHitMaterial() const { return hitMaterial; }
    Body* GetHitBody() const { return hitBody; }
    // The hit body unless it is a RigidBody; null without a hit.
    AnimatedBody* GetHitAnimatedBody() const;

    void ClearHit() {
        hitDepth = 0.0f;
        hitBody = nullptr;
    }
    // Every field zero: a fresh or reused slot never shows an old ray or a freed body.
    void Reset();

    Vector4 origin;
    Vector4 direction; // its length is the ray's length
    Vector4 unitDirection;
    float length = 0.0f;
    Vector4 hitNormal;
    Vector4 hitPoint;
    float hitDepth = 0.0f; // ray length beyond the hit point; 0 means no hit
    int32_t hitMaterial = 0;
    Body* hitBody = nullptr;

    // Pool links; while owned they chain the body's sensor list.
    Sensor* next = nullptr;
    Sensor* prev = nullptr;
    uint8_t inUse = 0;
};

} // namespace Physics
