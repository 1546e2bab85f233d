#include "Platform/CodePage.h"

namespace Platform {

namespace {
// Code points of the bytes 0x80..0x9F; 0 marks the five bytes Windows-1252 leaves undefined.
constexpr uint16_t kHighControls[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

// Decodes one UTF-8 sequence at text[i]; advances i past what it consumed. False for a malformed
// sequence (i then moves past its first byte only, so decoding resynchronises).
bool DecodeUtf8(std::string_view text, size_t& i, uint32_t& codePoint) {
    const auto lead = static_cast<uint8_t>(text[i]);
    int length;
    uint32_t min;
    if (lead < 0x80) {
        codePoint = lead;
        ++i;
        return true;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, min = 0x80, codePoint = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, min = 0x800, codePoint = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, min = 0x10000, codePoint = lead & 0x07;
    } else {
        ++i;
        return false;
    }
    if (i + length > text.size()) {
        ++i;
        return false;
    }
    for (int k = 1; k < length; ++k) {
        const auto c = static_cast<uint8_t>(text[i + k]);
        if ((c & 0xC0) != 0x80) {
            ++i;
            return false;
        }
        codePoint = (codePoint << 6) | (c & 0x3F);
    }
    if (codePoint < min || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
        ++i;
        return false;
    }
    i += length;
    return true;
}
} // namespace

bool CodePointToCp1252(uint32_t codePoint, uint8_t& byte) {
    if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF)) {
        byte = static_cast<uint8_t>(codePoint);
        return true;
    }
    for (int k = 0; k < 32; ++k) {
        if (kHighControls[k] != 0 && kHighControls[k] == codePoint) {
            byte = static_cast<uint8_t>(0x80 + k);
            return true;
        }
    }
    return false;
}

std::string Utf8ToCp1252(std::string_view utf8) {
    std::string out;
    size_t i = 0;
    while (i < utf8.size()) {
        uint32_t codePoint;
        uint8_t byte;
        if (DecodeUtf8(utf8, i, codePoint) && CodePointToCp1252(codePoint, byte))
            out.push_back(static_cast<char>(byte));
    }
    return out;
}

} // namespace Platform
