#include "Race/RaceState.h"

#include "Core/PGlobalTimer.h"
#include "Render/PRender.h"
#include "Sound/NSound.h"

RaceStateSnapshot RaceStateSnapshot::Take() {
    RaceStateSnapshot state;
    state.timeScale = TimeScale;
    state.pitch = CNSound::GetGlobalPitch();
    if (const CPRender* render = GetRender()) {
        state.motionBlurAmount = render->IsMotionBlurOn() ? render->GetMotionBlurAmount() : 0.0f;
        state.radialBlur = render->GetRadialBlur();
        state.fade = render->GetFadeLevel() / static_cast<float>(render->GetFadeMaximum());
    }
    return state;
}

void RaceStateSnapshot::Restore() const {
    TimeScale = timeScale;
    CNSound::SetGlobalPitch(pitch);
    if (CPRender* render = GetRender()) {
        render->SetMotionBlur(motionBlurAmount);
        render->SetRadialBlur(radialBlur);
        render->SetFade(fade);
    }
}
