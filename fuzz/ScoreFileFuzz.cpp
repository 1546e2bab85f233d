// The score-file reader on arbitrary (unscrambled) bytes: no crash, no read past the data; valid
// tables write back to bytes that read the same.
#include <cstdint>
#include <cstdlib>

#include "Race/PSaveFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 24)) return 0;
    ScoreTables tables;
    if (!ReadScoreBytes(data, static_cast<int>(size), tables)) return 0;
    const std::vector<uint8_t> written = WriteScoreBytes(tables);
    ScoreTables again;
    if (!ReadScoreBytes(written.data(), static_cast<int>(written.size()), again)) std::abort();
    if (WriteScoreBytes(again) != written) std::abort();
    return 0;
}
