#pragma once

#include "Core/PResult.h"

#include <cstdint>
#include <string>
#include <vector>

// Collects bytes in memory and writes them to a file in one go, optionally scrambled with the pack
// key. The buffer is scrambled in place on saving, so a writer is saved once.
class CPFileWriter {
public:
    CPFileWriter(const std::string& path, bool scramble);
    virtual ~CPFileWriter() = default;

    HRESULT Write(const void* bytes, int n);
    void WriteInt(int32_t value);
    // Length as a 32-bit integer, then the bytes, no terminator.
    void WriteString(const std::string& text);

    // Writes the file in place ("wb"). E_FAIL when it cannot be opened or fully written.
    HRESULT Save();
    // For files that replace a user's data: writes a temporary file beside the target and renames
    // it over the target, so a failure at any point leaves the old file as it was.
    HRESULT SaveReplacing();

private:
    std::vector<uint8_t> m_buffer;
    std::string m_path;
    bool m_scramble;
};
