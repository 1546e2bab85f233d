#pragma once
// Minimal mesh render part of a game object: its owner, material and the world matrix the owner
// hands it. Vertex data, filling and drawing come with the renderer's renderables.
#include "Core/Math/Mat4.h"
#include "Core/PGameObject.h"
#include "Core/PManagedObject.h"
#include "Render/PMaterial.h"

class CPGameObject;

class CPRenderObject : public CPManagedObject, public CPRenderPart {
public:
    explicit CPRenderObject(CPGameObject* owner = nullptr) : owner_(owner) {}
    int GetObjectSize() const override { return sizeof(*this); }
    const char* GetTypeName() const override { return "CPRenderObject"; }

    // Takes over the source's contents; the owner stays this part's own.
    virtual void CopyFrom(const CPRenderObject& source) { material_ = source.material_; }

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

private:
    CPGameObject* owner_; // no reference: the owner holds the part
    CPRefPtr<CPMaterial> material_;
};
