#pragma once
// The physics side of a mesh node as the description loader describes it. The race world's physics
// data implements it; the loader never sees the class.
#include "Core/Math/Quat.h"
#include "Core/Math/Vector.h"

class CPPhysicShapes {
public:
    // The body's box sizes (a along x, b the height, c along y) and mass.
    virtual void SetBodyBox(float a, float b, float c, float mass) = 0;
    virtual void AddBoxShape(const Vec3& position, const Quat& rotation, float a, float b, float c, float mass) = 0;
    virtual void AddCylinderShape(const Vec3& position, const Quat& rotation, float diameter, float length,
                                  float mass) = 0;

protected:
    ~CPPhysicShapes() = default;
};
