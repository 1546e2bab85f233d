#pragma once
// The race world's effects served from this floor: shots through the weapons task, wheel dust
// through the particles, burning emitters through the mesh manager, and the camera's impact through
// the installed shot world.
#include "Race/PRaceEffects.h"

class CPWeaponsRaceEffects : public CPRaceEffects {
public:
    void CreateShot(const std::string& name, const Vec3& position, const Vec3& direction) override;
    void CameraImpact(float value) override;
    void EmitDust(const std::string& type, const Vec3& point) override;
    CPRefPtr<CPGameObject> CreateEmitterObject(const std::string& line) override;
};
