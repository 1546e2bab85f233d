#pragma once
// A mesh render part of a game object: vertices in the owner's space, their world-space copies
// (recomputed only when the owner's world matrix changed), 16-bit indices and a material. Owners
// may fill the lists directly (shots in world space, interfaces in screen pixels).
#include <string>
#include <vector>

#include "Core/Math/Mat4.h"
#include "Core/PGameObject.h"
#include "Core/POrientedBox.h"
#include "Render/PRenderable.h"
#include "Render/PVertexEffect.h"

class CPGameObject;
struct StaticMeshEntry;

// A collision box that follows the part's owner, with what the description loader gave it.
struct AttachedBox {
    std::vector<std::vector<int>> lists;
    CPOrientedBox box;
    float value = 0.0f; // boxes at 1.0 or above stay where they are
};

class CPRenderObject : public CPRenderable, public CPRenderPart {
public:
    explicit CPRenderObject(CPGameObject* owner = nullptr) : owner_(owner) {}
    int GetObjectSize() const override { return sizeof(*this); }
    const char* GetTypeName() const override { return "CPRenderObject"; }

    bool IsStatic() const override { return isStatic; }
    void SetStatic(bool flag) override { isStatic = flag; }
    int GetVertexCount() override { return static_cast<int>(vertices.size()); }
    int GetIndexCount() override { return static_cast<int>(indices.size()); }
    void Fill(CPVertex* vertexDest, CPIndex* indexDest, uint16_t base, int flag) override;
    void FillExtra(CPIndex* destination, int unused, int& first, int& last) override;
    CPRefPtr<CPMaterial> GetMaterial() const override { return material_; }
    StaticMeshEntry* GetStaticMesh() const override { return staticMesh; }
    const Mat4& GetStaticWorldMatrix() const override { return worldMatrix; }

    void SetMaterial(const CPRefPtr<CPMaterial>& material) { material_ = material; }
    // Owner, vertices, world vertices, indices, material, static flag (and when static the name and
    // mesh entry) and the vertex effects (cloned); not the attached boxes.
    virtual void CopyFrom(const CPRenderObject& other);
    // World vertices from the vertices and the owner's world matrix; the attached boxes follow.
    void UpdateWorldVertices();
    // Moves the vertices themselves: positions as points, normals as directions.
    void Transform(const Mat4& m);

    CPGameObject* GetOwner() const { return owner_; }
    void SetOwner(CPGameObject* owner) override { owner_ = owner; }
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

    bool hasVertexEffects = false;
    std::vector<CPRefPtr<CPVertexEffect>> vertexEffects;
    std::vector<CPVertex> vertices;
    std::vector<CPIndex> indices;
    std::vector<CPVertex> worldVertices;
    std::vector<AttachedBox> attachedBoxes;
    bool attachedBoxFlag = false;
    // The owner's world matrix, written by the owner whenever it rebuilds its transform.
    Mat4 worldMatrix = MatIdentity();
    std::string name;
    StaticMeshEntry* staticMesh = nullptr; // used only when static; not owned
    bool isStatic = false;

private:
    CPGameObject* owner_; // no reference: the owner holds the part
    CPRefPtr<CPMaterial> material_;
};
