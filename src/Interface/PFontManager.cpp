#include "Interface/PFontManager.h"

#include "Core/PFileReader.h"
#include "Core/PLog.h"
#include "Core/PSettings.h"
#include "Render/PMaterialManager.h"
#include "Render/PRenderObject.h"

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
        // In float: a file's cell size may be any int, and the product must not overflow.
        g.ua = static_cast<float>(column) * static_cast<float>(file.cellWidth) / Divisor(width);
        g.va = static_cast<float>(row) * cellHeight / height;
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

void CPFontManager::LoadFonts() {
    CPFileReader list("Data\\Fonts\\fonts.dat");
    if (FAILED(list.Load())) {
        GetLog().Write(0, "no %s\n", list.GetPath().c_str());
        return;
    }
    for (const FontListEntry& entry : ParseFontList(list.GetData(), list.GetLength())) {
        CPFileReader fnt("Data\\Fonts\\" + entry.name + ".fnt");
        FontFileData file;
        if (FAILED(fnt.Load()) || !ParseFontFile(fnt.GetData(), fnt.GetLength(), file)) {
            GetLog().Write(0, "font %s of %s skipped: %s cannot be read\n", entry.name.c_str(), list.GetPath().c_str(),
                           fnt.GetPath().c_str());
            continue;
        }
        CPRefPtr<SPFont> font(new SPFont);
        font->SetCells(file, entry.margin, static_cast<float>(entry.spacing));
        if (CPMaterialManager* materials = GetMaterialManager())
            font->material = materials->GetMaterial(201 + entry.layerOffset, "interface.fx", {entry.name + ".tga"});
        fonts_.Set(entry.name, font);
    }
}

CPRefPtr<CPGameObject> CPFontManager::SetText(CPGameObject* textObject, float x, float y, const std::string& font,
                                              const std::string& text) {
    if (!textObject || textObject->GetRenderType() != CPGameObject::RenderMesh) return nullptr;
    auto* part = dynamic_cast<CPRenderObject*>(textObject->GetRenderPart().Get());
    if (!part) return nullptr;
    part->vertices.clear();
    part->worldVertices.clear();
    part->indices.clear();
    const SPFont* f = GetFont(font);
    if (!f) return nullptr;
    part->SetMaterial(f->material);
    LayoutText(*f, x, y, text, g_screenWidth / 1024.0f, g_screenHeight / 768.0f, part->vertices, part->indices);
    part->worldVertices = part->vertices;
    return CPRefPtr<CPGameObject>(textObject);
}
