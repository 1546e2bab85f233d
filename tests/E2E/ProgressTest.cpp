// The program on a game root whose main script calls every profile and shop function: what each
// handed back, and the files the calls left behind.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ProgramHarness.h"
#include "Race/PSaveFile.h"
#include "ScriptHarness.h"

namespace {

using ScriptHarness::GameRoot;

TEST(ProgressTest, EveryProfileAndShopFunctionFromTheRealProgram) {
    GameRoot root("app/progress");
    SaveFileData admin;
    for (int i = 0; i < kLevelRecordCount; ++i) admin.records[i].time = 100.0f + static_cast<float>(i);
    admin.records[0].name = "coupe_t";
    admin.records[0].frames.resize(2);
    ASSERT_TRUE(SUCCEEDED(SaveSaveFile("Data\\admin.sav", admin)));
    root.ReadFile("config.cfg");
    const int code = ProgramHarness::RunProgram(".");
    if (ProgramHarness::CouldNotStart(root.ReadFile("program.out")))
        GTEST_SKIP() << "no GL context here: " << root.ReadFile("program.out");
    ASSERT_EQ(code, 0) << root.ReadFile("program.out");

    const std::vector<std::string> expected = {
        "SetProfileName #0 ",
        "GetProfileName #1 Tester",
        "SetPlayerName #0 ",
        "GetPlayerName #1 hauler_",
        "GetPlayerName #1 ",
        "SetPlayerType #0 ",
        "InitPlayer #0 ",
        "SetCurrentMission #0 ",
        "GetCurrentMission #1 2",
        "SetCurrentRace #0 ",
        "GetCurrentRace #1 3",
        "SetNumRacesPassed #0 ",
        "GetNumRacesPassed #1 5",
        "GetLevelTime #1 100",
        "GetLevelTime #0 ",
        "SetLevelMedalTime #1 false",
        "GetLevelMedalTime #3 100 4 coupe_t",
        "GetMedalsCount #1 0",
        "SetMoney #0 ",
        "GetMoney #1 99.98999786377",
        "SaveGame #0 ",
        "GetSaves #2 6 {Tester,,,,,}",
        "NewPlayer #0 ",
        "SetMoney #0 ",
        "LoadGame #1 true",
        "GetMoney #1 99",
        "GetPlayerName #1 scout",
        "LoadGame #1 false",
        "DeleteSave #0 ",
        "DeleteSave #0 ",
        "ClearGameData #0 ",
        "CheckPlayerRecords #1 true",
        "GetRecords #1 {{Tester,00:00:00},{,},{,},{,},{,},{,},{,}}",
        "GetRecords #0 ",
        "SaveScore #0 ",
        "IsAdmin #1 false",
        "AddScore #1 5",
        "GetScore #1 0",
        "IsInTable #1 false",
        "SetScoreLine #0 ",
        "GetScoreLine #2  0",
        "GetWeaponInfo #12 Machine gun 100 200 0.10000000149012 1 5 60 1 0.019999999552965 0.10000000149012 Fast "
        "rounds 1",
        "GetMineInfo #11  60 5 3 1.5 1 20 0.5 10  1",
        "GetSuperWeaponInfo #4  800  3",
        "GetBumperInfo #5  150 0.25  1",
        "GetEquipmentInfo #5  120 1.5  1",
        "GetArmorInfo #5  200 0.5  1",
        "GetEngineInfo #9  500 1.3999999761581 1.2000000476837 1 7000 0.15000000596046  2",
        "GetEngineInfo #0 ",
        "IsValidGameDataName #1 true",
        "GetWeaponNames #2 1 {rocket}",
        "GetMineNames #2 1 {spike}",
        "GetSuperWeaponNames #2 1 {nuke}",
        "GetBumperNames #2 1 {ram}",
        "GetEquipmentNames #2 1 {nitro}",
        "GetArmorNames #2 1 {plate}",
        "GetEngineNames #2 1 {v8}",
        "GetCarInfo #11 gun         0 ",
        "SetCarInfo #0 ",
        "GetCarInfo #11 rocket        nuke 1 spike",
        "GetRealCarInfo #11 gun         0 ",
        "CommitCarSettings #0 ",
        "GetRealCarInfo #11 rocket        nuke 1 spike",
        "SetMoney #0 ",
        "AutoSetting #0 ",
        "GetMoney #1 1710",
        "SetUpgrade #0 ",
        "GetUpgrade #1 3",
        "GetUpgrade #0 ",
        "GetActiveCar #1 scout_4x4",
        "InitDragster #0 ",
        "GetDragster #1 object",
        "GetDragster #0 ",
        "SetDragsterTexture #0 ",
    };
    const std::vector<std::string> lines = root.ReadLines("main.log");
    ASSERT_EQ(lines.size(), expected.size()) << root.ReadFile("main.log");
    for (size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(lines[i], expected[i]);

    // save0 holds the profile (NewPlayer kept it there), save4 was emptied, scores.dat is fresh
    // but for one record, and the files the script tried to reach by path are untouched.
    SaveFileData slot;
    ASSERT_TRUE(LoadSaveFile("Data\\Saves\\save0.sav", slot));
    EXPECT_EQ(slot.profileName, "Tester");
    EXPECT_EQ(slot.playerName, "scout");
    EXPECT_EQ(slot.money, 99);
    EXPECT_EQ(slot.records[0].frames.size(), 2u);
    EXPECT_TRUE(root.Exists("Data/Saves/save4.sav"));
    EXPECT_EQ(root.ReadFile("Data/Saves/save4.sav"), "");
    ScoreTables scores;
    ASSERT_TRUE(LoadScoreFile("Data\\scores.dat", scores));
    EXPECT_EQ(root.ReadFile("Data/scores.dat").size(), 840u + 6);
    EXPECT_EQ(scores[0][0].name, "Tester");
    EXPECT_NE(root.ReadFile("config.cfg"), "");
}

} // namespace
