#pragma once
// The program's one main window.
#include <string>

namespace Platform {

class Window {
public:
    virtual ~Window() = default;
    // Creates the window, hidden, with a client area of width x height: windowed (resizable and
    // centred on the primary screen) or covering the desktop in full screen. False on failure.
    virtual bool Create(const std::string& title, int width, int height, bool windowed) = 0;
    virtual void Show() = 0;
    virtual void Destroy() = 0;
    virtual bool IsCreated() const = 0;
    // The primary screen's size in pixels; false when it is unknown.
    virtual bool PrimaryScreenSize(int& width, int& height) = 0;
};

// The position that centres a window extent on a screen extent; the division truncates toward
// zero, so a window larger than the screen starts left of (or above) it by half the difference.
constexpr int CentredPosition(int screenExtent, int windowExtent) { return (screenExtent - windowExtent) / 2; }

} // namespace Platform
