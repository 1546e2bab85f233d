#pragma once
// The main window on SDL2: made for an OpenGL 3.3 core context (the device creates the context on
// it later), with our own icon, text input on and no system cursor over it (the game draws one).
#include <string>

#include "Platform/Window.h"

struct SDL_Window;

namespace Platform {

class SdlWindow final : public Window {
public:
    SdlWindow() = default;
    ~SdlWindow() override;
    SdlWindow(const SdlWindow&) = delete;
    SdlWindow& operator=(const SdlWindow&) = delete;

    bool Create(const std::string& title, int width, int height, bool windowed) override;
    void Show() override;
    void Destroy() override;
    bool IsCreated() const override { return window_ != nullptr; }
    bool PrimaryScreenSize(int& width, int& height) override;

    // The SDL window, for the GL device and the input system of the platform layer.
    SDL_Window* GetSdlWindow() const { return window_; }

private:
    SDL_Window* window_ = nullptr;
    bool videoStarted_ = false;
};

} // namespace Platform
