#pragma once
// Decodes image files held in memory into 8-bit RGBA pixels, top row first: TGA, JPEG, PNG and BMP
// through stb_image, DDS through our own reader.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Platform {

struct Image {
    int width = 0;
    int height = 0;
    // One entry per face: one for a plain image, six for a cube (+x, -x, +y, -y, +z, -z), each
    // width * height * 4 bytes of R, G, B, A.
    std::vector<std::vector<uint8_t>> faces;
    bool hasAlpha = false;
};

// False for data no decoder accepts (truncated, corrupt or of an unknown kind); *error then says why.
bool DecodeImage(const void* data, size_t size, Image& image, std::string* error = nullptr);

// Splits a plain image holding six square faces side by side (+x, -x, +y, -y, +z, -z) into a cube.
// False when the image is not six squares wide.
bool SplitCubeStrip(Image& image);

} // namespace Platform
