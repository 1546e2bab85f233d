#include "Platform/DdsReader.h"

#include <cstdint>
#include <cstring>

namespace Platform {
namespace {

constexpr uint32_t kMagic = 0x20534444; // "DDS "
constexpr uint32_t kHeaderEnd = 128;
constexpr uint32_t kPfAlphaPixels = 0x1, kPfFourCC = 0x4, kPfRgb = 0x40, kPfLuminance = 0x20000;
constexpr uint32_t kCaps2Cube = 0x200;
constexpr uint32_t kMaxEdge = 16384;

uint32_t U32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }
uint32_t FourCC(const char* s) { return U32(reinterpret_cast<const uint8_t*>(s)); }

// Position and width of a channel mask, to widen any channel to 8 bits.
struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    int bits = 0;
    explicit Channel(uint32_t m) : mask(m) {
        if (!m) return;
        while (!((m >> shift) & 1)) ++shift;
        while (shift + bits < 32 && ((m >> (shift + bits)) & 1)) ++bits;
    }
    uint8_t Get(uint32_t pixel, uint8_t fallback) const {
        if (!mask) return fallback;
        const uint32_t v = (pixel & mask) >> shift;
        const uint32_t max = bits >= 32 ? 0xFFFFFFFFu : (1u << bits) - 1;
        return static_cast<uint8_t>((v * 255 + max / 2) / max);
    }
};

void Rgb565(uint16_t c, uint8_t out[4]) {
    out[0] = static_cast<uint8_t>(((c >> 11) & 31) * 255 / 31);
    out[1] = static_cast<uint8_t>(((c >> 5) & 63) * 255 / 63);
    out[2] = static_cast<uint8_t>((c & 31) * 255 / 31);
    out[3] = 255;
}

// Decodes one 4x4 colour block (the second half of DXT3/5 blocks, or a whole DXT1 block).
void ColorBlock(const uint8_t* b, bool dxt1, uint8_t texels[16][4]) {
    const uint16_t c0 = static_cast<uint16_t>(b[0] | b[1] << 8), c1 = static_cast<uint16_t>(b[2] | b[3] << 8);
    uint8_t pal[4][4];
    Rgb565(c0, pal[0]);
    Rgb565(c1, pal[1]);
    if (!dxt1 || c0 > c1) {
        for (int i = 0; i < 3; ++i) {
            pal[2][i] = static_cast<uint8_t>((2 * pal[0][i] + pal[1][i]) / 3);
            pal[3][i] = static_cast<uint8_t>((pal[0][i] + 2 * pal[1][i]) / 3);
        }
        pal[2][3] = pal[3][3] = 255;
    } else {
        for (int i = 0; i < 3; ++i) pal[2][i] = static_cast<uint8_t>((pal[0][i] + pal[1][i]) / 2);
        pal[2][3] = 255;
        pal[3][0] = pal[3][1] = pal[3][2] = pal[3][3] = 0;
    }
    const uint32_t bits = U32(b + 4);
    for (int i = 0; i < 16; ++i) std::memcpy(texels[i], pal[(bits >> (2 * i)) & 3], 4);
}

void Dxt5Alpha(const uint8_t* b, uint8_t texels[16][4]) {
    uint8_t a[8] = {b[0], b[1]};
    if (a[0] > a[1])
        for (int i = 1; i < 7; ++i) a[i + 1] = static_cast<uint8_t>(((7 - i) * a[0] + i * a[1]) / 7);
    else {
        for (int i = 1; i < 5; ++i) a[i + 1] = static_cast<uint8_t>(((5 - i) * a[0] + i * a[1]) / 5);
        a[6] = 0;
        a[7] = 255;
    }
    uint64_t bits = 0;
    for (int i = 0; i < 6; ++i) bits |= static_cast<uint64_t>(b[2 + i]) << (8 * i);
    for (int i = 0; i < 16; ++i) texels[i][3] = a[(bits >> (3 * i)) & 7];
}

bool Fail(std::string* error, const char* why) {
    if (error) *error = why;
    return false;
}

} // namespace

bool IsDds(const void* data, size_t size) {
    return data && size >= 4 && U32(static_cast<const uint8_t*>(data)) == kMagic;
}

bool ReadDds(const void* data, size_t size, Image& image, std::string* error) {
    image = Image{};
    const uint8_t* p = static_cast<const uint8_t*>(data);
    if (!IsDds(data, size) || size < kHeaderEnd || U32(p + 4) != 124) return Fail(error, "not a DDS file");
    const uint32_t height = U32(p + 12), width = U32(p + 16);
    uint32_t mips = U32(p + 28);
    if (mips == 0) mips = 1;
    const uint32_t pfFlags = U32(p + 80), fourCC = U32(p + 84), bitCount = U32(p + 88);
    const uint32_t caps2 = U32(p + 112);
    if (width == 0 || height == 0 || width > kMaxEdge || height > kMaxEdge || mips > 32)
        return Fail(error, "bad DDS size");
    const int faceCount = (caps2 & kCaps2Cube) ? 6 : 1;

    enum { Dxt1, Dxt3, Dxt5, Raw } kind;
    if (pfFlags & kPfFourCC) {
        if (fourCC == FourCC("DXT1")) kind = Dxt1;
        else if (fourCC == FourCC("DXT2") || fourCC == FourCC("DXT3")) kind = Dxt3;
        else if (fourCC == FourCC("DXT4") || fourCC == FourCC("DXT5")) kind = Dxt5;
        else return Fail(error, "unsupported DDS compression");
    } else if ((pfFlags & (kPfRgb | kPfLuminance)) && (bitCount == 16 || bitCount == 24 || bitCount == 32)) {
        kind = Raw;
    } else {
        return Fail(error, "unsupported DDS pixel format");
    }

    // Bytes of one mip level of one face.
    auto levelSize = [&](uint32_t w, uint32_t h) -> uint64_t {
        if (kind == Raw) return static_cast<uint64_t>(w) * h * (bitCount / 8);
        const uint64_t blocks = static_cast<uint64_t>((w + 3) / 4) * ((h + 3) / 4);
        return blocks * (kind == Dxt1 ? 8 : 16);
    };
    uint64_t faceBytes = 0;
    for (uint32_t m = 0, w = width, h = height; m < mips; ++m) {
        faceBytes += levelSize(w, h);
        w = w > 1 ? w / 2 : 1;
        h = h > 1 ? h / 2 : 1;
    }
    const uint64_t topBytes = levelSize(width, height);
    if (kHeaderEnd + faceBytes * (faceCount - 1) + topBytes > size) return Fail(error, "truncated DDS file");

    const Channel r(U32(p + 92)), g(U32(p + 96)), b(U32(p + 100));
    const Channel a((pfFlags & kPfAlphaPixels) ? U32(p + 104) : 0);
    image.width = static_cast<int>(width);
    image.height = static_cast<int>(height);
    image.hasAlpha = kind != Dxt1 ? (kind != Raw || a.mask != 0) : true;
    for (int f = 0; f < faceCount; ++f) {
        const uint8_t* src = p + kHeaderEnd + faceBytes * f;
        std::vector<uint8_t> out(static_cast<size_t>(width) * height * 4);
        if (kind == Raw) {
            const uint32_t bpp = bitCount / 8;
            for (uint32_t i = 0; i < width * height; ++i) {
                uint32_t px = 0;
                for (uint32_t k = 0; k < bpp; ++k) px |= static_cast<uint32_t>(src[i * bpp + k]) << (8 * k);
                uint8_t* o = &out[i * 4];
                if (pfFlags & kPfLuminance) {
                    o[0] = o[1] = o[2] = r.Get(px, 0);
                } else {
                    o[0] = r.Get(px, 0);
                    o[1] = g.Get(px, 0);
                    o[2] = b.Get(px, 0);
                }
                o[3] = a.Get(px, 255);
            }
        } else {
            const uint32_t blockBytes = kind == Dxt1 ? 8 : 16;
            for (uint32_t by = 0; by < (height + 3) / 4; ++by)
                for (uint32_t bx = 0; bx < (width + 3) / 4; ++bx) {
                    const uint8_t* blk = src + (static_cast<size_t>(by) * ((width + 3) / 4) + bx) * blockBytes;
                    uint8_t texels[16][4];
                    ColorBlock(kind == Dxt1 ? blk : blk + 8, kind == Dxt1, texels);
                    if (kind == Dxt3)
                        for (int i = 0; i < 16; ++i) {
                            const uint8_t nib = (blk[i / 2] >> (4 * (i & 1))) & 0xF;
                            texels[i][3] = static_cast<uint8_t>(nib * 17);
                        }
                    else if (kind == Dxt5) Dxt5Alpha(blk, texels);
                    for (int i = 0; i < 16; ++i) {
                        const uint32_t x = bx * 4 + i % 4, y = by * 4 + i / 4;
                        if (x < width && y < height)
                            std::memcpy(&out[(static_cast<size_t>(y) * width + x) * 4], texels[i], 4);
                    }
                }
        }
        image.faces.push_back(std::move(out));
    }
    return true;
}

std::vector<uint8_t> WriteDds(const Image& image) {
    if (image.width <= 0 || image.height <= 0 || image.faces.empty() ||
        image.faces[0].size() < static_cast<size_t>(image.width) * image.height * 4)
        return {};
    std::vector<uint8_t> out(kHeaderEnd, 0);
    auto put = [&out](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    put(0, kMagic);
    put(4, 124);
    put(8, 0x100F); // caps, height, width, pitch, pixel format
    put(12, static_cast<uint32_t>(image.height));
    put(16, static_cast<uint32_t>(image.width));
    put(20, static_cast<uint32_t>(image.width) * 4);
    put(28, 1);
    put(76, 32);
    put(80, kPfRgb | kPfAlphaPixels);
    put(88, 32);
    put(92, 0x00FF0000);
    put(96, 0x0000FF00);
    put(100, 0x000000FF);
    put(104, 0xFF000000);
    put(108, 0x1000); // texture
    const std::vector<uint8_t>& rgba = image.faces[0];
    for (size_t i = 0; i < static_cast<size_t>(image.width) * image.height; ++i) {
        const uint8_t* px = &rgba[i * 4];
        out.insert(out.end(), {px[2], px[1], px[0], px[3]});
    }
    return out;
}

} // namespace Platform
