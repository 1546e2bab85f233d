#pragma once
// The bitmap fonts of "Data\Fonts\fonts.dat" and the layout of texts in them: a text becomes one
// textured quad per byte (Windows-1252), in screen pixels.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Core/PGameObject.h"
#include "Core/PHashMap.h"
#include "Core/PManagedObject.h"
#include "Core/PSingleton.h"
#include "Interface/PFontFile.h"
#include "Render/PMaterial.h"
#include "Render/PVertex.h"

// A glyph's cell in the font texture, as texture fractions.
struct GlyphRect {
    float ua = 0, va = 0, ub = 0, vb = 0;
};

class SPFont : public CPManagedObject {
public:
    int GetObjectSize() const override { return sizeof(*this); }
    const char* GetTypeName() const override { return "SPFont"; }

    // Sets the cell height, margin and spacing, and every glyph of the file's character lines; a
    // later line for the same byte replaces the earlier one, cells the file lacks stay zero.
    void SetCells(const FontFileData& file, float margin, float spacing);

    CPRefPtr<CPMaterial> material;
    GlyphRect glyphs[256];
    float advances[256] = {}; // frame pixels, margin and spacing included
    float cellHeight = 0.0f;
    float margin = 0.0f;
    float spacing = 0.0f;
};

// A text or a screen stops at this many quads: past it the 16-bit indices would wrap.
constexpr int kMaxQuads = 16384;

// Appends the quads of the text at (x, y) (top-left of the first character, screen pixels) with
// the 1024 x 768 frame scaled by (scaleX, scaleY). "^" starts a new line. Answers false when the
// text was cut at kMaxQuads.
bool LayoutText(const SPFont& font, float x, float y, std::string_view text, float scaleX, float scaleY,
                std::vector<CPVertex>& vertices, std::vector<CPIndex>& indices);

class CPFontManager : public CPSingleton<CPFontManager> {
public:
    CPFontManager();
    virtual ~CPFontManager();
    // Reads "fonts.dat" and every font it lists; a font whose ".fnt" is missing or malformed is
    // skipped.
    void LoadFonts();
    // Lays the text out in the object's render object at (x, y) (screen pixels) in the named font.
    // Answers the object, or null when it is not a mesh object or the font is not loaded (the object
    // is then left empty).
    CPRefPtr<CPGameObject> SetText(CPGameObject* textObject, float x, float y, const std::string& font,
                                   const std::string& text);

    // The font of that name, or null.
    SPFont* GetFont(const std::string& name) const;
    // Stores the font under its name, replacing one of the same name.
    void AddFont(const std::string& name, const CPRefPtr<SPFont>& font) { fonts_.Set(name, font); }

private:
    CPHashMap<CPRefPtr<SPFont>> fonts_{100};
};

inline CPFontManager* GetFontManager() { return CPSingleton<CPFontManager>::Instance(); }
