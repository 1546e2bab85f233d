#pragma once
// The player's run recorded as samples every 0.05 s of race time, and a recorded run played back on
// the rival model: the level's race update runs both once a turn.
#include <vector>

#include "Core/Math/Quat.h"
#include "Core/Math/Vector.h"
#include "Core/PGameObject.h"
#include "Race/PReplayFrame.h"

class CPPlayer;

inline constexpr float kReplaySampleInterval = 0.05f;
// The rival runs this far beside its recorded line (in y).
inline constexpr float kRivalSideOffset = 2.5f;

// The car's sample at the race clock: its pose, its front wheels and the rear wheels it drives
// (relative to the car), the vehicle model's dust point, dust flag and throttle flag. Reserved
// bytes stay zero; a part the car lacks leaves its fields at their defaults.
CPReplayFrame SampleRunFrame(const CPPlayer& car, float raceClock);

// Appends a sample when the clock has moved strictly more than the interval past the last sample
// (whose time it then becomes); true when it did. A sample whose pose or whose velocity is not
// finite is skipped (the time still becomes the last sample's).
bool RecordRunFrame(const CPPlayer& car, float raceClock, float& lastSampleTime, std::vector<CPReplayFrame>& frames);

// The rival's pose between two samples a and b at u = (clock - a.time) / (b.time - a.time): the
// position and wheels interpolated, the body turned as b. Wheel 0 is "w0", wheel 1 the rear wheels.
struct RunPose {
    Vec3 position; // on the recorded line (the rival is drawn beside it)
    Quat rotation;
    Vec3 wheelPosition[2];
    Quat wheelRotation[2];
    Vec3 dustPoint;
    const CPReplayFrame* a = nullptr;
    const CPReplayFrame* b = nullptr;
    float u = 0.0f;
};

// Moves the cursor forward to the first sample at or after the clock (never past the last) and
// interpolates there. False, with nothing written, when the run has fewer than two samples, has not
// begun or is over, or gives values that are not finite.
bool InterpolateRun(const std::vector<CPReplayFrame>& frames, float clock, int& cursor, RunPose& pose);

// The rival model driven by a recorded run: its parts are found once, the rear wheels being the ones
// its rear-wheel type shows; a part the model lacks is skipped.
class CPRivalPlayback {
public:
    // The model (null: no rival) and the run it plays; the cursor and the dust timer start over.
    void Bind(const CPRefPtr<CPGameObject>& model, int rearWheelType, std::vector<CPReplayFrame> frames);
    void Restart();
    // One turn of the race update: the dust timer advances, then the rival is placed when the clock
    // lies within its run (its progress along x written then); true when it was placed.
    bool Update(float raceClock, float frameDelta, float& progressX);

    CPGameObject* GetModel() const { return model_.Get(); }
    const std::vector<CPReplayFrame>& GetFrames() const { return frames_; }
    int GetCursor() const { return cursor_; }
    float GetDustTimer() const { return dustTimer_; }
    CPGameObject* GetWheel(int i) const { return wheels_[i].Get(); }

private:
    void Flicker();

    CPRefPtr<CPGameObject> model_;
    CPRefPtr<CPGameObject> wheels_[2];
    CPRefPtr<CPGameObject> biker_, engine1_, engine2_;
    // "flare01", "flare05" | "flare02", "flare06" | "flare03", "flare07", "flare", "flare04".
    CPRefPtr<CPGameObject> flares_[8];
    std::vector<CPReplayFrame> frames_;
    int cursor_ = 0;
    float dustTimer_ = 0.0f;
};
