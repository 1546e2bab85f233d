#pragma once

#include "Core/PResult.h"

#include <string>
#include <vector>

// Enumerates the entries of one folder whose names match a wildcard pattern such as
// "data\*.*" or "Data/Textures/x*.tga". Matching ignores case and "*.*" also matches names
// without a dot. The folder part goes through the path resolver. Entries come in name order.
class CPFileFinder {
public:
    explicit CPFileFinder(const std::string& pattern);
    virtual ~CPFileFinder() = default;

    // E_FAIL when nothing matches.
    HRESULT FindFirst();
    // False when no further entry matches.
    bool FindNext();

    // The last entry found.
    const std::string& GetFileName() const { return m_name; }
    bool IsDirectory() const { return m_isDirectory; }

private:
    struct Found {
        std::string name;
        bool directory;
    };

    bool Select(size_t index);

    std::string m_pattern;
    std::vector<Found> m_found;
    size_t m_next = 0;
    std::string m_name;
    bool m_isDirectory = false;
};
