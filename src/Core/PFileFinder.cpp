#include "Core/PFileFinder.h"

#include "Core/PPath.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include <algorithm>

CPFileFinder::CPFileFinder(const std::string& pattern) : m_pattern(pattern) {}

HRESULT CPFileFinder::FindFirst() {
    m_found.clear();
    m_next = 0;
    m_name.clear();
    m_isDirectory = false;

    const size_t slash = m_pattern.find_last_of("\\/");
    std::string folder = slash == std::string::npos ? std::string(".") : m_pattern.substr(0, slash + 1);
    std::string wildcard = slash == std::string::npos ? m_pattern : m_pattern.substr(slash + 1);
    folder = ResolvePath(folder);
    if (folder.empty()) folder = "/";
    // "*.*" has always meant every name, dotted or not.
    if (wildcard == "*.*") wildcard = "*";

    if (DIR* dir = opendir(folder.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name == "." || name == ".." || fnmatch(wildcard.c_str(), name.c_str(), FNM_CASEFOLD) != 0) continue;
            struct stat st;
            const std::string full = folder + (folder.back() == '/' ? "" : "/") + name;
            const bool directory = stat(full.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
            m_found.push_back(Found{name, directory});
        }
        closedir(dir);
    }
    std::sort(m_found.begin(), m_found.end(), [](const Found& a, const Found& b) { return a.name < b.name; });
    return Select(0) ? S_OK : E_FAIL;
}

bool CPFileFinder::FindNext() { return Select(m_next); }

bool CPFileFinder::Select(size_t index) {
    if (index >= m_found.size()) return false;
    m_name = m_found[index].name;
    m_isDirectory = m_found[index].directory;
    m_next = index + 1;
    return true;
}
