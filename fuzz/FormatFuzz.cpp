// One file format's reader on arbitrary bytes (the format is chosen when the target is built): no
// crash, no sanitizer report, no hang; what a reader with a writer beside it accepts, its writer
// writes back to bytes that read the same. The readers run in a copy of the demo root.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "Formats.h"

namespace {
const Formats::Format* g_format = nullptr;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    namespace fs = std::filesystem;
    g_format = Formats::Find(VASTREL_FUZZ_FORMAT);
    if (!g_format) {
        std::fprintf(stderr, "no format %s\n", VASTREL_FUZZ_FORMAT);
        std::exit(1);
    }
    // Files are placed and read again every run: a folder in memory where there is one.
    const char* base = fs::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
    std::string pattern = std::string(base) + "/vastrel-fuzz-XXXXXX";
    if (!mkdtemp(pattern.data())) std::exit(1);
    const char* root = std::getenv("VASTREL_FUZZ_ROOT");
    std::error_code error;
    fs::copy(root ? root : VASTREL_FUZZ_ROOT, pattern, fs::copy_options::recursive, error);
    if (error || chdir(pattern.c_str()) != 0) {
        std::fprintf(stderr, "cannot lay out the game root in %s: %s\n", pattern.c_str(), error.message().c_str());
        std::exit(1);
    }
    Formats::SetUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 22)) return 0;
    Formats::Feed(*g_format, data, size);
    return 0;
}
