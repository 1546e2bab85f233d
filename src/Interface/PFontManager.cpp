#include "Interface/PFontManager.h"

namespace {
CPFontManager* g_fonts = nullptr;
}

CPFontManager* GetFontManager() { return g_fonts; }

CPFontManager::CPFontManager() { g_fonts = this; }

CPFontManager::~CPFontManager() {
    if (g_fonts == this) g_fonts = nullptr;
}
