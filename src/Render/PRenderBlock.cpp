#include "Render/PRenderBlock.h"

#include "Core/PGameObject.h"
#include "Core/PGlobalTimer.h"
#include "Render/PLight.h"
#include "Render/PRender.h"

CPRenderBlock::~CPRenderBlock() { ResetFrame(); }

bool CPRenderBlock::Init(Platform::Device* device, bool isStatic, int ringSize, int vertexCapacity, int indexCapacity) {
    if (ringSize <= 0) return false;
    ringSize_ = ringSize;
    CPRefPtr<CPIVertexBuffer> buffer(new CPIVertexBuffer(ringSize));
    if (!buffer->Create(device, isStatic, vertexCapacity, indexCapacity)) return false;
    vertexBuffer_ = buffer;
    static_ = isStatic;
    return true;
}

bool CPRenderBlock::Init(bool isStatic, int ringSize, int vertexCapacity, int indexCapacity) {
    CPRender* render = GetRender();
    return Init(render ? render->GetDevice() : nullptr, isStatic, ringSize, vertexCapacity, indexCapacity);
}

CPIVBlock* CPRenderBlock::FindBlock(const CPMaterial* material) const {
    auto it = blockTable_.find(material);
    return it == blockTable_.end() ? nullptr : it->second.Get();
}

CPIVBlock* CPRenderBlock::BlockFor(CPMaterial* material) {
    CPRefPtr<CPIVBlock>& slot = blockTable_[material];
    if (!slot) slot = CPRefPtr<CPIVBlock>(new CPIVBlock(vertexBuffer_));
    CPIVBlock* block = slot.Get();
    if (!block->inFrame) {
        block->inFrame = true;
        block->material = material;
        frameTable_.push_back(block);
    }
    return block;
}

void CPRenderBlock::DrawDynamicObject(CPGameObject* object) {
    // Depth-first, children in order, with an explicit stack: object chains can be very deep.
    std::vector<CPGameObject*> stack;
    if (object) stack.push_back(object);
    while (!stack.empty()) {
        CPGameObject* o = stack.back();
        stack.pop_back();
        if (static_ && !o->IsStatic()) continue;
        AddObject(o);
        if (!o->IsVisible()) continue;
        const auto& children = o->GetChildren();
        for (auto it = children.rbegin(); it != children.rend(); ++it)
            if (*it) stack.push_back(it->Get());
    }
}

void CPRenderBlock::AddObject(CPGameObject* object) {
    if (!object || !object->IsVisible()) return;
    switch (object->GetRenderType()) {
    case CPGameObject::RenderMesh:
    case CPGameObject::RenderAnimatedMesh:
    case CPGameObject::RenderSprite:
        // A render type whose part is missing or of another class draws nothing.
        if (auto* renderable = dynamic_cast<CPRenderable*>(object->GetRenderPart().Get())) AddRenderable(renderable);
        break;
    case CPGameObject::RenderLight:
        if (auto* light = dynamic_cast<CPLight*>(object->GetRenderPart().Get())) {
            const LightRecord& record = light->GetLightRecord();
            if (lightSink_) lightSink_(record);
            else if (CPRender* render = GetRender()) render->AddLight(record);
        }
        break;
    default: break;
    }
}

void CPRenderBlock::AddRenderable(CPRenderable* renderable) {
    if (!renderable) return;
    CPRefPtr<CPMaterial> material = renderable->GetMaterial();
    if (!material) return;
    BlockFor(material.Get())->AddItem(renderable);
}

void CPRenderBlock::Submit() {
    frameStamp_ = FrameCounter;
    if (CPRender* render = GetRender()) render->QueueBlock(this);
    for (CPIVBlock* block : frameTable_)
        if (block->material) block->material->AddBlock(block);
}

bool CPRenderBlock::Fill() {
    if (!needsRefill_ || !vertexBuffer_) return false;
    vertexBuffer_->StartFrame();
    if (!vertexBuffer_->Lock(0, 0, !static_, vertexBuffer_->GetCurrentSlot())) return false;
    for (CPIVBlock* block : frameTable_)
        if (!block->filled) vertexBuffer_->Append(block);
    vertexBuffer_->Unlock(!static_);
    needsRefill_ = false;
    return true;
}

void CPRenderBlock::ResetFrame() {
    for (CPIVBlock* block : frameTable_) {
        block->renderables.clear();
        block->staticItems.clear();
        block->filled = false;
        block->indexCount = 0;
        block->vertexCount = 0;
        block->inFrame = false;
        // Blocks of a lost frame, a failed Begin or a hidden layer must not stay in the lists.
        if (block->material) block->material->ResetBlocks();
        block->material.Reset();
    }
    frameTable_.clear();
    needsRefill_ = true;
    if (vertexBuffer_) vertexBuffer_->ResetUsage();
}

void CPRenderBlock::Clear() {
    ResetFrame();
    blockTable_.clear();
}

void CPRenderBlock::AddStaticObjects(CPGameObject* object) {
    if (!vertexBuffer_) return;
    std::vector<CPGameObject*> stack;
    if (object) stack.push_back(object);
    while (!stack.empty()) {
        CPGameObject* o = stack.back();
        stack.pop_back();
        if (!o->IsVisible()) continue;
        if (o->GetRenderType() == CPGameObject::RenderMesh && o->IsStatic())
            if (auto* renderable = dynamic_cast<CPRenderable*>(o->GetRenderPart().Get()))
                vertexBuffer_->AppendStatic(renderable);
        const auto& secondary = o->GetSecondaryObjects();
        for (size_t i = secondary.size(); i > 1; --i)
            if (secondary[i - 1].object) stack.push_back(secondary[i - 1].object);
        const auto& children = o->GetChildren();
        for (auto it = children.rbegin(); it != children.rend(); ++it)
            if (*it) stack.push_back(it->Get());
    }
}

bool CPRenderBlock::LockStatic() { return vertexBuffer_ && vertexBuffer_->Lock(0, 0, true, 0); }

bool CPRenderBlock::UnlockStatic() { return vertexBuffer_ && vertexBuffer_->Unlock(true); }
