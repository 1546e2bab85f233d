#include "Particles/PParticleSystem.h"

#include <algorithm>
#include <cmath>

#include "Core/PGlobalTimer.h"
#include "Core/PRandom.h"
#include "Particles/PParticlesManager.h"

namespace {
constexpr float kDegree = 0.017453292f;
}

CPParticleSystem::CPParticleSystem(CPGameObject* owner, std::vector<std::string> names)
    : names_(std::move(names)), owner_(owner) {
    CPParticlesManager* manager = GetParticlesManager();
    for (const std::string& name : names_) {
        const CPEmitterDef* def = manager ? manager->FindEmitterDef(name) : nullptr;
        if (!def) continue;
        defs_.push_back(*def);
        defs_.back().direction = Normalize(def->direction);
    }
}

bool CPParticleSystem::Start() {
    accumulator_ = 0.0f;
    elapsed_ = 0.0f;
    return CPTask::Start();
}

void CPParticleSystem::Update() {
    const float a0 = accumulator_;
    accumulator_ += FrameDelta;
    const bool beforeHalf = 0.5f * duration > elapsed_;
    // A step of 0 or less would never use the time up: such a system emits nothing.
    while (interval > 0.0f && accumulator_ > interval) {
        accumulator_ -= interval;
        elapsed_ += interval;
        if (owner_) {
            if (CPRefPtr<CPGameObject> target = owner_->GetScriptOwner())
                target->Damage(Vec3(), Vec3(), damage, nullptr, false);
        }
        EmitAll();
        if (duration > 0.0f && elapsed_ > duration) CPTask::Stop();
    }
    if (beforeHalf && 0.5f * duration <= elapsed_ && owner_) {
        if (CPRefPtr<CPGameObject> target = owner_->GetScriptOwner()) target->ApplyAltMaterial();
    }
    elapsed_ += accumulator_ - a0;
}

void CPParticleSystem::EmitAll() {
    CPParticleDesc head;
    CPParticleDesc* last = nullptr;
    for (size_t i = 0; i < defs_.size(); ++i) {
        CPParticleDesc desc = MakeDescriptor(defs_[i], i == 0);
        if (!last) {
            head = std::move(desc);
            last = &head;
        } else {
            last->next = std::make_unique<CPParticleDesc>(std::move(desc));
            last = last->next.get();
        }
    }
    if (CPParticlesManager* manager = GetParticlesManager()) manager->EmitParticle(head);
}

CPParticleDesc CPParticleSystem::MakeDescriptor(const CPEmitterDef& def, bool first) const {
    Vec3 jitter;
    jitter.x = (2.0f * static_cast<float>(EngineRand()) / 32767.0f - 1.0f) * def.jitter.x;
    jitter.y = (2.0f * static_cast<float>(EngineRand()) / 32767.0f - 1.0f) * def.jitter.y;
    jitter.z = (2.0f * static_cast<float>(EngineRand()) / 32767.0f - 1.0f) * def.jitter.z;
    const Mat4 m = owner_ ? owner_->GetWorldMatrix() : MatIdentity();

    CPParticleDesc desc;
    desc.position = first ? jitter + Vec3(m(3, 0), m(3, 1), m(3, 2)) : jitter;

    const float yaw = static_cast<float>(EngineRand() % 360) * kDegree;
    float pitch = 0.0f;
    const int halfCone = def.cone / 2;
    if (def.cone != 0 && halfCone != 0) pitch = static_cast<float>(EngineRand() % halfCone) * kDegree;
    Vec3 velocity = def.speed * Vec3(std::cos(yaw) * std::sin(pitch), std::sin(yaw) * std::sin(pitch), std::cos(pitch));

    const Vec3& d = def.direction;
    const float angle = std::acos(std::clamp(d.z, -1.0f, 1.0f));
    const Vec3 axis(-d.y, d.x, 0.0f);
    if (LengthSq(axis) > 0.0f) velocity = Vec3TransformNormal(velocity, MatRotationAxis(Normalize(axis), angle));
    else velocity = velocity * std::cos(angle);
    velocity = Vec3TransformNormal(velocity, m);

    desc.typeName = def.typeName;
    desc.velocity = velocity;
    desc.acceleration = def.acceleration;
    desc.size = def.size;
    desc.growth = def.growth;
    desc.life = def.life;
    desc.fade = def.fade;
    desc.streak = false;
    return desc;
}

CPRefPtr<CPTask> CPParticleSystem::Clone() {
    CPRefPtr<CPParticleSystem> copy(new CPParticleSystem(owner_, names_));
    copy->interval = interval;
    copy->duration = duration;
    copy->damage = damage;
    copy->target_ = target_;
    copy->defs_ = defs_;
    return copy;
}
