// The program on copies of the demo root, each with one file missing or damaged: the menu must still
// come and, where the file allows it, a race; the log names the file; the program ends with 0.
// Every script of the copy starts with a few lines of the test's own that note in "journal.txt" each
// screen shown; "main" also starts a race after a few turns, notes whether a car runs in it, and
// quits.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "ProgramHarness.h"

namespace fs = std::filesystem;

namespace {

using ProgramHarness::ReadFile;

constexpr const char* kEveryScript = R"(do
    local activate, silent = ActivateInterface, SilentActivateInterface
    local function note(text) local f = io.open("journal.txt", "a") f:write(text, "\n") f:close() end
    ActivateInterface = function(...) note("screen") return activate(...) end
    SilentActivateInterface = function(...) note("screen") return silent(...) end
end
)";

constexpr const char* kMainDriver = R"(do
    local turn, update = 0, Update
    local function note(text) local f = io.open("journal.txt", "a") f:write(text, "\n") f:close() end
    Update = function(...)
        turn = turn + 1
        if turn == 8 then LoadGame("save0.sav") end
        if turn == 10 then SaveGame() end
        if turn == 12 then SetPlayerName("coupe_t") InitPlayer() InitLevel("level1") InitSky() StartLevel() SetLevelStarted(true) SetUpdateTime(true) end
        if turn == 60 then note(GetPlayerDirection() ~= nil and "race" or "no race") end
        if turn == 62 then KillAllTasks() end
        return update(...)
    end
end
)";

bool HasLine(const std::string& text, const std::string& line) {
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);)
        if (l == line) return true;
    return false;
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

// The demo root with its fonts; empty when it could not be made.
fs::path MakeRootWithFonts() {
    char pattern[] = "/tmp/vastrel-badinput-XXXXXX";
    if (!mkdtemp(pattern)) return fs::path();
    const fs::path dir = pattern;
    const std::string dejavu = "/usr/share/fonts/truetype/dejavu/";
    bool made = static_cast<bool>(ProgramHarness::MakeDemoRoot(dir));
    // Without the fonts nothing reads fonts.dat's lines; the DejaVu fonts may be absent.
    if (made && fs::exists(dejavu + "DejaVuSans.ttf") && fs::exists(dejavu + "DejaVuSans-Bold.ttf"))
        made = ProgramHarness::RunTool(dir, "mkfont", dejavu + "DejaVuSans.ttf 16 small .") &&
               ProgramHarness::RunTool(dir, "mkfont", dejavu + "DejaVuSans-Bold.ttf 32 title .");
    if (made) return dir;
    std::error_code ignored;
    fs::remove_all(dir, ignored);
    return fs::path();
}

// Made once for all cases, removed when the tests end.
struct MadeRoot {
    fs::path dir;
    ~MadeRoot() {
        std::error_code ignored;
        if (!dir.empty()) fs::remove_all(dir, ignored);
    }
};

fs::path DemoRoot() {
    static const MadeRoot root{MakeRootWithFonts()};
    return root.dir;
}

struct RunOutput {
    int code;
    std::string log;
    std::string journal;
};

// The copy with the damage done, every script prefixed, the program run on it.
RunOutput RunOnCopy(const std::function<void(const fs::path&)>& damage, bool dropPrivileges = false) {
    char pattern[] = "/tmp/vastrel-case-XXXXXX";
    if (!mkdtemp(pattern)) return {-1, "", ""};
    const fs::path root = pattern;
    fs::copy(DemoRoot(), root, fs::copy_options::recursive);
    for (const auto& entry : fs::directory_iterator(root / "Data/Scripts")) {
        if (entry.path().extension() != ".lua") continue;
        const std::string text = ReadFile(entry.path());
        std::ofstream(entry.path()) << kEveryScript << (entry.path().stem() == "main" ? kMainDriver : "") << text;
    }
    ProgramHarness::SmallScreen(root);
    damage(root);
    if (dropPrivileges) {
        // Permissions hold only for a user without the right to override them.
        for (const auto& entry : fs::recursive_directory_iterator(root))
            (void)!chown(entry.path().c_str(), 65534, 65534);
        (void)!chown(root.c_str(), 65534, 65534);
    }
    ProgramHarness::ProgramOptions options;
    options.environment = {{"VASTREL_LOG", "1"}};
    options.dropPrivileges = dropPrivileges;
    const int code = ProgramHarness::RunProgram(root, options);
    RunOutput out{code, ReadFile(root / "program.out"), ReadFile(root / "journal.txt")};
    std::error_code ignored;
    fs::permissions(root / "Data/Saves", fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(root, ignored);
    return out;
}

void Remove(const fs::path& file) { fs::remove(file); }
void Garble(const fs::path& file) {
    std::string bytes = ReadFile(file);
    for (size_t i = 0; i < bytes.size(); i += 3) bytes[i] = static_cast<char>(bytes[i] ^ 0x5A);
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
}
void Truncate(const fs::path& file) {
    const std::string bytes = ReadFile(file);
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes.substr(0, bytes.size() / 2);
}

// Every number of the text made "nan", "inf" in turn.
void NotFinite(const fs::path& file) {
    const std::string text = ReadFile(file);
    std::string out;
    bool nan = true;
    for (size_t i = 0; i < text.size();) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) {
            out += text[i++];
            continue;
        }
        while (i < text.size() && (std::isdigit(static_cast<unsigned char>(text[i])) || text[i] == '.')) ++i;
        out += nan ? "nan" : "inf";
        nan = !nan;
    }
    std::ofstream(file, std::ios::binary | std::ios::trunc) << out;
}
// Every 32-bit word of the file's first 64 bytes made 0x7FFFFFFF: counts and sizes far past the data.
void HugeCounts(const fs::path& file) {
    std::string bytes = ReadFile(file);
    for (size_t i = 0; i + 4 <= bytes.size() && i < 64; i += 4) bytes.replace(i, 4, "\xFF\xFF\xFF\x7F", 4);
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
}
void Empty(const fs::path& file) { std::ofstream(file, std::ios::binary | std::ios::trunc); }
void Folder(const fs::path& file) {
    fs::remove(file);
    fs::create_directories(file / "inside");
}
// A line of a megabyte at the start, and NUL bytes for every line end.
void LongLineAndNuls(const fs::path& file) {
    std::string bytes = ReadFile(file);
    std::replace(bytes.begin(), bytes.end(), '\n', '\0');
    std::ofstream(file, std::ios::binary | std::ios::trunc) << std::string(1 << 20, 'x') << "\n" << bytes;
}

struct Case {
    const char* file;                 // relative to the root
    void (*corrupt)(const fs::path&); // the file's damaged form; the other form is its absence
    bool race;                        // the race still runs
    bool logged;                      // the log names the damaged file
    bool loggedMissing = true;        // the log names the missing file (some files are optional)
    bool stopsWhenMissing = false;    // without it the game says why and ends before its menu
};

// Each file missing, then damaged. Nothing reads the scores back, so nothing reports them.
TEST(BadInputE2ETest, OneFileMissingOrDamagedLeavesTheMenuAndWhereItCanTheRace) {
    if (DemoRoot().empty()) GTEST_SKIP() << "the demo root could not be made";
    const Case cases[] = {
        {"Data/weapons.dat", Garble, true, true},
        {"Data/particles.dat", Garble, true, true},
        {"Data/Levels/level1.lvl", Truncate, false, true},
        {"Data/Fonts/fonts.dat", Garble, true, true},
        {"Data/Sounds/Sounds.dat", Garble, true, true},
        {"Data/Music/tune.ogg", Garble, true, true},
        {"Data/catalogs.dat", Garble, true, true},
        {"Data/Saves/save0.sav", Truncate, true, true},
        {"Data/scores.dat", Garble, true, false, false},
        {"Data/admin.sav", Truncate, true, true},
        {"Data/Clouds/skyscape1.txt", Garble, true, true},
        {"Data/Interface/hud1024.int", Garble, true, true},
        {"Data/Effects/simple.fx", Garble, true, true},
        // Every other kind of file the game reads, each damaged in one of the ways above.
        {"Data/Levels/level1.lvl", HugeCounts, false, true},
        {"Data/Levels/level1.trk", NotFinite, true, true, false},
        {"Data/Levels/mission1.txt", LongLineAndNuls, true, false, false},
        // Without its model the player's car cannot be made: the race is refused, the menu stays.
        {"Data/Meshes/coupe_t.p3d", HugeCounts, false, true},
        {"Data/Meshes/crate.msh", Truncate, true, true},
        {"Data/Meshes/flag.amf", Garble, true, true},
        {"Data/Animations/spin.anm", HugeCounts, true, true},
        {"Data/Meshes/crate.rdf", LongLineAndNuls, true, false},
        {"Data/Descriptions/coupe_t.xml", Truncate, true, true},
        {"Data/Textures/asphalt.tga", HugeCounts, true, true},
        {"Data/Textures/razlom.dds", Truncate, true, false, false},
        {"Data/Interface/menu1024.int", NotFinite, true, false},
        {"Data/Fonts/small.fnt", NotFinite, true, false},
        {"Data/spots.dat", NotFinite, true, true},
        {"Data/particlesystems.dat", LongLineAndNuls, true, false},
        {"Data/flames.dat", NotFinite, true, true},
        {"Data/Clouds/cloud1.txt", Folder, true, true},
        {"Data/Clouds/states1.txt", NotFinite, true, true},
        {"Data/weapons.dat", NotFinite, true, true},
        {"Data/catalogs.dat", LongLineAndNuls, true, false},
        {"Data/coeff.dat", NotFinite, true, false, false},
        {"Data/Sounds/Sounds.dat", Folder, true, true},
        {"Data/Sounds/click.wav", HugeCounts, true, true},
        {"Data/game0.dat", Garble, true, true, false},
        {"config.cfg", NotFinite, true, false, false},
        {"Actions.cfg", Empty, true, false, true, true},

    };
    for (const Case& c : cases) {
        for (const bool missing : {true, false}) {
            SCOPED_TRACE(std::string(c.file) + (missing ? " missing" : " damaged"));
            const RunOutput out = RunOnCopy([&](const fs::path& root) {
                if (missing) {
                    Remove(root / c.file);
                    return;
                }
                if (!fs::exists(root / c.file)) std::ofstream(root / c.file) << "not what it should be";
                c.corrupt(root / c.file);
            });
            const std::string name = Lower(fs::path(c.file).filename().string());
            if (missing && c.stopsWhenMissing) {
                EXPECT_EQ(out.code, 0) << out.log;
                EXPECT_FALSE(HasLine(out.journal, "race")) << "it went on";
                EXPECT_NE(Lower(out.log).find(name), std::string::npos) << "the message does not name the file:\n"
                                                                        << out.log;
                continue;
            }
            if (ProgramHarness::CouldNotStart(out.log)) GTEST_SKIP() << "no GL context here";
            EXPECT_EQ(out.code, 0) << out.log;
            EXPECT_NE(out.journal.find("screen"), std::string::npos) << "no screen came";
            EXPECT_TRUE(HasLine(out.journal, c.race ? "race" : "no race")) << out.journal;
            if (missing ? c.loggedMissing : c.logged) {
                EXPECT_NE(Lower(out.log).find(name), std::string::npos) << "the log does not name the file:\n"
                                                                        << out.log;
            }
        }
    }
}

// The showroom's fifth turn indexes nil: that script ends there (never resumed), the log says why,
// and the menu, the race and the other scripts go on.
TEST(BadInputE2ETest, AScriptWithARuntimeErrorDiesAlone) {
    if (DemoRoot().empty()) GTEST_SKIP() << "the demo root could not be made";
    const RunOutput out = RunOnCopy([](const fs::path& root) {
        const fs::path script = root / "Data/Scripts/showroom.lua";
        const std::string text = ReadFile(script);
        std::ofstream(script, std::ios::trunc) << R"(do
    local update, turns = Update, 0
    Update = function(...)
        turns = turns + 1
        local f = io.open("journal.txt", "a") f:write("showroom turn ", turns, "\n") f:close()
        if turns == 5 then local nothing = nil nothing.field = 1 end
        return update(...)
    end
end
)" << text;
    });
    EXPECT_EQ(out.code, 0) << out.log;
    EXPECT_NE(out.journal.find("screen"), std::string::npos);
    EXPECT_TRUE(HasLine(out.journal, "race")) << out.journal;
    EXPECT_TRUE(HasLine(out.journal, "showroom turn 5")) << "the failing turn never came:\n" << out.journal;
    EXPECT_FALSE(HasLine(out.journal, "showroom turn 6")) << "the failed script ran on";
    EXPECT_NE(out.log.find("Script Error!"), std::string::npos) << "the error is not logged:\n" << out.log;
    // The error's own line names the script.
    bool named = false;
    std::istringstream lines(out.log);
    for (std::string line; std::getline(lines, line);)
        named |= line.find("showroom") != std::string::npos && line.find("nil value") != std::string::npos;
    EXPECT_TRUE(named) << out.log;
}

TEST(BadInputE2ETest, ReadOnlySavesFolderFailsTheSaveAndPlayGoesOn) {
    if (DemoRoot().empty()) GTEST_SKIP() << "the demo root could not be made";
    const RunOutput out = RunOnCopy(
        [](const fs::path& root) {
            fs::create_directories(root / "Data/Saves");
            fs::permissions(root / "Data/Saves", fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                                     fs::perms::group_exec | fs::perms::others_read |
                                                     fs::perms::others_exec);
        },
        true);
    EXPECT_EQ(out.code, 0) << out.log;
    EXPECT_TRUE(HasLine(out.journal, "race")) << out.journal;
    EXPECT_NE(out.log.find("could not be written"), std::string::npos) << out.log;
}

} // namespace
