// Mounting and firing by weapon kind: the kinds that fire like another or not at all, a slot whose
// ammunition is below zero, and a part shown by a script after its weapon was refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "Core/PGlobalTimer.h"
#include "Core/PLuaScript.h"
#include "Core/PPath.h"
#include "Core/PRandom.h"
#include "Core/PScriptManager.h"
#include "Race/PGameData.h"
#include "Race/PPlayer.h"
#include "ScriptHarness.h"

namespace {

class ShotRecorder : public CPCarWeaponEffects {
public:
    ShotRecorder() { SetCarWeaponEffects(this); }
    ~ShotRecorder() override { SetCarWeaponEffects(nullptr); }
    void FireShot(const std::string& name, const Vec3&, const Vec3&, float, const CPRefPtr<CPGameObject>&,
                  void*) override {
        shots.push_back(name);
    }
    void EmitParticle(const std::string& type, const Vec3&, const Vec3&, const Vec3&, float, float) override {
        particles.push_back(type);
    }
    void EmitFlame(const Vec3&, const Vec3&, float, CPPlayer*) override { particles.push_back("flame"); }
    std::vector<std::string> shots, particles;
};

// Pellets (number 2), damage (5), shots per load (7), shots per second (8).
CPCatalogItem Record(const std::string& name) {
    CPCatalogItem item;
    item.name = name;
    item.price = 100;
    item.numbers = {1, 0, 1, 5, 0, 50, 5, 0};
    return item;
}

class PlayerWeaponMountTest : public ::testing::Test {
protected:
    void SetUp() override {
        FrameDelta = 0.01f;
        EngineSrand(3);
        for (const char* name : {"mgun", "lgun2x", "ssrlauncher", "gauss", "sword"})
            data.catalogs[CatalogWeapons].Add(Record(name));
    }
    void TearDown() override {
        car.Reset();
        CPManagedObject::CollectGarbage();
        FrameDelta = 0.0f;
    }
    // A car carrying each listed weapon's part and its four flashes, but for the names skipped.
    void MakeCar(std::initializer_list<std::string> weapons, std::initializer_list<std::string> skip = {}) {
        car = CPRefPtr<CPPlayer>(new CPPlayer);
        for (const std::string& w : weapons)
            for (const std::string& name : {w, "flare_" + w, w + "_01", w + "_02", w + "_03"})
                if (std::find(skip.begin(), skip.end(), name) == skip.end())
                    car->AddChild(CPRefPtr<CPGameObject>(new CPGameObject(name)));
        car->UpdateTransform();
    }
    void Arm(const std::string& w1, const std::string& w2 = "") {
        data.raceConfiguration.weapon1 = w1;
        data.raceConfiguration.weapon2 = w2;
        data.raceConfiguration.weapon3 = "";
    }
    void Mount(int slot) {
        car->weapon.slot = slot;
        car->MountWeapon();
    }
    void Frames(int n) {
        for (int i = 0; i < n; ++i) car->UpdateWeapon(Vec3(0, -20, 0), nullptr);
    }

    CPGameData data;
    ShotRecorder effects;
    CPRefPtr<CPPlayer> car;
};

// One update with the trigger down, a load of 50 shots at 5 a second: each firing kind spends 1/50
// and waits 1/5 s; the twin light gun fires as the machine gun, shell included, the small rockets
// leave no shell.
TEST_F(PlayerWeaponMountTest, KindsFireTheirShotsOrNone) {
    const struct {
        const char* weapon;
        std::vector<std::string> shots, particles;
        float ammunition, shotTimer;
    } cases[] = {
        {"lgun2x", {"trasser11"}, {"gilze"}, 0.98f, 0.2f},
        {"ssrlauncher", {"srocket1"}, {}, 0.98f, 0.2f},
        {"mgun", {"trasser11"}, {"gilze"}, 0.98f, 0.2f},
        // A name no kind knows: nothing fired, nothing spent, the timer only counted down (by the
        // mount's own update and this one).
        {"sword", {}, {}, 1.0f, -0.02f},
    };
    for (const auto& c : cases) {
        effects.shots.clear();
        effects.particles.clear();
        MakeCar({c.weapon});
        Arm(c.weapon);
        Mount(0);
        ASSERT_TRUE(car->weapon.part) << c.weapon;
        car->SetFiring(true);
        Frames(1);
        EXPECT_EQ(effects.shots, c.shots) << c.weapon;
        EXPECT_EQ(effects.particles, c.particles) << c.weapon;
        EXPECT_NEAR(car->weapon.ammunition[0], c.ammunition, 1e-6f) << c.weapon;
        EXPECT_NEAR(car->weapon.shotTimer, c.shotTimer, 1e-6f) << c.weapon;
        // Whatever the kind, the first flash shows.
        EXPECT_EQ(car->weapon.flashIndex, 0) << c.weapon;
        EXPECT_TRUE(car->weapon.flashes[0]->IsVisible()) << c.weapon;
        EXPECT_FALSE(car->weapon.flashes[3]->IsVisible()) << c.weapon;
    }
}

// A weapon no kind knows still cycles its flashes and tells the panel at every update with the
// trigger down, and never blocks.
TEST_F(PlayerWeaponMountTest, UnknownKindFlashesAndTellsThePanelEachUpdate) {
    ScriptHarness::GameRoot root("");
    std::filesystem::create_directories("Data/Scripts");
    std::ofstream("Data/Scripts/list.dat") << "gamemenu t_interface gamemenu\n";
    std::ofstream("Data/Scripts/gamemenu.lua") << "-- only its queue is read\n";
    InvalidatePathCache();
    CPScriptManager scripts;
    ASSERT_TRUE(scripts.LoadList());
    CPRefPtr<CPLuaScript> panel = scripts.GetScript("gamemenu");
    ASSERT_TRUE(panel);
    panel->Start();
    MakeCar({"sword"});
    Arm("sword");
    Mount(0);
    car->SetFiring(true);
    const int expectedIndex[] = {0, 1, 2, 3, 0, 1};
    for (int i = 0; i < 6; ++i) {
        Frames(1);
        EXPECT_EQ(car->weapon.flashIndex, expectedIndex[i]) << i;
        const auto told = std::count_if(panel->GetQueue().begin(), panel->GetQueue().end(),
                                        [](const CPCommand& c) { return c.name == "update_game_interface"; });
        EXPECT_EQ(told, i + 1) << i;
    }
    EXPECT_TRUE(effects.shots.empty());
    EXPECT_EQ(car->weapon.ammunition[0], 1.0f);
    EXPECT_FALSE(car->weapon.blocked);
    car.Reset();
    CPManagedObject::CollectGarbage();
}

// Mounting a weapon whose slot has run below zero blocks firing; a slot at exactly zero, a refused
// weapon or no slot do not.
TEST_F(PlayerWeaponMountTest, MountingOnAmmunitionBelowZeroBlocks) {
    const struct {
        int slot;
        float ammunition;
        const char* skippedPart;
        bool blocked;
    } cases[] = {
        {1, -0.5f, "", true},   {1, -0.001f, "", true},
        {1, 0.0f, "", false},   {1, -0.5f, "gauss_03", false}, // refused: no weapon part mounted
        {-1, -0.5f, "", false},
    };
    for (const auto& c : cases) {
        MakeCar({"mgun", "gauss"}, {c.skippedPart});
        Arm("mgun", "gauss");
        car->weapon.ammunition[1] = c.ammunition;
        Mount(c.slot);
        EXPECT_EQ(car->weapon.blocked, c.blocked) << c.slot << " " << c.ammunition << " " << c.skippedPart;
        car->SetFiring(true);
        EXPECT_EQ(car->weapon.firing, c.slot >= 0 && !c.blocked) << c.slot << " " << c.ammunition;
    }
}

// A script may show any part of the car as the weapon after the current slot's weapon was refused:
// with the trigger down the car fires nothing instead of firing the old weapon through flashes it
// has not got.
TEST_F(PlayerWeaponMountTest, PartShownAfterARefusedMountFiresNothing) {
    const struct {
        const char* second;
        const char* skipped;
    } cases[] = {
        {"unlisted", ""},         // no catalog record
        {"gauss", "flare_gauss"}, // a flash missing
    };
    for (const auto& c : cases) {
        effects.shots.clear();
        MakeCar({"mgun", c.second}, {c.skipped});
        Arm("mgun", c.second);
        Mount(0);
        car->SetFiring(true);
        Frames(1);
        ASSERT_EQ(effects.shots.size(), 1u) << c.second;
        // The next weapon, as SetNextWeapon mounts it: refused.
        EXPECT_TRUE(car->SelectNextWeapon());
        car->MountWeapon();
        EXPECT_FALSE(car->weapon.part) << c.second;
        EXPECT_EQ(car->weapon.kind, WeaponNone) << c.second;
        // SetCurrentWeapon, SetShot, then the updates SetWeaponPos drives.
        car->weapon.part = car->FindChild(c.second);
        ASSERT_TRUE(car->weapon.part) << c.second;
        car->SetFiring(true);
        EXPECT_TRUE(car->weapon.firing) << c.second;
        Frames(50);
        EXPECT_EQ(effects.shots.size(), 1u) << c.second;
        EXPECT_EQ(car->weapon.ammunition[1], 1.0f) << c.second;
        EXPECT_FALSE(car->weapon.blocked) << c.second;
    }
}

} // namespace
