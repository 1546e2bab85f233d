#pragma once
// Writes uncompressed 32-bit TGA images, the writer beside the image decoder's TGA reader: tools
// and tests make their textures with it.
#include <cstdint>
#include <string>
#include <vector>

namespace Platform {

// The TGA bytes of an RGBA image given top row first (stored bottom-up, BGRA, 8 alpha bits).
// Empty when a side is 0 or past 65535, or the pixels are too few.
std::vector<uint8_t> EncodeTga(int width, int height, const std::vector<uint8_t>& rgba);

// EncodeTga to a file; false when the image or the write fails.
bool WriteTgaFile(const std::string& path, int width, int height, const std::vector<uint8_t>& rgba);

} // namespace Platform
