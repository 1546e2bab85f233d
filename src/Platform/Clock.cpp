#include "Platform/Clock.h"

#include <ctime>

namespace Platform {

namespace {
SystemClock g_systemClock;
Clock* g_clock = &g_systemClock;

int64_t MonotonicNanoseconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}
} // namespace

bool SystemClock::CounterFrequency(int64_t& frequency) {
    frequency = 1000000000;
    return true;
}

int64_t SystemClock::Counter() { return MonotonicNanoseconds(); }

uint32_t SystemClock::Milliseconds() { return static_cast<uint32_t>(MonotonicNanoseconds() / 1000000); }

bool FakeClock::CounterFrequency(int64_t& frequency) {
    if (!hasCounter_) return false;
    frequency = 1000000000;
    return true;
}

Clock& GetClock() { return *g_clock; }

void SetClock(Clock* clock) { g_clock = clock ? clock : &g_systemClock; }

} // namespace Platform
