#pragma once
// A textured quad fixed in a direction of the sky (the sun first), facing the viewer, with a cycle
// of textures and two effects to choose from.
#include <string>
#include <vector>

#include "DynamicSky/VertexObject.h"

class SkyBillboard : public VertexObject {
public:
    static constexpr uint32_t kColor = 0xFF000014;

    void SetEffectNames(const std::string& name0, const std::string& name1);
    void AddTexture(const std::string& name) { textures_.push_back(name); }
    // Direction (normalised here) and the tilt that turns the vertical onto it.
    void SetDirection(const Vec3& direction);
    void SetDistance(float distance) { distance_ = distance; }
    void SetSpin(float radians) { spin_ = radians; }
    // The current layer's angle and scale.
    void SetLayerValues(float angle, float scale) {
        layerAngle_ = angle;
        layerScale_ = scale;
    }

    // The quad in the local x-z plane, then texture 0 and effect 1.
    void Build(float size);
    void SelectEffect(int index);
    void NextTexture();
    void SetAlpha(int alpha);
    // Faces the quad to the viewer at the centre, turned upright, and draws it.
    virtual HRESULT Draw(float time);

    Vec3 GetCentre() const { return direction_ * distance_; }
    const Vec3& GetDirection() const { return direction_; }
    const Mat4& GetTilt() const { return tilt_; }
    int GetTextureIndex() const { return textureIndex_; }
    int GetEffectIndex() const { return effectIndex_; }
    float GetLayerScale() const { return layerScale_; }
    // The matrix Draw puts the quad through.
    Mat4 PlacementMatrix() const;

private:
    void LoadCurrentTexture();

    Vec3 direction_{0, 0, 1};
    float distance_ = 0.0f;
    std::string effects_[2];
    int effectIndex_ = 1;
    float spin_ = 0.0f;
    float layerAngle_ = 0.0f;
    float layerScale_ = 1.0f;
    std::vector<std::string> textures_;
    int textureIndex_ = 0;
    Mat4 tilt_ = MatIdentity();
};

// Turns v by the angle about the axis: v cos t + (k x v) sin t + k (k . v)(1 - cos t), k the unit axis.
Vec3 SkyTurn(const Vec3& v, const Vec3& axis, float angle);
