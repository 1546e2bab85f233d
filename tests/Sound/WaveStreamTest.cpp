// WAVE files: what the writer writes the reader reads back; malformed files are refused.
#include <gtest/gtest.h>

#include <fstream>

#include "ScriptHarness.h"
#include "SoundTestSupport.h"

using namespace SoundTest;

namespace {

std::vector<uint8_t> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(WaveStreamTest, WriterAndReaderRoundTrip) {
    ScriptHarness::GameRoot root("");
    struct Case {
        int bits, channels, tag;
        size_t bytes;
    };
    // Odd data lengths get a pad byte; a tag other than 1 carries its extra bytes.
    const Case cases[] = {{8, 1, 1, 101},  {8, 2, 1, 64},  {16, 1, 1, 200},
                          {16, 2, 1, 400}, {32, 1, 3, 40}, {8, 1, 2, 7}};
    for (const Case& c : cases) {
        std::vector<uint8_t> data(c.bytes);
        for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + 3);
        CNWaveFormat format;
        format.tag = static_cast<uint16_t>(c.tag);
        format.channels = static_cast<uint16_t>(c.channels);
        format.rate = 11025;
        format.bits = static_cast<uint16_t>(c.bits);
        if (c.tag == 2) format.extra = {1, 2, 3};
        CNWaveStream writer;
        ASSERT_EQ(writer.Open("Out.wav", &format, CNWaveStream::ModeWrite), S_OK);
        writer.Write(data.data(), static_cast<uint32_t>(data.size()));
        ASSERT_EQ(writer.Close(), S_OK);

        std::vector<uint8_t> file = ReadAll("Out.wav");
        EXPECT_EQ(file.size() % 2, 0u) << "chunks are word aligned";
        EXPECT_NE(std::search(file.begin(), file.end(), std::begin("fact"), std::begin("fact") + 4), file.end());

        CNWaveStream reader;
        ASSERT_EQ(reader.Open("out.WAV", nullptr, CNWaveStream::ModeRead), S_OK) << c.bits; // resolved paths
        EXPECT_EQ(reader.GetFormat().tag, c.tag);
        EXPECT_EQ(reader.GetFormat().channels, c.channels);
        EXPECT_EQ(reader.GetFormat().bits, c.bits);
        EXPECT_EQ(reader.GetFormat().rate, 11025u);
        EXPECT_EQ(reader.GetFormat().blockAlign, c.channels * c.bits / 8);
        EXPECT_EQ(reader.GetFormat().extra, format.extra);
        ASSERT_EQ(reader.GetSize(), data.size());
        std::vector<uint8_t> back(data.size() + 10, 0xEE);
        uint32_t got = 0;
        reader.Read(back.data(), static_cast<uint32_t>(back.size()), &got);
        EXPECT_EQ(got, data.size());
        back.resize(got);
        EXPECT_EQ(back, data);
        reader.Reset();
        reader.Read(back.data(), 4, &got);
        EXPECT_EQ(got, 4u);
        EXPECT_EQ(back[0], data[0]);
    }
}

// A well-formed 16-bit mono file, then mended by each case.
std::vector<uint8_t> Wave(uint32_t fmtLength = 16, uint16_t channels = 1, uint32_t rate = 22050, uint16_t bits = 16,
                          uint32_t dataLength = 8, size_t dataPresent = 8, bool withData = true) {
    std::vector<uint8_t> w;
    auto put32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i) w.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    auto put16 = [&](uint16_t v) {
        w.push_back(static_cast<uint8_t>(v));
        w.push_back(static_cast<uint8_t>(v >> 8));
    };
    auto tag = [&](const char* t) {
        for (int i = 0; i < 4; ++i) w.push_back(static_cast<uint8_t>(t[i]));
    };
    tag("RIFF");
    put32(0);
    tag("WAVE");
    tag("fmt ");
    put32(fmtLength);
    put16(1);
    put16(channels);
    put32(rate);
    put32(rate * 2);
    put16(2);
    put16(bits);
    for (uint32_t i = 16; i < fmtLength; ++i) w.push_back(0);
    if (fmtLength < 16) w.resize(w.size() - (16 - fmtLength));
    if (withData) {
        tag("data");
        put32(dataLength);
        for (size_t i = 0; i < dataPresent; ++i) w.push_back(static_cast<uint8_t>(i + 1));
    }
    return w;
}

TEST(WaveStreamTest, MalformedFilesAreRefused) {
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
    };
    std::vector<uint8_t> notRiff = Wave();
    notRiff[0] = 'X';
    std::vector<uint8_t> notWave = Wave();
    notWave[8] = 'A';
    const Case cases[] = {
        {"not RIFF", notRiff},
        {"not WAVE", notWave},
        {"fmt under 16 bytes", Wave(14)},
        {"no data chunk", Wave(16, 1, 22050, 16, 8, 8, false)},
        {"empty data", Wave(16, 1, 22050, 16, 0, 0)},
        {"no channels", Wave(16, 0)},
        {"rate 0", Wave(16, 1, 0)},
        {"rate under 100", Wave(16, 1, 99)},
        {"rate over 200000", Wave(16, 1, 200001)},
        {"no bits", Wave(16, 1, 22050, 0)},
        {"too short", std::vector<uint8_t>{'R', 'I', 'F', 'F'}},
    };
    for (const Case& c : cases) {
        CNWaveStream stream;
        EXPECT_EQ(stream.OpenMemory(c.bytes.data(), c.bytes.size()), E_FAIL) << c.what;
    }
    CNWaveStream stream;
    EXPECT_EQ(stream.Open("no such file.wav", nullptr, CNWaveStream::ModeRead), E_FAIL);
}

// The size is the chunk's; reading stops where the file does.
TEST(WaveStreamTest, DataClaimingMoreThanTheFileReadsWhatIsThere) {
    std::vector<uint8_t> bytes = Wave(16, 1, 22050, 16, 1000000, 6);
    CNWaveStream stream;
    ASSERT_EQ(stream.OpenMemory(bytes.data(), bytes.size()), S_OK);
    EXPECT_EQ(stream.GetSize(), 1000000u);
    uint8_t out[16];
    uint32_t got = 0;
    stream.Read(out, sizeof(out), &got);
    EXPECT_EQ(got, 6u);
    EXPECT_EQ(out[5], 6);
    // A longer "fmt " chunk and a chunk we don't know are stepped over.
    std::vector<uint8_t> longer = Wave(18);
    CNWaveStream other;
    EXPECT_EQ(other.OpenMemory(longer.data(), longer.size()), S_OK);
    EXPECT_EQ(other.GetSize(), 8u);
}

} // namespace
