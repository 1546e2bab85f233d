#pragma once
// The OpenGL 3.3 core backend of the device, on an SDL2 window's context.
#include <memory>

#include "Platform/Device.h"

namespace Platform {

// Null when the video system cannot start. Devices it makes present into the SDL_Window* given as
// the device window, or draw into a hidden window of their own when none is given.
std::unique_ptr<DeviceBackend> CreateGlBackend();

// How devices made from now on draw the frame. Both off is the frame as it was drawn before (one
// general fixed-function program), which tests hold the picture against and benchmarks measure
// each lever by.
struct GlFramePath {
    // The back buffer laid out as the render targets are, so that effects may sample it instead of
    // copying it. Off: drawn turned over, a few edge pixels of the race frame come out 2/255 off.
    bool sampleBackBuffer = false;
    // Fixed-function programs made for the stage and pixel states of each draw.
    bool fixedVariants = true;
};
void SetGlFramePath(const GlFramePath& path);

} // namespace Platform
