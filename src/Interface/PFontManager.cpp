#include "Interface/PFontManager.h"

CPFontManager::CPFontManager() = default;

CPFontManager::~CPFontManager() = default;
