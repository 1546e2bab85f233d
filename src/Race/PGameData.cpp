#include "Race/PGameData.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "Core/PFileReader.h"
#include "Core/PFileWriter.h"
#include "Core/PLog.h"
#include "Core/PScriptManager.h"
#include "Core/PSettings.h"
#include "Core/PTextReader.h"
#include "Core/PTokenizer.h"
#include "Core/PUtils.h"
#include "Race/PLevel.h"

namespace {

constexpr const char* kStringsPath = "Data\\strings.txt";
constexpr const char* kCatalogsPath = "Data\\catalogs.dat";
constexpr const char* kAdminPath = "Data\\admin.sav";
constexpr const char* kPlayerPath = "DATA\\player.dat";
constexpr const char* kCoeffPath = "DATA\\coeff.dat";
constexpr const char* kScoresPath = "Data\\scores.dat";

// atoi: the leading number, else 0; out-of-range values saturate instead of wrapping.
int TextToInt(const std::string& text) {
    const long long value = std::strtoll(text.c_str(), nullptr, 10);
    return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

float TextToFloat(const std::string& text) { return static_cast<float>(std::strtod(text.c_str(), nullptr)); }

int SaturatingAdd(int a, int b) {
    return static_cast<int>(std::clamp<long long>(static_cast<long long>(a) + b, INT_MIN, INT_MAX));
}

// "name,percent;name,percent" with cumulative bounds.
std::vector<CPChanceEntry> ParseChanceList(const std::string& text) {
    std::vector<CPChanceEntry> list;
    int sum = 0;
    CPTokenizer items(text, ";");
    for (std::string item; items.NextToken(item);) {
        CPTokenizer fields(item, ",");
        std::string name, percent;
        fields.NextToken(name);
        fields.NextToken(percent);
        const int upper = SaturatingAdd(sum, TextToInt(percent));
        list.push_back({name, sum, upper});
        sum = upper;
    }
    return list;
}

// Every token of a line, empty ones included, up to the end of the text.
std::vector<std::string> SplitLine(const std::string& line, const std::string& delimiter, bool quotes) {
    std::vector<std::string> tokens;
    CPTokenizer tokenizer(line, delimiter, quotes);
    for (std::string token; tokenizer.NextToken(token);) tokens.push_back(token);
    return tokens;
}

std::string Field(const std::vector<std::string>& tokens, size_t i) { return i < tokens.size() ? tokens[i] : ""; }

std::string NoneIsEmpty(const std::string& name) { return name == "none" ? std::string() : name; }

CPCarConfiguration ConfigurationFromFields(const std::vector<std::string>& f) {
    CPCarConfiguration c;
    std::string* names[] = {&c.weapon1, &c.weapon2, &c.weapon3, &c.equipment1, &c.equipment2,
                            &c.bumper,  &c.engine,  &c.armor,   &c.superWeapon};
    for (size_t i = 0; i < 9; ++i) *names[i] = NoneIsEmpty(Field(f, i));
    c.superCount = TextToInt(Field(f, 9));
    c.mine = NoneIsEmpty(Field(f, 10));
    return c;
}

void SendToGameMenu(const char* command, const std::string& params) {
    if (CPScriptManager* scripts = GetScriptManager()) scripts->SendCommandByName("gamemenu", command, params);
}

int32_t MoneyForFile(float money) {
    if (std::isnan(money)) return 0;
    const double truncated = std::trunc(static_cast<double>(money));
    return static_cast<int32_t>(std::clamp<double>(truncated, INT32_MIN, INT32_MAX));
}

std::string SlotFile(int slot) { return "save" + std::to_string(slot) + ".sav"; }
std::string SlotsFolderPath(int slot) { return "Data\\Saves\\" + SlotFile(slot); }

bool ReadSlotHeader(int slot, std::string& profile, SaveTime& time) {
    CPFileReader reader(SlotsFolderPath(slot));
    if (FAILED(reader.Load()) || reader.GetLength() == 0) return false;
    std::string player;
    return ReadSaveHeader(reader.GetData(), reader.GetLength(), profile, player, time);
}

} // namespace

const std::vector<bool>& CatalogColumns(CatalogKind kind) {
    static const std::vector<bool> columns[CatalogCount] = {
        {true, false, true, false, false, true, false, false}, // weapons
        {true, false, false, true, false, false, false},       // mines
        {},                                                    // super weapons
        {false},                                               // bumpers
        {false},                                               // equipment
        {false},                                               // armor
        {false, false, false, false, false},                   // engines
    };
    return columns[kind];
}

const char* CatalogSectionName(CatalogKind kind) {
    static const char* const names[CatalogCount] = {"weapons",   "mines", "superweapons", "bumpers",
                                                    "equipment", "armor", "engines"};
    return names[kind];
}

void CPCatalog::Add(CPCatalogItem item) {
    auto it = index_.find(item.name);
    if (it != index_.end()) {
        items_[it->second] = std::move(item);
        return;
    }
    index_.emplace(item.name, items_.size());
    items_.push_back(std::move(item));
}

const CPCatalogItem* CPCatalog::Find(const std::string& name) const {
    auto it = index_.find(name);
    return it == index_.end() ? nullptr : &items_[it->second];
}

CPGameData::CPGameData() {
    for (auto& table : scoreTables) table.assign(kScoreTableSize, CPScoreRecord{});
}

CPGameData::~CPGameData() = default;

void CPGameData::Init() {
    for (CPLevelRecord& r : levelRecords) {
        r.time = 0;
        r.medal = 4;
        r.name.clear();
    }
    upgrades = {0, 0, 0, 0, 0, 4, 1};
    killCount = 0;
    LoadStrings();
    LoadCatalogs();
    LoadStoredRecords();
    LoadScores();
}

void CPGameData::LoadScores() {
    // The tables outlive the run: the first score saved must not wipe the earlier entries. A
    // missing or damaged file leaves the fresh tables.
    ScoreTables tables;
    if (!LoadScoreFile(kScoresPath, tables)) {
        CPFileReader probe(kScoresPath);
        if (SUCCEEDED(probe.Load())) GetLog().Write(0, "%s does not read whole: ignored\n", kScoresPath);
        return;
    }
    // Every table holds seven lines: a file that is short of some (cut at a record's end, or empty)
    // keeps what it has and gets fresh lines after it, so a short table does not take any score.
    bool reshaped = false;
    for (auto& table : tables) {
        if (table.size() == static_cast<size_t>(kScoreTableSize)) continue;
        reshaped = true;
        table.resize(kScoreTableSize);
    }
    if (reshaped) GetLog().Write(0, "%s does not hold seven lines a table: completed\n", kScoresPath);
    scoreTables = std::move(tables);
}

void CPGameData::LoadStrings() {
    CPFileReader file(kStringsPath);
    if (FAILED(file.Load())) return;
    CPTextReader reader(file.GetData(), file.GetLength());
    for (std::string line; reader.GetLine(line);) {
        CPTokenizer tokens(line, "~", true);
        std::string key, text;
        tokens.NextToken(key);
        tokens.NextToken(text);
        strings[key] = text;
    }
}

void CPGameData::LoadCatalogs() {
    for (CPCatalog& c : catalogs) c.Clear();
    presets.clear();
    CPFileReader file(kCatalogsPath);
    if (FAILED(file.Load())) {
        GetLog().Write(0, "%s cannot be read: the shop is empty\n", kCatalogsPath);
        return;
    }
    CPTextReader reader(file.GetData(), file.GetLength());
    enum { None = -1, Presets = CatalogCount };
    int section = None;
    for (std::string line; reader.GetLine(line);) {
        if (reader.GetLineType() == 0) {
            section = None;
            for (int k = 0; k < CatalogCount; ++k)
                if (line == CatalogSectionName(static_cast<CatalogKind>(k))) section = k;
            if (line == "presets") section = Presets;
            if (section == None) GetLog().Write(0, "%s: unknown section [%s]\n", kCatalogsPath, line.c_str());
            continue;
        }
        const std::vector<std::string> f = SplitLine(line, "\t", false);
        if (section == Presets) {
            if (f.size() < 11) {
                GetLog().Write(0, "%s: preset line %d has %zu of 11 fields\n", kCatalogsPath, reader.GetLineCount(),
                               f.size());
                continue;
            }
            presets.push_back(ConfigurationFromFields(f));
            continue;
        }
        if (section == None) continue;
        const std::vector<bool>& columns = CatalogColumns(static_cast<CatalogKind>(section));
        const size_t needed = 2 + columns.size() + 2;
        if (f.size() < needed || f[0].empty()) {
            GetLog().Write(0, "%s: line %d has %zu of %zu fields\n", kCatalogsPath, reader.GetLineCount(), f.size(),
                           needed);
            continue;
        }
        CPCatalogItem item;
        item.name = f[0];
        item.price = TextToInt(f[1]);
        for (size_t i = 0; i < columns.size(); ++i)
            item.numbers.push_back(columns[i] ? TextToInt(f[2 + i]) : static_cast<double>(TextToFloat(f[2 + i])));
        item.descriptionKey = f[2 + columns.size()];
        item.unlockMission = TextToInt(f[3 + columns.size()]);
        catalogs[section].Add(std::move(item));
    }
}

void CPGameData::LoadStoredRecords() {
    SaveFileData data;
    if (!LoadSaveFile(kAdminPath, data)) {
        // A corrupt file is treated as a missing one: nothing of it is taken.
        CPFileReader probe(kAdminPath);
        if (SUCCEEDED(probe.Load())) GetLog().Write(0, "%s does not read whole: ignored\n", kAdminPath);
        else GetLog().Write(0, "%s is missing: no stored records\n", kAdminPath);
        currentSlot = -1;
        currentMission = 1;
        for (CPLevelRecord& r : storedRecords) {
            r.time = 0;
            r.medal = 4;
            r.name.clear();
        }
        return;
    }
    racesPassed = data.racesPassed;
    for (int i = 0; i < kLevelRecordCount; ++i) {
        SaveLevelRecord& from = data.records[i];
        CPLevelRecord& to = storedRecords[i];
        to.time = from.time;
        to.medal = from.medal;
        std::copy(from.parts.begin(), from.parts.end(), to.parts.begin());
        if (!from.frames.empty()) {
            to.name = std::move(from.name);
            to.frames = std::move(from.frames);
        }
    }
}

void CPGameData::LoadMissionInfo(const std::string& name) {
    missionLines.clear();
    enemySources.clear();
    CPFileReader file("Data\\Levels\\" + name);
    if (FAILED(file.Load())) return;
    CPTextReader reader(file.GetData(), file.GetLength());
    bool sources = false;
    for (std::string line; reader.GetLine(line);) {
        if (!sources && line == "sources") {
            sources = true;
            continue;
        }
        const std::vector<std::string> f = SplitLine(line, " ", true);
        if (!sources) {
            CPMissionLine m;
            m.t = TextToFloat(Field(f, 0));
            m.a = TextToInt(Field(f, 1));
            m.b = TextToInt(Field(f, 2));
            m.c = TextToInt(Field(f, 3));
            m.enemies = ParseChanceList(Field(f, 4));
            m.bonusChance = TextToInt(Field(f, 5));
            m.bonuses = ParseChanceList(Field(f, 6));
            missionLines.push_back(std::move(m));
            continue;
        }
        CPEnemySource s;
        const std::string object = Field(f, 0);
        const CPLevel* level = GetLevel();
        if (!level || !level->GetNamedPosition(object, s.position))
            GetLog().Write(0, "mission %s: source \"%s\" has no position (no level or no such object)\n", name.c_str(),
                           object.c_str());
        const std::string key = Field(f, 1);
        s.flag = Field(f, 2) != "0";
        s.value = TextToFloat(Field(f, 3));
        s.enemies = ParseChanceList(Field(f, 4));
        auto it = std::find_if(enemySources.begin(), enemySources.end(), [&](const auto& e) { return e.first == key; });
        if (it == enemySources.end()) it = enemySources.insert(enemySources.end(), {key, {}});
        it->second.push_back(std::move(s));
    }
}

void CPGameData::LoadPlayer() {
    std::vector<std::string> lines;
    CPFileReader file(kPlayerPath);
    if (SUCCEEDED(file.Load())) {
        CPTextReader reader(file.GetData(), file.GetLength());
        for (std::string line; lines.size() < 11 && reader.GetLine(line);) lines.push_back(line);
    }
    SetEditedConfiguration(lines.empty() ? CPCarConfiguration{} : ConfigurationFromFields(lines));
    CommitConfiguration();
}

void CPGameData::SetEditedConfiguration(const CPCarConfiguration& configuration) {
    editedConfiguration = configuration;
}

void CPGameData::CommitConfiguration() { raceConfiguration = editedConfiguration; }

float CPGameData::GetConfigurationPrice(const CPCarConfiguration& c) const {
    auto price = [&](CatalogKind kind, const std::string& name) -> double {
        if (name.empty()) return 0;
        const CPCatalogItem* item = catalogs[kind].Find(name);
        return item ? item->price : 0;
    };
    double sum = price(CatalogWeapons, c.weapon1) + price(CatalogWeapons, c.weapon2) +
                 price(CatalogWeapons, c.weapon3) + price(CatalogEquipment, c.equipment1) +
                 price(CatalogEquipment, c.equipment2) + price(CatalogArmor, c.armor) +
                 price(CatalogBumpers, c.bumper) + price(CatalogEngines, c.engine) + price(CatalogMines, c.mine);
    sum += price(CatalogSuperWeapons, c.superWeapon) * c.superCount;
    return static_cast<float>(sum);
}

void CPGameData::LoadDifficulty() {
    if (g_camSpeed != 0 && easy) {
        for (float& c : coefficients) c = 1.0f;
        return;
    }
    CPFileReader file(kCoeffPath);
    if (FAILED(file.Load())) return;
    CPTextReader reader(file.GetData(), file.GetLength());
    for (float& c : coefficients) {
        std::string line;
        reader.GetLine(line);
        c = TextToFloat(line);
    }
}

bool CPGameData::InsertRecord(int table, const CPScoreRecord& record) {
    if (table < 1 || table > kScoreTableCount) return false;
    std::vector<CPScoreRecord>& t = scoreTables[table - 1];
    if (t.size() < kScoreTableSize) {
        t.push_back(record);
        return true;
    }
    std::stable_sort(t.begin(), t.end(), IsBetterScore);
    auto worse = std::find_if(t.begin(), t.end(), [&](const CPScoreRecord& r) { return IsBetterScore(record, r); });
    if (worse == t.end()) return false;
    t.insert(worse, record);
    t.resize(kScoreTableSize);
    return true;
}

HRESULT CPGameData::SaveScores() {
    const HRESULT result = SaveScoreFile(kScoresPath, scoreTables);
    if (FAILED(result)) GetLog().Write(0, "%s could not be written\n", kScoresPath);
    return result;
}

void CPGameData::ClearGameData() {
    currentRound_ = 1;
    roundTimes_.assign(20, 0.0f);
    standings_ = -1;
    carCount = 0;
    carMap.Clear();
    standingsMap = CPHashMap<CPStandings>(20);
    bonusCount = 0;
    bonusList.clear();
}

void CPGameData::SetMoney(float amount) {
    money_ = std::isnan(amount) ? 0.0f : amount;
    char text[64];
    std::snprintf(text, sizeof text, "%.2f", money_);
    SendToGameMenu("change_money", text);
}

void CPGameData::SetCurrentRoundTime(float seconds) {
    if (currentRound_ >= 1 && roundTimes_.size() >= static_cast<size_t>(currentRound_))
        roundTimes_[currentRound_ - 1] = seconds;
    else roundTimes_.push_back(seconds);
}

int CPGameData::SlotNumber(const std::string& file) {
    std::string name = file;
    ToLower(name);
    if (name.size() != 9 || name.compare(0, 4, "save") != 0 || name.compare(5, 4, ".sav") != 0) return -1;
    const char digit = name[4];
    return digit >= '0' && digit < '0' + kSaveSlotCount ? digit - '0' : -1;
}

std::string CPGameData::SlotPath(const std::string& file) {
    if (g_bboxes != 0) return kAdminPath;
    const int slot = SlotNumber(file);
    return slot < 0 ? std::string() : SlotsFolderPath(slot);
}

SaveFileData CPGameData::MakeSaveData() const {
    SaveFileData data;
    data.profileName = profileName_;
    data.playerName = playerName_;
    data.time = CurrentSaveTime();
    data.racesPassed = racesPassed;
    data.money = MoneyForFile(money_);
    std::copy(upgrades.begin(), upgrades.end(), data.upgrades.begin());
    for (int i = 0; i < kLevelRecordCount; ++i) {
        const CPLevelRecord& from = levelRecords[i];
        SaveLevelRecord& to = data.records[i];
        to.time = from.time;
        to.medal = from.medal;
        std::copy(from.parts.begin(), from.parts.end(), to.parts.begin());
        to.name = from.name;
        to.frames = from.frames;
    }
    return data;
}

bool CPGameData::WriteSave(const std::string& file) {
    if (SlotNumber(file) < 0) {
        GetLog().Write(0, "WriteSave: \"%s\" is not a save slot\n", file.c_str());
        return false;
    }
    const std::string path = SlotPath(file);
    if (FAILED(SaveSaveFile(path, MakeSaveData()))) {
        GetLog().Write(0, "WriteSave: %s could not be written\n", path.c_str());
        return false;
    }
    return true;
}

bool CPGameData::SaveGame() {
    int slot = currentSlot;
    if (slot < 0 || slot >= kSaveSlotCount) {
        int candidate = 0;
        SaveTime candidateTime;
        std::string ignored;
        ReadSlotHeader(0, ignored, candidateTime);
        slot = -1;
        for (int i = 0; i < kSaveSlotCount && slot < 0; ++i) {
            std::string profile;
            SaveTime time;
            if (!ReadSlotHeader(i, profile, time)) {
                slot = i; // missing, empty or unreadable: free
            } else if (IsEarlierSaveTime(time, candidateTime)) {
                candidate = i;
                candidateTime = time;
            }
        }
        if (slot < 0) slot = candidate;
    }
    if (!WriteSave(SlotFile(slot))) return false;
    currentSlot = slot;
    return true;
}

bool CPGameData::LoadGame(const std::string& file) {
    int slot = SlotNumber(file);
    // In the administrator's mode every load reads the one file, whatever the name; the slot is
    // the number written after the name's first four characters.
    if (g_bboxes != 0) slot = file.size() > 4 ? std::atoi(file.c_str() + 4) : 0;
    else if (slot < 0) {
        GetLog().Write(0, "LoadGame: \"%s\" is not a save slot\n", file.c_str());
        return false;
    }
    SaveFileData data;
    if (!LoadSaveFile(SlotPath(file), data)) {
        GetLog().Write(0, "LoadGame: %s is missing, empty or does not read whole\n", SlotPath(file).c_str());
        return false;
    }
    SelectProfile(data.profileName);
    currentSlot = slot;
    playerName_ = data.playerName;
    racesPassed = data.racesPassed;
    SetMoney(static_cast<float>(data.money));
    std::copy(data.upgrades.begin(), data.upgrades.end(), upgrades.begin());
    for (int i = 0; i < kLevelRecordCount; ++i) {
        SaveLevelRecord& from = data.records[i];
        CPLevelRecord& to = levelRecords[i];
        to.time = from.time;
        to.medal = from.medal;
        std::copy(from.parts.begin(), from.parts.end(), to.parts.begin());
        if (!from.frames.empty()) {
            to.name = std::move(from.name);
            to.frames = std::move(from.frames);
        }
    }
    return true;
}

void CPGameData::StartFreshProfile() {
    currentSlot = -1;
    currentMission = 1;
    for (int i = 0; i < kLevelRecordCount; ++i) {
        levelRecords[i] = storedRecords[i];
        levelRecords[i].medal = 4;
    }
    for (int i = 0; i <= 4; ++i) upgrades[i] = 0;
    upgrades[6] = 1;
    SetMoney(0);
}

void CPGameData::SelectProfile(const std::string& name) {
    if (name != profileName_) StartFreshProfile();
    profileName_ = name;
}

bool CPGameData::DeleteSave(const std::string& file) {
    const int slot = SlotNumber(file);
    if (slot < 0) {
        GetLog().Write(0, "DeleteSave: \"%s\" is not a save slot\n", file.c_str());
        return false;
    }
    CPFileWriter writer(SlotsFolderPath(slot), false);
    if (FAILED(writer.SaveReplacing())) {
        GetLog().Write(0, "DeleteSave: %s could not be emptied\n", SlotsFolderPath(slot).c_str());
        return false;
    }
    return true;
}

std::array<std::string, kSaveSlotCount> CPGameData::GetSaves() const {
    std::array<std::string, kSaveSlotCount> names;
    for (int i = 0; i < kSaveSlotCount; ++i) {
        SaveTime time;
        if (!ReadSlotHeader(i, names[i], time)) names[i].clear();
    }
    return names;
}

bool CPGameData::NewPlayer(const std::string& name) {
    playerName_ = name;
    std::string profile;
    SaveTime time;
    if (!ReadSlotHeader(0, profile, time) || profile == profileName_) return WriteSave(SlotFile(0));
    return SaveGame();
}

CPScoreRecord CPGameData::SplitTime(float t) {
    CPScoreRecord r;
    r.name.clear();
    // Keeps the conversions below defined for any stored value: NaN reads as 0, the rest is clamped.
    if (std::isnan(t)) t = 0;
    t = std::clamp(t, -2.0e9f, 2.0e9f);
    int s = static_cast<int>(t);
    r.hundredths = static_cast<int>((t - static_cast<float>(s)) * 100.0f);
    r.minutes = 0;
    if (s >= 60) {
        r.minutes = static_cast<int>(static_cast<float>(s) * 0.016666668f);
        s -= 60 * r.minutes;
    }
    r.seconds = s;
    return r;
}

bool CPGameData::CheckPlayerRecords(int table) {
    if (roundTimes_.empty()) return false;
    CPScoreRecord best = SplitTime(roundTimes_[0]);
    const size_t rounds = std::min<size_t>(roundTimes_.size(), static_cast<size_t>(std::max(numberOfRounds, 1)));
    for (size_t i = 1; i < rounds; ++i) {
        CPScoreRecord r = SplitTime(roundTimes_[i]);
        if (IsBetterScore(r, best)) best = r;
    }
    best.name = profileName_;
    return InsertRecord(table, best);
}

const std::string* CPGameData::FindString(const std::string& key) const {
    auto it = strings.find(key);
    return it == strings.end() ? nullptr : &it->second;
}

std::string CPGameData::GetString(const std::string& key) const {
    const std::string* text = FindString(key);
    return text ? *text : std::string();
}
