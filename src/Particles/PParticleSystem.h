#pragma once
// A particle system: a task that, every interval, emits one chain of particles built from its
// emitter definitions at its owner's place, turned with the owner. It may run for a limited time,
// damage its owner's script owner each interval and switch it to its alternate material at half
// time (flames).
#include <string>
#include <vector>

#include "Core/PGameObject.h"
#include "Core/PTask.h"
#include "Particles/PParticleDesc.h"

class CPParticleSystem : public CPTask, public CPRenderPart {
public:
    // Copies the definitions the manager knows, directions normalised; unknown names are skipped.
    explicit CPParticleSystem(CPGameObject* owner = nullptr, std::vector<std::string> names = {});

    bool Start() override;
    void Update() override;
    int GetTaskKind() const override { return KindLevel; }
    int GetObjectSize() const override { return sizeof(*this); }
    const char* GetTypeName() const override { return "CPParticleSystem"; }

    // A copy with the same owner, names, definitions and numbers.
    CPRefPtr<CPTask> Clone() override;

    // One chain of particles, one link per definition.
    void EmitAll();
    CPParticleDesc MakeDescriptor(const CPEmitterDef& def, bool first) const;

    CPGameObject* GetOwner() const { return owner_; }
    void SetOwner(CPGameObject* owner) override { owner_ = owner; }
    int GetRenderType() const override { return CPGameObject::RenderParticles; }
    CPRefPtr<CPManagedObject> CloneForOwner(CPGameObject* owner) override {
        CPRefPtr<CPTask> copy = Clone();
        static_cast<CPParticleSystem*>(copy.Get())->SetOwner(owner);
        return copy;
    }
    const std::vector<std::string>& GetNames() const { return names_; }
    const std::vector<CPEmitterDef>& GetDefinitions() const { return defs_; }
    float GetAccumulator() const { return accumulator_; }
    float GetElapsed() const { return elapsed_; }

    float interval = 0.1f;
    float duration = -1.0f; // 0 or less: endless
    float damage = 0.0f;

private:
    std::vector<CPEmitterDef> defs_;
    std::vector<std::string> names_;
    float accumulator_ = 0.0f;
    float elapsed_ = 0.0f;
    CPRefPtr<CPGameObject> target_;
    CPGameObject* owner_; // no reference: the owner holds its part
};
