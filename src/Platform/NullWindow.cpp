#include "Platform/NullWindow.h"

namespace Platform {

namespace {
void Record(std::string& calls, const char* call) {
    if (!calls.empty()) calls += ' ';
    calls += call;
}
} // namespace

bool NullWindow::Create(const std::string& caption, int clientWidth, int clientHeight, bool isWindowed) {
    Record(calls, "create");
    if (failCreate) return false;
    title = caption;
    width = clientWidth;
    height = clientHeight;
    windowed = isWindowed;
    x = windowed ? CentredPosition(screenWidth, width) : 0;
    y = windowed ? CentredPosition(screenHeight, height) : 0;
    created_ = true;
    return true;
}

void NullWindow::Show() { Record(calls, "show"); }

void NullWindow::Destroy() {
    Record(calls, "destroy");
    created_ = false;
}

bool NullWindow::PrimaryScreenSize(int& screenW, int& screenH) {
    screenW = screenWidth;
    screenH = screenHeight;
    return true;
}

} // namespace Platform
