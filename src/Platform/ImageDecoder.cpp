#include "Platform/ImageDecoder.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "Platform/DdsReader.h"

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_TGA
#define STBI_ONLY_JPEG
#define STBI_ONLY_PNG
#define STBI_ONLY_BMP
#define STBI_NO_STDIO
#define STBI_FAILURE_USERMSG
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#include <stb/stb_image.h>
#pragma GCC diagnostic pop

namespace Platform {

namespace {
constexpr int64_t kMaxImagePixels = int64_t(8192) * 8192;
// Well past what run-length coding (128 pixels a packet) or deflate (about 1000 to 1) can reach.
constexpr int64_t kMaxPixelsPerByte = 4096;
} // namespace

bool DecodeImage(const void* data, size_t size, Image& image, std::string* error) {
    image = Image{};
    if (!data || size == 0 || size > 0x7FFFFFFF) {
        if (error) *error = "empty image data";
        return false;
    }
    if (IsDds(data, size)) return ReadDds(data, size, image, error);

    int w = 0, h = 0, channels = 0;
    // A header may claim any size while the file holds a few bytes, which would be decoded as
    // gigabytes of black: nothing larger than 8192 x 8192 is decoded, nor more pixels than even a
    // run-length or deflated file of this many bytes could hold.
    if (stbi_info_from_memory(static_cast<const stbi_uc*>(data), static_cast<int>(size), &w, &h, &channels) &&
        static_cast<int64_t>(w) * h > std::min(kMaxImagePixels, static_cast<int64_t>(size) * kMaxPixelsPerByte)) {
        if (error) *error = "image of " + std::to_string(w) + " x " + std::to_string(h) + " is too large";
        return false;
    }
    stbi_uc* pixels =
        stbi_load_from_memory(static_cast<const stbi_uc*>(data), static_cast<int>(size), &w, &h, &channels, 4);
    if (!pixels) {
        if (error) *error = stbi_failure_reason() ? stbi_failure_reason() : "cannot decode image";
        return false;
    }
    image.width = w;
    image.height = h;
    image.hasAlpha = channels == 2 || channels == 4;
    image.faces.emplace_back(pixels, pixels + static_cast<size_t>(w) * h * 4);
    stbi_image_free(pixels);
    return true;
}

bool SplitCubeStrip(Image& image) {
    if (image.faces.size() != 1 || image.height <= 0 || image.width != 6 * image.height) return false;
    const int edge = image.height;
    std::vector<std::vector<uint8_t>> faces(6, std::vector<uint8_t>(static_cast<size_t>(edge) * edge * 4));
    const std::vector<uint8_t>& src = image.faces[0];
    for (int f = 0; f < 6; ++f)
        for (int y = 0; y < edge; ++y)
            std::memcpy(&faces[f][static_cast<size_t>(y) * edge * 4],
                        &src[(static_cast<size_t>(y) * image.width + static_cast<size_t>(f) * edge) * 4],
                        static_cast<size_t>(edge) * 4);
    image.faces = std::move(faces);
    image.width = edge;
    return true;
}

} // namespace Platform
