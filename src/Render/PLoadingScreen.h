#pragma once
// The loading screen of start-up: the publisher's picture with a progress bar along its foot, drawn
// and presented at once, outside the kernel's frames.
//
// Its two textures are loaded on first use and kept: they are managed textures, which survive a
// device reset, so the loading screen needs no part in the reset.
#include <memory>

#include "Platform/Device.h"

class CPLoadingScreen {
public:
    // One frame with the bar up to percent of the width. The states it sets stay behind; the level
    // loader puts back the defaults.
    void Draw(Platform::Device& device, int percent);
    // Lets go of the textures before their device goes.
    void Release() {
        background_.reset();
        bar_.reset();
    }

private:
    // An unreadable file leaves the texture empty; the next call tries again.
    static void Load(Platform::Device& device, std::unique_ptr<Platform::Texture>& texture, const char* path);

    std::unique_ptr<Platform::Texture> background_;
    std::unique_ptr<Platform::Texture> bar_;
};
