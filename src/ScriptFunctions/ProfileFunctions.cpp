#include "ScriptFunctions/ProfileFunctions.h"

#include <cmath>
#include <cstdio>

#include "Core/PScriptRegistry.h"
#include "Core/PSettings.h"
#include "Race/PGameData.h"
#include "Race/PLevel.h"
#include "Race/PPlayer.h"
#include "ScriptFunctions/ScriptArgs.h"

namespace {

// The level record of argument idx (0..19), or null.
CPLevelRecord* RecordArg(lua_State* L, int idx) {
    CPGameData* data = GetGameData();
    const int index = ScriptArgInt(L, idx);
    if (!data || index < 0 || index >= kLevelRecordCount) return nullptr;
    return &data->levelRecords[index];
}

int GetLevelTime(lua_State* L) {
    CPLevelRecord* record = RecordArg(L, 1);
    if (!record) return 0;
    lua_pushnumber(L, record->time);
    return 1;
}

// Stores the current level's run when it beats the record (always in administrator mode).
int SetLevelMedalTime(lua_State* L) {
    CPGameData* data = GetGameData();
    CPLevelRecord* record = RecordArg(L, 1);
    const float time = static_cast<float>(ScriptArgNumber(L, 2));
    const int medal = ScriptArgInt(L, 3);
    CPLevel* level = GetLevel();
    bool done = false;
    // A time that is not finite would make the profile's save unreadable.
    if (record && level && std::isfinite(time) && (time < record->time || g_bboxes != 0)) {
        record->time = time;
        record->medal = medal;
        record->name = level->GetCarKey();
        record->frames = level->GetOwnRunFrames();
        record->parts = data->upgrades;
        done = true;
    }
    lua_pushboolean(L, done);
    return 1;
}

int GetLevelMedalTime(lua_State* L) {
    CPLevelRecord* record = RecordArg(L, 1);
    if (!record) return 0;
    lua_pushnumber(L, record->time);
    lua_pushnumber(L, record->medal);
    lua_pushstring(L, record->name.c_str());
    return 3;
}

int GetMedalsCount(lua_State* L) {
    CPGameData* data = GetGameData();
    if (!data) return 0;
    const int medal = ScriptArgInt(L, 1);
    int count = 0;
    if (medal >= 0 && medal <= 2)
        for (const CPLevelRecord& r : data->levelRecords)
            if (r.time > 0 && r.medal == medal) ++count;
    lua_pushnumber(L, count);
    return 1;
}

int GetCurrentMission(lua_State* L) {
    CPGameData* data = GetGameData();
    if (!data) return 0;
    lua_pushnumber(L, data->currentMission);
    return 1;
}

int SetCurrentMission(lua_State* L) {
    if (CPGameData* data = GetGameData()) data->currentMission = ScriptArgInt(L, 1);
    return 0;
}

int SaveGame(lua_State*) {
    if (CPGameData* data = GetGameData()) data->SaveGame();
    return 0;
}

// LoadGame (file): true when the slot was read and taken, false when it was not (missing, damaged
// or refused), so that a script never goes on with the previous profile unawares.
int LoadGame(lua_State* L) {
    CPGameData* data = GetGameData();
    lua_pushboolean(L, data && data->LoadGame(ScriptArgString(L, 1)));
    return 1;
}

int DeleteSave(lua_State* L) {
    if (CPGameData* data = GetGameData()) data->DeleteSave(ScriptArgString(L, 1));
    return 0;
}

int GetSaves(lua_State* L) {
    CPGameData* data = GetGameData();
    if (!data) return 0;
    const auto names = data->GetSaves();
    lua_pushnumber(L, kSaveSlotCount);
    lua_createtable(L, kSaveSlotCount, 0);
    for (int i = 0; i < kSaveSlotCount; ++i) {
        lua_pushstring(L, names[i].c_str());
        lua_rawseti(L, -2, i + 1);
    }
    return 2;
}

int InitPlayer(lua_State*) {
    if (CPGameData* data = GetGameData()) data->LoadPlayer();
    return 0;
}

int NewPlayer(lua_State* L) {
    if (CPGameData* data = GetGameData()) data->NewPlayer(ScriptArgString(L, 1));
    return 0;
}

int SetPlayerName(lua_State* L) {
    if (CPGameData* data = GetGameData()) data->SetPlayerName(ScriptArgString(L, 1));
    return 0;
}

// GetPlayerName ([car]): the player's name, or with a car its model name ("" for nil).
int GetPlayerName(lua_State* L) {
    const bool withCar = lua_gettop(L) > 0;
    const CPPlayer* car = withCar ? ScriptArgObject<CPPlayer>(L, 1) : nullptr;
    if (withCar) {
        lua_pushstring(L, car ? car->GetCarKey().c_str() : "");
        return 1;
    }
    CPGameData* data = GetGameData();
    if (!data) return 0;
    lua_pushstring(L, data->GetPlayerName().c_str());
    return 1;
}

int SetProfileName(lua_State* L) {
    if (CPGameData* data = GetGameData()) data->SelectProfile(ScriptArgString(L, 1));
    return 0;
}

int GetProfileName(lua_State* L) {
    CPGameData* data = GetGameData();
    if (!data) return 0;
    lua_pushstring(L, data->GetProfileName().c_str());
    return 1;
}

int SetPlayerType(lua_State* L) {
    if (CPGameData* data = GetGameData()) data->SetPlayerType(ScriptArgBool(L, 1) ? 10 : 9);
    return 0;
}

int GetNumRacesPassed(lua_State* L) {
    CPGameData* data = GetGameData();
    if (!data) return 0;
    lua_pushnumber(L, data->racesPassed);
    return 1;
}

int SetNumRacesPassed(lua_State* L) {
    if (CPGameData* data = GetGameData()) data->racesPassed = ScriptArgInt(L, 1);
    return 0;
}

int ClearGameData(lua_State*) {
    if (CPGameData* data = GetGameData()) data->ClearGameData();
    return 0;
}

int GetRecords(lua_State* L) {
    CPGameData* data = GetGameData();
    const int table = ScriptArgInt(L, 1);
    if (!data || table < 1 || table > kScoreTableCount) return 0;
    const std::vector<CPScoreRecord>& records = data->scoreTables[table - 1];
    lua_createtable(L, static_cast<int>(records.size()), 0);
    for (size_t i = 0; i < records.size(); ++i) {
        const CPScoreRecord& r = records[i];
        char time[48] = "";
        if (!r.name.empty()) std::snprintf(time, sizeof time, "%02d:%02d:%02d", r.minutes, r.seconds, r.hundredths);
        lua_createtable(L, 2, 0);
        lua_pushstring(L, r.name.c_str());
        lua_rawseti(L, -2, 1);
        lua_pushstring(L, time);
        lua_rawseti(L, -2, 2);
        lua_rawseti(L, -2, static_cast<int>(i) + 1);
    }
    return 1;
}

int CheckPlayerRecords(lua_State* L) {
    CPGameData* data = GetGameData();
    if (!data) return 0;
    lua_pushboolean(L, data->CheckPlayerRecords(ScriptArgInt(L, 1)));
    return 1;
}

int SaveScore(lua_State*) {
    if (CPGameData* data = GetGameData()) data->SaveScores();
    return 0;
}

int IsAdmin(lua_State* L) {
    lua_pushboolean(L, g_bboxes > 0);
    return 1;
}

// The script gets its own last argument back, and with none the function itself (what lies below
// the arguments), as GetAICount answers.
int AddScore(lua_State* L) {
    if (lua_gettop(L) > 0) {
        lua_pushvalue(L, -1);
        return 1;
    }
    lua_Debug self;
    if (!lua_getstack(L, 0, &self) || !lua_getinfo(L, "f", &self)) lua_pushnil(L);
    return 1;
}

int GetScore(lua_State* L) {
    CPGameData* data = GetGameData();
    if (!data) return 0;
    lua_pushnumber(L, data->killCount);
    return 1;
}

int IsInTable(lua_State* L) {
    lua_pushboolean(L, false);
    return 1;
}

int SetScoreLine(lua_State*) { return 0; }

int GetScoreLine(lua_State* L) {
    lua_pushstring(L, "");
    lua_pushnumber(L, 0);
    return 2;
}

const ScriptFunctionEntry kProfileFunctions[] = {
    {"GetLevelTime", GetLevelTime},
    {"SetLevelMedalTime", SetLevelMedalTime},
    {"GetLevelMedalTime", GetLevelMedalTime},
    {"GetMedalsCount", GetMedalsCount},
    {"GetCurrentMission", GetCurrentMission},
    {"GetCurrentRace", GetCurrentMission},
    {"SetCurrentMission", SetCurrentMission},
    {"SetCurrentRace", SetCurrentMission},
    {"SaveGame", SaveGame},
    {"LoadGame", LoadGame},
    {"DeleteSave", DeleteSave},
    {"GetSaves", GetSaves},
    {"InitPlayer", InitPlayer},
    {"NewPlayer", NewPlayer},
    {"SetPlayerName", SetPlayerName},
    {"GetPlayerName", GetPlayerName},
    {"SetProfileName", SetProfileName},
    {"GetProfileName", GetProfileName},
    {"SetPlayerType", SetPlayerType},
    {"GetNumRacesPassed", GetNumRacesPassed},
    {"SetNumRacesPassed", SetNumRacesPassed},
    {"ClearGameData", ClearGameData},
    {"GetRecords", GetRecords},
    {"CheckPlayerRecords", CheckPlayerRecords},
    {"SaveScore", SaveScore},
    {"IsAdmin", IsAdmin},
    {"AddScore", AddScore},
    {"GetScore", GetScore},
    {"IsInTable", IsInTable},
    {"SetScoreLine", SetScoreLine},
    {"GetScoreLine", GetScoreLine},
};

} // namespace

void RegisterProfileScriptFunctions() { RegisterScriptTable(ScriptTable::Library, kProfileFunctions); }
