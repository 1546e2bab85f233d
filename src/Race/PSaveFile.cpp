#include "Race/PSaveFile.h"

#include <sys/time.h>

#include <cmath>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "Core/PFileReader.h"
#include "Core/PFileWriter.h"
#include "Core/PPackFile.h"
#include "Core/PPath.h"

namespace {

constexpr int kFrameSize = static_cast<int>(sizeof(CPReplayFrame));

class ByteWriter {
public:
    void Int(int32_t value) {
        const uint32_t bits = static_cast<uint32_t>(value);
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(bits >> (8 * i)));
    }
    void Float(float value) { Int(std::bit_cast<int32_t>(value)); }
    void String(const std::string& text) {
        Int(static_cast<int32_t>(text.size()));
        bytes.insert(bytes.end(), text.begin(), text.end());
    }
    void Raw(const void* data, size_t n) {
        const uint8_t* p = static_cast<const uint8_t*>(data);
        bytes.insert(bytes.end(), p, p + n);
    }
    std::vector<uint8_t> bytes;
};

void WriteTime(ByteWriter& out, const SaveTime& t) {
    const uint16_t fields[8] = {t.year, t.month, t.dayOfWeek, t.day, t.hour, t.minute, t.second, t.milliseconds};
    for (uint16_t f : fields) {
        out.bytes.push_back(static_cast<uint8_t>(f));
        out.bytes.push_back(static_cast<uint8_t>(f >> 8));
    }
}

SaveTime ReadTime(CPFileReader& in) {
    uint8_t raw[16];
    in.Read(raw, 16);
    uint16_t f[8];
    for (int i = 0; i < 8; ++i) f[i] = static_cast<uint16_t>(raw[2 * i] | raw[2 * i + 1] << 8);
    return SaveTime{f[0], f[1], f[2], f[3], f[4], f[5], f[6], f[7]};
}

// A string whose length is past the bytes left is a corrupt file, not a short name.
bool ReadCheckedString(CPFileReader& in, std::string& text) {
    if (in.GetRemaining() < 4) return false;
    const uint32_t length = static_cast<uint32_t>(in.ReadInt());
    if (length > static_cast<uint32_t>(in.GetRemaining())) return false;
    std::string raw(length, '\0');
    in.Read(raw.data(), static_cast<int>(length));
    text.assign(raw.c_str()); // like the reader's strings: the text ends at a zero byte
    return !in.Overrun();
}

HRESULT SaveBytesReplacing(const std::string& path, const std::vector<uint8_t>& bytes, bool scramble) {
    std::error_code ignored;
    const std::filesystem::path parent = std::filesystem::path(ResolvePath(path)).parent_path();
    if (!parent.empty() && !std::filesystem::exists(parent, ignored)) {
        std::filesystem::create_directories(parent, ignored);
        InvalidatePathCache();
    }
    CPFileWriter writer(path, scramble);
    writer.Write(bytes.data(), static_cast<int>(bytes.size()));
    return writer.SaveReplacing();
}

} // namespace

SaveTime CurrentSaveTime() {
    timeval now{};
    gettimeofday(&now, nullptr);
    const time_t seconds = now.tv_sec;
    tm local{};
    localtime_r(&seconds, &local);
    SaveTime t;
    t.year = static_cast<uint16_t>(local.tm_year + 1900);
    t.month = static_cast<uint16_t>(local.tm_mon + 1);
    t.dayOfWeek = static_cast<uint16_t>(local.tm_wday);
    t.day = static_cast<uint16_t>(local.tm_mday);
    t.hour = static_cast<uint16_t>(local.tm_hour);
    t.minute = static_cast<uint16_t>(local.tm_min);
    t.second = static_cast<uint16_t>(local.tm_sec);
    t.milliseconds = static_cast<uint16_t>(now.tv_usec / 1000);
    return t;
}

bool IsEarlierSaveTime(const SaveTime& a, const SaveTime& b) {
    const uint16_t ka[6] = {a.year, a.month, a.day, a.hour, a.minute, a.second};
    const uint16_t kb[6] = {b.year, b.month, b.day, b.hour, b.minute, b.second};
    for (int i = 0; i < 6; ++i)
        if (ka[i] != kb[i]) return ka[i] < kb[i];
    return false;
}

std::vector<uint8_t> WriteSaveBytes(const SaveFileData& data) {
    ByteWriter out;
    out.String(data.profileName);
    out.String(data.playerName);
    WriteTime(out, data.time);
    out.Int(data.racesPassed);
    out.Int(data.money);
    for (int32_t u : data.upgrades) out.Int(u);
    size_t frames = 0;
    for (const SaveLevelRecord& r : data.records) frames += r.frames.size();
    out.bytes.reserve(out.bytes.size() + kLevelRecordCount * 64 + frames * kFrameSize);
    for (const SaveLevelRecord& r : data.records) {
        // Nothing the reader would refuse goes out: a slot it refused would lose the whole profile.
        // A time that is not finite is no time; a frame that is not finite is left out of the run.
        out.Float(std::isfinite(r.time) ? r.time : 0.0f);
        out.Int(r.medal);
        for (int32_t p : r.parts) out.Int(p);
        int32_t kept = 0;
        for (const CPReplayFrame& f : r.frames) kept += IsFiniteFrame(f) ? 1 : 0;
        out.Int(kept);
        if (kept == 0) continue;
        out.String(r.name);
        for (CPReplayFrame f : r.frames) {
            if (!IsFiniteFrame(f)) continue;
            std::memset(f.reserved1, 0, sizeof f.reserved1);
            std::memset(f.reserved2, 0, sizeof f.reserved2);
            out.Raw(&f, sizeof f);
        }
    }
    return std::move(out.bytes);
}

bool ReadSaveHeader(const uint8_t* bytes, int size, std::string& profileName, std::string& playerName, SaveTime& time) {
    CPFileReader in("");
    in.LoadBytes(bytes, size);
    std::string profile, player;
    if (!ReadCheckedString(in, profile) || !ReadCheckedString(in, player)) return false;
    const SaveTime t = ReadTime(in);
    if (in.Overrun()) return false;
    profileName = std::move(profile);
    playerName = std::move(player);
    time = t;
    return true;
}

bool ReadSaveBytes(const uint8_t* bytes, int size, SaveFileData& out) {
    CPFileReader in("");
    in.LoadBytes(bytes, size);
    SaveFileData data;
    if (!ReadCheckedString(in, data.profileName) || !ReadCheckedString(in, data.playerName)) return false;
    data.time = ReadTime(in);
    data.racesPassed = in.ReadInt();
    data.money = in.ReadInt();
    for (int32_t& u : data.upgrades) u = in.ReadInt();
    for (SaveLevelRecord& r : data.records) {
        r.time = in.ReadFloat();
        r.medal = in.ReadInt();
        for (int32_t& p : r.parts) p = in.ReadInt();
        const int32_t count = in.ReadInt();
        if (in.Overrun() || !std::isfinite(r.time) || count < 0) return false;
        if (count == 0) continue;
        if (!ReadCheckedString(in, r.name)) return false;
        if (count > in.GetRemaining() / kFrameSize) return false;
        r.frames.resize(static_cast<size_t>(count));
        in.Read(r.frames.data(), count * kFrameSize);
        for (const CPReplayFrame& f : r.frames)
            if (!IsFiniteFrame(f)) return false;
    }
    if (in.Overrun()) return false;
    out = std::move(data);
    return true;
}

HRESULT SaveSaveFile(const std::string& path, const SaveFileData& data) {
    return SaveBytesReplacing(path, WriteSaveBytes(data), false);
}

bool LoadSaveFile(const std::string& path, SaveFileData& out) {
    CPFileReader reader(path);
    if (FAILED(reader.Load()) || reader.GetLength() == 0) return false;
    return ReadSaveBytes(reader.GetData(), reader.GetLength(), out);
}

bool IsBetterScore(const CPScoreRecord& a, const CPScoreRecord& b) {
    if (a.minutes != b.minutes) return a.minutes < b.minutes;
    if (a.seconds != b.seconds) return a.seconds < b.seconds;
    return a.hundredths < b.hundredths;
}

std::vector<uint8_t> WriteScoreBytes(const ScoreTables& tables) {
    ByteWriter out;
    for (int i = 0; i < kScoreTableCount; ++i)
        for (const CPScoreRecord& r : tables[i]) {
            out.Int(i);
            out.String(r.name);
            out.Int(r.minutes);
            out.Int(r.seconds);
            out.Int(r.hundredths);
        }
    return std::move(out.bytes);
}

bool ReadScoreBytes(const uint8_t* bytes, int size, ScoreTables& out) {
    CPFileReader in("");
    in.LoadBytes(bytes, size);
    ScoreTables tables;
    int last = 0;
    while (in.GetRemaining() > 0) {
        const int32_t table = in.ReadInt();
        CPScoreRecord r;
        if (in.Overrun() || table < last || table >= kScoreTableCount || !ReadCheckedString(in, r.name)) return false;
        r.minutes = in.ReadInt();
        r.seconds = in.ReadInt();
        r.hundredths = in.ReadInt();
        if (in.Overrun()) return false;
        tables[table].push_back(std::move(r));
        last = table;
    }
    out = std::move(tables);
    return true;
}

HRESULT SaveScoreFile(const std::string& path, const ScoreTables& tables) {
    return SaveBytesReplacing(path, WriteScoreBytes(tables), true);
}

bool LoadScoreFile(const std::string& path, ScoreTables& out) {
    CPFileReader reader(path, true);
    if (FAILED(reader.Load())) return false;
    return ReadScoreBytes(reader.GetData(), reader.GetLength(), out);
}
