#pragma once
// The shots that do not fly: the pickup the player's car collects, the mine, the electromagnetic
// pulse, the super weapon's white-out and the plain model.
#include "Render/PLight.h"
#include "Weapons/PShot.h"

class CPBonusShot : public CPShot {
public:
    enum Kind { Time = 0, Money = 1, Armor = 2, Super = 3, None = -1 };
    explicit CPBonusShot(const std::string& name) : CPShot(name) {}
    bool Init(const ShotParams& params) override;
    CPRefPtr<CPShot> Clone() override;
    void Launch(const Vec3& position, const Vec3& direction, float damage, const CPRefPtr<CPGameObject>& owner,
                void* extra) override;
    bool Update() override;
    // A time pickup cut short gives the game its normal speed back.
    void Abort() override;

    bool IsAvailable() const { return available_; }
    int GetKind() const { return kind_; }
    float GetTimeFactor() const { return timeFactor_; }
    int GetPhase() const { return phase_; }

private:
    std::string appear_, expire_, pickup_;
    float lifetime_ = 0.0f, timer_ = 0.0f;
    bool available_ = false;
    int phase_ = 0;
    float timeFactor_ = 1.0f;
    int kind_ = None;
    std::string kindWord_;
};

class CPMineShot : public CPShot {
public:
    explicit CPMineShot(const std::string& name) : CPShot(name) {}
    bool Init(const ShotParams& params) override;
    CPRefPtr<CPShot> Clone() override;
    void Launch(const Vec3& position, const Vec3& direction, float damage, const CPRefPtr<CPGameObject>& owner,
                void* extra) override;
    bool Update() override;
    // Out of the physics world.
    void Abort() override;
    float GetTriggerRadius() const { return triggerRadius_; }

private:
    float triggerRadius_ = 0.0f;
    std::string explosion_;
    float lifetime_ = 0.0f, age_ = 0.0f;
    bool timer_ = false;
};

class CPEmpShot : public CPShot {
public:
    explicit CPEmpShot(const std::string& name) : CPShot(name) {}
    bool Init(const ShotParams& params) override;
    CPRefPtr<CPShot> Clone() override;
    void Launch(const Vec3& position, const Vec3& direction, float damage, const CPRefPtr<CPGameObject>& owner,
                void* extra) override;
    bool Update() override;
    const LightRecord& GetLight() const { return light_; }

private:
    float damageFactor_ = 0.0f;
    Color colour_;
    LightRecord light_;
    float time_ = 0.0f, lifetime_ = 0.0f, radius_ = 0.0f;
};

class CPSuperShot : public CPShot {
public:
    explicit CPSuperShot(const std::string& name) : CPShot(name) {}
    bool Init(const ShotParams& params) override;
    CPRefPtr<CPShot> Clone() override;
    void Launch(const Vec3& position, const Vec3& direction, float damage, const CPRefPtr<CPGameObject>& owner,
                void* extra) override;
    bool Update() override;
    float GetLevel() const { return level_; }
    int GetPhase() const { return phase_; }

private:
    void SetGrey(int level);
    float time_ = 0.0f;
    int phase_ = 0;
    float level_ = 0.0f;
    std::string soundName_;
};

class CPSimpleShot : public CPShot {
public:
    explicit CPSimpleShot(const std::string& name) : CPShot(name) {}
    bool Init(const ShotParams& params) override;
    CPRefPtr<CPShot> Clone() override;
    bool Update() override { return true; }
    void LaunchDefault(const Vec3& position, const Vec3& direction, float damage);
    virtual const char* GetKindName() const { return "simple"; }

private:
    float first_ = 0.0f, second_ = 0.0f, cleared_ = 0.0f;
    std::string name_;
    bool side_ = false;
};
