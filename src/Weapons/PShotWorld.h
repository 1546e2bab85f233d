#pragma once
// What shots ask of the race world: rays against the scene and the cars, the objects near a point,
// the camera and the player's car. The level installs one while a race runs; with none, rays hit
// nothing, nothing is near and the camera stands at the origin.
#include <vector>

#include "Core/Math/Vector.h"
#include "Core/PGameObject.h"

class CPRayQuery;

class CPShotWorld {
public:
    virtual ~CPShotWorld() = default;
    // The level's scene without the player car; true on a hit (the query is filled).
    virtual bool CrossRay(CPRayQuery& query) = 0;
    // The scene and the player car.
    virtual bool CrossRayWithPlayer(CPRayQuery& query) = 0;
    // The rival cars first, then the player car.
    virtual bool CrossCars(CPRayQuery& query) = 0;
    // Active placed objects, pickups and the player car within the radius (distance <= radius).
    virtual void GetObjectsInRadius(const Vec3& position, float radius,
                                    std::vector<CPRefPtr<CPGameObject>>& result) = 0;
    // The main camera's eye; false without a camera.
    virtual bool GetCameraPosition(Vec3& eye) = 0;
    // The player's car object, or null.
    virtual CPGameObject* GetPlayerCar() = 0;
    // Adds health to the player car, capped at its maximum; false without a car.
    virtual bool RepairPlayerCar(float amount) = 0;
};

void SetShotWorld(CPShotWorld* world);
CPShotWorld* GetShotWorld();

// The race world of the current level: its rays, its objects near a point, its camera and its player
// car; without a level, rays hit nothing and nothing is near.
class CPLevelShotWorld : public CPShotWorld {
public:
    bool CrossRay(CPRayQuery& query) override;
    bool CrossRayWithPlayer(CPRayQuery& query) override;
    bool CrossCars(CPRayQuery& query) override;
    void GetObjectsInRadius(const Vec3& position, float radius, std::vector<CPRefPtr<CPGameObject>>& result) override;
    bool GetCameraPosition(Vec3& eye) override;
    CPGameObject* GetPlayerCar() override;
    bool RepairPlayerCar(float amount) override;
};
