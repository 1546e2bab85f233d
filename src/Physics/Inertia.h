#pragma once

#include "Physics/Vector4.h"

namespace Physics {

// Diagonal inertia with every component (2/3) · mass · s², s the largest size component.
Vector4 BoxInertia(const Vector4& size, float mass);

// Solid cylinder along the local y axis.
Vector4 CylinderInertia(float diameter, float length, float mass);

} // namespace Physics
