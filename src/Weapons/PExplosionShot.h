#pragma once
// Explosions: a camera-facing stack of animated sprites with a short flash and light, smoke and a
// column of particles, debris shots, a push and damage on everything near, and a scorch spot. The
// debris explosion also carries model pieces that trail sparks.
#include <array>

#include "Render/PLight.h"
#include "Weapons/PShot.h"

class CPSprite;

class CPExplosionShot : public CPShot {
public:
    CPExplosionShot(const std::string& name, int variant) : CPShot(name), variant_(variant) {}
    bool Init(const ShotParams& params) override;
    CPRefPtr<CPShot> Clone() override;
    void Launch(const Vec3& position, const Vec3& direction, float damage, const CPRefPtr<CPGameObject>& owner,
                void* extra) override;
    bool Update() override;

    int GetCell() const { return cell_; }
    int GetCellCount() const { return cellCount_; }
    float GetTime() const { return time_; }
    float GetRadius() const { return radius_; }
    int GetVariant() const { return variant_; }
    const LightRecord& GetLight() const { return light_; }
    CPSprite* GetFlash() const { return flash_; }
    CPGameObject* GetFlashObject() const { return flashObject_; }
    const std::vector<CPSprite*>& GetSprites() const { return sprites_; }

protected:
    // Reads the explosion's parameters from `first` on (the debris explosion has one more before).
    void InitExplosion(const ShotParams& params, int first);
    void CopyExplosion(CPExplosionShot& copy) const;
    // Points the sprite and flash references at the last N + 1 children.
    void CollectSprites();
    void FaceCamera();

    std::vector<std::string> debris_;
    float debrisImpulse_ = 0.0f, push_ = 0.0f, damageFactor_ = 0.0f;
    Color baseColour_;
    LightRecord light_;
    int cellCount_ = 1;
    float cellsPerSecond_ = 0.0f;
    int cell_ = 0;
    float time_ = 0.0f;
    int spriteCount_ = 0;
    std::string spare_;
    std::vector<CPSprite*> sprites_;
    CPSprite* flash_ = nullptr;
    CPGameObject* flashObject_ = nullptr;
    std::vector<std::array<float, 4>> cells_;
    float radius_ = 0.0f;
    std::string scorchType_, columnType_, smokeType_;
    int columnCount_ = 0, smokeCount_ = 0;
    int variant_ = 0;
};

class CPDebrisExplosionShot : public CPExplosionShot {
public:
    explicit CPDebrisExplosionShot(const std::string& name) : CPExplosionShot(name, 0) {}
    bool Init(const ShotParams& params) override;
    CPRefPtr<CPShot> Clone() override;
    bool Update() override;
    void LaunchDefault(const Vec3& position, const Vec3& direction, float damage);
    size_t GetPieceCount() const { return pieces_.size(); }

private:
    struct Piece {
        Vec3 position, velocity;
    };
    std::vector<Piece> pieces_;
    float trailTimer_ = 0.0f;
};

// Counts from the data are clamped to these, so a huge number cannot hang a launch.
inline constexpr int kMaxExplosionSprites = 64;
inline constexpr int kMaxExplosionParticles = 512;
