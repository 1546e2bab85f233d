#include "Platform/DisplayModes.h"

#include <SDL.h>

namespace Platform {

std::vector<DisplayMode> OrderDisplayModes(const std::vector<DisplayMode>& largestFirst) {
    std::vector<DisplayMode> modes;
    for (auto it = largestFirst.rbegin(); it != largestFirst.rend(); ++it) {
        if (it->width < 1024 || it->height < 768) continue;
        const DisplayMode mode{it->height, it->width, 32};
        if (!modes.empty() && modes.back() == mode) continue;
        modes.push_back(mode);
    }
    return modes;
}

bool ListDisplayModes(std::vector<DisplayMode>& modes) {
    modes.clear();
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
    std::vector<DisplayMode> system;
    const int count = SDL_GetNumDisplayModes(0);
    for (int i = 0; i < count; ++i) {
        SDL_DisplayMode mode{};
        if (SDL_GetDisplayMode(0, i, &mode) != 0) continue;
        system.push_back({mode.h, mode.w, static_cast<int32_t>(SDL_BITSPERPIXEL(mode.format))});
    }
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    modes = OrderDisplayModes(system);
    return true;
}

} // namespace Platform
