#include "Platform/CodePage.h"

#include <gtest/gtest.h>

namespace {

struct Case {
    const char* name;
    std::string utf8;
    std::string cp1252;
};

TEST(CodePage, Utf8ToCp1252) {
    const Case cases[] = {
        {"ascii", "Vastrel 1.0", "Vastrel 1.0"},
        {"latin-1 letters", "\xC3\xA9\xC3\xBC\xC3\x9F", "\xE9\xFC\xDF"}, // é ü ß
        {"no-break space and y umlaut", "\xC2\xA0\xC3\xBF", "\xA0\xFF"},
        {"euro sign", "\xE2\x82\xAC", "\x80"}, // €
        {"curly quotes and dashes", "\xE2\x80\x9C\xE2\x80\x93\xE2\x80\x94\xE2\x80\x9D", "\x93\x96\x97\x94"},
        {"letters at 0x8A..0x9F", "\xC5\xA0\xC5\xBD\xC5\xB8\xC6\x92", "\x8A\x8E\x9F\x83"}, // Š Ž Ÿ ƒ
        {"CJK character dropped",
         "a\xE4\xB8\xAD"
         "b",
         "ab"}, // 中
        {"emoji dropped", "\xF0\x9F\x98\x80!", "!"},
        {"C1 control dropped", "\xC2\x81x", "x"},
        {"control characters kept", std::string("\t\r\x1b", 3), std::string("\t\r\x1b", 3)},
        {"cyrillic dropped", "\xD0\x96", ""},
        {"overlong slash dropped", "\xC0\xAF/", "/"},
        {"surrogate dropped", "\xED\xA0\x80z", "z"},
        {"stray continuation dropped", "\x80\xBFq", "q"},
        {"truncated tail dropped", "ok\xE2\x82", "ok"},
        {"broken sequence resynchronises", "\xE2(\xA1", "("},
    };
    for (const Case& c : cases) EXPECT_EQ(Platform::Utf8ToCp1252(c.utf8), c.cp1252) << c.name;
}

TEST(CodePage, EveryDefinedByteRoundTrips) {
    // The five bytes Windows-1252 leaves undefined have no character; every other byte has one.
    int mapped = 0;
    for (uint32_t cp = 0; cp < 0x2200; ++cp) {
        uint8_t byte;
        if (Platform::CodePointToCp1252(cp, byte)) ++mapped;
    }
    EXPECT_EQ(mapped, 256 - 32 + 27);
    for (const uint8_t undefined : {0x81, 0x8D, 0x8F, 0x90, 0x9D}) {
        uint8_t byte;
        EXPECT_FALSE(Platform::CodePointToCp1252(undefined, byte)) << int(undefined);
    }
}

} // namespace
