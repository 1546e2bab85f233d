#pragma once
// The vertex animations shared by name. The cache holds no reference: an animation lives while a
// render part holds it and takes its entry with it.
#include <string>

#include "Core/PHashMap.h"
#include "Core/PManagedObject.h"
#include "Core/PSingleton.h"
#include "Render/MeshFile.h"

class CPAnimation;

class CPAnimationManager : public CPSingleton<CPAnimationManager> {
public:
    CPAnimationManager();
    virtual ~CPAnimationManager();

    // The animation of the name, made on first request; either way the block is read into it, so
    // every holder sees the frames of the latest read. Returned with a reference.
    CPRefPtr<CPAnimation> Get(const std::string& name, const MeshFile::VertexAnimation& block);

    CPAnimation* Find(const std::string& name) const;
    size_t GetCount() const { return cache_.Size(); }

private:
    friend class CPAnimation;
    CPHashMap<CPAnimation*> cache_;
};

inline CPAnimationManager* GetAnimationManager() { return CPSingleton<CPAnimationManager>::Instance(); }
