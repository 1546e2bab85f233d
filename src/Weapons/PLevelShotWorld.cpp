#include <algorithm>

#include "Core/PRayQuery.h"
#include "Race/PCamera.h"
#include "Race/PLevel.h"
#include "Race/PPlayer.h"
#include "Render/PPerspectiveCamera.h"
#include "Weapons/PShotWorld.h"

bool CPLevelShotWorld::CrossRay(CPRayQuery& query) {
    CPLevel* level = GetLevel();
    return level && level->CrossRay(query);
}

bool CPLevelShotWorld::CrossRayWithPlayer(CPRayQuery& query) {
    CPLevel* level = GetLevel();
    return level && level->CrossRayWithPlayer(query);
}

bool CPLevelShotWorld::CrossCars(CPRayQuery& query) {
    CPLevel* level = GetLevel();
    return level && level->CrossCars(query);
}

void CPLevelShotWorld::GetObjectsInRadius(const Vec3& position, float radius,
                                          std::vector<CPRefPtr<CPGameObject>>& result) {
    if (CPLevel* level = GetLevel()) level->GetObjectsInRadius(position, radius, result);
}

bool CPLevelShotWorld::GetCameraPosition(Vec3& eye) {
    CPLevel* level = GetLevel();
    CPCamera* camera = level ? level->GetCamera() : nullptr;
    CPPerspectiveCamera* main = camera ? camera->GetMainCamera() : nullptr;
    if (!main) return false;
    eye = main->eye;
    return true;
}

CPGameObject* CPLevelShotWorld::GetPlayerCar() {
    CPLevel* level = GetLevel();
    return level ? level->GetPlayerCar() : nullptr;
}

bool CPLevelShotWorld::RepairPlayerCar(float amount) {
    CPLevel* level = GetLevel();
    CPPlayer* car = level ? level->GetPlayerCar() : nullptr;
    if (!car) return false;
    car->health = std::min(car->health + amount, car->maxHealth);
    return true;
}
