#include "Platform/SdlWindow.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace Platform {

namespace {
// A 32 x 32 icon drawn in code: a light "V" on a dark rounded square, RGBA bytes.
std::vector<uint8_t> MakeIcon(int size) {
    std::vector<uint8_t> pixels(static_cast<size_t>(size) * size * 4, 0);
    const double s = size;
    // Distance from (px, py) to the segment (ax, ay)-(bx, by).
    auto segment = [](double px, double py, double ax, double ay, double bx, double by) {
        const double dx = bx - ax, dy = by - ay;
        double t = ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy);
        t = t < 0 ? 0 : (t > 1 ? 1 : t);
        return std::hypot(px - (ax + t * dx), py - (ay + t * dy));
    };
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const double px = x + 0.5, py = y + 0.5;
            uint8_t* p = &pixels[(static_cast<size_t>(y) * size + x) * 4];
            // Rounded square: corners cut at a radius of a sixth of the size.
            const double r = s / 6, cx = std::clamp(px, r, s - r), cy = std::clamp(py, r, s - r);
            if (std::hypot(px - cx, py - cy) > r) continue;
            const double stroke = std::min(segment(px, py, s * 0.22, s * 0.2, s * 0.5, s * 0.8),
                                           segment(px, py, s * 0.78, s * 0.2, s * 0.5, s * 0.8));
            const bool onV = stroke < s * 0.09;
            p[0] = onV ? 250 : 24;
            p[1] = onV ? 170 : 28;
            p[2] = onV ? 40 : 40;
            p[3] = 255;
        }
    }
    return pixels;
}

void SetIcon(SDL_Window* window) {
    constexpr int kSize = 32;
    std::vector<uint8_t> pixels = MakeIcon(kSize);
    SDL_Surface* icon =
        SDL_CreateRGBSurfaceWithFormatFrom(pixels.data(), kSize, kSize, 32, kSize * 4, SDL_PIXELFORMAT_RGBA32);
    if (!icon) return;
    SDL_SetWindowIcon(window, icon);
    SDL_FreeSurface(icon);
}
} // namespace

SdlWindow::~SdlWindow() { Destroy(); }

bool SdlWindow::Create(const std::string& title, int width, int height, bool windowed) {
    if (window_) return false;
    if (!videoStarted_) {
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
        videoStarted_ = true;
    }
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);

    Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN;
    int x = SDL_WINDOWPOS_UNDEFINED_DISPLAY(0), y = SDL_WINDOWPOS_UNDEFINED_DISPLAY(0);
    int screenWidth, screenHeight;
    if (windowed) {
        flags |= SDL_WINDOW_RESIZABLE;
        if (PrimaryScreenSize(screenWidth, screenHeight)) {
            x = CentredPosition(screenWidth, width);
            y = CentredPosition(screenHeight, height);
        }
    } else {
        flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
    }
    window_ = SDL_CreateWindow(title.c_str(), x, y, width, height, flags);
    if (!window_) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        videoStarted_ = false;
        return false;
    }
    SetIcon(window_);
    SDL_ShowCursor(SDL_DISABLE);
    SDL_StartTextInput();
    return true;
}

void SdlWindow::Show() {
    if (window_) SDL_ShowWindow(window_);
}

void SdlWindow::Destroy() {
    if (window_) {
        SDL_StopTextInput();
        SDL_DestroyWindow(window_);
        window_ = nullptr;
    }
    if (videoStarted_) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        videoStarted_ = false;
    }
}

bool SdlWindow::PrimaryScreenSize(int& width, int& height) {
    SDL_DisplayMode mode{};
    if (SDL_GetDesktopDisplayMode(0, &mode) != 0) return false;
    width = mode.w;
    height = mode.h;
    return true;
}

} // namespace Platform
