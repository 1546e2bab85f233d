// The mission and race-clock functions. They hold no state: each touches the current level, the
// game data, the frame clock or a setting. A function that needs a level, a mission line or a medal
// that is not there does nothing and answers nothing; a clock value that is not finite changes
// nothing.
#include "ScriptFunctions/MissionFunctions.h"

#include <cmath>
#include <cstddef>

#include <lua.hpp>

#include "Core/PGameObject.h"
#include "Core/PGlobalTimer.h"
#include "Core/PKernel.h"
#include "Core/PScriptManager.h"
#include "Core/PScriptObject.h"
#include "Core/PScriptRegistry.h"
#include "Core/PSettings.h"
#include "Race/PGameData.h"
#include "Race/PLevel.h"
#include "ScriptFunctions/ScriptArgs.h"

CPScoreRecord SplitRaceTime(float seconds) { return CPGameData::SplitTime(seconds); }

namespace {

void PushSplit(lua_State* L, float seconds) {
    const CPScoreRecord split = SplitRaceTime(seconds);
    lua_pushnumber(L, split.minutes);
    lua_pushnumber(L, split.seconds);
    lua_pushnumber(L, split.hundredths);
}

// A finite number argument as a 32-bit real; false (value untouched) otherwise.
bool FiniteArg(lua_State* L, int idx, float& value) {
    const double number = ScriptArgNumber(L, idx);
    const float narrowed = static_cast<float>(number);
    if (!std::isfinite(narrowed)) return false;
    value = narrowed;
    return true;
}

int SetLevelTransportCount(lua_State* L) {
    const int count = ScriptArgInt(L, 1);
    if (CPGameData* data = GetGameData()) data->transportCount = count;
    return 0;
}

int LoadMissionInfo(lua_State* L) {
    const char* name = ScriptArgString(L, 1);
    if (CPGameData* data = GetGameData()) data->LoadMissionInfo(name);
    return 0;
}

int GetCheckPointsCount(lua_State* L) {
    const CPGameData* data = GetGameData();
    lua_pushnumber(L, data ? static_cast<double>(data->missionLines.size()) : 0.0);
    return 1;
}

int GetCheckPointInfo(lua_State* L) {
    const int line = ScriptArgInt(L, 1);
    const CPGameData* data = GetGameData();
    if (!data || line < 0 || static_cast<size_t>(line) >= data->missionLines.size()) return 0;
    const CPMissionLine& m = data->missionLines[static_cast<size_t>(line)];
    lua_pushnumber(L, m.a);
    lua_pushnumber(L, m.b);
    lua_pushnumber(L, m.c);
    lua_pushnumber(L, m.t);
    return 4;
}

int ChangeCheckpointPosition(lua_State* L) {
    float x = 0, y = 0;
    if (!FiniteArg(L, 1, x) || !FiniteArg(L, 2, y)) return 0;
    CPLevel* level = GetLevel();
    CPGameObject* checkpoint = level ? level->currentCheckpoint.Get() : nullptr;
    if (!checkpoint) return 0;
    checkpoint->SetPosition(Vec3(x, y, 0.0f));
    checkpoint->UpdateTransform();
    return 0;
}

// The checkpoint at the cursor becomes the current one and is shown; the cursor stays, so the
// scripts move that one object from place to place. No indicator points at it.
int ShowCheckPoint(lua_State*) {
    CPLevel* level = GetLevel();
    if (!level) return 0;
    const auto& checkpoints = level->GetCheckpoints();
    if (level->checkpointCursor >= checkpoints.size()) {
        level->currentCheckpoint = CPRefPtr<CPGameObject>();
        return 0;
    }
    level->currentCheckpoint = checkpoints[level->checkpointCursor].model;
    if (CPGameObject* shown = level->currentCheckpoint.Get()) shown->SetVisible(true);
    if (CPScriptManager* scripts = GetScriptManager()) scripts->SendCommandByCategory("main", "say_show", "");
    return 0;
}

int SetLevelTime(lua_State* L) {
    float seconds = 0;
    if (!FiniteArg(L, 1, seconds)) return 0;
    CPLevel* level = GetLevel();
    const CPGameData* data = GetGameData();
    if (!level) return 0;
    level->SetCountdown(seconds * (data ? data->coefficients[3] : 1.0f));
    return 0;
}

int ClearLevelTimers(lua_State*) {
    CPGameData* data = GetGameData();
    if (GetLevel() && data) data->ResetLevelTime();
    return 0;
}

// A time that is not finite leaves its medal as it was.
int SetMedalTimes(lua_State* L) {
    CPLevel* level = GetLevel();
    if (!level) return 0;
    for (int i = 0; i < 3; ++i) FiniteArg(L, i + 1, level->medalTimes[i]);
    return 0;
}

int GetMedalTime(lua_State* L) {
    const int i = ScriptArgInt(L, 1);
    const CPLevel* level = GetLevel();
    if (!level || i < 0 || i > 2) return 0;
    lua_pushnumber(L, level->medalTimes[i]);
    return 1;
}

float LevelTime() {
    const CPGameData* data = GetGameData();
    return data ? data->GetLevelTime() : 0.0f;
}

int GetTime(lua_State* L) {
    PushSplit(L, LevelTime());
    return 3;
}

int GetTime2(lua_State* L) {
    lua_pushnumber(L, LevelTime());
    return 1;
}

int GetFormattedTime(lua_State* L) {
    PushSplit(L, static_cast<float>(ScriptArgNumber(L, 1)));
    return 3;
}

int GetFullTime(lua_State* L) {
    lua_pushnumber(L, TotalTime);
    return 1;
}

int SetNumRounds(lua_State* L) {
    const int count = ScriptArgInt(L, 1);
    if (CPGameData* data = GetGameData()) data->numberOfRounds = count;
    return 0;
}

int GetRoundsNumber(lua_State* L) {
    const CPGameData* data = GetGameData();
    lua_pushnumber(L, data ? data->numberOfRounds : 0);
    return 1;
}

int GetCurrentRound(lua_State* L) {
    const CPGameData* data = GetGameData();
    lua_pushnumber(L, data ? data->GetCurrentRound() : 0);
    return 1;
}

// 40, then {minutes, seconds, hundredths, reached} for rounds 1 to 10, whatever the number of rounds.
int UpdateRoundsTime(lua_State* L) {
    const CPGameData* data = GetGameData();
    lua_pushnumber(L, 40);
    lua_createtable(L, 40, 0);
    for (int i = 1; i <= 10; ++i) {
        float time = 0;
        if (data && static_cast<size_t>(i) <= data->GetRoundTimes().size()) time = data->GetRoundTimes()[i - 1];
        const CPScoreRecord split = SplitRaceTime(time);
        const int k = 4 * i - 3;
        lua_pushnumber(L, split.minutes);
        lua_rawseti(L, -2, k);
        lua_pushnumber(L, split.seconds);
        lua_rawseti(L, -2, k + 1);
        lua_pushnumber(L, split.hundredths);
        lua_rawseti(L, -2, k + 2);
        lua_pushboolean(L, data && i <= data->GetCurrentRound());
        lua_rawseti(L, -2, k + 3);
    }
    return 2;
}

int SetRoundTime(lua_State* L) {
    float seconds = 0;
    if (!FiniteArg(L, 1, seconds)) return 0;
    if (CPGameData* data = GetGameData()) data->roundTime = seconds;
    return 0;
}

int GetRoundTime(lua_State* L) {
    const CPGameData* data = GetGameData();
    lua_pushnumber(L, data ? data->roundTime : 0.0f);
    return 1;
}

int SetKills(lua_State* L) {
    const int count = ScriptArgInt(L, 1);
    if (CPGameData* data = GetGameData()) data->killCount = count;
    return 0;
}

// The game-time scale for the whole program; any finite value, unclamped.
int SetTemp(lua_State* L) {
    FiniteArg(L, 1, TimeScale);
    return 0;
}

int GetTemp(lua_State* L) {
    lua_pushnumber(L, TimeScale);
    return 1;
}

int ClearGlobalTimer(lua_State*) {
    FrameDelta = 0.0f;
    return 0;
}

// The timer is marked killed; the kernel drops it at its next pass unless it is started again first.
int StopGlobalTimer(lua_State*) {
    if (CPGlobalTimer* timer = GetGlobalTimer()) timer->Stop();
    FrameDelta = 0.0f;
    return 0;
}

// Refused while the timer runs, but its start takes a fresh clock base either way.
int StartGlobalTimer(lua_State*) {
    CPGlobalTimer* timer = GetGlobalTimer();
    CPKernel* kernel = GetKernel();
    if (!timer || !kernel) return 0;
    const CPRefPtr<CPTask> hold(timer);
    kernel->AddTask(hold);
    return 0;
}

int SetDifficulty(lua_State* L) {
    g_camSpeed = ScriptArgInt(L, 1);
    return 0;
}

int GetDifficulty(lua_State* L) {
    lua_pushboolean(L, g_camSpeed != 0);
    return 1;
}

int SetDifficult(lua_State* L) {
    const bool easy = ScriptArgBool(L, 1);
    CPGameData* data = GetGameData();
    if (!data) return 0;
    data->easy = easy;
    data->LoadDifficulty();
    return 0;
}

// A number, 1 or 0, where GetDifficulty answers a boolean.
int GetDifficult(lua_State* L) {
    const CPGameData* data = GetGameData();
    lua_pushnumber(L, data && data->easy ? 1 : 0);
    return 1;
}

int IsWeather(lua_State* L) {
    lua_pushboolean(L, g_weather != 0);
    return 1;
}

const ScriptFunctionEntry kMissionFunctions[] = {
    {"SetLevelTransportCount", SetLevelTransportCount},
    {"LoadMissionInfo", LoadMissionInfo},
    {"GetCheckPointsCount", GetCheckPointsCount},
    {"GetCheckPointInfo", GetCheckPointInfo},
    {"ChangeCheckpointPosition", ChangeCheckpointPosition},
    {"ShowCheckPoint", ShowCheckPoint},
    {"SetLevelTime", SetLevelTime},
    {"ClearLevelTimers", ClearLevelTimers},
    {"SetMedalTimes", SetMedalTimes},
    {"GetMedalTime", GetMedalTime},
    {"GetTime", GetTime},
    {"GetTime2", GetTime2},
    {"GetFormattedTime", GetFormattedTime},
    {"GetFullTime", GetFullTime},
    {"SetNumRounds", SetNumRounds},
    {"GetRoundsNumber", GetRoundsNumber},
    {"GetCurrentRound", GetCurrentRound},
    {"UpdateRoundsTime", UpdateRoundsTime},
    {"SetRoundTime", SetRoundTime},
    {"GetRoundTime", GetRoundTime},
    {"SetKills", SetKills},
    {"SetTemp", SetTemp},
    {"GetTemp", GetTemp},
    {"ClearTimer", ClearGlobalTimer},
    {"ClearGlobalTimer", ClearGlobalTimer},
    {"StopGlobalTimer", StopGlobalTimer},
    {"StartGlobalTimer", StartGlobalTimer},
    {"SetDifficulty", SetDifficulty},
    {"GetDifficulty", GetDifficulty},
    {"SetDifficult", SetDifficult},
    {"GetDifficult", GetDifficult},
    {"IsWeather", IsWeather},
};

} // namespace

void RegisterMissionScriptFunctions() { RegisterScriptTable(ScriptTable::Library, kMissionFunctions); }
