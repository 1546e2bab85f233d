#pragma once
#include "Core/PSingleton.h"
// The bitmap fonts of "Data\Fonts\fonts.dat".
class CPFontManager : public CPSingleton<CPFontManager> {
public:
    CPFontManager();
    virtual ~CPFontManager();
    void LoadFonts() {}
};

inline CPFontManager* GetFontManager() { return CPSingleton<CPFontManager>::Instance(); }
