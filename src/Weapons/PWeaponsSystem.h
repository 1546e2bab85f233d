#pragma once
// The weapons task: shot prototypes and the per-name shot pools.
#include "Core/PSingleton.h"
#include "Core/PTask.h"

class CPWeaponsSystem : public CPTask, public CPSingleton<CPWeaponsSystem> {
public:
    CPWeaponsSystem();
    ~CPWeaponsSystem() override;
    void Update() override {}
    int GetTaskKind() const override { return KindLevel; }
    int GetObjectSize() const override { return sizeof(*this); }
    const char* GetTypeName() const override { return "CPWeaponsSystem"; }
};

inline CPWeaponsSystem* GetWeaponsSystem() { return CPSingleton<CPWeaponsSystem>::Instance(); }
