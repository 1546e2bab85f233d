// The library's race and level functions.
//
// A bad argument raises a Lua error, which unwinds with longjmp: every argument check comes before
// the first C++ object with a destructor in each function.
#include "ScriptFunctions/LevelFunctions.h"

#include <lua.hpp>

#include "Core/PLog.h"
#include "Core/PScriptObject.h"
#include "Core/PScriptRegistry.h"
#include "Particles/PParticlesManager.h"
#include "Race/PGameData.h"
#include "Race/PLevel.h"
#include "Race/PRaceEffects.h"

namespace {

// Ends the current level as DeleteLevel does: its race update stops, no script or task finds it
// again, and the library's reference goes.
void EndCurrentLevel() {
    if (CPLevel* level = GetLevel(); level && !level->IsReleased()) {
        level->Destroy();
        level->Release();
    }
}

// InitLevel (name): a new current level, loaded; a failed load is not reported. The library holds
// the level's one reference until DeleteLevel.
int InitLevel(lua_State* L) {
    const char* name = ScriptArgString(L, 1);
    // Only DeleteLevel reaches the current level: one still here would be held, and its race
    // update run, for ever.
    if (CPLevel* current = GetLevel(); current && !current->IsReleased()) {
        GetLog().Write(0, "InitLevel: a level is still loaded; it is deleted first\n");
        EndCurrentLevel();
    }
    auto* level = new CPLevel;
    level->AddRef();
    level->Load(name);
    return 0;
}

int StartLevel(lua_State*) {
    if (CPLevel* level = GetLevel()) level->Start();
    return 0;
}

// StopLevel: the particles and shots go first, then the level's own teardown.
int StopLevel(lua_State*) {
    CPLevel* level = GetLevel();
    if (!level) return 0;
    if (CPParticlesManager* particles = GetParticlesManager()) particles->ClearAll();
    if (CPRaceEffects* effects = GetRaceEffects()) effects->ClearShots();
    level->StopLevel();
    return 0;
}

// DeleteLevel: the level is gone at once: no script or task finds it again, and the library's
// reference goes (objects of the turn that still hold it keep its memory until the collector runs).
int DeleteLevel(lua_State*) {
    EndCurrentLevel();
    return 0;
}

int SetUpdateTime(lua_State* L) {
    const bool running = ScriptArgBool(L, 1);
    if (CPLevel* level = GetLevel()) level->SetRaceActive(running);
    return 0;
}

int IsRaceStarted(lua_State* L) {
    const CPLevel* level = GetLevel();
    if (!level) return 0;
    lua_pushboolean(L, level->IsRaceActive());
    return 1;
}

int SetLevelStarted(lua_State* L) {
    const bool started = ScriptArgBool(L, 1);
    if (CPGameData* data = GetGameData()) data->levelStarted = started;
    return 0;
}

int GetLevelSize(lua_State* L) {
    const CPLevel* level = GetLevel();
    if (!level) return 0;
    lua_pushnumber(L, level->GetSizeX());
    lua_pushnumber(L, level->GetSizeY());
    return 2;
}

const ScriptFunctionEntry kLevelFunctions[] = {
    {"InitLevel", InitLevel},
    {"StartLevel", StartLevel},
    {"StopLevel", StopLevel},
    {"DeleteLevel", DeleteLevel},
    {"SetUpdateTime", SetUpdateTime},
    {"IsRaceStarted", IsRaceStarted},
    {"SetLevelStarted", SetLevelStarted},
    {"GetLevelSize", GetLevelSize},
};

} // namespace

void RegisterLevelScriptFunctions() { RegisterScriptTable(ScriptTable::Library, kLevelFunctions); }
