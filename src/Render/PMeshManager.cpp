#include "Render/PMeshManager.h"

namespace {
CPMeshManager* g_meshes = nullptr;
}

CPMeshManager* GetMeshManager() { return g_meshes; }

CPMeshManager::CPMeshManager() { g_meshes = this; }

CPMeshManager::~CPMeshManager() {
    if (g_meshes == this) g_meshes = nullptr;
}
