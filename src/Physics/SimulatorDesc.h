#pragma once

#include <cstdint>

namespace Physics {

// Pool capacities of a simulator, fixed at creation. Twelve int32 in this order.
struct SimulatorDesc {
    int32_t rigidBodiesCount = 0;
    int32_t animatedBodiesCount = 0;
    int32_t rigidParticleCount = 0;
    int32_t constraintSetsCount = 0; // the Controller pool
    int32_t overlapPairsCount = 0;
    int32_t geometriesCount = 0;
    int32_t jointsCount = 0;
    int32_t jointGroupsCount = 0;
    int32_t reserved8 = 0;
    int32_t sensorsCount = 0;
    int32_t reserved10 = 0;
    int32_t reserved11 = 0;
};

static_assert(sizeof(SimulatorDesc) == 12 * sizeof(int32_t));

} // namespace Physics
