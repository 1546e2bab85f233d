#include "Interface/PFontManager.h"

#include "Core/PLog.h"

namespace {
// A size the data can make zero divides by 1 instead.
float Divisor(float value) { return value != 0.0f ? value : 1.0f; }
} // namespace

void SPFont::SetCells(const FontFileData& file, float margin_, float spacing_) {
    cellHeight = static_cast<float>(file.cellHeight);
    margin = margin_;
    spacing = spacing_;
    const float width = static_cast<float>(file.width);
    const float height = Divisor(static_cast<float>(file.height));
    for (size_t i = 0; i < file.cells.size() && i < static_cast<size_t>(kFontCells); ++i) {
        const int column = static_cast<int>(i) % kFontColumns;
        const int row = static_cast<int>(i) / kFontColumns;
        const FontCell& cell = file.cells[i];
        const float advance = cell.advance + spacing + margin;
        GlyphRect& g = glyphs[cell.code];
        g.ua = column * file.cellWidth / Divisor(width);
        g.va = row * file.cellHeight / height;
        g.ub = g.ua + advance / Divisor(width + margin);
        g.vb = g.va + file.cellHeight / height;
        advances[cell.code] = advance;
    }
}

bool LayoutText(const SPFont& font, float x, float y, std::string_view text, float scaleX, float scaleY,
                std::vector<CPVertex>& vertices, std::vector<CPIndex>& indices) {
    const float h = font.cellHeight * scaleY;
    float penX = x, penY = y;
    for (unsigned char b : text) {
        if (b == '^') {
            penX = x;
            penY += h;
            continue;
        }
        if (vertices.size() / 4 >= static_cast<size_t>(kMaxQuads)) {
            GetLog().Write(0, "text cut at %d quads\n", kMaxQuads);
            return false;
        }
        const GlyphRect& g = font.glyphs[b];
        const float w = font.advances[b] * scaleX;
        const CPIndex base = static_cast<CPIndex>(vertices.size());
        CPVertex v;
        v.position = {penX, penY, 0};
        v.tu = g.ua, v.tv = g.va;
        vertices.push_back(v);
        v.position = {penX + w, penY, 0};
        v.tu = g.ub;
        vertices.push_back(v);
        v.position = {penX + w, penY + h, 0};
        v.tv = g.vb;
        vertices.push_back(v);
        v.position = {penX, penY + h, 0};
        v.tu = g.ua;
        vertices.push_back(v);
        for (CPIndex i : {0, 1, 2, 0, 2, 3}) indices.push_back(static_cast<CPIndex>(base + i));
        penX += (font.advances[b] - font.margin - font.spacing / 2) * scaleX;
    }
    return true;
}

CPFontManager::CPFontManager() = default;

CPFontManager::~CPFontManager() = default;

SPFont* CPFontManager::GetFont(const std::string& name) const {
    const CPRefPtr<SPFont>* font = fonts_.Find(name);
    return font ? font->Get() : nullptr;
}
