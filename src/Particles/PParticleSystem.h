#pragma once
// Minimal particle system part: a task owned by a game object that can be copied for a copied
// object. Emission, particles and drawing come with the particles subsystem.
#include <string>
#include <vector>

#include "Core/PGameObject.h"
#include "Core/PTask.h"

class CPGameObject;

class CPParticleSystem : public CPTask, public CPRenderPart {
public:
    explicit CPParticleSystem(CPGameObject* owner = nullptr, std::vector<std::string> names = {})
        : owner_(owner), names_(std::move(names)) {}

    void Update() override {}
    int GetTaskKind() const override { return KindLevel; }
    int GetObjectSize() const override { return sizeof(*this); }
    const char* GetTypeName() const override { return "CPParticleSystem"; }

    // A copy without an owner; whoever takes it sets one.
    CPRefPtr<CPTask> Clone() override {
        CPRefPtr<CPParticleSystem> copy(new CPParticleSystem(nullptr, names_));
        copy->interval = interval;
        copy->duration = duration;
        return copy;
    }

    CPGameObject* GetOwner() const { return owner_; }
    void SetOwner(CPGameObject* owner) override { owner_ = owner; }
    int GetRenderType() const override { return CPGameObject::RenderParticles; }
    CPRefPtr<CPManagedObject> CloneForOwner(CPGameObject* owner) override {
        CPRefPtr<CPTask> copy = Clone();
        static_cast<CPParticleSystem*>(copy.Get())->SetOwner(owner);
        return copy;
    }
    const std::vector<std::string>& GetNames() const { return names_; }

    float interval = 0.1f;
    float duration = -1.0f;

private:
    CPGameObject* owner_; // no reference: the owner holds its part
    std::vector<std::string> names_;
};
