#pragma once

#include "Physics/Vector4.h"

#include <cstddef>
#include <cstdint>

namespace Physics {

// One static-world triangle as the game hands it over: 24 bytes, six int32.
struct CollisionTriangle {
    int32_t vertex[3];
    int32_t material;
    int32_t testMode; // 0 full test, 1 corner test for boxes, other: no box or capsule test
    int32_t userValue;
};

static_assert(sizeof(CollisionTriangle) == 24);

// Vertex `index` of a static-world vertex array (four floats per vertex, w unused).
inline Vector4 Vertex(const float* vertices, int32_t index) {
    const float* v = vertices + 4 * static_cast<std::ptrdiff_t>(index);
    return {v[0], v[1], v[2], 0.0f};
}

} // namespace Physics
