// Every name the game's scripts call is a native function in a script state built as the program
// builds one, the second library table's SetCursor and GetWindowPosition are the ones in force, and
// names that share one function act alike.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <lua.hpp>

#include "Core/PGameObject.h"
#include "Core/PGlobalTimer.h"
#include "Core/PKernel.h"
#include "Core/PLuaScript.h"
#include "Core/PScriptObject.h"
#include "Core/PScriptRegistry.h"
#include "Race/PGameData.h"
#include "ScriptFunctionsSetup.h"

namespace {

struct NameGroup {
    const char* group;
    const char* names; // separated by single spaces
};

// The names scripts may call, by subsystem; each name once (DeactivateObject, which the interface
// functions share, stands with the commands).
const NameGroup kNameGroups[] = {
    {"commands", "GetDeltaTime AddRef DumpObjects Release SendCommandByName SendCommandByObject SendCommandByCategory "
                 "SetNextCommand GetCurrentCommand GetCurrentParams PointerToString StringToPointer "
                 "SetPTransformation CheckString GetChildObject SetVisible SetCollision SplitString LoadRenderObject "
                 "DrawDynamicObject SetAnimation GetParentObject ActivateObject DeactivateObject SetFade LockButton "
                 "UnlockButton KillAllTasks ToInt PlayMusic"},
    {"interface", "CreateInterface ActivateInterface SilentActivateInterface DeactivateInterface UpdateInterface "
                  "UpdateInterfaceBuffers InitWarning GetTextureSize SetWindowVisible IsWindowVisible SetWindowActive "
                  "SetWindowPosition SetWindowPositionShop SetWindowSize GetWindowPosition SetTextPosition SetText "
                  "SetTextString SetFont SetFontString SetEditBoxText EditBoxProcessKey EditBoxTextLength "
                  "GetEditBoxText SetCursor GetCursor DeselectCurrentButton IMenuRight IMenuLeft UpdateScore "
                  "UpdateTime InitGameInterface UpdateGameInterface SetPlayersPanel GetHelthBarCoord"},
    {"shop", "GetWeaponInfo GetMineInfo GetSuperWeaponInfo GetBumperInfo GetEquipmentInfo GetArmorInfo "
             "GetEngineInfo IsValidGameDataName GetWeaponNames GetMineNames GetSuperWeaponNames GetBumperNames "
             "GetEquipmentNames GetArmorNames GetEngineNames GetMoney SetMoney GetCarInfo GetRealCarInfo "
             "SetCarInfo CommitCarSettings AutoSetting SetUpgrade GetUpgrade GetActiveCar InitDragster "
             "GetDragster SetDragsterTexture"},
    {"profile", "GetLevelTime SetLevelMedalTime GetLevelMedalTime GetMedalsCount GetCurrentMission GetCurrentRace "
                "SetCurrentMission SetCurrentRace SaveGame LoadGame DeleteSave GetSaves InitPlayer NewPlayer "
                "SetPlayerName GetPlayerName SetProfileName GetProfileName SetPlayerType GetNumRacesPassed "
                "SetNumRacesPassed ClearGameData GetRecords CheckPlayerRecords SaveScore IsAdmin AddScore GetScore "
                "IsInTable SetScoreLine GetScoreLine"},
    {"race", "InitLevel StartLevel StopLevel DeleteLevel SetLevelTransportCount LoadMissionInfo "
             "GetCheckPointsCount GetCheckPointInfo ChangeCheckpointPosition ShowCheckPoint SetLevelTime "
             "ClearLevelTimers SetUpdateTime IsRaceStarted GetLevelSize SetMedalTimes GetMedalTime GetTime "
             "GetTime2 GetFormattedTime GetFullTime SetNumRounds GetRoundsNumber GetCurrentRound UpdateRoundsTime "
             "SetRoundTime GetRoundTime SetKills SetLevelStarted SetTemp GetTemp ClearTimer ClearGlobalTimer "
             "StopGlobalTimer StartGlobalTimer SetDifficulty GetDifficulty SetDifficult GetDifficult IsWeather"},
    {"car", "SetCarParams SetBrake LockPlayers LockPlayer Spawn StopPlayerCar PlayerApplyImpulse PlayerNitro "
            "PlayerNitroAI ThrowPlayer CheckIntersection GetPlayerPosition GetPlayerDirection "
            "GetPlayerDirectionAI IsPlayerMoveForward IsPlayerMovingBackwards GetPlayerSpeed GetPlayerSpeedAI "
            "GetPlayerMass SetEngineMoment GetNitro EngineState GetPlayerDamage GetAIDamage IsPlayerDead IsDead "
            "IsDamageMsg DamagePlayer KillPlayer IsInGloom SetTimeBonus ActivateAbilities ActivateAbilitiesAI "
            "SetAbilitiesCount SetAbilitiesCountAI SetMaxAbilityCount GetPlayerMana SetPlayerMana Pup Pdown "
            "Pleft Pright"},
    {"track", "CrossPlayerRay GetPositionForEnemy GetEnemyType IsEnemySourceNear AddEnemy GetAICount GetEnemyData "
              "GetAIPositions GetPlayerSplineAngle GetSplineLineCount GetSplineLinePoint GetClosestLineCenter "
              "IsDarkLeft IsLightLeft GetNearestSunwardPlayer GetNearestMoonwardPlayer"},
    {"weapons", "Shot Explosion DirectionalExplosion SetWeaponPos PlayerShot SetShot SetMineShot SetCurrentWeapon "
                "SetPrevWeapon SetNextWeapon SmartBomb SetBonus AddBonus EraseBonus GetBonusesCount ClearBonuses "
                "GetBonusList StartLighting UpdateTrasser"},
    {"camera", "SetCameraPos SetLensFlare SetCameraZAngle GetCameraZAngle GetCameraPositions SetCamera "
               "ChangeGameCamera SetCameraPlayer GetCameraPlayer SetFOV GetFov1 GetFov2 CrossInterfaceRay "
               "CheckVisible GetLight SetLight DrawLine DrawObject DrawArrow DrawArrow2 DrawArrow3 CreateArrow "
               "InitSky SetMotionBlur SetRadialBlur SetLightCoeff GetCurrentResolution GetScreenSize SetBlurParam "
               "GetBlurParam SetAnisoParam GetAnisoParam"},
    {"sound", "PlaySpecialSound PlaySpecialSound2 PlaySpecialSound3D StopSpecialSound IsSpecialSoundPlaying "
              "UpdateSoundPosition StopSounds PlayMusicNoLoop StopPlayingMusic GetMusicName GetSoundVolume "
              "SetSoundVolume GetMusicVolume SetMusicVolume GetMouse SetMouse GetBrightness SetActions "
              "SetAssignKey SetAction GetActionNames SaveActions UpdateActions LoadActions IsFileExists GoURL "
              "SaveLog SetDefaultCamera SetBrightness DumpAIInfo PlayVideo PlayVideoNoSound PlayVideo1 StopVideo "
              "StopVideo1"},
    {"objects", "SetPosition SetRotation GetPosition GetBBoxInfo GetObjectSpeed IsRigid ApplyImpulse Jump Clone "
                "FindObject SetObjectVisible StartAnimation StopScript"},
};

// The state a script gets: the one CPLuaScript builds for every script the program loads, after
// the application has registered the script functions (ScriptFunctionsSetup.h).
class RegisteredNamesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(kScriptFunctionsRegistered);
        script_ = CPRefPtr<CPLuaScript>(new CPLuaScript);
        script_->InitState();
        L = script_->GetState();
        ASSERT_NE(L, nullptr);
    }
    void TearDown() override {
        script_ = {};
        CPManagedObject::CollectGarbage();
    }

    // The native function the state holds under the name, or null when the global is anything else.
    lua_CFunction Global(const char* name) {
        lua_getglobal(L, name);
        lua_CFunction function = lua_iscfunction(L, -1) ? lua_tocfunction(L, -1) : nullptr;
        lua_pop(L, 1);
        return function;
    }

    CPRefPtr<CPLuaScript> script_;
    lua_State* L = nullptr;
};

std::vector<std::string> Split(const char* names) {
    std::vector<std::string> out;
    std::istringstream in(names);
    for (std::string name; in >> name;) out.push_back(name);
    return out;
}

TEST_F(RegisteredNamesTest, EveryNameIsANativeFunction) {
    std::set<std::string> listed;
    for (const NameGroup& group : kNameGroups) {
        std::string missing;
        for (const std::string& name : Split(group.names)) {
            EXPECT_TRUE(listed.insert(name).second) << name << " is listed twice";
            if (!Global(name.c_str())) missing += " " + name;
        }
        EXPECT_TRUE(missing.empty()) << group.group << " lacks:" << missing;
    }
}

TEST_F(RegisteredNamesTest, SetCursorAndGetWindowPositionAreTheSecondLibraryTables) {
    const auto extra = GetScriptTable(ScriptTable::LibraryExtra);
    for (const char* name : {"SetCursor", "GetWindowPosition"}) {
        lua_CFunction registered = nullptr;
        for (const ScriptFunctionEntry& entry : extra)
            if (std::string(entry.name) == name) registered = entry.function;
        ASSERT_NE(registered, nullptr) << name << " is not in the second library table";
        EXPECT_EQ(Global(name), registered) << name << " in a script state is not the second table's";
    }
}

// Names that share one function: each is registered with that same function and, called the same
// way, does the same. In each call "F" stands for the name under test. Before every call the frame
// time is 0.25, the current mission 3, and "thing" is an active game object that ThingActive reports on.
struct SharedFunction {
    std::vector<const char*> names;
    const char* call;
    const char* expected; // the call's results, each tostring'ed, joined by ","
};

const SharedFunction kSharedFunctions[] = {
    {{"DeactivateInterface", "DeactivateObject"},
     "local before = ThingActive() F(thing) return before, ThingActive(), select('#', F(nil))",
     "true,false,0"},
    {{"GetCurrentMission", "GetCurrentRace"}, "local before = F() SetCurrentMission(6) return before, F()", "3,6"},
    {{"SetCurrentMission", "SetCurrentRace"}, "F(4.9) return GetCurrentMission(), GetCurrentRace()", "4,4"},
    {{"ClearTimer", "ClearGlobalTimer"},
     "local before = GetDeltaTime() return before, select('#', F()), GetDeltaTime()",
     "0.25,0,0"},
    {{"SetDefaultCamera", "SetBrightness", "DumpAIInfo", "PlayVideo", "PlayVideoNoSound", "PlayVideo1", "StopVideo",
      "StopVideo1"},
     "return select('#', F(1, 'intro', nil, true, thing)), GetDeltaTime(), GetCurrentMission(), ThingActive()",
     "0,0.25,3,true"},
};

CPGameObject* gThing = nullptr;

int ThingActive(lua_State* L) {
    lua_pushboolean(L, gThing && gThing->IsActive());
    return 1;
}

TEST_F(RegisteredNamesTest, SharedNamesActAsTheirPartners) {
    CPKernel kernel;
    CPGameData data;
    lua_register(L, "ThingActive", ThingActive);

    // Runs the call with "F" bound to the name; its results joined, or "error: " and the message.
    auto run = [&](const char* name, const char* call) {
        FrameDelta = 0.25f;
        data.currentMission = 3;
        CPRefPtr<CPGameObject> thing(new CPGameObject("thing"));
        thing->Activate(200);
        gThing = thing.Get();
        PushObject(L, thing.Get());
        lua_setglobal(L, "thing");
        lua_getglobal(L, name);
        lua_setglobal(L, "F");

        std::string out;
        const int top = lua_gettop(L);
        if (luaL_loadstring(L, call) != 0 || lua_pcall(L, 0, LUA_MULTRET, 0) != 0) {
            out = std::string("error: ") + (lua_tostring(L, -1) ? lua_tostring(L, -1) : "?");
        } else {
            for (int i = top + 1; i <= lua_gettop(L); ++i) {
                lua_getglobal(L, "tostring");
                lua_pushvalue(L, i);
                lua_call(L, 1, 1);
                out += (i > top + 1 ? "," : "") + std::string(lua_tostring(L, -1));
                lua_pop(L, 1);
            }
        }
        lua_settop(L, top);
        if (thing->IsActive()) thing->Deactivate();
        gThing = nullptr;
        lua_pushnil(L);
        lua_setglobal(L, "thing");
        return out;
    };

    for (const SharedFunction& shared : kSharedFunctions) {
        const lua_CFunction first = Global(shared.names.front());
        for (const char* name : shared.names) {
            EXPECT_NE(Global(name), nullptr) << name << " is not registered";
            EXPECT_EQ(Global(name), first) << name << " is not the same function as " << shared.names.front();
            EXPECT_EQ(run(name, shared.call), shared.expected) << name << ": " << shared.call;
        }
    }
    kernel.KillAllTasks();
    FrameDelta = 0;
}

} // namespace
