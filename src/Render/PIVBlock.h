#pragma once
// The renderables of one material inside a render block for one frame, with their range in the
// block's buffers and the static items drawn from their own meshes.
#include <vector>

#include "Core/PManagedObject.h"
#include "Platform/Device.h"
#include "Render/PDeviceListener.h"
#include "Render/PIVertexBuffer.h"
#include "Render/PMaterial.h"
#include "Render/PRenderable.h"

class CPIVBlock : public CPManagedObject, public CPDeviceListener {
public:
    explicit CPIVBlock(const CPRefPtr<CPIVertexBuffer>& buffer) : vertexBuffer_(buffer) {}
    int GetObjectSize() const override { return sizeof(*this); }
    const char* GetTypeName() const override { return "CPIVBlock"; }

    // Appends the renderable; a dynamic one adds its counts to the block's.
    void AddItem(CPRenderable* renderable);

    void OnLostDevice() override { filled = false; }
    void OnResetDevice() override {}

    const std::vector<CPRefPtr<CPRenderable>>& GetRenderables() const { return renderables; }
    int GetVertexCount() const { return vertexCount; }
    int GetIndexCount() const { return indexCount; }

    int firstVertex = 0;
    int firstIndex = 0;
    int indexCount = 0;
    int vertexCount = 0;
    bool filled = false;
    std::vector<CPRefPtr<CPRenderable>> staticItems;
    std::vector<CPRefPtr<CPRenderable>> renderables;
    Platform::VertexBuffer* deviceVertices = nullptr;
    Platform::IndexBuffer* deviceIndices = nullptr;
    // The material this frame's items are drawn with, while the block is in its frame table.
    CPRefPtr<CPMaterial> material;
    bool inFrame = false;

private:
    CPRefPtr<CPIVertexBuffer> vertexBuffer_;
};
