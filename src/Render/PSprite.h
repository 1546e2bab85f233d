#pragma once
// Minimal camera-facing sprite part: its size and settings as a game object copies them. Facing the
// camera, filling and drawing come with the renderer's sprites.
#include <cstdint>
#include <vector>

#include "Core/Math/Vector.h"
#include "Core/PGameObject.h"
#include "Core/PManagedObject.h"
#include "Render/PMaterial.h"
#include "Render/PVertexEffect.h"

class CPGameObject;

class CPSprite : public CPManagedObject, public CPRenderPart {
public:
    explicit CPSprite(float halfEdge) : halfEdge_(halfEdge) {}
    int GetObjectSize() const override { return sizeof(*this); }
    const char* GetTypeName() const override { return "CPSprite"; }

    float GetHalfEdge() const { return halfEdge_; }
    // The facing axis and the angle limit (radians) beyond which the sprite is not drawn.
    void SetDirection(const Vec3& axis, float limit) {
        direction = axis;
        angleLimit = limit;
    }
    void SetMaterial(const CPRefPtr<CPMaterial>& material) { material_ = material; }
    const CPRefPtr<CPMaterial>& GetMaterial() const { return material_; }
    CPGameObject* GetOwner() const { return owner_; }
    void SetOwner(CPGameObject* owner) override { owner_ = owner; }
    int GetRenderType() const override { return CPGameObject::RenderSprite; }
    // Same size, material and settings; each vertex effect is copied.
    CPRefPtr<CPManagedObject> CloneForOwner(CPGameObject* owner) override {
        CPRefPtr<CPSprite> copy(new CPSprite(halfEdge_));
        copy->SetMaterial(material_);
        copy->SetOwner(owner);
        copy->angle = angle;
        copy->colour = colour;
        for (int i = 0; i < 4; ++i) copy->texRect[i] = texRect[i];
        for (const auto& effect : vertexEffects)
            if (effect) copy->vertexEffects.push_back(effect->Clone());
        return copy;
    }

    float angle = 0.0f; // about the view axis
    uint32_t colour = 0xFFFFFFFFu;
    float texRect[4] = {0.0f, 0.0f, 1.0f, 1.0f}; // left, top, right, bottom
    std::vector<CPRefPtr<CPVertexEffect>> vertexEffects;
    bool hasVertexEffects = false;
    Vec3 direction;
    float angleLimit = 0.0f; // 0: always drawn

private:
    float halfEdge_;
    CPGameObject* owner_ = nullptr;
    CPRefPtr<CPMaterial> material_;
};
