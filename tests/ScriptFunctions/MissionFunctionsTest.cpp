// The mission and race-clock functions from a script: how many results each answers with and
// without a level, the time split, the rounds table, the checkpoint, the medal and level times, the
// game-time scale, the frame clock in the kernel, and the difficulty and weather switches.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "Core/PKernel.h"
#include "Core/PScriptManager.h"
#include "Platform/Clock.h"
#include "Race/PPlayer.h"
#include "RaceWorldSupport.h"
#include "ScriptFunctions/MissionFunctions.h"
#include "Sound/NSound.h"

namespace {

class MissionFunctionsTest : public RaceWorldTest {
protected:
    void LoadLevel() {
        PutLayout("level1",
                  {LayoutRecord("chk2_flag", 30), LayoutRecord("chk1_pole", 10, 4), LayoutRecord("player", 0, 0, 1)});
        ASSERT_TRUE(Run("InitLevel('level1')"));
        ASSERT_NE(GetLevel(), nullptr);
    }
    void PutMission() { Put("Data/Levels/m1", "12.5 1 2 3 gun,50;rocket,50 10 nitro,100\n7 4 5 6\nsources\n"); }
};

// Every name called through select('#', ...): what each answers without a level, and with one whose
// mission is loaded (an index outside the lines or the medals answers nothing there too).
TEST_F(MissionFunctionsTest, EveryNameAnswersItsCountWithAndWithoutALevel) {
    struct Case {
        const char* call;
        int withoutLevel, withLevel;
    };
    const Case cases[] = {
        {"SetLevelTransportCount(3)", 0, 0},
        {"LoadMissionInfo('m1')", 0, 0},
        {"GetCheckPointsCount()", 1, 1},
        {"GetCheckPointInfo(1)", 4, 4},
        {"GetCheckPointInfo(2)", 0, 0},
        {"GetCheckPointInfo(-1)", 0, 0},
        {"ChangeCheckpointPosition(1, 2)", 0, 0},
        {"ShowCheckPoint()", 0, 0},
        {"SetLevelTime(100)", 0, 0},
        {"ClearLevelTimers()", 0, 0},
        {"SetMedalTimes(30, 40, 50)", 0, 0},
        {"GetMedalTime(0)", 0, 1},
        {"GetMedalTime(2)", 0, 1},
        {"GetMedalTime(3)", 0, 0},
        {"GetMedalTime(-1)", 0, 0},
        {"GetTime()", 3, 3},
        {"GetTime2()", 1, 1},
        {"GetFormattedTime(61.5)", 3, 3},
        {"GetFullTime()", 1, 1},
        {"SetNumRounds(3)", 0, 0},
        {"GetRoundsNumber()", 1, 1},
        {"GetCurrentRound()", 1, 1},
        {"UpdateRoundsTime()", 2, 2},
        {"SetRoundTime(12)", 0, 0},
        {"GetRoundTime()", 1, 1},
        {"SetKills(4)", 0, 0},
        {"SetTemp(1)", 0, 0},
        {"GetTemp()", 1, 1},
        {"ClearTimer()", 0, 0},
        {"ClearGlobalTimer()", 0, 0},
        {"StopGlobalTimer()", 0, 0},
        {"StartGlobalTimer()", 0, 0},
        {"SetDifficulty(0)", 0, 0},
        {"GetDifficulty()", 1, 1},
        {"SetDifficult(false)", 0, 0},
        {"GetDifficult()", 1, 1},
        {"IsWeather()", 1, 1},
    };
    PutMission();
    for (int withLevel = 0; withLevel < 2; ++withLevel) {
        if (withLevel) LoadLevel();
        for (const Case& c : cases) {
            const std::string answer = Eval(c.call);
            EXPECT_EQ(std::stoi(answer), withLevel ? c.withLevel : c.withoutLevel)
                << c.call << (withLevel ? " with a level" : " without a level") << ": " << answer;
        }
    }
    // The names without a level changed the game data all the same; the level setters did not.
    EXPECT_EQ(data_.transportCount, 3);
    EXPECT_EQ(data_.numberOfRounds, 3);
    EXPECT_EQ(data_.killCount, 4);
    EXPECT_EQ(data_.roundTime, 12.0f);
}

// Truncation toward zero throughout, minutes from s >= 60 only and never wrapped into hours; values
// no clock can hold convert without undefined behaviour.
TEST_F(MissionFunctionsTest, TimeSplit) {
    struct Case {
        const char* seconds;
        const char* split;
    };
    const Case cases[] = {
        {"59.999", "3 0 59 99"}, {"61.5", "3 1 1 50"}, {"3600", "3 60 0 0"},          {"-1.5", "3 0 -1 -50"},
        {"0", "3 0 0 0"},        {"60", "3 1 0 0"},    {"125.25", "3 2 5 25"},        {"0/0", "3 0 0 0"},
        {"'x'", "3 0 0 0"},      {"nil", "3 0 0 0"},   {"-1/0", "3 0 -2000000000 0"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Eval(std::string("GetFormattedTime(") + c.seconds + ")"), c.split) << c.seconds;
    // Too large for any clock: clamped, the same split whichever way it got there, all integers.
    const std::string huge = Eval("GetFormattedTime(1e30)");
    EXPECT_EQ(Eval("GetFormattedTime(1/0)"), huge);
    EXPECT_EQ(Eval("GetFormattedTime(2^40)"), huge);
    EXPECT_EQ(huge, "3 33333336 -160 0");

    // GetTime splits the game data's elapsed level time; GetTime2 gives it unsplit.
    data_.SetLevelTime(61.5f);
    EXPECT_EQ(Eval("GetTime()"), "3 1 1 50");
    EXPECT_EQ(Eval("GetTime2()"), "1 61.5");
    // ClearLevelTimers needs a level.
    Run("ClearLevelTimers()");
    EXPECT_EQ(data_.GetLevelTime(), 61.5f);
    LoadLevel();
    Run("ClearLevelTimers()");
    EXPECT_EQ(data_.GetLevelTime(), 0.0f);
}

TEST_F(MissionFunctionsTest, RoundsTableHasFortyEntriesWhateverTheRounds) {
    const float times[] = {61.5f, 59.999f, 3600.0f, 12.0f};
    for (int round = 1; round <= 4; ++round) {
        data_.SetCurrentRound(round);
        data_.SetCurrentRoundTime(times[round - 1]);
    }
    data_.SetCurrentRound(3);
    data_.numberOfRounds = 1;
    ASSERT_TRUE(Run(R"(
        count, rounds = UpdateRoundsTime()
        keys = 0 for _ in pairs(rounds) do keys = keys + 1 end
        text = ''
        for k = 1, 40 do text = text .. tostring(rounds[k]) .. ' ' end
    )"));
    EXPECT_EQ(Number("count"), 40);
    EXPECT_EQ(Number("keys"), 40);
    Run("result = text");
    lua_getglobal(L, "result");
    const std::string text = lua_tostring(L, -1);
    lua_pop(L, 1);
    // Rounds 1-3 reached (keys 4, 8, 12 true), round 4 has a time but is not reached, 5-10 are zero.
    std::string want = "1 1 50 true 0 59 99 true 60 0 0 true 0 12 0 false ";
    for (int i = 5; i <= 10; ++i) want += "0 0 0 false ";
    EXPECT_EQ(text, want);
}

// Over the finish line the round is done: its time, the level's own clock (which stops there), is
// what the score table is offered and the rounds table shows, so the profile's line carries the race
// it drove rather than a zero.
TEST_F(MissionFunctionsTest, TheFinishLineEndsTheRoundAtTheLevelTime) {
    PutLayout("level1", {LayoutRecord("player", 0, 0, 1), LayoutRecord("fin,20", 50)});
    ASSERT_TRUE(Run("SetProfileName('ADA') InitLevel('level1') SetNumRounds(1) StartLevel() SetUpdateTime(true)"));
    CPLevel* level = GetLevel();
    ASSERT_NE(level, nullptr);
    CPPlayer* car = level->GetPlayerCar();
    ASSERT_NE(car, nullptr);
    FrameDelta = 0.25f;
    for (int i = 0; i < 110; ++i) level->RaceUpdate();
    ASSERT_FALSE(level->IsFinished());
    EXPECT_EQ(Eval("select(2, UpdateRoundsTime())[2]"), "1 0"); // nothing ended yet
    car->SetPosition(Vec3(45, 0, 1));
    level->RaceUpdate();
    ASSERT_TRUE(level->IsFinished());
    // Turns after the finish change neither clock.
    for (int i = 0; i < 8; ++i) level->RaceUpdate();
    EXPECT_EQ(Eval("GetTime2()"), "1 27.75");
    EXPECT_EQ(Eval("unpack(select(2, UpdateRoundsTime()), 1, 4)"), "4 0 27 75 true");
    EXPECT_EQ(Eval("CheckPlayerRecords(1)"), "1 true");
    EXPECT_EQ(Eval("GetRecords(1)[1][1], GetRecords(1)[1][2]"), "2 ADA 00:27:75");
}

TEST_F(MissionFunctionsTest, MissionLinesAndTheCheckpoint) {
    PutMission();
    Run("LoadMissionInfo('m1')");
    EXPECT_EQ(Eval("GetCheckPointsCount()"), "1 2");
    EXPECT_EQ(Eval("GetCheckPointInfo(0)"), "4 1 2 3 12.5");
    EXPECT_EQ(Eval("GetCheckPointInfo(1.9)"), "4 4 5 6 7"); // truncated toward zero
    Run("LoadMissionInfo('missing')");
    EXPECT_EQ(Eval("GetCheckPointsCount()"), "1 0");

    // A script of the category "main" hears "say_show" each time a checkpoint is shown.
    Put("Data/Scripts/list.dat", "watcher t_system main\n");
    Put("Data/Scripts/watcher.lua", "while true do Update() end\n");
    CPKernel kernel;
    CPScriptManager scripts;
    ASSERT_TRUE(scripts.LoadList());
    CPRefPtr<CPLuaScript> watcher = scripts.GetScript("watcher");
    ASSERT_TRUE(watcher);
    ASSERT_TRUE(kernel.AddTask(CPRefPtr<CPTask>(watcher)));
    auto heard = [&] {
        int n = 0;
        while (watcher->SetNextCommand()) n += watcher->GetCurrentCommand()->name == "say_show";
        return n;
    };

    LoadLevel();
    CPLevel* level = GetLevel();
    EXPECT_EQ(level->currentCheckpoint.Get(), nullptr);
    Run("ChangeCheckpointPosition(5, 6)"); // no current checkpoint yet: nothing
    CPGameObject* first = level->GetCheckpoints()[0].model.Get();
    ASSERT_NE(first, nullptr);
    EXPECT_FALSE(first->IsVisible());
    // Shown again and again, the cursor stays at the first entry.
    for (int i = 0; i < 2; ++i) {
        Run("ShowCheckPoint()");
        EXPECT_EQ(level->currentCheckpoint.Get(), first);
        EXPECT_TRUE(first->IsVisible());
        EXPECT_EQ(level->checkpointCursor, 0u);
        EXPECT_EQ(heard(), 1);
    }
    Run("ChangeCheckpointPosition(55.5, -6)");
    EXPECT_EQ(first->GetPosition(), Vec3(55.5f, -6, 0));
    Run("ChangeCheckpointPosition(0/0, 1) ChangeCheckpointPosition(1, 1/0)");
    EXPECT_EQ(first->GetPosition(), Vec3(55.5f, -6, 0));
    // At the end of the list the current checkpoint goes and nobody is told.
    level->checkpointCursor = level->GetCheckpoints().size();
    Run("ShowCheckPoint()");
    EXPECT_EQ(level->currentCheckpoint.Get(), nullptr);
    EXPECT_EQ(heard(), 0);
    Run("ChangeCheckpointPosition(1, 2)");
    EXPECT_EQ(first->GetPosition(), Vec3(55.5f, -6, 0));
    watcher->Stop();
}

TEST_F(MissionFunctionsTest, LevelTimeAndMedals) {
    LoadLevel();
    CPLevel* level = GetLevel();
    data_.coefficients[3] = 1.2f;
    struct Case {
        const char* call;
        float countdown;
    };
    const Case cases[] = {
        {"SetLevelTime(100)", 120.0f},   {"SetLevelTime(0/0)", 120.0f}, {"SetLevelTime(1/0)", 120.0f},
        {"SetLevelTime(1e300)", 120.0f}, {"SetLevelTime(-5)", -6.0f},   {"SetLevelTime('x')", 0.0f},
    };
    for (const Case& c : cases) {
        Run(c.call);
        EXPECT_FLOAT_EQ(level->GetCountdown(), c.countdown) << c.call;
    }
    Run("SetMedalTimes(30.5, 40, 50)");
    EXPECT_EQ(Eval("GetMedalTime(0), GetMedalTime(1), GetMedalTime(2.7)"), "3 30.5 40 50");
    // A time that is no finite real leaves its medal as it was.
    Run("SetMedalTimes(0/0, 1/0, 45)");
    EXPECT_EQ(Eval("GetMedalTime(0), GetMedalTime(1), GetMedalTime(2)"), "3 30.5 40 45");
}

TEST_F(MissionFunctionsTest, DeleteLevelEndsTheLevelAtOnce) {
    // Right after DeleteLevel no script finds the level, even though the collector has not run:
    // the race questions answer as they do without a level.
    LoadLevel();
    Run("StartLevel() SetUpdateTime(true)");
    EXPECT_EQ(Eval("IsRaceStarted()"), "1 true");
    EXPECT_EQ(Eval("IsDead()"), "1 false");
    Run("StopLevel() DeleteLevel()");
    EXPECT_EQ(GetLevel(), nullptr);
    EXPECT_EQ(Eval("IsRaceStarted()"), "0");
    EXPECT_EQ(Eval("GetPlayerPosition()"), "3 0 0 0");
    EXPECT_EQ(Eval("IsDead()"), "1 true");
    Run("DeleteLevel()"); // a second call finds nothing to do
    CPManagedObject::CollectGarbage();
    // A new level after it is the current one.
    LoadLevel();
    EXPECT_EQ(Eval("IsRaceStarted()"), "1 false");
}

TEST_F(MissionFunctionsTest, StopLevelLeavesTheGameTimeScaleAndPitchAsSet) {
    // SetTemp holds until it is set again; stopping the race restores nothing of it.
    Run("SetTemp(0.25)");
    CNSound::SetGlobalPitch(0.8f);
    LoadLevel();
    Run("SetTemp(0.5)");
    CNSound::SetGlobalPitch(0.6f);
    Run("StartLevel() StopLevel()");
    EXPECT_EQ(TimeScale, 0.5f);
    EXPECT_EQ(CNSound::GetGlobalPitch(), 0.6f);
    CNSound::SetGlobalPitch(1.0f);
}

TEST_F(MissionFunctionsTest, GameTimeScaleAndCounters) {
    struct Case {
        const char* call;
        float scale;
    };
    const Case cases[] = {
        {"SetTemp(0.5)", 0.5f},    {"SetTemp(-2)", -2.0f}, {"SetTemp(0/0)", -2.0f}, {"SetTemp(1/0)", -2.0f},
        {"SetTemp(1e300)", -2.0f}, {"SetTemp(0.1)", 0.1f}, {"SetTemp('x')", 0.0f},
    };
    for (const Case& c : cases) {
        Run(c.call);
        EXPECT_EQ(TimeScale, c.scale) << c.call;
        EXPECT_EQ(Number("GetTemp()"), static_cast<double>(c.scale)) << c.call; // the 32-bit value
    }
    Run("SetNumRounds(5.9) SetKills(-3.7) SetRoundTime(0/0) SetRoundTime(33.25) SetRoundTime(1/0)");
    EXPECT_EQ(Eval("GetRoundsNumber(), GetRoundTime(), GetCurrentRound()"), "3 5 33.25 1");
    EXPECT_EQ(data_.killCount, -3);
    TotalTime = 12345.678901234567;
    EXPECT_EQ(Number("GetFullTime()"), 12345.678901234567);
    TotalTime = 0;
}

// Stopped and started in one turn, the timer keeps one entry in the kernel; a start while it runs is
// refused but still takes a fresh clock base.
TEST_F(MissionFunctionsTest, FrameClockInTheKernel) {
    Platform::FakeClock clock;
    Platform::SetClock(&clock);
    CPKernel kernel;
    CPRefPtr<CPGlobalTimer> timer(new CPGlobalTimer);
    ASSERT_TRUE(kernel.AddTask(CPRefPtr<CPTask>(timer.Get())));
    auto entries = [&] {
        return std::count_if(kernel.GetRunningTasks().begin(), kernel.GetRunningTasks().end(),
                             [&](const auto& t) { return t.Get() == timer.Get(); });
    };
    clock.Advance(1.0);
    timer->Update();
    EXPECT_FLOAT_EQ(FrameDelta, 1.0f);

    Run("StopGlobalTimer()");
    EXPECT_TRUE(timer->IsKilled());
    EXPECT_EQ(FrameDelta, 0.0f);
    clock.Advance(3.0);
    Run("StartGlobalTimer()");
    EXPECT_FALSE(timer->IsKilled());
    EXPECT_EQ(entries(), 1);
    EXPECT_EQ(FrameCounter, 1);
    EXPECT_NEAR(TotalTime, 1.0, 1e-9);
    clock.Advance(0.5);
    timer->Update();
    EXPECT_FLOAT_EQ(FrameDelta, 0.5f); // from the restart, not from the stop

    clock.Advance(5.0);
    Run("StartGlobalTimer()");
    EXPECT_EQ(entries(), 1);
    EXPECT_EQ(FrameDelta, 0.0f);
    clock.Advance(0.25);
    timer->Update();
    EXPECT_FLOAT_EQ(FrameDelta, 0.25f);

    Run("ClearTimer()");
    EXPECT_EQ(FrameDelta, 0.0f);
    FrameDelta = 0.3f;
    Run("ClearGlobalTimer()");
    EXPECT_EQ(FrameDelta, 0.0f);
    timer->Stop();
    Platform::SetClock(nullptr);
}

TEST_F(MissionFunctionsTest, DifficultyAndWeatherSwitches) {
    Put("Data/coeff.dat", "0.5\n2\n3\n1.5\n");
    EXPECT_EQ(Eval("GetDifficulty(), GetDifficult(), IsWeather()"), "3 false 0 true");
    Run("SetDifficult(0)"); // 0 is true in a script
    EXPECT_TRUE(data_.easy);
    // "cam_speed" off: the file's coefficients even when easy.
    EXPECT_EQ(std::vector<float>(data_.coefficients, data_.coefficients + 4), (std::vector<float>{0.5f, 2, 3, 1.5f}));
    Run("SetDifficulty(2.9)");
    EXPECT_EQ(g_camSpeed, 2);
    Run("SetDifficult(true)");
    EXPECT_EQ(std::vector<float>(data_.coefficients, data_.coefficients + 4), (std::vector<float>{1, 1, 1, 1}));
    EXPECT_EQ(Eval("GetDifficulty(), GetDifficult()"), "2 true 1");
    Run("SetDifficult(nil)");
    EXPECT_EQ(std::vector<float>(data_.coefficients, data_.coefficients + 4), (std::vector<float>{0.5f, 2, 3, 1.5f}));
    EXPECT_EQ(Eval("GetDifficult()"), "1 0");
    Run("SetDifficulty(0)");
    EXPECT_EQ(Eval("GetDifficulty()"), "1 false");
    g_weather = 0;
    EXPECT_EQ(Eval("IsWeather()"), "1 false");
}

} // namespace
