#pragma once
// The application's platform on SDL2, as the program runs: the main window, its messages and the
// keyboard and mouse they feed, and the OpenGL device presenting into that window. The caller adds
// the dialogs, the sound device and any start button.
#include <memory>

#include "Application/PApplication.h"

namespace Platform {
class InputReplay;
}

// With a replay, each message source made plays its own copy of it.
ApplicationPlatform SdlApplicationPlatform(std::shared_ptr<const Platform::InputReplay> replay = nullptr);
