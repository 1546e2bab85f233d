#include "Weapons/PSparksShot.h"

#include <algorithm>
#include <cmath>

#include "Core/Math/Mat4.h"
#include "Core/Math/Math.h"
#include "Core/PRandom.h"

namespace {
constexpr float kDegree = 0.017453292f;
// A zero direction has no axis: bursts then go up.
Vec3 BurstAxis(const Vec3& direction) {
    const Vec3 d = Normalize(direction);
    return LengthSq(d) > 0.0f ? d : Vec3(0, 0, 1);
}
} // namespace

bool CPSparksShot::Init(const ShotParams& params) {
    type_ = ShotParam(params, 1);
    count_ = std::clamp(ShotParamInt(params, 2), 0, kMaxBurstParticles);
    size_ = ShotParamFloat(params, 3);
    speed_ = ShotParamFloat(params, 4);
    cone_ = ShotParamFloat(params, 5);
    fade_ = ShotParamInt(params, 6) != 0;
    life_ = ShotParamFloat(params, 7);
    return CPShot::Init(params);
}

CPRefPtr<CPShot> CPSparksShot::Clone() {
    CPRefPtr<CPSparksShot> copy(new CPSparksShot(shotName_));
    CopySound(*copy);
    copy->type_ = type_;
    copy->count_ = count_;
    copy->size_ = size_;
    copy->speed_ = speed_;
    copy->cone_ = cone_;
    copy->fade_ = fade_;
    copy->life_ = life_;
    return CPRefPtr<CPShot>(copy.Get());
}

void CPSparksShot::Launch(const Vec3& position, const Vec3& direction, float damage,
                          const CPRefPtr<CPGameObject>& owner, void* extra) {
    CPShot::Launch(position, direction, damage, owner, extra);
    const Vec3 d = BurstAxis(direction_);
    const Vec3 axis(-d.y, d.x, 0.0f);
    const bool turn = LengthSq(axis) > 0.0f;
    const Mat4 toAxis = turn ? MatRotationAxis(axis, std::acos(std::clamp(d.z, -1.0f, 1.0f)))
                             : (d.z < 0.0f ? MatRotationX(MathPi) : MatIdentity());
    for (int i = 0; i < count_; ++i) {
        const float life = life_ * (1.0f + 0.4f * ShotRandom());
        const float yaw = static_cast<float>(EngineRand() % 360) * kDegree;
        const float pitch = ShotRandom() * cone_ * kDegree;
        const float speed = speed_ * (1.0f + 0.4f * ShotRandom());
        const Vec3 v = Vec3(std::cos(yaw) * std::sin(pitch), std::sin(yaw) * std::sin(pitch), std::cos(pitch)) * speed;
        EmitShotParticle(type_, position, size_, life, fade_, Vec3TransformNormal(v, toAxis), Vec3(0, 0, -9));
    }
}

bool CPSprayShot::Init(const ShotParams& params) {
    type_ = ShotParam(params, 1);
    spare_ = ShotParam(params, 2);
    count_ = std::clamp(ShotParamInt(params, 3), 0, kMaxBurstParticles);
    smallest_ = ShotParamFloat(params, 4);
    largest_ = ShotParamFloat(params, 5);
    spread_ = ShotParamFloat(params, 6);
    return true;
}

CPRefPtr<CPShot> CPSprayShot::Clone() {
    CPRefPtr<CPSprayShot> copy(new CPSprayShot(shotName_));
    CopySound(*copy);
    copy->type_ = type_;
    copy->spare_ = spare_;
    copy->count_ = count_;
    copy->smallest_ = smallest_;
    copy->largest_ = largest_;
    copy->spread_ = spread_;
    return CPRefPtr<CPShot>(copy.Get());
}

void CPSprayShot::Launch(const Vec3& position, const Vec3& direction, float damage, const CPRefPtr<CPGameObject>& owner,
                         void* extra) {
    CPShot::Launch(position, direction, damage, owner, extra);
    const Vec3 d = BurstAxis(direction);
    int emitted = 0;
    for (int i = 0; i < count_; ++i) {
        const float s = smallest_ + ShotRandom() * (largest_ - smallest_);
        const float turn = (ShotRandom() * spread_ - 0.5f * spread_) * kDegree;
        const Vec3 stream = Vec3TransformNormal(d, MatRotationZ(turn));
        const float x = 5.0f * ShotRandom();
        float t = 0.0f;
        Vec3 p = position;
        while (t < x && emitted < kMaxBurstParticles) {
            const float step = ShotRandom() * largest_;
            p += stream * step;
            const float life = 20.0f + 5.0f * ShotRandom();
            const float turn = static_cast<float>(EngineRand() % 4);
            const float spin = 2.0f * MathPi * ShotRandom();
            EmitShotParticle(type_, p, (x - t) * s / x, life, true, Vec3(turn, 0.0f, spin), Vec3(0, 0, -9));
            ++emitted;
            // A step of nothing would never reach the end of the stream.
            if (step <= 0.0f) break;
            t += step;
        }
    }
}
