#pragma once
// The particle manager task: every live particle, emitted by name.
#include "Core/PSingleton.h"
#include "Core/PTask.h"

class CPParticlesManager : public CPTask, public CPSingleton<CPParticlesManager> {
public:
    CPParticlesManager();
    ~CPParticlesManager() override;
    void Update() override {}
    int GetTaskKind() const override { return KindLevel; }
    int GetObjectSize() const override { return sizeof(*this); }
    const char* GetTypeName() const override { return "CPParticlesManager"; }
};

inline CPParticlesManager* GetParticlesManager() { return CPSingleton<CPParticlesManager>::Instance(); }
