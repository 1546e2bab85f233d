// Twenty races in a row in one run of the application, on the demo data with the finish moved near
// the start: after each race (stopped and deleted as the scripts do it) the live objects per class and
// the resident size are taken. A race must leave nothing behind that the next one adds to: the third
// and the twentieth leave the same objects, the resident size grows steadily by less than 4 MB in all,
// and what the program holds from malloc by less than 1 MB from race 3 to race 20. Once the run
// has returned no engine object is left.
#include <gtest/gtest.h>

#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "Application/PApplication.h"
#include "Core/PKernel.h"
#include "Core/PScriptRegistry.h"
#include "Core/PSettings.h"
#include "Platform/GlDevice.h"
#include "Platform/SdlInjection.h"
#include "Platform/SdlMessageSource.h"
#include "Platform/SdlWindow.h"
#include "ProgramHarness.h"
#include "Race/PLevel.h"
#include "ScriptHarness.h"

namespace fs = std::filesystem;

namespace {

constexpr int kUp = 0xC8;
constexpr int kRaces = 20;
// A race that has not finished by then has gone wrong.
constexpr int kRaceTurnLimit = 1500;

struct AfterRace {
    std::map<std::string, int> perClass;
    long residentKb;
    // What the program holds from malloc (small blocks and mapped ones), apart from the pages the
    // allocator keeps free and from the GL driver's own mappings.
    long heapKb;
    int turns;
    bool finished;
};

long ResidentKb() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

long HeapKb() {
    const struct mallinfo2 info = mallinfo2();
    return static_cast<long>((info.uordblks + info.hblkhd) / 1024);
}

bool RunScript(const char* code) {
    lua_State* L = luaL_newstate();
    luaL_openlibs(L);
    RegisterScriptFunctions(L);
    const bool ok = luaL_dostring(L, code) == 0;
    lua_close(L);
    return ok;
}

// The races, one after the other, driven from a probe task.
struct Soak {
    std::vector<AfterRace> races;
    Soak() { races.reserve(kRaces); }
    int turn = 0;
    int raceStart = 0;
    int stoppedAt = 0;
    bool finished = false;
    bool scriptsFailed = false;

    void Turn() {
        ++turn;
        // Held from the first car on: each new car takes it from its script.
        if (turn == 20) Platform::InjectKey(kUp, true);
        if (turn == 3 || (stoppedAt && turn == stoppedAt + 2)) {
            // The level deleted last turn is gone now: what the race left is all that is live.
            if (stoppedAt) {
                CPManagedObject::DumpObjects();
                // The sizes first: the counts by class are the test's own. It keeps those of the third
                // race and of the latest one only, so its own bookkeeping does not grow race by race.
                const long resident = ResidentKb(), heap = HeapKb();
                if (races.size() > 3) races.back().perClass.clear();
                races.push_back(
                    {CPManagedObject::LiveCountsByClass(), resident, heap, stoppedAt - raceStart, finished});
                stoppedAt = 0;
            }
            if (static_cast<int>(races.size()) == kRaces) {
                RunScript("KillAllTasks()");
                return;
            }
            scriptsFailed |= !RunScript("SetPlayerName('coupe_t') InitPlayer() InitLevel('level1') InitSky() "
                                        "StartLevel() SetLevelStarted(true) "
                                        "SetUpdateTime(true)");
            raceStart = turn;
            finished = false;
            return;
        }
        const CPLevel* level = GetLevel();
        if (!raceStart || stoppedAt || !level) return;
        finished = level->IsFinished();
        if (finished || turn - raceStart >= kRaceTurnLimit) {
            scriptsFailed |= !RunScript("StopLevel() DeleteLevel()");
            stoppedAt = turn;
        }
    }
};
Soak* g_soak = nullptr;

int StartSoak(lua_State*) {
    CPRefPtr<ScriptHarness::ProbeTask> probe(new ScriptHarness::ProbeTask(11, [] { g_soak->Turn(); }));
    GetKernel()->AddTask(probe);
    return 0;
}

TEST(SoakE2ETest, TwentyRacesInARowLeaveNothingBehind) {
    if (!ProgramHarness::Offscreen()) GTEST_SKIP() << "needs SDL_VIDEODRIVER=offscreen";
    ScriptHarness::GameRoot root("");
    // The soak level: level 1 with its finish 40 m from the start.
    ProgramHarness::WriteLevel1WithFinishAt("soak.txt", 50);
    ASSERT_TRUE(ProgramHarness::MakeDemoRoot(root.Path(), "soak.txt"));
    ProgramHarness::Prepend("Data/Scripts/main.lua", "StartSoak()\n");
    static const ScriptFunctionEntry probe[] = {{"StartSoak", StartSoak}};
    RegisterScriptTable(ScriptTable::Library, probe);
    ProgramHarness::SmallScreen(".");
    CPSettingsManager::ResetDefaults();
    AppActive = true;
    setenv("VASTREL_FRAME_DT", "0.04", 1);
    Soak soak;
    g_soak = &soak;
    const size_t liveBefore = CPManagedObject::LiveCount();

    ApplicationPlatform platform = ProgramHarness::SdlPlatform(ProgramHarness::Device::GlInWindow);
    const RunResult result = ProgramHarness::RunApplication(platform);
    unsetenv("VASTREL_FRAME_DT");
    g_soak = nullptr;
    // Nothing holds an engine object any more: what is left goes with the collector.
    CPManagedObject::CollectGarbage();
    EXPECT_EQ(CPManagedObject::LiveCount(), liveBefore) << "engine objects outlived the run";
    CPSettingsManager::ResetDefaults();
    ASSERT_EQ(result, RunResult::Finished);
    EXPECT_FALSE(soak.scriptsFailed);

    ASSERT_EQ(soak.races.size(), static_cast<size_t>(kRaces));
    for (size_t i = 0; i < soak.races.size(); ++i) {
        EXPECT_TRUE(soak.races[i].finished) << "race " << i + 1 << " did not finish in " << soak.races[i].turns;
        std::printf("race %2zu: %d turns, resident %ld kB, heap %ld kB\n", i + 1, soak.races[i].turns,
                    soak.races[i].residentKb, soak.races[i].heapKb);
    }
    const AfterRace& third = soak.races[2];
    const AfterRace& last = soak.races.back();
    for (const auto& [name, count] : last.perClass) {
        const auto it = third.perClass.find(name);
        EXPECT_EQ(count, it == third.perClass.end() ? 0 : it->second) << name;
    }
    for (const auto& [name, count] : third.perClass)
        if (!last.perClass.count(name)) ADD_FAILURE() << name << ": " << count << " after race 3, none after race 20";
    // A leak grows the process every race; the allocator and the GL driver sometimes take a few
    // megabytes once, at a race of their choosing, and keep them. So the typical (median) growth per
    // race after the third must stay under an even share of 4 MB, and the whole growth under a
    // bound no steady leak of that size could pass.
    std::vector<long> growth;
    for (size_t i = 3; i < soak.races.size(); ++i)
        growth.push_back(soak.races[i].residentKb - soak.races[i - 1].residentKb);
    std::nth_element(growth.begin(), growth.begin() + growth.size() / 2, growth.end());
    EXPECT_LT(growth[growth.size() / 2], 4 * 1024 / static_cast<long>(kRaces - 3)) << "resident size grows every race";
    EXPECT_LT(last.residentKb - third.residentKb, 12 * 1024);
    // What the program holds from malloc grows by about 10 kB a race; a leak of a race's frames,
    // bodies or meshes would be hundreds. A block of a few megabytes is sometimes live at the moment
    // of the count and gone by the next, so the least of three races is compared at each end.
    const auto least = [&](size_t first) {
        return std::min({soak.races[first].heapKb, soak.races[first + 1].heapKb, soak.races[first + 2].heapKb});
    };
    EXPECT_LT(least(kRaces - 3) - least(2), 1024) << "the heap grows race by race";
}

} // namespace
