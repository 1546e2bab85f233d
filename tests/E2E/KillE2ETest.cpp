// The program killed (SIGKILL) at seeded moments while it saves and while it quits: every file it
// writes must hold either the bytes it had or the new ones, and read whole, and the next run must
// start on what is left. A script of the test's own saves the profile, the scores and the key
// bindings every turn and quits after a few dozen turns, which writes "config.cfg" and
// "Actions.cfg" as well; one series runs with "bboxes" 1, where the profile goes to
// "Data/admin.sav".
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "ProgramHarness.h"
#include "Race/PSaveFile.h"
#include "ScriptHarness.h"

namespace fs = std::filesystem;

namespace {

// Saves every turn; notes the money before and after each save, and at start what it loaded.
constexpr const char* kSavingScript = R"(
local log = io.open("kill.log", "a")
local function note(...) log:write(table.concat({...}, " "), "\n") log:flush() end
SetProfileName("Kim")
LoadGame("save0.sav")
local base = GetMoney()
note("start", base)
local turn = 0
while true do
    turn = turn + 1
    local money = base + 1
    base = money
    SetMoney(money)
    note("saving", money)
    SaveGame()
    note("saved", money)
    SaveScore()
    SaveActions()
    SetSoundVolume((turn % 10) / 10)
    if turn == 30 then KillAllTasks() end
    Update()
end
)";

using ProgramHarness::Lines;
using ProgramHarness::ReadFile;

// Runs the program on the current directory; kills it after the delay unless it ended first.
// Answers true when it ran to its end with exit code 0.
bool RunProgram(std::chrono::microseconds killAfter) {
    ProgramHarness::ProgramOptions options;
    options.appendOutput = true;
    options.killAfter = killAfter;
    return ProgramHarness::RunProgram(".", options) == 0;
}

// What a file held before a run; a file that changed must read whole.
struct Watched {
    std::string path;
    std::string before;
};

class KillE2ETest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!ProgramHarness::Offscreen()) GTEST_SKIP() << "needs SDL_VIDEODRIVER=offscreen";
        root_ = std::make_unique<ScriptHarness::GameRoot>("");
        ASSERT_TRUE(ProgramHarness::MakeDemoRoot(root_->Path(), ""));
        std::ofstream("Data/Scripts/list.dat") << "main t_system main interface action_listener\n";
        std::ofstream("Data/Scripts/main.lua") << kSavingScript;
        ProgramHarness::SmallScreen(".");
    }

    // The files as they must read after any run, killed or not.
    void CheckFiles(const std::vector<Watched>& watched, const std::string& slot, const char* when) {
        SCOPED_TRACE(when);
        for (const Watched& file : watched) {
            const std::string now = ReadFile(file.path);
            if (now == file.before) continue;
            SCOPED_TRACE(file.path);
            if (file.path == slot) {
                SaveFileData data;
                EXPECT_TRUE(LoadSaveFile(slot, data)) << "the profile does not read whole";
                if (slot != "Data/admin.sav") {
                    EXPECT_EQ(data.profileName, "Kim");
                }
            } else if (file.path == "Data/scores.dat") {
                ScoreTables tables;
                EXPECT_TRUE(LoadScoreFile(file.path, tables)) << "the scores do not read whole";
            } else {
                // The text files: every line complete, as many as a whole file has.
                EXPECT_TRUE(!now.empty() && now.back() == '\n') << "cut short";
                if (!file.before.empty()) {
                    EXPECT_EQ(Lines(now).size(), Lines(file.before).size()) << now;
                }
            }
        }
    }

    // Money the run loaded at its start: what the slot held whole, that is the last save that
    // finished or the one that was under way.
    void CheckStart(size_t logFrom, int lastSaved, int lastSaving) {
        const std::vector<std::string> lines = Lines(ReadFile("kill.log"));
        for (size_t i = logFrom; i < lines.size(); ++i) {
            if (lines[i].rfind("start ", 0) != 0) continue;
            const int loaded = std::atoi(lines[i].c_str() + 6);
            EXPECT_TRUE(loaded == lastSaved || loaded == lastSaving)
                << "loaded " << loaded << ", last saved " << lastSaved << ", under way " << lastSaving;
            return;
        }
    }

    // The money of the last "saved" and "saving" lines of the log.
    static void LastSaves(int& saved, int& saving) {
        for (const std::string& line : Lines(ReadFile("kill.log"))) {
            if (line.rfind("saved ", 0) == 0) saved = std::atoi(line.c_str() + 6);
            if (line.rfind("saving ", 0) == 0) saving = std::atoi(line.c_str() + 7);
        }
    }

    void KillSeries(int runs, uint32_t seed, const std::string& slot) {
        const std::vector<std::string> paths = {slot, "Data/scores.dat", "config.cfg", "Actions.cfg"};
        // Whole runs set the span the moments are drawn from: the shortest one seen, so that a run
        // slowed by a busy machine does not push most moments past the program's end.
        std::remove("kill.log");
        using Clock = std::chrono::steady_clock;
        int64_t spanUs = std::numeric_limits<int64_t>::max();
        for (int i = 0; i < 2; ++i) {
            const auto started = Clock::now();
            ASSERT_TRUE(RunProgram(std::chrono::seconds(60))) << ReadFile("program.out");
            spanUs = std::min<int64_t>(
                spanUs, std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - started).count());
        }
        const int64_t span = spanUs;
        std::mt19937 random(seed);
        std::uniform_real_distribution<double> fraction(0.0, 1.1);
        int killed = 0;
        for (int run = 0; run < runs; ++run) {
            std::vector<Watched> watched;
            for (const auto& path : paths) watched.push_back({path, ReadFile(path)});
            int saved = 0, saving = 0;
            LastSaves(saved, saving);
            const size_t logFrom = Lines(ReadFile("kill.log")).size();
            const auto at =
                std::chrono::microseconds(static_cast<int64_t>(fraction(random) * static_cast<double>(spanUs)));
            const auto started = Clock::now();
            if (!RunProgram(at)) ++killed;
            else
                spanUs = std::min<int64_t>(
                    spanUs, std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - started).count());
            CheckFiles(watched, slot,
                       ("run " + std::to_string(run) + ", killed at " + std::to_string(at.count()) + " us").c_str());
            CheckStart(logFrom, saved, saving);
        }
        // The game starts again on what the kills left and runs to its end.
        int saved = 0, saving = 0;
        LastSaves(saved, saving);
        const size_t logFrom = Lines(ReadFile("kill.log")).size();
        EXPECT_TRUE(RunProgram(std::chrono::seconds(60))) << ReadFile("program.out");
        CheckStart(logFrom, saved, saving);
        EXPECT_GT(killed, runs / 2) << "most moments fell after the program's end";
        std::printf("%d of %d runs killed within %lld us\n", killed, runs, static_cast<long long>(span));
    }

    std::unique_ptr<ScriptHarness::GameRoot> root_;
};

TEST_F(KillE2ETest, SavedFilesHoldTheirOldOrNewBytesWhenTheProgramIsKilled) {
    KillSeries(30, 20261210, "Data/Saves/save0.sav");
}

TEST_F(KillE2ETest, TheAdministratorsRecordsSurviveKillsToo) {
    {
        std::ofstream config("config.cfg", std::ios::app);
        config << "bboxes = 1\r\n";
    }
    KillSeries(10, 31, "Data/admin.sav");
}

} // namespace
