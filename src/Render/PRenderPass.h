#pragma once
// One pass of the renderer's frame. The frame opens the scene and clears it, then draws its passes
// stage by stage, each stage's passes in the order they were added, and presents.
#include "Platform/Device.h"

class CPRenderPass {
public:
    // Where in the frame a pass draws.
    enum class Stage {
        Background, // after the clear, in its own view and projection (the sky)
        Scene,      // in the scene's vertex format (the render queue, with its post passes)
        Overlay,    // over the finished scene, once the frame's lights are spent (the fade)
    };

    virtual ~CPRenderPass() = default;
    virtual Stage GetStage() const = 0;
    // Draws into the open scene of the current frame.
    virtual void Draw(Platform::Device& device) = 0;
};

// Told the name of each piece of the frame as it begins, and "end" once the frame is presented, so
// that a benchmark can time the frame piece by piece. Null, as it starts, tells nothing.
using FramePassMark = void (*)(const char* pass);
void SetFramePassMark(FramePassMark mark);
void MarkFramePass(const char* pass);
