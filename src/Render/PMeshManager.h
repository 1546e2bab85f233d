#pragma once
// The description loader that builds game objects from ".rdf" descriptions and mesh files.
class CPMeshManager {
public:
    CPMeshManager();
    virtual ~CPMeshManager();
};

CPMeshManager* GetMeshManager();
