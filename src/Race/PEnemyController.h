#pragma once
// Minimal behaviour component a game object forwards its events to. Nothing attaches one yet; the
// behaviour comes with the race world's enemy component.
#include "Core/Math/Vector.h"

class CPGameObject;

class CPEnemyController {
public:
    virtual ~CPEnemyController() = default;
    virtual void Damage(const Vec3& point, const Vec3& direction, float amount, CPGameObject* source, bool silent) {
        (void)point, (void)direction, (void)amount, (void)source, (void)silent;
    }
    virtual void NotifyAnimationStopped() {}
    virtual void NotifyAnimationReport() {}

    bool gibs = false;
};
