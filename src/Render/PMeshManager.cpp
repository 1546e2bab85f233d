#include "Render/PMeshManager.h"

CPMeshManager::CPMeshManager() = default;

CPMeshManager::~CPMeshManager() = default;
