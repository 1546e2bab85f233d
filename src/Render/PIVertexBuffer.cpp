#include "Render/PIVertexBuffer.h"

#include <algorithm>
#include <string>

#include "Core/PLog.h"
#include "Render/PIVBlock.h"
#include "Render/PRenderable.h"
#include "Render/StaticMeshCache.h"

using namespace Platform;

CPIVertexBuffer::CPIVertexBuffer(int ringSize)
    : vertexBuffers_(static_cast<size_t>(std::max(ringSize, 1))),
      indexBuffers_(static_cast<size_t>(std::max(ringSize, 1))),
      ringSize_(std::max(ringSize, 1)) {}

CPIVertexBuffer::~CPIVertexBuffer() {
    if (locked_) Unlock(vertexLocked_);
}

bool CPIVertexBuffer::Create(Device* device, bool isStatic, int vertexCapacity, int indexCapacity) {
    if (HasBuffers()) return false;
    device_ = device;
    vertexCapacity_ = vertexCapacity > 0 ? vertexCapacity : kDefaultVertices;
    indexCapacity_ = indexCapacity > 0 ? indexCapacity : kDefaultIndices;
    currentSlot_ = 0;
    verticesUsed_ = indicesUsed_ = 0;
    static_ = isStatic;
    if (!device) return false;
    bool ok = true;
    for (int i = 0; i < ringSize_; ++i) {
        const uint32_t vbytes = static_cast<uint32_t>(vertexCapacity_) * sizeof(CPVertex);
        const uint32_t ibytes = static_cast<uint32_t>(indexCapacity_) * sizeof(CPIndex);
        ok = DeviceOk(device->CreateVertexBuffer(vbytes, !isStatic, vertexBuffers_[static_cast<size_t>(i)])) && ok;
        ok = DeviceOk(device->CreateIndexBuffer(ibytes, !isStatic, indexBuffers_[static_cast<size_t>(i)])) && ok;
    }
    if (!ok) {
        for (auto& b : vertexBuffers_) b.reset();
        for (auto& b : indexBuffers_) b.reset();
    }
    return ok;
}

bool CPIVertexBuffer::Lock(int vertexCount, int indexCount, bool lockVertices, int slot) {
    if (locked_) return false;
    // A failed reset leaves the ring without buffers while frames still fill.
    if (!HasBuffers()) return false;
    if (slot != -1) currentSlot_ = ((slot % ringSize_) + ringSize_) % ringSize_;
    verticesUsed_ = indicesUsed_ = 0;
    vertexWrite_ = nullptr;
    indexWrite_ = nullptr;
    const uint32_t flags = static_ ? LockNone : LockDiscard;
    VertexBuffer* vb = vertexBuffers_[static_cast<size_t>(currentSlot_)].get();
    IndexBuffer* ib = indexBuffers_[static_cast<size_t>(currentSlot_)].get();
    void* vdata = nullptr;
    void* idata = nullptr;
    if (lockVertices) {
        const DeviceResult r = vb->Lock(0, static_cast<uint32_t>(vertexCount) * sizeof(CPVertex), &vdata, flags);
        if (!DeviceOk(r)) {
            GetLog().Write(0, "DXError if %s on line %d\n%s\n%s\n", "VertexBuffer::Lock", __LINE__, DeviceResultName(r),
                           "");
            return false;
        }
    }
    const DeviceResult r = ib->Lock(0, static_cast<uint32_t>(indexCount) * sizeof(CPIndex), &idata, flags);
    if (!DeviceOk(r)) {
        GetLog().Write(0, "DXError if %s on line %d\n%s\n%s\n", "IndexBuffer::Lock", __LINE__, DeviceResultName(r), "");
        if (lockVertices) vb->Unlock();
        return false;
    }
    vertexWrite_ = static_cast<CPVertex*>(vdata);
    indexWrite_ = static_cast<CPIndex*>(idata);
    vertexLocked_ = lockVertices;
    locked_ = true;
    ++slotsThisFrame_;
    return true;
}

bool CPIVertexBuffer::Unlock(bool unlockVertices) {
    if (!locked_) return false;
    if (unlockVertices && vertexLocked_) vertexBuffers_[static_cast<size_t>(currentSlot_)]->Unlock();
    indexBuffers_[static_cast<size_t>(currentSlot_)]->Unlock();
    currentSlot_ = (currentSlot_ + 1) % ringSize_;
    locked_ = false;
    vertexLocked_ = false;
    vertexWrite_ = nullptr;
    indexWrite_ = nullptr;
    return true;
}

bool CPIVertexBuffer::NextSlot() {
    // Beginning another slot in this frame would overwrite one the frame still draws from.
    if (slotsThisFrame_ >= ringSize_) return false;
    const bool vertices = vertexLocked_;
    Unlock(true);
    return Lock(0, 0, vertices, currentSlot_);
}

bool CPIVertexBuffer::Append(CPIVBlock* block) {
    if (!block || (block->vertexCount == 0 && block->renderables.empty())) return false;
    if (!locked_) return false;
    const bool fits =
        block->indexCount + indicesUsed_ <= kSlotIndices && verticesUsed_ + block->vertexCount <= kSlotVertices;
    if (!fits && (verticesUsed_ > 0 || indicesUsed_ > 0) && !NextSlot()) {
        GetLog().Write(0, "Render block: %d vertices do not fit the ring this frame; dropped\n", block->vertexCount);
        return false;
    }
    if (!locked_) return false;
    block->deviceVertices = vertexBuffers_[static_cast<size_t>(currentSlot_)].get();
    block->deviceIndices = indexBuffers_[static_cast<size_t>(currentSlot_)].get();
    block->firstIndex = indicesUsed_;
    block->firstVertex = verticesUsed_;

    int totalIndices = 0, totalVertices = 0;
    std::vector<StaticMeshEntry*> meshOrder;
    std::unordered_map<StaticMeshEntry*, std::vector<CPRenderable*>> groups;
    for (const CPRefPtr<CPRenderable>& item : block->renderables) {
        CPRenderable* r = item.Get();
        if (r->IsStatic()) {
            StaticMeshEntry* mesh = r->GetStaticMesh();
            auto [it, added] = groups.try_emplace(mesh);
            if (added) meshOrder.push_back(mesh);
            it->second.push_back(r);
            continue;
        }
        const int i = r->GetIndexCount();
        const int v = r->GetVertexCount();
        // A static block's slot takes no dynamic vertices.
        if (i < 0 || v < 0 || !vertexWrite_) continue;
        // Refuse what does not fit the slot rather than write past it.
        if (indicesUsed_ + i > kSlotIndices || verticesUsed_ + v > kSlotVertices) {
            GetLog().Write(0, "Render block: a renderable of %d vertices and %d indices does not fit; dropped\n", v, i);
            continue;
        }
        r->Fill(vertexWrite_, indexWrite_, static_cast<uint16_t>(verticesUsed_), 0);
        vertexWrite_ += v;
        indexWrite_ += i;
        indicesUsed_ += i;
        verticesUsed_ += v;
        totalIndices += i;
        totalVertices += v;
    }
    block->indexCount = totalIndices;
    block->vertexCount = totalVertices;
    block->staticItems.clear();
    for (StaticMeshEntry* mesh : meshOrder) {
        if (!mesh || !mesh->vertexBuffer || !mesh->indexBuffer) continue;
        for (CPRenderable* r : groups[mesh]) block->staticItems.emplace_back(r);
    }
    block->filled = true;
    return true;
}

bool CPIVertexBuffer::AppendStatic(CPRenderable* renderable) {
    if (!renderable || !locked_ || !vertexWrite_) return false;
    const int v = renderable->GetVertexCount();
    const int i = renderable->GetIndexCount();
    if (v <= 0 || staticMap_.count(renderable)) return false;
    if (staticVertexCount_ + v > kSlotVertices || verticesUsed_ + v > vertexCapacity_ ||
        indicesUsed_ + i > indexCapacity_) {
        GetLog().Write(0, "Static block: full, %d vertices refused\n", v);
        return false;
    }
    staticMap_[renderable] = staticVertexCount_;
    renderable->Fill(vertexWrite_, indexWrite_, static_cast<uint16_t>(staticVertexCount_), 1);
    vertexWrite_ += v;
    indexWrite_ += i;
    verticesUsed_ += v;
    indicesUsed_ += i;
    staticVertexCount_ += v;
    return true;
}

int CPIVertexBuffer::GetStaticOffset(const CPRenderable* renderable) const {
    auto it = staticMap_.find(renderable);
    return it == staticMap_.end() ? -1 : it->second;
}

void CPIVertexBuffer::OnLostDevice() {
    if (locked_) {
        if (vertexLocked_) vertexBuffers_[static_cast<size_t>(currentSlot_)]->Unlock();
        indexBuffers_[static_cast<size_t>(currentSlot_)]->Unlock();
        locked_ = false;
        vertexLocked_ = false;
    }
    for (auto& b : vertexBuffers_) b.reset();
    for (auto& b : indexBuffers_) b.reset();
}

void CPIVertexBuffer::OnResetDevice() { Create(device_, static_, vertexCapacity_, indexCapacity_); }
