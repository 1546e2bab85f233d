#include "Core/PGlobalTimer.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "Platform/Clock.h"

int FrameCounter = 0;
float FrameDelta = 0.0f;
double TotalTime = 0.0;
float TimeScale = 1.0f;
bool AppActive = true;

namespace {

float FixedFrameFromEnvironment() {
    const char* text = std::getenv("VASTREL_FRAME_DT");
    if (!text || !*text) return -1.0f;
    char* end = nullptr;
    double value = std::strtod(text, &end);
    if (end == text || !std::isfinite(value) || value < 0.0) return -1.0f;
    return static_cast<float>(value);
}

// The clock every reader sees while frames are fixed; it starts at 0 with each timer so that two
// runs of one process read the same values.
Platform::FakeClock g_steppedClock;

} // namespace

CPGlobalTimer::CPGlobalTimer() : fixedFrame_(FixedFrameFromEnvironment()) {
    priority_ = kDefaultPriority;
    if (fixedFrame_ >= 0.0f) {
        // Whole milliseconds: the real time a race reads is then the same every turn.
        fixedStepMs_ = static_cast<uint32_t>(std::lround(std::min(static_cast<double>(fixedFrame_) * 1000.0, 1e9)));
        g_steppedClock.SetMilliseconds(0);
        Platform::SetClock(&g_steppedClock);
    }
}

CPGlobalTimer::~CPGlobalTimer() {
    if (&Platform::GetClock() == &g_steppedClock) Platform::SetClock(nullptr);
}

int64_t CPGlobalTimer::Read() const {
    Platform::Clock& clock = Platform::GetClock();
    if (highResolution_) return clock.Counter();
    // The millisecond clock wraps at 32 bits; its reading is taken as a signed 32-bit value.
    return static_cast<int64_t>(static_cast<int32_t>(clock.Milliseconds()));
}

bool CPGlobalTimer::Start() {
    if (!startedOnce_) {
        FrameCounter = 0;
        TotalTime = 0.0;
    }
    startedOnce_ = true;
    // The clock is reset even when the start below is refused.
    highResolution_ = Platform::GetClock().CounterFrequency(frequency_);
    last_ = Read();
    FrameDelta = 0.0f;
    return CPTask::Start();
}

void CPGlobalTimer::Update() {
    ++FrameCounter;
    int64_t reading = Read();
    float raw;
    if (highResolution_)
        raw = static_cast<float>(static_cast<double>(reading - last_) / static_cast<double>(frequency_));
    else raw = static_cast<float>(static_cast<double>(reading - last_) * 0.001);
    last_ = reading;
    if (fixedFrame_ >= 0.0f) {
        raw = fixedFrame_;
        if (&Platform::GetClock() == &g_steppedClock)
            g_steppedClock.SetMilliseconds(g_steppedClock.Milliseconds() + fixedStepMs_);
    }
    FrameDelta = raw * TimeScale;
    TotalTime += FrameDelta;
}

void CPGlobalTimer::Resume() { last_ = Read(); }
