#include "Weapons/PWeaponsRaceEffects.h"

#include "Core/PKernel.h"
#include "Core/PRayQuery.h"
#include "Particles/PParticlesManager.h"
#include "Race/PCamera.h"
#include "Race/PLevel.h"
#include "Race/PPlayer.h"
#include "Render/PMeshManager.h"
#include "Weapons/PShot.h"
#include "Weapons/PShotWorld.h"
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

void CPWeaponsRaceEffects::FireShot(const std::string& name, const Vec3& position, const Vec3& direction, float damage,
                                    const CPRefPtr<CPGameObject>& owner, void* extra) {
    if (CPWeaponsSystem* weapons = GetWeaponsSystem())
        weapons->CreateShot(name, position, direction, damage, owner, extra);
}

void CPWeaponsRaceEffects::EmitParticle(const std::string& type, const Vec3& position, const Vec3& velocity,
                                        const Vec3& acceleration, float size, float life) {
    EmitShotParticle(type, position, size, life, false, velocity, acceleration, 0.0f);
}

void CPWeaponsRaceEffects::EmitRaceParticle(const std::string& type, const Vec3& position, const Vec3& velocity,
                                            const Vec3& acceleration, float size, float growth, float life, bool fade) {
    EmitShotParticle(type, position, size, life, fade, velocity, acceleration, growth);
}

void CPWeaponsRaceEffects::EmitFlame(const Vec3& position, const Vec3& velocity, float life, CPPlayer* car) {
    CPParticlesManager* particles = GetParticlesManager();
    if (!particles) return;
    CPParticleDesc desc;
    desc.typeName = "firethrower";
    desc.position = position;
    desc.velocity = velocity;
    desc.life = life;
    desc.listener = CarFlameListener;
    desc.listenerObject = CPRefPtr<CPManagedObject>(car);
    particles->EmitParticle(desc);
}

void CarFlameListener(CPManagedObject* object, CPParticle& particle) {
    auto* car = dynamic_cast<CPPlayer*>(object);
    CPShotWorld* world = GetShotWorld();
    if (!car || !world) return;
    // A finished flame reaches nothing more.
    constexpr float kFinished = 1000.0f;
    std::vector<CPRefPtr<CPGameObject>> near;
    world->GetObjectsInRadius(particle.position, particle.size, near);
    const Vec3 step = particle.position - particle.previousPosition;
    const float length = Length(step);
    if (length > 0.0f) {
        CPRayQuery query;
        query.origin = particle.previousPosition;
        query.direction = step / length;
        query.distance = length;
        query.excludedObject = CPRefPtr<CPGameObject>(car);
        if (world->CrossRayWithPlayer(query) && query.hitOwner) {
            car->AddFlameHit(query.hitOwner.Get());
            particle.age = kFinished;
        }
    }
    for (const auto& object : near) {
        if (object.Get() == car) continue;
        car->AddFlameHit(object.Get());
        particle.age = kFinished;
    }
}
