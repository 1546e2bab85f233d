#pragma once

#include "Physics/Vector4.h"

#include <cstdint>

namespace Physics {

// 1 when the origin lies inside the triangle a, b, c (x and y only) grown by 10% about its centroid.
int32_t PointInEnlargedTriangle(const Vector4& a, const Vector4& b, const Vector4& c);

} // namespace Physics
