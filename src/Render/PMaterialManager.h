#pragma once
// The material manager: hands out shared materials by (type, effect specification, texture
// specifications) and owns the texture and effect managers.
#include <memory>
#include <string>
#include <vector>

#include "Core/PManagedObject.h"
#include "Core/PSingleton.h"
#include "Platform/Device.h"
#include "Render/PEffectManager.h"
#include "Render/PMaterial.h"
#include "Render/PTextureManager.h"

class CPMaterialManager : public CPSingleton<CPMaterialManager> {
public:
    CPMaterialManager();
    virtual ~CPMaterialManager();

    // Never fails: missing files fall back to "simple.fx", "error.fx" and "error.tga".
    CPRefPtr<CPMaterial> GetMaterial(int type, const std::string& effect, const std::vector<std::string>& textures);
    void RemoveMaterial(CPMaterial* material);
    // Empties every material's block list (the end of the main loop, and the end of each frame).
    void ClearMaterialBlocks();

    // The device textures and effects are made on; the renderer sets it when it has one.
    void SetDevice(Platform::Device* device);
    CPTextureManager& GetTextureManager() { return *textures_; }
    CPEffectManager& GetEffectManager() { return *effects_; }
    size_t GetMaterialCount() const { return materials_.size(); }

private:
    std::vector<CPMaterial*> materials_; // creation order, no references
    std::unique_ptr<CPTextureManager> textures_;
    std::unique_ptr<CPEffectManager> effects_;
};

inline CPMaterialManager* GetMaterialManager() { return CPSingleton<CPMaterialManager>::Instance(); }
