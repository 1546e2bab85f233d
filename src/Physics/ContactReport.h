#pragma once

#include "Physics/Vector4.h"

#include <cstdint>

namespace Physics {

class Body;
class Geometry;

// What the contact callback receives for each reported contact; valid only during the call.
struct ContactReport {
    Body* bodyA = nullptr;
    Body* bodyB = nullptr;
    int32_t codeA = 0; // 1 RigidBody, 2 AnimatedBody, 0 static world
    int32_t codeB = 0;
    Geometry* geometryA = nullptr;
    Geometry* geometryB = nullptr;
    int32_t materialA = 0;
    int32_t materialB = 0;
    Vector4 localPointA;
    Vector4 localPointB;
    Vector4 worldPointA;
    Vector4 worldPointB;
    Vector4 relativeVelocity;
    Vector4 normal; // from B towards A
};

} // namespace Physics
