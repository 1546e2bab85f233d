#pragma once
// A small reader for DDS files: uncompressed 32-, 24- and 16-bit colour, DXT1, DXT3 and DXT5, plain
// or cube maps. Only the top mip level is read; the device builds the rest. The writer makes the
// plain uncompressed 32-bit kind (one face, one level) that the tools produce.
#include <cstddef>
#include <string>

#include "Platform/ImageDecoder.h"

namespace Platform {

bool IsDds(const void* data, size_t size);
bool ReadDds(const void* data, size_t size, Image& image, std::string* error = nullptr);
// The first face as a 32-bit DDS with alpha; empty for an image without pixels.
std::vector<uint8_t> WriteDds(const Image& image);

} // namespace Platform
