// The game data over a temporary game root: its text files, records, score tables, save slots and
// profiles.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "Core/PSettings.h"
#include "Race/PGameData.h"
#include "Race/PLevel.h"
#include "Race/PSaveFile.h"
#include "ScriptHarness.h"

namespace {

using ScriptHarness::GameRoot;

void WriteFile(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
    InvalidatePathCache();
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class GameDataTest : public ::testing::Test {
protected:
    void SetUp() override {
        CPSettingsManager::ResetDefaults();
        std::filesystem::create_directories("Data/Saves");
        InvalidatePathCache();
    }
    void TearDown() override { CPSettingsManager::ResetDefaults(); }
    GameRoot root{""};
    CPGameData data;
};

TEST_F(GameDataTest, StringsTakeTheLastTextOfAKey) {
    WriteFile("Data/strings.txt", "a~One\na~Two\n// a comment~x\nb ~ \"Quoted ~ text\"\nlonely\n");
    data.Init();
    EXPECT_EQ(data.GetString("a"), "Two");
    EXPECT_EQ(data.GetString("b"), "Quoted ~ text");
    ASSERT_NE(data.FindString("lonely"), nullptr);
    EXPECT_EQ(*data.FindString("lonely"), "");
    EXPECT_EQ(data.FindString("missing"), nullptr);
    EXPECT_EQ(data.upgrades, (std::array<int, 7>{0, 0, 0, 0, 0, 4, 1}));
}

TEST_F(GameDataTest, MissionLinesAndSources) {
    WriteFile("Data/Levels/m1", "12.5 1 2 3 tank,30;jeep,70 40 mine,100\n"
                                "x 2\n"
                                "1 0 0 0 a,2147483647;b,5 0 c,-3\n"
                                "sources\n"
                                "src1 left 0 2.5 tank,50\n"
                                "nowhere left 1 x\n"
                                "src1 right 7\n");
    CPRefPtr<CPLevel> level(new CPLevel);
    const float at[3] = {1, 2, 3};
    level->SetNamedPosition("src1", at);
    data.LoadMissionInfo("m1");
    ASSERT_EQ(data.missionLines.size(), 3u);
    const CPMissionLine& m = data.missionLines[0];
    EXPECT_FLOAT_EQ(m.t, 12.5f);
    EXPECT_EQ(m.a + m.b * 10 + m.c * 100, 321);
    EXPECT_EQ(m.enemies, (std::vector<CPChanceEntry>{{"tank", 0, 30}, {"jeep", 30, 100}}));
    EXPECT_EQ(m.bonusChance, 40);
    EXPECT_EQ(m.bonuses, (std::vector<CPChanceEntry>{{"mine", 0, 100}}));
    EXPECT_FLOAT_EQ(data.missionLines[1].t, 0); // garbage reads as 0, missing tokens as empty
    EXPECT_EQ(data.missionLines[1].a, 2);
    EXPECT_TRUE(data.missionLines[1].enemies.empty());
    EXPECT_EQ(data.missionLines[2].enemies[1].upper, 2147483647); // the sum saturates
    EXPECT_EQ(data.missionLines[2].bonuses[0].upper, -3);
    ASSERT_EQ(data.enemySources.size(), 2u);
    EXPECT_EQ(data.enemySources[0].first, "left");
    ASSERT_EQ(data.enemySources[0].second.size(), 2u);
    const CPEnemySource& s = data.enemySources[0].second[0];
    EXPECT_EQ(s.position[2], 3);
    EXPECT_FALSE(s.flag);
    EXPECT_FLOAT_EQ(s.value, 2.5f);
    EXPECT_EQ(s.enemies[0].upper, 50);
    EXPECT_EQ(data.enemySources[0].second[1].position[0], 0); // no such object: the origin
    EXPECT_TRUE(data.enemySources[0].second[1].flag);

    level.Reset();
    CPManagedObject::CollectGarbage();
    WriteFile("Data/Levels/m2", "1 1 1 1\nsources\n");
    data.LoadMissionInfo("m2");
    EXPECT_EQ(data.missionLines.size(), 1u);
    EXPECT_TRUE(data.enemySources.empty());
    WriteFile("Data/Levels/m3", "sources\nsrc1 k 1 1\n"); // without a level: at the origin
    data.LoadMissionInfo("m3");
    ASSERT_EQ(data.enemySources.size(), 1u);
    data.LoadMissionInfo("missing");
    EXPECT_TRUE(data.missionLines.empty());
    EXPECT_TRUE(data.enemySources.empty());
}

TEST_F(GameDataTest, CatalogsPlayerAndPrices) {
    WriteFile("Data/catalogs.dat", "[weapons]\n"
                                   "gun\t100\t1\t2.5\t3\t4\t5\t6\t7\t8\tgun_desc\t1\n"
                                   "short\t100\t1\n"
                                   "rocket\t250\t1\t2\t3\t4\t5\t6\t7\t8\trocket_desc\t3\n"
                                   "[superweapons]\nnuke\t1000\tnuke_desc\t2\n"
                                   "[armor]\nplate\t40\t0.5\tplate_desc\t1\n"
                                   "[mines]\nspike\t30\t1\t2\t3\t4\t5\t6\t7\tspike_desc\t1\n"
                                   "[presets]\n"
                                   "gun\tnone\tnone\tnone\tnone\tnone\tnone\tplate\tnone\t0\tnone\n"
                                   "too\tfew\n");
    WriteFile("Data/player.dat", "none\nnone\nnone\nnone\nnone\nnone\nnone\nnone\nnone\n0\nnone\n");
    data.Init();
    ASSERT_EQ(data.catalogs[CatalogWeapons].Items().size(), 2u);
    const CPCatalogItem* gun = data.catalogs[CatalogWeapons].Find("gun");
    ASSERT_NE(gun, nullptr);
    EXPECT_EQ(gun->numbers, (std::vector<double>{1, 2.5, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(gun->descriptionKey, "gun_desc");
    ASSERT_EQ(data.presets.size(), 1u);
    EXPECT_EQ(data.presets[0].weapon1, "gun");
    EXPECT_EQ(data.presets[0].weapon2, "");

    data.LoadPlayer();
    EXPECT_EQ(data.editedConfiguration, CPCarConfiguration{});
    EXPECT_EQ(data.raceConfiguration, CPCarConfiguration{});
    EXPECT_EQ(data.GetConfigurationPrice(data.editedConfiguration), 0);

    WriteFile("Data/player.dat", "gun\nrocket\nunknown\nnone\nnone\nnone\nnone\nplate\nnuke\n2\nspike\n");
    data.LoadPlayer();
    EXPECT_EQ(data.raceConfiguration.weapon3, "unknown");
    EXPECT_EQ(data.raceConfiguration.superCount, 2);
    EXPECT_EQ(data.GetConfigurationPrice(data.raceConfiguration), 100 + 250 + 40 + 30 + 2 * 1000);
}

TEST_F(GameDataTest, DifficultyCoefficients) {
    WriteFile("Data/coeff.dat", "0.5\n2\nabc\n1.5\n");
    data.LoadDifficulty();
    EXPECT_EQ((std::vector<float>(data.coefficients, data.coefficients + 4)), (std::vector<float>{0.5f, 2, 0, 1.5f}));
    g_camSpeed = 1;
    data.easy = true;
    data.LoadDifficulty();
    EXPECT_EQ((std::vector<float>(data.coefficients, data.coefficients + 4)), (std::vector<float>{1, 1, 1, 1}));
    std::filesystem::remove("Data/coeff.dat");
    InvalidatePathCache();
    data.easy = false;
    data.coefficients[3] = 7;
    data.LoadDifficulty(); // a missing file keeps the values
    EXPECT_EQ(data.coefficients[3], 7);
}

TEST_F(GameDataTest, ScoreTablesKeepTheSevenBest) {
    EXPECT_TRUE(data.InsertRecord(1, {"a", 1, 5, 0}));
    EXPECT_EQ(data.scoreTables[0][0].name, "a");
    EXPECT_EQ(data.scoreTables[0].size(), 7u);
    EXPECT_FALSE(data.InsertRecord(2, {"b", 999, 0, 0}));
    struct Case {
        CPScoreRecord offered;
        bool entered;
        int position;
    };
    // Table 3 starts with 1:00:00, 2:00:00 ... 7:00:00.
    for (int i = 1; i <= 7; ++i) data.scoreTables[2][i - 1] = {"t" + std::to_string(i), i, 0, 0};
    const Case cases[] = {
        {{"first", 0, 59, 99}, true, 0}, {{"tie", 1, 0, 0}, true, 2}, {{"mid", 3, 0, 1}, true, 5},
        {{"late", 9, 0, 0}, false, -1},  {{"h", 5, 0, 0}, false, -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(data.InsertRecord(3, c.offered), c.entered) << c.offered.name;
        ASSERT_EQ(data.scoreTables[2].size(), 7u);
        if (c.position >= 0) {
            EXPECT_EQ(data.scoreTables[2][c.position].name, c.offered.name);
        }
    }
    EXPECT_FALSE(data.InsertRecord(0, {"x", 0, 0, 0}));
    EXPECT_FALSE(data.InsertRecord(7, {"x", 0, 0, 0}));

    ASSERT_TRUE(SUCCEEDED(data.SaveScores()));
    ScoreTables read;
    ASSERT_TRUE(LoadScoreFile("Data\\scores.dat", read));
    EXPECT_EQ(WriteScoreBytes(read), WriteScoreBytes(data.scoreTables));
    EXPECT_NE(ReadFile("Data/scores.dat").substr(0, 4), std::string("\0\0\0\0", 4)); // scrambled
}

TEST_F(GameDataTest, RoundTimesSplitIntoScoreLines) {
    struct Case {
        float t;
        int m, s, h;
    };
    const Case cases[] = {{125.456f, 2, 5, 45}, {59.999f, 0, 59, 99}, {61.5f, 1, 1, 50},
                          {3600, 60, 0, 0},     {-1.5f, 0, -1, -50},  {NAN, 0, 0, 0}};
    for (const Case& c : cases) {
        const CPScoreRecord r = CPGameData::SplitTime(c.t);
        EXPECT_EQ(r.minutes, c.m) << c.t;
        EXPECT_EQ(r.seconds, c.s) << c.t;
        EXPECT_EQ(r.hundredths, c.h) << c.t;
    }
    data.SelectProfile("P");
    data.numberOfRounds = 3;
    data.SetCurrentRound(1);
    data.SetCurrentRoundTime(80);
    data.SetCurrentRound(2);
    data.SetCurrentRoundTime(70.5f);
    data.SetCurrentRound(3);
    data.SetCurrentRoundTime(70.5f);
    EXPECT_TRUE(data.CheckPlayerRecords(4));
    EXPECT_EQ(data.scoreTables[3][0].name, "P");
    EXPECT_EQ(data.scoreTables[3][0].minutes, 1);
    EXPECT_EQ(data.scoreTables[3][0].seconds, 10);
    EXPECT_EQ(data.scoreTables[3][0].hundredths, 50);
    EXPECT_FALSE(data.CheckPlayerRecords(9));
    data.SetCurrentRound(25); // beyond the list: appended
    data.SetCurrentRoundTime(1);
    EXPECT_EQ(data.GetRoundTimes().size(), 21u);
    data.ClearGameData();
    EXPECT_EQ(data.GetRoundTimes(), std::vector<float>(20, 0.0f));
    EXPECT_EQ(data.GetCurrentRound(), 1);
}

// Slot files are written by the game data itself with a chosen time, so the choice can be tested.
void WriteSlot(int slot, const std::string& profile, SaveTime time) {
    SaveFileData d;
    d.profileName = profile;
    d.time = time;
    ASSERT_TRUE(SUCCEEDED(SaveSaveFile("Data\\Saves\\save" + std::to_string(slot) + ".sav", d)));
}

TEST_F(GameDataTest, SlotChoice) {
    const SaveTime later{2005, 1, 0, 1, 0, 0, 0, 0};
    struct Case {
        const char* what;
        std::vector<std::pair<int, SaveTime>> used; // slots in use and their times
        int chosen;
    };
    const Case cases[] = {
        {"all free", {}, 0},
        {"0 and 2 used", {{0, later}, {2, later}}, 1},
        {"all used, oldest in slot 1",
         {{0, {2004, 12, 0, 5, 0, 0, 0, 0}},
          {1, {2004, 11, 4, 25, 0, 0, 0, 0}},
          {2, later},
          {3, later},
          {4, later},
          {5, later}},
         1},
        {"all equal: the first", {{0, later}, {1, later}, {2, later}, {3, later}, {4, later}, {5, later}}, 0},
    };
    for (const Case& c : cases) {
        for (int i = 0; i < 6; ++i) std::filesystem::remove("Data/Saves/save" + std::to_string(i) + ".sav");
        WriteFile("Data/Saves/save3.sav", ""); // an empty file is free too
        for (const auto& [slot, time] : c.used) WriteSlot(slot, "other", time);
        InvalidatePathCache();
        data.currentSlot = -1;
        data.SelectProfile(c.what);
        ASSERT_TRUE(data.SaveGame()) << c.what;
        EXPECT_EQ(data.currentSlot, c.chosen) << c.what;
        EXPECT_EQ(data.GetSaves()[c.chosen], c.what);
    }
    // With a current slot the profile goes there.
    data.currentSlot = 4;
    ASSERT_TRUE(data.SaveGame());
    EXPECT_EQ(data.GetSaves()[4], data.GetProfileName());
    EXPECT_TRUE(data.DeleteSave("SAVE4.SAV"));
    EXPECT_EQ(data.GetSaves()[4], "");
    EXPECT_TRUE(std::filesystem::exists("Data/Saves/save4.sav"));
    EXPECT_EQ(std::filesystem::file_size("Data/Saves/save4.sav"), 0u);
}

TEST_F(GameDataTest, AFailedSaveKeepsSlotAndFile) {
    std::filesystem::remove_all("Data/Saves");
    WriteFile("Data/Saves", "not a folder");
    data.SelectProfile("P");
    EXPECT_FALSE(data.SaveGame());
    EXPECT_EQ(data.currentSlot, -1);
    EXPECT_EQ(ReadFile("Data/Saves"), "not a folder");
}

TEST_F(GameDataTest, SaveAndLoadAProfile) {
    data.Init();
    data.SelectProfile("Alice");
    data.SetPlayerName("coupe_t");
    data.SetMoney(99.99f);
    data.racesPassed = 4;
    data.upgrades = {1, 2, 3, 1, 0, 4, 9};
    data.levelRecords[2].time = 42.5f;
    data.levelRecords[2].medal = 1;
    data.levelRecords[2].name = "scout";
    data.levelRecords[2].frames.resize(3);
    data.levelRecords[2].frames[1].time = 0.05f;
    ASSERT_TRUE(data.SaveGame());
    EXPECT_EQ(data.currentSlot, 0);
    const std::string saved = ReadFile("Data/Saves/save0.sav");
    EXPECT_EQ(saved.size(), 4u + 5 + 4 + 7 + 16 + 4 + 4 + 28 + 20 * 40 + 4 + 5 + 3 * 160);

    CPGameData other;
    other.SelectProfile("Bob");
    ASSERT_TRUE(other.LoadGame("Save0.sav"));
    EXPECT_EQ(other.GetProfileName(), "Alice");
    EXPECT_EQ(other.GetPlayerName(), "coupe_t");
    EXPECT_EQ(other.GetMoney(), 99.0f);
    EXPECT_EQ(other.racesPassed, 4);
    EXPECT_EQ(other.upgrades[6], 9);
    EXPECT_EQ(other.currentSlot, 0);
    EXPECT_EQ(other.levelRecords[2].name, "scout");
    ASSERT_EQ(other.levelRecords[2].frames.size(), 3u);
    EXPECT_FLOAT_EQ(other.levelRecords[2].frames[1].time, 0.05f);

    // Names that are not slots reach no file; corrupt or missing slots change nothing.
    WriteFile("Data/victim", "keep");
    for (const char* bad : {"../victim", "save6.sav", "save", "", "save0.sav/../../victim", "save00.sav"}) {
        EXPECT_FALSE(other.LoadGame(bad)) << bad;
        EXPECT_FALSE(other.DeleteSave(bad)) << bad;
    }
    EXPECT_EQ(ReadFile("Data/victim"), "keep");
    WriteFile("Data/Saves/save1.sav", saved.substr(0, saved.size() - 1));
    EXPECT_FALSE(other.LoadGame("save1.sav"));
    EXPECT_FALSE(other.LoadGame("save5.sav"));
    EXPECT_EQ(other.GetProfileName(), "Alice");
    EXPECT_EQ(other.currentSlot, 0);
    EXPECT_EQ(other.levelRecords[2].frames.size(), 3u);
}

TEST_F(GameDataTest, ScoreTablesOutliveTheRun) {
    // One run enters a score and saves the tables; the next run starts with them.
    data.Init();
    ASSERT_TRUE(data.InsertRecord(2, {"Ann", 1, 5, 45}));
    ASSERT_TRUE(SUCCEEDED(data.SaveScores()));
    {
        CPGameData next;
        next.Init();
        ASSERT_EQ(next.scoreTables[1].size(), 7u); // Ann's first, then six of the fresh lines
        EXPECT_EQ(next.scoreTables[1][0].name, "Ann");
        EXPECT_EQ(next.scoreTables[1][0].seconds, 5);
        EXPECT_EQ(next.scoreTables[1][6].minutes, 999);
        // Its first score keeps Ann's: the file written then holds both.
        ASSERT_TRUE(next.InsertRecord(2, {"Bob", 0, 59, 0}));
        ASSERT_TRUE(SUCCEEDED(next.SaveScores()));
    }
    ScoreTables read;
    ASSERT_TRUE(LoadScoreFile("Data\\scores.dat", read));
    std::vector<std::string> names;
    for (const CPScoreRecord& r : read[1])
        if (!r.name.empty()) names.push_back(r.name);
    EXPECT_EQ(names, (std::vector<std::string>{"Bob", "Ann"}));
    // A damaged file (cut inside a record) is no file: the tables start fresh.
    const std::string bytes = ReadFile("Data/scores.dat");
    WriteFile("Data/scores.dat", bytes.substr(0, bytes.size() - 3));
    CPGameData damaged;
    damaged.Init();
    for (const auto& table : damaged.scoreTables) {
        ASSERT_EQ(table.size(), 7u);
        EXPECT_EQ(table[0].minutes, 999);
    }
    // A file cut at a record's end (here after Bob's and Ann's lines of table 2) or with a table
    // over-long keeps its lines and completes each table to seven: a short table would otherwise
    // take any score offered, however slow.
    ScoreTables shortTables;
    shortTables[1] = {{"Bob", 0, 59, 0}, {"Ann", 1, 5, 45}};
    shortTables[3].assign(9, CPScoreRecord{"Cy", 2, 0, 0});
    ASSERT_TRUE(SUCCEEDED(SaveScoreFile("Data\\scores.dat", shortTables)));
    CPGameData cut;
    cut.Init();
    for (const auto& table : cut.scoreTables) ASSERT_EQ(table.size(), 7u);
    EXPECT_EQ(cut.scoreTables[1][1].name, "Ann");
    EXPECT_EQ(cut.scoreTables[1][2].minutes, 999);
    EXPECT_EQ(cut.scoreTables[3][6].name, "Cy");
    EXPECT_FALSE(cut.InsertRecord(4, {"Slow", 50, 0, 0})); // slower than all seven of Cy's
    EXPECT_TRUE(cut.InsertRecord(2, {"Slow", 50, 0, 0}));  // beats the fresh 999-minute lines
}

TEST_F(GameDataTest, AdministratorModeSavesAndLoadsTheOneFile) {
    data.Init();
    g_bboxes = 1;
    data.SelectProfile("Admin");
    data.SetMoney(250);
    data.currentSlot = 2;
    ASSERT_TRUE(data.SaveGame());
    EXPECT_TRUE(std::filesystem::exists("Data/admin.sav"));
    EXPECT_FALSE(std::filesystem::exists("Data/Saves/save2.sav"));
    // Any name reads the admin file; the slot is the number after the name's first four characters.
    struct Case {
        const char* file;
        int slot;
    };
    for (const Case& c : {Case{"save3.sav", 3}, Case{"admin.sav", 0}, Case{"x", 0}, Case{"slot5", 5}}) {
        CPGameData other;
        other.SelectProfile("Bob");
        EXPECT_TRUE(other.LoadGame(c.file)) << c.file;
        EXPECT_EQ(other.GetProfileName(), "Admin") << c.file;
        EXPECT_EQ(other.GetMoney(), 250.0f) << c.file;
        EXPECT_EQ(other.currentSlot, c.slot) << c.file;
    }
    g_bboxes = 0;
}

TEST_F(GameDataTest, ASlotWithADamagedBodyIsListedButDoesNotLoad) {
    data.Init();
    data.SelectProfile("Carol");
    data.currentSlot = 1;
    ASSERT_TRUE(data.SaveGame());
    const std::string whole = ReadFile("Data/Saves/save1.sav");
    // The names and the time read whole; the body is cut in the level records.
    WriteFile("Data/Saves/save1.sav", whole.substr(0, whole.size() - 10));
    EXPECT_EQ(data.GetSaves()[1], "Carol");
    CPGameData other;
    other.SelectProfile("Dan");
    other.SetMoney(5);
    EXPECT_FALSE(other.LoadGame("save1.sav"));
    EXPECT_EQ(other.GetProfileName(), "Dan");
    EXPECT_EQ(other.GetMoney(), 5.0f);
}

TEST_F(GameDataTest, StoredRecordsSeedFreshProfiles) {
    SaveFileData admin;
    admin.racesPassed = 6;
    admin.records[0].time = 90;
    admin.records[0].medal = 2;
    admin.records[0].name = "hauler_";
    admin.records[0].frames.resize(2);
    admin.records[1].time = 80;
    ASSERT_TRUE(SUCCEEDED(SaveSaveFile("Data\\admin.sav", admin)));
    data.storedRecords[1].name = "kept";
    data.LoadStoredRecords();
    EXPECT_EQ(data.racesPassed, 6);
    EXPECT_EQ(data.storedRecords[0].name, "hauler_");
    EXPECT_EQ(data.storedRecords[1].name, "kept"); // no frames: the name stays
    EXPECT_EQ(data.storedRecords[1].time, 80);

    data.currentMission = 5;
    data.upgrades = {3, 3, 3, 3, 3, 3, 3};
    data.SetMoney(10);
    data.SelectProfile("New");
    EXPECT_EQ(data.currentSlot, -1);
    EXPECT_EQ(data.currentMission, 1);
    EXPECT_EQ(data.upgrades, (std::array<int, 7>{0, 0, 0, 0, 0, 3, 1}));
    EXPECT_EQ(data.GetMoney(), 0);
    EXPECT_EQ(data.levelRecords[0].time, 90);
    EXPECT_EQ(data.levelRecords[0].medal, 4);
    EXPECT_EQ(data.levelRecords[0].frames.size(), 2u);
    data.SetMoney(5);
    data.SelectProfile("New"); // the same name changes nothing
    EXPECT_EQ(data.GetMoney(), 5);

    // A corrupt admin.sav is a missing one.
    std::string bytes = ReadFile("Data/admin.sav");
    WriteFile("Data/admin.sav", bytes.substr(0, bytes.size() - 7));
    data.currentSlot = 3;
    data.LoadStoredRecords();
    EXPECT_EQ(data.currentSlot, -1);
    EXPECT_EQ(data.storedRecords[0].time, 0);
    EXPECT_EQ(data.storedRecords[0].name, "");
}

TEST_F(GameDataTest, NewPlayerNeverOverwritesAnotherProfile) {
    data.SelectProfile("Alice");
    ASSERT_TRUE(data.NewPlayer("coupe_t")); // save0 free
    EXPECT_EQ(data.GetSaves()[0], "Alice");
    EXPECT_EQ(data.currentSlot, -1);
    ASSERT_TRUE(data.NewPlayer("scout")); // save0 holds this profile
    EXPECT_EQ(data.GetSaves()[0], "Alice");
    data.SelectProfile("Bob");
    ASSERT_TRUE(data.NewPlayer("hauler_"));
    EXPECT_EQ(data.GetSaves()[0], "Alice");
    EXPECT_EQ(data.GetSaves()[1], "Bob");
    EXPECT_EQ(data.currentSlot, 1);
}

TEST_F(GameDataTest, MoneyThatIsNotANumberIsZeroAndHugeMoneySaturates) {
    data.SetMoney(NAN);
    EXPECT_EQ(data.GetMoney(), 0);
    data.SelectProfile("Rich");
    data.SetMoney(1e20f);
    ASSERT_TRUE(data.SaveGame());
    SaveFileData read;
    ASSERT_TRUE(LoadSaveFile("Data\\Saves\\save0.sav", read));
    EXPECT_EQ(read.money, 2147483647);
    data.SetMoney(-1e20f);
    ASSERT_TRUE(data.SaveGame());
    ASSERT_TRUE(LoadSaveFile("Data\\Saves\\save0.sav", read));
    EXPECT_EQ(read.money, -2147483647 - 1);
}

// A process saving two profiles alternately into one slot is killed at 50 seeded moments: the slot
// always reads whole as one of them.
TEST_F(GameDataTest, AKilledSaveLeavesAWholeSlot) {
    std::mt19937 random(50);
    for (int round = 0; round < 50; ++round) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            CPGameData writer;
            for (int i = 0;; ++i) {
                writer.SelectProfile(i % 2 ? "Alpha" : "Beta");
                for (CPLevelRecord& r : writer.levelRecords) r.frames.resize(40);
                writer.currentSlot = 2;
                writer.WriteSave("save2.sav");
            }
        }
        usleep(2000 + random() % 20000);
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        InvalidatePathCache();
        SaveFileData read;
        if (!std::filesystem::exists("Data/Saves/save2.sav")) continue; // killed before the first save
        ASSERT_TRUE(LoadSaveFile("Data\\Saves\\save2.sav", read)) << round;
        EXPECT_TRUE(read.profileName == "Alpha" || read.profileName == "Beta") << read.profileName;
        EXPECT_EQ(read.records[19].frames.size(), 40u);
    }
    // Temporary files of killed writers may stay beside the slot; the slot itself is never partial.
}

} // namespace
