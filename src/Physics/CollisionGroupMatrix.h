#pragma once

#include <cstdint>

namespace Physics {

// Values for pairs of collision groups 0..63, plus a row for "no group" (-1: bodies without a
// group and the static world). Bit 0: make contacts; bit 1: report them; 0: ignore the pair.
class CollisionGroupMatrix {
public:
    static constexpr int kGroupCount = 64;
    static constexpr int32_t kCollide = 1;
    static constexpr int32_t kReport = 2;

    CollisionGroupMatrix();

    void Set(int a, int b, int32_t value);
    int32_t Get(int a, int b) const;

    static bool IsValidGroup(int group) { return group >= -1 && group < kGroupCount; }

private:
    int32_t pair_[kGroupCount][kGroupCount];
    int32_t noGroup_[kGroupCount];
};

} // namespace Physics
