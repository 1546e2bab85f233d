#pragma once
#include "Core/PSingleton.h"
// The material manager: shared (type, effect, texture block) triples. Until effects and texture
// blocks exist it is the singleton start-up creates and the kernel's loop end clears.
class CPMaterialManager : public CPSingleton<CPMaterialManager> {
public:
    CPMaterialManager();
    virtual ~CPMaterialManager();
    // Drops the per-frame material blocks; called when the kernel's loop ends.
    void ClearMaterialBlocks() {}
};

inline CPMaterialManager* GetMaterialManager() { return CPSingleton<CPMaterialManager>::Instance(); }
