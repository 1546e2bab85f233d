#pragma once
// Helpers shared by the renderer's tests: images written by hand and a throw-away game root.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Core/PPath.h"
#include "Platform/TgaTestSupport.h"

namespace RenderSupport {

using TgaSupport::MakeTga;
using TgaSupport::SolidTga;

// Runs a test inside a fresh directory and goes back afterwards.
class ScopedGameRoot {
public:
    ScopedGameRoot() {
        previous_ = std::filesystem::current_path();
        std::string pattern = (std::filesystem::temp_directory_path() / "vastrel-render-XXXXXX").string();
        if (mkdtemp(pattern.data())) root_ = pattern;
        std::filesystem::current_path(root_);
        InvalidatePathCache();
    }
    ~ScopedGameRoot() {
        std::filesystem::current_path(previous_);
        std::filesystem::remove_all(root_);
        InvalidatePathCache();
    }
    void Put(const std::string& relative, const std::vector<uint8_t>& bytes) {
        const std::filesystem::path path = root_ / relative;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        InvalidatePathCache();
    }

private:
    std::filesystem::path previous_;
    std::filesystem::path root_;
};

} // namespace RenderSupport
