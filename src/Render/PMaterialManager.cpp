#include "Render/PMaterialManager.h"

#include <algorithm>

CPMaterialManager::CPMaterialManager()
    : textures_(std::make_unique<CPTextureManager>()), effects_(std::make_unique<CPEffectManager>()) {}

CPMaterialManager::~CPMaterialManager() {
    textures_.reset();
    effects_.reset();
}

void CPMaterialManager::SetDevice(Platform::Device* device) {
    textures_->SetDevice(device);
    effects_->SetDevice(device);
}

CPRefPtr<CPMaterial> CPMaterialManager::GetMaterial(int type, const std::string& effect,
                                                    const std::vector<std::string>& textures) {
    CPRefPtr<CPEffect> fx = effects_->GetEffect(effect);
    CPRefPtr<CPTextureBlock> block = textures_->GetTextureBlock(textures);
    for (CPMaterial* m : materials_)
        if (m->GetType() == type && m->GetEffect() == fx.Get() && m->GetTextureBlock() == block.Get())
            return CPRefPtr<CPMaterial>(m);
    CPRefPtr<CPMaterial> material(new CPMaterial(type, fx, block));
    materials_.push_back(material.Get());
    return material;
}

void CPMaterialManager::RemoveMaterial(CPMaterial* material) {
    materials_.erase(std::remove(materials_.begin(), materials_.end(), material), materials_.end());
}

void CPMaterialManager::ClearMaterialBlocks() {
    for (CPMaterial* m : materials_) m->ResetBlocks();
}
