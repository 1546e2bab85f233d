#include "Race/PLevelFile.h"

#include <cmath>
#include <cstring>

#include "Core/PFileReader.h"
#include "Core/PFileWriter.h"
#include "Core/PLog.h"

namespace {

// Sequential little-endian reads over bytes in memory that never run past them.
class ByteCursor {
public:
    ByteCursor(const uint8_t* data, int size) : data_(data), size_(size) {}
    int Remaining() const { return size_ - position_; }
    bool Take(void* destination, int n) {
        if (n < 0 || n > Remaining()) return false;
        std::memcpy(destination, data_ + position_, static_cast<size_t>(n));
        position_ += n;
        return true;
    }
    bool Int(int32_t& value) {
        uint8_t b[4];
        if (!Take(b, 4)) return false;
        value =
            static_cast<int32_t>(uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24);
        return true;
    }
    bool Float(float& value) {
        int32_t bits;
        if (!Int(bits)) return false;
        std::memcpy(&value, &bits, 4);
        return true;
    }
    int Position() const { return position_; }

private:
    const uint8_t* data_;
    int size_;
    int position_ = 0;
};

bool Fail(const char* why, int offset) {
    GetLog().Write(1, "level file: %s at byte %d\n", why, offset);
    return false;
}

constexpr int kObjectFixedSize = 4 + 10 * 4; // name length and ten numbers

bool ReadObject(ByteCursor& in, LevelObjectRecord& object) {
    int32_t length;
    if (!in.Int(length)) return Fail("truncated object name length", in.Position());
    if (length < 0 || length > in.Remaining() - 40) return Fail("object name past the data", in.Position());
    std::string raw(static_cast<size_t>(length), '\0');
    in.Take(raw.data(), length);
    object.name = raw.substr(0, raw.find('\0'));
    float v[10];
    for (float& f : v)
        if (!in.Float(f)) return Fail("truncated object record", in.Position());
    for (float f : v)
        if (!std::isfinite(f)) return Fail("non-finite number in an object record", in.Position());
    object.position = {v[0], v[1], v[2]};
    object.rotation = {v[3], v[4], v[5], v[6]};
    object.scale = {v[7], v[8], v[9]};
    return true;
}

bool ReadFromCursor(ByteCursor& in, LevelFile& level) {
    for (float& h : level.header)
        if (!in.Float(h)) return Fail("truncated header", in.Position());
    if (!in.Int(level.lightCount)) return Fail("truncated light count", in.Position());
    if (level.lightCount < 0) return Fail("negative light count", in.Position());
    if (level.lightCount > 0) {
        const int64_t lightBytes =
            LevelFile::kFirstLightSize + int64_t(level.lightCount - 1) * LevelFile::kFurtherLightSize;
        if (lightBytes > in.Remaining()) return Fail("lights past the data", in.Position());
        in.Take(level.firstLight.data(), LevelFile::kFirstLightSize);
        level.furtherLights.resize(static_cast<size_t>(level.lightCount - 1));
        for (auto& light : level.furtherLights) in.Take(light.data(), LevelFile::kFurtherLightSize);
    }
    int32_t count;
    if (!in.Int(count)) return Fail("truncated object count", in.Position());
    if (count < 0 || int64_t(count) * kObjectFixedSize > in.Remaining())
        return Fail("object count past the data", in.Position());
    level.objects.resize(static_cast<size_t>(count));
    for (auto& object : level.objects)
        if (!ReadObject(in, object)) return false;
    if (!in.Int(level.trailer)) return Fail("truncated trailer", in.Position());
    return true;
}

void PutInt(std::vector<uint8_t>& out, int32_t value) {
    const uint32_t u = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(u >> (8 * i)));
}

void PutFloat(std::vector<uint8_t>& out, float value) {
    int32_t bits;
    std::memcpy(&bits, &value, 4);
    PutInt(out, bits);
}

} // namespace

bool ReadLevelBytes(const uint8_t* data, int size, LevelFile& level) {
    level = LevelFile{};
    ByteCursor in(data, size);
    if (ReadFromCursor(in, level)) return true;
    level = LevelFile{};
    return false;
}

bool ReadLevelFile(CPFileReader& reader, LevelFile& level) {
    const int start = reader.GetPosition();
    const int size = reader.GetLength() - start;
    if (size < 0) {
        level = LevelFile{};
        return Fail("no data", start);
    }
    if (!ReadLevelBytes(reader.GetData() + start, size, level)) return false;
    return true;
}

std::vector<uint8_t> WriteLevelBytes(const LevelFile& level) {
    std::vector<uint8_t> out;
    for (float h : level.header) PutFloat(out, h);
    // A count without its first record cannot be read back; write what is held.
    const bool hasLights = level.lightCount > 0 || !level.furtherLights.empty();
    PutInt(out, hasLights ? static_cast<int32_t>(1 + level.furtherLights.size()) : 0);
    if (hasLights) {
        out.insert(out.end(), level.firstLight.begin(), level.firstLight.end());
        for (const auto& light : level.furtherLights) out.insert(out.end(), light.begin(), light.end());
    }
    PutInt(out, static_cast<int32_t>(level.objects.size()));
    for (const auto& object : level.objects) {
        PutInt(out, static_cast<int32_t>(object.name.size()));
        out.insert(out.end(), object.name.begin(), object.name.end());
        const float v[10] = {object.position.x, object.position.y, object.position.z, object.rotation.x,
                             object.rotation.y, object.rotation.z, object.rotation.w, object.scale.x,
                             object.scale.y,    object.scale.z};
        for (float f : v) PutFloat(out, f);
    }
    PutInt(out, level.trailer);
    return out;
}

bool WriteLevelFile(const std::string& path, const LevelFile& level) {
    const std::vector<uint8_t> bytes = WriteLevelBytes(level);
    CPFileWriter writer(path, false);
    if (FAILED(writer.Write(bytes.data(), static_cast<int>(bytes.size())))) return false;
    return SUCCEEDED(writer.Save());
}

std::string LevelBaseName(const std::string& name) {
    size_t end = name.size();
    while (end > 0 && name[end - 1] >= '0' && name[end - 1] <= '9') --end;
    return name.substr(0, end);
}
