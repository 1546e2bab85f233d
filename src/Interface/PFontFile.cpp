#include "Interface/PFontFile.h"

#include <cstdio>
#include <cstdlib>

#include "Core/PTextReader.h"
#include "Core/PTokenizer.h"

std::vector<FontListEntry> ParseFontList(const void* data, int size) {
    std::vector<FontListEntry> fonts;
    CPTextReader reader(data, size);
    std::string line;
    while (reader.GetLine(line)) {
        CPTokenizer fields(line, "\t", true);
        FontListEntry entry;
        fields.NextToken(entry.name);
        if (entry.name.empty()) continue;
        std::string field;
        if (fields.NextToken(field)) entry.margin = static_cast<float>(std::atof(field.c_str()));
        if (fields.NextToken(field)) entry.layerOffset = std::atoi(field.c_str());
        if (fields.NextToken(field)) entry.spacing = std::atoi(field.c_str());
        fonts.push_back(entry);
    }
    return fonts;
}

std::string FormatFontListLine(const FontListEntry& entry) {
    char numbers[96];
    std::snprintf(numbers, sizeof numbers, "\t%g\t%d\t%d", entry.margin, entry.layerOffset, entry.spacing);
    return entry.name + numbers;
}

bool ParseFontFile(const void* data, int size, FontFileData& font) {
    font = FontFileData{};
    CPTextReader reader(data, size);
    static const char* const keys[4] = {"width", "height", "x", "y"};
    int* values[4] = {&font.width, &font.height, &font.cellWidth, &font.cellHeight};
    std::string line;
    for (int i = 0; i < 4; ++i) {
        if (!reader.GetLine(line)) return false;
        CPTokenizer fields(line, "\t", true);
        std::string key, value;
        fields.NextToken(key);
        fields.NextToken(value);
        if (key != keys[i]) return false;
        *values[i] = std::atoi(value.c_str());
    }
    while (static_cast<int>(font.cells.size()) < kFontCells && reader.GetLine(line)) {
        CPTokenizer fields(line, "\t", false);
        std::string character, advance;
        fields.NextToken(character);
        fields.NextToken(advance);
        FontCell cell;
        if (character == "space") cell.code = 32;
        else if (!character.empty()) cell.code = static_cast<uint8_t>(character[0]);
        cell.advance = static_cast<float>(std::atof(advance.c_str()));
        font.cells.push_back(cell);
    }
    return true;
}

bool WriteFontFile(const FontFileData& font, std::string& text) {
    // Room for the four header lines with the longest numbers.
    char buffer[96];
    text.clear();
    std::snprintf(buffer, sizeof buffer, "width\t%d\r\nheight\t%d\r\nx\t%d\r\ny\t%d\r\n", font.width, font.height,
                  font.cellWidth, font.cellHeight);
    text += buffer;
    const size_t count = font.cells.size() < kFontCells ? font.cells.size() : kFontCells;
    for (size_t i = 0; i < count; ++i) {
        const FontCell& cell = font.cells[i];
        if (cell.code == 32) {
            text += "space";
        } else if (cell.code > 32 && cell.code != 127) {
            text += static_cast<char>(cell.code);
        } else {
            text.clear();
            return false;
        }
        std::snprintf(buffer, sizeof buffer, "\t%g\r\n", cell.advance);
        text += buffer;
    }
    return true;
}
