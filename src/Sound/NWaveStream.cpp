#include "Sound/NWaveStream.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "Core/PFileWriter.h"
#include "Core/PPath.h"

namespace {

uint32_t Get32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }
uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void Put16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void PutTag(std::vector<uint8_t>& out, const char* tag) { out.insert(out.end(), tag, tag + 4); }

} // namespace

CNWaveStream::~CNWaveStream() {
    if (open_ && mode_ == ModeWrite) Close();
}

HRESULT CNWaveStream::Open(const std::string& path, const CNWaveFormat* format, Mode mode) {
    open_ = false;
    mode_ = mode;
    path_ = path;
    bytes_.clear();
    position_ = size_ = present_ = dataOffset_ = 0;
    if (mode == ModeWrite) {
        if (!format) return E_FAIL;
        format_ = *format;
        open_ = true;
        return S_OK;
    }
    FILE* file = OpenFileForRead(path);
    if (!file) return E_FAIL;
    uint8_t chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof(chunk), file)) > 0) bytes_.insert(bytes_.end(), chunk, chunk + n);
    std::fclose(file);
    return Parse();
}

HRESULT CNWaveStream::OpenMemory(const uint8_t* data, size_t size) {
    mode_ = ModeRead;
    open_ = false;
    path_.clear();
    bytes_.assign(data, data + size);
    position_ = size_ = present_ = dataOffset_ = 0;
    return Parse();
}

HRESULT CNWaveStream::Parse() {
    const size_t total = bytes_.size();
    if (total < 12 || std::memcmp(bytes_.data(), "RIFF", 4) != 0 || std::memcmp(bytes_.data() + 8, "WAVE", 4) != 0)
        return E_FAIL;
    bool haveFormat = false, haveData = false;
    size_t at = 12;
    while (at + 8 <= total && !haveData) {
        const uint8_t* head = bytes_.data() + at;
        uint32_t length = Get32(head + 4);
        size_t body = at + 8;
        size_t available = total - body;
        if (std::memcmp(head, "fmt ", 4) == 0) {
            if (length < 16 || available < 16) return E_FAIL;
            const uint8_t* f = bytes_.data() + body;
            format_ = CNWaveFormat{};
            format_.tag = Get16(f);
            format_.channels = Get16(f + 2);
            format_.rate = Get32(f + 4);
            format_.bytesPerSecond = Get32(f + 8);
            format_.blockAlign = Get16(f + 12);
            format_.bits = Get16(f + 14);
            if (format_.tag != 1 && length >= 18 && available >= 18) {
                uint16_t extra = Get16(f + 16);
                size_t have = std::min<size_t>({extra, length - 18, available - 18});
                format_.extra.assign(f + 18, f + 18 + have);
            }
            haveFormat = true;
        } else if (std::memcmp(head, "data", 4) == 0) {
            if (!haveFormat) return E_FAIL;
            dataOffset_ = static_cast<uint32_t>(body);
            // The size is the chunk's own; a chunk that claims more than the file holds reads
            // what is there (the sound pads the rest with silence).
            size_ = length;
            present_ = static_cast<uint32_t>(std::min<size_t>(length, available));
            haveData = true;
        }
        // Chunks are word aligned: an odd length has a pad byte after it.
        at = body + length + (length & 1);
    }
    if (!haveFormat || !haveData || size_ == 0) return E_FAIL;
    if (format_.channels == 0 || format_.bits == 0 || format_.rate < 100 || format_.rate > 200000) return E_FAIL;
    open_ = true;
    return S_OK;
}

HRESULT CNWaveStream::Read(void* destination, uint32_t count, uint32_t* read) {
    if (read) *read = 0;
    if (!open_ || mode_ != ModeRead) return E_FAIL;
    uint32_t n = position_ < present_ ? std::min(count, present_ - position_) : 0;
    std::memcpy(destination, bytes_.data() + dataOffset_ + position_, n);
    position_ += n;
    if (read) *read = n;
    return S_OK;
}

HRESULT CNWaveStream::Write(const void* source, uint32_t count) {
    if (!open_ || mode_ != ModeWrite) return E_FAIL;
    const auto* p = static_cast<const uint8_t*>(source);
    bytes_.insert(bytes_.end(), p, p + count);
    return S_OK;
}

HRESULT CNWaveStream::Close() {
    if (!open_) return S_OK;
    open_ = false;
    if (mode_ != ModeWrite) {
        bytes_.clear();
        return S_OK;
    }
    const CNWaveFormat& f = format_;
    std::vector<uint8_t> out;
    PutTag(out, "RIFF");
    Put32(out, 0);
    PutTag(out, "WAVE");
    PutTag(out, "fmt ");
    bool pcm = f.tag == 1;
    Put32(out, pcm ? 16 : static_cast<uint32_t>(18 + f.extra.size()));
    uint16_t blockAlign = f.blockAlign ? f.blockAlign : static_cast<uint16_t>(f.channels * f.bits / 8);
    Put16(out, f.tag);
    Put16(out, f.channels);
    Put32(out, f.rate);
    Put32(out, f.bytesPerSecond ? f.bytesPerSecond : f.rate * blockAlign);
    Put16(out, blockAlign);
    Put16(out, f.bits);
    if (!pcm) {
        Put16(out, static_cast<uint16_t>(f.extra.size()));
        out.insert(out.end(), f.extra.begin(), f.extra.end());
        if (f.extra.size() & 1) out.push_back(0);
    }
    // The "fact" value is written as 0, as the stream always did.
    PutTag(out, "fact");
    Put32(out, 4);
    Put32(out, 0);
    PutTag(out, "data");
    Put32(out, static_cast<uint32_t>(bytes_.size()));
    out.insert(out.end(), bytes_.begin(), bytes_.end());
    if (bytes_.size() & 1) out.push_back(0);
    uint32_t riff = static_cast<uint32_t>(out.size() - 8);
    std::memcpy(out.data() + 4, &riff, 4); // little-endian host
    bytes_.clear();
    CPFileWriter writer(path_, false);
    writer.Write(out.data(), static_cast<int>(out.size()));
    HRESULT hr = writer.SaveReplacing();
    InvalidatePathCache();
    return hr;
}
