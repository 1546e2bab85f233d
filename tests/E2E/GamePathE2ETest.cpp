// The whole game as a player plays it, from committed input: the real program, offscreen, started as
// the launcher's "windowed" button starts it, on the demo root at a fixed frame time, fed by
// tests/fixtures/path/path.input (menu by keys; a new profile typed; the shop's catalogs, a
// purchase, auto fitting and upgrades by mouse; the race on level 1 against the stored rival with
// the guns, the weapon switch, the mine, the super weapon and the camera key, to the finish; the
// records; the options with a volume and the fire key changed; Exit). Then a second run on the files the
// first left (continue.input): Continue loads the slot and the shop shows its name.
//
// What is checked: the exit codes; every script's journal lines, in order, against
// tests/fixtures/path/journal.txt and journal-continue.txt; the save slot, the score table,
// "config.cfg" and "Actions.cfg" read back (mksave for the binary ones); and that every function the
// program registers for its scripts is reached on the way, but for a short list of names with a
// reason each. The test's copy of the scripts counts the calls: each script file starts with
// dofile of a "calls.lua" the test writes, which wraps every registered global before the script
// can take a local copy of it.
//
// After a change to the demo scripts or data that changes what they journal, write the journals
// of this run into the fixture and READ the diff before committing it:
//   VASTREL_PATH_REGENERATE=1 build/tests/tests_e2e --gtest_filter='GamePathE2ETest.*'
//   git diff tests/fixtures/path/
// A change that makes the race longer or shorter moves its end: the turns after the race in
// path.input must still come after the menu is back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <lua.hpp>

#include "ProgramHarness.h"
#include "ScriptHarness.h"

namespace fs = std::filesystem;

namespace {

// Registered names the path need not call, each with why. The test fails on a name missing from the
// path and not listed here, and on a listed name that the path does call.
struct Exempt {
    const char* name;
    const char* reason;
};
const Exempt kNotOnThePath[] = {
    // One function under these names that reads nothing and does nothing.
    {"SetDefaultCamera", "does nothing"},
    {"SetBrightness", "does nothing"},
    {"DumpAIInfo", "does nothing"},
    {"PlayVideo", "does nothing"},
    {"PlayVideoNoSound", "does nothing"},
    {"PlayVideo1", "does nothing"},
    {"StopVideo", "does nothing"},
    {"StopVideo1", "does nothing"},
    {"SaveLog", "reads its text and does nothing"},
    {"SetLensFlare", "reads its numbers and does nothing"},
    {"AddEnemy", "reads its arguments and does nothing"},
    {"GetScoreLine", "answers an empty name and 0 whatever the table holds"},
    {"GetAICount", "hands back its own last argument"},
    // The rivals the scripts would drive: the level's car list, which nothing in the game fills.
    {"ActivateAbilitiesAI", "a car of the car list"},
    {"SetAbilitiesCountAI", "a car of the car list"},
    {"PlayerNitroAI", "a car of the car list"},
    {"GetPlayerDirectionAI", "a car of the car list"},
    {"GetPlayerSpeedAI", "a car of the car list"},
    {"GetAIDamage", "searches the car list only"},
    {"IsDarkLeft", "counts the car list"},
    {"IsLightLeft", "counts the car list"},
    {"GetNearestSunwardPlayer", "searches the car list; without rivals it finds the player's own car"},
    {"GetNearestMoonwardPlayer", "searches the car list; without rivals it finds the player's own car"},
    {"ThrowPlayer", "acts on Sunward cars only; the player's car is Moonward and there is no other"},
    {"KillPlayer", "takes a rival out of the race; there is none"},
    // Enemies: nothing in the game creates one (see AddEnemy).
    {"GetEnemyData", "reads an enemy table nothing creates"},
    {"GetEnemyType", "places enemies"},
    {"GetPositionForEnemy", "places enemies"},
    {"IsEnemySourceNear", "places enemies"},
    {"CrossPlayerRay", "the enemies' line of sight"},
    // Nitro: nothing in the game raises a car's nitro amount, so these read 0 or switch nothing on.
    {"GetNitro", "the nitro amount, always 0"},
    {"SetBrake", "starts the boost only while there is nitro"},
    // Debug aids with nothing on screen to show for them.
    {"Pup", "the car-parameter tuner"},
    {"Pdown", "the car-parameter tuner"},
    {"Pleft", "the car-parameter tuner"},
    {"Pright", "the car-parameter tuner"},
    {"DrawLine", "a debug line"},
    // A run under test must not start other programs.
    {"GoURL", "opens the file in the desktop's browser"},
    // The camera: the race points it at the car every frame, so a script's eye or look point
    // never reaches the view.
    {"SetCameraPos", "the race update rewrites the look point every frame"},
    {"GetCameraPositions", "nothing places itself by the camera but the sound listener, which follows it"},
    // What the demo's level and screens have no use for.
    {"Spawn", "its restart point, fixed at (0, 5, -20), lies under the demo road"},
    {"IsWeather", "the demo level has no weather effect"},
    {"Jump", "the demo level's props have no rigid bodies"},
    {"StartAnimation", "the demo level has no animated prop"},
    {"StopScript", "a prop script ends by returning, once its prop is released"},
    {"SetCurrentWeapon", "the weapon keys step through the slots with SetNextWeapon and SetPrevWeapon"},
    {"DrawObject", "the race draws the level's own models"},
    {"CrossInterfaceRay", "the race takes no mouse input"},
    {"IsPlayerMovingBackwards", "the radar asks it only off the track lines, and the path's car keeps to them"},
    {"GetSplineLineCount", "the radar reads the lines near the car with GetClosestLineCenter"},
    {"GetSplineLinePoint", "the radar reads the lines near the car with GetClosestLineCenter"},
    {"GetTextureSize", "the screens' pictures are laid out by their .int files"},
    {"GetParentObject", "the scripts hold every object they move from its load on"},
};

// Journal lines that follow the sound device's own clock, not the frames: the race's tune ends when
// the device has played it, which a fast run never waits for. They are left out of the comparison.
bool RealTime(const std::string& line) {
    return line.rfind("main stop_music", 0) == 0 || line.rfind("main = music ", 0) == 0;
}

fs::path Fixture(const std::string& name) { return fs::path(VASTREL_SOURCE_DIR) / "tests/fixtures/path" / name; }

using ProgramHarness::Lines;
using ProgramHarness::ReadFile;

// The standard library's globals, as a script state has them before the engine registers its own.
std::set<std::string> LibraryGlobals() {
    std::set<std::string> names;
    lua_State* L = luaL_newstate();
    luaL_openlibs(L);
    lua_pushnil(L);
    while (lua_next(L, LUA_GLOBALSINDEX) != 0) {
        if (lua_type(L, -2) == LUA_TSTRING) names.insert(lua_tostring(L, -2));
        lua_pop(L, 1);
    }
    lua_close(L);
    return names;
}

// Run once at the top of every script of the copy: every registered global (a function the
// standard library does not have) is wrapped so its first call in this state is written down;
// each state also writes the names it found registered.
std::string CallsScript(const fs::path& out) {
    std::string library;
    for (const std::string& name : LibraryGlobals()) library += "[\"" + name + "\"] = true, ";
    return "if not __path_calls then\n"
           "    __path_calls = true\n"
           "    local out = \"" +
           out.string() +
           "\"\n"
           "    local library = { " +
           library +
           "Update = true }\n"
           "    local function write(line)\n"
           "        local file = io.open(out, \"a\")\n"
           "        if file then file:write(line, \"\\n\") file:close() end\n"
           "    end\n"
           "    local names = {}\n"
           "    for name, value in pairs(_G) do\n"
           "        if type(value) == \"function\" and not library[name] then names[#names + 1] = name end\n"
           "    end\n"
           "    table.sort(names)\n"
           "    write(\"registered \" .. table.concat(names, \" \"))\n"
           "    for _, name in ipairs(names) do\n"
           "        local real, seen = _G[name], false\n"
           "        _G[name] = function(...)\n"
           "            if not seen then\n"
           "                seen = true\n"
           "                write(\"called \" .. name)\n"
           "            end\n"
           "            return real(...)\n"
           "        end\n"
           "    end\n"
           "end\n";
}

// Every script of the copy starts with the counting, on its first line so line numbers stay.
void CountCalls(const fs::path& root) {
    const fs::path scripts = root / "Data/Scripts";
    std::ofstream(scripts / "calls.lua") << CallsScript(fs::absolute(root / "calls.txt"));
    for (const auto& entry : fs::directory_iterator(scripts))
        if (entry.path().extension() == ".lua" && entry.path().filename() != "calls.lua")
            ProgramHarness::Prepend(entry.path(), "dofile(\"Data/Scripts/calls.lua\") ");
}

// The program in the root, fed by the replay and writing the journal; its exit code.
int RunPath(const fs::path& root, const std::string& input, const fs::path& journal) {
    ProgramHarness::ProgramOptions options;
    // A replay out of step with the screens never reaches Exit: stopped, the run fails.
    options.killAfter = std::chrono::minutes(5);
    options.environment = {{"VASTREL_FRAME_DT", "0.04"},
                           {"VASTREL_INPUT", Fixture(input).string()},
                           {"VASTREL_JOURNAL", journal.string()}};
    return ProgramHarness::RunProgram(root, options);
}

// A tool's standard output.
std::string Output(const std::string& command) {
    std::string text;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
        pclose(pipe);
    }
    return text;
}

// The lines of each script, in the order it wrote them.
struct Journal {
    std::map<std::string, std::vector<std::string>> byScript;
};

Journal Split(const std::vector<std::string>& lines) {
    Journal journal;
    for (const std::string& line : lines) {
        if (!RealTime(line)) journal.byScript[line.substr(0, line.find(' '))].push_back(line);
    }
    return journal;
}

// Compares the journal with the fixture, script by script; with VASTREL_PATH_REGENERATE set, writes
// the fixture from it instead.
void CompareJournal(const std::string& actualText, const std::string& fixture) {
    if (const char* regenerate = std::getenv("VASTREL_PATH_REGENERATE"); regenerate && *regenerate) {
        std::ofstream(Fixture(fixture), std::ios::binary | std::ios::trunc) << actualText;
        std::printf("wrote %s: read the diff before committing it\n", Fixture(fixture).c_str());
        return;
    }
    const Journal actual = Split(Lines(actualText)), expected = Split(Lines(ReadFile(Fixture(fixture))));
    ASSERT_FALSE(expected.byScript.empty()) << "no expected journal in " << fixture;
    std::set<std::string> scripts;
    for (const auto& [script, lines] : actual.byScript) scripts.insert(script);
    for (const auto& [script, lines] : expected.byScript) scripts.insert(script);
    for (const std::string& script : scripts) {
        const auto a = actual.byScript.find(script), e = expected.byScript.find(script);
        const std::vector<std::string> none;
        const std::vector<std::string>& got = a == actual.byScript.end() ? none : a->second;
        const std::vector<std::string>& want = e == expected.byScript.end() ? none : e->second;
        if (got == want) continue;
        size_t at = 0;
        while (at < got.size() && at < want.size() && got[at] == want[at]) ++at;
        ADD_FAILURE() << fixture << ", script \"" << script << "\": line " << at + 1 << " of its lines is \""
                      << (at < got.size() ? got[at] : "(none)") << "\", expected \""
                      << (at < want.size() ? want[at] : "(none)") << "\" (" << got.size() << " lines, expected "
                      << want.size() << ")";
    }
}

// The value of a journal line "<script> = <what> <value>" (the last one written).
std::string Value(const std::vector<std::string>& lines, const std::string& prefix) {
    std::string value;
    for (const std::string& line : lines)
        if (line.rfind(prefix, 0) == 0) value = line.substr(prefix.size());
    return value;
}

TEST(GamePathE2ETest, ANewPlayerRacesToTheRecordsAndComesBackThroughContinue) {
    ScriptHarness::GameRoot root("");
    const std::string make =
        std::string(VASTREL_SOURCE_DIR) + "/scripts/make-game-root.sh " + VASTREL_BINARY_DIR + " . >/dev/null";
    ASSERT_EQ(std::system(make.c_str()), 0);
    // A small frame: the path is the same, the run is quicker.
    std::ofstream("config.cfg", std::ios::app) << "screenWidth = 512\r\nscreenHeight = 384\r\n";
    CountCalls(root.Path());

    const int code = RunPath(root.Path(), "path.input", root.Path() / "journal.txt");
    const std::string out = root.ReadFile("program.out");
    if (ProgramHarness::CouldNotStart(out)) GTEST_SKIP() << "no GL context here: " << out;
    ASSERT_EQ(code, 0) << out;
    const std::string journalText = root.ReadFile("journal.txt");
    CompareJournal(journalText, "journal.txt");
    const std::vector<std::string> lines = Lines(journalText);

    // The slot holds the typed profile, the money after the purchase, the pickups and the prize,
    // the upgrades bought and the level-1 record of the finished race with its recorded run; the
    // score table holds the entry; the settings have the new music volume and the bindings the
    // new fire key.
    const std::string slot = Output(std::string(VASTREL_BINARY_DIR) + "/bin/mksave --list Data/Saves/save0.sav");
    const std::string profile = Value(lines, "profile = profile ");
    const std::string name = profile.substr(0, profile.find(','));
    EXPECT_NE(slot.find("profile \"" + name + "\"\n"), std::string::npos) << slot;
    const float money = std::stof(Value(lines, "main = money "));
    EXPECT_NE(slot.find("money " + std::to_string(static_cast<int>(money)) + "\n"), std::string::npos) << slot;
    // The engine bought once, and the paint stepped once from a fresh profile's 1.
    EXPECT_NE(slot.find("upgrades 0 1 0 0 0 4 2\n"), std::string::npos) << slot;
    EXPECT_NE(std::find(lines.begin(), lines.end(), "jeep game_over "), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "main race_result finish"), lines.end());
    const std::string raced = Value(lines, "main = race_time ");
    ASSERT_FALSE(raced.empty()) << "the race never finished";
    const float time = std::stof(raced);
    const int medal = static_cast<int>(std::stof(raced.substr(raced.find(',') + 1)));
    float stored = 0.0f, run = 0.0f;
    int storedMedal = -1, frames = -1;
    const size_t level1 = slot.find("level 1 time ");
    ASSERT_NE(level1, std::string::npos) << slot;
    ASSERT_EQ(std::sscanf(slot.c_str() + level1,
                          "level 1 time %f medal %d parts %*d %*d %*d %*d %*d %*d %*d frames %d "
                          "name \"%*[^\"]\" run %f",
                          &stored, &storedMedal, &frames, &run),
              4)
        << slot;
    EXPECT_NEAR(stored, time, 0.01f) << slot;
    EXPECT_EQ(storedMedal, medal) << slot;
    // The recorder keeps a frame once more than 0.05 s has passed since the last: at a 0.04 s frame
    // that is every second frame, so between one frame per 0.05 s and one per 0.1 s of the run.
    EXPECT_GE(frames, static_cast<int>(run / 0.1f)) << slot;
    EXPECT_LE(frames, static_cast<int>(run / 0.05f) + 1) << slot;
    EXPECT_GE(run, time) << slot;
    const std::string scores = Output(std::string(VASTREL_BINARY_DIR) + "/bin/mksave --scores Data/scores.dat");
    EXPECT_NE(scores.find("table 1 \"" + name + "\" "), std::string::npos) << scores;
    EXPECT_NE(root.ReadFile("config.cfg").find("musicVolume = " + Value(lines, "options = music_volume ").substr(0, 3)),
              std::string::npos)
        << root.ReadFile("config.cfg");
    EXPECT_NE(root.ReadFile("Actions.cfg").find("fire;Fire;" + Value(lines, "options = fire_key ") + ";false\r\n"),
              std::string::npos)
        << root.ReadFile("Actions.cfg");

    // Again on what the first run left: Continue and the slot; a second profile; the slot deleted.
    ASSERT_EQ(RunPath(root.Path(), "continue.input", root.Path() / "journal-continue.txt"), 0)
        << root.ReadFile("program.out");
    CompareJournal(root.ReadFile("journal-continue.txt"), "journal-continue.txt");
    const std::vector<std::string> again = Lines(root.ReadFile("journal-continue.txt"));
    EXPECT_EQ(Value(again, "profile = loaded ").substr(0, name.size() + 1), name + ",");
    EXPECT_NE(std::find_if(again.begin(), again.end(),
                           [&](const std::string& line) { return line.rfind("shop = profile " + name + ",", 0) == 0; }),
              again.end());
    // The second profile went into a free slot, and the first run's slot was deleted: its file
    // no longer reads as a save.
    EXPECT_NE(std::find(again.begin(), again.end(), "profile = slot2 BO"), again.end());
    std::string lastSlot1;
    for (const std::string& line : again)
        if (line.rfind("profile = slot1 ", 0) == 0) lastSlot1 = line;
    EXPECT_EQ(lastSlot1, "profile = slot1 ");
    const std::string gone = Output(std::string(VASTREL_BINARY_DIR) + "/bin/mksave --list Data/Saves/save0.sav 2>&1");
    EXPECT_EQ(gone.find("profile \"" + name + "\""), std::string::npos) << gone;

    // Every registered name reached, but the listed ones.
    std::set<std::string> registered, called;
    for (const std::string& line : Lines(root.ReadFile("calls.txt"))) {
        std::istringstream words(line);
        std::string kind, word;
        words >> kind;
        while (words >> word) (kind == "called" ? called : registered).insert(word);
    }
    ASSERT_FALSE(registered.empty()) << "the scripts wrote no registered names";
    std::set<std::string> exempt;
    for (const Exempt& e : kNotOnThePath) {
        exempt.insert(e.name);
        EXPECT_TRUE(registered.count(e.name))
            << e.name << " is listed as exempt but the program registers no such name";
    }
    std::vector<std::string> missing, needless;
    for (const std::string& name : registered) {
        if (!called.count(name) && !exempt.count(name)) missing.push_back(name);
        if (called.count(name) && exempt.count(name)) needless.push_back(name);
    }
    std::string text;
    for (const std::string& name : missing) text += " " + name;
    std::printf("registered %zu, reached %zu, exempt %zu\n", registered.size(), called.size(), exempt.size());
    EXPECT_TRUE(missing.empty()) << "never reached on the path and not listed as exempt (" << missing.size()
                                 << "):" << text;
    for (const std::string& name : needless) ADD_FAILURE() << name << " is called on the path but listed as exempt";
}

} // namespace
