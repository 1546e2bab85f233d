#pragma once
#include "Core/PSingleton.h"
// The material manager: shared (type, effect, texture block) triples. Until effects and texture
// blocks exist it is the singleton start-up creates and the kernel's loop end clears.
#include <string>
#include <vector>

#include "Render/PMaterial.h"

class CPMaterialManager : public CPSingleton<CPMaterialManager> {
public:
    CPMaterialManager();
    virtual ~CPMaterialManager();
    // A material of the layer; effects and textures come with the renderer's materials.
    CPRefPtr<CPMaterial> GetMaterial(int type, const std::string& effect, const std::vector<std::string>& textures) {
        (void)effect;
        (void)textures;
        return CPRefPtr<CPMaterial>(new CPMaterial(type));
    }
    // Drops the per-frame material blocks; called when the kernel's loop ends.
    void ClearMaterialBlocks() {}
};

inline CPMaterialManager* GetMaterialManager() { return CPSingleton<CPMaterialManager>::Instance(); }
