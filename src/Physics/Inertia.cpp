#include "Physics/Inertia.h"

#include <algorithm>

namespace Physics {

Vector4 BoxInertia(const Vector4& size, float mass) {
    const float s = std::max(size.x, std::max(size.y, size.z));
    const float value = (2.0f / 3.0f) * mass * s * s;
    return {value, value, value, 0.0f};
}

Vector4 CylinderInertia(float diameter, float length, float mass) {
    const float r = diameter * 0.5f;
    const float across = mass * r * r / 4.0f + mass * length * length / 12.0f;
    return {across, mass * r * r / 2.0f, across, 0.0f};
}

} // namespace Physics
