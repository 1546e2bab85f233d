#pragma once

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

} // namespace Physics
