#pragma once
// The frame's scene pass: walks the render queue layer by layer, with the speed blur and bloom
// inserted where the queue says, while the "bloom" setting is on.
#include "Render/PRenderPass.h"
#include "Render/PRenderQueue.h"

class CPQueuePass : public CPRenderPass {
public:
    explicit CPQueuePass(CPRenderQueue& queue) : queue_(queue) {}
    Stage GetStage() const override { return Stage::Scene; }
    void Draw(Platform::Device& device) override;
    // The blur and bloom the walk runs between layers; none until they exist.
    void SetPostPasses(CPPostPasses* post) { post_ = post; }

private:
    CPRenderQueue& queue_;
    CPPostPasses* post_ = nullptr;
};
