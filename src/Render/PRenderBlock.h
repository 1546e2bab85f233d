#pragma once
// A batch of what is queued for one frame. The renderer drives its frame through these
// operations; the batching into vertex buffers by material fills them in.
#include "Core/PManagedObject.h"
#include "Render/PDeviceListener.h"

class CPRenderBlock : public CPManagedObject, public CPDeviceListener {
public:
    CPRenderBlock() = default;
    int GetObjectSize() const override { return sizeof(*this); }
    const char* GetTypeName() const override { return "CPRenderBlock"; }

    // Keeps the kind of block and the size of its buffer ring.
    virtual bool Init(bool isStatic, int ringSize);
    // Queues the block for this frame's fill (CPRender::QueueBlock).
    virtual void Submit();
    // Writes the queued items into the block's buffers.
    virtual void Fill() {}
    // Forgets this frame's items.
    virtual void ResetFrame() {}

    void OnLostDevice() override {}
    void OnResetDevice() override {}

    bool IsStatic() const { return static_; }
    int GetRingSize() const { return ringSize_; }
    int GetFrameStamp() const { return frameStamp_; }

private:
    bool static_ = false;
    int ringSize_ = 0;
    int frameStamp_ = -1;
};
