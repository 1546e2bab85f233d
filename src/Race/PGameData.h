#pragma once
// The persistent game data: everything that outlives a race. The profile (names, money, mission,
// races passed, upgrade levels), the player's 20 level records and the 20 stored records that seed
// every new profile, the two car configurations, the seven item catalogs and the presets, the
// difficulty coefficients, the string table, the current mission's lines and enemy sources, the six
// score tables and the counters of the race in progress. One instance, owned by the application.
#include <array>
#include <string>
#include <unordered_map>
#include <vector>

#include "Core/PHashMap.h"
#include "Core/PManagedObject.h"
#include "Core/PSingleton.h"
#include "Race/PReplayFrame.h"
#include "Race/PSaveFile.h"

struct CPLevelRecord {
    float time = 0;   // the time to beat on the level; 0 = none
    int medal = 4;    // 0, 1, 2, or 4 for none
    std::string name; // car key of the record's car (the rival)
    std::vector<CPReplayFrame> frames;
    std::array<int, kUpgradeCount> parts{};
};

// An empty name is an empty slot.
struct CPCarConfiguration {
    std::string weapon1, weapon2, weapon3, equipment1, equipment2, bumper, engine, armor, superWeapon;
    int superCount = 0;
    std::string mine;
    bool operator==(const CPCarConfiguration&) const = default;
};

// A name with its cumulative percent range [lower, upper).
struct CPChanceEntry {
    std::string name;
    int lower = 0;
    int upper = 0;
    bool operator==(const CPChanceEntry&) const = default;
};

// An entry of the level's bonus list: the object (held) and the script's number.
struct CPBonusEntry {
    CPRefPtr<CPManagedObject> object;
    int value = 0;
};

struct CPMissionLine {
    float t = 0;
    int a = 0, b = 0, c = 0;
    std::vector<CPChanceEntry> enemies;
    int bonusChance = 0;
    std::vector<CPChanceEntry> bonuses;
};

struct CPEnemySource {
    float position[3] = {0, 0, 0};
    bool flag = false;
    float value = 0;
    std::vector<CPChanceEntry> enemies;
};

// The seven catalogs, in their fixed order.
enum CatalogKind {
    CatalogWeapons,
    CatalogMines,
    CatalogSuperWeapons,
    CatalogBumpers,
    CatalogEquipment,
    CatalogArmor,
    CatalogEngines,
    CatalogCount
};

// Each catalog's numbers between the price and the description key: true for an integer column.
const std::vector<bool>& CatalogColumns(CatalogKind kind);
// Section names of "Data\catalogs.dat" ("weapons", "mines", "superweapons", ...).
const char* CatalogSectionName(CatalogKind kind);

struct CPCatalogItem {
    std::string name;
    int price = 0;
    std::vector<double> numbers; // as many as the catalog has columns
    std::string descriptionKey;
    int unlockMission = 0;
};

// Items by name and in insertion order; a name added again replaces the record in place.
class CPCatalog {
public:
    void Add(CPCatalogItem item);
    const CPCatalogItem* Find(const std::string& name) const;
    const std::vector<CPCatalogItem>& Items() const { return items_; }
    void Clear() {
        items_.clear();
        index_.clear();
    }

private:
    std::vector<CPCatalogItem> items_;
    std::unordered_map<std::string, size_t> index_;
};

// A car's round counters, shaped like the player's own.
struct CPStandings {
    int roundCount = 1;
    std::vector<float> roundTimes = std::vector<float>(20, 0.0f);
    int standings = -1;
};

class CPGameData : public CPSingleton<CPGameData> {
public:
    CPGameData();
    virtual ~CPGameData();

    // Resets the level records and upgrade levels, reads the string table, the item catalogs, the
    // stored records and the score tables.
    void Init();
    void LoadStrings();
    // "Data\catalogs.dat": the seven catalogs and the presets; a missing file leaves them empty.
    void LoadCatalogs();
    void LoadStoredRecords();
    // "Data\scores.dat" into the score tables; a missing or damaged file leaves them as they are.
    void LoadScores();
    // Reads "Data\Levels\<name>" into the mission lines and enemy sources.
    void LoadMissionInfo(const std::string& name);
    void LoadPlayer();
    void SetEditedConfiguration(const CPCarConfiguration& configuration);
    void CommitConfiguration();
    float GetConfigurationPrice(const CPCarConfiguration& configuration) const;
    void LoadDifficulty();
    // table 1..6; false for a table outside that range.
    bool InsertRecord(int table, const CPScoreRecord& record);
    HRESULT SaveScores();
    void ClearGameData();
    // Stores the money (not a number reads as 0) and tells the script "gamemenu".
    void SetMoney(float amount);
    void SetCurrentRoundTime(float seconds);
    void SetCurrentRound(int round) { currentRound_ = round; }
    const std::string& GetCarKey() const { return playerName_; }
    int GetCarClass() const { return playerType_; }
    void ResetLevelTime() { levelTime_ = 0; }

    // Save slots. Slot file names are "save0.sav" ... "save5.sav" in any case; SlotNumber gives the
    // number or -1 for anything else. While the setting bboxes is not 0 every slot is
    // "Data\admin.sav".
    static int SlotNumber(const std::string& file);
    static std::string SlotPath(const std::string& file);
    // Writes the profile into the chosen slot; false (logged; slot and file unchanged) on failure.
    bool SaveGame();
    bool WriteSave(const std::string& file);
    // false (logged; the profile unchanged) when the file is not a slot, missing or invalid.
    bool LoadGame(const std::string& file);
    // A name other than the current profile's starts a fresh profile; then the name is set.
    void SelectProfile(const std::string& name);
    // Empties a slot, atomically; false for a name that is not a slot.
    bool DeleteSave(const std::string& file);
    // The profile names of the six slots, "" for a missing, empty or unreadable one.
    std::array<std::string, kSaveSlotCount> GetSaves() const;
    // Writes the profile into save0.sav when it is free or holds this profile, else as SaveGame.
    bool NewPlayer(const std::string& name);
    // The round time split into a score line: minutes, seconds, hundredths.
    static CPScoreRecord SplitTime(float seconds);
    // Offers the best round time to a score table.
    bool CheckPlayerRecords(int table);
    // The text of a string-table key, or "" when the table holds none.
    std::string GetString(const std::string& key) const;
    const std::string* FindString(const std::string& key) const;

    // Fields, public in the manner of a plain record that many script functions read and write.
    int transportCount = 0;
    std::vector<CPBonusEntry> bonusList;
    ScoreTables scoreTables;
    std::array<CPCatalog, CatalogCount> catalogs;
    CPCarConfiguration editedConfiguration;
    CPCarConfiguration raceConfiguration;
    std::vector<CPMissionLine> missionLines;
    std::vector<std::pair<std::string, std::vector<CPEnemySource>>> enemySources; // in file order
    std::unordered_map<std::string, std::string> strings;
    int currentMission = 1;
    std::vector<CPCarConfiguration> presets;
    float coefficients[4] = {1, 1, 1, 1};
    int killCount = 0;
    bool easy = false;
    int currentSlot = -1;
    int racesPassed = 1;
    int numberOfRounds = 0;
    float roundTime = 0;
    int abilityMaximum = 0;
    int mana = 0;
    bool levelStarted = false;
    int carCount = 0;
    // Car key to the car's ground position (x, y), read by the radar.
    CPHashMap<std::array<float, 2>> carMap{20};
    CPHashMap<CPStandings> standingsMap{20};
    int bonusCount = 0;
    std::array<int, kUpgradeCount> upgrades{0, 0, 0, 0, 0, 4, 1};
    std::array<CPLevelRecord, kLevelRecordCount> levelRecords;
    std::array<CPLevelRecord, kLevelRecordCount> storedRecords;

    float GetMoney() const { return money_; }
    int GetCurrentRound() const { return currentRound_; }
    const std::vector<float>& GetRoundTimes() const { return roundTimes_; }
    int GetStandings() const { return standings_; }
    void SetStandings(int value) { standings_ = value; }
    const std::string& GetPlayerName() const { return playerName_; }
    void SetPlayerName(const std::string& name) { playerName_ = name; }
    const std::string& GetProfileName() const { return profileName_; }
    void SetPlayerType(int type) { playerType_ = type; }
    float GetLevelTime() const { return levelTime_; }
    void SetLevelTime(float seconds) { levelTime_ = seconds; }

private:
    SaveFileData MakeSaveData() const;
    void StartFreshProfile();

    float money_ = 0;
    int currentRound_ = 1;
    std::vector<float> roundTimes_ = std::vector<float>(20, 0.0f);
    int standings_ = -1;
    std::string playerName_;
    std::string profileName_;
    int playerType_ = 0;
    float levelTime_ = 0;
};

inline CPGameData* GetGameData() { return CPSingleton<CPGameData>::Instance(); }
