#pragma once
// Bursts that are all particles: sparks thrown in a cone, and streams of spray (blood, oil, alien).
// Both do their work at launch and end on their first step.
#include "Weapons/PShot.h"

class CPSparksShot : public CPShot {
public:
    explicit CPSparksShot(const std::string& name) : CPShot(name) {}
    bool Init(const ShotParams& params) override;
    CPRefPtr<CPShot> Clone() override;
    void Launch(const Vec3& position, const Vec3& direction, float damage, const CPRefPtr<CPGameObject>& owner,
                void* extra) override;
    bool Update() override { return false; }
    virtual const char* GetKindName() const { return "simple"; }

private:
    std::string type_;
    int count_ = 0;
    float size_ = 0.0f, speed_ = 0.0f, cone_ = 0.0f, life_ = 0.0f;
    bool fade_ = false;
};

class CPSprayShot : public CPShot {
public:
    explicit CPSprayShot(const std::string& name) : CPShot(name) {}
    bool Init(const ShotParams& params) override;
    CPRefPtr<CPShot> Clone() override;
    void Launch(const Vec3& position, const Vec3& direction, float damage, const CPRefPtr<CPGameObject>& owner,
                void* extra) override;
    bool Update() override { return false; }
    virtual const char* GetKindName() const { return "simple"; }

private:
    std::string type_, spare_;
    int count_ = 0;
    float smallest_ = 0.0f, largest_ = 0.0f, spread_ = 0.0f;
};

// Particles one burst emits at most, whatever the data says.
inline constexpr int kMaxBurstParticles = 2048;
