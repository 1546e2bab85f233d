#include "Platform/TgaWriter.h"

#include <cstdio>

namespace Platform {

std::vector<uint8_t> EncodeTga(int width, int height, const std::vector<uint8_t>& rgba) {
    if (width <= 0 || height <= 0 || width > 65535 || height > 65535) return {};
    const size_t pixels = static_cast<size_t>(width) * height;
    if (rgba.size() < pixels * 4) return {};
    std::vector<uint8_t> out(18 + pixels * 4);
    out[2] = 2; // uncompressed true colour
    out[12] = static_cast<uint8_t>(width & 0xFF);
    out[13] = static_cast<uint8_t>(width >> 8);
    out[14] = static_cast<uint8_t>(height & 0xFF);
    out[15] = static_cast<uint8_t>(height >> 8);
    out[16] = 32;
    out[17] = 8; // alpha bits; origin bottom-left
    uint8_t* p = out.data() + 18;
    for (int y = height - 1; y >= 0; --y) {
        for (int x = 0; x < width; ++x) {
            const uint8_t* s = &rgba[(static_cast<size_t>(y) * width + x) * 4];
            *p++ = s[2];
            *p++ = s[1];
            *p++ = s[0];
            *p++ = s[3];
        }
    }
    return out;
}

bool WriteTgaFile(const std::string& path, int width, int height, const std::vector<uint8_t>& rgba) {
    const std::vector<uint8_t> bytes = EncodeTga(width, height, rgba);
    if (bytes.empty()) return false;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

} // namespace Platform
