#pragma once
// Debris pieces: physical models thrown by the launch direction, alive for a while, emitting
// particles (through attached particle systems, or a trail of their own).
#include "Weapons/PShot.h"

class CPGibShot : public CPShot {
public:
    explicit CPGibShot(const std::string& name) : CPShot(name) {}
    bool Init(const ShotParams& params) override;
    CPRefPtr<CPShot> Clone() override;
    void Launch(const Vec3& position, const Vec3& direction, float damage, const CPRefPtr<CPGameObject>& owner,
                void* extra) override;
    bool Update() override;
    // Deactivated (its emitters hold a raw owner pointer) and out of the physics world.
    void Abort() override;
    virtual const char* GetKindName() const { return "gib"; }
    float GetAge() const { return age_; }

protected:
    // Into the physics world at the position (collision group 3) and thrown from `throwPoint`.
    void Throw(const Vec3& position, const Vec3& throwPoint, const Vec3& impulse);
    void CopyGib(CPGibShot& copy) const;
    std::vector<std::string> systems_;
    float lifetime_ = 0.0f, age_ = 0.0f, interval_ = 0.0f;
};

class CPGibTrailShot : public CPGibShot {
public:
    explicit CPGibTrailShot(const std::string& name) : CPGibShot(name) {}
    bool Init(const ShotParams& params) override;
    CPRefPtr<CPShot> Clone() override;
    void Launch(const Vec3& position, const Vec3& direction, float damage, const CPRefPtr<CPGameObject>& owner,
                void* extra) override;
    bool Update() override;

private:
    float spare_ = 0.0f, particleLife_ = 0.0f, particleSize_ = 0.0f;
    int turns_ = 0;
    std::string particleType_;
    float emitTimer_ = 0.0f;
};
