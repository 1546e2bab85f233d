#pragma once
// A batch of what is queued for one frame, grouped per material into IV blocks. When the frame
// starts it writes all of them into one slot of its ring of vertex and index buffers, so each
// material's dynamic geometry of the frame is one contiguous range.
#include <unordered_map>
#include <vector>

#include "Core/PManagedObject.h"
#include "Platform/Device.h"
#include "Render/PDeviceListener.h"
#include "Render/PIVBlock.h"
#include "Render/PIVertexBuffer.h"
#include "Render/PMaterial.h"
#include "Render/PRenderable.h"

class CPGameObject;
struct LightRecord;

class CPRenderBlock : public CPManagedObject, public CPDeviceListener {
public:
    CPRenderBlock() = default;
    ~CPRenderBlock() override;
    int GetObjectSize() const override { return sizeof(*this); }
    const char* GetTypeName() const override { return "CPRenderBlock"; }

    // Makes the buffer ring on the device; false (and no buffer) when that fails. Without a device
    // argument the renderer's device is used.
    bool Init(Platform::Device* device, bool isStatic, int ringSize, int vertexCapacity = 0, int indexCapacity = 0);
    bool Init(bool isStatic, int ringSize, int vertexCapacity = 0, int indexCapacity = 0);

    // The object and, while it is visible, its children (in order, without recursion).
    void DrawDynamicObject(CPGameObject* object);
    // One visible object: its renderable under its material, or its light record.
    void AddObject(CPGameObject* object);
    // A renderable without a game object.
    void AddRenderable(CPRenderable* renderable);
    // Hands this frame's IV blocks to their materials (which register in the render queue).
    virtual void Submit();
    // Writes the frame's IV blocks into the next slot of the ring; false when nothing was to do.
    virtual bool Fill();
    // Forgets the frame: the IV blocks' items, counts and materials' block lists.
    virtual void ResetFrame();
    // Releases every IV block (level teardown).
    void Clear();
    // Static mode, between LockStatic and UnlockStatic: appends the meshes of the object and its
    // visible children and secondary objects.
    void AddStaticObjects(CPGameObject* object);
    bool LockStatic();
    bool UnlockStatic();

    // Where the block's lights go; the renderer's queue unless set (tests).
    using LightSink = void (*)(const LightRecord& light);
    void SetLightSink(LightSink sink) { lightSink_ = sink; }

    void OnLostDevice() override { needsRefill_ = true; }
    void OnResetDevice() override {}

    bool IsStatic() const { return static_; }
    int GetRingSize() const { return ringSize_; }
    int GetFrameStamp() const { return frameStamp_; }
    CPIVertexBuffer* GetVertexBuffer() const { return vertexBuffer_.Get(); }
    const std::vector<CPIVBlock*>& GetFrameBlocks() const { return frameTable_; }
    CPIVBlock* FindBlock(const CPMaterial* material) const;
    size_t GetBlockCount() const { return blockTable_.size(); }

private:
    CPIVBlock* BlockFor(CPMaterial* material);

    CPRefPtr<CPIVertexBuffer> vertexBuffer_;
    std::vector<CPIVBlock*> frameTable_; // this frame's blocks in the order first queued
    std::unordered_map<const CPMaterial*, CPRefPtr<CPIVBlock>> blockTable_;
    bool needsRefill_ = true;
    int ringSize_ = 0;
    int frameStamp_ = -1;
    bool static_ = false;
    LightSink lightSink_ = nullptr;
};
