#pragma once

#include <cstdint>

namespace Physics {

// Optional timing record a caller may pass to Simulator::Step. Word layout:
// [0] result seconds, [1]..[9] cleared per profiled step, [10] running sum,
// [20] mode (1 = last step, else running average), [21] running count.
struct StepStats {
    float result = 0.0f;
    float cleared[9] = {};
    float sum = 0.0f;
    int32_t unused[9] = {};
    int32_t mode = 0;
    int32_t count = 0;
};

static_assert(sizeof(StepStats) == 22 * 4);

} // namespace Physics
