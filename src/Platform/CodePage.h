#pragma once
// The game's single-byte code page is Windows-1252: fonts index glyphs by its bytes and typed text
// reaches the scripts as its codes.
#include <cstdint>
#include <string>
#include <string_view>

namespace Platform {

// The Windows-1252 byte of a Unicode code point; false when the code page lacks the character.
bool CodePointToCp1252(uint32_t codePoint, uint8_t& byte);

// Converts UTF-8 text to Windows-1252, dropping characters the code page lacks and malformed
// sequences (overlong forms, surrogates, stray continuation bytes, truncated tails).
std::string Utf8ToCp1252(std::string_view utf8);

} // namespace Platform
