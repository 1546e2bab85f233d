#pragma once
// The full-screen display modes the Options dialog offers.
#include <cstdint>
#include <vector>

namespace Platform {

struct DisplayMode {
    int32_t height = 0;
    int32_t width = 0;
    int32_t bitsPerPixel = 32;
    bool operator==(const DisplayMode&) const = default;
};

// Turns the system's mode list (largest first, as SDL gives it) into the offered list: smallest
// first, only modes of at least 1024 x 768, 32 bits each, and a mode equal to the one listed just
// before it (the same size at another refresh rate or pixel format) listed once.
std::vector<DisplayMode> OrderDisplayModes(const std::vector<DisplayMode>& largestFirst);

// The primary screen's modes, ordered as above; false (and an empty list) when the video system
// cannot start.
bool ListDisplayModes(std::vector<DisplayMode>& modes);

} // namespace Platform
