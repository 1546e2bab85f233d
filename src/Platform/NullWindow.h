#pragma once
// A window that only records what it was asked, for tests. It can be told to fail creation.
#include <string>

#include "Platform/Window.h"

namespace Platform {

class NullWindow final : public Window {
public:
    bool Create(const std::string& title, int width, int height, bool windowed) override;
    void Show() override;
    void Destroy() override;
    bool IsCreated() const override { return created_; }
    bool PrimaryScreenSize(int& width, int& height) override;

    bool failCreate = false;
    int screenWidth = 1920;
    int screenHeight = 1080;

    // What it was asked, in order: "create", "show", "destroy".
    std::string calls;
    std::string title;
    int width = 0;
    int height = 0;
    bool windowed = false;
    int x = 0;
    int y = 0;

private:
    bool created_ = false;
};

} // namespace Platform
