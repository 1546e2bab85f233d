#include "Application/MeshParts.h"

#include "Core/PGameObject.h"
#include "Particles/PParticleSystem.h"
#include "Race/PPhysicData.h"

CPPhysicShapes* CPMeshParts::MakePhysicData(CPGameObject& object) {
    CPRefPtr<CPPhysicData> data(new CPPhysicData(&object));
    object.SetPhysicData(data);
    return data.Get();
}

CPRefPtr<CPManagedObject> CPMeshParts::MakeParticleSystem(CPGameObject* owner, const std::vector<std::string>& names,
                                                          float interval) {
    CPRefPtr<CPParticleSystem> system(new CPParticleSystem(owner, names));
    system->interval = interval;
    return system;
}
