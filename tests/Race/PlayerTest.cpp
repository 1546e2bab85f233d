// The player's car without a world: its inputs under the lock and the throttle cut, and a car
// without a vehicle model or body answering zero. Then with a body on a flat road: respawning,
// nitro, the engine temperature, the wreck and the defeat, auto-unlock, damage and removal.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "Core/PGlobalTimer.h"
#include "Core/PRandom.h"
#include "Race/PCar.h"
#include "Race/PGameData.h"
#include "Race/PPhysicData.h"
#include "Race/PPhysics.h"
#include "Race/PPlayer.h"
#include "Race/PRaceEffects.h"
#include "RaceCommandLog.h"
#include "ScriptHarness.h"

namespace {

TEST(PlayerTest, ControlsFollowTheLockAndTheThrottleCut) {
    const struct {
        bool locked, cut;
        float throttle, lift;
    } cases[] = {
        {false, false, 0.7f, 30.0f}, // stored as given
        {false, true, 0.0f, 30.0f},  // the cut writes 0 as throttle and still the lift
        {true, false, 0.2f, 5.0f},   // locked: nothing changes
        {true, true, 0.2f, 5.0f},
    };
    for (const auto& c : cases) {
        CPRefPtr<CPPlayer> car(new CPPlayer);
        car->SetControls(0.2f, 5.0f);
        car->Lock(c.locked);
        car->SetThrottleCut(c.cut);
        if (!c.locked && c.cut) {
            EXPECT_EQ(car->GetThrottle(), 0.0f);
        }
        car->SetControls(0.7f, 30.0f);
        EXPECT_EQ(car->GetThrottle(), c.throttle) << c.locked << c.cut;
        EXPECT_EQ(car->GetLift(), c.lift) << c.locked << c.cut;
    }
}

TEST(PlayerTest, ResetRestoresTheStartValuesButNotTheKey) {
    CPRefPtr<CPPlayer> car(new CPPlayer);
    EXPECT_EQ(car->GetName(), "PLAYER");
    car->SetCarKey("coupe_t");
    car->SetClassBits(9);
    car->health = 5;
    car->damage = 100;
    car->Lock(true);
    car->SetThrottleCut(true);
    car->blinkTime = 1;
    EXPECT_TRUE(car->Reset());
    EXPECT_EQ(car->GetCarKey(), "coupe_t");
    EXPECT_EQ(car->GetClassBits(), 0);
    EXPECT_EQ(car->health, CPPlayer::kStartHealth);
    EXPECT_EQ(car->damage, 0.0f);
    EXPECT_FALSE(car->IsLocked());
    EXPECT_FALSE(car->IsThrottleCut());
    EXPECT_EQ(car->blinkTime, 0.0f);
}

TEST(PlayerTest, ACarWithoutModelOrBodyAnswersZero) {
    CPRefPtr<CPPlayer> car(new CPPlayer);
    EXPECT_EQ(car->GetCar(), nullptr);
    EXPECT_EQ(car->GetVelocity(), Vec3());
    EXPECT_EQ(car->GetMass(), 0.0f);
    car->ApplyImpulse(Vec3(1, 2, 3), Vec3(0, 0, 10)); // nothing to push
    car->SetRotation(Quat{0, 0, 0.70710677f, 0.70710677f});
    const Vec3 forward = car->GetForward();
    EXPECT_NEAR(forward.x, 1.0f, 1e-5f);
    EXPECT_NEAR(forward.y, 0.0f, 1e-5f);
}

} // namespace

// ---- the car with a body in a physics world, its commands read back from idle scripts ----

namespace {

constexpr float kMass = 10.0f;
const Quat kFacingX{0, 0, 0.70710677f, 0.70710677f};

const char* const kCarXml = R"(
<physics>
  <geometry><wheels count="2" x="0" y="-0.3" length="1.0" radius="0.35"/></geometry>
  <params><wheels spring1="600" spring2="600" damping="60"/><engine heating="0.5" cooling="0.25"/></params>
</physics>
<render><shadow name="shadow_car.tga"/></render>
)";

struct ParticleRecord {
    std::string type;
    Vec3 position, velocity, acceleration;
    float size, growth, life;
    bool fade;
};

class RecordingEffects : public CPRaceEffects {
public:
    void CreateShot(const std::string&, const Vec3&, const Vec3&) override {}
    void EmitRaceParticle(const std::string& type, const Vec3& position, const Vec3& velocity, const Vec3& acceleration,
                          float size, float growth, float life, bool fade) override {
        particles.push_back({type, position, velocity, acceleration, size, growth, life, fade});
    }
    void CameraImpact(float) override {}
    void EmitDust(const std::string&, const Vec3&) override {}
    CPRefPtr<CPGameObject> CreateEmitterObject(const std::string&) override { return {}; }
    void ClearShots() override {}
    void StopWeapons() override {}
    void RestartWeapons() override {}
    void ClearParticles() override {}
    std::vector<ParticleRecord> particles;
};

class PlayerBodyTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(log_.Loaded());
        physics_ = CPRefPtr<CPPhysics>(new CPPhysics);
        // A flat road along +X.
        std::vector<Vec3> positions;
        std::vector<uint16_t> indices;
        for (int i = 0; i <= 50; ++i) {
            positions.push_back({-50.0f + 4.0f * i, -20, 0});
            positions.push_back({-50.0f + 4.0f * i, 20, 0});
        }
        for (int i = 0; i < 50; ++i) {
            const auto a = uint16_t(2 * i), b = uint16_t(2 * i + 1), c = uint16_t(2 * i + 2), d = uint16_t(2 * i + 3);
            indices.insert(indices.end(), {a, c, d, a, d, b});
        }
        ASSERT_TRUE(physics_->BuildRoadGrid(positions, indices, MatIdentity()));
        physics_->InitWorld();
        SetRaceEffects(&effects_);
    }
    void TearDown() override {
        SetRaceEffects(nullptr);
        SetPlayerCarObject(nullptr);
        FrameDelta = 0.0f;
        car_.Reset();
        physics_->DestroyWorld();
        physics_.Reset();
        CPManagedObject::CollectGarbage();
    }

    // A car facing +X a metre up, with rear lights, a box of half-height 0.5 and a body.
    CPPlayer& MakeCar() {
        car_ = CPRefPtr<CPPlayer>(new CPPlayer);
        car_->GetDescription().Parse(kCarXml);
        CPRefPtr<CPPhysicData> data(new CPPhysicData(car_.Get()));
        data->body = {0, 1.6f, 0.5f, 3.6f, 0.0f, kMass};
        CPPhysicData::Shape shape;
        shape.a = 1.6f, shape.b = 0.5f, shape.c = 3.6f;
        data->shapes.push_back(shape);
        car_->SetPhysicData(data);
        for (auto [name, y] : {std::pair{"w0", -1.4f}, std::pair{"w2", 1.4f}, std::pair{"lflarerear", 1.8f},
                               std::pair{"rflarerear", 1.8f}}) {
            CPRefPtr<CPGameObject> part(new CPGameObject(name));
            part->SetPosition({0, y, 0});
            car_->AddChild(part);
        }
        car_->SetBoundingBox(CPOrientedBox(Vec3(), Vec3(0.8f, 1.8f, 0.5f)));
        car_->SetPosition({0, 0, 1.0f});
        car_->SetRotation(kFacingX);
        car_->UpdateTransform();
        physics_->RestoreObject(car_.Get());
        physics_->AddObject(car_.Get(), true, 1);
        physics_->AddCar(car_.Get(), true);
        car_->Reset();
        return *car_;
    }
    Physics::RigidBody* Body() const { return dynamic_cast<CPPhysicData*>(car_->GetPhysicData().Get())->rigidBody; }
    Vec3 BodyVelocity() const { return car_->GetLinearVelocity(); }

    ScriptHarness::GameRoot root_{""};
    RaceCommandLog log_;
    CPGameData data_;
    CPRefPtr<CPPhysics> physics_;
    RecordingEffects effects_;
    CPRefPtr<CPPlayer> car_;
};

Quat AboutX(float radians) { return {std::sin(radians / 2), 0, 0, std::cos(radians / 2)}; }

TEST_F(PlayerBodyTest, SpawnRightsOnlyALowTiltedCarUnlessForcedOrBelowTheGround) {
    const float kTilted = 0.5f;     // about 29 degrees
    const float kSlight = 0.2f;     // under 15 degrees
    const float kSide = 1.5707964f; // on its side: reads as untilted
    const struct {
        const char* what;
        float z, tilt, guard;
        bool locked, force, righted;
    } cases[] = {
        {"low and tilted", 0.2f, kTilted, 0, false, false, true},
        {"low and slightly tilted", 0.2f, kSlight, 0, false, false, false},
        {"low and upright", 0.2f, 0, 0, false, false, false},
        {"low on its side", 0.2f, kSide, 0, false, false, false},
        {"high and tilted", 2.0f, kTilted, 0, false, false, false},
        {"locked", 0.2f, kTilted, 0, true, false, false},
        {"guarded", 0.2f, kTilted, 1.0f, false, false, false},
        {"below the ground, upright", -1.0f, 0, 0, false, false, true},
        {"below the ground, locked on its side", -1.0f, kSide, 1.0f, true, false, true},
        {"forced upright and high", 3.0f, 0, 1.0f, true, true, true},
    };
    // One car placed anew for each case (the world holds only a few bodies).
    CPPlayer& car = MakeCar();
    for (const auto& c : cases) {
        car.Reset();
        car.SetPosition({0, 0, c.z});
        car.SetRotation(QuatMultiply(AboutX(c.tilt), kFacingX));
        car.UpdateTransform();
        Body()->SetLinearVelocity({3, 4, 5, 0});
        car.Lock(c.locked);
        car.SetRespawnGuard(c.guard);
        car.Spawn(c.force);
        if (!c.righted) {
            EXPECT_EQ(car.GetPosition().z, c.z) << c.what;
            EXPECT_EQ(car.blinkTime, 0.0f) << c.what;
            continue;
        }
        // The fixed restart point (0, 5, -20), facing +X: a quarter turn about Z.
        EXPECT_EQ(car.GetPosition(), Vec3(0, 5, -20)) << c.what;
        EXPECT_EQ(car.blinkTime, 1.0f) << c.what;
        EXPECT_NEAR(car.GetForward().x, 1.0f, 1e-5f) << c.what;
        EXPECT_EQ(BodyVelocity(), Vec3()) << c.what;
        const Physics::Vector4& p = Body()->GetPosition();
        EXPECT_EQ(Vec3(p.x, p.y, p.z), Vec3(0, 5, -20)) << c.what;
        const Physics::Vector4 q = Body()->GetOrientation();
        EXPECT_NEAR(q.x, 0.0f, 1e-6f) << c.what;
        EXPECT_NEAR(q.y, 0.0f, 1e-6f) << c.what;
        EXPECT_NEAR(q.z, 0.7071068f, 1e-6f) << c.what;
        EXPECT_NEAR(q.w, 0.7071068f, 1e-6f) << c.what;
    }
}

TEST_F(PlayerBodyTest, NitroPushesAlongTheMotionAndNothingAtRestOrForNonFiniteAmounts) {
    CPPlayer& car = MakeCar();
    const float mass = car.GetMass();
    ASSERT_GT(mass, 0.0f);
    car.Nitro(50.0f); // the model's stored velocity is zero: no direction
    EXPECT_EQ(BodyVelocity(), Vec3());
    car.GetCar()->velocity = Vec3(0, 3, 4);
    for (float bad : {NAN, INFINITY, -INFINITY}) car.Nitro(bad);
    EXPECT_EQ(BodyVelocity(), Vec3());
    car.Nitro(50.0f);
    EXPECT_NEAR(BodyVelocity().y, 50.0f * 0.6f / mass, 1e-4f);
    EXPECT_NEAR(BodyVelocity().z, 50.0f * 0.8f / mass, 1e-4f);
    EXPECT_FALSE(car.IsThrottleCut());
}

TEST_F(PlayerBodyTest, ForwardNitroCutsTheThrottleAndItsPushFadesToNothing) {
    CPPlayer& car = MakeCar();
    const float mass = car.GetMass();
    car.SetControls(1.0f, 0.0f);
    car.NitroForward(NAN, 1.0f);
    EXPECT_FALSE(car.IsThrottleCut());
    car.NitroForward(20.0f, 0.25f);
    EXPECT_TRUE(car.IsThrottleCut());
    EXPECT_EQ(car.GetThrottle(), 0.0f);
    EXPECT_NEAR(BodyVelocity().x, 20.0f / mass, 1e-4f);
    EXPECT_EQ(BodyVelocity().z, 0.0f);
    // Each frame pushes by the force times the time still left; the last frame pushes nothing back.
    FrameDelta = 0.1f;
    float expected = 20.0f / mass;
    float left = 0.25f;
    for (int frame = 0; frame < 3; ++frame) {
        car.Update();
        left -= 0.1f;
        expected += 20.0f * std::max(0.0f, left) / mass;
        EXPECT_NEAR(BodyVelocity().x, expected, 1e-4f) << frame;
        EXPECT_TRUE(car.IsThrottleCut()) << frame;
    }
    car.Update(); // the time has run out: the cut ends
    EXPECT_FALSE(car.IsThrottleCut());
    EXPECT_NEAR(BodyVelocity().x, expected, 1e-4f);
}

TEST_F(PlayerBodyTest, EngineTemperatureWarnsOnlyWhenItCrossesTheMark) {
    CPPlayer& car = MakeCar();
    EXPECT_EQ(car.engineHeating, 0.0f); // rates come from the description only when asked
    car.ReadEngineRates();
    EXPECT_EQ(car.engineHeating, 0.5f);
    EXPECT_EQ(car.engineCooling, 0.25f);
    log_.Clear();
    FrameDelta = 0.5f;
    const struct {
        float throttle, temperature;
        std::vector<std::string> sent;
    } frames[] = {
        {1.0f, 0.25f, {}},
        {1.0f, 0.5f, {}},
        {-1.0f, 0.75f, {}}, // reverse heats as well
        {1.0f, 1.0f, {"engine_temp 1"}},
        {1.0f, 1.0f, {}}, // held at the top, no second warning
        {0.0f, 0.875f, {}},
        {0.0f, 0.75f, {"engine_temp 0"}},
        {0.0f, 0.625f, {}},
        {1.0f, 0.875f, {"engine_temp 1"}},
    };
    for (const auto& f : frames) {
        car.SetControls(f.throttle, 0.0f);
        car.Update();
        EXPECT_FLOAT_EQ(car.engineTemperature, f.temperature);
        EXPECT_EQ(log_.Take("gamemenu"), f.sent) << f.temperature;
    }
    // A description without rates keeps the temperature where it is.
    car.GetDescription().Clear();
    car.ReadEngineRates();
    car.Update();
    EXPECT_FLOAT_EQ(car.engineTemperature, 0.875f);
}

TEST_F(PlayerBodyTest, AWreckedCarSmokesAndThePlayersDefeatIsToldOnce) {
    CPPlayer& car = MakeCar();
    car.SetClassBits(9);
    car.damage = 100.0f;
    FrameDelta = 0.25f;
    // Not locked: no wreck yet, but the player's defeat is reported at once.
    car.Update();
    EXPECT_FALSE(car.wrecked);
    EXPECT_EQ(log_.Take("game_interface"), std::vector<std::string>{"show_message proigrish!"});
    EXPECT_EQ(log_.Take("jeep"), std::vector<std::string>{"game_over"});
    EXPECT_TRUE(car.defeatReported);

    car.Lock(true);
    car.SetVisible(false);
    EngineSrand(11);
    const float r3 = EngineRand() / 32767.0f, r2 = EngineRand() / 32767.0f, r1 = EngineRand() / 32767.0f;
    EngineSrand(11);
    std::vector<std::string> defeats;
    for (int frame = 2; frame <= 100; ++frame) {
        car.Update();
        for (const std::string& c : log_.Take("main")) defeats.push_back(std::to_string(frame) + " " + c);
    }
    EXPECT_TRUE(car.wrecked);
    EXPECT_TRUE(car.IsVisible());
    EXPECT_FALSE(car.GetPartByName("lflarerear")->IsVisible());
    EXPECT_FALSE(car.GetPartByName("rflarerear")->IsVisible());
    // The first frame whose defeat time lies in [3, 20] is the twelfth (12 x 0.25 s).
    EXPECT_EQ(defeats, std::vector<std::string>{"12 defeat"});
    EXPECT_TRUE(log_.Take("game_interface").empty());
    // One smoke puff every other frame of the locked wreck (0.5 s at 0.25 s a frame).
    ASSERT_EQ(effects_.particles.size(), 49u);
    const ParticleRecord& puff = effects_.particles[0];
    EXPECT_EQ(puff.type, "smoke3car");
    EXPECT_EQ(puff.position, car.GetPosition());
    EXPECT_FLOAT_EQ(puff.velocity.x, 1.7f * r1);
    EXPECT_FLOAT_EQ(puff.velocity.y, 1.7f * r2);
    EXPECT_FLOAT_EQ(puff.velocity.z, 3.0f + 0.4f * r3);
    EXPECT_EQ(puff.acceleration, Vec3(0, 0, -1));
    EXPECT_EQ(puff.size, 1000.0f);
    EXPECT_EQ(puff.growth, 1.0f);
    EXPECT_EQ(puff.life, 2.5f);
    EXPECT_TRUE(puff.fade);

    // A traffic car is wrecked without smoke; a car that is not the player's tells nobody.
    effects_.particles.clear();
    CPPlayer& traffic = MakeCar();
    traffic.SetClassBits(4);
    traffic.damage = 150.0f;
    traffic.Lock(true);
    log_.Clear();
    for (int frame = 0; frame < 20; ++frame) traffic.Update();
    EXPECT_TRUE(traffic.wrecked);
    EXPECT_TRUE(effects_.particles.empty());
    for (const char* script : {"main", "jeep", "game_interface"}) EXPECT_TRUE(log_.Take(script).empty()) << script;
}

TEST_F(PlayerBodyTest, AutoUnlockLetsTheCarGoAfterFourSeconds) {
    CPPlayer& car = MakeCar();
    car.Lock(true);
    car.SetThrottleCut(true);
    car.autoUnlock = true;
    FrameDelta = 1.0f;
    for (int i = 0; i < 4; ++i) car.Update();
    EXPECT_TRUE(car.IsLocked()); // 4 s is not yet more than 4 s
    EXPECT_TRUE(car.GetCar()->held);
    car.Update();
    EXPECT_FALSE(car.IsLocked());
    EXPECT_FALSE(car.GetCar()->held);
    EXPECT_FALSE(car.IsThrottleCut());
    EXPECT_FALSE(car.autoUnlock);
    EXPECT_EQ(car.autoUnlockTime, 0.0f);
}

TEST_F(PlayerBodyTest, DamageWarnsOnceUnderTwentyAndReportsDeathOnce) {
    CPPlayer& car = MakeCar();
    log_.Clear();
    const struct {
        float health, coefficient, hit;
        bool alive;
        float healthAfter;
        std::vector<std::string> main, category;
    } cases[] = {
        {25, 1, 5, true, 20, {"say_critical"}, {}},
        {20, 1, 5, true, 15, {}, {}},
        {25, 2, 2.5f, true, 20, {"say_critical"}, {}},
        {10, 1, 10, true, 0, {}, {}}, // exactly 0 is still alive
        {0, 1, 1, false, 0, {}, {"player_dead"}},
        {30, 1, 40, false, 0, {"say_critical"}, {"player_dead"}},
        {30, 1, NAN, true, 30, {}, {}},
        {30, 1, INFINITY, true, 30, {}, {}},
    };
    for (const auto& c : cases) {
        car.Reset();
        car.health = c.health;
        data_.coefficients[1] = c.coefficient;
        const bool finite = std::isfinite(c.hit);
        EXPECT_EQ(car.TakeDamage(c.hit), c.alive) << c.health << " " << c.hit;
        EXPECT_EQ(car.health, c.healthAfter) << c.health << " " << c.hit;
        // "player_dead" goes to the category "main", whose one script here is "main".
        std::vector<std::string> expected = c.main;
        expected.insert(expected.end(), c.category.begin(), c.category.end());
        EXPECT_EQ(log_.Take("main"), expected) << c.health << " " << c.hit;
        EXPECT_EQ(log_.Take("gamemenu").size(), finite ? 1u : 0u) << c.health << " " << c.hit;
    }
    // Once reported, further hits are fatal but say nothing more.
    car.Reset();
    car.health = 1;
    EXPECT_FALSE(car.TakeDamage(5));
    EXPECT_FALSE(car.TakeDamage(5));
    EXPECT_EQ(log_.Take("main"), std::vector<std::string>{"player_dead"});
    EXPECT_EQ(log_.Take("gamemenu"), (std::vector<std::string>{"update_game_interface", "update_game_interface"}));
}

TEST_F(PlayerBodyTest, ARemovedCarLetsGoOfItsBodyAndEveryOperationStaysSafe) {
    CPPlayer& car = MakeCar();
    ASSERT_NE(car.GetCar()->GetController(), nullptr);
    ASSERT_NE(car.GetCar()->GetWheel(0).sensors[0], nullptr);
    car.RemoveFromRace();
    EXPECT_FALSE(car.IsVisible());
    EXPECT_FALSE(car.IsCollision());
    EXPECT_EQ(Body(), nullptr);
    EXPECT_EQ(car.GetCar()->GetController(), nullptr);
    for (int wheel = 0; wheel < CPCar::kSensedWheels; ++wheel)
        for (const Physics::Sensor* sensor : car.GetCar()->GetWheel(wheel).sensors) EXPECT_EQ(sensor, nullptr);
    // The world steps on and the car is still driven, pushed, damaged and respawned without a body.
    FrameDelta = 1.0f / 60.0f;
    car.GetCar()->velocity = Vec3(1, 0, 0);
    car.Nitro(10);
    car.NitroForward(10, 0.5f);
    car.Spawn(true);
    EXPECT_FALSE(car.TakeDamage(2e5f));
    for (int i = 0; i < 30; ++i) {
        car.Update();
        physics_->Update();
    }
    car.RemoveFromRace();
    EXPECT_EQ(car.GetMass(), 0.0f);
    EXPECT_EQ(car.GetLinearVelocity(), Vec3());
}

} // namespace
