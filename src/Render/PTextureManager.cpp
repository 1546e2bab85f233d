#include "Render/PTextureManager.h"

#include <algorithm>

CPTextureBlock::~CPTextureBlock() {
    if (CPTextureManager* manager = GetTextureManager()) manager->RemoveTextureBlock(this);
}

CPTextureManager::CPTextureManager() {
    // Textures without an image for the video surfaces.
    video_ = CPRefPtr<CPTexture>(new CPTexture());
    video1_ = CPRefPtr<CPTexture>(new CPTexture());
    textures_["video"] = video_.Get();
    textures_["video1"] = video1_.Get();
}

CPTextureManager::~CPTextureManager() {
    video_.Reset();
    video1_.Reset();
    // Textures and blocks still alive outlive the caches; they stop reporting to them.
}

CPRefPtr<CPTexture> CPTextureManager::GetTexture(const std::string& specification) {
    auto it = textures_.find(specification);
    if (it != textures_.end()) return CPRefPtr<CPTexture>(it->second);
    CPRefPtr<CPTexture> texture(new CPTexture());
    if (!texture->Load(specification)) {
        texture = CPRefPtr<CPTexture>(new CPTexture());
        texture->Load("error.tga");
        return texture;
    }
    // Only a plain name is shared: a texture with options, or a stand-in, must not take the place
    // of the plain file's entry.
    if (specification.find(',') == std::string::npos) textures_[texture->GetName()] = texture.Get();
    return texture;
}

CPRefPtr<CPTextureBlock> CPTextureManager::GetTextureBlock(const std::vector<std::string>& specifications) {
    std::vector<CPRefPtr<CPTexture>> textures;
    textures.reserve(specifications.size());
    for (const std::string& spec : specifications) textures.push_back(GetTexture(spec));
    for (CPTextureBlock* block : blocks_) {
        if (block->GetCount() != static_cast<int>(textures.size())) continue;
        bool same = true;
        for (size_t i = 0; i < textures.size() && same; ++i)
            same = block->GetTexture(static_cast<int>(i)) == textures[i].Get();
        if (same) return CPRefPtr<CPTextureBlock>(block);
    }
    CPRefPtr<CPTextureBlock> block(new CPTextureBlock(std::move(textures)));
    blocks_.push_back(block.Get());
    return block;
}

void CPTextureManager::RemoveTexture(CPTexture* texture) {
    for (auto it = textures_.begin(); it != textures_.end();) {
        if (it->second == texture) it = textures_.erase(it);
        else ++it;
    }
}

void CPTextureManager::RemoveTextureBlock(CPTextureBlock* block) {
    blocks_.erase(std::remove(blocks_.begin(), blocks_.end(), block), blocks_.end());
}
