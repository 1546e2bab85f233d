// mkfont FONT.ttf PIXELS NAME GAMEROOT: renders a TrueType font with FreeType into one of the game's
// bitmap fonts. The atlas "Data/Textures/NAME.tga" holds 16 x 10 cells, white with the glyph's
// coverage in alpha; "Data/Fonts/NAME.fnt" gives each cell's Windows-1252 byte and advance in
// 1024 x 768 frame pixels (one texel is one frame pixel). The "fonts.dat" line is printed.
//
// Cells: printable ASCII (32-126), then the accented letters 0xC0-0xFF and 0x9F.
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "Interface/PFontFile.h"
#include "Platform/TgaWriter.h"

namespace fs = std::filesystem;

namespace {

// The margin the "fonts.dat" line gives: each quad reaches this far past its advance, so half of it
// is left free on the left of every glyph.
constexpr int kMargin = 2;

struct Cell {
    uint8_t code;
    uint32_t codePoint;
};

std::vector<Cell> CellTable() {
    std::vector<Cell> cells;
    for (int c = 32; c <= 126; ++c) cells.push_back({static_cast<uint8_t>(c), static_cast<uint32_t>(c)});
    for (int c = 0xC0; c <= 0xFF; ++c) cells.push_back({static_cast<uint8_t>(c), static_cast<uint32_t>(c)});
    cells.push_back({0x9F, 0x178}); // Y with diaeresis
    return cells;
}

int Fail(const char* what, const char* detail) {
    std::fprintf(stderr, "mkfont: %s%s\n", what, detail);
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: mkfont FONT.ttf PIXELS NAME GAMEROOT\n");
        return 2;
    }
    const int pixels = std::atoi(argv[2]);
    const std::string name = argv[3];
    const fs::path root = argv[4];
    if (pixels < 4 || pixels > 128) return Fail("pixel size out of 4..128: ", argv[2]);

    FT_Library library;
    FT_Face face;
    if (FT_Init_FreeType(&library)) return Fail("cannot start FreeType", "");
    if (FT_New_Face(library, argv[1], 0, &face)) return Fail("cannot read font ", argv[1]);
    if (FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(pixels))) return Fail("cannot size font ", argv[1]);

    const std::vector<Cell> table = CellTable();
    const int ascender = static_cast<int>(std::ceil(face->size->metrics.ascender / 64.0));
    const int cellHeight = static_cast<int>(std::ceil(face->size->metrics.height / 64.0));
    int cellWidth = 0;
    std::vector<int> advances;
    for (const Cell& cell : table) {
        if (FT_Load_Char(face, cell.codePoint, FT_LOAD_DEFAULT)) return Fail("glyph missing in ", argv[1]);
        const int advance = static_cast<int>(std::lround(face->glyph->advance.x / 64.0));
        advances.push_back(advance);
        cellWidth = std::max(cellWidth, advance + kMargin + 1);
    }

    FontFileData font;
    font.cellWidth = cellWidth;
    font.cellHeight = cellHeight;
    font.width = cellWidth * kFontColumns;
    font.height = cellHeight * kFontRows;
    std::vector<uint8_t> rgba(static_cast<size_t>(font.width) * font.height * 4, 0);
    for (size_t i = 0; i < rgba.size(); i += 4) rgba[i] = rgba[i + 1] = rgba[i + 2] = 255;

    for (size_t i = 0; i < table.size(); ++i) {
        if (FT_Load_Char(face, table[i].codePoint, FT_LOAD_RENDER)) return Fail("cannot render a glyph of ", argv[1]);
        const FT_Bitmap& bitmap = face->glyph->bitmap;
        const int cellX = static_cast<int>(i % kFontColumns) * cellWidth;
        const int cellY = static_cast<int>(i / kFontColumns) * cellHeight;
        const int left = cellX + kMargin / 2 + face->glyph->bitmap_left;
        const int top = cellY + ascender - face->glyph->bitmap_top;
        for (unsigned row = 0; row < bitmap.rows; ++row) {
            for (unsigned column = 0; column < bitmap.width; ++column) {
                const int x = left + static_cast<int>(column), y = top + static_cast<int>(row);
                if (x < cellX || x >= cellX + cellWidth || y < cellY || y >= cellY + cellHeight) continue;
                const uint8_t coverage = bitmap.buffer[row * bitmap.pitch + column];
                uint8_t& alpha = rgba[(static_cast<size_t>(y) * font.width + x) * 4 + 3];
                alpha = std::max(alpha, coverage);
            }
        }
        font.cells.push_back({table[i].code, static_cast<float>(advances[i])});
    }
    FT_Done_Face(face);
    FT_Done_FreeType(library);

    std::string text;
    if (!WriteFontFile(font, text)) return Fail("a cell cannot be written", "");
    std::error_code error;
    fs::create_directories(root / "Data" / "Textures", error);
    fs::create_directories(root / "Data" / "Fonts", error);
    const fs::path texture = root / "Data" / "Textures" / (name + ".tga");
    if (!Platform::WriteTgaFile(texture.string(), font.width, font.height, rgba))
        return Fail("cannot write ", texture.c_str());
    const fs::path fnt = root / "Data" / "Fonts" / (name + ".fnt");
    std::ofstream out(fnt, std::ios::binary);
    out << text;
    if (!out.flush()) return Fail("cannot write ", fnt.c_str());

    FontListEntry entry;
    entry.name = name;
    entry.margin = kMargin;
    std::printf("%s\n", FormatFontListLine(entry).c_str());
    return 0;
}
