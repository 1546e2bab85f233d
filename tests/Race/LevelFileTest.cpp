// The ".lvl" layout: reader and writer round trips, the light records' sizes, corrupt files, and the
// mklevel tool over its text form.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <string>

#include "Race/PLevelFile.h"

namespace {

LevelFile SampleLevel(int lights) {
    LevelFile level;
    level.header = {1.0f, -2.5f, 3.0f, 4.0f};
    level.lightCount = lights;
    for (int i = 0; i < LevelFile::kFirstLightSize; ++i) level.firstLight[i] = lights > 0 ? uint8_t(i + 1) : 0;
    if (lights > 1) level.furtherLights.resize(size_t(lights - 1));
    for (size_t l = 0; l < level.furtherLights.size(); ++l)
        for (int i = 0; i < LevelFile::kFurtherLightSize; ++i) level.furtherLights[l][i] = uint8_t(100 + 10 * l + i);
    level.objects.push_back({"player", {0, 0, 0}, {0, 0, 0.70710677f, 0.70710677f}, {1, 1, 1}});
    level.objects.push_back({"fin,20", {200, 0, 0}, {0, 0, 0, 1}, {1, 1, 1}});
    level.objects.push_back({"bonus_remont12", {50.5f, -3, 1}, {0, 0, 1, 0}, {2, 2, 2}});
    level.trailer = 77;
    return level;
}

void ExpectSameLevel(const LevelFile& a, const LevelFile& b) {
    EXPECT_EQ(a.header, b.header);
    EXPECT_EQ(a.lightCount, b.lightCount);
    if (a.lightCount > 0) {
        EXPECT_EQ(a.firstLight, b.firstLight);
    }
    EXPECT_EQ(a.furtherLights, b.furtherLights);
    ASSERT_EQ(a.objects.size(), b.objects.size());
    for (size_t i = 0; i < a.objects.size(); ++i) {
        EXPECT_EQ(a.objects[i].name, b.objects[i].name);
        EXPECT_EQ(a.objects[i].position, b.objects[i].position);
        EXPECT_EQ(a.objects[i].rotation, b.objects[i].rotation);
        EXPECT_EQ(a.objects[i].scale, b.objects[i].scale);
    }
    EXPECT_EQ(a.trailer, b.trailer);
}

TEST(LevelFileTest, RoundTripsByteForByteWithZeroOneAndThreeLights) {
    for (int lights : {0, 1, 3}) {
        SCOPED_TRACE(lights);
        const LevelFile level = SampleLevel(lights);
        const std::vector<uint8_t> bytes = WriteLevelBytes(level);
        LevelFile back;
        ASSERT_TRUE(ReadLevelBytes(bytes.data(), int(bytes.size()), back));
        ExpectSameLevel(level, back);
        EXPECT_EQ(WriteLevelBytes(back), bytes);
    }
}

TEST(LevelFileTest, FurtherLightsAreTwentyEightBytesEach) {
    // Header 16, count 4, first light 4 + 48, three further lights of 28, then the objects.
    const LevelFile level = SampleLevel(4);
    const std::vector<uint8_t> bytes = WriteLevelBytes(level);
    const size_t objectsAt = 16 + 4 + (4 + 48) + 3 * 28;
    int32_t count;
    std::memcpy(&count, bytes.data() + objectsAt, 4);
    EXPECT_EQ(count, 3);
    int32_t nameLength;
    std::memcpy(&nameLength, bytes.data() + objectsAt + 4, 4);
    EXPECT_EQ(nameLength, 6);
    LevelFile back;
    ASSERT_TRUE(ReadLevelBytes(bytes.data(), int(bytes.size()), back));
    EXPECT_EQ(back.lightCount, 4);
    EXPECT_EQ(back.objects[0].name, "player");
    EXPECT_EQ(back.trailer, 77);
}

TEST(LevelFileTest, NameEndsAtTheFirstZeroByte) {
    LevelFile level = SampleLevel(0);
    level.objects.resize(1);
    level.objects[0].name = std::string("chk3_flag\0junk", 14);
    const std::vector<uint8_t> bytes = WriteLevelBytes(level);
    LevelFile back;
    ASSERT_TRUE(ReadLevelBytes(bytes.data(), int(bytes.size()), back));
    EXPECT_EQ(back.objects[0].name, "chk3_flag");
    EXPECT_EQ(back.trailer, 77); // the whole stored length was consumed
}

void PokeInt(std::vector<uint8_t>& bytes, size_t at, int32_t value) { std::memcpy(bytes.data() + at, &value, 4); }
void PokeFloat(std::vector<uint8_t>& bytes, size_t at, float value) { std::memcpy(bytes.data() + at, &value, 4); }

TEST(LevelFileTest, CorruptFilesAreRefusedAndLeaveTheLayoutEmpty) {
    const std::vector<uint8_t> good = WriteLevelBytes(SampleLevel(2));
    const size_t lightCountAt = 16;
    const size_t objectCountAt = 16 + 4 + 52 + 28;
    const size_t firstNameAt = objectCountAt + 4;
    const size_t firstFloatsAt = firstNameAt + 4 + 6;
    struct Case {
        const char* what;
        void (*damage)(std::vector<uint8_t>&, size_t, size_t, size_t, size_t);
    };
    const Case cases[] = {
        {"negative light count", [](auto& b, size_t l, size_t, size_t, size_t) { PokeInt(b, l, -1); }},
        {"light count past the data", [](auto& b, size_t l, size_t, size_t, size_t) { PokeInt(b, l, 1000000); }},
        {"negative object count", [](auto& b, size_t, size_t o, size_t, size_t) { PokeInt(b, o, -3); }},
        {"object count past the data", [](auto& b, size_t, size_t o, size_t, size_t) { PokeInt(b, o, 0x7fffffff); }},
        {"name length past the data", [](auto& b, size_t, size_t, size_t n, size_t) { PokeInt(b, n, 5000); }},
        {"negative name length", [](auto& b, size_t, size_t, size_t n, size_t) { PokeInt(b, n, -6); }},
        {"NaN quaternion", [](auto& b, size_t, size_t, size_t,
                              size_t f) { PokeFloat(b, f + 12, std::numeric_limits<float>::quiet_NaN()); }},
        {"infinite position",
         [](auto& b, size_t, size_t, size_t, size_t f) { PokeFloat(b, f, std::numeric_limits<float>::infinity()); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> bytes = good;
        c.damage(bytes, lightCountAt, objectCountAt, firstNameAt, firstFloatsAt);
        LevelFile back = SampleLevel(1);
        EXPECT_FALSE(ReadLevelBytes(bytes.data(), int(bytes.size()), back));
        EXPECT_TRUE(back.objects.empty());
        EXPECT_EQ(back.lightCount, 0);
    }
    // Every truncation is refused, down to an empty file.
    for (size_t size = 0; size < good.size(); ++size) {
        LevelFile back;
        EXPECT_FALSE(ReadLevelBytes(good.data(), int(size), back)) << size;
    }
}

TEST(LevelFileTest, BaseNameDropsOnlyTrailingDigits) {
    const std::pair<const char*, const char*> cases[] = {
        {"player12", "player"}, {"player_a", "player_a"},   {"bonu", "bonu"},      {"bonus_remont12", "bonus_remont"},
        {"src_a1", "src_a"},    {"chk3_flag", "chk3_flag"}, {"Object7", "Object"}, {"123", ""},
        {"w2_1", "w2_"},
    };
    for (const auto& [name, base] : cases) EXPECT_EQ(LevelBaseName(name), base) << name;
}

std::string RunTool(const std::string& arguments, int& status) {
    const std::string command = std::string(VASTREL_BINARY_DIR) + "/bin/mklevel " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    std::string output;
    char buffer[256];
    while (pipe && std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
    status = pipe ? pclose(pipe) : -1;
    return output;
}

TEST(LevelFileTest, ToolWritesAndListsTheTextForm) {
    const std::string dir = ::testing::TempDir();
    const std::string text = dir + "/layout.txt", lvl = dir + "/layout.lvl";
    {
        std::ofstream out(text);
        out << "# a small layout\n"
               "header 1 2 3 4\n"
               "lights 3\n"
               "object player 0 0 0 0 0 0.70710677 0.70710677 1 1 1\n"
               "object fin,20 200 0 0 0 0 0 1 1 1 1   # the finish\n"
               "trailer 5\n";
    }
    int status = 0;
    RunTool(text + " " + lvl, status);
    ASSERT_EQ(status, 0);
    std::ifstream file(lvl, std::ios::binary);
    const std::vector<char> raw((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    LevelFile level;
    ASSERT_TRUE(ReadLevelBytes(reinterpret_cast<const uint8_t*>(raw.data()), int(raw.size()), level));
    EXPECT_EQ(level.lightCount, 3);
    ASSERT_EQ(level.objects.size(), 2u);
    EXPECT_EQ(level.objects[1].name, "fin,20");
    EXPECT_FLOAT_EQ(level.objects[0].rotation.z, 0.70710677f);
    EXPECT_EQ(level.trailer, 5);
    const std::string listing = RunTool("--list " + lvl, status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(listing.find("lights 3\n"), std::string::npos);
    EXPECT_NE(listing.find("object fin,20 200 0 0 0 0 0 1 1 1 1\n"), std::string::npos);
    EXPECT_NE(listing.find("trailer 5\n"), std::string::npos);

    std::ofstream(text) << "object broken 1 2\n";
    const std::string error = RunTool(text + " " + lvl, status);
    EXPECT_NE(status, 0);
    EXPECT_NE(error.find("line 1"), std::string::npos);
}

} // namespace
