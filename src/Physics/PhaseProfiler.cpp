#include "Physics/PhaseProfiler.h"

#include <chrono>

namespace Physics {

namespace {

// Kept out of line so calibration measures a real call.
[[gnu::noinline]] void EmptyCall() { asm volatile(""); }

} // namespace

int64_t PhaseProfiler::ReadCounter() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

PhaseProfiler::PhaseProfiler() {
    frequency_ = 1000000000; // the counter runs in nanoseconds
    overhead_ = 200;
    for (int i = 0; i < 20; ++i) {
        const int64_t a = ReadCounter();
        EmptyCall();
        const int64_t d = ReadCounter() - a;
        if (d >= 0 && d < overhead_) {
            overhead_ = d;
        }
    }
    auto upper = static_cast<uint64_t>(frequency_) >> 32;
    shift_ = 0;
    while (upper != 0) {
        ++shift_;
        upper >>= 1;
    }
}

void PhaseProfiler::Start() {
    for (float& a : accumulators_) {
        a = 0.0f;
    }
    last_ = ReadCounter();
}

void PhaseProfiler::Lap(int phase) {
    const int64_t now = ReadCounter();
    const int64_t frequency = frequency_ >> shift_;
    float elapsed = 0.0f;
    if (frequency != 0) {
        elapsed = static_cast<float>((now >> shift_) - (last_ >> shift_) - overhead_) / static_cast<float>(frequency);
    }
    last_ = now;
    accumulators_[phase] += elapsed;
}

float PhaseProfiler::Total() const {
    float total = 0.0f;
    for (float a : accumulators_) {
        total += a;
    }
    return total;
}

} // namespace Physics
