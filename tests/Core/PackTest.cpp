#include "Core/PFileReader.h"
#include "Core/PPackFile.h"
#include "Core/PPath.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes B(const std::string& text) { return Bytes(text.begin(), text.end()); }

void AppendU32(Bytes& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// Lays out a pack directory by hand, entry by entry, so tests can also make corrupt ones.
struct RawDirectory {
    Bytes bytes;

    RawDirectory& Entry(const std::string& name, int32_t offset, uint32_t size, uint32_t children) {
        AppendU32(bytes, static_cast<uint32_t>(name.size()));
        bytes.insert(bytes.end(), name.begin(), name.end());
        AppendU32(bytes, static_cast<uint32_t>(offset));
        AppendU32(bytes, size);
        AppendU32(bytes, children);
        return *this;
    }
    RawDirectory& Folder(const std::string& name, uint32_t children) { return Entry(name, -1, 0, children); }
    RawDirectory& File(const std::string& name, int32_t offset, uint32_t size) { return Entry(name, offset, size, 0); }
};

// Magic, length, scrambled directory, then each file scrambled on its own, back to back.
Bytes RawPack(Bytes directory, const std::vector<Bytes>& files, uint32_t magic = PackMagic) {
    Bytes pack;
    AppendU32(pack, magic);
    AppendU32(pack, static_cast<uint32_t>(directory.size()));
    ScrambleBytes(directory.data(), directory.size());
    pack.insert(pack.end(), directory.begin(), directory.end());
    for (Bytes file : files) {
        ScrambleBytes(file.data(), file.size());
        pack.insert(pack.end(), file.begin(), file.end());
    }
    return pack;
}

class PackTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_previous = fs::current_path();
        std::string pattern = (fs::temp_directory_path() / "vastrel-packs-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_root = pattern;
        fs::current_path(m_root);
        UnmountPackFiles();
    }

    void TearDown() override {
        UnmountPackFiles();
        fs::current_path(m_previous);
        fs::remove_all(m_root);
    }

    static void Put(const fs::path& path, const Bytes& bytes) {
        if (!path.parent_path().empty()) fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }

    static Bytes Get(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    // Loads path through the file layer; false when it cannot be read.
    static bool Load(const std::string& path, Bytes& out) {
        CPFileReader reader(path, false);
        if (FAILED(reader.Load())) return false;
        out.assign(reader.GetData(), reader.GetData() + reader.GetLength());
        return true;
    }

    // The text of path, or "<missing>" when it cannot be read.
    static std::string LoadText(const std::string& path) {
        Bytes bytes;
        return Load(path, bytes) ? std::string(bytes.begin(), bytes.end()) : "<missing>";
    }

    static std::vector<int> MountedNumbers() {
        std::vector<int> numbers;
        for (const CPPackFile& pack : GetPackFiles()) numbers.push_back(pack.GetNumber());
        return numbers;
    }

    fs::path m_previous;
    fs::path m_root;
};

Bytes Counting(size_t size) {
    Bytes bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 31 + 7);
    return bytes;
}

int RunTool(const std::string& arguments, const std::string& output = "/dev/null") {
    const std::string command =
        std::string(VASTREL_BINARY_DIR "/bin/mkpack ") + arguments + " >" + output + " 2>/dev/null";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

TEST(ScrambleTest, RoundTripAndKeyWrap) {
    const Bytes original = Counting(2 * PackKeySize + 17);
    Bytes bytes = original;
    ScrambleBytes(bytes.data(), bytes.size());
    EXPECT_NE(bytes, original);
    for (size_t i : {size_t(0), size_t(1), PackKeySize - 1, PackKeySize, PackKeySize + 1, 2 * PackKeySize})
        EXPECT_EQ(static_cast<uint8_t>(bytes[i] - original[i]), PackKey[i % PackKeySize]) << i;
    UnscrambleBytes(bytes.data(), bytes.size());
    EXPECT_EQ(bytes, original);

    // Zeros scrambled give the key itself, so it cannot silently be all zero or short.
    Bytes zeros(PackKeySize + 1, 0);
    ScrambleBytes(zeros.data(), zeros.size());
    EXPECT_EQ(Bytes(zeros.begin(), zeros.end() - 1), Bytes(PackKey, PackKey + PackKeySize));
    EXPECT_EQ(zeros.back(), PackKey[0]);
    size_t nonZero = 0;
    for (uint8_t b : zeros) nonZero += b != 0;
    EXPECT_GT(nonZero, PackKeySize / 2);
}

TEST_F(PackTest, HandMadePackIsReadWithItsOffsetsAndKeyRules) {
    // data\textures\x.tga sits at offset 0 (right after the directory), data\b.txt after it;
    // an empty folder adds nothing; a later duplicate replaces an earlier entry; bytes after the
    // root's subtree are ignored. Each file is scrambled from key index 0 at its own first byte.
    const Bytes texture = Counting(PackKeySize + 5);
    const Bytes early = B("early");
    const Bytes late = B("late!");
    RawDirectory dir;
    dir.Folder("Data", 4)
        .Folder("Textures", 1)
        .File("X.TGA", 0, static_cast<uint32_t>(texture.size()))
        .Folder("Empty", 0)
        .File("b.txt", static_cast<int32_t>(texture.size()), 5)
        .File("B.TXT", static_cast<int32_t>(texture.size() + 5), 5);
    dir.bytes.insert(dir.bytes.end(), {0xDE, 0xAD});
    Put("Data/game1.dat", RawPack(dir.bytes, {texture, early, late}));

    EXPECT_EQ(MountPackFiles(), S_OK);
    ASSERT_EQ(GetPackFiles().size(), 1u);
    EXPECT_EQ(GetPackFiles()[0].GetPath(), "Data\\game1.dat");
    EXPECT_EQ(GetPackFiles()[0].GetDirectory().size(), 2u);

    Bytes read;
    ASSERT_TRUE(Load("Data\\Textures\\X.TGA", read));
    EXPECT_EQ(read, texture);
    EXPECT_EQ(LoadText("data\\b.txt"), "late!");
    // Pack keys use backslashes only; folders are not files.
    EXPECT_FALSE(Load("data/textures/x.tga", read));
    EXPECT_FALSE(Load("data\\textures", read));
    EXPECT_FALSE(Load("data\\empty", read));
}

TEST_F(PackTest, WriterAndReaderAgree) {
    const std::vector<PackItem> items = {
        {"data\\scripts\\main.lua", B("print('hi')")},
        {"data\\Textures\\Big.TGA", Counting(5000)},
        {"data\\empty.txt", {}},
        {"DATA\\scripts\\list.dat", B("main\r\n\xE9\xFF")},
        {"data\\SCRIPTS\\MAIN.LUA", B("print('bye')")}, // replaces the first item
    };
    fs::create_directory("DATA");
    ASSERT_EQ(WritePackFile("data/game5.dat", items), S_OK);
    ASSERT_TRUE(fs::is_regular_file("DATA/game5.dat"));

    CPPackFile pack(5, "data\\game5.dat");
    ASSERT_EQ(pack.ReadDirectory(), S_OK);
    std::map<std::string, uint32_t> sizes;
    for (const auto& [key, entry] : pack.GetDirectory()) sizes[key] = entry.size;
    EXPECT_EQ(sizes, (std::map<std::string, uint32_t>{{"data\\empty.txt", 0},
                                                      {"data\\scripts\\list.dat", 8},
                                                      {"data\\scripts\\main.lua", 12},
                                                      {"data\\textures\\big.tga", 5000}}));

    ASSERT_EQ(MountPackFiles(), S_OK);
    Bytes read;
    ASSERT_TRUE(Load("Data\\Textures\\BIG.tga", read));
    EXPECT_EQ(read, Counting(5000));
    EXPECT_EQ(LoadText("data\\scripts\\main.lua"), "print('bye')");
    EXPECT_EQ(LoadText("Data\\Scripts\\List.dat"), "main\r\n\xE9\xFF");
    ASSERT_TRUE(Load("data\\empty.txt", read));
    EXPECT_TRUE(read.empty());
}

TEST_F(PackTest, WriterRejectsKeysItCannotStore) {
    struct Case {
        const char* name;
        std::vector<PackItem> items;
    };
    const Case cases[] = {
        {"nothing to store", {}},
        {"two roots", {{"data\\a", B("1")}, {"other\\b", B("2")}}},
        {"empty component", {{"data\\\\a", B("1")}}},
        {"file and folder of one name", {{"data\\a", B("1")}, {"data\\a\\b", B("2")}}},
        {"root file beside a folder", {{"data\\a", B("1")}, {"data", B("2")}}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(WritePackFile("bad.dat", c.items), E_FAIL) << c.name;
        EXPECT_FALSE(fs::exists("bad.dat")) << c.name;
    }
}

TEST_F(PackTest, LooseFilesWinThenTheHighestNumber) {
    auto pack = [](const std::string& path, const std::string& text) {
        ASSERT_EQ(WritePackFile(path, {{"data\\a.txt", B(text)}, {"data\\only" + text + ".txt", B(text)}}), S_OK);
    };
    fs::create_directory("data");
    pack("data/game1.dat", "one");
    pack("data/game2.dat", "two");
    pack("data/game10.dat", "ten"); // numbers compare as numbers, not as text
    ASSERT_EQ(MountPackFiles(), S_OK);
    EXPECT_EQ(MountedNumbers(), (std::vector<int>{10, 2, 1}));

    EXPECT_EQ(LoadText("data\\a.txt"), "ten");
    EXPECT_EQ(LoadText("data\\onlyone.txt"), "one");
    Put("data/A.TXT", B("loose"));
    EXPECT_EQ(LoadText("data\\a.txt"), "loose");
    EXPECT_EQ(LoadText("Data/A.txt"), "loose") << "loose files take either slash";
    fs::remove("data/A.TXT");

    // A pack that has gone missing since mounting is passed over for the next one.
    fs::remove("data/game10.dat");
    EXPECT_EQ(LoadText("data\\a.txt"), "two");
    EXPECT_EQ(LoadText("data\\onlyten.txt"), "<missing>");
}

TEST_F(PackTest, MountNamingRules) {
    struct Case {
        std::string name;
        int number; // -1: not mounted
    };
    const Case cases[] = {
        {"game12.dat", 12}, {"game.dat", 0},       {"gamexdat", 0},       {"game7x.dat", 7},  {"Game3.dat", -1},
        {"game4.DAT", -1},  {"game5.dat.bak", -1}, {"savegame6.dat", -1}, {"game-2.dat", -2}, {"game08.dat", 8},
    };
    fs::create_directory("DaTa");
    for (const Case& c : cases)
        ASSERT_EQ(WritePackFile("data/" + c.name, {{"data\\" + c.name + ".txt", B(c.name)}}), S_OK);
    fs::create_directory("DaTa/game99.dat"); // a folder is never a pack

    ASSERT_EQ(MountPackFiles(), S_OK);
    std::vector<std::string> mounted;
    for (const CPPackFile& pack : GetPackFiles())
        mounted.push_back(pack.GetPath() + "=" + std::to_string(pack.GetNumber()));
    // Highest first; equal numbers keep the finder's name order.
    EXPECT_EQ(mounted, (std::vector<std::string>{"Data\\game12.dat=12", "Data\\game08.dat=8", "Data\\game7x.dat=7",
                                                 "Data\\game.dat=0", "Data\\gamexdat=0", "Data\\game-2.dat=-2"}));
    for (const Case& c : cases)
        EXPECT_EQ(LoadText("data\\" + c.name + ".txt") != "<missing>", c.number != -1) << c.name;
}

TEST_F(PackTest, NoDataFolderMountsNothing) {
    EXPECT_EQ(MountPackFiles(), S_OK);
    EXPECT_TRUE(GetPackFiles().empty());
}

TEST_F(PackTest, CorruptPacksMountEmptyAndSafely) {
    const Bytes good = B("good");
    auto deepNesting = [] {
        RawDirectory dir;
        for (int i = 0; i < 100000; ++i) dir.Folder("d", 1);
        dir.File("f", 0, 1);
        return dir.bytes;
    };
    Bytes lengthPastFile = RawPack(RawDirectory().Folder("data", 1).File("a", 0, 1).bytes, {B("x")});
    lengthPastFile[4] = 0xFF;
    lengthPastFile[5] = 0xFF;

    struct Case {
        const char* name;
        Bytes pack;
    };
    const Case cases[] = {
        {"bad magic", RawPack(RawDirectory().Folder("data", 1).File("a", 0, 1).bytes, {B("x")}, 0xAF1627C5)},
        {"shorter than the header", Bytes{0xC4, 0x27, 0x16, 0xAF, 8}},
        {"empty file", Bytes{}},
        {"directory length past the file", lengthPastFile},
        {"name length past the directory", RawPack(Bytes{50, 0, 0, 0, 'd', 'a', 't', 'a'}, {})},
        {"root name length huge", RawPack(Bytes{0xFF, 0xFF, 0xFF, 0xFF, 'd'}, {})},
        {"child name past the directory", RawPack(
                                              [] {
                                                  RawDirectory dir;
                                                  dir.Folder("data", 1);
                                                  AppendU32(dir.bytes, 1000);
                                                  dir.bytes.insert(dir.bytes.end(), 20, 'n');
                                                  return dir.bytes;
                                              }(),
                                              {})},
        {"huge child count", RawPack(RawDirectory().Folder("data", 0xFFFFFFFF).File("a", 0, 1).bytes, {B("x")})},
        {"child count past the directory", RawPack(RawDirectory().Folder("data", 3).File("a", 0, 1).bytes, {B("x")})},
        {"entry cut short", RawPack(Bytes{4, 0, 0, 0, 'd', 'a', 't', 'a', 0xFF, 0xFF}, {})},
        {"deep nesting", RawPack(deepNesting(), {B("x")})},
    };
    fs::create_directory("Data");
    // A sound pack mounted beside each of them keeps serving.
    ASSERT_EQ(WritePackFile("Data/game0.dat", {{"data\\ok.txt", good}}), S_OK);
    for (const Case& c : cases) {
        Put("Data/game1.dat", c.pack);
        UnmountPackFiles();
        EXPECT_EQ(MountPackFiles(), E_FAIL) << c.name;
        ASSERT_EQ(GetPackFiles().size(), 2u) << c.name;
        EXPECT_EQ(GetPackFiles()[0].GetNumber(), 1) << c.name;
        EXPECT_TRUE(GetPackFiles()[0].GetDirectory().empty()) << c.name;
        EXPECT_EQ(LoadText("data\\ok.txt"), "good") << c.name;
        EXPECT_EQ(LoadText("data\\a"), "<missing>") << c.name;
    }
}

TEST_F(PackTest, EntriesPastTheEndOfThePackFailToLoad) {
    // The directory is sound but the data area was cut short, or an entry claims gigabytes.
    RawDirectory dir;
    dir.Folder("data", 3).File("cut", 0, 10).File("huge", 0, 0xFFFFFFF0).File("fine", 10, 2);
    Bytes pack = RawPack(dir.bytes, {B("0123456789"), B("ok")});
    Bytes truncated(pack.begin(), pack.end() - 8);
    fs::create_directory("data");
    Put("data/game1.dat", pack);
    ASSERT_EQ(MountPackFiles(), S_OK);
    EXPECT_EQ(LoadText("data\\fine"), "ok");
    EXPECT_EQ(LoadText("data\\huge"), "<missing>");

    Put("data/game1.dat", truncated);
    EXPECT_EQ(LoadText("data\\cut"), "<missing>");
    EXPECT_EQ(LoadText("data\\fine"), "<missing>");
}

TEST_F(PackTest, ToolBuildsAndListsPacks) {
    Put("src/scripts/main.lua", B("print(1)\n"));
    Put("src/Textures/Road.TGA", Counting(5000));
    Put("src/readme", B("\xE9\xFF"));
    fs::create_directories("src/empty/folder");

    fs::create_directory("Data");
    ASSERT_EQ(RunTool((m_root / "Data" / "game3.dat").string() + " " + (m_root / "src").string()), 0);
    ASSERT_EQ(RunTool("--list " + (m_root / "Data" / "game3.dat").string(), (m_root / "list.txt").string()), 0);
    const Bytes listing = Get("list.txt");
    EXPECT_EQ(std::string(listing.begin(), listing.end()),
              "data\\readme 2\ndata\\scripts\\main.lua 9\ndata\\textures\\road.tga 5000\n");

    ASSERT_EQ(MountPackFiles(), S_OK);
    EXPECT_EQ(MountedNumbers(), (std::vector<int>{3}));
    Bytes read;
    ASSERT_TRUE(Load("Data\\Textures\\Road.tga", read));
    EXPECT_EQ(read, Counting(5000));
    EXPECT_EQ(LoadText("data\\scripts\\main.lua"), "print(1)\n");
    EXPECT_EQ(LoadText("DATA\\README"), "\xE9\xFF");
}

TEST_F(PackTest, ToolRebuildingAPackInsideItsSourceLeavesTheOldPackOut) {
    // The usual call packs the whole "Data" folder into a pack inside it; run twice, the second
    // pack must not carry the first one.
    Put("Data/scripts/main.lua", B("print(2)\n"));
    const std::string arguments = (m_root / "Data" / "game1.dat").string() + " " + (m_root / "Data").string();
    ASSERT_EQ(RunTool(arguments), 0);
    const Bytes first = Get("Data/game1.dat");
    ASSERT_EQ(RunTool(arguments), 0);
    EXPECT_EQ(Get("Data/game1.dat"), first);
    ASSERT_EQ(RunTool("--list " + (m_root / "Data" / "game1.dat").string(), (m_root / "list.txt").string()), 0);
    const Bytes listing = Get("list.txt");
    EXPECT_EQ(std::string(listing.begin(), listing.end()), "data\\scripts\\main.lua 9\n");
}

TEST_F(PackTest, ToolExitCodes) {
    Put("src/a.txt", B("a"));
    Put("junk.dat", B("not a pack"));
    fs::create_directory("hollow");
    struct Case {
        std::string arguments;
        int code;
    };
    const Case cases[] = {
        {"", 2},
        {"only-one", 2},
        {"a b c", 2},
        {"--bogus x", 2},
        {"out.dat missing-folder", 1},
        {"out.dat hollow", 1},
        {"no/such/folder/out.dat src", 1},
        {"--list missing.dat", 1},
        {"--list junk.dat", 1},
        {"--list src", 1},
        {"out.dat src", 0},
    };
    for (const Case& c : cases) EXPECT_EQ(RunTool(c.arguments), c.code) << c.arguments;
}
