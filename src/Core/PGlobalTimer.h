#pragma once
// The frame clock and the frame globals every per-frame computation reads.
#include <cstdint>

#include "Core/PSingleton.h"
#include "Core/PTask.h"

extern int FrameCounter; // timer updates since the timer first started
extern float FrameDelta; // last frame in seconds, already scaled by TimeScale; 0 while inactive
extern double TotalTime; // sum of every FrameDelta since the timer first started
extern float TimeScale;  // game-time factor, 1 at start
extern bool AppActive;   // written by the main window's procedure; no task runs while false

class CPGlobalTimer : public CPTask, public CPSingleton<CPGlobalTimer> {
public:
    CPGlobalTimer();
    ~CPGlobalTimer() override;

    bool Start() override;
    void Update() override;
    void Resume() override;
    int GetTaskKind() const override { return KindSystem; }
    int GetObjectSize() const override { return sizeof(*this); }
    const char* GetTypeName() const override { return "CPGlobalTimer"; }

    bool IsHighResolution() const { return highResolution_; }

private:
    int64_t Read() const;

    bool highResolution_ = true;
    int64_t frequency_ = 0;
    int64_t last_ = 0;
    bool startedOnce_ = false;
    // VASTREL_FRAME_DT: when set, every frame lasts exactly this long (automated runs), and the
    // millisecond clock moves by the same step each turn, so seeds and real times repeat.
    float fixedFrame_ = -1.0f;
    uint32_t fixedStepMs_ = 0;
};

inline CPGlobalTimer* GetGlobalTimer() { return CPSingleton<CPGlobalTimer>::Instance(); }
