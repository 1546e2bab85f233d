#pragma once
// A camera-facing quad placed at its owner game object, optionally seen only from within an angle
// of a direction (dimmed towards the limit).
#include <cstdint>
#include <vector>

#include "Core/Math/Vector.h"
#include "Core/PGameObject.h"
#include "Render/PRenderable.h"
#include "Render/PVertexEffect.h"

class CPGameObject;
class CPBaseCamera;

class CPSprite : public CPRenderable, public CPRenderPart {
public:
    explicit CPSprite(float halfEdge) : halfEdge_(halfEdge) {}
    int GetObjectSize() const override { return sizeof(*this); }
    const char* GetTypeName() const override { return "CPSprite"; }

    bool IsStatic() const override { return false; }
    void SetStatic(bool) override {}
    int GetVertexCount() override { return UpdateVisibility() ? 4 : 0; }
    int GetIndexCount() override { return UpdateVisibility() ? 6 : 0; }
    void Fill(CPVertex* vertices, CPIndex* indices, uint16_t base, int flag) override;
    void FillExtra(CPIndex*, int, int&, int&) override {}
    CPRefPtr<CPMaterial> GetMaterial() const override { return material_; }

    void SetMaterial(const CPRefPtr<CPMaterial>& material) { material_ = material; }
    // No reference: the owner holds the sprite.
    void SetOwner(CPGameObject* owner) override { owner_ = owner; }
    int GetRenderType() const override { return CPGameObject::RenderSprite; }
    // Same size, material and settings; each vertex effect is copied.
    CPRefPtr<CPManagedObject> CloneForOwner(CPGameObject* owner) override;
    CPGameObject* GetOwner() const { return owner_; }
    // The facing axis and the angle limit (radians) beyond which the sprite is not drawn.
    void SetDirection(const Vec3& axis, float limit) {
        direction = axis;
        angleLimit = limit;
    }
    const Vec3& GetDirection() const { return direction; }
    float GetAngleLimit() const { return angleLimit; }
    float GetHalfEdge() const { return halfEdge_; }

    // With an angle limit: seen only while the horizontal direction from the sprite to the camera
    // lies within the limit of the (rotated) direction; the colour dims towards the limit.
    bool UpdateVisibility();
    bool IsVisible() const { return visible_; }

    // The camera a sprite faces when there is no current camera (menus): the camera its material's
    // layer is drawn with, when that camera's view is a look-at.
    static const CPBaseCamera* FallbackCamera(int layer);

    bool hasVertexEffects = false;
    std::vector<CPRefPtr<CPVertexEffect>> vertexEffects;
    float angle = 0.0f; // about the view axis
    uint32_t colour = 0xFFFFFFFFu;
    float texRect[4] = {0.0f, 0.0f, 1.0f, 1.0f}; // umin, vmin, umax, vmax
    Vec3 direction;
    float angleLimit = 0.0f; // 0: always drawn

private:
    CPGameObject* owner_ = nullptr;
    CPRefPtr<CPMaterial> material_;
    float halfEdge_;
    bool visible_ = true;
};
