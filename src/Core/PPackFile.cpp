#include "Core/PPackFile.h"

#include "Core/PFileFinder.h"
#include "Core/PFileWriter.h"
#include "Core/PLog.h"
#include "Core/PPath.h"
#include "Core/PUtils.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace {

// Smallest directory entry: name length, offset, size and child count with an empty name.
constexpr size_t MinEntrySize = 16;
// Deeper folder nesting than this only comes from a corrupt directory.
constexpr int MaxFolderDepth = 64;

std::vector<CPPackFile>& Packs() {
    static std::vector<CPPackFile> packs;
    return packs;
}

uint32_t ReadU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

void AppendU32(std::vector<uint8_t>& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

bool ReadFileU32(FILE* file, uint32_t& value) {
    uint8_t bytes[4];
    if (std::fread(bytes, 1, 4, file) != 4) return false;
    value = ReadU32(bytes);
    return true;
}

int64_t FileLength(FILE* file) {
    if (std::fseek(file, 0, SEEK_END) != 0) return -1;
    const long length = std::ftell(file);
    return length < 0 ? -1 : static_cast<int64_t>(length);
}

struct DirectoryParser {
    const uint8_t* data;
    size_t length;
    size_t cursor = 0;
    int64_t dataStart;
    std::unordered_map<std::string, PackEntry>& out;

    bool Take(size_t n) const { return n <= length - cursor; }

    bool ParseEntry(const std::string& prefix, int depth) {
        if (depth > MaxFolderDepth || !Take(4)) return false;
        const uint32_t nameLength = ReadU32(data + cursor);
        cursor += 4;
        if (!Take(nameLength) || !Take(size_t(nameLength) + 12)) return false;
        const std::string name(reinterpret_cast<const char*>(data + cursor), nameLength);
        cursor += nameLength;
        const int32_t offset = static_cast<int32_t>(ReadU32(data + cursor));
        const uint32_t size = ReadU32(data + cursor + 4);
        const uint32_t children = ReadU32(data + cursor + 8);
        cursor += 12;

        if (offset < 0) {
            // Each child needs at least MinEntrySize bytes, which bounds any honest count.
            if (children > (length - cursor) / MinEntrySize) return false;
            const std::string childPrefix = prefix + name + "\\";
            for (uint32_t i = 0; i < children; ++i)
                if (!ParseEntry(childPrefix, depth + 1)) return false;
            return true;
        }
        std::string key = prefix + name;
        ToLower(key);
        out[key] = PackEntry{offset + dataStart, size};
        return true;
    }
};

// A node of the folder tree WritePackFile builds before laying the pack out.
struct PackNode {
    std::string name;
    bool folder = false;
    const std::vector<uint8_t>* data = nullptr;
    std::vector<PackNode> children;
};

bool SameName(std::string a, std::string b) {
    ToLower(a);
    ToLower(b);
    return a == b;
}

std::vector<std::string> SplitKey(const std::string& key) {
    std::vector<std::string> parts;
    size_t pos = 0;
    while (true) {
        const size_t end = key.find('\\', pos);
        parts.push_back(key.substr(pos, end == std::string::npos ? std::string::npos : end - pos));
        if (end == std::string::npos) return parts;
        pos = end + 1;
    }
}

bool AddToTree(PackNode& root, const std::vector<std::string>& parts, const std::vector<uint8_t>& data) {
    PackNode* node = &root;
    for (size_t i = 1; i < parts.size(); ++i) {
        const bool last = i + 1 == parts.size();
        auto it = std::find_if(node->children.begin(), node->children.end(),
                               [&](const PackNode& child) { return SameName(child.name, parts[i]); });
        if (it == node->children.end()) {
            node->children.push_back(PackNode{parts[i], !last, nullptr, {}});
            it = node->children.end() - 1;
        } else if (it->folder == last) {
            return false; // one name used as both a file and a folder
        }
        node = &*it;
    }
    node->data = &data;
    return true;
}

bool LayOut(const PackNode& node, std::vector<uint8_t>& directory, std::vector<uint8_t>& area) {
    AppendU32(directory, static_cast<uint32_t>(node.name.size()));
    directory.insert(directory.end(), node.name.begin(), node.name.end());
    if (node.folder) {
        AppendU32(directory, static_cast<uint32_t>(-1));
        AppendU32(directory, 0);
        AppendU32(directory, static_cast<uint32_t>(node.children.size()));
        for (const PackNode& child : node.children)
            if (!LayOut(child, directory, area)) return false;
        return true;
    }
    const std::vector<uint8_t>& bytes = *node.data;
    if (area.size() > INT32_MAX || bytes.size() > UINT32_MAX) return false;
    AppendU32(directory, static_cast<uint32_t>(area.size()));
    AppendU32(directory, static_cast<uint32_t>(bytes.size()));
    AppendU32(directory, 0);
    const size_t start = area.size();
    area.insert(area.end(), bytes.begin(), bytes.end());
    ScrambleBytes(area.data() + start, bytes.size());
    return true;
}

} // namespace

void ScrambleBytes(uint8_t* data, size_t size) {
    for (size_t i = 0; i < size; ++i) data[i] = static_cast<uint8_t>(data[i] + PackKey[i % PackKeySize]);
}

void UnscrambleBytes(uint8_t* data, size_t size) {
    for (size_t i = 0; i < size; ++i) data[i] = static_cast<uint8_t>(data[i] - PackKey[i % PackKeySize]);
}

CPPackFile::CPPackFile(int number, const std::string& path) : m_number(number), m_path(path) {}

FILE* CPPackFile::Open() const { return OpenFileForRead(m_path); }

bool CPPackFile::ParseDirectory(const uint8_t* directory, size_t length, int64_t dataStart,
                                std::unordered_map<std::string, PackEntry>& out) {
    DirectoryParser parser{directory, length, 0, dataStart, out};
    return parser.ParseEntry(std::string(), 0);
}

HRESULT CPPackFile::ReadDirectory() {
    m_directory.clear();
    FILE* file = Open();
    if (file == nullptr) return E_FAIL;

    uint32_t magic = 0, length = 0;
    bool ok = ReadFileU32(file, magic) && magic == PackMagic && ReadFileU32(file, length);
    const int64_t fileLength = ok ? FileLength(file) : -1;
    ok = ok && fileLength >= 8 && length <= fileLength - 8 && std::fseek(file, 8, SEEK_SET) == 0;

    std::vector<uint8_t> directory;
    if (ok) {
        directory.resize(length);
        ok = std::fread(directory.data(), 1, length, file) == length;
    }
    std::fclose(file);
    if (!ok) return E_FAIL;

    UnscrambleBytes(directory.data(), directory.size());
    std::unordered_map<std::string, PackEntry> entries;
    if (!ParseDirectory(directory.data(), directory.size(), 8 + int64_t(length), entries)) return E_FAIL;
    m_directory = std::move(entries);
    return S_OK;
}

const PackEntry* CPPackFile::Find(const std::string& key) const {
    auto it = m_directory.find(key);
    return it == m_directory.end() ? nullptr : &it->second;
}

HRESULT CPPackFile::ReadEntry(FILE* pack, const PackEntry& entry, std::vector<uint8_t>& out) {
    out.clear();
    // Checked against the pack's length first so a corrupt size never allocates gigabytes.
    const int64_t packLength = FileLength(pack);
    if (entry.offset < 0 || packLength < 0 || entry.offset > packLength ||
        int64_t(entry.size) > packLength - entry.offset)
        return E_FAIL;
    if (std::fseek(pack, static_cast<long>(entry.offset), SEEK_SET) != 0) return E_FAIL;
    out.resize(entry.size);
    if (std::fread(out.data(), 1, out.size(), pack) != out.size()) {
        out.clear();
        return E_FAIL;
    }
    UnscrambleBytes(out.data(), out.size());
    return S_OK;
}

HRESULT MountPackFiles() {
    HRESULT result = S_OK;
    CPFileFinder finder("data\\*.*");
    if (SUCCEEDED(finder.FindFirst())) {
        do {
            const std::string& name = finder.GetFileName();
            if (finder.IsDirectory() || name.compare(0, 4, "game") != 0 || name.size() < 3 ||
                name.compare(name.size() - 3, 3, "dat") != 0)
                continue;
            const std::string middle = name.size() > 8 ? name.substr(4, name.size() - 8) : "";
            std::vector<CPPackFile>& packs = Packs();
            packs.emplace_back(std::atoi(middle.c_str()), "Data\\" + name);
            if (FAILED(packs.back().ReadDirectory())) {
                GetLog().Write(0, "%s: its directory cannot be read, the pack stays empty\n",
                               packs.back().GetPath().c_str());
                result = E_FAIL;
            }
        } while (finder.FindNext());
    }
    std::stable_sort(Packs().begin(), Packs().end(),
                     [](const CPPackFile& a, const CPPackFile& b) { return a.GetNumber() > b.GetNumber(); });
    return result;
}

void UnmountPackFiles() { Packs().clear(); }

const std::vector<CPPackFile>& GetPackFiles() { return Packs(); }

HRESULT WritePackFile(const std::string& path, const std::vector<PackItem>& items) {
    if (items.empty()) return E_FAIL;
    PackNode root;
    for (const PackItem& item : items) {
        const std::vector<std::string> parts = SplitKey(item.key);
        if (std::any_of(parts.begin(), parts.end(), [](const std::string& p) { return p.empty(); })) return E_FAIL;
        if (root.name.empty()) {
            root.name = parts[0];
            root.folder = parts.size() > 1;
        } else if (!SameName(root.name, parts[0]) || !root.folder || parts.size() == 1) {
            return E_FAIL; // the directory has exactly one root
        }
        if (!AddToTree(root, parts, item.data)) return E_FAIL;
    }

    std::vector<uint8_t> directory, area;
    if (!LayOut(root, directory, area) || directory.size() > UINT32_MAX) return E_FAIL;
    ScrambleBytes(directory.data(), directory.size());

    CPFileWriter writer(path, false);
    std::vector<uint8_t> header;
    AppendU32(header, PackMagic);
    AppendU32(header, static_cast<uint32_t>(directory.size()));
    writer.Write(header.data(), static_cast<int>(header.size()));
    writer.Write(directory.data(), static_cast<int>(directory.size()));
    writer.Write(area.data(), static_cast<int>(area.size()));
    return writer.SaveReplacing();
}
