#include "Weapons/PPlasmaShot.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "Core/Math/Mat4.h"
#include "Core/Math/Math.h"
#include "Core/PGlobalTimer.h"
#include "Core/PRandom.h"
#include "Core/PRayQuery.h"
#include "Render/PLight.h"
#include "Render/PMaterial.h"
#include "Render/PRenderObject.h"
#include "Render/PSprite.h"
#include "Weapons/PWeaponsSystem.h"

namespace {
const float kBallUV[8] = {0, 1, 0, 0, 1, 0, 1, 1};
constexpr float kMaxFlight = 150.0f;

CPRefPtr<CPMaterial> AsMaterial(const CPRefPtr<CPManagedObject>& m) {
    return CPRefPtr<CPMaterial>(dynamic_cast<CPMaterial*>(m.Get()));
}
} // namespace

// ---- charge ----

bool CPPlasmaShot::Init(const ShotParams& params) {
    life_ = ShotParamFloat(params, 1);
    radius_ = ShotParamFloat(params, 2);
    spriteCount_ = std::clamp(ShotParamInt(params, 3), 0, kMaxPlasmaSprites);
    materialType_ = ShotParamInt(params, 4);
    texture_ = ShotParam(params, 5);
    effect_ = ShotParam(params, 6);
    spriteSize_ = ShotParamFloat(params, 7);
    // An atlas of no columns or rows is one frame.
    columns_ = std::clamp(ShotParamInt(params, 8), 1, 64);
    rows_ = std::clamp(ShotParamInt(params, 9), 1, 64);
    frameTime_ = ShotParamFloat(params, 10);
    followUp_ = ShotParam(params, 11);
    frames_.clear();
    for (int r = 0; r < rows_; ++r)
        for (int c = 0; c < columns_; ++c)
            frames_.push_back({static_cast<float>(c) / columns_, static_cast<float>(r) / rows_,
                               static_cast<float>(c + 1) / columns_, static_cast<float>(r + 1) / rows_});
    // A damaged type near the int range saturates instead of overflowing.
    const int type = materialType_ > INT_MAX - 20 ? INT_MAX : materialType_ + 20;
    const CPRefPtr<CPMaterial> material = AsMaterial(ShotMaterial(type, effect_, texture_));
    for (int i = 0; i < spriteCount_; ++i) {
        CPRefPtr<CPGameObject> child(new CPGameObject("plazma"));
        CPRefPtr<CPSprite> sprite(new CPSprite(spriteSize_));
        sprite->SetOwner(child.Get());
        sprite->SetMaterial(material);
        child->SetRenderPart(CPRefPtr<CPManagedObject>(sprite.Get()));
        child->SetRenderType(RenderSprite);
        AddChild(child);
    }
    CollectSprites();
    PlaceChildren();
    return CPShot::Init(params);
}

void CPPlasmaShot::CollectSprites() {
    sprites_.clear();
    for (const auto& child : GetChildren())
        if (auto* sprite = child ? dynamic_cast<CPSprite*>(child->GetRenderPart().Get()) : nullptr)
            sprites_.push_back(sprite);
}

void CPPlasmaShot::PlaceChildren() {
    for (const auto& child : GetChildren()) {
        if (!child) continue;
        const float yaw = ShotRandom() * 2.0f * MathPi;
        const float pitch = ShotRandom() * 2.0f * MathPi;
        const float roll = ShotRandom() * 2.0f * MathPi;
        child->SetPosition(Vec3TransformNormal(Vec3(0, 0, radius_), MatRotationYawPitchRoll(yaw, pitch, roll)));
    }
    for (CPSprite* sprite : sprites_) std::copy(frames_[0].begin(), frames_[0].end(), sprite->texRect);
}

CPRefPtr<CPShot> CPPlasmaShot::Clone() {
    CPRefPtr<CPPlasmaShot> copy(new CPPlasmaShot(shotName_));
    CopySound(*copy);
    copy->CopyFrom(CPRefPtr<CPGameObject>(this));
    copy->life_ = life_;
    copy->radius_ = radius_;
    copy->spriteSize_ = spriteSize_;
    copy->frameTime_ = frameTime_;
    copy->spriteCount_ = spriteCount_;
    copy->materialType_ = materialType_;
    copy->columns_ = columns_;
    copy->rows_ = rows_;
    copy->texture_ = texture_;
    copy->effect_ = effect_;
    copy->followUp_ = followUp_;
    copy->frames_ = frames_;
    copy->CollectSprites();
    return CPRefPtr<CPShot>(copy.Get());
}

void CPPlasmaShot::Launch(const Vec3& position, const Vec3& direction, float damage,
                          const CPRefPtr<CPGameObject>& owner, void*) {
    anchor_ = owner;
    CPShot::Launch(position, direction, damage, CPRefPtr<CPGameObject>(), nullptr);
    MoveTo(position);
    age_ = 0.0f;
    PlaceChildren();
}

bool CPPlasmaShot::Update() {
    // Launched without an owner: nothing to ride on.
    if (!anchor_) return false;
    const int frameCount = static_cast<int>(frames_.size());
    const float frames = frameTime_ > 0.0f ? std::fmod(age_ / frameTime_, static_cast<float>(frameCount)) : 0.0f;
    const int frame = std::isfinite(frames) ? std::clamp(static_cast<int>(frames), 0, frameCount - 1) : 0;
    const float remaining = life_ > 0.0f ? (life_ - age_) / life_ : 0.0f;
    const uint32_t alpha = 255u - (static_cast<uint32_t>(static_cast<int>(remaining * 255.0f)) % 256u);
    const uint32_t colour = (alpha << 24) | 0x00FFFFFFu;
    for (const auto& child : GetChildren()) {
        if (!child) continue;
        child->SetPosition(Normalize(child->GetPosition()) * (remaining * radius_));
        child->UpdateTransform();
    }
    for (CPSprite* sprite : sprites_) {
        sprite->colour = colour;
        std::copy(frames_[frame].begin(), frames_[frame].end(), sprite->texRect);
    }
    SetBaseMatrix(anchor_->GetWorldMatrix());
    MarkDirty();
    UpdateTransform();
    if (age_ >= life_) {
        const Mat4& world = GetWorldMatrix();
        const Vec3 at(world.m[3][0], world.m[3][1], world.m[3][2]);
        LaunchShot(followUp_, at, Vec3TransformNormal(direction_, anchor_->GetWorldMatrix()), -1.0f);
        return false;
    }
    age_ = std::min(age_ + FrameDelta, life_);
    return true;
}

// ---- ball ----

bool CPPlasmaBallShot::Init(const ShotParams& params) {
    enemy_ = ShotParam(params, 1) == "enemy";
    speed_ = ShotParamFloat(params, 2);
    damage_ = ShotParamFloat(params, 3);
    halfSize_ = ShotParamFloat(params, 4);
    texture_ = ShotParam(params, 5);
    effect_ = ShotParam(params, 6);
    materialType_ = ShotParamInt(params, 7);
    for (int i = 0; i < 3; ++i) colour_[i] = ShotParamFloat(params, 8 + i);
    range_ = ShotParamFloat(params, 11);
    attenuation_ = ShotParamFloat(params, 12);
    followUp_ = ShotParam(params, 13);
    CPRefPtr<CPGameObject> child(new CPGameObject("light"));
    CPRefPtr<CPLight> light(new CPLight(child.Get()));
    const Color c(colour_[0], colour_[1], colour_[2], 1.0f);
    light->light.Type = 1;
    light->light.Diffuse = c;
    light->light.Specular = c;
    light->light.Ambient = c;
    light->light.Range = range_;
    light->light.Attenuation1 = attenuation_;
    child->SetRenderPart(CPRefPtr<CPManagedObject>(light.Get()));
    child->SetRenderType(RenderLight);
    AddChild(child);
    light_ = child;
    CPRefPtr<CPRenderObject> quad(new CPRenderObject(this));
    BuildQuad(*quad, kBallUV);
    quad->SetMaterial(AsMaterial(ShotMaterial(materialType_, effect_, texture_)));
    InstallQuad(quad);
    return CPShot::Init(params);
}

CPRefPtr<CPShot> CPPlasmaBallShot::Clone() {
    CPRefPtr<CPPlasmaBallShot> copy(new CPPlasmaBallShot(shotName_));
    CopySound(*copy);
    copy->CopyFrom(CPRefPtr<CPGameObject>(this));
    if (auto* quad = dynamic_cast<CPRenderObject*>(copy->GetRenderPart().Get())) {
        quad->SetOwner(nullptr);
        copy->InstallQuad(CPRefPtr<CPRenderObject>(quad));
    }
    if (!copy->GetChildren().empty()) copy->light_ = copy->GetChildren().front();
    copy->enemy_ = enemy_;
    copy->speed_ = speed_;
    copy->damage_ = damage_;
    copy->halfSize_ = halfSize_;
    copy->texture_ = texture_;
    copy->effect_ = effect_;
    copy->followUp_ = followUp_;
    copy->materialType_ = materialType_;
    std::copy(colour_, colour_ + 3, copy->colour_);
    copy->range_ = range_;
    copy->attenuation_ = attenuation_;
    return CPRefPtr<CPShot>(copy.Get());
}

void CPPlasmaBallShot::Launch(const Vec3& position, const Vec3& direction, float damage, const CPRefPtr<CPGameObject>&,
                              void*) {
    CPShot::Launch(position, direction, damage, CPRefPtr<CPGameObject>(), nullptr);
    flown_ = 0.0f;
    head_ = position;
    flight_ = Normalize(direction);
    // The shot itself stays at the origin: its quad and light are placed in world space.
    SetPosition(Vec3());
    SetRotation(QuatIdentity());
    UpdateTransform();
    if (light_) {
        light_->SetPosition(head_);
        light_->UpdateTransform();
    }
    RebuildQuad();
}

void CPPlasmaBallShot::RebuildQuad() {
    if (!quad_) return;
    const Vec3 side = Normalize(Cross(flight_, ShotCameraPosition() - head_));
    const Vec3 s = side * halfSize_;
    const Vec3 d = flight_ * halfSize_;
    const Vec3 corners[4] = {head_ + s - d, head_ + d + s, head_ + d - s, head_ - d - s};
    SetQuadVertices(*quad_, corners);
}

bool CPPlasmaBallShot::Update() {
    const float step = FrameDelta * speed_;
    CPRayQuery query;
    query.origin = head_;
    query.direction = flight_;
    query.distance = step;
    if (CastShotRay(query, enemy_)) {
        CPGameObject* owner = query.hitOwner ? query.hitOwner.Get() : query.hitObject.Get();
        const Vec3 hitPoint = query.origin + query.direction * query.distance;
        PushObject(owner, flight_ * 50.0f, hitPoint);
        const Vec3 normal = HitNormal(query);
        owner->Damage(hitPoint, FlatDirection(normal), damage_, nullptr, false);
        LaunchShot(followUp_, hitPoint, normal, launchDamage_);
        return false;
    }
    head_ += flight_ * step;
    if (light_) {
        light_->SetPosition(head_);
        light_->UpdateTransform();
    }
    flown_ += step;
    RebuildQuad();
    if (flown_ > kMaxFlight) {
        LaunchShot(followUp_, head_, Vec3(0, 0, 1), launchDamage_);
        return false;
    }
    return true;
}
