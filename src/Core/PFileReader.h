#pragma once

#include "Core/PResult.h"

#include <cstdint>
#include <string>
#include <vector>

// Reads one data file whole into memory: the loose file of that path when there is one, else the
// entry of the highest-numbered mounted pack that holds it. Typed sequential reads follow.
// Reads never run past the data: they are clamped, the rest of the destination is zeroed and the
// sticky Overrun flag is set, which loaders test to reject a truncated file.
class CPFileReader {
public:
    // The path is kept lower-cased; pack lookups need backslashes.
    CPFileReader(const std::string& path, bool scrambled = false);
    virtual ~CPFileReader() = default;

    // Reads the file; may be called again (the read position is kept). E_FAIL when the file is
    // neither loose nor packed, or cannot be read whole.
    HRESULT Load();
    // Takes the bytes as the loaded file (unscrambled as Load would), for readers of data already
    // in memory; the read position and the overrun flag start over.
    void LoadBytes(const void* bytes, int size);

    // The loaded bytes, followed by one zero byte that GetLength does not count, so text can be
    // handed on as a C string.
    const uint8_t* GetData() const { return m_data.data(); }
    int GetLength() const { return m_size; }
    const std::string& GetPath() const { return m_path; }

    void Read(void* destination, int n);
    int32_t ReadInt();
    float ReadFloat();
    // A 32-bit length n, then n bytes; the text ends at the first zero among them and the
    // position advances by n in any case.
    std::string ReadString();

    int GetPosition() const { return m_position; }
    // Bytes left after the read position.
    int GetRemaining() const { return Remaining(); }
    // True once any read since the last Load ran past the data.
    bool Overrun() const { return m_overrun; }

private:
    int Remaining() const { return m_position < m_size ? m_size - m_position : 0; }

    std::vector<uint8_t> m_data{0};
    int m_size = 0;
    std::string m_path;
    bool m_scrambled;
    int m_position = 0;
    bool m_overrun = false;
};
