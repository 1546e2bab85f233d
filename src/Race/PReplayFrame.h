#pragma once
// One sample of a car's run, taken every 0.05 s of race time. The same 160 bytes in memory, in the
// level records and in the save slots (little-endian; the engine runs on little-endian machines).
#include <bit>
#include <cmath>
#include <cstdint>

struct CPReplayFrame {
    float position[3] = {0, 0, 0};
    float rotation[4] = {0, 0, 0, 1}; // quaternion x, y, z, w
    float time = 0;                   // race clock at the sample
    float w0Position[3] = {0, 0, 0};  // front wheels, relative to the car
    float w0Rotation[4] = {0, 0, 0, 1};
    float w2Position[3] = {0, 0, 0}; // rear wheels
    float w2Rotation[4] = {0, 0, 0, 1};
    float dustPoint[3] = {0, 0, 0};
    uint8_t reserved1[44] = {};
    int32_t dustFlag = 0;
    uint8_t reserved2[8] = {};
    int32_t throttle = 0; // 1 while the throttle input is above 0
};

static_assert(sizeof(CPReplayFrame) == 160, "the replay frame is a fixed file layout");
static_assert(std::endian::native == std::endian::little, "replay frames are stored as they lie in memory");

// Every number of the frame is finite: the save reader refuses a frame that is not.
inline bool IsFiniteFrame(const CPReplayFrame& f) {
    const float* values[] = {f.position,   f.rotation,   &f.time,      f.w0Position,
                             f.w0Rotation, f.w2Position, f.w2Rotation, f.dustPoint};
    const int counts[] = {3, 4, 1, 3, 4, 3, 4, 3};
    for (int i = 0; i < 8; ++i)
        for (int j = 0; j < counts[i]; ++j)
            if (!std::isfinite(values[i][j])) return false;
    return true;
}
