#include "Core/PFileFinder.h"
#include "Core/PFileReader.h"
#include "Core/PFileWriter.h"
#include "Core/PPackFile.h"
#include "Core/PPath.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

// Runs each test inside a fresh game root and restores the working directory afterwards.
class FileLayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_previous = fs::current_path();
        std::string pattern = (fs::temp_directory_path() / "vastrel-files-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_root = pattern;
        fs::current_path(m_root);
    }

    void TearDown() override {
        fs::current_path(m_previous);
        fs::remove_all(m_root);
    }

    static void Put(const fs::path& path, const Bytes& bytes) {
        fs::create_directories(path.parent_path().empty() ? fs::path(".") : path.parent_path());
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    static void Put(const fs::path& path, const std::string& text) { Put(path, Bytes(text.begin(), text.end())); }

    static Bytes Get(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    static std::string Text(const CPFileReader& reader) {
        return std::string(reinterpret_cast<const char*>(reader.GetData()), reader.GetLength());
    }

    fs::path m_previous;
    fs::path m_root;
};

} // namespace

TEST_F(FileLayerTest, ResolverMatchesEachComponentIgnoringCase) {
    Put("Data/Textures/Car.TGA", "t");
    Put("Data/scripts/main.lua", "s");
    Put("config.cfg", "c");

    struct Case {
        std::string game, real;
    };
    const Case cases[] = {
        {"Data\\Textures\\CAR.tga", "Data/Textures/Car.TGA"},
        {"data/textures/car.tga", "Data/Textures/Car.TGA"},
        {"DATA\\scripts/MAIN.LUA", "Data/scripts/main.lua"},
        {"data\\\\scripts//main.lua", "Data/scripts/main.lua"}, // doubled separators
        {"Config.CFG", "config.cfg"},
        {"./data/Scripts", "./Data/scripts"},
        // Missing components keep the case they were given, from the first missing one on.
        {"DATA\\Saves\\Save1.sav", "Data/Saves/Save1.sav"},
        {"Data\\NEW\\Textures\\x", "Data/NEW/Textures/x"},
        {"missing.txt", "missing.txt"},
    };
    for (const Case& c : cases) EXPECT_EQ(ResolvePath(c.game), c.real) << c.game;

    const std::string absolute = (m_root / "data" / "TEXTURES").string();
    EXPECT_EQ(ResolvePath(absolute), (m_root / "Data" / "Textures").string());
}

TEST_F(FileLayerTest, ResolverPrefersTheExactSpellingAndSeesNewFiles) {
    Put("Data/readme", "r");
    EXPECT_EQ(ResolvePath("data\\readme"), "Data/readme");
    // Created behind the resolver's back after a listing was taken.
    fs::create_directory("data");
    EXPECT_EQ(ResolvePath("data\\x"), "data/x");
    EXPECT_EQ(ResolvePath("Data\\readme"), "Data/readme");
    Put("Data/Later.txt", "l");
    EXPECT_EQ(ResolvePath("Data\\later.TXT"), "Data/Later.txt");
}

TEST_F(FileLayerTest, ResolverCacheFollowsTheWorkingDirectory) {
    fs::create_directories("one/Alpha");
    fs::create_directories("two/ALPHA");
    fs::current_path("one");
    EXPECT_EQ(ResolvePath("alpha"), "Alpha");
    fs::current_path("../two");
    EXPECT_EQ(ResolvePath("alpha"), "ALPHA");
    fs::current_path(m_root);
}

TEST_F(FileLayerTest, DirectoriesNeverOpenAsFiles) {
    fs::create_directories("Data/Folder");
    EXPECT_EQ(OpenFileForRead("data\\folder"), nullptr);
    CPFileReader reader("Data\\Folder", false);
    EXPECT_EQ(reader.Load(), E_FAIL);
    EXPECT_EQ(reader.GetLength(), 0);
}

TEST_F(FileLayerTest, LooseFileIsFoundThroughAnyCaseAndSlash) {
    const std::string text = "hello\xE9\xFF";
    Put("Data/Scripts/Main.lua", text);
    for (const char* path : {"Data\\Scripts\\Main.lua", "data/scripts/main.lua", "DATA\\SCRIPTS/MAIN.LUA"}) {
        CPFileReader reader(path, false);
        ASSERT_EQ(reader.Load(), S_OK) << path;
        EXPECT_EQ(Text(reader), text);
        EXPECT_EQ(reader.GetData()[reader.GetLength()], 0) << "data is followed by a terminator";
    }
    EXPECT_EQ(CPFileReader("Data\\Scripts\\missing.lua", false).Load(), E_FAIL);
}

TEST_F(FileLayerTest, ReloadKeepsThePositionAndFailedLoadEmptiesTheData) {
    Put("a.bin", Bytes{1, 0, 0, 0, 2, 0, 0, 0});
    CPFileReader reader("a.bin", false);
    ASSERT_EQ(reader.Load(), S_OK);
    EXPECT_EQ(reader.ReadInt(), 1);
    ASSERT_EQ(reader.Load(), S_OK);
    EXPECT_EQ(reader.ReadInt(), 2);
    fs::remove("a.bin");
    EXPECT_EQ(reader.Load(), E_FAIL);
    EXPECT_EQ(reader.GetLength(), 0);
}

TEST_F(FileLayerTest, TypedReads) {
    float half = 0.5f;
    uint8_t halfBytes[4];
    std::memcpy(halfBytes, &half, 4);
    Put("typed.bin", Bytes{0xFE,
                           0xFF,
                           0xFF,
                           0xFF,
                           halfBytes[0],
                           halfBytes[1],
                           halfBytes[2],
                           halfBytes[3],
                           3,
                           0,
                           0,
                           0,
                           'a',
                           0,
                           'b',
                           2,
                           0,
                           0,
                           0,
                           'x',
                           'y',
                           0,
                           0,
                           0,
                           0,
                           9});
    CPFileReader reader("typed.bin", false);
    ASSERT_EQ(reader.Load(), S_OK);
    EXPECT_EQ(reader.ReadInt(), -2);
    EXPECT_EQ(reader.ReadFloat(), 0.5f);
    EXPECT_EQ(reader.ReadString(), "a"); // the text ends at the first zero, the position moves by n
    EXPECT_EQ(reader.GetPosition(), 15);
    EXPECT_EQ(reader.ReadString(), "xy");
    EXPECT_EQ(reader.ReadString(), ""); // zero length
    uint8_t last = 0;
    reader.Read(&last, 1);
    EXPECT_EQ(last, 9);
    EXPECT_FALSE(reader.Overrun());
}

TEST_F(FileLayerTest, ReadStringOverTheDocumentedBytes) {
    Put("s.bin", Bytes{3, 0, 0, 0, 0x61, 0x00, 0x62});
    CPFileReader reader("s.bin", false);
    ASSERT_EQ(reader.Load(), S_OK);
    EXPECT_EQ(reader.ReadString(), "a");
    EXPECT_EQ(reader.GetPosition(), 7);
    EXPECT_FALSE(reader.Overrun());
}

TEST_F(FileLayerTest, TruncatedReadsAreClampedZeroedAndFlagged) {
    struct Case {
        const char* name;
        Bytes file;
        int skip; // bytes read successfully first
        int expectedPosition;
    };
    // Each case reads past the end in a different way; the remaining bytes come through, the rest
    // of the destination is zero and the flag stays set.
    const Case cases[] = {
        {"int with two bytes", {0x34, 0x12}, 0, 2},
        {"int at the very end", {1, 0, 0, 0}, 4, 4},
        {"empty file", {}, 0, 0},
    };
    for (const Case& c : cases) {
        Put("t.bin", c.file);
        CPFileReader reader("t.bin", false);
        ASSERT_EQ(reader.Load(), S_OK) << c.name;
        uint8_t scratch[8];
        reader.Read(scratch, c.skip);
        EXPECT_FALSE(reader.Overrun()) << c.name;
        const int32_t value = reader.ReadInt();
        EXPECT_TRUE(reader.Overrun()) << c.name;
        EXPECT_EQ(reader.GetPosition(), c.expectedPosition) << c.name;
        if (c.skip == 0 && c.file.size() == 2) EXPECT_EQ(value, 0x1234) << c.name;
        else EXPECT_EQ(value, 0) << c.name;
        EXPECT_EQ(reader.ReadFloat(), 0.0f) << c.name;
        EXPECT_TRUE(reader.Overrun()) << c.name;
    }

    Put("t.bin", Bytes{7, 8, 9});
    CPFileReader reader("t.bin", false);
    ASSERT_EQ(reader.Load(), S_OK);
    uint8_t destination[8];
    std::memset(destination, 0xCC, sizeof destination);
    reader.Read(destination, 8);
    EXPECT_EQ(Bytes(destination, destination + 8), (Bytes{7, 8, 9, 0, 0, 0, 0, 0}));
    EXPECT_TRUE(reader.Overrun());
    ASSERT_EQ(reader.Load(), S_OK);
    EXPECT_FALSE(reader.Overrun()) << "a new load clears the flag";
}

TEST_F(FileLayerTest, TruncatedStringIsClamped) {
    struct Case {
        Bytes file;
        std::string text;
    };
    const Case cases[] = {
        {{5, 0, 0, 0, 'a', 'b'}, "ab"},
        {{0xFF, 0xFF, 0xFF, 0xFF, 'z'}, "z"}, // an absurd length
        {{0xFF, 0xFF, 0xFF, 0x7F}, ""},
        {{2, 0}, ""}, // even the length is cut short
    };
    for (const Case& c : cases) {
        Put("s.bin", c.file);
        CPFileReader reader("s.bin", false);
        ASSERT_EQ(reader.Load(), S_OK);
        EXPECT_EQ(reader.ReadString(), c.text);
        EXPECT_TRUE(reader.Overrun());
        EXPECT_EQ(reader.GetPosition(), reader.GetLength());
    }
}

TEST_F(FileLayerTest, WriterLayoutAndScrambledRoundTrip) {
    CPFileWriter plain("plain.bin", false);
    plain.WriteString("abc");
    plain.WriteInt(-2);
    EXPECT_EQ(plain.Write("\xE9", 1), S_OK);
    ASSERT_EQ(plain.Save(), S_OK);
    const Bytes expected{3, 0, 0, 0, 0x61, 0x62, 0x63, 0xFE, 0xFF, 0xFF, 0xFF, 0xE9};
    EXPECT_EQ(Get("plain.bin"), expected);

    // A scrambled file longer than the key, read back with and without the flag.
    Bytes payload(5000);
    for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<uint8_t>(i * 7);
    CPFileWriter scrambled("scores.dat", true);
    scrambled.Write(payload.data(), static_cast<int>(payload.size()));
    ASSERT_EQ(scrambled.Save(), S_OK);
    const Bytes onDisk = Get("scores.dat");
    EXPECT_NE(onDisk, payload);
    EXPECT_EQ(static_cast<uint8_t>(onDisk[1933] - PackKey[0]), payload[1933]);

    CPFileReader unscrambling("scores.dat", true);
    ASSERT_EQ(unscrambling.Load(), S_OK);
    EXPECT_EQ(Bytes(unscrambling.GetData(), unscrambling.GetData() + unscrambling.GetLength()), payload);
    CPFileReader raw("scores.dat", false);
    ASSERT_EQ(raw.Load(), S_OK);
    EXPECT_EQ(Bytes(raw.GetData(), raw.GetData() + raw.GetLength()), onDisk);
}

TEST_F(FileLayerTest, WritersLandInTheExistingFolderOfAnyCase) {
    fs::create_directory("data");
    // Resolve once so the folder listing is cached, then let the writer create the file.
    EXPECT_EQ(ResolvePath("Data\\scores.dat"), "data/scores.dat");
    CPFileWriter writer("Data\\scores.dat", false);
    writer.WriteInt(1);
    ASSERT_EQ(writer.Save(), S_OK);
    CPFileWriter replacing("DATA\\admin.sav", false);
    replacing.WriteInt(2);
    ASSERT_EQ(replacing.SaveReplacing(), S_OK);

    EXPECT_TRUE(fs::is_regular_file("data/scores.dat"));
    EXPECT_TRUE(fs::is_regular_file("data/admin.sav"));
    EXPECT_FALSE(fs::exists("Data"));
    EXPECT_FALSE(fs::exists("DATA"));
    EXPECT_EQ(ResolvePath("DATA\\SCORES.DAT"), "data/scores.dat");
    EXPECT_EQ(ResolvePath("data\\Admin.Sav"), "data/admin.sav");
}

TEST_F(FileLayerTest, SaveFailsWhenTheTargetCannotBeWritten) {
    fs::create_directory("taken");
    CPFileWriter intoDirectory("taken", false);
    intoDirectory.WriteInt(1);
    EXPECT_EQ(intoDirectory.Save(), E_FAIL);
    CPFileWriter missingFolder("nowhere/file.bin", false);
    EXPECT_EQ(missingFolder.Save(), E_FAIL);
}

TEST_F(FileLayerTest, ReplacingSaveKeepsTheOldFileOnFailure) {
    Put("config.cfg", "old = 1\r\n");
    chmod("config.cfg", 0640);

    CPFileWriter writer("Config.cfg", false);
    writer.Write("new = 2\r\n", 9);
    ASSERT_EQ(writer.SaveReplacing(), S_OK);
    EXPECT_EQ(Get("config.cfg"), (Bytes{'n', 'e', 'w', ' ', '=', ' ', '2', '\r', '\n'}));
    struct stat st;
    ASSERT_EQ(stat("config.cfg", &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u) << "the replaced file keeps its mode";

    // The target is a folder (root cannot write over one either): it stays as it was.
    fs::create_directories("Actions.cfg/inside");
    Put("Actions.cfg/inside/keep", "k");
    CPFileWriter overFolder("actions.cfg", false);
    overFolder.Write("x", 1);
    EXPECT_EQ(overFolder.SaveReplacing(), E_FAIL);
    EXPECT_EQ(Get("Actions.cfg/inside/keep"), (Bytes{'k'}));

    // A missing parent folder fails before anything is written.
    CPFileWriter noFolder("Saves/save1.sav", false);
    noFolder.Write("x", 1);
    EXPECT_EQ(noFolder.SaveReplacing(), E_FAIL);
    EXPECT_FALSE(fs::exists("Saves"));

    // No temporary file is left behind by any of these.
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(".")) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Actions.cfg", "config.cfg"}));
}

TEST_F(FileLayerTest, FinderMatchesWildcardsIgnoringCase) {
    Put("Data/game1.dat", "1");
    Put("Data/GAME2.DAT", "2");
    Put("Data/readme", "r");
    fs::create_directories("Data/Textures");

    auto find = [](const std::string& pattern) {
        std::vector<std::string> found;
        CPFileFinder finder(pattern);
        if (SUCCEEDED(finder.FindFirst())) {
            do found.push_back(finder.GetFileName() + (finder.IsDirectory() ? "/" : ""));
            while (finder.FindNext());
        }
        return found;
    };
    using Names = std::vector<std::string>;
    EXPECT_EQ(find("data\\*.*"), (Names{"GAME2.DAT", "Textures/", "game1.dat", "readme"}));
    EXPECT_EQ(find("DATA/game*.dat"), (Names{"GAME2.DAT", "game1.dat"}));
    EXPECT_EQ(find("Data\\TEXTURES"), (Names{"Textures/"}));
    EXPECT_EQ(find("data\\?eadme"), (Names{"readme"}));
    EXPECT_EQ(find("data\\*.txt"), Names{});
    EXPECT_EQ(find("nowhere\\*.*"), Names{});

    CPFileFinder none("data\\*.png");
    EXPECT_EQ(none.FindFirst(), E_FAIL);
    EXPECT_FALSE(none.FindNext());
}
