#include "Weapons/PExplosionShot.h"

#include <algorithm>
#include <cmath>

#include "Core/Math/Mat4.h"
#include "Core/Math/Math.h"
#include "Core/PGlobalTimer.h"
#include "Race/PPhysicData.h"
#include "Render/PMaterial.h"
#include "Render/PMeshManager.h"
#include "Render/PRender.h"
#include "Render/PSprite.h"
#include "Weapons/PShotWorld.h"
#include "Weapons/PWeaponsSystem.h"

namespace {
CPRefPtr<CPMaterial> AsMaterial(const CPRefPtr<CPManagedObject>& m) {
    return CPRefPtr<CPMaterial>(dynamic_cast<CPMaterial*>(m.Get()));
}
Vec3 RandomTurn(const Vec3& v) {
    const float yaw = 2.0f * MathPi * ShotRandom();
    const float pitch = 2.0f * MathPi * ShotRandom();
    const float roll = 2.0f * MathPi * ShotRandom();
    return Vec3TransformNormal(v, MatRotationYawPitchRoll(yaw, pitch, roll));
}
} // namespace

bool CPExplosionShot::Init(const ShotParams& params) {
    InitExplosion(params, 1);
    return true;
}

void CPExplosionShot::InitExplosion(const ShotParams& p, int first) {
    auto at = [first](int i) { return first + i - 1; };
    const std::string texture = ShotParam(p, at(1));
    debris_ = SplitShotText(ShotParam(p, at(2)), ",");
    spare_ = ShotParam(p, at(3));
    debrisImpulse_ = ShotParamFloat(p, at(4));
    push_ = ShotParamFloat(p, at(5));
    damageFactor_ = ShotParamFloat(p, at(6));
    const int columns = std::clamp(ShotParamInt(p, at(7)), 1, 64);
    const int rows = std::clamp(ShotParamInt(p, at(8)), 1, 64);
    cellCount_ = columns * rows;
    cellsPerSecond_ = ShotParamFloat(p, at(9));
    radius_ = ShotParamFloat(p, at(10));
    spriteCount_ = std::clamp(ShotParamInt(p, at(11)), 0, kMaxExplosionSprites);
    const float shrink = ShotParamFloat(p, at(12));
    const float spacing = ShotParamFloat(p, at(13));
    const std::vector<std::string> rgb = SplitShotText(ShotParam(p, at(14)), ",");
    const ShotParams rgbParams(rgb.begin(), rgb.end());
    baseColour_ = Color(ShotParamFloat(rgbParams, 1), ShotParamFloat(rgbParams, 2), ShotParamFloat(rgbParams, 3), 1.0f);
    smokeType_ = ShotParam(p, at(15));
    smokeCount_ = std::clamp(ShotParamInt(p, at(16)), 0, kMaxExplosionParticles);
    columnType_ = ShotParam(p, at(17));
    columnCount_ = std::clamp(ShotParamInt(p, at(18)), 0, kMaxExplosionParticles);
    scorchType_ = ShotParam(p, at(19));
    light_ = LightRecord{};
    light_.Type = 1;
    light_.Range = 3.0f * radius_;
    light_.Attenuation1 = radius_ > 0.0f ? 1.0f / (3.0f * radius_) : 0.0f;

    cells_.clear();
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c)
            cells_.push_back({static_cast<float>(c) / columns, static_cast<float>(r) / rows,
                              static_cast<float>(c + 1) / columns, static_cast<float>(r + 1) / rows});
    const CPRefPtr<CPMaterial> stack = AsMaterial(ShotMaterial(133, "light_nofog.fx", texture));
    for (int i = 0; i < spriteCount_; ++i) {
        CPRefPtr<CPGameObject> child(new CPGameObject("explosion"));
        CPRefPtr<CPSprite> sprite(new CPSprite(radius_ - static_cast<float>(i) * shrink));
        sprite->SetOwner(child.Get());
        sprite->SetMaterial(stack);
        sprite->angle = 2.0f * MathPi * ShotRandom();
        std::copy(cells_[0].begin(), cells_[0].end(), sprite->texRect);
        child->SetRenderPart(CPRefPtr<CPManagedObject>(sprite.Get()));
        child->SetRenderType(RenderSprite);
        child->SetPosition(Vec3(0, 0, static_cast<float>(i) * spacing));
        AddChild(child);
    }
    CPRefPtr<CPGameObject> flash(new CPGameObject("explosion"));
    CPRefPtr<CPSprite> flashSprite(new CPSprite(radius_ - static_cast<float>(spriteCount_) * shrink));
    flashSprite->SetOwner(flash.Get());
    flashSprite->SetMaterial(AsMaterial(ShotMaterial(134, "particle_light.fx", "glow_shot.tga")));
    flash->SetRenderPart(CPRefPtr<CPManagedObject>(flashSprite.Get()));
    flash->SetRenderType(RenderSprite);
    flash->SetPosition(Vec3(0, 0, 10));
    AddChild(flash);
    CollectSprites();
    SetRenderType(RenderNone);
    UpdateTransform();
    ShotParams soundOnly;
    // The sound is the list's last entry; a list too short to hold the twenty is silent.
    if (!p.empty() && static_cast<int>(p.size()) >= at(20)) soundOnly.push_back(p.back());
    CPShot::Init(soundOnly);
}

void CPExplosionShot::CollectSprites() {
    sprites_.clear();
    flash_ = nullptr;
    flashObject_ = nullptr;
    const auto& children = GetChildren();
    const size_t n = static_cast<size_t>(spriteCount_) + 1;
    if (children.size() < n) return;
    for (size_t i = children.size() - n; i < children.size(); ++i) {
        auto* sprite = dynamic_cast<CPSprite*>(children[i]->GetRenderPart().Get());
        if (i + 1 == children.size()) {
            flash_ = sprite;
            flashObject_ = children[i].Get();
        } else if (sprite) {
            sprites_.push_back(sprite);
        }
    }
}

void CPExplosionShot::CopyExplosion(CPExplosionShot& copy) const {
    CopySound(copy);
    copy.CopyFrom(CPRefPtr<CPGameObject>(const_cast<CPExplosionShot*>(this)));
    copy.debris_ = debris_;
    copy.debrisImpulse_ = debrisImpulse_;
    copy.push_ = push_;
    copy.damageFactor_ = damageFactor_;
    copy.baseColour_ = baseColour_;
    copy.light_ = light_;
    copy.cellCount_ = cellCount_;
    copy.cellsPerSecond_ = cellsPerSecond_;
    copy.spriteCount_ = spriteCount_;
    copy.spare_ = spare_;
    copy.cells_ = cells_;
    copy.radius_ = radius_;
    copy.scorchType_ = scorchType_;
    copy.columnType_ = columnType_;
    copy.smokeType_ = smokeType_;
    copy.columnCount_ = columnCount_;
    copy.smokeCount_ = smokeCount_;
    copy.CollectSprites();
}

CPRefPtr<CPShot> CPExplosionShot::Clone() {
    CPRefPtr<CPExplosionShot> copy(new CPExplosionShot(shotName_, variant_));
    CopyExplosion(*copy);
    return CPRefPtr<CPShot>(copy.Get());
}

void CPExplosionShot::FaceCamera() {
    const Vec3 v = Normalize(ShotCameraPosition() - GetPosition());
    const Vec3 axis(v.y, -v.x, 0.0f);
    if (LengthSq(axis) > 0.0f) SetRotation(QuatRotationAxis(axis, -std::acos(std::clamp(v.z, -1.0f, 1.0f))));
    else SetRotation(v.z < 0.0f ? QuatRotationAxis(Vec3(1, 0, 0), MathPi) : QuatIdentity());
    UpdateTransform();
}

void CPExplosionShot::Launch(const Vec3& position, const Vec3& direction, float damage,
                             const CPRefPtr<CPGameObject>& owner, void* extra) {
    SetPosition(position);
    FaceCamera();
    cell_ = 0;
    time_ = 0.0f;
    light_.Position = position - direction * 0.5f;
    light_.Diffuse = baseColour_;
    if (flashObject_) flashObject_->SetVisible(true);
    const float r = radius_;
    for (int i = 0; i < smokeCount_; ++i) {
        const Vec3 at = position + RandomTurn(Vec3(0, 0, 0.9f * r));
        const float growth = 2.4f + 0.8f * ShotRandom();
        const float life = 0.5f + 0.4f * ShotRandom();
        const float vx = 0.4f * ShotRandom() - 0.2f;
        const float vy = 0.4f * ShotRandom() - 0.2f;
        const Vec3 v(vx, vy, 0.5f + 2.5f * ShotRandom());
        EmitShotParticle(smokeType_, at, 0.1f, life, false, v, Vec3(), growth);
    }
    for (int i = 0; i < columnCount_; ++i) {
        const float ax = r * (0.5f * ShotRandom() - 0.25f);
        const float ay = r * (0.5f * ShotRandom() - 0.25f);
        const Vec3 at = position + Vec3(ax, ay, r * (0.5f * ShotRandom() - 0.25f));
        const float growth = 0.4f + 1.8f * ShotRandom();
        const float life = 2.2f + 2.0f * ShotRandom();
        const float vx = 0.8f * ShotRandom() - 0.4f;
        const float vy = 0.8f * ShotRandom() - 0.4f;
        const Vec3 v(vx, vy, 4.5f + 0.5f * ShotRandom());
        EmitShotParticle(columnType_, at, 2.7f, life, false, v, Vec3(0, 0, -2), growth);
    }
    for (const std::string& name : debris_) {
        const Vec3 throwDir = RandomTurn(Vec3(0, 0, (0.8f + 0.4f * ShotRandom()) * debrisImpulse_ * 2500.0f));
        LaunchShot(name, position + Vec3(0, 0, 0.5f), throwDir, -1.0f);
    }
    if (CPShotWorld* world = GetShotWorld()) {
        std::vector<CPRefPtr<CPGameObject>> near;
        world->GetObjectsInRadius(position, 1.5f * r, near);
        for (const auto& object : near) {
            if (!object || object.Get() == this) continue;
            if (variant_ == 0) object->StartFlames();
            auto* data = dynamic_cast<CPPhysicData*>(object->GetPhysicData().Get());
            if (!data || !data->rigidBody) continue;
            const Vec3 d = object->GetPosition() - position;
            const float dist = Length(d);
            // An object at the very centre is thrown straight up.
            const Vec3 n = dist > 0.0f ? d / dist : Vec3(0, 0, 1);
            const float k = 1.5f * r - dist;
            // Somewhere in the central half of the object's box (its own and its children's); an
            // object without one is pushed at its position.
            const CPBoundingBox& box = object->GetVisibilityBounds();
            const Vec3 half = box.IsEmpty() ? Vec3() : box.max - box.min;
            const float jx = half.x * 0.5f * (ShotRandom() - 0.5f);
            const float jy = half.y * 0.5f * (ShotRandom() - 0.5f);
            const Vec3 jitter(jx, jy, half.z * 0.5f * (ShotRandom() - 0.5f));
            PushObject(object.Get(), n * (k * push_), object->GetPosition() + jitter);
            object->Damage(object->GetPosition(), -FlatDirection(n), std::max(0.0f, k * damageFactor_), nullptr,
                           variant_ == 1);
        }
    }
    const float scorchGrowth = 0.4f + 1.8f * ShotRandom();
    const float scorchTurn = 2.0f * MathPi * ShotRandom();
    EmitShotParticle(scorchType_, position, 2.0f * r, 30.0f, true, Vec3(0, 0, scorchTurn), Vec3(), scorchGrowth);
    CPShot::Launch(position, direction, damage, owner, extra);
    // The base launch turned the object along the direction; the stack faces the camera.
    FaceCamera();
}

bool CPExplosionShot::Update() {
    if (cell_ >= cellCount_) return false;
    if (time_ > 0.4f) {
        if (flashObject_) flashObject_->SetVisible(false);
    } else {
        const float k = 1.0f - 2.5f * time_;
        const uint32_t alpha = static_cast<uint32_t>(static_cast<int>(256.0f * k)) & 0xFFu;
        if (flash_) flash_->colour = (alpha << 24) | 0x00FFFFFFu;
        light_.Diffuse = Color(baseColour_.r * k, baseColour_.g * k, baseColour_.b * k, baseColour_.a * k);
        light_.Specular = light_.Diffuse;
        if (CPRender* render = GetRender()) render->AddLight(light_);
    }
    FaceCamera();
    const auto& rect = cells_[static_cast<size_t>(std::clamp(cell_, 0, cellCount_ - 1))];
    for (CPSprite* sprite : sprites_) std::copy(rect.begin(), rect.end(), sprite->texRect);
    UpdateTransform();
    time_ += FrameDelta;
    // Past the last cell the count is enough; a huge rate must not overflow the conversion.
    const float cell = time_ * cellsPerSecond_;
    cell_ = cell >= static_cast<float>(cellCount_) ? cellCount_ : std::max(0, static_cast<int>(cell));
    return true;
}

// ---- debris explosion ----

bool CPDebrisExplosionShot::Init(const ShotParams& params) {
    for (const std::string& name : SplitShotText(ShotParam(params, 1), ",")) {
        CPMeshManager* meshes = GetMeshManager();
        CPRefPtr<CPGameObject> piece =
            meshes ? meshes->LoadRenderObject(name + ".rdf", 0x14) : CPRefPtr<CPGameObject>();
        if (piece) AddChild(piece);
    }
    pieces_.assign(GetChildren().size(), Piece{});
    InitExplosion(params, 2);
    return true;
}

CPRefPtr<CPShot> CPDebrisExplosionShot::Clone() {
    CPRefPtr<CPDebrisExplosionShot> copy(new CPDebrisExplosionShot(shotName_));
    CopyExplosion(*copy);
    const size_t stack = static_cast<size_t>(spriteCount_) + 1;
    const size_t children = copy->GetChildren().size();
    copy->pieces_.assign(children > stack ? children - stack : 0, Piece{});
    return CPRefPtr<CPShot>(copy.Get());
}

bool CPDebrisExplosionShot::Update() {
    trailTimer_ += FrameDelta;
    const bool emit = trailTimer_ > 0.04f;
    if (emit) trailTimer_ = 0.0f;
    for (Piece& piece : pieces_) {
        piece.position += piece.velocity * FrameDelta;
        if (emit) EmitShotParticle("gib1", Vec3TransformCoord(piece.position, GetWorldMatrix()), 0.15f, 0.3f, true);
    }
    return CPExplosionShot::Update();
}

void CPDebrisExplosionShot::LaunchDefault(const Vec3& position, const Vec3& direction, float damage) {
    Launch(position, direction, damage, CPRefPtr<CPGameObject>(), nullptr);
    trailTimer_ = 0.0f;
    for (Piece& piece : pieces_) {
        piece.position = Vec3();
        piece.velocity = RandomTurn(Vec3(0, 0, 2.5f + 3.0f * ShotRandom()));
    }
}
