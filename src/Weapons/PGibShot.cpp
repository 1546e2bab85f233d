#include "Weapons/PGibShot.h"

#include "Core/Math/Math.h"
#include "Core/PGlobalTimer.h"
#include "Core/PRandom.h"
#include "Core/TaskPriorities.h"
#include "Physics/Body.h"
#include "Race/PPhysicData.h"
#include "Race/PPhysics.h"
#include "Render/PMeshManager.h"
#include "Render/PRender.h"
#include "Render/PRenderBlock.h"

namespace {
void QueueForDrawing(CPGameObject* object) {
    if (CPRender* render = GetRender())
        if (CPRenderBlock* block = render->GetDynamicRenderBlock().Get()) block->DrawDynamicObject(object);
}
} // namespace

bool CPGibShot::Init(const ShotParams& params) {
    CopyModel(ShotParam(params, 1));
    interval_ = ShotParamFloat(params, 2);
    systems_ = SplitShotText(ShotParam(params, 3), ",");
    lifetime_ = ShotParamFloat(params, 4);
    if (CPMeshManager* meshes = GetMeshManager(); meshes && !systems_.empty())
        if (CPRefPtr<CPGameObject> emitter = meshes->CreateParticleObject(systems_, interval_)) AddChild(emitter);
    return true;
}

void CPGibShot::CopyGib(CPGibShot& copy) const {
    CopySound(copy);
    copy.CopyFrom(CPRefPtr<CPGameObject>(const_cast<CPGibShot*>(this)));
    copy.systems_ = systems_;
    copy.lifetime_ = lifetime_;
    copy.interval_ = interval_;
    if (auto* data = dynamic_cast<CPPhysicData*>(copy.GetPhysicData().Get())) data->particle = true;
}

CPRefPtr<CPShot> CPGibShot::Clone() {
    CPRefPtr<CPGibShot> copy(new CPGibShot(shotName_));
    CopyGib(*copy);
    return CPRefPtr<CPShot>(copy.Get());
}

void CPGibShot::Throw(const Vec3& position, const Vec3& throwPoint, const Vec3& impulse) {
    MoveTo(position);
    Activate(TaskPriority::MainScript);
    auto* data = dynamic_cast<CPPhysicData*>(GetPhysicData().Get());
    if (!data) return;
    data->AddToPhysics(5);
    if (Physics::Body* body = data->GetBody()) body->SetCollisionGroup(3);
    if (CPPhysics* physics = GetPhysics()) physics->RestoreObject(this);
    if (!data->GetBody()) return;
    const float jx = 0.2f * ShotRandom() - 0.1f;
    const float jy = 0.2f * ShotRandom() - 0.1f;
    const Vec3 jitter(jx, jy, 0.2f * ShotRandom() - 0.1f);
    PushObject(this, impulse, throwPoint + jitter);
}

void CPGibShot::Launch(const Vec3& position, const Vec3& direction, float damage, const CPRefPtr<CPGameObject>& owner,
                       void* extra) {
    age_ = 0.0f;
    CPShot::Launch(position, direction, damage, owner, extra);
    Throw(position, position, direction);
}

void CPGibShot::Abort() {
    Deactivate();
    if (auto* data = dynamic_cast<CPPhysicData*>(GetPhysicData().Get())) data->RemoveFromPhysics();
    if (CPPhysics* physics = GetPhysics()) physics->RemoveObject(this);
}

bool CPGibShot::Update() {
    if (age_ > lifetime_) {
        Abort();
        return false;
    }
    age_ += FrameDelta;
    QueueForDrawing(this);
    return true;
}

// ---- gib with trail ----

bool CPGibTrailShot::Init(const ShotParams& params) {
    CopyModel(ShotParam(params, 1));
    spare_ = ShotParamFloat(params, 2);
    particleType_ = ShotParam(params, 3);
    particleSize_ = ShotParamFloat(params, 4);
    particleLife_ = ShotParamFloat(params, 5);
    interval_ = ShotParamFloat(params, 6);
    turns_ = ShotParamInt(params, 7);
    lifetime_ = ShotParamFloat(params, 8);
    return true;
}

CPRefPtr<CPShot> CPGibTrailShot::Clone() {
    CPRefPtr<CPGibTrailShot> copy(new CPGibTrailShot(shotName_));
    CopyGib(*copy);
    copy->spare_ = spare_;
    copy->particleLife_ = particleLife_;
    copy->particleSize_ = particleSize_;
    copy->turns_ = turns_;
    copy->particleType_ = particleType_;
    return CPRefPtr<CPShot>(copy.Get());
}

void CPGibTrailShot::Launch(const Vec3& position, const Vec3& direction, float damage,
                            const CPRefPtr<CPGameObject>& owner, void* extra) {
    age_ = 0.0f;
    emitTimer_ = 0.0f;
    CPShot::Launch(position, direction, damage, owner, extra);
    Vec3 start = position;
    const CPBoundingBox& box = GetCollisionBounds();
    const float halfHeight = box.IsEmpty() ? 0.0f : 0.5f * (box.max.z - box.min.z);
    if (start.z - halfHeight < 0.0f) start.z = halfHeight + 0.01f;
    Throw(start, position, direction);
}

bool CPGibTrailShot::Update() {
    if (age_ > lifetime_) {
        Abort();
        return false;
    }
    age_ += FrameDelta;
    emitTimer_ += FrameDelta;
    if (emitTimer_ >= interval_) {
        emitTimer_ = 0.0f;
        if (GetPosition().z >= 0.0f) {
            const float size = particleSize_ * (1.0f + 0.2f * ShotRandom());
            const float life = particleLife_ * (1.0f + 0.2f * ShotRandom());
            // No choice of turns draws nothing for it.
            const float turn = turns_ > 0 ? static_cast<float>(EngineRand() % turns_) : 0.0f;
            const float spin = 2.0f * MathPi * ShotRandom();
            EmitShotParticle(particleType_, GetPosition(), size, life, true, Vec3(turn, 0.0f, spin));
        }
    }
    QueueForDrawing(this);
    return true;
}
