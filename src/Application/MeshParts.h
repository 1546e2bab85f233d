#pragma once
// What descriptions build of the floors above the renderer: physics data of the race world and
// particle systems of the particles. The application hands one to the description loader.
#include "Render/PMeshManager.h"

class CPMeshParts : public CPMeshPartMaker {
public:
    CPPhysicShapes* MakePhysicData(CPGameObject& object) override;
    CPRefPtr<CPManagedObject> MakeParticleSystem(CPGameObject* owner, const std::vector<std::string>& names,
                                                 float interval) override;
};
