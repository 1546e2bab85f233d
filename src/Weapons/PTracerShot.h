#pragma once
// Streaks: the tracer and the gauss beam fly straight as a stretched quad whose tail follows the
// head at a fraction of its speed, and collapse onto the head after a hit or 150 units. The
// lightning bolt is a streak the scripts step themselves.
#include "Weapons/PShot.h"

class CPTracerShot : public CPShot {
public:
    explicit CPTracerShot(const std::string& name) : CPShot(name) {}
    bool Init(const ShotParams& params) override;
    CPRefPtr<CPShot> Clone() override;
    void Launch(const Vec3& position, const Vec3& direction, float damage, const CPRefPtr<CPGameObject>& owner,
                void* extra) override;
    bool Update() override;
    virtual const char* GetKindName() const { return "simple"; }

    bool IsEnemy() const { return enemy_; }
    float GetSpeed() const { return speed_; }
    float GetDamage() const { return damage_; }
    float GetHeadDistance() const { return headDistance_; }
    float GetTailDistance() const { return tailDistance_; }
    const Vec3& GetHead() const { return head_; }
    const Vec3& GetTail() const { return tail_; }
    int GetState() const { return state_; }
    float GetStreakLength() const { return streakLength_; }
    const std::string& GetFollowUp() const { return followUp_; }

protected:
    // The gauss beam: parameters without the impulse factor, a slower tail, a head past the hit.
    CPTracerShot(const std::string& name, float tailFactor, float hitOvershoot, bool hasImpulse)
        : CPShot(name), tailFactor_(tailFactor), hitOvershoot_(hitOvershoot), hasImpulse_(hasImpulse) {}
    virtual CPTracerShot* MakeCopy() const { return new CPTracerShot(shotName_); }
    void CopyTracer(CPTracerShot& copy) const;
    void RebuildQuad();

    bool enemy_ = false;
    float speed_ = 0.0f;
    float damage_ = 0.0f;
    float halfWidth_ = 0.0f;
    std::string texture_;
    std::string effect_;
    int materialType_ = 0;
    std::string followUp_;
    float impulse_ = 0.0f;

    float headDistance_ = 0.0f;
    float tailDistance_ = 0.0f;
    float streakLength_ = 0.0f;
    Vec3 head_;
    Vec3 tail_;
    Vec3 flight_;
    int state_ = 0;
    float tailFactor_ = 0.2f;
    float hitOvershoot_ = 0.0f;
    bool hasImpulse_ = true;
};

class CPGaussShot : public CPTracerShot {
public:
    explicit CPGaussShot(const std::string& name) : CPTracerShot(name, 0.05f, 0.01f, false) {}

protected:
    CPTracerShot* MakeCopy() const override { return new CPGaussShot(shotName_); }
};

// The scripted lightning bolt: grows from its start point along its direction, 20 units at most,
// and reports the car it reaches.
class CPLightningShot : public CPTracerShot {
public:
    explicit CPLightningShot(const std::string& name) : CPTracerShot(name) {}
    // A bolt is never pooled.
    CPRefPtr<CPShot> Clone() override { return CPRefPtr<CPShot>(); }
    void Launch(const Vec3& position, const Vec3& direction, float damage, const CPRefPtr<CPGameObject>& owner,
                void* extra) override;
    bool Update() override {
        CPRefPtr<CPGameObject> hit;
        return Step(hit) > 0;
    }
    // 1 still growing, 0 a car was hit (`hit` holds it), -1 finished.
    int Step(CPRefPtr<CPGameObject>& hit);

    // What StartLighting initialises a bolt with.
    static ShotParams DefaultParams();
};
