#pragma once
// Plasma: the charge is a cluster of animated sprites that gathers on its owner and then releases
// its follow-up shot; the ball flies straight as a camera-facing quad carrying a point light.
#include <array>

#include "Weapons/PShot.h"

class CPSprite;

class CPPlasmaShot : public CPShot {
public:
    explicit CPPlasmaShot(const std::string& name) : CPShot(name) {}
    bool Init(const ShotParams& params) override;
    CPRefPtr<CPShot> Clone() override;
    void Launch(const Vec3& position, const Vec3& direction, float damage, const CPRefPtr<CPGameObject>& owner,
                void* extra) override;
    bool Update() override;
    void Abort() override { anchor_.Reset(); }

    const std::vector<std::array<float, 4>>& GetFrames() const { return frames_; }
    const std::vector<CPSprite*>& GetSprites() const { return sprites_; }
    float GetAge() const { return age_; }
    float GetRadius() const { return radius_; }

private:
    void PlaceChildren();
    void CollectSprites();
    float life_ = 0.0f, radius_ = 0.0f, spriteSize_ = 0.0f, frameTime_ = 0.0f;
    int spriteCount_ = 0, materialType_ = 0, columns_ = 1, rows_ = 1;
    std::string texture_, effect_, followUp_;
    float age_ = 0.0f;
    std::vector<std::array<float, 4>> frames_;
    std::vector<CPSprite*> sprites_; // the render parts of the children, which hold them
    CPRefPtr<CPGameObject> anchor_;
};

class CPPlasmaBallShot : public CPShot {
public:
    explicit CPPlasmaBallShot(const std::string& name) : CPShot(name) {}
    bool Init(const ShotParams& params) override;
    CPRefPtr<CPShot> Clone() override;
    void Launch(const Vec3& position, const Vec3& direction, float damage, const CPRefPtr<CPGameObject>& owner,
                void* extra) override;
    bool Update() override;

    float GetDistanceFlown() const { return flown_; }
    const Vec3& GetHead() const { return head_; }
    CPGameObject* GetLightObject() const { return light_.Get(); }

private:
    void RebuildQuad();
    bool enemy_ = false;
    float speed_ = 0.0f, damage_ = 0.0f, halfSize_ = 0.0f;
    std::string texture_, effect_, followUp_;
    int materialType_ = 0;
    float colour_[3] = {0, 0, 0};
    float range_ = 0.0f, attenuation_ = 0.0f;
    float flown_ = 0.0f;
    Vec3 head_, flight_;
    CPRefPtr<CPGameObject> light_;
};

// Sprites a charge may carry at most: a count from the data beyond it is clamped.
inline constexpr int kMaxPlasmaSprites = 256;
