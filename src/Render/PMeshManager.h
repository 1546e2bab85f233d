#pragma once
#include "Core/PSingleton.h"
// The description loader that builds game objects from ".rdf" descriptions and mesh files.
class CPMeshManager : public CPSingleton<CPMeshManager> {
public:
    CPMeshManager();
    virtual ~CPMeshManager();
};

inline CPMeshManager* GetMeshManager() { return CPSingleton<CPMeshManager>::Instance(); }
