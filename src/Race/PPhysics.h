#pragma once
// The physics task: owns the one physics world of a race, hands the engine the road triangles near
// each body, steps the world in fixed steps of 1/150 s, writes poses back into the game objects,
// parks and frees removed bodies, and decides what a reported contact means for the race.
#include <cstdint>
#include <vector>

#include "Core/Math/Quat.h"
#include "Core/Math/Vector.h"
#include "Core/PSingleton.h"
#include "Core/PTask.h"
#include "Physics/Physics.h"
#include "Race/PRoadGrid.h"
#include "Render/ShadowDecal.h"

class CPGameObject;
class CPCar;
class CPPhysicData;

// The engine's contact callback: a car on its roof ends the run; an explosive object goes off once.
void OnPhysicsContact(Physics::ContactReport* report);
// The car object whose road height the query reports and whose flip ends the race; the level sets
// it (null: none).
void SetPlayerCarObject(CPGameObject* car);
// Whether the race is over for the flip rule (finished, or a damage message showing); the level
// installs it (null: never over).
void SetRaceOverQuery(bool (*query)());

// The height of the road under the player's car, written by the road query, read by the camera.
extern float PlayerGroundHeight;

class CPPhysics : public CPTask, public CPSingleton<CPPhysics> {
public:
    static constexpr float kStep = 1.0f / 150.0f;
    static constexpr float kFirstParkHeight = -1000.0f;

    CPPhysics();
    ~CPPhysics() override;
    // Each race starts its fixed steps afresh: no time carried over from the race before.
    bool Start() override;
    void Update() override;
    void Stop() override;
    int GetTaskKind() const override { return KindLevel; }
    int GetObjectSize() const override { return sizeof(*this); }
    const char* GetTypeName() const override { return "CPPhysics"; }

    // The world with the game's pools, materials, collision groups and callbacks; the arguments are
    // the level's and change nothing. A previous world is destroyed first.
    void InitWorld(const Vec3& low = {}, const Vec3& high = {100, 100, 100}, int a = 500, int b = 500, int c = 500);
    void DestroyWorld();
    // The road grid from the road model's positions and indices placed by its world matrix.
    bool BuildRoadGrid(const std::vector<Vec3>& positions, const std::vector<uint16_t>& indices, const Mat4& world);

    // Makes the object's engine body at its pose when it has physics data; none otherwise.
    void AddObject(CPGameObject* object, bool enabled, int material);
    void CreateBody(CPPhysicData& data, const Vec3& position, const Quat& rotation, bool enabled, int material);
    // Enters the object into the written-back objects and marks its physics data enabled.
    void RestoreObject(CPGameObject* object);
    // The inverse: out of the written-back objects, physics data and body disabled.
    void RemoveObject(CPGameObject* object);
    // Gives a car object its vehicle model (initialised with this world) and its sounds.
    void AddCar(CPGameObject* car, bool player, int rearWheelChoice = 0);
    // Hands the inputs to the car model unchanged.
    void SetCarInput(CPGameObject* car, float throttle, float lift);
    // Parks the body below the level, disables it and forgets it; it is freed when its record
    // expires.
    void RemoveBody(CPPhysicData& data);

    // The road the shadow decal fits to under a body: its gathered triangles over the road arrays.
    DecalGround GetDecalGround(const CPPhysicData& data) const;

    Physics::Simulator* GetWorld() const { return world_; }
    const CPRoadGrid& GetRoadGrid() const { return grid_; }
    CPRoadGrid::Cell GetRoadCell(const Vec3& point) const { return grid_.GetRoadCell(point); }
    const std::vector<int32_t>& GetCellTriangles(const CPRoadGrid::Cell& cell) const {
        return grid_.GetCellTriangles(cell);
    }
    bool CellHasTriangle(int32_t triangle, const CPRoadGrid::Cell& cell) const {
        return grid_.CellHasTriangle(triangle, cell);
    }
    float GetAccumulator() const { return accumulator_; }
    float GetParkHeight() const { return parkHeight_; }
    int GetRemovalCount() const { return static_cast<int>(removals_.size()); }
    int GetStepsTaken() const { return stepsTaken_; }
    bool IsWrittenBack(const CPGameObject* object) const;

    // The engine's road query: the triangles of the cells around the body's box.
    static void QueryRoadTriangles(const Physics::Vector4& boxMin, const Physics::Vector4& boxMax, int32_t** indexList,
                                   Physics::CollisionTriangle** triangles, float** vertices, int32_t* indexCount,
                                   int32_t* triangleCount, Physics::Body* body);

private:
    struct Removal {
        Physics::RigidBody* rigid;
        Physics::AnimatedBody* animated;
        int countdown;
    };

    void WriteBack();

    Physics::Simulator* world_ = nullptr;
    float accumulator_ = 0.0f;
    float parkHeight_ = kFirstParkHeight;
    int stepsTaken_ = 0;
    std::vector<Removal> removals_;
    std::vector<CPRefPtr<CPGameObject>> writtenBack_; // each has (or had) a rigid body
    std::vector<CPRefPtr<CPPhysicData>> bodyOwners_;  // every physics data given a body in this world
    CPRoadGrid grid_;
};

inline CPPhysics* GetPhysics() { return CPSingleton<CPPhysics>::Instance(); }
