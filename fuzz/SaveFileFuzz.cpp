// The save-slot reader (also "Data/admin.sav") and its header reader on arbitrary bytes: no crash,
// no read past the data; a file that reads as valid writes back to bytes that read the same.
#include <cstdint>
#include <cstdlib>

#include "Race/PSaveFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 24)) return 0;
    const int n = static_cast<int>(size);
    std::string profile, player;
    SaveTime time;
    ReadSaveHeader(data, n, profile, player, time);
    SaveFileData save;
    if (!ReadSaveBytes(data, n, save)) return 0;
    const std::vector<uint8_t> written = WriteSaveBytes(save);
    SaveFileData again;
    if (!ReadSaveBytes(written.data(), static_cast<int>(written.size()), again)) std::abort();
    if (WriteSaveBytes(again) != written) std::abort();
    return 0;
}
