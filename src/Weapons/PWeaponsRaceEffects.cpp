#include "Weapons/PWeaponsRaceEffects.h"

#include "Render/PMeshManager.h"
#include "Weapons/PShot.h"
#include "Weapons/PShotWorld.h"
#include "Weapons/PWeaponsSystem.h"

void CPWeaponsRaceEffects::CreateShot(const std::string& name, const Vec3& position, const Vec3& direction) {
    LaunchShot(name, position, direction, -1.0f);
}

void CPWeaponsRaceEffects::CameraImpact(float value) {
    if (CPShotWorld* world = GetShotWorld()) world->CameraImpact(value);
}

void CPWeaponsRaceEffects::EmitDust(const std::string& type, const Vec3& point) {
    // Wheel dust rises slowly, grows and fades over two seconds.
    EmitShotParticle(type, point, 1.5f, 2.0f, true, Vec3(0, 0, 0.5f), Vec3(), 1.0f);
}

CPRefPtr<CPGameObject> CPWeaponsRaceEffects::CreateEmitterObject(const std::string& line) {
    CPMeshManager* meshes = GetMeshManager();
    return meshes ? meshes->CreateEmitterObject(line) : CPRefPtr<CPGameObject>();
}
