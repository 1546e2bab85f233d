#pragma once

#include "Physics/Matrix4.h"
#include "Physics/Pool.h"
#include "Physics/Sensor.h"

#include <cstdint>

namespace Physics {

class Body;
class Geometry;

// Working copy of a sensor for one shape: origin and direction in the shape's frame.
struct RayRecord {
    Vector4 origin;
    Vector4 direction;
    float length = 0.0f;
    float hitDepth = 0.0f;
    Vector4 hitNormal;
    Vector4 hitPoint; // shape frame
    int32_t hitMaterial = 0;
};

// Casts every sensor of the list against the other body's shapes and keeps each sensor's nearest
// hit. sensorTransform places the sensors; otherTransform is the other body's world transform.
void CastSensors(const IntrusiveList<Sensor>& sensors, const Matrix4& sensorTransform, const Body& other,
                 const Matrix4& otherTransform, Body* hitBody);

// One ray against one box or triangle mesh; other shape types are ignored.
void CastRay(RayRecord& ray, const Geometry& geometry, const Matrix4& world);

} // namespace Physics
