// Image files decoded for textures: TGA through the general decoder, DDS through our reader.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Platform/DdsReader.h"
#include "Platform/ImageDecoder.h"
#include "Platform/TgaTestSupport.h"

using namespace Platform;

namespace {

struct DdsSpec {
    uint32_t width = 4, height = 4, mips = 1;
    uint32_t pfFlags = 0x4, fourCC = 0, bits = 0, r = 0, g = 0, b = 0, a = 0;
    bool cube = false;
};

uint32_t Four(const char* s) {
    uint32_t v;
    std::memcpy(&v, s, 4);
    return v;
}

std::vector<uint8_t> Dds(const DdsSpec& s, const std::vector<uint8_t>& payload) {
    std::vector<uint8_t> out(128, 0);
    auto put = [&](size_t at, uint32_t v) { std::memcpy(&out[at], &v, 4); };
    put(0, 0x20534444);
    put(4, 124);
    put(12, s.height);
    put(16, s.width);
    put(28, s.mips);
    put(76, 32);
    put(80, s.pfFlags);
    put(84, s.fourCC);
    put(88, s.bits);
    put(92, s.r);
    put(96, s.g);
    put(100, s.b);
    put(104, s.a);
    put(112, s.cube ? 0xFE00 : 0);
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

std::vector<uint8_t> Rgba(const Image& image, int face, int x, int y) {
    const uint8_t* p = &image.faces[face][(static_cast<size_t>(y) * image.width + x) * 4];
    return {p[0], p[1], p[2], p[3]};
}

TEST(ImageDecoderTest, TgaDecodesTopRowFirst) {
    const auto tga = TgaSupport::MakeTga(2, 2, {0xFFFF0000, 0xFF00FF00, 0x800000FF, 0xFFFFFFFF});
    Image image;
    ASSERT_TRUE(DecodeImage(tga.data(), tga.size(), image));
    EXPECT_EQ(image.width, 2);
    ASSERT_EQ(image.faces.size(), 1u);
    EXPECT_EQ(Rgba(image, 0, 0, 0), (std::vector<uint8_t>{255, 0, 0, 255}));
    EXPECT_EQ(Rgba(image, 0, 1, 0), (std::vector<uint8_t>{0, 255, 0, 255}));
    EXPECT_EQ(Rgba(image, 0, 0, 1), (std::vector<uint8_t>{0, 0, 255, 128}));
}

TEST(ImageDecoderTest, BadDataIsRefusedWithAReason) {
    const std::vector<std::vector<uint8_t>> bad = {
        {}, {1, 2, 3, 4, 5}, {0xFF, 0xD8, 0xFF, 0xE0, 0, 0x10}, // a JPEG that stops after its first marker
    };
    for (const auto& bytes : bad) {
        Image image;
        std::string why;
        EXPECT_FALSE(DecodeImage(bytes.data(), bytes.size(), image, &why));
        EXPECT_FALSE(why.empty());
        EXPECT_TRUE(image.faces.empty());
    }
}

// Run-length TGA headers in 18 bytes: 16384 x 16384 and 8192 x 8193 are over 64 million pixels,
// 300 x 300 more than 18 bytes can hold at 4096 pixels a byte; none is decoded into black.
TEST(ImageDecoderTest, ImagesOverSixtyFourMillionPixelsOrMoreThanTheirBytesHoldAreRefused) {
    for (const auto [w, h] : {std::pair{16384, 16384}, std::pair{8192, 8193}, std::pair{300, 300}}) {
        std::vector<uint8_t> tga(18, 0);
        tga[2] = 10; // run-length true colour
        tga[12] = static_cast<uint8_t>(w), tga[13] = static_cast<uint8_t>(w >> 8);
        tga[14] = static_cast<uint8_t>(h), tga[15] = static_cast<uint8_t>(h >> 8);
        tga[16] = 32;
        Image image;
        std::string why;
        EXPECT_FALSE(DecodeImage(tga.data(), tga.size(), image, &why)) << w << " x " << h;
        EXPECT_NE(why.find("too large"), std::string::npos) << why;
        EXPECT_TRUE(image.faces.empty());
    }
}

TEST(DdsReaderTest, UncompressedFormatsWidenEveryChannel) {
    DdsSpec argb{2, 1, 1, 0x41, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000};
    const std::vector<uint8_t> argbPixels = {0x30, 0x20, 0x10, 0x40, 0xFF, 0x00, 0x00, 0x80};
    Image image;
    ASSERT_TRUE(ReadDds(Dds(argb, argbPixels).data(), Dds(argb, argbPixels).size(), image));
    EXPECT_EQ(Rgba(image, 0, 0, 0), (std::vector<uint8_t>{0x10, 0x20, 0x30, 0x40}));
    EXPECT_EQ(Rgba(image, 0, 1, 0), (std::vector<uint8_t>{0, 0, 0xFF, 0x80}));

    // R5G6B5 without alpha: full-scale channels become 255, alpha opaque.
    DdsSpec rgb565{1, 1, 1, 0x40, 0, 16, 0xF800, 0x07E0, 0x001F, 0};
    const std::vector<uint8_t> px = {0xE0, 0x07}; // pure green
    const auto file = Dds(rgb565, px);
    ASSERT_TRUE(DecodeImage(file.data(), file.size(), image));
    EXPECT_EQ(Rgba(image, 0, 0, 0), (std::vector<uint8_t>{0, 255, 0, 255}));
}

TEST(DdsReaderTest, CompressedBlocksDecode) {
    // DXT1: colour 0 red, colour 1 blue; texels use indices 0, 1, 2, 3 along the first row.
    const std::vector<uint8_t> dxt1 = {0x00, 0xF8, 0x1F, 0x00, 0b11100100, 0, 0, 0};
    DdsSpec s;
    s.fourCC = Four("DXT1");
    Image image;
    ASSERT_TRUE(ReadDds(Dds(s, dxt1).data(), Dds(s, dxt1).size(), image));
    EXPECT_EQ(Rgba(image, 0, 0, 0), (std::vector<uint8_t>{255, 0, 0, 255}));
    EXPECT_EQ(Rgba(image, 0, 1, 0), (std::vector<uint8_t>{0, 0, 255, 255}));
    EXPECT_EQ(Rgba(image, 0, 2, 0), (std::vector<uint8_t>{170, 0, 85, 255}));
    EXPECT_EQ(Rgba(image, 0, 3, 0), (std::vector<uint8_t>{85, 0, 170, 255}));
    EXPECT_EQ(Rgba(image, 0, 0, 1), (std::vector<uint8_t>{255, 0, 0, 255}));

    // DXT1 with colour 0 <= colour 1: index 3 is transparent black.
    const std::vector<uint8_t> punch = {0x1F, 0x00, 0x00, 0xF8, 0b11000000, 0, 0, 0};
    ASSERT_TRUE(ReadDds(Dds(s, punch).data(), Dds(s, punch).size(), image));
    EXPECT_EQ(Rgba(image, 0, 3, 0), (std::vector<uint8_t>{0, 0, 0, 0}));

    // DXT5: alpha endpoints 255 and 0, the second texel takes endpoint 1.
    s.fourCC = Four("DXT5");
    std::vector<uint8_t> dxt5 = {255, 0, 0b00001000, 0, 0, 0, 0, 0};
    dxt5.insert(dxt5.end(), dxt1.begin(), dxt1.end());
    ASSERT_TRUE(ReadDds(Dds(s, dxt5).data(), Dds(s, dxt5).size(), image));
    EXPECT_EQ(Rgba(image, 0, 0, 0)[3], 255);
    EXPECT_EQ(Rgba(image, 0, 1, 0)[3], 0);
}

TEST(DdsReaderTest, CubeMapsHaveSixFacesAndTruncatedFilesAreRefused) {
    DdsSpec s;
    s.fourCC = Four("DXT1");
    s.cube = true;
    s.mips = 3; // 4x4, 2x2, 1x1: 8 bytes each, so 24 bytes a face
    std::vector<uint8_t> faces;
    for (int f = 0; f < 6; ++f)
        for (int level = 0; level < 3; ++level) {
            const std::vector<uint8_t> block = {0, 0, 0, 0, 0, 0, 0, 0};
            faces.insert(faces.end(), block.begin(), block.end());
        }
    faces[5 * 24] = 0xFF; // the last face's top level is not black
    auto file = Dds(s, faces);
    Image image;
    ASSERT_TRUE(ReadDds(file.data(), file.size(), image));
    ASSERT_EQ(image.faces.size(), 6u);
    EXPECT_NE(Rgba(image, 5, 0, 0), Rgba(image, 4, 0, 0));

    file.resize(file.size() - 17); // the last face's top level is cut
    EXPECT_FALSE(ReadDds(file.data(), file.size(), image));

    DdsSpec huge;
    huge.fourCC = Four("DXT1");
    huge.width = 1u << 30;
    EXPECT_FALSE(ReadDds(Dds(huge, {}).data(), Dds(huge, {}).size(), image));
    DdsSpec unknown;
    unknown.fourCC = Four("ATI2");
    EXPECT_FALSE(ReadDds(Dds(unknown, std::vector<uint8_t>(16)).data(), 128 + 16, image));
}

TEST(DdsReaderTest, WrittenFilesReadBackExactly) {
    Image source;
    source.width = 3;
    source.height = 2;
    source.faces.push_back({});
    for (int i = 0; i < 6; ++i)
        source.faces[0].insert(source.faces[0].end(),
                               {uint8_t(10 * i), uint8_t(200 - i), uint8_t(7 * i), uint8_t(255 - 40 * i)});
    const std::vector<uint8_t> file = WriteDds(source);
    Image image;
    ASSERT_TRUE(ReadDds(file.data(), file.size(), image));
    EXPECT_EQ(image.width, 3);
    EXPECT_EQ(image.height, 2);
    ASSERT_EQ(image.faces.size(), 1u);
    EXPECT_EQ(image.faces[0], source.faces[0]);
    EXPECT_TRUE(WriteDds(Image{}).empty());
}

TEST(ImageDecoderTest, SixSquaresSideBySideSplitIntoACube) {
    std::vector<uint32_t> strip(12 * 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 12; ++x) strip[y * 12 + x] = 0xFF000000u | static_cast<uint32_t>(x / 2) << 16;
    const auto tga = TgaSupport::MakeTga(12, 2, strip);
    Image image;
    ASSERT_TRUE(DecodeImage(tga.data(), tga.size(), image));
    ASSERT_TRUE(SplitCubeStrip(image));
    ASSERT_EQ(image.faces.size(), 6u);
    EXPECT_EQ(image.width, 2);
    for (int f = 0; f < 6; ++f) EXPECT_EQ(Rgba(image, f, 1, 1)[0], f);
    Image square;
    const auto sq = TgaSupport::SolidTga(4, 4, 0xFFFFFFFF);
    ASSERT_TRUE(DecodeImage(sq.data(), sq.size(), square));
    EXPECT_FALSE(SplitCubeStrip(square));
}

} // namespace
