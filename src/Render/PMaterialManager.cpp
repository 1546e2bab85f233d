#include "Render/PMaterialManager.h"

CPMaterialManager::CPMaterialManager() = default;

CPMaterialManager::~CPMaterialManager() = default;
