// The vehicle model on a flat road, with the expected motion computed in the test: the drive force
// 0.5 x throttle x factor along world X, the engine's damping of 0.002 per tick, the brake, the
// nose lift and its stop, the flip rule and the burn, and the description's bad values.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "Core/PGameObject.h"
#include "Core/PGlobalTimer.h"
#include "Race/PCar.h"
#include "Race/PGameData.h"
#include "Race/PLevelBranch.h"
#include "Race/PPhysicData.h"
#include "Race/PPhysics.h"
#include "Race/PPlayer.h"
#include "Race/PRaceEffects.h"
#include "RaceCommandLog.h"
#include "ScriptHarness.h"

namespace {

constexpr float kMass = 10.0f;

const char* const kCarXml = R"(
<physics>
  <geometry><wheels count="2" x="0" y="-0.3" length="1.0" radius="0.35" front_min_radius="0.2" back_min_radius="0.2"/></geometry>
  <params>
    <wheels spring1="600" spring2="600" damping="60"/>
    <acceleration front="100" back="80" brake="50"/>
    <inertion yaw="0" pitch="0.1"/>
  </params>
</physics>
<render><shadow name="shadow_car.tga"/></render>
)";

class RecordingEffects : public CPRaceEffects {
public:
    void CreateShot(const std::string& name, const Vec3&, const Vec3&) override { shots.push_back(name); }
    void EmitDust(const std::string& type, const Vec3&) override { dust.push_back(type); }
    CPRefPtr<CPGameObject> CreateEmitterObject(const std::string& line) override {
        emitters.push_back(line);
        return CPRefPtr<CPGameObject>(new CPGameObject("fire"));
    }
    void CameraImpact(float) override {}
    void ClearShots() override {}
    void StopWeapons() override {}
    void RestartWeapons() override {}
    void ClearParticles() override {}
    std::vector<std::string> shots, dust, emitters;
};

class CarModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        physics_ = CPRefPtr<CPPhysics>(new CPPhysics);
        // A flat road 800 m long along +X, 40 m wide, from 2 m quads.
        std::vector<Vec3> positions;
        std::vector<uint16_t> indices;
        const int columns = 400;
        for (int i = 0; i <= columns; ++i) {
            positions.push_back({-50.0f + 2.0f * i, -20, 0});
            positions.push_back({-50.0f + 2.0f * i, 20, 0});
        }
        for (int i = 0; i < columns; ++i) {
            const uint16_t a = uint16_t(2 * i), b = uint16_t(2 * i + 1), c = uint16_t(2 * i + 2),
                           d = uint16_t(2 * i + 3);
            indices.insert(indices.end(), {a, c, d, a, d, b});
        }
        ASSERT_TRUE(physics_->BuildRoadGrid(positions, indices, MatIdentity()));
        physics_->InitWorld();
        SetRaceEffects(&effects_);
        gameData_ = std::make_unique<CPGameData>();
    }
    void TearDown() override {
        SetRaceEffects(nullptr);
        SetPlayerCarObject(nullptr);
        FrameDelta = 0.0f;
        physics_->DestroyWorld();
        physics_.Reset();
        gameData_.reset();
        CPManagedObject::CollectGarbage();
    }

    // A car facing +X (a quarter turn about Z turns the model's forward -Y onto +X).
    // A plain object, or a player car when asked (the flags the contact rules set live there).
    CPRefPtr<CPGameObject> MakeCar(const char* xml = kCarXml, float mass = kMass, bool player = false) {
        CPRefPtr<CPGameObject> car(player ? static_cast<CPGameObject*>(new CPPlayer) : new CPGameObject("coupe_t"));
        car->GetDescription().Parse(xml);
        CPRefPtr<CPPhysicData> data(new CPPhysicData(car.Get()));
        data->body = {0, 1.6f, 0.5f, 3.6f, 0.0f, mass};
        CPPhysicData::Shape shape;
        shape.a = 1.6f, shape.b = 0.5f, shape.c = 3.6f;
        data->shapes.push_back(shape);
        car->SetPhysicData(data);
        for (auto [name, y] : {std::pair{"w0", -1.4f}, std::pair{"w2", 1.4f}}) {
            CPRefPtr<CPGameObject> wheel(new CPGameObject(name));
            wheel->SetPosition({0, y, -0.3f});
            car->AddChild(wheel);
        }
        car->SetPosition({0, 0, 1.0f});
        car->SetRotation({0, 0, 0.70710677f, 0.70710677f});
        car->UpdateTransform();
        physics_->RestoreObject(car.Get());
        physics_->AddObject(car.Get(), true, 1);
        physics_->AddCar(car.Get(), true);
        return car;
    }

    static CPCar& Car(const CPRefPtr<CPGameObject>& object) { return *dynamic_cast<CPCar*>(object->GetCar().Get()); }
    static Physics::RigidBody& Body(const CPRefPtr<CPGameObject>& object) {
        return *dynamic_cast<CPPhysicData*>(object->GetPhysicData().Get())->rigidBody;
    }

    void Run(int frames) {
        FrameDelta = 1.0f / 60.0f;
        for (int i = 0; i < frames; ++i) {
            ++FrameCounter;
            physics_->Update();
        }
    }

    CPRefPtr<CPPhysics> physics_;
    RecordingEffects effects_;
    std::unique_ptr<CPGameData> gameData_;
};

TEST_F(CarModelTest, SettlesOnTheRoadOnBothWheels) {
    CPRefPtr<CPGameObject> car = MakeCar();
    Run(180);
    const Vec3 p = car->GetPosition();
    EXPECT_NEAR(p.x, 0.0f, 0.05f);
    EXPECT_GT(p.z, 0.3f); // floating on its springs, the body clear of the road
    EXPECT_LT(p.z, 1.2f);
    EXPECT_TRUE(Car(car).GetWheel(0).contact);
    EXPECT_TRUE(Car(car).GetWheel(1).contact);
    EXPECT_NEAR(Car(car).speed, 0.0f, 0.05f);
}

// Speed and distance after n ticks under a constant force with the engine's damping per tick.
void Expected(float force, int ticks, float& speed, float& distance) {
    speed = 0.0f;
    distance = 0.0f;
    for (int i = 0; i < ticks; ++i) {
        speed = (speed + force / kMass * CPPhysics::kStep) * (1.0f - 0.002f);
        distance += speed * CPPhysics::kStep;
    }
}

TEST_F(CarModelTest, ThrottleDrivesAlongXAsComputedAndReverseDrivesBack) {
    for (float input : {1.0f, 0.5f, -1.0f}) {
        SCOPED_TRACE(input);
        CPRefPtr<CPGameObject> car = MakeCar();
        Run(120);
        const float x0 = car->GetPosition().x;
        const int steps0 = physics_->GetStepsTaken();
        physics_->SetCarInput(car.Get(), input, 0.0f);
        Run(150);
        const int ticks = physics_->GetStepsTaken() - steps0;
        const float factor = input < 0 ? 80.0f : 100.0f;
        float speed, distance;
        Expected(0.5f * input * factor, ticks, speed, distance);
        const float vx = Body(car).GetLinearVelocity().x;
        EXPECT_NEAR(vx, speed, std::fabs(speed) * 0.01f);
        EXPECT_NEAR(car->GetPosition().x - x0, distance, std::fabs(distance) * 0.01f);
        EXPECT_NEAR(Car(car).speed, std::fabs(speed), std::fabs(speed) * 0.02f);
        EXPECT_LT(std::fabs(car->GetPosition().y), 0.5f);
        physics_->DestroyWorld();
        physics_->InitWorld();
    }
}

// The model has no steering and drives along world X whatever the heading: a car a script turned
// to face along Y, or back along -X, is still pushed along +X.
TEST_F(CarModelTest, ATurnedCarIsStillDrivenAlongX) {
    for (const Quat heading : {Quat{0, 0, 0, 1}, Quat{0, 0, -0.70710677f, 0.70710677f}}) {
        SCOPED_TRACE(heading.z);
        CPRefPtr<CPGameObject> car = MakeCar();
        car->SetRotation(heading);
        car->UpdateTransform();
        Run(120);
        const Vec3 p0 = car->GetPosition();
        physics_->SetCarInput(car.Get(), 1.0f, 0.0f);
        Run(150);
        const Vec3 moved = car->GetPosition() - p0;
        EXPECT_GT(moved.x, 5.0f);
        EXPECT_LT(std::fabs(moved.y), 0.1f * moved.x);
        physics_->DestroyWorld();
        physics_->InitWorld();
    }
}

TEST_F(CarModelTest, HeldWheelsBrakeAtTheBrakeRate) {
    CPRefPtr<CPGameObject> car = MakeCar();
    Run(120);
    physics_->SetCarInput(car.Get(), 1.0f, 0.0f);
    Run(60);
    Car(car).held = true; // what LockPlayer does
    physics_->SetCarInput(car.Get(), 0.0f, 0.0f);
    float v = Body(car).GetLinearVelocity().x;
    ASSERT_GT(v, 3.0f);
    const int steps0 = physics_->GetStepsTaken();
    Run(6);
    const int ticks = physics_->GetStepsTaken() - steps0;
    // Each held wheel pushes back with brake x its forward speed.
    for (int i = 0; i < ticks; ++i) v = (v - 2.0f * 50.0f * v / kMass * CPPhysics::kStep) * (1.0f - 0.002f);
    // At least as fast as two braking wheels, when the car dips and the rear wheel lifts a little.
    EXPECT_GE(Body(car).GetLinearVelocity().x, v * 0.98f);
    EXPECT_LT(Body(car).GetLinearVelocity().x, v * 1.15f);
    Run(120);
    EXPECT_NEAR(Body(car).GetLinearVelocity().x, 0.0f, 0.01f);
}

TEST_F(CarModelTest, LiftRaisesTheNoseUntilItsAngle) {
    CPRefPtr<CPGameObject> car = MakeCar();
    Run(120);
    physics_->SetCarInput(car.Get(), 0.0f, 30.0f);
    // One step on the level car: the nose-up torque is 30 degrees x 100 x 0.16 x mass about the
    // body's X axis (8.38 x mass), beside the wheels' own small torques.
    Run(1);
    Physics::Controller* controller = Car(car).GetController();
    ASSERT_NE(controller, nullptr);
    EXPECT_NEAR(std::fabs(Physics::Length(controller->GetTorque())), 8.3776f * kMass, 0.05f * 8.3776f * kMass);
    // In the air (no wheel torques): the torque shrinks with the pitch and stops at 30 degrees.
    for (float pitch : {10.0f, 20.0f, 29.0f, 31.0f, 45.0f}) {
        SCOPED_TRACE(pitch);
        const float half = pitch * 0.017453292f * 0.5f;
        const Quat q = QuatMultiply({std::sin(half), 0, 0, std::cos(half)}, {0, 0, 0.70710677f, 0.70710677f});
        Body(car).SetPosition({0, 0, 30, 0});
        Body(car).SetOrientation({q.x, q.y, q.z, q.w});
        Body(car).SetLinearVelocity({0, 0, 0, 0});
        Body(car).SetAngularMomentum({0, 0, 0, 0});
        FrameDelta = 0.0f;
        physics_->Update();
        FrameDelta = 1.0f / 150.0f / 1.5f + 1e-6f; // one step
        physics_->Update();
        const float expected = std::max(0.0f, (30.0f - pitch) * 0.017453292f) * 16.0f * kMass;
        EXPECT_NEAR(Physics::Length(controller->GetTorque()), expected, 0.02f * 16.0f * kMass) << pitch;
    }
    EXPECT_FALSE(Car(car).burned);
    EXPECT_TRUE(effects_.shots.empty());
}

TEST_F(CarModelTest, FlipRuleWrecksTheCarFromOneHundredTwentyDegreesOnce) {
    // A car on its roof is wrecked: the player's wrecked flag, the one IsDead and the weapons read.
    CPRefPtr<CPGameObject> car = MakeCar(kCarXml, kMass, true);
    CPPlayer& player = *dynamic_cast<CPPlayer*>(car.Get());
    ScriptHarness::GameRoot root("");
    RaceCommandLog log;
    ASSERT_TRUE(log.Loaded());
    auto sent = [&] {
        std::vector<std::string> lines;
        for (const char* name : {"main", "jeep"})
            for (const std::string& line : log.Take(name)) lines.push_back(std::string(name) + " " + line);
        return lines;
    };
    auto contact = [&] {
        Physics::ContactReport report;
        report.bodyA = &Body(car);
        report.codeA = 1;
        report.materialA = 1;
        report.codeB = 0;
        report.materialB = 0;
        OnPhysicsContact(&report);
    };
    struct Case {
        float degrees;
        bool wrecked;
    };
    for (const Case c : {Case{119.0f, false}, Case{120.0f, true}, Case{150.0f, true}}) {
        SCOPED_TRACE(c.degrees);
        player.wrecked = false;
        Car(car).offRoad = true;
        log.Clear();
        const float half = c.degrees * 0.017453292f * 0.5f;
        // Rolled about the car's forward axis (world X here), on top of the quarter turn.
        car->SetRotation(QuatMultiply({0, 0, 0.70710677f, 0.70710677f}, {std::sin(half), 0, 0, std::cos(half)}));
        contact();
        EXPECT_FALSE(Car(car).offRoad);
        EXPECT_EQ(player.wrecked, c.wrecked);
        const std::vector<std::string> expected =
            c.wrecked ? std::vector<std::string>{"main player_restart", "jeep game_over"} : std::vector<std::string>{};
        EXPECT_EQ(sent(), expected);
        // A second contact in the same state sends nothing more.
        contact();
        EXPECT_TRUE(sent().empty());
    }
    // After the race ended nothing happens.
    player.wrecked = false;
    SetRaceOverQuery([] { return true; });
    contact();
    EXPECT_FALSE(player.wrecked);
    SetRaceOverQuery(nullptr);
}

TEST_F(CarModelTest, TheOwnersTrafficBitKeepsTheWheelsFromRaisingDust) {
    // The vehicle model reads the class bits of the car that owns it: with bit 4 (a traffic car)
    // a rolling wheel raises no dust, without it the rear wheel does.
    for (const int bits : {8, 4 | 8}) {
        SCOPED_TRACE(bits);
        CPRefPtr<CPGameObject> car = MakeCar(kCarXml, kMass, true);
        dynamic_cast<CPPlayer*>(car.Get())->SetClassBits(bits);
        Run(120);
        physics_->SetCarInput(car.Get(), 0.5f, 0.0f);
        Run(60);
        effects_.dust.clear();
        Run(30);
        ASSERT_TRUE(Car(car).dusting); // the wheels roll at a dusty speed either way
        EXPECT_EQ(effects_.dust.empty(), (bits & 4) != 0);
        physics_->DestroyWorld();
        physics_->InitWorld();
    }
}

TEST_F(CarModelTest, DangerIsToldAboveFiftyFiveDegreesOfPitch) {
    // Every step the model tells "game_interface" whether the nose is more than 55 degrees off the
    // horizontal, either way.
    ScriptHarness::GameRoot root("");
    RaceCommandLog log;
    ASSERT_TRUE(log.Loaded());
    struct Case {
        float degrees;
        const char* told;
    };
    for (const Case c : {Case{0.0f, "danger false"}, Case{54.0f, "danger false"}, Case{56.0f, "danger true"},
                         Case{-56.0f, "danger true"}}) {
        SCOPED_TRACE(c.degrees);
        CPRefPtr<CPGameObject> car = MakeCar();
        const float half = c.degrees * 0.017453292f * 0.5f;
        // Pitched about the car's side axis (world Y here), on top of the quarter turn.
        car->SetRotation(QuatMultiply({0, 0, 0.70710677f, 0.70710677f}, {0, std::sin(half), 0, std::cos(half)}));
        car->UpdateTransform();
        physics_->RestoreObject(car.Get());
        log.Clear();
        Run(1);
        const std::vector<std::string> told = log.Take("game_interface");
        ASSERT_FALSE(told.empty());
        EXPECT_EQ(told.front(), c.told);
        physics_->DestroyWorld();
        physics_->InitWorld();
    }
}

TEST_F(CarModelTest, PitchPastEightyDegreesBurnsOnce) {
    CPRefPtr<CPGameObject> car = MakeCar();
    Run(60);
    // Stand the car on its tail: the nose points up.
    const Physics::Vector4 q{0.0f, 0.0f, 0.70710677f, 0.70710677f};
    const float half = 85.0f * 0.017453292f * 0.5f;
    const Quat standing = QuatMultiply({std::sin(half), 0, 0, std::cos(half)}, {q.x, q.y, q.z, q.w});
    Body(car).SetOrientation({standing.x, standing.y, standing.z, standing.w});
    Body(car).SetPosition({0, 0, 3, 0});
    Run(30);
    EXPECT_TRUE(Car(car).burned);
    EXPECT_EQ(effects_.shots, std::vector<std::string>{"rocket_exp2"});
    EXPECT_EQ(effects_.emitters.size(), 1u);
    ASSERT_TRUE(Car(car).fireObject);
    EXPECT_EQ(Car(car).fireObject->GetParentPointer(), car.Get());
    physics_->SetCarInput(car.Get(), 1.0f, 30.0f);
    EXPECT_EQ(Car(car).throttle, 0.0f);
    EXPECT_EQ(Car(car).lift, 0.0f);
}

TEST_F(CarModelTest, DescriptionValuesAreCheckedAndBadCarsGetNoWheels) {
    struct Case {
        const char* count;
        int expected;
    };
    for (const Case c : {Case{"", 2}, Case{"count=\"4\"", 2}, Case{"count=\"-1\"", 0}, Case{"count=\"1\"", 1},
                         Case{"count=\"1e10\"", 2}, Case{"count=\"-1e10\"", 0}}) {
        SCOPED_TRACE(c.count);
        const std::string xml = std::string("<physics><geometry><wheels ") + c.count +
                                " radius=\"nan\" length=\"inf\"/></geometry></physics>";
        CPRefPtr<CPGameObject> car(new CPGameObject("car"));
        car->GetDescription().Parse(xml.c_str());
        CPCar model(car.Get());
        model.ReadParams(false);
        EXPECT_EQ(model.count, c.expected);
        EXPECT_EQ(model.wheelRadius, 0.5f); // non-finite values keep the defaults
        EXPECT_EQ(model.rayLength, 1.5f);
    }
    // No mass: no rigid body, so no rays and no controller.
    for (float mass : {0.0f, std::nanf("")}) {
        CPRefPtr<CPGameObject> car = MakeCar(kCarXml, mass);
        EXPECT_EQ(Car(car).GetController(), nullptr);
        EXPECT_EQ(Car(car).GetWheel(0).sensors[0], nullptr);
        physics_->DestroyWorld();
        physics_->InitWorld();
    }
}

} // namespace
