#include "Render/PIVBlock.h"

void CPIVBlock::AddItem(CPRenderable* renderable) {
    if (!renderable) return;
    renderables.emplace_back(renderable);
    if (!renderable->IsStatic()) {
        indexCount += renderable->GetIndexCount();
        vertexCount += renderable->GetVertexCount();
    }
}
