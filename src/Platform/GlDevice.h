#pragma once
// The OpenGL 3.3 core backend of the device, on an SDL2 window's context.
#include <memory>

#include "Platform/Device.h"

namespace Platform {

// Null when the video system cannot start. Devices it makes present into the SDL_Window* given as
// the device window, or draw into a hidden window of their own when none is given.
std::unique_ptr<DeviceBackend> CreateGlBackend();

} // namespace Platform
