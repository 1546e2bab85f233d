#pragma once
// RIFF WAVE files: the reader the sounds load from and the writer beside it (the tools and tests
// make their WAVEs with it).
#include <cstdint>
#include <string>
#include <vector>

#include "Core/PResult.h"

struct CNWaveFormat {
    uint16_t tag = 1; // 1 integer PCM, 3 IEEE float; anything else is kept but not played
    uint16_t channels = 1;
    uint32_t rate = 22050;
    uint32_t bytesPerSecond = 0; // rate x block align when written
    uint16_t blockAlign = 0;     // channels x bits / 8 when written
    uint16_t bits = 16;
    std::vector<uint8_t> extra; // the bytes after the 18-byte format of a tag other than 1
};

class CNWaveStream {
public:
    enum Mode { ModeRead = 0, ModeWrite = 1 };

    CNWaveStream() = default;
    ~CNWaveStream();
    CNWaveStream(const CNWaveStream&) = delete;
    CNWaveStream& operator=(const CNWaveStream&) = delete;

    // Read: the file at the game path (resolved on disk; no packs). Write: creates the file with
    // this format. 0 on success, else a failure code (the stream stays closed).
    HRESULT Open(const std::string& path, const CNWaveFormat* format, Mode mode);
    // Read from bytes already in memory, with the same checks.
    HRESULT OpenMemory(const uint8_t* data, size_t size);
    const CNWaveFormat& GetFormat() const { return format_; }
    // Bytes of sound data, as the "data" chunk gives them (a file cut short holds fewer).
    uint32_t GetSize() const { return size_; }
    // Back to the start of the sound data.
    void Reset() { position_ = 0; }
    // Copies up to count bytes of sound data; `read` gets how many. Never past the data, nor past
    // the end of the file.
    HRESULT Read(void* destination, uint32_t count, uint32_t* read);
    // Write mode: appends sound data.
    HRESULT Write(const void* source, uint32_t count);
    // Write mode: finishes the chunks and writes the file (replacing it whole).
    HRESULT Close();

private:
    HRESULT Parse();

    Mode mode_ = ModeRead;
    bool open_ = false;
    std::string path_;
    std::vector<uint8_t> bytes_; // the whole file (read), or the data written so far
    CNWaveFormat format_;
    uint32_t dataOffset_ = 0;
    uint32_t size_ = 0;
    uint32_t present_ = 0; // bytes of the data chunk the file really holds
    uint32_t position_ = 0;
};
