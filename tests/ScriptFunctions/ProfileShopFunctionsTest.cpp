// The profile and shop script functions, called from Lua over a game data in a temporary root.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <lua.hpp>

#include "Core/PGameObject.h"
#include "Core/PScriptRegistry.h"
#include "Core/PSettings.h"
#include "Race/PGameData.h"
#include "Race/PLevel.h"
#include "Render/PTexture.h"
#include "ScriptFunctions/ProfileFunctions.h"
#include "ScriptFunctions/ShopFunctions.h"
#include "ScriptHarness.h"

namespace {

void WriteFile(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
    InvalidatePathCache();
}

class ProfileShopFunctionsTest : public ::testing::Test {
protected:
    void SetUp() override {
        CPSettingsManager::ResetDefaults();
        RegisterProfileScriptFunctions();
        RegisterShopScriptFunctions();
        WriteFile("Data/strings.txt", "gun~Gun\ngun_d~Shoots\n");
        WriteFile("Data/catalogs.dat", "[weapons]\n"
                                       "gun\t100\t1\t2.5\t3\t4\t5\t6\t7\t8\tgun_d\t1\n"
                                       "laser\t200\t1\t2\t3\t4\t5\t6\t7\t8\tx\t2\n"
                                       "rail\t300\t1\t2\t3\t4\t5\t6\t7\t8\tx\t15\n"
                                       "ion\t400\t1\t2\t3\t4\t5\t6\t7\t8\tx\t16\n"
                                       "[superweapons]\nnuke\t1000\tx\t1\n"
                                       "[engines]\nv8\t50\t1\t2\t3\t4\t5\tx\t1\n"
                                       "[presets]\n" +
                                           Preset("gun", 0) + Preset("laser", 0) + Preset("rail", 0) +
                                           Preset("ion", 0) + Preset("gun", 1) + Preset("laser", 1));
        std::filesystem::create_directories("Data/Saves");
        data.Init();
        L = luaL_newstate();
        luaL_openlibs(L);
        RegisterScriptFunctions(L);
    }
    static std::string Preset(const std::string& weapon, int nukes) {
        return weapon + "\tnone\tnone\tnone\tnone\tnone\tnone\tnone\tnuke\t" + std::to_string(nukes) + "\tnone\n";
    }
    void TearDown() override {
        lua_close(L);
        CPManagedObject::CollectGarbage();
        CPSettingsManager::ResetDefaults();
    }
    // Runs the chunk and gives its results joined by ",", with "#n" first for their number. A chunk
    // "statements;; expression" runs the statements first and returns the expression.
    std::string Eval(const std::string& code) {
        const int top = lua_gettop(L);
        std::string chunk = "return " + code;
        if (const size_t split = code.find(";;"); split != std::string::npos)
            chunk = code.substr(0, split) + " return " + code.substr(split + 2);
        if (luaL_dostring(L, chunk.c_str()) != 0) {
            std::string error = lua_tostring(L, -1);
            lua_settop(L, top);
            return "error: " + error;
        }
        std::string out = "#" + std::to_string(lua_gettop(L) - top);
        for (int i = top + 1; i <= lua_gettop(L); ++i) {
            out += ",";
            if (lua_isboolean(L, i)) out += lua_toboolean(L, i) ? "true" : "false";
            else if (lua_isnil(L, i)) out += "nil";
            else if (lua_islightuserdata(L, i)) out += lua_touserdata(L, i) ? "object" : "null";
            else if (lua_istable(L, i)) out += "table";
            else out += lua_tostring(L, i) ? lua_tostring(L, i) : "?";
        }
        lua_settop(L, top);
        return out;
    }
    ScriptHarness::GameRoot root{""};
    CPGameData data;
    lua_State* L = nullptr;
};

TEST_F(ProfileShopFunctionsTest, ShopCalls) {
    struct Case {
        const char* code;
        const char* expected;
    };
    const Case cases[] = {
        {"GetWeaponInfo('gun')", "#12,Gun,100,1,2.5,3,4,5,6,7,8,Shoots,1"},
        {"GetWeaponInfo('nothing')", "#0"},
        {"GetSuperWeaponInfo('nuke')", "#4,,1000,,1"},
        {"GetEngineInfo('v8')", "#9,,50,1,2,3,4,5,,1"},
        {"GetMineInfo('gun')", "#0"},
        {"IsValidGameDataName('v8')", "#1,true"},
        {"IsValidGameDataName('V8')", "#1,false"},
        {"GetWeaponNames()", "#2,1,table"},
        {"table.concat(select(2, GetWeaponNames()), ' ')", "#1,gun"},
        {"SetCurrentMission(2);;table.concat(select(2, GetWeaponNames()), ' ')", "#1,gun laser"},
        {"SetCarInfo('gun', '', 'x', '', '', '', '', '', 'nuke', 2.9, '');;GetCarInfo()", "#11,gun,,x,,,,,,nuke,2,"},
        {"table.concat(select(2, GetWeaponNames()), ' ')", "#1,laser"},
        {"GetRealCarInfo()", "#11,,,,,,,,,,0,"},
        {"CommitCarSettings();;select(9, GetRealCarInfo())", "#3,nuke,2,"},
        {"GetSuperWeaponNames()", "#2,1,table"},
        {"SetCarInfo('', '', '', '', '', '', '', '', '', 3, '');;GetSuperWeaponNames()", "#2,0,table"},
        {"SetUpgrade(2, 7);;GetUpgrade(2)", "#1,3"},
        {"SetUpgrade(2, -1);;GetUpgrade(2)", "#1,0"},
        {"SetUpgrade(6, 9);;GetUpgrade(6)", "#1,9"},
        {"SetUpgrade(7, 1);;GetUpgrade(7)", "#0"},
        {"SetUpgrade(-1, 1);;GetUpgrade(-1)", "#0"},
        {"GetDragster(1, 1)", "#1,null"},
        {"GetDragster(4, 4)", "#1,null"},
        {"GetDragster(0, 1)", "#0"},
        {"GetDragster(1, 5)", "#0"},
        {"SetPlayerName('hauler_');;GetActiveCar()", "#1,hauler"},
        {"SetPlayerName('saloon');;GetActiveCar()", "#1,saloon_i7"},
        {"SetPlayerName('saloon_i7');;GetActiveCar()", "#1,"},
        {"SetMoney(12.5);;GetMoney()", "#1,12.5"},
    };
    for (const Case& c : cases) EXPECT_EQ(Eval(c.code), c.expected) << c.code;
    data.easy = true;
    EXPECT_EQ(Eval("table.concat(select(2, GetWeaponNames()), ' ')"), "#1,gun laser rail");
    // The number the texture loader reads for "dragster.tga": one number, the shop's and the loader's.
    EXPECT_EQ(Eval("SetDragsterTexture(7)"), "#0");
    EXPECT_EQ(DragsterTextureIndex, 7);
    DragsterTextureIndex = 4;
}

TEST_F(ProfileShopFunctionsTest, AutoSettingTriesPresetsDownFromThreeTimesTheMission) {
    // Presets: 0 gun 100, 1 laser 200, 2 rail 300, 3 ion 400, 4 gun+nuke 1100, 5 laser+nuke 1200.
    struct Case {
        int mission;
        float money;
        const char* weapon; // the edited weapon 1 afterwards
        float moneyAfter;
    };
    const Case cases[] = {
        {2, 1150, "gun", 50},     // tries 5 (1200), then takes 4
        {2, 5000, "laser", 3800}, // takes 5
        {1, 5000, "rail", 4700},  // starts at 3 x 1 - 1 = 2
        {9, 5000, "laser", 3800}, // past the list: starts at the last preset
        {1, 50, "", 50},          // nothing affordable: nothing changes
        {0, 5000, "", 5000},      // mission 0: no preset index
    };
    for (const Case& c : cases) {
        data.editedConfiguration = {};
        data.currentMission = c.mission;
        data.SetMoney(c.money);
        EXPECT_EQ(Eval("AutoSetting()"), "#0");
        EXPECT_EQ(data.editedConfiguration.weapon1, c.weapon) << c.mission << " " << c.money;
        EXPECT_FLOAT_EQ(data.GetMoney(), c.moneyAfter) << c.mission << " " << c.money;
    }
    // What the player owns counts towards the budget.
    data.currentMission = 1;
    data.editedConfiguration = {};
    data.editedConfiguration.weapon1 = "ion";
    data.SetMoney(0);
    Eval("AutoSetting()");
    EXPECT_EQ(data.editedConfiguration.weapon1, "rail");
    EXPECT_FLOAT_EQ(data.GetMoney(), 100);
}

TEST_F(ProfileShopFunctionsTest, ProfileCalls) {
    struct Case {
        const char* code;
        const char* expected;
    };
    const Case cases[] = {
        {"AddScore(5)", "#1,5"},
        {"AddScore(1, 'x')", "#1,x"},
        {"AddScore() == AddScore", "#1,true"}, // its own argument back: with none, what lies below it
        {"select('#', AddScore())", "#1,1"},
        {"IsInTable(3)", "#1,false"},
        {"GetScoreLine(2)", "#2,,0"},
        {"SetScoreLine('a', 1, 2)", "#0"},
        {"GetScore()", "#1,0"},
        {"IsAdmin()", "#1,false"},
        {"GetMedalsCount(3)", "#1,0"},
        {"GetLevelTime(20)", "#0"},
        {"GetLevelTime(-1)", "#0"},
        {"GetLevelMedalTime(0)", "#3,0,4,"},
        {"SetLevelMedalTime(0, 10, 1)", "#1,false"}, // no level
        {"SetProfileName('Ann');;GetProfileName()", "#1,Ann"},
        {"SetPlayerType(true)", "#0"},
        {"SetNumRacesPassed(3.9);;GetNumRacesPassed()", "#1,3"},
        {"SetCurrentRace(4.5);;GetCurrentMission()", "#1,4"},
        {"GetCurrentRace()", "#1,4"},
        {"SetPlayerName('coupe_t');;GetPlayerName()", "#1,coupe_t"},
        {"GetPlayerName(nil)", "#1,"},
        {"GetRecords(0)", "#0"},
        {"GetRecords(7)", "#0"},
        {"#GetRecords(1)", "#1,7"},
        {"GetRecords(1)[1][1] .. '|' .. GetRecords(1)[1][2]", "#1,|"},
        {"CheckPlayerRecords(1)", "#1,true"},
        {"GetRecords(1)[1][1] .. '|' .. GetRecords(1)[1][2]", "#1,Ann|00:00:00"},
        {"CheckPlayerRecords(8)", "#1,false"},
        {"SaveGame()", "#0"},
        {"GetSaves()", "#2,6,table"},
        {"GetSaves and select(2, GetSaves())[1]", "#1,Ann"},
        {"DeleteSave('save0.sav');;select(2, GetSaves())[1]", "#1,"},
        {"LoadGame('../../x')", "#1,false"},
        {"LoadGame('save0.sav')", "#1,false"}, // deleted: an empty slot is free
        {"SaveGame();;LoadGame('save0.sav')", "#1,true"},
        {"LoadGame('save5.sav')", "#1,false"}, // missing
        {"ClearGameData()", "#0"},
    };
    for (const Case& c : cases) EXPECT_EQ(Eval(c.code), c.expected) << c.code;
    EXPECT_EQ(data.GetCarClass(), 10);

    CPRefPtr<CPLevel> level(new CPLevel);
    level->SetCarKey("scout");
    level->GetOwnRunFrames().resize(5);
    data.levelRecords[3].time = 50;
    data.upgrades[1] = 2;
    EXPECT_EQ(Eval("SetLevelMedalTime(3, 50, 1)"), "#1,false"); // equal is not better
    EXPECT_EQ(Eval("SetLevelMedalTime(3, 0/0, 1)"), "#1,false");
    EXPECT_EQ(Eval("SetLevelMedalTime(20, 1, 1)"), "#1,false");
    EXPECT_EQ(Eval("SetLevelMedalTime(3, 49.5, 1.7)"), "#1,true");
    EXPECT_EQ(Eval("GetLevelMedalTime(3)"), "#3,49.5,1,scout");
    EXPECT_EQ(data.levelRecords[3].frames.size(), 5u);
    EXPECT_EQ(data.levelRecords[3].parts[1], 2);
    EXPECT_EQ(Eval("GetMedalsCount(1)"), "#1,1");
    EXPECT_EQ(Eval("GetMedalsCount(0)"), "#1,0");
    g_bboxes = 1;
    EXPECT_EQ(Eval("SetLevelMedalTime(3, 60, 0)"), "#1,true"); // administrator mode always stores
    EXPECT_EQ(Eval("IsAdmin()"), "#1,true");
    level.Reset();
}

TEST_F(ProfileShopFunctionsTest, InitDragsterShowsThePartsOfTheUpgradeLevels) {
    CPRefPtr<CPGameObject> car(new CPGameObject("car"));
    const char* parts[] = {"flare01", "wings1", "wings2", "wings3", "engine1", "engine2", "engine3",
                           "w2",      "w2_1",   "w2_2",   "w2_3",   "roll",    "roll1",   "roll2"};
    for (const char* name : parts) {
        CPRefPtr<CPGameObject> part(new CPGameObject(name));
        car->AddChild(part);
    }
    auto shown = [&] {
        std::string out;
        for (const char* name : parts)
            if (car->FindChild(name)->IsVisible()) out += std::string(out.empty() ? "" : " ") + name;
        return out;
    };
    struct Case {
        int wing, engine, rear;
        const char* shown;
    };
    const Case cases[] = {
        {1, 1, 1, "wings1 engine1 w2_1 roll1"},
        {3, 2, 2, "wings2 wings3 engine1 engine2 w2_2 roll2"},
        {0, 3, 0, "engine1 engine2 engine3 w2"},
        {4, 0, 9, "w2"},
    };
    lua_pushlightuserdata(L, car.Get());
    lua_setglobal(L, "car");
    for (const Case& c : cases) {
        data.upgrades[3] = c.wing;
        data.upgrades[1] = c.engine;
        data.upgrades[2] = c.rear;
        EXPECT_EQ(Eval("InitDragster(car)"), "#0");
        EXPECT_EQ(shown(), c.shown) << c.wing << c.engine << c.rear;
    }
    EXPECT_EQ(Eval("InitDragster(nil)"), "#0");
}

} // namespace
