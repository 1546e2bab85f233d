// mkpack: builds and lists the game's pack files.
//   mkpack OUT.dat SOURCE_DIR   packs SOURCE_DIR's whole tree under a root folder "data"
//   mkpack --list PACK          prints every key and its size, one per line
// Exit codes: 0 success, 1 I/O error, 2 usage error.

#include "Core/PPackFile.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

int Usage() {
    std::fprintf(stderr, "usage: mkpack OUT.dat SOURCE_DIR\n       mkpack --list PACK\n");
    return 2;
}

bool ReadWhole(const fs::path& path, std::vector<uint8_t>& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

int List(const std::string& packPath) {
    // Opened directly: the caller names a real file, and mounting rules do not apply here.
    CPPackFile pack(0, packPath);
    if (FAILED(pack.ReadDirectory())) {
        std::fprintf(stderr, "mkpack: cannot read pack %s\n", packPath.c_str());
        return 1;
    }
    std::vector<std::pair<std::string, uint32_t>> keys;
    for (const auto& [key, entry] : pack.GetDirectory()) keys.emplace_back(key, entry.size);
    std::sort(keys.begin(), keys.end());
    for (const auto& [key, size] : keys) std::printf("%s %u\n", key.c_str(), size);
    return 0;
}

int Build(const std::string& outPath, const std::string& sourceDir) {
    std::error_code error;
    if (!fs::is_directory(sourceDir, error)) {
        std::fprintf(stderr, "mkpack: %s is not a folder\n", sourceDir.c_str());
        return 1;
    }
    // The usual call packs "Data" into "Data/game<N>.dat": an older copy of the output inside the
    // source tree is skipped, or every rebuild would carry the previous pack inside the new one.
    std::error_code probe;
    const bool outputExists = fs::exists(outPath, probe);
    std::vector<fs::path> files;
    for (fs::recursive_directory_iterator it(sourceDir, error), end; !error && it != end; it.increment(error)) {
        if (!it->is_regular_file(error)) continue;
        std::error_code same;
        if (outputExists && fs::equivalent(it->path(), outPath, same)) continue;
        files.push_back(it->path());
    }
    if (error) {
        std::fprintf(stderr, "mkpack: cannot walk %s: %s\n", sourceDir.c_str(), error.message().c_str());
        return 1;
    }
    if (files.empty()) {
        std::fprintf(stderr, "mkpack: %s holds no files\n", sourceDir.c_str());
        return 1;
    }
    std::sort(files.begin(), files.end());

    std::vector<PackItem> items;
    for (const fs::path& file : files) {
        PackItem item;
        item.key = "data";
        const fs::path relative = fs::relative(file, sourceDir, error);
        if (error || relative.empty()) {
            std::fprintf(stderr, "mkpack: cannot name %s inside %s\n", file.c_str(), sourceDir.c_str());
            return 1;
        }
        for (const fs::path& part : relative) item.key += "\\" + part.string();
        if (!ReadWhole(file, item.data)) {
            std::fprintf(stderr, "mkpack: cannot read %s\n", file.c_str());
            return 1;
        }
        items.push_back(std::move(item));
    }
    if (FAILED(WritePackFile(outPath, items))) {
        std::fprintf(stderr, "mkpack: cannot write %s\n", outPath.c_str());
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) return Usage();
    const std::string first = argv[1];
    if (first == "--list") return List(argv[2]);
    if (!first.empty() && first[0] == '-') return Usage();
    return Build(first, argv[2]);
}
