#include "Render/StaticMeshCache.h"

#include <cstring>

#include "Core/PUtils.h"

int LevelLoaded = 0;

namespace {

template <typename Buffer>
bool Fill(Buffer& buffer, const void* data, size_t bytes) {
    void* target = nullptr;
    if (!Platform::DeviceOk(buffer.Lock(0, 0, &target, 0)) || target == nullptr) return false;
    std::memcpy(target, data, bytes);
    return Platform::DeviceOk(buffer.Unlock());
}

} // namespace

StaticMeshEntry* CPStaticMeshCache::Find(const std::string& name) const {
    std::string key = name;
    ToLower(key);
    StaticMeshEntry* const* found = cache_.Find(key);
    return found != nullptr ? *found : nullptr;
}

StaticMeshEntry* CPStaticMeshCache::Create(Platform::Device* device, const std::string& name, const CPVertex* vertices,
                                           const CPIndex* indices, int vertexCount, int indexCount) {
    std::string key = name;
    ToLower(key);
    if (StaticMeshEntry* known = Find(key)) return known;

    auto entry = std::make_unique<StaticMeshEntry>();
    entry->vertexCount = vertexCount > 0 ? vertexCount : 0;
    entry->primitiveCount = indexCount > 0 ? indexCount / 3 : 0;
    entry->levelTag = LevelLoaded;
    if (device != nullptr && vertexCount > 0 && indexCount > 0 && vertices != nullptr && indices != nullptr) {
        const size_t vertexBytes = static_cast<size_t>(vertexCount) * sizeof(CPVertex);
        const size_t indexBytes = static_cast<size_t>(indexCount) * sizeof(CPIndex);
        std::unique_ptr<Platform::VertexBuffer> vb;
        std::unique_ptr<Platform::IndexBuffer> ib;
        if (Platform::DeviceOk(device->CreateVertexBuffer(static_cast<uint32_t>(vertexBytes), false, vb)) &&
            Platform::DeviceOk(device->CreateIndexBuffer(static_cast<uint32_t>(indexBytes), false, ib)) &&
            Fill(*vb, vertices, vertexBytes) && Fill(*ib, indices, indexBytes)) {
            entry->vertexBuffer = std::move(vb);
            entry->indexBuffer = std::move(ib);
        }
    }
    StaticMeshEntry* result = entry.get();
    records_.push_back(std::move(entry));
    cache_.Set(key, result);
    return result;
}

void CPStaticMeshCache::PurgeLevelMeshes() {
    std::vector<std::string> names;
    for (const auto& entry : cache_)
        if (entry.second->levelTag > 0) names.push_back(entry.first);
    for (const std::string& name : names) {
        StaticMeshEntry* entry = *cache_.Find(name);
        entry->indexBuffer.reset();
        entry->vertexBuffer.reset();
        cache_.Erase(name);
    }
}

void CPStaticMeshCache::Clear() {
    cache_.Clear();
    records_.clear();
}
