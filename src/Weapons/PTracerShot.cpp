#include "Weapons/PTracerShot.h"

#include <algorithm>

#include "Core/PGlobalTimer.h"
#include "Core/PRayQuery.h"
#include "Render/PMaterial.h"
#include "Render/PRenderObject.h"
#include "Weapons/PShotWorld.h"
#include "Weapons/PWeaponsSystem.h"

namespace {
const float kStreakUV[8] = {0, 0, 1, 0, 1, 1, 0, 1};
constexpr float kMaxFlight = 150.0f;
} // namespace

bool CPTracerShot::Init(const ShotParams& params) {
    enemy_ = ShotParam(params, 1) == "enemy";
    speed_ = ShotParamFloat(params, 2);
    damage_ = ShotParamFloat(params, 3);
    halfWidth_ = ShotParamFloat(params, 4);
    texture_ = ShotParam(params, 5);
    effect_ = ShotParam(params, 6);
    materialType_ = ShotParamInt(params, 7);
    followUp_ = ShotParam(params, 8);
    impulse_ = hasImpulse_ ? ShotParamFloat(params, 9) : 0.0f;
    CPRefPtr<CPRenderObject> quad(new CPRenderObject(this));
    BuildQuad(*quad, kStreakUV);
    CPRefPtr<CPManagedObject> material = ShotMaterial(materialType_, effect_, texture_);
    quad->SetMaterial(CPRefPtr<CPMaterial>(dynamic_cast<CPMaterial*>(material.Get())));
    InstallQuad(quad);
    return CPShot::Init(params);
}

void CPTracerShot::CopyTracer(CPTracerShot& copy) const {
    CopySound(copy);
    copy.CopyFrom(CPRefPtr<CPGameObject>(const_cast<CPTracerShot*>(this)));
    if (auto* quad = dynamic_cast<CPRenderObject*>(copy.GetRenderPart().Get())) {
        quad->SetOwner(nullptr);
        copy.InstallQuad(CPRefPtr<CPRenderObject>(quad));
    }
    copy.enemy_ = enemy_;
    copy.speed_ = speed_;
    copy.damage_ = damage_;
    copy.halfWidth_ = halfWidth_;
    copy.texture_ = texture_;
    copy.effect_ = effect_;
    copy.materialType_ = materialType_;
    copy.followUp_ = followUp_;
    copy.impulse_ = impulse_;
}

CPRefPtr<CPShot> CPTracerShot::Clone() {
    CPRefPtr<CPTracerShot> copy(MakeCopy());
    CopyTracer(*copy);
    return CPRefPtr<CPShot>(copy.Get());
}

void CPTracerShot::Launch(const Vec3& position, const Vec3& direction, float damage,
                          const CPRefPtr<CPGameObject>& owner, void* extra) {
    CPShot::Launch(position, direction, damage, owner, extra);
    headDistance_ = 0.0f;
    tailDistance_ = 0.0f;
    streakLength_ = 0.0f;
    head_ = position;
    tail_ = position;
    flight_ = Normalize(direction);
    state_ = 0;
    if (launchDamage_ >= 0.0f) damage_ = launchDamage_;
    if (quad_ && quad_->vertices.size() == 4) {
        quad_->vertices[1].tu = 1.0f;
        quad_->vertices[2].tu = 1.0f;
    }
    RebuildQuad();
}

void CPTracerShot::RebuildQuad() {
    if (!quad_) return;
    const Vec3 camera = ShotCameraPosition();
    const Vec3 side = Normalize(Cross(head_ - tail_, camera - tail_)) * halfWidth_;
    const Vec3 corners[4] = {tail_ + side, head_ + side, head_ - side, tail_ - side};
    SetQuadVertices(*quad_, corners);
}

bool CPTracerShot::Update() {
    if (state_ == 0) {
        const float step = FrameDelta * speed_;
        CPRayQuery query;
        query.origin = head_;
        query.direction = flight_;
        query.distance = step;
        if (!CastShotRay(query, enemy_)) {
            headDistance_ += step;
            tailDistance_ += tailFactor_ * step;
            head_ += flight_ * step;
            tail_ += flight_ * (tailFactor_ * step);
            SetPosition(head_);
            RebuildQuad();
            if (headDistance_ > kMaxFlight) {
                state_ = 1;
                streakLength_ = headDistance_ - tailDistance_;
                LaunchShot(followUp_, head_, Vec3(0, 0, 1), -1.0f);
            }
            return true;
        }
        CPGameObject* owner = query.hitOwner ? query.hitOwner.Get() : query.hitObject.Get();
        const Vec3 hitPoint = query.origin + query.direction * query.distance;
        if (hasImpulse_) PushObject(owner, flight_ * impulse_, hitPoint);
        streakLength_ = headDistance_ - tailDistance_;
        const float advance = query.distance + hitOvershoot_;
        headDistance_ += advance;
        tailDistance_ += tailFactor_ * advance;
        head_ += flight_ * advance;
        tail_ += flight_ * (tailFactor_ * advance);
        SetPosition(head_);
        RebuildQuad();
        state_ = 1;
        const Vec3 normal = HitNormal(query);
        owner->Damage(hitPoint, FlatDirection(normal), damage_, nullptr, false);
        LaunchShot(followUp_, head_, normal, -1.0f);
        return true;
    }
    const float s = FrameDelta * speed_ * tailFactor_;
    const float before = tailDistance_;
    tailDistance_ = std::min(tailDistance_ + s, headDistance_);
    // A hit in the first frame leaves no streak to shrink: the texture stays whole.
    const float u = streakLength_ > 0.0f ? (headDistance_ - tailDistance_) / streakLength_ : 1.0f;
    if (quad_ && quad_->vertices.size() == 4) {
        quad_->vertices[1].tu = u;
        quad_->vertices[2].tu = u;
    }
    tail_ += flight_ * (tailDistance_ - before);
    RebuildQuad();
    return tailDistance_ < headDistance_;
}

// ---- lightning bolt ----

ShotParams CPLightningShot::DefaultParams() {
    return {"enemy", "10", "1.5", "1.5", "razlom.dds", "light_nofog.fx", "103", "sparks", "morvane.wav,3d"};
}

void CPLightningShot::Launch(const Vec3& position, const Vec3& direction, float damage,
                             const CPRefPtr<CPGameObject>& owner, void* extra) {
    CPTracerShot::Launch(position, Normalize(direction), damage, owner, extra);
}

int CPLightningShot::Step(CPRefPtr<CPGameObject>& hit) {
    hit.Reset();
    // A zero direction makes no bolt.
    if (LengthSq(flight_) == 0.0f) return -1;
    const float step = FrameDelta * speed_;
    headDistance_ += step;
    if (headDistance_ > 20.0f) return -1;
    CPRayQuery query;
    query.origin = head_;
    query.direction = flight_;
    query.distance = step;
    CPShotWorld* world = GetShotWorld();
    if (world && world->CrossCars(query) && query.hitObject) {
        LaunchShot(followUp_, head_, HitNormal(query), -1.0f);
        hit = query.hitOwner ? query.hitOwner : query.hitObject;
        return 0;
    }
    head_ += flight_ * step;
    SetPosition(head_);
    RebuildQuad();
    return 1;
}
