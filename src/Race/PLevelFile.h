#pragma once
// The ".lvl" layout of a level: a header, light records, the placed objects and a trailer, all
// little-endian. The reader and the writer live side by side so the game, the tools and the tests
// share them; a layout read and written again gives the same bytes.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "Core/Math/Quat.h"
#include "Core/Math/Vector.h"

class CPFileReader;

struct LevelObjectRecord {
    std::string name; // up to the first zero byte of the stored name
    Vec3 position;
    Quat rotation = QuatIdentity();
    Vec3 scale{1.0f, 1.0f, 1.0f};
};

struct LevelFile {
    // Bytes of the first light record (4 ignored bytes, then a 4 x 3 matrix column by column) and of
    // each further one; the game uses none of them.
    static constexpr int kFirstLightSize = 52;
    static constexpr int kFurtherLightSize = 28;

    std::array<float, 4> header{};
    int32_t lightCount = 0;
    std::array<uint8_t, kFirstLightSize> firstLight{};
    std::vector<std::array<uint8_t, kFurtherLightSize>> furtherLights; // lightCount - 1 records
    std::vector<LevelObjectRecord> objects;
    int32_t trailer = 0;
};

// Reads a whole layout from the reader's current position. False (with a log line) for a truncated
// file, counts or name lengths past the data, negative counts or non-finite numbers; the layout is
// then left empty. A zero quaternion is read as it stands (the level turns it into no rotation).
bool ReadLevelFile(CPFileReader& reader, LevelFile& level);
// The same over bytes in memory.
bool ReadLevelBytes(const uint8_t* data, int size, LevelFile& level);
// The file's bytes: the light count written is the number of records held (none, or the first
// plus the further ones).
std::vector<uint8_t> WriteLevelBytes(const LevelFile& level);
// Writes the bytes to a file; false when it cannot be written.
bool WriteLevelFile(const std::string& path, const LevelFile& level);

// A name with its trailing run of decimal digits removed ("player12" -> "player").
std::string LevelBaseName(const std::string& name);
