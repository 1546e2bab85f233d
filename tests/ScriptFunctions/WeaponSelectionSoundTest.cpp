// Which sound a weapon selection plays, heard through the null audio device: "change_weapon" when
// the slot moved, "undo_weapon" when it stayed.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include <lua.hpp>

#include "Core/PPath.h"
#include "Core/PScriptRegistry.h"
#include "Platform/Audio.h"
#include "Race/PGameData.h"
#include "Race/PPlayer.h"
#include "ScriptFunctions/ScriptFunctions.h"
#include "ScriptHarness.h"
#include "Sound/NAudio.h"
#include "Sound/NSound.h"
#include "Sound/SoundTestSupport.h"

namespace {

TEST(WeaponSelectionSoundTest, ChangeOrUndoByWhetherTheSlotMoved) {
    ScriptHarness::GameRoot root("");
    std::filesystem::create_directories("Data/Sounds");
    std::ofstream("Data/Sounds/Sounds.dat") << "change_weapon;change.wav\nundo_weapon;undo.wav\n";
    ASSERT_TRUE(SoundTest::WriteTone("Data/Sounds/change.wav", 440, 0.1));
    ASSERT_TRUE(SoundTest::WriteTone("Data/Sounds/undo.wav", 220, 0.1));
    InvalidatePathCache();
    RegisterAllScriptFunctions();
    Platform::NullAudioDevice device;
    CNSoundCache cache;
    CNAudio audio;
    audio.SetDevice(&device);
    ASSERT_EQ(audio.Init(nullptr), S_OK);
    ASSERT_TRUE(audio.GetSound("change_weapon"));
    ASSERT_TRUE(audio.GetSound("undo_weapon"));
    auto plays = [&](const char* sound) {
        const std::string call = "voice " + std::to_string(audio.GetSound(sound)->GetVoice()) + " play";
        return std::count_if(device.calls.begin(), device.calls.end(),
                             [&](const std::string& c) { return c.rfind(call, 0) == 0; });
    };

    CPGameData data;
    for (const char* name : {"mgun", "gauss"}) {
        CPCatalogItem gun;
        gun.name = name;
        gun.numbers = {1, 0, 1, 5, 0, 50, 5, 0};
        data.catalogs[CatalogWeapons].Add(gun);
    }
    CPRefPtr<CPPlayer> car(new CPPlayer);
    for (const char* name : {"mgun", "flare_mgun", "mgun_01", "mgun_02", "mgun_03", "gauss", "flare_gauss", "gauss_01",
                             "gauss_02", "gauss_03"})
        car->AddChild(CPRefPtr<CPGameObject>(new CPGameObject(name)));
    car->UpdateTransform();
    lua_State* L = luaL_newstate();
    luaL_openlibs(L);
    RegisterScriptFunctions(L);
    lua_pushlightuserdata(L, car.Get());
    lua_setglobal(L, "car");

    const struct {
        const char *w1, *w2, *w3;
        int from;
        const char* call;
        int to;
        const char* sound;
    } cases[] = {
        {"", "mgun", "", 1, "SetPrevWeapon(car)", 1, "undo_weapon"}, // the only weapon: stays
        {"mgun", "", "gauss", 0, "SetPrevWeapon(car)", 2, "change_weapon"},
        {"mgun", "", "gauss", 2, "SetNextWeapon(car)", 0, "change_weapon"},
        {"mgun", "", "", 0, "SetNextWeapon(car)", 0, "undo_weapon"},
        {"", "", "", -1, "SetNextWeapon(car)", -1, "undo_weapon"}, // none at all
        {"", "", "gauss", -1, "SetPrevWeapon(car)", 2, "change_weapon"},
    };
    for (const auto& c : cases) {
        data.raceConfiguration.weapon1 = c.w1;
        data.raceConfiguration.weapon2 = c.w2;
        data.raceConfiguration.weapon3 = c.w3;
        car->weapon.slot = c.from;
        const auto change = plays("change_weapon"), undo = plays("undo_weapon");
        ASSERT_EQ(luaL_dostring(L, c.call), 0) << c.call;
        EXPECT_EQ(car->weapon.slot, c.to) << c.call << " from " << c.from;
        const bool changed = std::string(c.sound) == "change_weapon";
        EXPECT_EQ(plays("change_weapon"), change + (changed ? 1 : 0)) << c.call << " from " << c.from;
        EXPECT_EQ(plays("undo_weapon"), undo + (changed ? 0 : 1)) << c.call << " from " << c.from;
    }
    lua_close(L);
    car.Reset();
    CPManagedObject::CollectGarbage();
}

} // namespace
