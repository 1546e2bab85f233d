#include "Weapons/PRocketShot.h"

#include <algorithm>
#include <cmath>

#include "Core/PGlobalTimer.h"
#include "Core/PRayQuery.h"
#include "Weapons/PShotWorld.h"
#include "Weapons/PWeaponsSystem.h"

void RocketParams::Read(const ShotParams& params) {
    model = ShotParam(params, 1);
    enemy = ShotParam(params, 2) == "enemy";
    speed = ShotParamFloat(params, 3);
    damage = ShotParamFloat(params, 4);
    followUp = ShotParam(params, 5);
    trailType = ShotParam(params, 6);
    trailSize = ShotParamFloat(params, 7);
    trailLife = ShotParamFloat(params, 8);
    trailInterval = ShotParamFloat(params, 9);
    rayMargin = ShotParamFloat(params, 10);
}

// ---- ballistic rocket ----

bool CPRocketShot::Init(const ShotParams& params) {
    params_.Read(params);
    CopyModel(params_.model);
    return CPShot::Init(params);
}

CPRefPtr<CPShot> CPRocketShot::Clone() {
    CPRefPtr<CPRocketShot> copy(new CPRocketShot(shotName_));
    CopySound(*copy);
    copy->CopyFrom(CPRefPtr<CPGameObject>(this));
    copy->params_ = params_;
    return CPRefPtr<CPShot>(copy.Get());
}

void CPRocketShot::Launch(const Vec3& position, const Vec3& direction, float damage,
                          const CPRefPtr<CPGameObject>& owner, void* extra) {
    // The direction's z is the elevation angle.
    hSpeed_ = params_.speed * std::cos(direction.z);
    vSpeed_ = params_.speed * std::sin(direction.z);
    flight_ = Normalize(Vec3(direction.x, direction.y, 0.0f));
    time_ = 0.0f;
    lastTrail_ = 0.0f;
    launchPoint_ = position;
    if (damage >= 0.0f) params_.damage = damage;
    CPShot::Launch(position, flight_, damage, owner, extra);
}

Vec3 CPRocketShot::PointAt(float t) const {
    return {launchPoint_.x + flight_.x * hSpeed_ * t, launchPoint_.y + flight_.y * hSpeed_ * t,
            vSpeed_ * t - 4.9f * t * t};
}

bool CPRocketShot::Update() {
    const Vec3 from = PointAt(time_);
    time_ += 2.0f * FrameDelta;
    const Vec3 unclamped = PointAt(time_);
    Vec3 to = unclamped;
    to.z = std::max(to.z, 0.0f);
    const Vec3 segment = to - from;
    CPRayQuery query;
    query.origin = from;
    query.direction = Normalize(segment);
    query.distance = Length(segment) + params_.rayMargin;
    if (CastShotRay(query, params_.enemy)) {
        CPGameObject* owner = query.hitOwner ? query.hitOwner.Get() : query.hitObject.Get();
        SendShotCommand(owner, query.hitObject.Get(), params_.damage);
        owner->MarkForGibsAtRandom(true);
        LaunchShot(params_.followUp, query.origin + query.direction * query.distance, flight_, launchDamage_);
        return false;
    }
    if (LengthSq(segment) > 0.0f) Face(segment);
    int emitted = 0;
    if (params_.trailInterval > 0.0f) {
        while (time_ - lastTrail_ >= params_.trailInterval && emitted < kMaxTrailPerFrame) {
            EmitShotParticle(params_.trailType, PointAt(lastTrail_), params_.trailSize, params_.trailLife, true);
            lastTrail_ += params_.trailInterval;
            ++emitted;
        }
        if (emitted == kMaxTrailPerFrame) lastTrail_ = time_;
    }
    MoveTo(to);
    if (unclamped.z <= 0.0f) {
        LaunchShot(params_.followUp, to, flight_, launchDamage_);
        return false;
    }
    return true;
}

// ---- homing rocket ----

bool CPHomingRocketShot::Init(const ShotParams& params) {
    params_.Read(params);
    CopyModel(params_.model);
    return CPShot::Init(params);
}

CPRefPtr<CPShot> CPHomingRocketShot::Clone() {
    CPRefPtr<CPHomingRocketShot> copy(new CPHomingRocketShot(shotName_));
    CopySound(*copy);
    copy->CopyFrom(CPRefPtr<CPGameObject>(this));
    copy->params_ = params_;
    return CPRefPtr<CPShot>(copy.Get());
}

void CPHomingRocketShot::Launch(const Vec3& position, const Vec3& direction, float damage,
                                const CPRefPtr<CPGameObject>& owner, void*) {
    flown_ = 0.0f;
    time_ = 0.0f;
    lastTrail_ = 0.0f;
    launchPoint_ = position;
    head_ = position;
    heading_ = Normalize(direction);
    if (damage >= 0.0f) params_.damage = damage;
    target_.Reset();
    if (params_.enemy)
        if (CPShotWorld* world = GetShotWorld()) target_ = CPRefPtr<CPGameObject>(world->GetPlayerCar());
    CPShot::Launch(position, direction, damage, owner, nullptr);
    MoveTo(position);
}

bool CPHomingRocketShot::End() {
    target_.Reset();
    LaunchShot(params_.followUp, head_, heading_, launchDamage_);
    return false;
}

bool CPHomingRocketShot::Update() {
    // Nothing fills the list a player's rocket searches, so only an "enemy" one has a target.
    if (target_ && LengthSq(heading_) > 0.0f) {
        const Vec3 to = Normalize(target_->GetPosition() - head_);
        const Vec3 axis = Cross(heading_, to);
        if (LengthSq(to) > 0.0f && LengthSq(axis) > 1e-12f) {
            float angle = std::acos(std::clamp(Dot(to, heading_), -1.0f, 1.0f));
            const float limit = 3.5f * FrameDelta;
            angle = std::clamp(angle, -limit, limit);
            heading_ = Normalize(Vec3TransformNormal(heading_, MatRotationAxis(axis, angle)));
        }
    }
    Face(heading_);
    const float lagBefore = time_ - lastTrail_;
    time_ += 2.0f * FrameDelta;
    const float step = FrameDelta * params_.speed + params_.rayMargin;
    CPRayQuery query;
    query.origin = head_;
    query.direction = heading_;
    query.distance = step;
    if (CastShotRay(query, params_.enemy)) {
        head_ += heading_ * query.distance;
        flown_ += query.distance;
        if (flown_ > 100.0f) return End();
        CPGameObject* owner = query.hitOwner ? query.hitOwner.Get() : query.hitObject.Get();
        SendShotCommand(owner, query.hitObject.Get(), params_.damage);
        owner->MarkForGibsAtRandom(true);
        target_.Reset();
        LaunchShot(params_.followUp, head_, heading_, launchDamage_);
        return false;
    }
    const Vec3 previous = GetPosition();
    head_ += heading_ * step;
    if (params_.trailInterval > 0.0f) {
        const float lagStart = std::max(time_ - lastTrail_, lagBefore);
        int emitted = 0;
        while (time_ - lastTrail_ >= params_.trailInterval && emitted < kMaxTrailPerFrame) {
            const float remaining = time_ - lastTrail_;
            const float f = lagStart > 0.0f ? 1.0f - remaining / lagStart : 1.0f;
            EmitShotParticle(params_.trailType, previous + (head_ - previous) * f, params_.trailSize, params_.trailLife,
                             true);
            lastTrail_ += params_.trailInterval;
            ++emitted;
        }
        if (emitted == kMaxTrailPerFrame) lastTrail_ = time_;
    }
    MoveTo(head_);
    flown_ += step;
    if (flown_ > 100.0f) return End();
    return true;
}
