#pragma once
// A material: the shared triple of a layer number (its type), an effect and an ordered texture
// block. During a frame it collects the IV blocks drawn with it and registers itself in the render
// queue on the first one.
#include <string>
#include <vector>

#include "Core/PManagedObject.h"

class CPEffect;
class CPTextureBlock;
class CPIVBlock;

class CPMaterial : public CPManagedObject {
public:
    // A bare material of a layer, with no effect and no textures (tests and placeholders).
    explicit CPMaterial(int type = 0);
    CPMaterial(int type, const CPRefPtr<CPEffect>& effect, const CPRefPtr<CPTextureBlock>& textures);
    ~CPMaterial() override;
    int GetObjectSize() const override { return sizeof(*this); }
    // "CPMaterial - " followed by the effect's name.
    const char* GetTypeName() const override { return typeName_.c_str(); }

    // The render layer the material is drawn in.
    int GetType() const { return type_; }
    CPEffect* GetEffect() const { return effect_.Get(); }
    CPTextureBlock* GetTextureBlock() const { return textures_.Get(); }

    // Takes an IV block of this frame; one with nothing to draw is ignored. The first block while
    // unregistered registers the material in the render queue.
    void AddBlock(CPIVBlock* block);
    void ResetBlocks() { blocks_.clear(); }
    const std::vector<CPIVBlock*>& GetBlocks() const { return blocks_; }

    bool IsRegistered() const { return registered_; }
    void SetRegistered(bool registered) { registered_ = registered; }

private:
    CPRefPtr<CPEffect> effect_;
    CPRefPtr<CPTextureBlock> textures_;
    std::vector<CPIVBlock*> blocks_; // not owned: the render block holds them
    int type_;
    bool registered_ = false;
    std::string typeName_;
};
