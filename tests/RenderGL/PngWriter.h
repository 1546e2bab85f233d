#pragma once
// Writes a read-back frame (0xAARRGGBB, top row first) as an opaque PNG, for a look at what a GL
// test drew. Include in one test file only: it carries the PNG writer's implementation.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#include <stb/stb_image_write.h>

namespace PngWriter {

inline bool Write(const std::filesystem::path& path, const std::vector<uint32_t>& pixels, int width, int height) {
    std::filesystem::create_directories(path.parent_path());
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    for (size_t i = 0; i < pixels.size() && i * 3 + 2 < rgb.size(); ++i) {
        rgb[i * 3] = static_cast<uint8_t>(pixels[i] >> 16);
        rgb[i * 3 + 1] = static_cast<uint8_t>(pixels[i] >> 8);
        rgb[i * 3 + 2] = static_cast<uint8_t>(pixels[i]);
    }
    return stbi_write_png(path.string().c_str(), width, height, 3, rgb.data(), width * 3) != 0;
}

} // namespace PngWriter
