#include "Render/PMaterial.h"

#include "Render/PEffect.h"
#include "Render/PIVBlock.h"
#include "Render/PMaterialManager.h"
#include "Render/PRenderQueue.h"
#include "Render/PTextureManager.h"

CPMaterial::CPMaterial(int type) : type_(type), typeName_("CPMaterial - ") {}

CPMaterial::CPMaterial(int type, const CPRefPtr<CPEffect>& effect, const CPRefPtr<CPTextureBlock>& textures)
    : effect_(effect),
      textures_(textures),
      type_(type),
      typeName_("CPMaterial - " + (effect ? effect->GetName() : std::string())) {}

CPMaterial::~CPMaterial() {
    if (CPMaterialManager* manager = GetMaterialManager()) manager->RemoveMaterial(this);
}

void CPMaterial::AddBlock(CPIVBlock* block) {
    if (!block || (block->GetRenderables().empty() && block->GetVertexCount() == 0)) return;
    blocks_.push_back(block);
    if (!registered_) {
        if (CPRenderQueue* queue = GetRenderQueue()) {
            queue->RegisterMaterial(this);
            registered_ = true;
        }
    }
}
