#pragma once
// The bitmap fonts of "Data\Fonts\fonts.dat".
class CPFontManager {
public:
    CPFontManager();
    virtual ~CPFontManager();
    void LoadFonts() {}
};

CPFontManager* GetFontManager();
