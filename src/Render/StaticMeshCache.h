#pragma once
// The static-mesh cache of the renderer: per lower-cased mesh name one pair of device vertex and
// index buffers filled once, drawn as static items instead of being copied every frame. Meshes made
// while a level is loaded carry its tag and are released at its teardown. Render objects keep plain
// pointers to entries, so a purged entry stays a valid record without buffers (it draws nothing)
// until the cache is cleared when the renderer stops.
#include <memory>
#include <string>
#include <vector>

#include "Core/PHashMap.h"
#include "Platform/Device.h"
#include "Render/PVertex.h"

// 1 while a level is loaded: set by the level loader before it builds, 0 at its teardown.
extern int LevelLoaded;

struct StaticMeshEntry {
    std::unique_ptr<Platform::VertexBuffer> vertexBuffer; // vertex count x 48 bytes
    std::unique_ptr<Platform::IndexBuffer> indexBuffer;   // 16-bit indices
    int vertexCount = 0;
    int primitiveCount = 0; // index count / 3
    float unused[6] = {};
    int levelTag = 0; // LevelLoaded when it was made

    bool HasBuffers() const { return vertexBuffer != nullptr && indexBuffer != nullptr; }
};

class CPStaticMeshCache {
public:
    // The entry of the lower-cased name. A known name answers its entry and ignores the data;
    // otherwise the data are copied into new buffers on the device (none without a device or for
    // a mesh without vertices or indices).
    StaticMeshEntry* Create(Platform::Device* device, const std::string& name, const CPVertex* vertices,
                            const CPIndex* indices, int vertexCount, int indexCount);
    StaticMeshEntry* Find(const std::string& name) const;
    // Releases the buffers of every entry made while a level was loaded and forgets its name.
    void PurgeLevelMeshes();
    // Frees every record (the renderer stops).
    void Clear();
    size_t GetCount() const { return cache_.Size(); }

private:
    CPHashMap<StaticMeshEntry*> cache_;
    std::vector<std::unique_ptr<StaticMeshEntry>> records_;
};
