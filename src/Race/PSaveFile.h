#pragma once
// The binary files of the game data, each with its reader beside its writer:
//  - the save slot ("DATA\Saves\save<i>.sav", and "Data\admin.sav" in the same layout), plain;
//  - the score tables ("Data\scores.dat"), scrambled with the pack key.
// Readers parse into a temporary and hand it over only when the whole file read and is valid, so
// a truncated or corrupt file never changes what the caller holds. Every length and count is
// checked against the bytes left before anything is allocated.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "Core/PResult.h"
#include "Race/PReplayFrame.h"

constexpr int kLevelRecordCount = 20;
constexpr int kUpgradeCount = 7;
constexpr int kScoreTableCount = 6;
constexpr int kScoreTableSize = 7;
constexpr int kSaveSlotCount = 6;

// Local date and time as the 16-byte record the slot stores: eight u16, day of week 0 = Sunday.
struct SaveTime {
    uint16_t year = 0, month = 0, dayOfWeek = 0, day = 0, hour = 0, minute = 0, second = 0, milliseconds = 0;
};
static_assert(sizeof(SaveTime) == 16);

SaveTime CurrentSaveTime();
// Year, month, day, hour, minute, second; day of week and milliseconds do not count.
bool IsEarlierSaveTime(const SaveTime& a, const SaveTime& b);

// One level record as the slot stores it. The name and frames are present only with frames.
struct SaveLevelRecord {
    float time = 0;
    int32_t medal = 4;
    std::array<int32_t, kUpgradeCount> parts{};
    std::string name;
    std::vector<CPReplayFrame> frames;
};

struct SaveFileData {
    std::string profileName;
    std::string playerName;
    SaveTime time;
    int32_t racesPassed = 0;
    int32_t money = 0;
    std::array<int32_t, kUpgradeCount> upgrades{};
    std::array<SaveLevelRecord, kLevelRecordCount> records;
};

// The bytes of a slot (frames' reserved bytes written as zero).
std::vector<uint8_t> WriteSaveBytes(const SaveFileData& data);
// Parses a whole slot. false (out untouched) for a truncated file, a negative or oversized frame
// count, or a time that is not finite.
bool ReadSaveBytes(const uint8_t* bytes, int size, SaveFileData& out);
// Only the two names and the time at the start of a slot; false when they do not read whole.
bool ReadSaveHeader(const uint8_t* bytes, int size, std::string& profileName, std::string& playerName, SaveTime& time);

// Writes the slot to a game path, replacing the file atomically (created with its folder).
HRESULT SaveSaveFile(const std::string& path, const SaveFileData& data);
// Reads and parses a slot from a game path; false when missing, empty or invalid.
bool LoadSaveFile(const std::string& path, SaveFileData& out);

// One line of a score table; smaller minutes, then seconds, then hundredths is better.
struct CPScoreRecord {
    std::string name;
    int32_t minutes = 999;
    int32_t seconds = 0;
    int32_t hundredths = 0;
};
bool IsBetterScore(const CPScoreRecord& a, const CPScoreRecord& b);

using ScoreTables = std::array<std::vector<CPScoreRecord>, kScoreTableCount>;

// Every record of every table in order: i32 table, string name, i32 minutes, seconds, hundredths;
// no header, no count. Returned unscrambled; the file itself is scrambled.
std::vector<uint8_t> WriteScoreBytes(const ScoreTables& tables);
// Parses unscrambled score bytes; false (out untouched) when a record is cut short or its table
// number is out of range or goes backwards.
bool ReadScoreBytes(const uint8_t* bytes, int size, ScoreTables& out);
HRESULT SaveScoreFile(const std::string& path, const ScoreTables& tables);
bool LoadScoreFile(const std::string& path, ScoreTables& out);
