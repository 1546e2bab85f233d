#include "Render/PMaterialManager.h"

namespace {
CPMaterialManager* g_materials = nullptr;
}

CPMaterialManager* GetMaterialManager() { return g_materials; }

CPMaterialManager::CPMaterialManager() { g_materials = this; }

CPMaterialManager::~CPMaterialManager() {
    if (g_materials == this) g_materials = nullptr;
}
