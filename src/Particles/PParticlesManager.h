#pragma once
// The particle manager task: every live particle, emitted by name.
#include "Core/PTask.h"

class CPParticlesManager : public CPTask {
public:
    CPParticlesManager();
    ~CPParticlesManager() override;
    void Update() override {}
    int GetTaskKind() const override { return KindLevel; }
    int GetObjectSize() const override { return sizeof(*this); }
    const char* GetTypeName() const override { return "CPParticlesManager"; }
};

CPParticlesManager* GetParticlesManager();
