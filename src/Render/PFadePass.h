#pragma once
// The screen fade: a black quad over the finished scene whose alpha grows as the fade level falls.
#include "Render/PRenderPass.h"

class CPFadePass : public CPRenderPass {
public:
    static constexpr int kFadeMaximum = 256;

    // Clamps the level to 0..1; 1 shows the scene untouched, 0 is black. Not a number changes nothing.
    void SetFade(float level);
    float GetLevel() const { return level_; }
    int GetMaximum() const { return maximum_; }

    Stage GetStage() const override { return Stage::Overlay; }
    // Draws the quad while the fade is below its maximum.
    void Draw(Platform::Device& device) override;
    // Draws the quad at the current level, whatever it is.
    void DrawQuad(Platform::Device& device);

private:
    float level_ = 256.0f;
    int maximum_ = kFadeMaximum;
};
