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

namespace RenderSupport {

// An uncompressed 32-bit TGA, top row first; pixels are 0xAARRGGBB.
inline std::vector<uint8_t> MakeTga(int width, int height, const std::vector<uint32_t>& pixels) {
    std::vector<uint8_t> out(18, 0);
    out[2] = 2; // true colour
    out[12] = static_cast<uint8_t>(width & 0xFF);
    out[13] = static_cast<uint8_t>(width >> 8);
    out[14] = static_cast<uint8_t>(height & 0xFF);
    out[15] = static_cast<uint8_t>(height >> 8);
    out[16] = 32;
    out[17] = 0x28; // 8 alpha bits, origin top left
    for (uint32_t p : pixels) {
        out.push_back(static_cast<uint8_t>(p & 0xFF));
        out.push_back(static_cast<uint8_t>((p >> 8) & 0xFF));
        out.push_back(static_cast<uint8_t>((p >> 16) & 0xFF));
        out.push_back(static_cast<uint8_t>(p >> 24));
    }
    return out;
}

inline std::vector<uint8_t> SolidTga(int width, int height, uint32_t argb) {
    return MakeTga(width, height, std::vector<uint32_t>(static_cast<size_t>(width) * height, argb));
}

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
