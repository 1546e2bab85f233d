#include "Core/PFileReader.h"

#include "Core/PPackFile.h"
#include "Core/PPath.h"
#include "Core/PUtils.h"

#include <climits>
#include <cstdio>
#include <cstring>

CPFileReader::CPFileReader(const std::string& path, bool scrambled) : m_path(path), m_scrambled(scrambled) {
    ToLower(m_path);
}

HRESULT CPFileReader::Load() {
    m_data.assign(1, 0);
    m_size = 0;
    m_overrun = false;

    std::vector<uint8_t> bytes;
    if (FILE* file = OpenFileForRead(m_path)) {
        bool ok = std::fseek(file, 0, SEEK_END) == 0;
        const long length = ok ? std::ftell(file) : -1;
        ok = ok && length >= 0 && length < INT_MAX && std::fseek(file, 0, SEEK_SET) == 0;
        if (ok) {
            bytes.resize(static_cast<size_t>(length));
            ok = std::fread(bytes.data(), 1, bytes.size(), file) == bytes.size();
        }
        std::fclose(file);
        if (!ok) return E_FAIL;
        if (m_scrambled) UnscrambleBytes(bytes.data(), bytes.size());
    } else {
        HRESULT result = E_FAIL;
        for (const CPPackFile& pack : GetPackFiles()) {
            const PackEntry* entry = pack.Find(m_path);
            if (entry == nullptr) continue;
            FILE* file = pack.Open();
            if (file == nullptr) continue;
            result = entry->size < INT_MAX ? CPPackFile::ReadEntry(file, *entry, bytes) : E_FAIL;
            std::fclose(file);
            break;
        }
        if (FAILED(result)) return E_FAIL;
    }

    m_size = static_cast<int>(bytes.size());
    bytes.push_back(0);
    m_data = std::move(bytes);
    return S_OK;
}

void CPFileReader::LoadBytes(const void* bytes, int size) {
    std::vector<uint8_t> data;
    if (bytes != nullptr && size > 0)
        data.assign(static_cast<const uint8_t*>(bytes), static_cast<const uint8_t*>(bytes) + size);
    if (m_scrambled) UnscrambleBytes(data.data(), data.size());
    m_size = static_cast<int>(data.size());
    data.push_back(0);
    m_data = std::move(data);
    m_position = 0;
    m_overrun = false;
}

void CPFileReader::Read(void* destination, int n) {
    if (destination == nullptr || n <= 0) return;
    const int available = Remaining();
    const int copied = n < available ? n : available;
    if (copied > 0) std::memcpy(destination, m_data.data() + m_position, static_cast<size_t>(copied));
    if (copied < n) {
        std::memset(static_cast<uint8_t*>(destination) + copied, 0, static_cast<size_t>(n - copied));
        m_overrun = true;
    }
    m_position += copied;
}

int32_t CPFileReader::ReadInt() {
    uint8_t bytes[4];
    Read(bytes, 4);
    return static_cast<int32_t>(static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
                                static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24);
}

float CPFileReader::ReadFloat() {
    const uint32_t bits = static_cast<uint32_t>(ReadInt());
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

std::string CPFileReader::ReadString() {
    const uint32_t length = static_cast<uint32_t>(ReadInt());
    const int available = Remaining();
    size_t count = length;
    if (length > static_cast<uint32_t>(available)) {
        count = static_cast<size_t>(available);
        m_overrun = true;
    }
    if (count == 0) return std::string();
    const char* start = reinterpret_cast<const char*>(m_data.data() + m_position);
    m_position += static_cast<int>(count);
    return std::string(start, strnlen(start, count));
}
