#pragma once
// The physics task: owns the physics world during a race and writes poses back.
#include "Core/PSingleton.h"
#include "Core/PTask.h"

class CPPhysics : public CPTask, public CPSingleton<CPPhysics> {
public:
    CPPhysics();
    ~CPPhysics() override;
    void Update() override {}
    int GetTaskKind() const override { return KindLevel; }
    int GetObjectSize() const override { return sizeof(*this); }
    const char* GetTypeName() const override { return "CPPhysics"; }
};

inline CPPhysics* GetPhysics() { return CPSingleton<CPPhysics>::Instance(); }
