#pragma once
// Images written by hand for the image and device tests.
#include <cstdint>
#include <vector>

namespace TgaSupport {

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

} // namespace TgaSupport
