#pragma once

#include "Core/PResult.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <unordered_map>
#include <vector>

// Pack files: "Data\game<N>.dat", a little-endian container of the game's data files.
//   u32 magic PackMagic, u32 directory length L, L directory bytes (scrambled as one buffer),
//   then the data area (each file scrambled as its own buffer).
// The directory is one root entry, depth first: u32 name length n, n name bytes, i32 offset
// (below 0: a folder; else the file's offset in the data area), u32 size, u32 child count.
// A file's key is the lower-cased path of folder names and its own name joined by "\".

constexpr uint32_t PackMagic = 0xAF1627C4u;
constexpr size_t PackKeySize = 1933;
extern const uint8_t PackKey[PackKeySize];

// Add / subtract key byte (i mod PackKeySize) to byte i of the buffer, in place.
void ScrambleBytes(uint8_t* data, size_t size);
void UnscrambleBytes(uint8_t* data, size_t size);

struct PackEntry {
    int64_t offset = 0; // from the start of the pack file
    uint32_t size = 0;
};

class CPPackFile {
public:
    CPPackFile(int number, const std::string& path);
    virtual ~CPPackFile() = default;

    // Opens the pack and reads its directory. A missing pack, a wrong magic or a corrupt directory
    // leaves the directory empty and answers E_FAIL.
    HRESULT ReadDirectory();

    // The entry stored under key (already lower case, backslashes), or null.
    const PackEntry* Find(const std::string& key) const;

    // Opens the pack for reading entries; null when it cannot be opened.
    FILE* Open() const;
    // Reads and unscrambles one entry from an opened pack; E_FAIL on a failed seek or short read.
    static HRESULT ReadEntry(FILE* pack, const PackEntry& entry, std::vector<uint8_t>& out);

    // Parses an unscrambled directory whose data area starts at dataStart. False when the
    // directory is corrupt (a length or count running past its end, or absurd nesting).
    static bool ParseDirectory(const uint8_t* directory, size_t length, int64_t dataStart,
                               std::unordered_map<std::string, PackEntry>& out);

    int GetNumber() const { return m_number; }
    const std::string& GetPath() const { return m_path; }
    const std::unordered_map<std::string, PackEntry>& GetDirectory() const { return m_directory; }

private:
    std::unordered_map<std::string, PackEntry> m_directory;
    int m_number;
    std::string m_path;
};

// Mounts every "game*dat" file of the "Data" folder, highest number first. E_FAIL when any of
// them failed (it then stays mounted, empty).
HRESULT MountPackFiles();
// Forgets every mounted pack.
void UnmountPackFiles();
// The mounted packs in search order.
const std::vector<CPPackFile>& GetPackFiles();

// One file to store in a pack: its key ("data\scripts\main.lua") and its bytes.
struct PackItem {
    std::string key;
    std::vector<uint8_t> data;
};

// Writes a pack holding the items. All keys must share one root folder (or be a single file);
// a later item with an equal key (ignoring case) replaces an earlier one. E_FAIL on bad keys or
// when the file cannot be written (an existing pack is then left as it was).
HRESULT WritePackFile(const std::string& path, const std::vector<PackItem>& items);
