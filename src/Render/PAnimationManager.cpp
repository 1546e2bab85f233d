#include "Render/PAnimationManager.h"
#include <algorithm>

#include "Render/PAnimation.h"
#include "Render/PMeshManager.h"

CPAnimationManager::CPAnimationManager() = default;

CPAnimationManager::~CPAnimationManager() = default;

CPAnimation* CPAnimationManager::Find(const std::string& name) const {
    CPAnimation* const* found = cache_.Find(name);
    return found != nullptr ? *found : nullptr;
}

CPRefPtr<CPAnimation> CPAnimationManager::Get(const std::string& name, const MeshFile::VertexAnimation& block) {
    CPAnimation* animation = Find(name);
    // The new animation enters itself in the cache.
    CPRefPtr<CPAnimation> held(animation != nullptr ? animation : new CPAnimation(name));
    held->Load(block);
    return held;
}

CPAnimation::CPAnimation(std::string name) : name_(std::move(name)) {
    if (CPAnimationManager* manager = GetAnimationManager()) manager->cache_.Set(name_, this);
}

CPAnimation::~CPAnimation() {
    CPAnimationManager* manager = GetAnimationManager();
    if (manager == nullptr) return;
    CPAnimation* const* entry = manager->cache_.Find(name_);
    if (entry != nullptr && *entry == this) manager->cache_.Erase(name_);
}

bool CPAnimation::Load(const MeshFile::VertexAnimation& block) {
    const uint32_t colour = GetMeshManager() ? GetMeshManager()->GetVertexColour() : 0xFFFFFFFFu;
    frameCount = static_cast<int>(block.frames.size());
    frameTime = block.frameTime * (1.0f / 2400.0f);
    duration = static_cast<float>(frameCount) * frameTime;
    frames.assign(block.frames.size(), FrameRecord{});
    Vec3 lo(5000000.0f, 5000000.0f, 5000000.0f);
    Vec3 hi(-500000.0f, -5000000.0f, -500000.0f);
    for (size_t k = 0; k < block.frames.size(); ++k) {
        FrameRecord& frame = frames[k];
        frame.number = static_cast<int>(k);
        frame.vertices = block.frames[k].vertices;
        frame.indices = block.frames[k].indices;
        for (CPVertex& v : frame.vertices) {
            v.diffuse = colour;
            lo = {std::min(lo.x, v.position.x), std::min(lo.y, v.position.y), std::min(lo.z, v.position.z)};
            hi = {std::max(hi.x, v.position.x), std::max(hi.y, v.position.y), std::max(hi.z, v.position.z)};
        }
    }
    box = CPOrientedBox((lo + hi) * 0.5f, (hi - lo) * 0.5f);
    return true;
}
