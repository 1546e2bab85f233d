#pragma once
// The clocks the engine reads: a high-resolution counter for the frame clock and a 32-bit wrapping
// millisecond count. Tests install a fake.
#include <cstdint>

namespace Platform {

class Clock {
public:
    virtual ~Clock() = default;
    // Ticks per second of the high-resolution counter; false when there is none.
    virtual bool CounterFrequency(int64_t& frequency) = 0;
    virtual int64_t Counter() = 0;
    // Milliseconds since some fixed moment, wrapping at 2^32.
    virtual uint32_t Milliseconds() = 0;
};

// The monotonic system clock (nanosecond counter).
class SystemClock final : public Clock {
public:
    bool CounterFrequency(int64_t& frequency) override;
    int64_t Counter() override;
    uint32_t Milliseconds() override;
};

// A clock that moves only when told to; with no counter it behaves like a machine without one.
class FakeClock final : public Clock {
public:
    explicit FakeClock(bool hasCounter = true) : hasCounter_(hasCounter) {}
    bool CounterFrequency(int64_t& frequency) override;
    int64_t Counter() override { return ticks_; }
    uint32_t Milliseconds() override { return static_cast<uint32_t>(ticks_ / 1000000); }
    void Advance(double seconds) { ticks_ += static_cast<int64_t>(seconds * 1e9 + (seconds >= 0 ? 0.5 : -0.5)); }
    void SetMilliseconds(uint32_t ms) { ticks_ = static_cast<int64_t>(ms) * 1000000; }

private:
    bool hasCounter_;
    int64_t ticks_ = 0;
};

// The process-wide clock; the system clock unless a test installed another (null restores it).
Clock& GetClock();
void SetClock(Clock* clock);

} // namespace Platform
