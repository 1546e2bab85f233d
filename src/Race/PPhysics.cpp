#include "Race/PPhysics.h"

#include <algorithm>
#include <cmath>

#include "Core/PGameObject.h"
#include "Core/PGlobalTimer.h"
#include "Core/PLog.h"
#include "Core/PScriptManager.h"
#include "Race/PCar.h"
#include "Race/PPhysicData.h"
#include "Race/PPlayer.h"
#include "Race/PRaceEffects.h"
#include "Sound/NAudio.h"
#include "Sound/NSound.h"

float PlayerGroundHeight = 0.0f;

namespace {

// The player's car object, whose road height the query reports; the level sets it.
const CPGameObject* g_groundWatched = nullptr;
bool (*g_raceOver)() = nullptr;

Physics::Vector4 ToEngine(const Vec3& v) { return {v.x, v.y, v.z, 0.0f}; }

Physics::Vector4 NormalisedQuat(const Quat& q) {
    const float length = Length(q);
    if (!(length > 0.0f) || !std::isfinite(length)) return {0.0f, 0.0f, 0.0f, 1.0f};
    return {q.x / length, q.y / length, q.z / length, q.w / length};
}

// The shape's placement in the body: its position and the conjugate of its normalised rotation.
Physics::Matrix4 ShapeMatrix(const CPPhysicData::Shape& shape) {
    const Physics::Vector4 q = NormalisedQuat(shape.rotation);
    return Physics::Matrix4::FromRotationAndPosition(Physics::QuatToRows({-q.x, -q.y, -q.z, q.w}),
                                                     ToEngine(shape.position));
}

void ShapeBody(Physics::Body& body, CPPhysicData& data, int material) {
    for (CPPhysicData::Shape& shape : data.shapes) {
        shape.geometry = body.CreateGeometry();
        if (!shape.geometry) continue;
        if (shape.type == 0) shape.geometry->SetBox(shape.a, shape.c, shape.b);
        else shape.geometry->SetCapsule(shape.d, shape.b);
        shape.geometry->SetLocalMatrix(ShapeMatrix(shape));
        shape.geometry->SetMaterial(material);
    }
}

void LogEngineError(const char* message) { GetLog().Write(1, "physics: %s\n", message); }

} // namespace

void SetPlayerCarObject(CPGameObject* car) { g_groundWatched = car; }
void SetRaceOverQuery(bool (*query)()) { g_raceOver = query; }

void OnPhysicsContact(Physics::ContactReport* report) {
    // Rule 1: a car body (material 1) touching the road (material 0).
    const bool aIsCar = report->materialA == 1 && report->materialB == 0;
    const bool bIsCar = report->materialB == 1 && report->materialA == 0;
    if (aIsCar || bIsCar) {
        Physics::Body* body = aIsCar ? report->bodyA : report->bodyB;
        auto* object = body ? static_cast<CPGameObject*>(body->GetUserData()) : nullptr;
        auto* car = object ? dynamic_cast<CPCar*>(object->GetCar().Get()) : nullptr;
        if (car) {
            car->offRoad = false;
            const Vec3 up = Vec3TransformNormal({0, 0, 1}, MatRotationQuaternion(object->GetRotation()));
            const float angle = std::acos(std::clamp(up.z, -1.0f, 1.0f));
            // A car on its roof is wrecked: the one flag IsDead, the weapons and the car's own
            // update read.
            auto* owner = dynamic_cast<CPPlayer*>(object);
            if (owner && angle >= 2.0943952f && !owner->wrecked && !(g_raceOver && g_raceOver())) {
                owner->wrecked = true;
                if (CPScriptManager* scripts = GetScriptManager()) {
                    scripts->SendCommandByName("main", "player_restart", "");
                    scripts->SendCommandByName("jeep", "game_over", "");
                }
            }
        }
    }
    // Rule 2: a car or mine (material 1) hitting an explosive object (material 2), both rigid.
    if (report->codeA == 1 && report->codeB == 1) {
        Physics::Body* explosive = nullptr;
        if (report->materialA == 1 && report->materialB == 2) explosive = report->bodyB;
        if (report->materialA == 2 && report->materialB == 1) explosive = report->bodyA;
        auto* object = explosive ? static_cast<CPGameObject*>(explosive->GetUserData()) : nullptr;
        if (object && !object->IsContactSeen()) {
            if (CPRaceEffects* effects = GetRaceEffects()) {
                effects->CameraImpact(1.0f);
                effects->CreateShot("rocket_exp4", object->GetPosition(), {0, 0, 1});
            }
            object->SetContactSeen(true);
        }
    }
}

CPPhysics::CPPhysics() = default;

CPPhysics::~CPPhysics() { DestroyWorld(); }

void CPPhysics::InitWorld(const Vec3& low, const Vec3& high, int a, int b, int c) {
    (void)low, (void)high, (void)a, (void)b, (void)c;
    DestroyWorld();
    Physics::SimulatorDesc desc;
    desc.rigidBodiesCount = 5;
    desc.animatedBodiesCount = 5;
    desc.rigidParticleCount = 0;
    desc.constraintSetsCount = 10;
    desc.overlapPairsCount = 100;
    desc.geometriesCount = 100;
    desc.jointsCount = 10;
    desc.jointGroupsCount = 10;
    desc.reserved8 = 10;
    desc.sensorsCount = 100;
    desc.reserved10 = 200;
    desc.reserved11 = -1;
    const Physics::Vector4 gravity{0.0f, 0.0f, -9.8f, 0.0f};
    world_ = Physics::CreateSimulator(desc, nullptr, &gravity);
    if (!world_) return;
    world_->SetErrorCallback(LogEngineError);
    world_->SetContactCallback(OnPhysicsContact);
    const float materials[6][2] = {{1.0f, 1.0f}, {0.0f, 0.0f}, {0.5f, 0.5f}, {0.0f, 0.0f}, {0.5f, 0.5f}, {1.0f, 0.5f}};
    for (int i = 0; i < 6; ++i) world_->SetMaterial(i, materials[i][0], materials[i][1]);
    Physics::CollisionGroupMatrix& groups = world_->GetCollisionGroups();
    groups.Set(0, -1, 3);
    groups.Set(0, 0, 3);
    groups.Set(0, 1, 3);
    groups.Set(1, -1, 1);
    groups.Set(1, 2, 0);
    groups.Set(0, 2, 1);
    groups.Set(0, 3, 0);
    world_->SetTriangleQueryCallback(QueryRoadTriangles);
    accumulator_ = 0.0f;
}

void CPPhysics::DestroyWorld() {
    if (!world_) return;
    Physics::DestroySimulator(world_);
    world_ = nullptr;
    // The engine freed every body with the world: no physics data may keep a handle to one.
    for (const auto& data : bodyOwners_) {
        data->rigidBody = nullptr;
        data->animatedBody = nullptr;
        data->controller = nullptr;
        data->enabled = false;
        for (auto& shape : data->shapes) shape.geometry = nullptr;
    }
    bodyOwners_.clear();
    writtenBack_.clear();
    removals_.clear();
}

bool CPPhysics::BuildRoadGrid(const std::vector<Vec3>& positions, const std::vector<uint16_t>& indices,
                              const Mat4& world) {
    return grid_.Build(positions, indices, world);
}

void CPPhysics::AddObject(CPGameObject* object, bool enabled, int material) {
    if (!object) return;
    auto* data = dynamic_cast<CPPhysicData*>(object->GetPhysicData().Get());
    if (!data) return;
    CreateBody(*data, object->GetPosition(), object->GetRotation(), enabled, material);
    if (Physics::Body* body = data->GetBody()) body->SetUserData(object);
}

void CPPhysics::CreateBody(CPPhysicData& data, const Vec3& position, const Quat& rotation, bool enabled, int material) {
    if (!world_ || data.HasBody()) return;
    if (!(data.body.mass >= 0.0f)) { // below zero or not a number: a kinematic body
        Physics::AnimatedBody* body = world_->CreateAnimatedBody();
        if (!body) return;
        ShapeBody(*body, data, 3);
        body->SetCollisionGroup(2);
        body->UpdateBounds();
        body->SetPosition(ToEngine(position));
        body->SetOrientation(NormalisedQuat(rotation));
        data.animatedBody = body;
    } else {
        Physics::RigidBody* body = data.particle ? world_->CreateRigidParticle() : world_->CreateRigidBody();
        if (!body) return;
        ShapeBody(*body, data, material);
        body->UpdateBounds();
        body->SetEnabled(enabled ? 1 : 0, nullptr);
        data.rigidBody = body;
    }
    bodyOwners_.push_back(CPRefPtr<CPPhysicData>(&data));
}

void CPPhysics::AddCar(CPGameObject* carObject, bool player, int rearWheelChoice) {
    if (!carObject) return;
    CPRefPtr<CPCar> car(new CPCar(carObject));
    carObject->SetCar(car);
    car->Init(world_, player, rearWheelChoice);
    CNAudio* audio = GetSoundManager();
    if (!audio) return;
    if (player) {
        car->engineSound = audio->CreateSound("racer_main.wav", 0, false);
        car->boostSound = audio->CreateSound("nitro.wav", 0, false);
        return;
    }
    const std::string name = (car->ClassBits() & 4) ? "traffic" : carObject->GetName();
    const std::string files[] = {name + "_main.wav", name + "_c.wav", name + "_d.wav",    name + "_d_unlimited.wav",
                                 "car_brake.wav",    "vizg.wav",      name + "_over.wav", name + "_zadniy.wav"};
    for (const std::string& file : files) {
        CPRefPtr<CNSound> sound = audio->CreateSound(file, 1, true);
        if (!sound) continue;
        audio->SetSoundDistances(sound.Get(), 0.0f, 200.0f);
        car->rivalSounds.push_back(sound);
    }
    if (!car->rivalSounds.empty()) car->engineSound = car->rivalSounds[0];
}

void CPPhysics::SetCarInput(CPGameObject* carObject, float throttle, float lift) {
    if (!carObject) return;
    if (auto* car = dynamic_cast<CPCar*>(carObject->GetCar().Get())) car->SetThrottle(throttle, lift);
}

bool CPPhysics::IsWrittenBack(const CPGameObject* object) const {
    return std::any_of(writtenBack_.begin(), writtenBack_.end(), [&](const auto& o) { return o.Get() == object; });
}

void CPPhysics::RestoreObject(CPGameObject* object) {
    if (!object) return;
    auto* data = dynamic_cast<CPPhysicData*>(object->GetPhysicData().Get());
    if (!data) return;
    if (!IsWrittenBack(object)) writtenBack_.push_back(CPRefPtr<CPGameObject>(object));
    data->enabled = true;
}

void CPPhysics::RemoveObject(CPGameObject* object) {
    if (!object) return;
    auto* data = dynamic_cast<CPPhysicData*>(object->GetPhysicData().Get());
    if (!data) return;
    std::erase_if(writtenBack_, [&](const auto& o) { return o.Get() == object; });
    data->enabled = false;
    if (Physics::Body* body = data->GetBody(); body && body->IsEnabled()) body->SetEnabled(0, nullptr);
}

void CPPhysics::RemoveBody(CPPhysicData& data) {
    const Physics::Vector4 park{0.0f, 0.0f, parkHeight_, 0.0f};
    if (data.rigidBody) {
        removals_.push_back({data.rigidBody, nullptr, 2});
        data.rigidBody->SetPosition(park);
        data.rigidBody->SetEnabled(0, nullptr);
        data.rigidBody = nullptr;
    } else if (data.animatedBody) {
        removals_.push_back({nullptr, data.animatedBody, 2});
        data.animatedBody->SetPosition(park);
        data.animatedBody->SetEnabled(0, nullptr);
        data.animatedBody = nullptr;
    } else {
        return;
    }
    data.controller = nullptr;
    for (auto& shape : data.shapes) shape.geometry = nullptr;
    std::erase_if(bodyOwners_, [&](const auto& d) { return d.Get() == &data; });
    parkHeight_ -= 500.0f;
    if (parkHeight_ < -100000.0f) parkHeight_ = kFirstParkHeight;
}

void CPPhysics::Update() {
    accumulator_ += FrameDelta * 1.5f;
    if (!(accumulator_ > 0.0f)) return;
    while (accumulator_ >= kStep) {
        if (world_) world_->Step(kStep, 1, nullptr);
        ++stepsTaken_;
        accumulator_ -= kStep;
    }
    // A parked body goes back to the engine once, when its record expires.
    for (Removal& removal : removals_) --removal.countdown;
    std::erase_if(removals_, [&](const Removal& removal) {
        if (removal.countdown >= 0) return false;
        if (world_) world_->FreeBody(removal.rigid ? static_cast<Physics::Body*>(removal.rigid) : removal.animated);
        return true;
    });
    WriteBack();
}

void CPPhysics::WriteBack() {
    for (const auto& object : writtenBack_) {
        auto* data = dynamic_cast<CPPhysicData*>(object->GetPhysicData().Get());
        if (!data || !data->rigidBody) continue;
        const Physics::Vector4& q = data->rigidBody->GetOrientation();
        Physics::Matrix4 m;
        data->rigidBody->GetMatrix(m);
        const Physics::Vector4 p = m.Translation();
        object->SetPosition({p.x, p.y, p.z});
        object->SetRotation({q.x, q.y, q.z, q.w});
        object->UpdateTransform();
    }
}

bool CPPhysics::Start() {
    accumulator_ = 0.0f;
    return CPTask::Start();
}

void CPPhysics::Stop() {
    DestroyWorld();
    CPTask::Stop();
}

void CPPhysics::QueryRoadTriangles(const Physics::Vector4& boxMin, const Physics::Vector4& boxMax, int32_t** indexList,
                                   Physics::CollisionTriangle** triangles, float** vertices, int32_t* indexCount,
                                   int32_t* triangleCount, Physics::Body* body) {
    *indexList = nullptr;
    *indexCount = 0;
    *triangles = nullptr;
    *vertices = nullptr;
    *triangleCount = 0;
    CPPhysics* physics = GetPhysics();
    auto* object = body ? static_cast<CPGameObject*>(body->GetUserData()) : nullptr;
    auto* data = object ? dynamic_cast<CPPhysicData*>(object->GetPhysicData().Get()) : nullptr;
    if (!physics || !data) return;
    const CPRoadGrid& grid = physics->grid_;
    data->gatheredCount = grid.Gather({boxMin.x, boxMin.y, boxMin.z}, {boxMax.x, boxMax.y, boxMax.z}, data->gathered);
    if (object == g_groundWatched) {
        for (int i = 0; i < data->gatheredCount; ++i) {
            if (data->gathered[i] < grid.GetTriangleCount()) {
                PlayerGroundHeight = grid.GetVertex(grid.GetTriangles()[data->gathered[i]].vertex[0]).z;
                break;
            }
        }
    }
    *indexList = data->gathered;
    *indexCount = data->gatheredCount;
    *triangles = const_cast<Physics::CollisionTriangle*>(grid.GetTriangles().data());
    *vertices = const_cast<float*>(grid.GetVertices().data());
    *triangleCount = grid.GetTriangleCount();
}

DecalGround CPPhysics::GetDecalGround(const CPPhysicData& data) const {
    DecalGround ground;
    ground.triangles = data.gathered;
    ground.triangleCount = data.gatheredCount;
    ground.vertices = grid_.GetVertices().data();
    ground.vertexCount = grid_.GetVertexCount();
    static_assert(sizeof(Physics::CollisionTriangle) == 6 * sizeof(int));
    ground.table = reinterpret_cast<const int*>(grid_.GetTriangles().data());
    ground.tableCount = grid_.GetTriangleCount();
    return ground;
}
