// The binary files of the game data: the save slot (and admin.sav) and the score tables, each read
// back by its own reader. Byte layouts, round trips, and bad input of every kind.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <random>

#include "Core/PPackFile.h"
#include "Race/PSaveFile.h"
#include "ScriptHarness.h"

namespace {

CPReplayFrame MakeFrame(int i) {
    CPReplayFrame f;
    f.position[0] = static_cast<float>(i);
    f.position[1] = -2.5f;
    f.position[2] = 1.0f;
    f.time = 0.05f * static_cast<float>(i);
    f.w0Position[0] = 1.5f;
    f.w2Rotation[3] = 0.5f;
    f.dustPoint[2] = 0.25f;
    f.dustFlag = i & 1;
    f.throttle = 1;
    return f;
}

SaveFileData MakeSave(const std::vector<int>& frameCounts) {
    SaveFileData d;
    d.profileName = "Alice";
    d.playerName = "coupe_t";
    d.time = {2004, 12, 0, 5, 13, 45, 30, 250};
    d.racesPassed = 3;
    d.money = 99;
    d.upgrades = {1, 2, 3, 0, 0, 4, 7};
    for (size_t r = 0; r < frameCounts.size() && r < d.records.size(); ++r) {
        SaveLevelRecord& rec = d.records[r];
        rec.time = 60.0f + static_cast<float>(r);
        rec.medal = static_cast<int>(r % 3);
        rec.parts = {1, 1, 2, 3, 0, 0, 5};
        rec.name = rec.medal == 0 ? "hauler_" : "scout";
        for (int i = 0; i < frameCounts[r]; ++i) rec.frames.push_back(MakeFrame(i));
    }
    return d;
}

void PutInt(std::vector<uint8_t>& b, int32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i)));
}
void PutFloat(std::vector<uint8_t>& b, float v) {
    int32_t bits;
    std::memcpy(&bits, &v, 4);
    PutInt(b, bits);
}
void PutString(std::vector<uint8_t>& b, const std::string& s) {
    PutInt(b, static_cast<int32_t>(s.size()));
    b.insert(b.end(), s.begin(), s.end());
}

TEST(SaveFileTest, ASlotBuiltByteByByteEqualsTheWriter) {
    SaveFileData d = MakeSave({0, 1});
    d.records[1].frames[0].reserved1[3] = 0x77; // reserved bytes are never written
    std::vector<uint8_t> b;
    PutString(b, "Alice");
    PutString(b, "coupe_t");
    const uint16_t time[8] = {2004, 12, 0, 5, 13, 45, 30, 250};
    for (uint16_t t : time) {
        b.push_back(static_cast<uint8_t>(t));
        b.push_back(static_cast<uint8_t>(t >> 8));
    }
    PutInt(b, 3);
    PutInt(b, 99);
    for (int u : {1, 2, 3, 0, 0, 4, 7}) PutInt(b, u);
    for (int r = 0; r < 20; ++r) {
        const SaveLevelRecord& rec = d.records[r];
        PutFloat(b, rec.time);
        PutInt(b, rec.medal);
        for (int p : rec.parts) PutInt(b, p);
        PutInt(b, static_cast<int32_t>(rec.frames.size()));
        if (rec.frames.empty()) continue;
        PutString(b, rec.name);
        const CPReplayFrame& f = rec.frames[0];
        for (float v : f.position) PutFloat(b, v);
        for (float v : f.rotation) PutFloat(b, v);
        PutFloat(b, f.time);
        for (float v : f.w0Position) PutFloat(b, v);
        for (float v : f.w0Rotation) PutFloat(b, v);
        for (float v : f.w2Position) PutFloat(b, v);
        for (float v : f.w2Rotation) PutFloat(b, v);
        for (float v : f.dustPoint) PutFloat(b, v);
        b.insert(b.end(), 44, 0);
        PutInt(b, f.dustFlag);
        b.insert(b.end(), 8, 0);
        PutInt(b, f.throttle);
    }
    EXPECT_EQ(WriteSaveBytes(d), b);

    const SaveFileData empty = MakeSave({});
    EXPECT_EQ(WriteSaveBytes(empty).size(), 4u + 5 + 4 + 7 + 16 + 4 + 4 + 28 + 20 * 40);
}

TEST(SaveFileTest, WriteReadWriteIsByteIdentical) {
    for (const std::vector<int>& counts : std::vector<std::vector<int>>{{}, {1}, {3}, {0, 3, 0, 1}}) {
        const std::vector<uint8_t> first = WriteSaveBytes(MakeSave(counts));
        SaveFileData read;
        ASSERT_TRUE(ReadSaveBytes(first.data(), static_cast<int>(first.size()), read));
        EXPECT_EQ(WriteSaveBytes(read), first);
        EXPECT_EQ(read.profileName, "Alice");
        EXPECT_EQ(read.time.day, 5);
        if (counts.size() > 1) {
            ASSERT_EQ(read.records[1].frames.size(), 3u);
            EXPECT_FLOAT_EQ(read.records[1].frames[2].time, 0.1f);
            EXPECT_EQ(read.records[1].name, "scout");
        }
    }
}

TEST(SaveFileTest, TheWriterNeverWritesWhatTheReaderRefuses) {
    // A profile whose records took numbers that are not finite still saves into a slot that loads:
    // such a time is no time, such a frame is left out of its run.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    SaveFileData d = MakeSave({3, 2, 1});
    d.records[0].time = nan;
    d.records[0].frames[1].position[2] = inf;   // the middle frame of three
    d.records[1].frames[0].w2Rotation[0] = nan; // the first of two
    d.records[2].frames[0].time = -inf;         // the only one: no frames, no name
    const std::vector<uint8_t> bytes = WriteSaveBytes(d);
    SaveFileData read;
    ASSERT_TRUE(ReadSaveBytes(bytes.data(), static_cast<int>(bytes.size()), read));
    EXPECT_EQ(read.records[0].time, 0.0f);
    ASSERT_EQ(read.records[0].frames.size(), 2u);
    EXPECT_EQ(read.records[0].frames[0].position[0], 0.0f);
    EXPECT_EQ(read.records[0].frames[1].position[0], 2.0f);
    ASSERT_EQ(read.records[1].frames.size(), 1u);
    EXPECT_EQ(read.records[1].frames[0].position[0], 1.0f);
    EXPECT_EQ(read.records[1].time, 61.0f);
    EXPECT_TRUE(read.records[2].frames.empty());
    EXPECT_EQ(read.records[2].name, "");
    // Beyond a slot without runs: two names with their lengths ("hauler_", "scout") and three frames.
    EXPECT_EQ(bytes.size(), WriteSaveBytes(MakeSave({})).size() + 4 + 7 + 4 + 5 + 3 * 160);
}

TEST(SaveFileTest, TheScoreFileIsEveryRecordInTableOrderScrambledByThePackKey) {
    // Two tables with a record each, worked out by hand: i32 table, u32 length, the name's bytes,
    // i32 minutes, seconds, hundredths; no header, no count; then every byte i plus key byte i.
    ScoreTables tables;
    tables[0] = {{"Al", 1, 2, 3}};
    tables[4] = {{"", 999, 0, 0}};
    const uint8_t plain[] = {
        0, 0, 0, 0, 2, 0, 0, 0, 'A',  'l',  1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, // table 0: "Al" 1:02.03
        4, 0, 0, 0, 0, 0, 0, 0, 0xE7, 0x03, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,       // table 4: "" 999:00.00
    };
    std::vector<uint8_t> expected(std::begin(plain), std::end(plain));
    EXPECT_EQ(WriteScoreBytes(tables), expected);
    for (size_t i = 0; i < expected.size(); ++i) expected[i] = static_cast<uint8_t>(expected[i] + PackKey[i]);
    ScriptHarness::GameRoot root("");
    ASSERT_TRUE(SUCCEEDED(SaveScoreFile("Data\\scores.dat", tables)));
    std::ifstream file("Data/scores.dat", std::ios::binary);
    const std::vector<uint8_t> onDisk((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_EQ(onDisk, expected);
}

TEST(SaveFileTest, FreshScoreTablesAre840BytesAndReadBack) {
    ScoreTables tables;
    for (auto& t : tables) t.assign(7, CPScoreRecord{});
    tables[2][0] = {"Bob", 1, 5, 45};
    const std::vector<uint8_t> bytes = WriteScoreBytes(tables);
    EXPECT_EQ(bytes.size(), 840u + 3);
    for (auto& t : tables) t.assign(7, CPScoreRecord{});
    EXPECT_EQ(WriteScoreBytes(tables).size(), 840u);
    tables[2][0] = {"Bob", 1, 5, 45};
    ScoreTables read;
    ASSERT_TRUE(ReadScoreBytes(bytes.data(), static_cast<int>(bytes.size()), read));
    EXPECT_EQ(WriteScoreBytes(read), bytes);
    EXPECT_EQ(read[2][0].name, "Bob");
    EXPECT_EQ(read[2][0].hundredths, 45);
}

TEST(SaveFileTest, BadSlotsReadAsNothingAndLeaveTheTargetAlone) {
    const std::vector<uint8_t> good = WriteSaveBytes(MakeSave({0, 2}));
    SaveFileData sentinel = MakeSave({1});
    sentinel.profileName = "untouched";
    // Every truncation of a valid file fails.
    for (size_t n = 0; n < good.size(); ++n) {
        SaveFileData out = sentinel;
        EXPECT_FALSE(ReadSaveBytes(good.data(), static_cast<int>(n), out)) << n;
        EXPECT_EQ(out.profileName, "untouched");
    }
    // Offsets into the file: the profile name length, record 1's time and frame count.
    const size_t header = 4 + 5 + 4 + 7 + 16 + 4 + 4 + 28;
    const size_t record1 = header + 40;
    struct Case {
        const char* what;
        size_t offset;
        std::vector<uint8_t> bytes;
    };
    auto le = [](int32_t v) {
        std::vector<uint8_t> b;
        PutInt(b, v);
        return b;
    };
    auto fl = [](float v) {
        std::vector<uint8_t> b;
        PutFloat(b, v);
        return b;
    };
    const Case cases[] = {
        {"name length past the end", 0, le(1 << 30)},
        {"negative name length", 0, le(-1)},
        {"negative frame count", record1 + 36, le(-2)},
        {"frame count past the bytes left", record1 + 36, le(3)},
        {"huge frame count", record1 + 36, le(0x7FFFFFFF)},
        {"time not a number", record1, fl(std::numeric_limits<float>::quiet_NaN())},
        {"infinite time", header, fl(std::numeric_limits<float>::infinity())},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bad = good;
        std::copy(c.bytes.begin(), c.bytes.end(), bad.begin() + static_cast<long>(c.offset));
        SaveFileData out = sentinel;
        EXPECT_FALSE(ReadSaveBytes(bad.data(), static_cast<int>(bad.size()), out)) << c.what;
        EXPECT_EQ(out.profileName, "untouched") << c.what;
    }
    SaveFileData out;
    std::string profile, player;
    SaveTime time;
    EXPECT_TRUE(ReadSaveHeader(good.data(), static_cast<int>(good.size()), profile, player, time));
    EXPECT_EQ(player, "coupe_t");
    EXPECT_FALSE(ReadSaveHeader(good.data(), 4 + 5 + 4 + 7 + 15, profile, player, time));
    EXPECT_FALSE(ReadSaveBytes(nullptr, 0, out));
}

TEST(SaveFileTest, BadScoreFilesReadAsNothing) {
    ScoreTables tables;
    for (auto& t : tables) t.assign(7, CPScoreRecord{"x", 1, 2, 3});
    const std::vector<uint8_t> good = WriteScoreBytes(tables);
    for (size_t n = 1; n < good.size(); ++n) {
        if (n % 21 == 0) continue; // whole records: a shorter but valid file
        ScoreTables out;
        EXPECT_FALSE(ReadScoreBytes(good.data(), static_cast<int>(n), out)) << n;
    }
    std::vector<uint8_t> bad = good;
    bad[0] = 9; // table number out of range
    ScoreTables out;
    out[0].push_back({"keep", 0, 0, 0});
    EXPECT_FALSE(ReadScoreBytes(bad.data(), static_cast<int>(bad.size()), out));
    EXPECT_EQ(out[0].size(), 1u);
    bad = good;
    bad[21 * 8] = 0; // table 1's second record claims table 0 again

    EXPECT_FALSE(ReadScoreBytes(bad.data(), static_cast<int>(bad.size()), out));
}

// Mutants of writer-made seeds: flipped bits, random bytes, cut or grown files, overwritten
// lengths. No reader may crash or read past its data; a failed read leaves the target as it was,
// and whatever reads as valid writes back to something that reads the same.
TEST(SaveFileTest, MutantsNeverCrashAndFailCleanly) {
    std::mt19937 random(1933);
    const std::vector<std::vector<uint8_t>> seeds = {WriteSaveBytes(MakeSave({})), WriteSaveBytes(MakeSave({1})),
                                                     WriteSaveBytes(MakeSave({0, 3, 0, 1}))};
    ScoreTables tables;
    for (auto& t : tables) t.assign(7, CPScoreRecord{"name", 1, 2, 3});
    const std::vector<uint8_t> scoreSeed = WriteScoreBytes(tables);

    auto mutate = [&](std::vector<uint8_t> b) {
        const int edits = 1 + static_cast<int>(random() % 4);
        for (int e = 0; e < edits && !b.empty(); ++e) {
            const size_t at = random() % b.size();
            switch (random() % 5) {
            case 0: b[at] ^= static_cast<uint8_t>(1u << (random() % 8)); break;
            case 1: b[at] = static_cast<uint8_t>(random()); break;
            case 2: b.resize(at); break;
            case 3: b.insert(b.begin() + static_cast<long>(at), random() % 200, static_cast<uint8_t>(random())); break;
            case 4:
                if (at + 4 <= b.size()) {
                    const int32_t values[] = {-1, 0, 1, 0x7FFFFFFF, static_cast<int32_t>(0x80000000), 160, 1 << 20};
                    const int32_t v = values[random() % 7];
                    std::memcpy(&b[at], &v, 4);
                }
                break;
            }
        }
        return b;
    };

    int accepted = 0;
    for (int i = 0; i < 20000; ++i) {
        const std::vector<uint8_t> bad = mutate(seeds[i % seeds.size()]);
        SaveFileData out;
        out.profileName = "sentinel";
        const int size = static_cast<int>(bad.size());
        if (ReadSaveBytes(bad.data(), size, out)) {
            ++accepted;
            const std::vector<uint8_t> again = WriteSaveBytes(out);
            SaveFileData second;
            ASSERT_TRUE(ReadSaveBytes(again.data(), static_cast<int>(again.size()), second));
            ASSERT_EQ(WriteSaveBytes(second), again);
        } else {
            ASSERT_EQ(out.profileName, "sentinel");
        }
        std::string profile = "sentinel", player;
        SaveTime time;
        if (!ReadSaveHeader(bad.data(), size, profile, player, time)) {
            ASSERT_EQ(profile, "sentinel");
        }
    }
    EXPECT_GT(accepted, 0); // some mutants only touch numbers and stay valid

    for (int i = 0; i < 20000; ++i) {
        const std::vector<uint8_t> bad = mutate(scoreSeed);
        ScoreTables out;
        out[5].push_back({"sentinel", 0, 0, 0});
        if (ReadScoreBytes(bad.data(), static_cast<int>(bad.size()), out)) {
            ScoreTables second;
            const std::vector<uint8_t> again = WriteScoreBytes(out);
            ASSERT_TRUE(ReadScoreBytes(again.data(), static_cast<int>(again.size()), second));
        } else {
            ASSERT_EQ(out[5].size(), 1u);
            ASSERT_EQ(out[5][0].name, "sentinel");
        }
    }
}

// Twenty three-minute runs: 72,000 frames, 11.5 MB through the file layer and back.
TEST(SaveFileTest, TwentyLongRunsSaveAndLoad) {
    ScriptHarness::GameRoot root("");
    SaveFileData d = MakeSave({});
    for (SaveLevelRecord& r : d.records) {
        r.name = "coupe_t";
        r.frames.resize(3600);
        for (size_t i = 0; i < r.frames.size(); ++i) r.frames[i].time = 0.05f * static_cast<float>(i);
    }
    ASSERT_TRUE(SUCCEEDED(SaveSaveFile("Data\\Saves\\save1.sav", d)));
    EXPECT_EQ(std::filesystem::file_size("Data/Saves/save1.sav"),
              WriteSaveBytes(MakeSave({})).size() + 20u * (4 + 7) + 20u * 3600 * 160);
    SaveFileData read;
    ASSERT_TRUE(LoadSaveFile("data/saves/SAVE1.SAV", read));
    EXPECT_EQ(read.records[19].frames.size(), 3600u);
    EXPECT_FLOAT_EQ(read.records[19].frames[3599].time, 179.95f);
}

TEST(SaveFileTest, SaveTimesCompareByDateAndClockOnly) {
    const SaveTime dec5{2004, 12, 0, 5, 10, 0, 0, 0};
    const SaveTime nov25{2004, 11, 4, 25, 23, 59, 59, 999};
    SaveTime dec5Later = dec5;
    dec5Later.second = 1;
    SaveTime dec5OtherMs = dec5;
    dec5OtherMs.milliseconds = 500;
    dec5OtherMs.dayOfWeek = 3;
    EXPECT_TRUE(IsEarlierSaveTime(nov25, dec5));
    EXPECT_FALSE(IsEarlierSaveTime(dec5, nov25));
    EXPECT_TRUE(IsEarlierSaveTime(dec5, dec5Later));
    EXPECT_FALSE(IsEarlierSaveTime(dec5, dec5OtherMs));
    EXPECT_FALSE(IsEarlierSaveTime(dec5OtherMs, dec5));
    const SaveTime now = CurrentSaveTime();
    EXPECT_GE(now.year, 2020);
    EXPECT_LE(now.dayOfWeek, 6);
    EXPECT_GE(now.month, 1);
}

} // namespace
