#include "Render/PRenderObject.h"

#include <algorithm>

#include "Core/PGameObject.h"

void CPRenderObject::UpdateWorldVertices() {
    if (isStatic) return;
    const Mat4& w = owner_ ? owner_->GetWorldMatrix() : worldMatrix;
    // Only position and normal follow the model: colours and texture coordinates written into the
    // world list (a flash fading its quad) stay. A list of another length is made afresh.
    if (worldVertices.size() != vertices.size()) worldVertices = vertices;
    for (size_t i = 0; i < vertices.size(); ++i) {
        worldVertices[i].position = Vec3TransformCoord(vertices[i].position, w);
        worldVertices[i].normal = Vec3TransformNormal(vertices[i].normal, w);
    }
    if (!attachedBoxFlag) return;
    for (AttachedBox& a : attachedBoxes) {
        if (a.value >= 1.0f) continue;
        a.box.worldMatrix = a.box.localMatrix * w;
        a.box.Update();
    }
}

void CPRenderObject::Fill(CPVertex* vertexDest, CPIndex* indexDest, uint16_t base, int) {
    if (isStatic || vertices.empty()) return;
    // World vertices of another length were never computed (or the lists were changed): make them.
    if (owner_ && (owner_->IsTransformFresh() || worldVertices.size() != vertices.size())) {
        UpdateWorldVertices();
        owner_->SetTransformFresh(false);
    }
    // Never more than the block counted for this part.
    const size_t count = std::min(worldVertices.size(), vertices.size());
    if (count == 0) return;
    if (hasVertexEffects && !vertexEffects.empty()) {
        bool first = true;
        for (const CPRefPtr<CPVertexEffect>& effect : vertexEffects) {
            if (!effect) continue;
            effect->Apply(first ? worldVertices.data() : vertexDest, vertexDest, static_cast<int>(count));
            first = false;
        }
        if (first) std::copy_n(worldVertices.data(), count, vertexDest);
    } else {
        std::copy_n(worldVertices.data(), count, vertexDest);
    }
    for (size_t i = 0; i < indices.size(); ++i) indexDest[i] = static_cast<CPIndex>(indices[i] + base);
}

void CPRenderObject::FillExtra(CPIndex* destination, int, int& first, int& last) {
    if (worldVertices.empty() || indices.empty()) return;
    std::copy(indices.begin(), indices.end(), destination);
    first = indices.front();
    last = indices.back();
}

void CPRenderObject::CopyFrom(const CPRenderObject& other) {
    // A part made for a new owner keeps it, so a copied object is drawn where it is.
    if (!owner_) owner_ = other.owner_;
    vertices = other.vertices;
    worldVertices = other.worldVertices;
    indices = other.indices;
    material_ = other.material_;
    isStatic = other.isStatic;
    if (isStatic) {
        name = other.name;
        staticMesh = other.staticMesh;
    }
    hasVertexEffects = other.hasVertexEffects;
    vertexEffects.clear();
    for (const auto& effect : other.vertexEffects)
        if (effect) vertexEffects.push_back(effect->Clone());
}

void CPRenderObject::Transform(const Mat4& m) {
    for (CPVertex& v : vertices) {
        v.position = Vec3TransformCoord(v.position, m);
        v.normal = Vec3TransformNormal(v.normal, m);
    }
}
