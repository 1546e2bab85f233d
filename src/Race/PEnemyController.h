#pragma once
// Minimal behaviour component a game object forwards its events to. Nothing attaches one yet; the
// behaviour comes with the race world's enemy component.
#include "Core/Math/Vector.h"
#include "Core/PGameObjectParts.h"

class CPGameObject;

class CPEnemyController : public CPObjectEventSink {
public:
    virtual ~CPEnemyController() = default;
    void Damage(const Vec3& point, const Vec3& direction, float amount, CPGameObject* source, bool silent) override {
        (void)point, (void)direction, (void)amount, (void)source, (void)silent;
    }
    void NotifyAnimationStopped() override {}
    void NotifyAnimationReport() override {}
    void SetGibs(bool flag) override { gibs = flag; }

    bool gibs = false;
};
