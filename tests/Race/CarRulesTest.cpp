// The race's physics rules with values worked out by hand: the world's material and collision-group
// tables, the explosive-object contact, the ground height under the player's car, and the vehicle
// model's per-step work — the "danger" warning, the rear wheel's dust clock, the exhaust flicker, the
// boost push, the nitro drain and the engine pitch. Random draws are checked against the engine's
// own generator reseeded and drawn in the order the steps take them.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "Core/PGameObject.h"
#include "Core/PGlobalTimer.h"
#include "Core/PRandom.h"
#include "Core/PSettings.h"
#include "Platform/Audio.h"
#include "Race/PCar.h"
#include "Race/PGameData.h"
#include "Race/PPhysicData.h"
#include "Race/PPhysics.h"
#include "Race/PPlayer.h"
#include "Race/PRaceEffects.h"
#include "RaceCommandLog.h"
#include "ScriptHarness.h"
#include "Sound/NAudio.h"
#include "Sound/NSound.h"
#include "Sound/SoundTestSupport.h"

namespace {

constexpr float kMass = 10.0f;
constexpr float kDegree = 0.017453292f;
// FrameDelta that gives exactly one fixed step from an empty accumulator (the task scales by 1.5).
constexpr float kOneStep = CPPhysics::kStep / 1.5f * 1.0001f;

const char* const kCarXml = R"(
<physics>
  <geometry><wheels count="2" x="0" y="-0.3" length="1.0" radius="0.35" front_min_radius="0.2" back_min_radius="0.2"/></geometry>
  <params>
    <wheels spring1="600" spring2="600" damping="60"/>
    <acceleration front="100" back="80" brake="50"/>
  </params>
</physics>
)";

class RecordingEffects : public CPRaceEffects {
public:
    struct Shot {
        std::string name;
        Vec3 position, direction;
    };
    void CreateShot(const std::string& name, const Vec3& position, const Vec3& direction) override {
        shots.push_back({name, position, direction});
    }
    void EmitDust(const std::string& type, const Vec3& point) override {
        dust.push_back({type, point, Vec3()});
        dustFrames.push_back(FrameCounter);
    }
    CPRefPtr<CPGameObject> CreateEmitterObject(const std::string&) override { return nullptr; }
    void CameraImpact(float value) override { impacts.push_back(value); }
    void ClearShots() override {}
    void StopWeapons() override {}
    void RestartWeapons() override {}
    void ClearParticles() override {}
    std::vector<Shot> shots, dust;
    std::vector<int> dustFrames;
    std::vector<float> impacts;
};

// Quarter turn about Z: the model's forward -Y onto world +X.
const Quat kFacingX{0, 0, 0.70710677f, 0.70710677f};

// The car facing +X with its nose raised by `degrees` about its own X axis.
Quat Pitched(float degrees) {
    const float half = degrees * kDegree * 0.5f;
    return QuatMultiply({std::sin(half), 0, 0, std::cos(half)}, kFacingX);
}

class CarRulesTest : public ::testing::Test {
protected:
    void SetUp() override {
        physics_ = CPRefPtr<CPPhysics>(new CPPhysics);
        // A flat road along +X, 2 m quads.
        std::vector<Vec3> positions;
        std::vector<uint16_t> indices;
        for (int i = 0; i <= 200; ++i) {
            positions.push_back({-50.0f + 2.0f * i, -20, 0});
            positions.push_back({-50.0f + 2.0f * i, 20, 0});
        }
        for (int i = 0; i < 200; ++i) {
            const auto a = uint16_t(2 * i), b = uint16_t(2 * i + 1), c = uint16_t(2 * i + 2), d = uint16_t(2 * i + 3);
            indices.insert(indices.end(), {a, c, d, a, d, b});
        }
        ASSERT_TRUE(physics_->BuildRoadGrid(positions, indices, MatIdentity()));
        physics_->InitWorld();
        SetRaceEffects(&effects_);
        gameData_ = std::make_unique<CPGameData>();
        dustBefore_ = g_dust;
    }
    void TearDown() override {
        SetRaceEffects(nullptr);
        SetPlayerCarObject(nullptr);
        FrameDelta = 0.0f;
        g_dust = dustBefore_;
        physics_->DestroyWorld();
        physics_.Reset();
        audio_.reset();
        gameData_.reset();
        CPManagedObject::CollectGarbage();
    }

    // A car with the wheel and exhaust parts, at (0, 0, z), entered as the player's car.
    // ownerIsPlayer: the car belongs to a player object, whose class bits the vehicle model reads.
    CPRefPtr<CPGameObject> MakeCar(float z, const Quat& rotation = kFacingX, const char* xml = kCarXml,
                                   bool player = true, bool ownerIsPlayer = false) {
        CPRefPtr<CPGameObject> car(ownerIsPlayer ? static_cast<CPGameObject*>(new CPPlayer)
                                                 : new CPGameObject("coupe_t"));
        car->GetDescription().Parse(xml);
        CPRefPtr<CPPhysicData> data(new CPPhysicData(car.Get()));
        data->body = {0, 1.6f, 0.5f, 3.6f, 0.0f, kMass};
        CPPhysicData::Shape shape;
        shape.a = 1.6f, shape.b = 0.5f, shape.c = 3.6f;
        data->shapes.push_back(shape);
        car->SetPhysicData(data);
        for (auto [name, y] : {std::pair{"w0", -1.4f}, std::pair{"w2", 1.4f}}) {
            CPRefPtr<CPGameObject> wheel(new CPGameObject(name));
            wheel->SetPosition({0, y, -0.3f});
            car->AddChild(wheel);
        }
        for (const char* name : kExhaust) car->AddChild(CPRefPtr<CPGameObject>(new CPGameObject(name)));
        car->SetPosition({0, 0, z});
        car->SetRotation(rotation);
        car->UpdateTransform();
        physics_->RestoreObject(car.Get());
        physics_->AddObject(car.Get(), true, 1);
        physics_->AddCar(car.Get(), player);
        return car;
    }

    // A loose object with a rigid body of the given material.
    CPRefPtr<CPGameObject> MakeBody(const char* name, const Vec3& position, int material) {
        CPRefPtr<CPGameObject> object(new CPGameObject(name));
        CPRefPtr<CPPhysicData> data(new CPPhysicData(object.Get()));
        data->body = {0, 1, 1, 1, 0.0f, 5.0f};
        CPPhysicData::Shape shape;
        shape.a = shape.b = shape.c = 1.0f;
        data->shapes.push_back(shape);
        object->SetPhysicData(data);
        object->SetPosition(position);
        object->UpdateTransform();
        physics_->AddObject(object.Get(), true, material);
        return object;
    }

    void OpenSound() {
        std::filesystem::create_directories("Data/Sounds");
        ASSERT_TRUE(SoundTest::WriteTone("Data/Sounds/racer_main.wav", 440, 0.5));
        ASSERT_TRUE(SoundTest::WriteTone("Data/Sounds/nitro.wav", 440, 0.5));
        std::ofstream("Data/Sounds/Sounds.dat") << "click;racer_main.wav\n";
        InvalidatePathCache();
        audio_ = std::make_unique<CNAudio>();
        audio_->SetDevice(&device_);
        ASSERT_EQ(audio_->Init(nullptr), S_OK);
    }

    static CPCar& Car(const CPRefPtr<CPGameObject>& object) { return *dynamic_cast<CPCar*>(object->GetCar().Get()); }
    static Physics::RigidBody& Body(const CPRefPtr<CPGameObject>& object) {
        return *dynamic_cast<CPPhysicData*>(object->GetPhysicData().Get())->rigidBody;
    }
    // One new frame of exactly one fixed step.
    void Frame() {
        ++FrameCounter;
        FrameDelta = kOneStep;
        const int before = physics_->GetStepsTaken();
        physics_->Update();
        ASSERT_EQ(physics_->GetStepsTaken() - before, 1);
    }

    static constexpr const char* kExhaust[] = {"flare",   "flare01", "flare02", "flare03", "flare04",
                                               "flare05", "flare06", "flare07", "engine1", "engine2"};

    ScriptHarness::GameRoot root_{""};
    CPRefPtr<CPPhysics> physics_;
    RecordingEffects effects_;
    std::unique_ptr<CPGameData> gameData_;
    Platform::NullAudioDevice device_;
    std::unique_ptr<CNAudio> audio_;
    int dustBefore_ = 0;
};

TEST_F(CarRulesTest, TheWorldHasTheRacesMaterialsAndCollisionGroups) {
    Physics::Simulator* world = physics_->GetWorld();
    ASSERT_NE(world, nullptr);
    const float materials[6][2] = {{1.0f, 1.0f}, {0.0f, 0.0f}, {0.5f, 0.5f}, {0.0f, 0.0f}, {0.5f, 0.5f}, {1.0f, 0.5f}};
    for (int i = 0; i < 6; ++i) {
        float friction = -1, restitution = -1, third = -1;
        ASSERT_TRUE(world->GetMaterial(i, &friction, &restitution, &third)) << i;
        EXPECT_EQ(friction, materials[i][0]) << i;
        EXPECT_EQ(restitution, materials[i][1]) << i;
    }
    // Bit 0 makes contacts, bit 1 reports the pair; -1 is the road (no group). Both orders of a
    // pair read alike.
    const struct {
        int a, b, value;
    } pairs[] = {
        {0, -1, 3},
        {0, 0, 3},
        {0, 1, 3},
        {1, -1, 1},
        {1, 2, 0},
        {0, 2, 1},
        {0, 3, 0},
        // Every other pair keeps the engine's default: collide, not reported.
        {3, -1, 1},
        {3, 3, 1},
        {2, 3, 1},
        {2, -1, 1},
        {1, 1, 1},
        {2, 2, 1},
        {1, 3, 1},
    };
    const Physics::CollisionGroupMatrix& groups = world->GetCollisionGroups();
    for (const auto& p : pairs) {
        EXPECT_EQ(groups.Get(p.a, p.b), p.value) << p.a << " " << p.b;
        EXPECT_EQ(groups.Get(p.b, p.a), p.value) << p.b << " " << p.a;
    }
}

// A rigid body of material 1 (a car, a mine) hitting a rigid body of material 2 sets that object
// off once: the camera shakes and "rocket_exp4" goes up where the object stands.
TEST_F(CarRulesTest, AnExplosiveObjectGoesOffOnceWhenARigidCarHitsIt) {
    struct Case {
        const char* what;
        int codeCar, codeObject, materialCar, materialObject;
        bool carFirst;
        bool explodes;
    };
    const Case cases[] = {
        {"car first", 1, 1, 1, 2, true, true},         {"object first", 1, 1, 1, 2, false, true},
        {"object kinematic", 1, 2, 1, 2, true, false}, {"car kinematic", 2, 1, 1, 2, true, false},
        {"two cars", 1, 1, 1, 1, true, false},         {"material 2 on the road", 1, 0, 0, 2, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        effects_ = RecordingEffects();
        // A fresh world for each case: it holds only five rigid bodies.
        physics_->DestroyWorld();
        physics_->InitWorld();
        CPRefPtr<CPGameObject> car = MakeCar(30.0f);
        CPRefPtr<CPGameObject> barrel = MakeBody("barrel", {3, 4, 5}, 2);
        Physics::ContactReport report;
        Physics::Body* carBody = &Body(car);
        Physics::Body* barrelBody = dynamic_cast<CPPhysicData*>(barrel->GetPhysicData().Get())->rigidBody;
        ASSERT_NE(barrelBody, nullptr);
        report.bodyA = c.carFirst ? carBody : barrelBody;
        report.bodyB = c.carFirst ? barrelBody : carBody;
        report.codeA = c.carFirst ? c.codeCar : c.codeObject;
        report.codeB = c.carFirst ? c.codeObject : c.codeCar;
        report.materialA = c.carFirst ? c.materialCar : c.materialObject;
        report.materialB = c.carFirst ? c.materialObject : c.materialCar;
        OnPhysicsContact(&report);
        OnPhysicsContact(&report); // the same contact again: it went off already
        if (c.explodes) {
            ASSERT_EQ(effects_.shots.size(), 1u);
            EXPECT_EQ(effects_.shots[0].name, "rocket_exp4");
            EXPECT_EQ(effects_.shots[0].position, Vec3(3, 4, 5));
            EXPECT_EQ(effects_.shots[0].direction, Vec3(0, 0, 1));
            EXPECT_EQ(effects_.impacts, std::vector<float>{1.0f});
        } else {
            EXPECT_TRUE(effects_.shots.empty());
            EXPECT_TRUE(effects_.impacts.empty());
        }
    }
}

// The triangle query writes the ground height for the player's car only: the z of the first vertex
// of the first gathered triangle.
TEST_F(CarRulesTest, TheGroundUnderThePlayerIsTheFirstVertexOfTheFirstGatheredTriangle) {
    // One cell of road: triangle 0 is (v1, v2, v0), so its first vertex is v1 at z 2.5; neither the
    // lowest (2) nor the highest (4) point of the road.
    const std::vector<Vec3> positions = {{0, 0, 4}, {6, 0, 2.5f}, {6, 6, 3}, {0, 6, 2}};
    const std::vector<uint16_t> indices = {1, 2, 0, 0, 2, 3};
    ASSERT_TRUE(physics_->BuildRoadGrid(positions, indices, MatIdentity()));
    physics_->InitWorld();
    CPRefPtr<CPGameObject> car = MakeCar(3.0f);
    CPRefPtr<CPGameObject> other = MakeBody("crate", {3, 3, 3}, 1);
    const Physics::Vector4 low{2, 2, 2, 0}, high{4, 4, 4, 0};
    int32_t* list = nullptr;
    Physics::CollisionTriangle* triangles = nullptr;
    float* vertices = nullptr;
    int32_t count = 0, triangleCount = 0;
    Physics::Body* otherBody = dynamic_cast<CPPhysicData*>(other->GetPhysicData().Get())->rigidBody;
    ASSERT_NE(otherBody, nullptr);

    SetPlayerCarObject(car.Get());
    PlayerGroundHeight = -7.0f;
    CPPhysics::QueryRoadTriangles(low, high, &list, &triangles, &vertices, &count, &triangleCount, otherBody);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(PlayerGroundHeight, -7.0f); // another body leaves it
    CPPhysics::QueryRoadTriangles(low, high, &list, &triangles, &vertices, &count, &triangleCount, &Body(car));
    EXPECT_EQ(PlayerGroundHeight, 2.5f);
    // Without a player car nothing writes it.
    SetPlayerCarObject(nullptr);
    PlayerGroundHeight = -7.0f;
    CPPhysics::QueryRoadTriangles(low, high, &list, &triangles, &vertices, &count, &triangleCount, &Body(car));
    EXPECT_EQ(PlayerGroundHeight, -7.0f);
}

// Every step of a car that has not burned tells "game_interface" whether its pitch is above 55
// degrees, nose up or down.
TEST_F(CarRulesTest, DangerIsToldEveryStepWhenThePitchPassesFiftyFiveDegrees) {
    RaceCommandLog log;
    ASSERT_TRUE(log.Loaded());
    const struct {
        float degrees;
        const char* told;
    } cases[] = {
        {0, "danger false"}, {54, "danger false"}, {56, "danger true"}, {-56, "danger true"}, {79, "danger true"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.degrees);
        // In the air: no wheel touches, lift 0, so nothing turns the car between the two steps.
        CPRefPtr<CPGameObject> car = MakeCar(30.0f, Pitched(c.degrees));
        log.Clear();
        physics_->Start();
        Frame();
        Frame();
        EXPECT_EQ(log.Take("game_interface"), (std::vector<std::string>{c.told, c.told}));
        EXPECT_FALSE(Car(car).burned);
        physics_->DestroyWorld();
        physics_->InitWorld();
    }
}

// The per-frame dust clock grows by (1 + rand / 32767) x the step; the rear wheel, rolling at a
// dusty speed, raises one "pil2" at its contact point each time the clock passes 0.025 and starts
// it again; the front wheel never does.
TEST_F(CarRulesTest, TheRearWheelRaisesDustOnItsClock) {
    const struct {
        const char* what;
        float speed;
        int classBits;
        bool held;
        int dust;
        bool dusts;
    } cases[] = {
        {"rolling at 5", 5.0f, 0, false, 1, true}, {"rolling at 11", 11.0f, 0, false, 1, false},
        {"traffic car", 5.0f, 4, false, 1, false}, {"traffic car held", 5.0f, 4, true, 1, true},
        {"dust off", 5.0f, 0, false, 0, false},
    };
    gameData_->levelStarted = true; // the frame stamp moves, so the clock grows once a frame
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        g_dust = c.dust;
        CPRefPtr<CPGameObject> car = MakeCar(1.0f, kFacingX, kCarXml, true, true);
        FrameDelta = 1.0f / 60.0f;
        for (int i = 0; i < 120; ++i) {
            ++FrameCounter;
            physics_->Update();
        }
        ASSERT_TRUE(Car(car).GetWheel(1).contact);
        dynamic_cast<CPPlayer*>(car.Get())->SetClassBits(c.classBits);
        Car(car).held = c.held;
        effects_ = RecordingEffects();
        physics_->Start();
        const unsigned seed = 4242;
        EngineSrand(seed);
        const int first = FrameCounter + 1;
        std::vector<float> carX;
        for (int i = 0; i < 40; ++i) {
            Body(car).SetLinearVelocity({c.speed, 0, 0, 0});
            Body(car).SetAngularMomentum({0, 0, 0, 0});
            Frame();
            carX.push_back(car->GetPosition().x);
        }
        if (!c.dusts) {
            EXPECT_TRUE(effects_.dust.empty());
        } else {
            // The clock ran all through the settling without a dusty speed, so the first frame
            // raises dust; from then on it counts from 0. Each frame draws once for each wheel,
            // the front wheel first.
            std::vector<int> expected = {first};
            EngineSrand(seed);
            EngineRand();
            EngineRand();
            float clock = 0.0f;
            for (int i = 1; i < 40; ++i) {
                EngineRand();
                clock += (1.0f + float(EngineRand()) / 32767.0f) * CPPhysics::kStep;
                if (clock > 0.025f) {
                    expected.push_back(first + i);
                    clock = 0.0f;
                }
            }
            EXPECT_EQ(effects_.dustFrames, expected);
            for (size_t i = 0; i < effects_.dust.size(); ++i) {
                EXPECT_EQ(effects_.dust[i].name, "pil2");
                // At the rear wheel's contact on the road: the first of its rays to reach the road,
                // from its origin 1.4 behind the car's middle forward by at most the ray length 1.
                const float x = carX[effects_.dustFrames[i] - first];
                EXPECT_GE(effects_.dust[i].position.x, x - 1.4f - 0.05f);
                EXPECT_LE(effects_.dust[i].position.x, x - 0.4f + 0.05f);
                EXPECT_NEAR(effects_.dust[i].position.z, 0.0f, 0.05f);
            }
        }
        physics_->DestroyWorld();
        physics_->InitWorld();
    }
}

// While the throttle is on, each exhaust part is shown on an odd draw and hidden on an even one:
// "flare01", "flare05", then with "engine1" shown "flare02", "flare06", then with "engine2" shown
// "flare03", "flare07", "flare", "flare04".
TEST_F(CarRulesTest, ExhaustFlamesFlickerOnOneDrawEachInTheirOrder) {
    gameData_->levelStarted = true;
    const struct {
        bool engine1, engine2;
        std::vector<const char*> drawn;
    } cases[] = {
        {false, false, {"flare01", "flare05"}},
        {true, false, {"flare01", "flare05", "flare02", "flare06"}},
        {false, true, {"flare01", "flare05", "flare03", "flare07", "flare", "flare04"}},
        {true, true, {"flare01", "flare05", "flare02", "flare06", "flare03", "flare07", "flare", "flare04"}},
    };
    for (const auto& c : cases) {
        for (unsigned seed : {1u, 7u, 99u}) {
            SCOPED_TRACE(std::to_string(c.engine1) + std::to_string(c.engine2) + " seed " + std::to_string(seed));
            CPRefPtr<CPGameObject> car = MakeCar(30.0f);
            car->FindChild("engine1")->SetVisible(c.engine1);
            car->FindChild("engine2")->SetVisible(c.engine2);
            physics_->SetCarInput(car.Get(), 1.0f, 0.0f);
            physics_->Start();
            Frame();
            // A second step in the same frame: no dust-clock draws, only the flicker's.
            for (const char* part :
                 {"flare", "flare01", "flare02", "flare03", "flare04", "flare05", "flare06", "flare07"})
                car->FindChild(part)->SetVisible(true);
            EngineSrand(seed);
            FrameDelta = kOneStep;
            physics_->Update();
            const int next = EngineRand(); // the first draw after the step's own
            EngineSrand(seed);
            std::vector<std::pair<std::string, bool>> expected;
            for (const char* part : c.drawn) expected.emplace_back(part, (EngineRand() & 1) != 0);
            for (const auto& [part, shown] : expected) EXPECT_EQ(car->FindChild(part)->IsVisible(), shown) << part;
            // The parts not drawn for keep what they had.
            for (const char* part :
                 {"flare", "flare01", "flare02", "flare03", "flare04", "flare05", "flare06", "flare07"}) {
                bool drawn = false;
                for (const char* d : c.drawn) drawn = drawn || std::string(d) == part;
                if (!drawn) {
                    EXPECT_TRUE(car->FindChild(part)->IsVisible()) << part;
                }
            }
            // The step drew once for each part and no more.
            EngineSrand(seed);
            for (size_t i = 0; i < c.drawn.size(); ++i) EngineRand();
            EXPECT_EQ(next, EngineRand());
            physics_->DestroyWorld();
            physics_->InitWorld();
        }
    }
    // With the throttle off the flames keep their state.
    CPRefPtr<CPGameObject> car = MakeCar(30.0f);
    car->FindChild("flare01")->SetVisible(true);
    car->FindChild("flare05")->SetVisible(false);
    physics_->Start();
    for (int i = 0; i < 5; ++i) Frame();
    EXPECT_TRUE(car->FindChild("flare01")->IsVisible());
    EXPECT_FALSE(car->FindChild("flare05")->IsVisible());
}

// The boost pushes with 5000 x dt along the car's forward direction laid into the X-Z plane
// (g = (-x, 0, -z) of the body's second row, normalised): nothing for a car along world Y.
TEST_F(CarRulesTest, TheBoostPushesAlongTheHeadingInTheXZPlane) {
    const float push = 5000.0f * CPPhysics::kStep; // 33.33 for one step
    const float c30 = std::cos(30.0f * kDegree), s30 = std::sin(30.0f * kDegree);
    const struct {
        const char* what;
        Quat rotation;
        float boost;
        Vec3 force; // z compared by size: the pitch's sign is the quaternion's convention
    } cases[] = {
        {"facing +X", kFacingX, 1.0f, {push, 0, 0}},
        {"facing -X", {0, 0, -0.70710677f, 0.70710677f}, 1.0f, {-push, 0, 0}},
        {"facing +Y", {0, 0, 1, 0}, 1.0f, {0, 0, 0}},
        {"facing -Y", {0, 0, 0, 1}, 1.0f, {0, 0, 0}},
        {"pitched 30 degrees", Pitched(30), 1.0f, {push * c30, 0, push * s30}},
        {"no boost", kFacingX, 0.0f, {0, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CPRefPtr<CPGameObject> car = MakeCar(30.0f, c.rotation);
        Car(car).nitroAmount = 1000.0f;
        Car(car).SetBoost(c.boost > 0.0f);
        EXPECT_EQ(Car(car).boost, c.boost);
        physics_->Start();
        Frame();
        // In the air no wheel adds a force: the controller's force is the push alone.
        const Physics::Vector4 force = Car(car).GetController()->GetForce();
        EXPECT_NEAR(force.x, c.force.x, 1e-3f);
        EXPECT_NEAR(force.y, c.force.y, 1e-3f);
        EXPECT_NEAR(std::fabs(force.z), c.force.z, 1e-3f);
        physics_->DestroyWorld();
        physics_->InitWorld();
    }
}

// Once a frame while the level has started: the boost burns FrameDelta x 300 of nitro and stops when
// it is gone; the engine loop plays and its pitch p moves by (min(2, 2 x moment + 0.5) - p) x
// FrameDelta x 5.
TEST_F(CarRulesTest, TheBoostBurnsNitroAndTheEnginePitchFollowsTheMomentOnceAFrame) {
    OpenSound();
    gameData_->levelStarted = true;
    {
        CPRefPtr<CPGameObject> car = MakeCar(30.0f);
        Car(car).nitroAmount = 3.0f;
        Car(car).SetBoost(true);
        physics_->Start();
        const float deltas[] = {0.005f, 0.005f};
        const float nitro[] = {1.5f, 0.0f};
        const float boost[] = {1.0f, 0.0f};
        for (int i = 0; i < 2; ++i) {
            ++FrameCounter;
            FrameDelta = deltas[i];
            physics_->Update();
            EXPECT_NEAR(Car(car).nitroAmount, nitro[i], 1e-5f) << i;
            EXPECT_EQ(Car(car).boost, boost[i]) << i;
        }
        ASSERT_TRUE(Car(car).boostSound);
        EXPECT_TRUE(Car(car).boostSound->IsPlaying());
        physics_->DestroyWorld();
        physics_->InitWorld();
    }
    const struct {
        float moment;
        float pitch[2]; // after one and two frames of 0.1 s
    } cases[] = {
        {1.0f, {1.0f, 1.5f}},    // target capped at 2
        {0.25f, {0.5f, 0.75f}},  // target 1
        {0.0f, {0.25f, 0.375f}}, // target 0.5
        {0.6f, {0.85f, 1.275f}}, // target 1.7
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.moment);
        CPRefPtr<CPGameObject> car = MakeCar(30.0f);
        ASSERT_TRUE(Car(car).engineSound);
        Car(car).engineMoment = c.moment;
        physics_->Start();
        for (int i = 0; i < 2; ++i) {
            ++FrameCounter;
            FrameDelta = 0.1f; // many steps, one frame
            physics_->Update();
            EXPECT_NEAR(Car(car).enginePitch, c.pitch[i], 1e-5f) << i;
        }
        EXPECT_TRUE(Car(car).engineSound->IsPlaying());
        const auto* voice = device_.GetVoice(Car(car).engineSound->GetVoice());
        ASSERT_NE(voice, nullptr);
        EXPECT_TRUE(voice->loop);
        EXPECT_NEAR(voice->pitch, c.pitch[1], 1e-3f);
        physics_->DestroyWorld();
        physics_->InitWorld();
    }
    // Before the level has started nothing of it runs.
    gameData_->levelStarted = false;
    CPRefPtr<CPGameObject> car = MakeCar(30.0f);
    Car(car).engineMoment = 1.0f;
    Car(car).nitroAmount = 3.0f;
    Car(car).SetBoost(true);
    physics_->Start();
    ++FrameCounter;
    FrameDelta = 0.1f;
    physics_->Update();
    EXPECT_EQ(Car(car).enginePitch, 0.0f);
    EXPECT_EQ(Car(car).nitroAmount, 3.0f);
}

// The player's car tells "jeep" its tuning values when its description gives the speed an "angle";
// absent values read 0.
TEST_F(CarRulesTest, TheTuningValuesGoToJeepForThePlayersCarWithAnAngleOnly) {
    RaceCommandLog log;
    ASSERT_TRUE(log.Loaded());
    const std::string physics = R"(<geometry><wheels count="2"/></geometry>)";
    const std::string full = "<physics>" + physics +
                             R"(<params><speed angle="12.5"/><acceleration accel_front="3" accel_back="1.25" )"
                             R"(speed_front="40" speed_back="7.5"/></params></physics><camera fov_div="2"/>)";
    const std::string angleOnly = "<physics>" + physics + R"(<params><speed angle="-3.456"/></params></physics>)";
    const std::string noAngle = "<physics>" + physics +
                                R"(<params><speed max_front_speed="9"/><acceleration accel_front="3"/></params>)"
                                R"(</physics><camera fov_div="2"/>)";
    const struct {
        const char* what;
        const std::string& xml;
        bool player;
        std::vector<std::string> told;
    } cases[] = {
        {"player", full, true, {"set_car_params 12.50,2.00,3.00,1.25", "set_car_params2 40.00,7.50"}},
        {"player, only the angle",
         angleOnly,
         true,
         {"set_car_params -3.46,0.00,0.00,0.00", "set_car_params2 0.00,0.00"}},
        {"not the player", full, false, {}},
        {"no angle", noAngle, true, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        log.Clear();
        CPRefPtr<CPGameObject> car = MakeCar(30.0f, kFacingX, c.xml.c_str(), c.player);
        EXPECT_EQ(log.Take("jeep"), c.told);
        physics_->DestroyWorld();
        physics_->InitWorld();
    }
}

// Each step turns a wheel by spin scale x its rolling speed when it touches, or x the throttle when it
// does not; the scale is 1 at throttle 0, else (1 - 0.5 x driven) x 0.025, driven counting the wheels
// that drove (the rear one). The wheel part takes that spin about X and stands at its rest origin,
// lowered by its visual offset.
TEST_F(CarRulesTest, TheWheelsTurnByTheirSpinScale) {
    gameData_->levelStarted = true;
    const struct {
        const char* what;
        float z;     // 30: in the air
        float input; // throttle input; x the forward factor 100
        float scale; // 0 for the air cases: the spin grows by 0.025 x throttle
    } cases[] = {
        {"rolling, no throttle", 1.0f, 0.0f, 1.0f},
        {"rolling, rear wheel driving", 1.0f, 1.0f, 0.0125f},
        {"in the air, throttle", 30.0f, 1.0f, 0.0f},
        {"in the air, reverse", 30.0f, -0.5f, 0.0f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CPRefPtr<CPGameObject> car = MakeCar(c.z);
        FrameDelta = 1.0f / 60.0f;
        if (c.z < 5.0f)
            for (int i = 0; i < 120; ++i) {
                ++FrameCounter;
                physics_->Update();
            }
        physics_->SetCarInput(car.Get(), c.input, 0.0f);
        physics_->Start();
        Body(car).SetLinearVelocity({5, 0, 0, 0});
        const float spin0[2] = {Car(car).GetWheel(0).spin, Car(car).GetWheel(1).spin};
        Frame();
        const float throttle = c.input * (c.input < 0 ? 80.0f : 100.0f);
        for (int w = 0; w < 2; ++w) {
            SCOPED_TRACE(w);
            const CPCar::Wheel& wheel = Car(car).GetWheel(w);
            const float turned = wheel.spin - spin0[w];
            if (c.z < 5.0f) {
                ASSERT_TRUE(wheel.contact);
                EXPECT_NEAR(wheel.rollingSpeed, 5.0f, 0.3f); // forward along +X at 5
                EXPECT_NEAR(turned, c.scale * wheel.rollingSpeed, 1e-4f);
            } else {
                EXPECT_FALSE(wheel.contact);
                EXPECT_NEAR(turned, 0.025f * throttle, 1e-4f);
            }
            // The part: about X by the spin, at (rest x, rest y, visual offset).
            CPRefPtr<CPGameObject> part = car->FindChild(w == 0 ? "w0" : "w2");
            const Quat q = part->GetRotation();
            EXPECT_NEAR(q.x, std::sin(wheel.spin * 0.5f), 1e-5f);
            EXPECT_NEAR(q.y, 0.0f, 1e-6f);
            EXPECT_NEAR(q.z, 0.0f, 1e-6f);
            EXPECT_NEAR(q.w, std::cos(wheel.spin * 0.5f), 1e-5f);
            // Rest origin x = part x 1.1 - ray x = 0, y = the part's y; in the air the offset stays
            // radius - length = 0.35 - 1.
            EXPECT_NEAR(part->GetPosition().x, 0.0f, 1e-6f);
            EXPECT_NEAR(part->GetPosition().y, w == 0 ? -1.4f : 1.4f, 1e-6f);
            if (c.z >= 5.0f) {
                EXPECT_NEAR(part->GetPosition().z, -0.65f, 1e-6f);
            }
        }
        physics_->DestroyWorld();
        physics_->InitWorld();
    }
}

} // namespace
