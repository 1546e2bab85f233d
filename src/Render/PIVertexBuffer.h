#pragma once
// A ring of vertex and index buffer pairs (65536 vertices and 262144 indices a slot by default)
// that a render block writes into, one slot per fill, so the device never reads a buffer that is
// being written.
#include <memory>
#include <unordered_map>
#include <vector>

#include "Core/PManagedObject.h"
#include "Platform/Device.h"
#include "Render/PDeviceListener.h"
#include "Render/PVertex.h"

class CPIVBlock;
class CPRenderable;

class CPIVertexBuffer : public CPManagedObject, public CPDeviceListener {
public:
    static constexpr int kDefaultVertices = 65536;
    static constexpr int kDefaultIndices = 262144;
    // What one slot takes in a fill: 16-bit indices reach vertex 0xffff at most.
    static constexpr int kSlotVertices = 0xffff;
    static constexpr int kSlotIndices = 0x3ffff;

    explicit CPIVertexBuffer(int ringSize);
    ~CPIVertexBuffer() override;
    int GetObjectSize() const override { return sizeof(*this); }
    const char* GetTypeName() const override { return "CPIVertexBuffer"; }

    // Makes every slot's buffers; a zero capacity takes the default. False without change when
    // the buffers exist, and false when any creation fails.
    bool Create(Platform::Device* device, bool isStatic, int vertexCapacity, int indexCapacity);
    // Starts writing a slot (-1: the current one); false when locked already, without buffers, or
    // when a lock fails.
    bool Lock(int vertexCount, int indexCount, bool lockVertices, int slot);
    // Ends writing and advances the current slot.
    bool Unlock(bool unlockVertices);
    // Writes one IV block of this frame into the locked slot (moving to the next slot of the ring
    // when it does not fit the rest of this one). False when skipped or refused.
    bool Append(CPIVBlock* block);
    // Static mode: writes a renderable once, keyed by its address.
    bool AppendStatic(CPRenderable* renderable);

    void OnLostDevice() override;
    void OnResetDevice() override;

    bool IsLocked() const { return locked_; }
    bool HasBuffers() const { return !vertexBuffers_.empty() && vertexBuffers_[0] != nullptr; }
    int GetCurrentSlot() const { return currentSlot_; }
    int GetRingSize() const { return ringSize_; }
    int GetVerticesUsed() const { return verticesUsed_; }
    int GetIndicesUsed() const { return indicesUsed_; }
    void ResetUsage() {
        verticesUsed_ = 0;
        indicesUsed_ = 0;
    }
    int GetStaticVertexCount() const { return staticVertexCount_; }
    // Where AppendStatic wrote the renderable; -1 when it did not.
    int GetStaticOffset(const CPRenderable* renderable) const;
    Platform::VertexBuffer* GetVertexBuffer(int slot) const { return vertexBuffers_[static_cast<size_t>(slot)].get(); }
    Platform::IndexBuffer* GetIndexBuffer(int slot) const { return indexBuffers_[static_cast<size_t>(slot)].get(); }
    // Slots begun since the frame's first Lock: a frame never takes more than the ring holds.
    int GetSlotsThisFrame() const { return slotsThisFrame_; }
    void StartFrame() { slotsThisFrame_ = 0; }

private:
    bool NextSlot();

    std::unordered_map<const CPRenderable*, int> staticMap_;
    int staticVertexCount_ = 0;
    std::vector<std::unique_ptr<Platform::VertexBuffer>> vertexBuffers_;
    std::vector<std::unique_ptr<Platform::IndexBuffer>> indexBuffers_;
    int currentSlot_ = 0;
    int ringSize_;
    bool static_ = false;
    bool locked_ = false;
    bool vertexLocked_ = false;
    int indexCapacity_ = kDefaultIndices;
    int vertexCapacity_ = kDefaultVertices;
    CPVertex* vertexWrite_ = nullptr;
    CPIndex* indexWrite_ = nullptr;
    int indicesUsed_ = 0;
    int verticesUsed_ = 0;
    int slotsThisFrame_ = 0;
    Platform::Device* device_ = nullptr;
};
