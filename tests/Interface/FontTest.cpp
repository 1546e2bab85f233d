// Font files (".fnt" and "fonts.dat"), glyph cells and the layout of texts.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "Interface/PFontFile.h"
#include "Interface/PFontManager.h"
#include "Platform/ImageDecoder.h"
#include "ScriptHarness.h"

namespace {

FontFileData Parse(const std::string& text, bool* ok = nullptr) {
    FontFileData font;
    const bool parsed = ParseFontFile(text.data(), static_cast<int>(text.size()), font);
    if (ok) *ok = parsed;
    return font;
}

// A 256-wide font with 16-pixel cells whose line i defines `codes[i]` with advance 10.
CPRefPtr<SPFont> MakeFont(const std::string& codes, float margin = 2, float spacing = 0) {
    FontFileData file;
    file.width = 256, file.height = 160, file.cellWidth = 16, file.cellHeight = 16;
    for (char c : codes) file.cells.push_back({static_cast<uint8_t>(c), 10.0f});
    CPRefPtr<SPFont> font(new SPFont);
    font->SetCells(file, margin, spacing);
    return font;
}

TEST(FontFileTest, HeaderMustBeExactlyWidthHeightXY) {
    struct Case {
        const char* text;
        bool ok;
    } cases[] = {
        {"width\t256\nheight\t160\nx\t16\ny\t16\nA\t10\n", true},
        {"WIDTH\t256\nheight\t160\nx\t16\ny\t16\nA\t10\n", false},
        {"height\t160\nwidth\t256\nx\t16\ny\t16\nA\t10\n", false},
        {"width\t256\nheight\t160\nx\t16\n", false},
        {"", false},
        {"width\t256\n// a comment line\nheight\t160\n\nx\t16\ny\t16\n", true},
    };
    for (const Case& c : cases) {
        bool ok = false;
        Parse(c.text, &ok);
        EXPECT_EQ(ok, c.ok) << c.text;
    }
}

TEST(FontFileTest, CharacterLines) {
    bool ok = false;
    std::string text = "width\t256\nheight\t160\nx\t16\ny\t16\nspace\t4\nA\t10.5\n\"\t3\nAB\t7\n";
    FontFileData font = Parse(text, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(font.width, 256);
    EXPECT_EQ(font.cellHeight, 16);
    ASSERT_EQ(font.cells.size(), 4u);
    EXPECT_EQ(font.cells[0].code, 32);
    EXPECT_FLOAT_EQ(font.cells[0].advance, 4.0f);
    EXPECT_EQ(font.cells[1].code, 'A');
    EXPECT_FLOAT_EQ(font.cells[1].advance, 10.5f);
    EXPECT_EQ(font.cells[2].code, '"'); // quotes are not honoured on character lines
    EXPECT_EQ(font.cells[3].code, 'A'); // the first byte of the field

    // Lines past the 160th are ignored.
    std::string many = "width\t256\nheight\t160\nx\t16\ny\t16\n";
    for (int i = 0; i < 170; ++i) many += "B\t" + std::to_string(i) + "\n";
    font = Parse(many, &ok);
    ASSERT_TRUE(ok);
    ASSERT_EQ(font.cells.size(), 160u);
    EXPECT_FLOAT_EQ(font.cells.back().advance, 159.0f);
}

TEST(FontFileTest, WriterReadsBackAsWritten) {
    FontFileData font;
    font.width = 320, font.height = 190, font.cellWidth = 20, font.cellHeight = 19;
    for (int c = 32; c < 127; ++c) font.cells.push_back({static_cast<uint8_t>(c), static_cast<float>(c % 13) + 0.5f});
    for (int c = 0xC0; c < 0x100; ++c) font.cells.push_back({static_cast<uint8_t>(c), 9.0f});
    font.cells.push_back({0x9F, 8.0f});
    std::string text;
    ASSERT_TRUE(WriteFontFile(font, text));
    bool ok = false;
    FontFileData back = Parse(text, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(back.width, 320);
    EXPECT_EQ(back.height, 190);
    EXPECT_EQ(back.cellWidth, 20);
    EXPECT_EQ(back.cellHeight, 19);
    ASSERT_EQ(back.cells.size(), font.cells.size());
    for (size_t i = 0; i < font.cells.size(); ++i) {
        EXPECT_EQ(back.cells[i].code, font.cells[i].code) << i;
        EXPECT_FLOAT_EQ(back.cells[i].advance, font.cells[i].advance) << i;
    }

    // The longest numbers keep their own lines: the header is not cut, the first cell stays.
    FontFileData wide = font;
    wide.width = wide.height = wide.cellWidth = wide.cellHeight = -2147483647 - 1;
    ASSERT_TRUE(WriteFontFile(wide, text));
    back = Parse(text, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(back.cellHeight, -2147483647 - 1);
    ASSERT_EQ(back.cells.size(), font.cells.size());
    EXPECT_EQ(back.cells[0].code, 32);

    // A blank or control byte cannot be carried by a line.
    font.cells[5].code = '\t';
    EXPECT_FALSE(WriteFontFile(font, text));
    EXPECT_TRUE(text.empty());
}

TEST(FontFileTest, FontList) {
    std::string text = "small\t2\t0\t0\n// the title font\ntitle\t3.5\t1\t2\nbare\n\"two words\"\t1\n";
    auto fonts = ParseFontList(text.data(), static_cast<int>(text.size()));
    ASSERT_EQ(fonts.size(), 4u);
    EXPECT_EQ(fonts[1].name, "title");
    EXPECT_FLOAT_EQ(fonts[1].margin, 3.5f);
    EXPECT_EQ(fonts[1].layerOffset, 1);
    EXPECT_EQ(fonts[1].spacing, 2);
    EXPECT_FLOAT_EQ(fonts[2].margin, 2.0f); // absent: 2
    EXPECT_EQ(fonts[3].name, "two words");
    std::string line = FormatFontListLine(fonts[1]);
    EXPECT_EQ(line, "title\t3.5\t1\t2");
    auto again = ParseFontList(line.data(), static_cast<int>(line.size()));
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(again[0].spacing, 2);
}

TEST(FontCellsTest, GlyphRectangleAndAdvance) {
    // Margin 2, spacing 0, width 256, cell 16, advance 10: column 3 spans u 0.1875 to 0.2340.
    CPRefPtr<SPFont> font = MakeFont("012C");
    const GlyphRect& g = font->glyphs['C'];
    EXPECT_FLOAT_EQ(g.ua, 0.1875f);
    EXPECT_NEAR(g.ub, 0.2340f, 5e-5f);
    EXPECT_FLOAT_EQ(g.va, 0.0f);
    EXPECT_FLOAT_EQ(g.vb, 0.1f);
    EXPECT_FLOAT_EQ(font->advances['C'], 12.0f);

    // A later line for the same byte replaces the earlier one; rows follow columns.
    std::string codes(17, 'x');
    codes[16] = 'y';
    codes[1] = 'y';
    font = MakeFont(codes);
    EXPECT_FLOAT_EQ(font->glyphs['y'].ua, 0.0f);
    EXPECT_FLOAT_EQ(font->glyphs['y'].va, 0.1f);
}

TEST(FontCellsTest, ZeroSizesDivideByOne) {
    FontFileData file;
    file.width = 0, file.height = 0, file.cellWidth = 16, file.cellHeight = 16;
    file.cells.push_back({'A', 10});
    file.cells.push_back({'B', 10});
    CPRefPtr<SPFont> font(new SPFont);
    font->SetCells(file, 0, 0); // width + margin is 0 too
    for (char c : {'A', 'B'}) {
        const GlyphRect& g = font->glyphs[static_cast<uint8_t>(c)];
        for (float v : {g.ua, g.va, g.ub, g.vb}) EXPECT_TRUE(std::isfinite(v));
    }
}

TEST(FontCellsTest, HugeCellSizesStayInFloat) {
    // Column 15 of cells 200,000,000 wide on a 256-wide image starts at 15 * 2e8 / 256 = 11,718,750,
    // and row 9 of cells 300,000,000 high at 9 * 3e8 / 256 = 10,546,875: both products lie beyond
    // what an int holds.
    FontFileData file;
    file.width = 256, file.height = 256, file.cellWidth = 200000000, file.cellHeight = 300000000;
    for (int i = 0; i < kFontCells; ++i) file.cells.push_back({static_cast<uint8_t>(i), 10});
    CPRefPtr<SPFont> font(new SPFont);
    font->SetCells(file, 0, 0);
    EXPECT_FLOAT_EQ(font->glyphs[15].ua, 11718750.0f);
    EXPECT_FLOAT_EQ(font->glyphs[9 * 16].va, 10546875.0f);
}

TEST(TextLayoutTest, QuadsAndPen) {
    CPRefPtr<SPFont> font = MakeFont("012C");
    struct Case {
        float scaleX, width, pen;
    } cases[] = {{1.0f, 12.0f, 10.0f}, {1.25f, 15.0f, 12.5f}};
    for (const Case& c : cases) {
        std::vector<CPVertex> v;
        std::vector<CPIndex> i;
        ASSERT_TRUE(LayoutText(*font, 100, 50, "CC", c.scaleX, 1.0f, v, i));
        ASSERT_EQ(v.size(), 8u);
        EXPECT_FLOAT_EQ(v[1].position.x - v[0].position.x, c.width);
        EXPECT_FLOAT_EQ(v[4].position.x - v[0].position.x, c.pen);
        EXPECT_FLOAT_EQ(v[2].position.y - v[1].position.y, 16.0f);
        EXPECT_FLOAT_EQ(v[0].tu, 0.1875f);
        EXPECT_FLOAT_EQ(v[2].tu, font->glyphs['C'].ub);
        EXPECT_FLOAT_EQ(v[2].tv, font->glyphs['C'].vb);
        EXPECT_EQ(i, (std::vector<CPIndex>{0, 1, 2, 0, 2, 3, 4, 5, 6, 4, 6, 7}));
    }
}

TEST(TextLayoutTest, NewLinesEmptyTextAndUnsetGlyphs) {
    CPRefPtr<SPFont> font = MakeFont("AB", 2, 4);
    std::vector<CPVertex> v;
    std::vector<CPIndex> i;
    LayoutText(*font, 10, 20, "A^B", 1.0f, 0.75f, v, i);
    ASSERT_EQ(v.size(), 8u);
    EXPECT_FLOAT_EQ(v[4].position.x, 10.0f);
    EXPECT_FLOAT_EQ(v[4].position.y, 20.0f + 12.0f);

    v.clear(), i.clear();
    LayoutText(*font, 10, 20, "", 1.0f, 1.0f, v, i);
    EXPECT_TRUE(v.empty() && i.empty());

    // An unset glyph: a quad of width 0 and the pen back by margin + spacing / 2.
    LayoutText(*font, 10, 20, "zA", 1.0f, 1.0f, v, i);
    ASSERT_EQ(v.size(), 8u);
    EXPECT_FLOAT_EQ(v[1].position.x, v[0].position.x);
    EXPECT_FLOAT_EQ(v[4].position.x, 10.0f - 4.0f);
}

TEST(TextLayoutTest, StopsBeforeTheIndicesWrap) {
    CPRefPtr<SPFont> font = MakeFont("A");
    std::vector<CPVertex> v;
    std::vector<CPIndex> i;
    EXPECT_FALSE(LayoutText(*font, 0, 0, std::string(kMaxQuads + 10, 'A'), 1.0f, 1.0f, v, i));
    EXPECT_EQ(v.size(), 4u * kMaxQuads);
    EXPECT_EQ(i.back(), 4 * kMaxQuads - 1);
}

TEST(MkfontTest, OutputReadsBackAsWritten) {
    const char* ttf = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
    if (!std::filesystem::exists(ttf)) GTEST_SKIP() << "no DejaVu font";
    ScriptHarness::GameRoot root("");
    std::string command = std::string("\"" VASTREL_BINARY_DIR "/bin/mkfont\" ") + ttf + " 16 small . > line.txt";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(root.ReadFile("line.txt"), "small\t2\t0\t0\n");

    bool ok = false;
    FontFileData font = Parse(root.ReadFile("Data/Fonts/small.fnt"), &ok);
    ASSERT_TRUE(ok);
    ASSERT_EQ(font.cells.size(), 160u);
    EXPECT_EQ(font.width, 16 * font.cellWidth);
    EXPECT_EQ(font.height, 10 * font.cellHeight);
    EXPECT_EQ(font.cells[0].code, 32);
    EXPECT_EQ(font.cells['A' - 32].code, 'A');
    EXPECT_EQ(font.cells[95 + (0xE9 - 0xC0)].code, 0xE9);
    EXPECT_EQ(font.cells[159].code, 0x9F);
    for (const FontCell& cell : font.cells) {
        EXPECT_GT(cell.advance, 0.0f);
        EXPECT_LE(cell.advance + 2, font.cellWidth);
    }

    // The atlas: white, ink only in alpha, some ink in the cell of "A" and none in the space's.
    std::string tga = root.ReadFile("Data/Textures/small.tga");
    Platform::Image image;
    ASSERT_TRUE(Platform::DecodeImage(tga.data(), tga.size(), image));
    ASSERT_EQ(image.width, font.width);
    ASSERT_EQ(image.height, font.height);
    auto inkInCell = [&](int cell) {
        int ink = 0;
        const int x0 = (cell % 16) * font.cellWidth, y0 = (cell / 16) * font.cellHeight;
        for (int y = y0; y < y0 + font.cellHeight; ++y)
            for (int x = x0; x < x0 + font.cellWidth; ++x) {
                const uint8_t* p = &image.faces[0][(static_cast<size_t>(y) * image.width + x) * 4];
                EXPECT_EQ(p[0], 255);
                ink += p[3] > 128;
            }
        return ink;
    };
    EXPECT_EQ(inkInCell(0), 0);
    EXPECT_GT(inkInCell('A' - 32), 20);
    EXPECT_GT(inkInCell(95 + (0xE9 - 0xC0)), 20);
}

} // namespace
