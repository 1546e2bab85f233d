#include "Weapons/PWeaponsRaceEffects.h"

#include "Core/PKernel.h"
#include "Particles/PParticlesManager.h"
#include "Race/PCamera.h"
#include "Race/PLevel.h"
#include "Render/PMeshManager.h"
#include "Weapons/PShot.h"
#include "Weapons/PWeaponsSystem.h"

void CPWeaponsRaceEffects::CreateShot(const std::string& name, const Vec3& position, const Vec3& direction) {
    LaunchShot(name, position, direction, -1.0f);
}

void CPWeaponsRaceEffects::CameraImpact(float value) {
    CPLevel* level = GetLevel();
    if (CPCamera* camera = level ? level->GetCamera() : nullptr) camera->impact = value;
}

void CPWeaponsRaceEffects::EmitDust(const std::string& type, const Vec3& point) {
    // Wheel dust rises slowly, grows and fades over two seconds.
    EmitShotParticle(type, point, 1.5f, 2.0f, true, Vec3(0, 0, 0.5f), Vec3(), 1.0f);
}

CPRefPtr<CPGameObject> CPWeaponsRaceEffects::CreateEmitterObject(const std::string& line) {
    CPMeshManager* meshes = GetMeshManager();
    return meshes ? meshes->CreateEmitterObject(line) : CPRefPtr<CPGameObject>();
}

void CPWeaponsRaceEffects::ClearShots() {
    if (CPWeaponsSystem* weapons = GetWeaponsSystem()) weapons->ClearShots();
}

void CPWeaponsRaceEffects::StopWeapons() {
    if (CPWeaponsSystem* weapons = GetWeaponsSystem()) weapons->Stop();
}

void CPWeaponsRaceEffects::RestartWeapons() {
    CPWeaponsSystem* weapons = GetWeaponsSystem();
    CPKernel* kernel = GetKernel();
    // A task that never loaded its file stays out, as at start-up.
    if (!weapons || !kernel || !weapons->IsLoaded()) return;
    // Stopped earlier in this turn it is still listed: taken back there, it runs once a turn.
    if (kernel->IsRunning(weapons)) weapons->Start();
    else kernel->AddTask(CPRefPtr<CPTask>(weapons));
}

void CPWeaponsRaceEffects::ClearParticles() {
    if (CPParticlesManager* particles = GetParticlesManager()) particles->ClearAll();
}
