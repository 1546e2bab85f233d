#pragma once
// Rockets: the ballistic one follows an arc under gravity, the homing one flies straight and turns
// toward its target. Both tell the script of what they hit ("shot") and end in a follow-up shot.
#include "Weapons/PShot.h"

struct RocketParams {
    std::string model;
    bool enemy = false;
    float speed = 0.0f;
    float damage = 0.0f;
    std::string followUp;
    std::string trailType;
    float trailSize = 0.0f;
    float trailLife = 0.0f;
    float trailInterval = 0.0f;
    float rayMargin = 0.0f;
    void Read(const ShotParams& params);
};

class CPRocketShot : public CPShot {
public:
    explicit CPRocketShot(const std::string& name) : CPShot(name) {}
    bool Init(const ShotParams& params) override;
    CPRefPtr<CPShot> Clone() override;
    void Launch(const Vec3& position, const Vec3& direction, float damage, const CPRefPtr<CPGameObject>& owner,
                void* extra) override;
    bool Update() override;
    virtual const char* GetKindName() const { return "simple"; }

    // The arc's point at shot time t (height measured from 0).
    Vec3 PointAt(float t) const;
    const RocketParams& GetParams() const { return params_; }
    float GetHorizontalSpeed() const { return hSpeed_; }
    float GetVerticalSpeed() const { return vSpeed_; }
    const Vec3& GetFlightDirection() const { return flight_; }

private:
    RocketParams params_;
    Vec3 launchPoint_;
    Vec3 flight_;
    float hSpeed_ = 0.0f, vSpeed_ = 0.0f;
    float time_ = 0.0f, lastTrail_ = 0.0f;
};

class CPHomingRocketShot : public CPShot {
public:
    explicit CPHomingRocketShot(const std::string& name) : CPShot(name) {}
    bool Init(const ShotParams& params) override;
    CPRefPtr<CPShot> Clone() override;
    void Launch(const Vec3& position, const Vec3& direction, float damage, const CPRefPtr<CPGameObject>& owner,
                void* extra) override;
    bool Update() override;
    void Abort() override { target_.Reset(); }
    virtual const char* GetKindName() const { return "simple"; }

    const RocketParams& GetParams() const { return params_; }
    float GetDistanceFlown() const { return flown_; }
    const Vec3& GetHead() const { return head_; }
    const Vec3& GetHeading() const { return heading_; }
    CPGameObject* GetTarget() const { return target_.Get(); }

private:
    bool End();
    RocketParams params_;
    float flown_ = 0.0f, time_ = 0.0f, lastTrail_ = 0.0f;
    Vec3 launchPoint_;
    Vec3 head_;
    Vec3 heading_;
    CPRefPtr<CPGameObject> target_;
};

// Trail particles fall due at a fixed interval of shot time; a long frame emits several. Never more
// than this many a frame, so a tiny interval cannot hang the turn.
inline constexpr int kMaxTrailPerFrame = 256;
