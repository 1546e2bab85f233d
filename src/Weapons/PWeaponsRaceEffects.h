#pragma once
// The race world's effects served from this floor: shots through the weapons task, wheel dust
// through the particles, burning emitters through the mesh manager, the camera's impact, and the
// weapons task and particles at the level's start and teardown.
#include "Race/PCarWeapon.h"
#include "Race/PRaceEffects.h"

struct CPParticle;

// Listener of a car's flame particle: whatever the flame's last step reached joins the car's flame
// hits and the flame ends there.
void CarFlameListener(CPManagedObject* car, CPParticle& particle);

class CPWeaponsRaceEffects : public CPRaceEffects, public CPCarWeaponEffects {
public:
    // The car's weapons.
    void FireShot(const std::string& name, const Vec3& position, const Vec3& direction, float damage,
                  const CPRefPtr<CPGameObject>& owner, void* extra) override;
    void EmitParticle(const std::string& type, const Vec3& position, const Vec3& velocity, const Vec3& acceleration,
                      float size, float life) override;
    void EmitFlame(const Vec3& position, const Vec3& velocity, float life, CPPlayer* car) override;

    void CreateShot(const std::string& name, const Vec3& position, const Vec3& direction) override;
    void EmitRaceParticle(const std::string& type, const Vec3& position, const Vec3& velocity, const Vec3& acceleration,
                          float size, float growth, float life, bool fade) override;
    void CameraImpact(float value) override;
    void EmitDust(const std::string& type, const Vec3& point) override;
    CPRefPtr<CPGameObject> CreateEmitterObject(const std::string& line) override;
    void ClearShots() override;
    // The task leaves the kernel; its pools stay for the next race.
    void StopWeapons() override;
    // Back in the kernel without reading the prototypes again.
    void RestartWeapons() override;
    void ClearParticles() override;
};
