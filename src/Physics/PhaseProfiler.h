#pragma once

#include <cstdint>

namespace Physics {

// Per-phase time accumulators of Simulator::Step, used only when the caller passes StepStats.
class PhaseProfiler {
public:
    static constexpr int kPhaseCount = 9;

    enum Phase {
        kForces = 0,
        kPositions = 1,
        kJointPostStep = 2,
        kStackSolveInner = 3,
        kStacks = 4,
        kBroadphase = 5,
        kPairContacts = 6,
        kStaticContacts = 7,
        kStaticInner = 8,
    };

    PhaseProfiler();

    void Start();
    // Adds the time since the previous lap to one phase.
    void Lap(int phase);
    float Total() const;
    float Accumulated(int phase) const { return accumulators_[phase]; }

private:
    static int64_t ReadCounter();

    float accumulators_[kPhaseCount] = {};
    int64_t frequency_ = 0;
    int shift_ = 0;
    int64_t overhead_ = 0;
    int64_t last_ = 0;
};

} // namespace Physics
