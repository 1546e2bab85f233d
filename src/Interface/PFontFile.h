#pragma once
// The font files: "Data\Fonts\fonts.dat" (one font per line) and a font's ".fnt" (four header lines,
// then one line per character cell, row by row over 16 x 10 cells). The reader and the writer sit
// side by side so the font tool, the tests and the game share them.
#include <cstdint>
#include <string>
#include <vector>

// One line of "fonts.dat".
struct FontListEntry {
    std::string name;
    float margin = 2.0f; // pixels; 2 when the field is absent
    int layerOffset = 0; // the material's type is 201 + this
    int spacing = 0;     // pixels added to every advance
};

// One character line of a ".fnt": the byte its cell shows and its advance in frame pixels.
struct FontCell {
    uint8_t code = 0;
    float advance = 0.0f;
};

struct FontFileData {
    int width = 0;      // texture width in pixels
    int height = 0;     // texture height in pixels
    int cellWidth = 0;  // "x"
    int cellHeight = 0; // "y"
    // Cell i lies at column i % 16, row i / 16; at most 160.
    std::vector<FontCell> cells;
};

constexpr int kFontColumns = 16;
constexpr int kFontRows = 10;
constexpr int kFontCells = kFontColumns * kFontRows;

// The lines of a "fonts.dat" text, in order. Lines without a name are skipped.
std::vector<FontListEntry> ParseFontList(const void* data, int size);
// One "fonts.dat" line: name, margin, layer offset and spacing separated by single TABs, no line end.
std::string FormatFontListLine(const FontListEntry& entry);

// False when the four header lines are not exactly "width", "height", "x", "y" in that order (the
// font is then skipped). Character lines past the 160th are ignored.
bool ParseFontFile(const void* data, int size, FontFileData& font);
// The ".fnt" text of the font, CR LF line ends, code 32 written as "space". False (and no text)
// when a cell holds a byte no line can carry: the line reader trims blanks and control bytes away.
bool WriteFontFile(const FontFileData& font, std::string& text);
