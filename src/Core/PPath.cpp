#include "Core/PPath.h"

#include <dirent.h>
#include <sys/stat.h>

#include <map>
#include <utility>
#include <vector>

namespace {

// Listings are keyed by the directory's identity, not its name, so a change of working directory
// never serves a stale listing; a change of the directory's timestamps relists it.
struct Listing {
    timespec modified{};
    timespec changed{};
    bool filled = false;
    std::vector<std::string> names;
};

std::map<std::pair<dev_t, ino_t>, Listing>& Cache() {
    static std::map<std::pair<dev_t, ino_t>, Listing> cache;
    return cache;
}

bool SameTime(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

const std::vector<std::string>* ListDirectory(const std::string& dir) {
    struct stat st;
    if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return nullptr;
    Listing& listing = Cache()[{st.st_dev, st.st_ino}];
    if (listing.filled && SameTime(listing.modified, st.st_mtim) && SameTime(listing.changed, st.st_ctim))
        return &listing.names;

    listing.names.clear();
    listing.filled = true;
    listing.modified = st.st_mtim;
    listing.changed = st.st_ctim;
    if (DIR* handle = opendir(dir.c_str())) {
        while (const dirent* entry = readdir(handle)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") listing.names.push_back(name);
        }
        closedir(handle);
    }
    return &listing.names;
}

bool EqualIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

// The on-disk spelling of component inside dir; empty when there is none.
std::string MatchComponent(const std::string& dir, const std::string& component) {
    const std::vector<std::string>* names = ListDirectory(dir);
    if (names == nullptr) return {};
    std::string best;
    for (const std::string& name : *names) {
        if (name == component) return name;
        // Of several spellings differing only in case, take the smallest so the choice is stable.
        if (EqualIgnoringCase(name, component) && (best.empty() || name < best)) best = name;
    }
    return best;
}

} // namespace

std::string ResolvePath(const std::string& path) {
    std::string result;
    size_t pos = 0;
    if (!path.empty() && (path[0] == '/' || path[0] == '\\')) {
        result.push_back('/');
        pos = 1;
    }
    bool exists = true; // the directory built so far exists; below a missing one nothing is listed
    while (pos <= path.size()) {
        size_t end = path.find_first_of("\\/", pos);
        if (end == std::string::npos) end = path.size();
        std::string component = path.substr(pos, end - pos);
        pos = end + 1;
        if (component.empty()) continue;
        if (exists && component != "." && component != "..") {
            const std::string found = MatchComponent(result.empty() ? "." : result, component);
            if (found.empty()) exists = false;
            else component = found;
        }
        if (!result.empty() && result.back() != '/') result += '/';
        result += component;
    }
    return result;
}

void InvalidatePathCache() { Cache().clear(); }

FILE* OpenFileForRead(const std::string& path) {
    const std::string real = ResolvePath(path);
    struct stat st;
    // Checked before opening too, so a FIFO or device never blocks the open.
    if (real.empty() || stat(real.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
    FILE* file = std::fopen(real.c_str(), "rb");
    if (file == nullptr) return nullptr;
    if (fstat(fileno(file), &st) != 0 || !S_ISREG(st.st_mode)) {
        std::fclose(file);
        return nullptr;
    }
    return file;
}
