#pragma once
// What the race world asks of the floors above it when a car burns or raises dust: a shot, a
// particle, a burning emitter. Weapons and particles live above the race world, so they install an
// implementation here; with none installed the race runs without those effects.
#include <string>

#include "Core/Math/Vector.h"
#include "Core/PGameObject.h"

class CPRaceEffects {
public:
    virtual ~CPRaceEffects() = default;
    // A shot of that name launched at the position (speed 0, no owner, its own damage).
    virtual void CreateShot(const std::string& name, const Vec3& position, const Vec3& direction) = 0;
    // One particle of the type with its whole motion (the bonus sparks, the halo's wall). A stand-in
    // that has no particles drops it.
    virtual void EmitRaceParticle(const std::string& /*type*/, const Vec3& /*position*/, const Vec3& /*velocity*/,
                                  const Vec3& /*acceleration*/, float /*size*/, float /*growth*/, float /*life*/,
                                  bool /*fade*/) {}
    // The race camera's impact value (an explosive object went off).
    virtual void CameraImpact(float value) = 0;
    // One wheel-dust particle of the type at the point.
    virtual void EmitDust(const std::string& type, const Vec3& point) = 0;
    // The particle-emitter object of a description line ("fire1, 0, 0, ..."); null when none.
    virtual CPRefPtr<CPGameObject> CreateEmitterObject(const std::string& line) = 0;
    // The level's teardown and start: shots cleared, the weapons task stopped and added again, the
    // particles cleared.
    virtual void ClearShots() = 0;
    virtual void StopWeapons() = 0;
    virtual void RestartWeapons() = 0;
    virtual void ClearParticles() = 0;
};

void SetRaceEffects(CPRaceEffects* effects);
CPRaceEffects* GetRaceEffects();
