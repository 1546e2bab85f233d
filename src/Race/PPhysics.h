#pragma once
// The physics task: owns the physics world during a race and writes poses back.
#include "Core/PTask.h"

class CPPhysics : public CPTask {
public:
    CPPhysics();
    ~CPPhysics() override;
    void Update() override {}
    int GetTaskKind() const override { return KindLevel; }
    int GetObjectSize() const override { return sizeof(*this); }
    const char* GetTypeName() const override { return "CPPhysics"; }
};

CPPhysics* GetPhysics();
