#pragma once
// Minimal mesh render part of a game object: its owner, material, the world matrix the owner hands
// it, its vertex and index lists and, once it is drawn from the static-mesh cache, that entry.
// Filling and drawing come with the renderer's renderables.
#include <vector>

#include "Core/Math/Mat4.h"
#include "Core/PGameObject.h"
#include "Core/PManagedObject.h"
#include "Render/PMaterial.h"
#include "Render/PVertex.h"
#include "Render/PVertexEffect.h"

class CPGameObject;
struct StaticMeshEntry;

class CPRenderObject : public CPManagedObject, public CPRenderPart {
public:
    explicit CPRenderObject(CPGameObject* owner = nullptr) : owner_(owner) {}
    int GetObjectSize() const override { return sizeof(*this); }
    const char* GetTypeName() const override { return "CPRenderObject"; }

    // Takes over the source's contents; the owner stays this part's own.
    virtual void CopyFrom(const CPRenderObject& source) {
        material_ = source.material_;
        vertices = source.vertices;
        worldVertices = source.worldVertices;
        indices = source.indices;
        staticMesh = source.staticMesh;
        isStatic = source.isStatic;
        hasVertexEffects = source.hasVertexEffects;
        vertexEffects.clear();
        for (const CPRefPtr<CPVertexEffect>& effect : source.vertexEffects)
            if (effect) vertexEffects.push_back(effect->Clone());
    }

    int GetRenderType() const override { return CPGameObject::RenderMesh; }
    CPRefPtr<CPManagedObject> CloneForOwner(CPGameObject* owner) override {
        CPRefPtr<CPRenderObject> copy(new CPRenderObject(owner));
        copy->CopyFrom(*this);
        return copy;
    }
    void ApplyMaterial(CPManagedObject* material) override {
        SetMaterial(CPRefPtr<CPMaterial>(dynamic_cast<CPMaterial*>(material)));
    }
    void SetWorldMatrix(const Mat4& world) override { worldMatrix = world; }

    void SetMaterial(const CPRefPtr<CPMaterial>& material) { material_ = material; }
    const CPRefPtr<CPMaterial>& GetMaterial() const { return material_; }
    CPGameObject* GetOwner() const { return owner_; }
    void SetOwner(CPGameObject* owner) override { owner_ = owner; }

    Mat4 worldMatrix = MatIdentity();
    std::vector<CPVertex> vertices;
    std::vector<CPVertex> worldVertices;
    std::vector<CPIndex> indices;
    // The shared device buffers it is drawn from once static; owned by the renderer's cache.
    StaticMeshEntry* staticMesh = nullptr;
    bool isStatic = false;
    bool hasVertexEffects = false;
    std::vector<CPRefPtr<CPVertexEffect>> vertexEffects;

private:
    CPGameObject* owner_; // no reference: the owner holds the part
    CPRefPtr<CPMaterial> material_;
};
