// The recorded run as the game keeps it: the application in this process on the demo data (finish
// moved to 100 m) with the null device and fixed 1/60 s frames. Race 1 is driven to the finish with
// the throttle held; its run becomes the level's record (SetLevelMedalTime) and is saved (SaveGame).
// Race 2 is driven otherwise: every turn the rival and its wheels stand exactly where this test's own
// 32-bit playback of the frames read back from the save file puts them. Race 3 is driven as race 1
// and records the same bytes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Application/PApplication.h"
#include "Core/Math/Quat.h"
#include "Core/PKernel.h"
#include "Core/PScriptRegistry.h"
#include "Core/PSettings.h"
#include "Platform/NullDevice.h"
#include "Platform/SdlMessageSource.h"
#include "Platform/SdlWindow.h"
#include "ProgramHarness.h"
#include "Race/PGameData.h"
#include "Race/PLevel.h"
#include "Race/PPlayer.h"
#include "Race/PReplay.h"
#include "Race/PSaveFile.h"
#include "ScriptHarness.h"

namespace fs = std::filesystem;

namespace {

constexpr int kRaceTurnLimit = 1500;

bool RunScript(const std::string& code) {
    lua_State* L = luaL_newstate();
    luaL_openlibs(L);
    RegisterScriptFunctions(L);
    const bool ok = luaL_dostring(L, code.c_str()) == 0;
    if (!ok) ADD_FAILURE() << lua_tostring(L, -1);
    lua_close(L);
    return ok;
}

Vec3 V(const float* v) { return Vec3(v[0], v[1], v[2]); }
Quat Q(const float* q) { return Quat(q[0], q[1], q[2], q[3]); }
Vec3 Mix(const float* a, const float* b, float u) {
    return Vec3(a[0] * (1.0f - u) + b[0] * u, a[1] * (1.0f - u) + b[1] * u, a[2] * (1.0f - u) + b[2] * u);
}

// The test's own playback: the forward-only cursor, u between the samples around the clock.
struct OwnPlayback {
    std::vector<CPReplayFrame> frames;
    int cursor = 0;
    // False while the run has not begun or is over.
    bool At(float clock, const CPReplayFrame*& a, const CPReplayFrame*& b, float& u) {
        const int n = static_cast<int>(frames.size());
        while (frames[cursor].time < clock && cursor < n - 1) ++cursor;
        if (!(frames[cursor].time >= clock && cursor > 0)) return false;
        a = &frames[cursor - 1];
        b = &frames[cursor];
        u = (clock - a->time) / (b->time - a->time);
        return true;
    }
};

struct Replay {
    int turn = 0;
    int race = 0;      // 1, 2, 3 once started
    int raceStart = 0; // the turn the race's scripts ran
    int stopAt = 0;    // the turn the race is stopped
    int stopping = 0;  // turns left before it is
    bool scriptsFailed = false;
    bool done = false;
    int recordOffset = 0; // turns from race 1's start to its record
    float recordTime = 0.0f;
    std::vector<CPReplayFrame> race1, race3;
    size_t race1Later = 0;            // race 1's samples just before it was stopped
    std::vector<CPReplayFrame> saved; // the level record's run as the save file holds it
    std::string rearWheel = "w2";
    OwnPlayback own;
    // Race 2.
    int checkedTurns = 0, sampleTurns = 0, standingTurns = 0, mismatches = 0;
    bool haveLast = false;
    Vec3 lastPosition;
    std::string firstMismatch;

    void Mismatch(const std::string& what) {
        if (mismatches++ == 0) firstMismatch = "turn " + std::to_string(turn - raceStart) + ": " + what;
    }

    void StartRace() {
        ++race;
        raceStart = turn;
        // The record made in race 1 is the next races' time limit: the level's clock starts again
        // from 0 as a race script's own start would have it.
        if (CPGameData* data = GetGameData()) data->SetLevelTime(0.0f);
        scriptsFailed |=
            !RunScript(std::string(race == 1 ? "SetProfileName('racer') SetPlayerName('coupe_t') InitPlayer() " : "") +
                       "InitLevel('level1') InitSky() StartLevel() SetLevelStarted(true) SetUpdateTime(true)");
        haveLast = false;
    }

    void Turn() {
        ++turn;
        if (done) return;
        if (turn == 4) {
            StartRace();
            return;
        }
        if (stopAt && turn == stopAt) {
            scriptsFailed |= !RunScript("StopLevel() DeleteLevel()");
            return;
        }
        if (stopAt && turn == stopAt + 2) {
            stopAt = 0;
            if (race == 3) {
                done = true;
                RunScript("KillAllTasks()");
                return;
            }
            if (race == 1) ReadSave();
            StartRace();
            return;
        }
        const CPLevel* level = GetLevel();
        if (!race || stopAt || !level) return;
        if (stopping) {
            if (--stopping == 0) stopAt = turn + 1;
            if (race == 1) race1Later = level->GetOwnRunFrames().size();
            if (race == 2) CheckRival(*level);
            return;
        }
        const int offset = turn - raceStart;
        // The car's keys, which its script ("jeep") turns into inputs every turn: races 1 and 3
        // hold the throttle from the same turn on; race 2 reverses from two seconds on, then lifts
        // the nose and lets go (it runs out of the record's time and goes on, the rival with it).
        if (race != 2 && offset == 5) Keys("accelerate,1");
        if (race == 2 && offset == 120) Keys("brake,1");
        if (race == 2 && offset == 200) Keys("brake,0", "left,1");
        if (race == 2 && offset == 260) Keys("left,0");
        if (race == 1) {
            if (level->IsFinished() || offset >= kRaceTurnLimit) {
                Keys("accelerate,0");
                recordOffset = offset;
                recordTime = level->GetRaceClock();
                race1 = level->GetOwnRunFrames();
                scriptsFailed |=
                    !RunScript("local t, m, n = GetLevelMedalTime(0) assert(SetLevelMedalTime(0, " +
                               std::to_string(recordTime) + ", 0), tostring(t) .. tostring(n)) SaveGame()");
                stopping = 10;
            }
        } else if (race == 2) {
            CheckRival(*level);
            if (offset >= recordOffset + 60) stopping = 10;
        } else if (race == 3 && offset == recordOffset) {
            Keys("accelerate,0");
            race3 = level->GetOwnRunFrames();
            stopping = 10;
        }
    }

    // Key presses and releases for the car's script, read by it later in this turn.
    void Keys(const std::string& first, const std::string& second = "") {
        std::string code = "SendCommandByName('jeep', 'key_action', '" + first + "')";
        if (!second.empty()) code += " SendCommandByName('jeep', 'key_action', '" + second + "')";
        scriptsFailed |= !RunScript(code);
    }

    void ReadSave() {
        const CPGameData* data = GetGameData();
        if (!data || data->currentSlot < 0) return;
        SaveFileData file;
        if (!LoadSaveFile(CPGameData::SlotPath("save" + std::to_string(data->currentSlot) + ".sav"), file)) return;
        saved = file.records[0].frames;
        own.frames = saved;
        const int type = file.records[0].parts[2];
        rearWheel = type >= 1 && type <= 3 ? "w2_" + std::to_string(type) : "w2";
    }

    // The race update ran last turn: the rival stands where the frames put it at the race clock.
    void CheckRival(const CPLevel& level) {
        CPGameObject* rival = level.GetRivalPlayback().GetModel();
        if (!rival) {
            Mismatch("no rival");
            return;
        }
        CPRefPtr<CPGameObject> wheels[2] = {rival->FindChild("w0"), rival->FindChild(rearWheel)};
        if (!wheels[0] || !wheels[1]) {
            Mismatch("the rival has no wheels");
            return;
        }
        const float clock = level.GetRaceClock();
        if (clock <= 0.0f || own.frames.size() < 2) return;
        const CPReplayFrame* a = nullptr;
        const CPReplayFrame* b = nullptr;
        float u = 0.0f;
        if (!own.At(clock, a, b, u)) {
            // Not begun or over: the rival stays where it stood.
            if (haveLast && !(rival->GetPosition() == lastPosition)) Mismatch("the rival moved outside its run");
            ++standingTurns;
            return;
        }
        ++checkedTurns;
        const Vec3 p = Mix(a->position, b->position, u);
        const Vec3 expected(p.x, p.y - kRivalSideOffset, p.z);
        if (!(rival->GetPosition() == expected)) Mismatch("position");
        if (!(rival->GetRotation() == Q(b->rotation))) Mismatch("rotation");
        if (!(level.GetRivalProgressX() == p.x)) Mismatch("progress");
        if (!(wheels[0]->GetPosition() == Mix(a->w0Position, b->w0Position, u))) Mismatch("w0 position");
        if (!(wheels[0]->GetRotation() == QuatSlerp(Q(a->w0Rotation), Q(b->w0Rotation), u))) Mismatch("w0 rotation");
        if (!(wheels[1]->GetPosition() == Mix(a->w2Position, b->w2Position, u))) Mismatch("w2 position");
        if (!(wheels[1]->GetRotation() == QuatSlerp(Q(a->w2Rotation), Q(b->w2Rotation), u))) Mismatch("w2 rotation");
        if (b->time == clock) {
            // A sample's own time: the rival stands on the sample, beside its line.
            ++sampleTurns;
            const Vec3 sample = V(b->position);
            if (!(rival->GetPosition() == Vec3(sample.x, sample.y - kRivalSideOffset, sample.z)))
                Mismatch("not on the sample");
        }
        haveLast = true;
        lastPosition = rival->GetPosition();
    }
};
Replay* g_replay = nullptr;

int StartReplayProbe(lua_State*) {
    CPRefPtr<ScriptHarness::ProbeTask> probe(new ScriptHarness::ProbeTask(11, [] { g_replay->Turn(); }));
    GetKernel()->AddTask(probe);
    return 0;
}

TEST(ReplayE2ETest, TheRecordedRunIsSavedPlayedExactlyAndRecordedAlikeNextTime) {
    if (!ProgramHarness::Offscreen()) GTEST_SKIP() << "needs SDL_VIDEODRIVER=offscreen";
    ScriptHarness::GameRoot root("");
    ProgramHarness::WriteLevel1WithFinishAt("short.txt", 110);
    ASSERT_TRUE(ProgramHarness::MakeDemoRoot(root.Path(), "short.txt"));
    ProgramHarness::Prepend("Data/Scripts/main.lua", "StartReplayProbe()\n");
    static const ScriptFunctionEntry probe[] = {{"StartReplayProbe", StartReplayProbe}};
    RegisterScriptTable(ScriptTable::Library, probe);
    CPSettingsManager::ResetDefaults();
    AppActive = true;
    setenv("VASTREL_FRAME_DT", "0.016666668", 1);
    Replay replay;
    g_replay = &replay;

    ApplicationPlatform platform = ProgramHarness::SdlPlatform(ProgramHarness::Device::Null);
    const RunResult result = ProgramHarness::RunApplication(platform);
    unsetenv("VASTREL_FRAME_DT");
    g_replay = nullptr;
    CPManagedObject::CollectGarbage();
    CPSettingsManager::ResetDefaults();
    ASSERT_EQ(result, RunResult::Finished);
    EXPECT_FALSE(replay.scriptsFailed);
    ASSERT_TRUE(replay.done) << "the three races did not run";

    // Race 1 reached the finish and its run went into the save file as it was recorded.
    EXPECT_LT(replay.recordOffset, kRaceTurnLimit) << "race 1 did not finish";
    ASSERT_GE(replay.race1.size(), 40u);
    ASSERT_EQ(replay.saved.size(), replay.race1.size());
    EXPECT_EQ(std::memcmp(replay.saved.data(), replay.race1.data(), replay.race1.size() * sizeof(CPReplayFrame)), 0);
    // Recording went on after the finish, until the level was stopped (about 10 turns on).
    EXPECT_GE(replay.race1Later, replay.race1.size() + 2);
    EXPECT_GT(replay.race1.back().position[0], 100.0f) << "the car stopped at x " << replay.race1.back().position[0];

    // Race 2: the rival followed the saved run every turn it ran, and stood still once it was over.
    EXPECT_EQ(replay.mismatches, 0) << replay.firstMismatch;
    EXPECT_GT(replay.checkedTurns, static_cast<int>(replay.race1.size()) * 2);
    EXPECT_GT(replay.sampleTurns, 10);
    EXPECT_GT(replay.standingTurns, 30);

    // Race 3, driven as race 1: the same bytes.
    ASSERT_EQ(replay.race3.size(), replay.race1.size());
    for (size_t i = 0; i < replay.race1.size(); ++i) {
        const auto* x = reinterpret_cast<const uint8_t*>(&replay.race1[i]);
        const auto* y = reinterpret_cast<const uint8_t*>(&replay.race3[i]);
        size_t at = 0;
        while (at < sizeof(CPReplayFrame) && x[at] == y[at]) ++at;
        if (at < sizeof(CPReplayFrame)) {
            ADD_FAILURE() << "race 3 differs first in frame " << i << " at byte " << at;
            for (size_t k = 0; k < 6; ++k) {
                const float* a = reinterpret_cast<const float*>(&replay.race1[k]);
                const float* b = reinterpret_cast<const float*>(&replay.race3[k]);
                for (int j = 0; j < 25; ++j)
                    if (a[j] != b[j]) std::printf("frame %zu float %d: %.9g %.9g\n", k, j, a[j], b[j]);
            }

            break;
        }
    }
    EXPECT_EQ(std::memcmp(replay.race3.data(), replay.race1.data(), replay.race1.size() * sizeof(CPReplayFrame)), 0);
}

} // namespace
