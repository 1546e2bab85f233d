#pragma once
// The race world's effects served from this floor: shots through the weapons task, wheel dust
// through the particles, burning emitters through the mesh manager, the camera's impact, and the
// weapons task and particles at the level's start and teardown.
#include "Race/PRaceEffects.h"

class CPWeaponsRaceEffects : public CPRaceEffects {
public:
    void CreateShot(const std::string& name, const Vec3& position, const Vec3& direction) override;
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
