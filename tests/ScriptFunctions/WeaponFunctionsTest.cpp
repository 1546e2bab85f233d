// The shot, bonus and lightning functions called from Lua, with the weapons task on a fake race
// world.
#include <gtest/gtest.h>

#include <lua.hpp>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "../Weapons/WeaponsTestSupport.h"
#include "Core/PGlobalTimer.h"
#include "Core/PScriptRegistry.h"
#include "Platform/Audio.h"
#include "Platform/Clock.h"
#include "Race/PGameData.h"
#include "Race/PLevel.h"
#include "Race/PPlayer.h"
#include "ScriptFunctions/ScriptFunctions.h"
#include "ScriptHarness.h"
#include "Sound/NAudio.h"
#include "Sound/NSound.h"
#include "Sound/SoundTestSupport.h"
#include "Weapons/PBonusShot.h"
#include "Weapons/PShotWorld.h"
#include "Weapons/PTracerShot.h"
#include "Weapons/PWeaponsSystem.h"

namespace {

class WeaponFunctionsTest : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterAllScriptFunctions();
        const std::string text = "boom sparks x;1;0.1;1;10;1;1;none\n"
                                 "super super nosound;none\n"
                                 "cash bonus b;;;;100;money;none\n"
                                 "armour bonus b;;;;100;armor;none\n";
        weapons.LoadText(text.data(), static_cast<int>(text.size()));
        L = luaL_newstate();
        luaL_openlibs(L);
        RegisterScriptFunctions(L);
        Platform::SetClock(&clock);
    }
    void TearDown() override {
        lua_close(L);
        Platform::SetClock(nullptr);
        data.bonusList.clear();
        CPManagedObject::CollectGarbage();
    }
    // The chunk's results joined by ",", "#n" first for their number.
    std::string Eval(const std::string& code) {
        const int top = lua_gettop(L);
        if (luaL_dostring(L, code.c_str()) != 0) {
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
            else out += lua_tostring(L, i) ? lua_tostring(L, i) : "?";
        }
        lua_settop(L, top);
        return out;
    }
    void SetGlobalObject(const char* name, CPManagedObject* object) {
        lua_pushlightuserdata(L, object);
        lua_setglobal(L, name);
    }

    FakeWorld world;
    CPWeaponsSystem weapons;
    CPGameData data;
    Platform::FakeClock clock;
    lua_State* L = nullptr;
};

TEST_F(WeaponFunctionsTest, ExplosionsLaunchByNameWithTheirDirection) {
    EXPECT_EQ(Eval("return Explosion('cash', 1, 2, 3)"), "#0");
    ASSERT_EQ(weapons.GetLiveShots().size(), 1u);
    EXPECT_FLOAT_EQ(weapons.GetLiveShots()[0]->GetLaunchPosition().z, 3.0f);
    EXPECT_EQ(Eval("DirectionalExplosion('cash', 0, 0, 0, 0, 1, 0) DirectionalExplosion('nothing', 0, 0, 0)"
                   " Explosion() Explosion(nil, 1, 2, 3)"),
              "#0");
    ASSERT_EQ(weapons.GetLiveShots().size(), 2u);
    EXPECT_FLOAT_EQ(weapons.GetLiveShots()[1]->GetLaunchDirection().y, 1.0f);
}

TEST_F(WeaponFunctionsTest, ShotsFromAPointOfAnObjectWhileTheRaceRuns) {
    CPRefPtr<CPGameObject> car(new CPGameObject("car"));
    car->SetPosition(Vec3(10, 0, 0));
    car->SetRotation(QuatRotationAxis(Vec3(0, 0, 1), 3.14159265f / 2));
    car->UpdateTransform();
    SetGlobalObject("car", car.Get());
    // No level: nothing.
    EXPECT_EQ(Eval("Shot('cash', car, 1, 0, 2) PlayerShot()"), "#0");
    EXPECT_TRUE(weapons.GetLiveShots().empty());
    CPRefPtr<CPLevel> level(new CPLevel());
    EXPECT_EQ(Eval("Shot('cash', nil, 1, 0, 2) Shot('cash', car, 1, 0, 2, 7, 8, 9) PlayerShot()"), "#0");
    ASSERT_EQ(weapons.GetLiveShots().size(), 1u);
    const Vec3 at = weapons.GetLiveShots()[0]->GetLaunchPosition();
    // (1, 0, 2) of the car's frame, turned a quarter about Z, from (10, 0, 0).
    EXPECT_NEAR(at.x, 10.0f, 1e-5f);
    EXPECT_NEAR(std::fabs(at.y), 1.0f, 1e-5f);
    EXPECT_NEAR(at.z, 2.0f, 1e-5f);
    EXPECT_TRUE(level->playerFired);
    // The weapon name is required.
    EXPECT_EQ(Eval("return (pcall(Shot))"), "#1,false");
}

// The demo's car script lays its mine with Shot at a point behind the car. A car facing +X as the
// level places it (its front, -Y, turned a quarter about Z) puts its own (0, 4, -0.8) at 4 units
// less x and 0.8 lower. A mine without physics data rests there; a timer mine with a lifetime of
// 0.5 s ends on the second update of 0.25 s and leaves its explosion where it lay, thrown up
// (0, 0, 1).
TEST_F(WeaponFunctionsTest, AMineLaidBehindACarRestsThereAndGoesOffAtItsTime) {
    const std::string text = "fuse mine blast;0.5;timer;none\n"
                             "blast simple x.rdf;player;0;0;n;none\n";
    weapons.LoadText(text.data(), static_cast<int>(text.size()));
    CPRefPtr<CPGameObject> car(new CPGameObject("car"));
    car->SetPosition(Vec3(10, 2, 0.8f));
    car->SetRotation(Quat(0, 0, 0.70710677f, 0.70710677f));
    car->UpdateTransform();
    SetGlobalObject("car", car.Get());
    CPRefPtr<CPLevel> level(new CPLevel());
    EXPECT_EQ(Eval("Shot('fuse', car, 0, 4, -0.8)"), "#0");
    ASSERT_EQ(weapons.GetLiveShots().size(), 1u);
    const CPRefPtr<CPShot> mine = weapons.GetLiveShots()[0];
    ASSERT_NE(dynamic_cast<CPMineShot*>(mine.Get()), nullptr);
    const auto expectAtTheLay = [](const Vec3& at, const char* what) {
        EXPECT_NEAR(at.x, 6.0f, 1e-4f) << what;
        EXPECT_NEAR(at.y, 2.0f, 1e-4f) << what;
        EXPECT_NEAR(at.z, 0.0f, 1e-4f) << what;
    };
    expectAtTheLay(mine->GetPosition(), "laid");
    RunFrames(weapons, 1, 0.25f);
    ASSERT_EQ(weapons.GetLiveShots().size(), 1u);
    EXPECT_EQ(weapons.GetLiveShots()[0].Get(), mine.Get());
    expectAtTheLay(mine->GetPosition(), "after 0.25 s");
    RunFrames(weapons, 1, 0.25f);
    ASSERT_EQ(weapons.GetLiveShots().size(), 1u);
    const CPShot* blast = weapons.GetLiveShots()[0].Get();
    EXPECT_EQ(blast->GetShotName(), "blast");
    expectAtTheLay(blast->GetLaunchPosition(), "blast");
    EXPECT_EQ(blast->GetLaunchDirection(), Vec3(0, 0, 1));
}

TEST_F(WeaponFunctionsTest, SmartBombSpendsOneSuperWeapon) {
    data.raceConfiguration.superCount = 0;
    Eval("SmartBomb()");
    EXPECT_TRUE(weapons.GetLiveShots().empty());
    data.raceConfiguration.superCount = 2;
    Eval("SmartBomb()");
    EXPECT_EQ(data.raceConfiguration.superCount, 1);
    ASSERT_EQ(weapons.GetLiveShots().size(), 1u);
    EXPECT_EQ(weapons.GetLiveShots()[0]->GetShotName(), "super");
}

TEST_F(WeaponFunctionsTest, SetBonusDrawsFromTheMissionLine) {
    CPMissionLine always;
    always.bonusChance = 99;
    always.bonuses = {{"cash", 0, 50}, {"armour", 50, 100}};
    CPMissionLine half = always;
    half.bonuses = {{"cash", 0, 50}};
    CPMissionLine rare = always;
    rare.bonusChance = 0;
    data.missionLines = {always, half, rare};
    data.coefficients[2] = 1.0f;
    // Out of range, or no line at all: nothing.
    Eval("SetBonus(1, 2, 3) SetBonus(1, 2, -1) SetBonus(1, 2)");
    // Line 0 draws with the clock's seed; the same clock draws the same pickup.
    int cash = 0, armour = 0, halfDrops = 0, rareDrops = 0;
    for (uint32_t ms = 0; ms < 400; ++ms) {
        clock.SetMilliseconds(ms * 7919u);
        weapons.ClearShots();
        Eval("SetBonus(4, 5, 0)");
        ASSERT_EQ(weapons.GetLiveShots().size(), 1u);
        const auto& shot = weapons.GetLiveShots()[0];
        (shot->GetShotName() == "cash" ? cash : armour)++;
        EXPECT_FLOAT_EQ(shot->GetLaunchPosition().x, 4.0f);
        EXPECT_FLOAT_EQ(shot->GetLaunchPosition().z, 0.0f);
        EXPECT_FLOAT_EQ(shot->GetLaunchDirection().y, 5.0f);
        weapons.ClearShots();
        Eval("SetBonus(4, 5, 1)");
        halfDrops += static_cast<int>(weapons.GetLiveShots().size());
        weapons.ClearShots();
        Eval("SetBonus(4, 5, 2)");
        rareDrops += static_cast<int>(weapons.GetLiveShots().size());
    }
    EXPECT_GT(cash, 120);
    EXPECT_GT(armour, 120);
    EXPECT_GT(halfDrops, 120);
    EXPECT_LT(halfDrops, 280);
    EXPECT_LT(rareDrops, 20);
}

TEST_F(WeaponFunctionsTest, BonusListHoldsItsObjects) {
    CPRefPtr<CPGameObject> a(new CPGameObject("a")), b(new CPGameObject("b"));
    SetGlobalObject("a", a.Get());
    SetGlobalObject("b", b.Get());
    EXPECT_EQ(Eval("AddBonus(a, 1) AddBonus(b, 2) AddBonus(a, 3) AddBonus(nil, 4) return GetBonusesCount()"), "#1,3");
    EXPECT_EQ(Eval("local l = GetBonusList() return #l, l[1][1] == a, l[1][2], l[2][2], l[3][2]"), "#5,3,true,1,2,3");
    EXPECT_EQ(Eval("EraseBonus(a) EraseBonus(nil) local l = GetBonusList() return #l, l[1][2], l[2][2]"), "#3,2,2,3");
    EXPECT_EQ(Eval("ClearBonuses() return GetBonusesCount(), #GetBonusList()"), "#2,0,0");
}

TEST_F(WeaponFunctionsTest, LightningFromScripts) {
    world.car = CPRefPtr<CPGameObject>(new CPGameObject("car"));
    world.car->SetPosition(Vec3(6, 0, 0));
    FrameDelta = 0.1f;
    EXPECT_EQ(Eval("bolt = StartLighting('bolt', 0, 0, 0, 3, 0, 0) return bolt ~= nil"), "#1,true");
    // A car 5 units ahead at 10 units a second: four growing steps, then the hit.
    EXPECT_EQ(Eval("local s = {} for i = 1, 4 do s[i] = UpdateTrasser(bolt) end return unpack(s)"), "#4,1,1,1,1");
    EXPECT_EQ(Eval("return UpdateTrasser(bolt)"), "#2,0,object");
    EXPECT_EQ(Eval("return select('#', UpdateTrasser(nil)), UpdateTrasser(nil)"), "#2,1,-1");
    EXPECT_EQ(Eval("return select('#', UpdateTrasser(1))"), "#1,1");
    // No car: it grows for two seconds and is then done.
    world.car.Reset();
    EXPECT_EQ(Eval("bolt = StartLighting('b', 0, 0, 0, 0, 1, 0) local n = 0"
                   " while UpdateTrasser(bolt) == 1 do n = n + 1 end return n, UpdateTrasser(bolt)"),
              "#2,20,-1");
    // A zero direction is no bolt.
    EXPECT_EQ(Eval("return UpdateTrasser(StartLighting('z', 0, 0, 0, 0, 0, 0))"), "#1,-1");
}

TEST_F(WeaponFunctionsTest, NumbersThatAreNotFiniteLaunchNothing) {
    // A shot placed or aimed by NaN or an infinity would put its body there: none is made, and a
    // bolt so aimed is done at once.
    CPRefPtr<CPGameObject> car(new CPGameObject("car"));
    SetGlobalObject("car", car.Get());
    CPRefPtr<CPLevel> level(new CPLevel());
    for (const char* x : {"0/0", "1/0", "-1/0"}) {
        const std::string v = x;
        Eval("Explosion('cash', " + v + ", 0, 0) DirectionalExplosion('cash', 0, 0, 0, 0, " + v +
             ", 0) DirectionalExplosion('cash', 0, " + v + ", 0, 0, 1, 0) Shot('cash', car, 0, 0, " + v + ")");
        EXPECT_TRUE(weapons.GetLiveShots().empty()) << x;
        EXPECT_EQ(Eval("return UpdateTrasser(StartLighting('n', 0, 0, 0, " + v + ", 0, 0))"), "#1,-1") << x;
    }
}

TEST_F(WeaponFunctionsTest, CarWeaponSelectionAndFlags) {
    CPCatalogItem gun;
    gun.name = "mgun";
    gun.numbers = {1, 0, 1, 5, 0, 50, 5, 0};
    data.catalogs[CatalogWeapons].Add(gun);
    gun.name = "gauss";
    data.catalogs[CatalogWeapons].Add(gun);
    data.raceConfiguration.weapon1 = "mgun";
    data.raceConfiguration.weapon2 = "";
    data.raceConfiguration.weapon3 = "gauss";
    CPRefPtr<CPPlayer> car(new CPPlayer);
    for (const char* name : {"mgun", "flare_mgun", "mgun_01", "mgun_02", "mgun_03", "gauss", "flare_gauss", "gauss_01",
                             "gauss_02", "gauss_03", "hmgun"})
        car->AddChild(CPRefPtr<CPGameObject>(new CPGameObject(name)));
    car->UpdateTransform();
    CPRefPtr<CPGameObject> plain(new CPGameObject("crate"));
    SetGlobalObject("car", car.Get());
    SetGlobalObject("crate", plain.Get());

    const struct {
        const char* code;
        int slot;
        const char* part; // the shown weapon part, "" for none
        bool firing;
    } steps[] = {
        {"SetShot(car, true)", 0, "", true}, // slot 0, nothing blocks it
        {"SetShot(car, false)", 0, "", false},
        {"SetNextWeapon(car)", 2, "gauss", false}, // skips the empty second name
        {"SetShot(car, true)", 2, "gauss", true},
        {"SetPrevWeapon(car)", 0, "mgun", true}, // the flag stays as set
        {"SetShot(car, false)", 0, "mgun", false},
        {"SetPrevWeapon(crate) SetNextWeapon(nil) SetShot(crate, true)", 0, "mgun", false}, // not cars
        {"SetCurrentWeapon(car, 'hmgun')", 0, "hmgun", false},
        {"SetCurrentWeapon(car, 'nothing')", 0, "", false},
    };
    for (const auto& step : steps) {
        EXPECT_EQ(Eval(step.code), "#0") << step.code;
        EXPECT_EQ(car->weapon.slot, step.slot) << step.code;
        EXPECT_EQ(car->weapon.part ? car->weapon.part->GetName() : "", step.part) << step.code;
        EXPECT_EQ(car->weapon.firing, step.firing) << step.code;
    }
    // A car without weapons gets slot -1, and then cannot fire.
    data.raceConfiguration.weapon1 = data.raceConfiguration.weapon3 = "";
    Eval("SetNextWeapon(car) SetShot(car, true) SetMineShot(car, true)");
    EXPECT_EQ(car->weapon.slot, -1);
    EXPECT_FALSE(car->weapon.firing);
    EXPECT_FALSE(car->weapon.dropMine);
    // None of the six hands anything back.
    for (const char* call : {"SetWeaponPos(1, 2, 3, nil)", "SetShot(car, true)", "SetMineShot(car, true)",
                             "SetCurrentWeapon(car, 'hmgun')", "SetPrevWeapon(car)", "SetNextWeapon(car)"})
        EXPECT_EQ(Eval(std::string("return select('#', ") + call + ")"), "#1,0") << call;
    // The name is required.
    EXPECT_EQ(Eval("return (pcall(SetCurrentWeapon, car))"), "#1,false");
}

} // namespace

namespace {

// The selection plays "undo_weapon" when it lands on the slot it left and "change_weapon" when it
// moves; a sound still playing starts again from the beginning.
TEST_F(WeaponFunctionsTest, SelectionPlaysUndoOnTheSameSlotAndChangeOtherwise) {
    ScriptHarness::GameRoot root("");
    std::filesystem::create_directories("Data/Sounds");
    ASSERT_TRUE(SoundTest::WriteTone("Data/Sounds/undo.wav", 440, 0.5));
    ASSERT_TRUE(SoundTest::WriteTone("Data/Sounds/change.wav", 660, 0.5));
    std::ofstream("Data/Sounds/Sounds.dat") << "undo_weapon;undo.wav;2d\nchange_weapon;change.wav;2d\n";
    // The device outlives the sounds, which are collected before it goes.
    Platform::NullAudioDevice device;
    struct Collect {
        ~Collect() { CPManagedObject::CollectGarbage(); }
    } collect;
    CNSoundCache cache;
    CNAudio audio;
    audio.SetDevice(&device);
    ASSERT_EQ(audio.Init(nullptr), S_OK);
    CPRefPtr<CNSound> undo = audio.GetSound("undo_weapon"), change = audio.GetSound("change_weapon");
    ASSERT_TRUE(undo && change);

    CPCatalogItem gun;
    gun.numbers = {1, 0, 1, 5, 0, 50, 5, 0};
    for (const char* name : {"mgun", "gauss"}) {
        gun.name = name;
        data.catalogs[CatalogWeapons].Add(gun);
    }
    CPRefPtr<CPPlayer> car(new CPPlayer);
    SetGlobalObject("car", car.Get());
    const struct {
        const char* w1;
        const char* w2;
        const char* w3;
        int from;
        const char* code;
        int to;
        bool changed;
    } cases[] = {
        {"", "mgun", "", 1, "SetPrevWeapon(car)", 1, false},
        {"mgun", "", "gauss", 0, "SetPrevWeapon(car)", 2, true},
        {"mgun", "", "gauss", 2, "SetNextWeapon(car)", 0, true},
        {"", "", "gauss", 2, "SetNextWeapon(car)", 2, false},
        {"", "", "", 0, "SetNextWeapon(car)", -1, true},
    };
    for (const auto& c : cases) {
        data.raceConfiguration.weapon1 = c.w1;
        data.raceConfiguration.weapon2 = c.w2;
        data.raceConfiguration.weapon3 = c.w3;
        car->weapon.slot = c.from;
        undo->Stop();
        change->Stop();
        EXPECT_EQ(Eval(c.code), "#0");
        EXPECT_EQ(car->weapon.slot, c.to) << c.code << " from " << c.from;
        EXPECT_EQ(undo->IsPlaying(), !c.changed) << c.code << " from " << c.from;
        EXPECT_EQ(change->IsPlaying(), c.changed) << c.code << " from " << c.from;
    }
}

} // namespace
