// The player car's own rules with values worked out by hand: a car left on its roof is rolled back
// over after three seconds, and a shell casing leaves the weapon part with its life drawn before its
// speed.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "Core/PGameObject.h"
#include "Core/PGlobalTimer.h"
#include "Core/PRandom.h"
#include "Race/PCarWeapon.h"
#include "Race/PGameData.h"
#include "Race/PPhysicData.h"
#include "Race/PPhysics.h"
#include "Race/PPlayer.h"
#include "RaceCommandLog.h"
#include "ScriptHarness.h"

namespace {

constexpr float kDegree = 0.017453292f;

// Facing +X (a quarter turn about Z), then rolled about world X by `degrees`: the product worked
// out by hand, (a s, -a s, b s, b s) with a, b the roll's half-angle sine and cosine and s = sin 45.
Quat Rolled(float degrees) {
    const float a = std::sin(degrees * kDegree * 0.5f), b = std::cos(degrees * kDegree * 0.5f);
    const float s = 0.70710677f;
    return {a * s, -a * s, b * s, b * s};
}

class PlayerRulesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(log_.Loaded());
        physics_ = CPRefPtr<CPPhysics>(new CPPhysics);
        physics_->InitWorld();
    }
    void TearDown() override {
        FrameDelta = 0.0f;
        car_.Reset();
        physics_->DestroyWorld();
        physics_.Reset();
        CPManagedObject::CollectGarbage();
    }

    // A car high in the air with a body of mass 10.
    CPPlayer& MakeCar(const Quat& rotation) {
        car_ = CPRefPtr<CPPlayer>(new CPPlayer);
        car_->GetDescription().Parse(R"(<physics><geometry><wheels count="2"/></geometry></physics>)");
        CPRefPtr<CPPhysicData> data(new CPPhysicData(car_.Get()));
        data->body = {0, 1.6f, 0.5f, 3.6f, 0.0f, 10.0f};
        CPPhysicData::Shape shape;
        shape.a = 1.6f, shape.b = 0.5f, shape.c = 3.6f;
        data->shapes.push_back(shape);
        car_->SetPhysicData(data);
        for (const char* name : {"w0", "w2"}) car_->AddChild(CPRefPtr<CPGameObject>(new CPGameObject(name)));
        car_->SetPosition({0, 0, 30});
        car_->SetRotation(rotation);
        car_->UpdateTransform();
        physics_->RestoreObject(car_.Get());
        physics_->AddObject(car_.Get(), true, 1);
        physics_->AddCar(car_.Get(), true);
        car_->Reset();
        return *car_;
    }
    Physics::RigidBody* Body() const { return dynamic_cast<CPPhysicData*>(car_->GetPhysicData().Get())->rigidBody; }

    ScriptHarness::GameRoot root_{""};
    RaceCommandLog log_;
    CPGameData data_;
    CPRefPtr<CPPhysics> physics_;
    CPRefPtr<CPPlayer> car_;
};

// Tilted past 135 degrees for 3 s, the car's angular momentum becomes -(its local X axis) x 50 x
// 0.16 x mass, every frame from then on. The car faces +X, so its local X axis is world +Y rolled
// about world X: (0, cos r, sin r).
TEST_F(PlayerRulesTest, ACarOnItsRoofForThreeSecondsIsRolledBackOver) {
    const struct {
        float roll;
        int setAtFrame; // 0: never within five frames of a second
    } cases[] = {{180, 3}, {136, 3}, {134, 0}, {90, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.roll);
        CPPlayer& car = MakeCar(Rolled(c.roll));
        Physics::RigidBody* body = Body();
        ASSERT_NE(body, nullptr);
        const float mass = body->GetMass();
        ASSERT_GT(mass, 0.0f);
        const float r = c.roll * kDegree;
        const Vec3 want = Vec3(0, std::cos(r), std::sin(r)) * (-8.0f * mass);
        for (int frame = 1; frame <= 5; ++frame) {
            SCOPED_TRACE(frame);
            body->SetAngularMomentum({1, 2, 3, 0});
            FrameDelta = 1.0f;
            car.Update();
            const Physics::Vector4 momentum = body->GetAngularMomentum();
            if (c.setAtFrame != 0 && frame >= c.setAtFrame) {
                EXPECT_NEAR(momentum.x, want.x, 1e-3f);
                EXPECT_NEAR(momentum.y, want.y, 1e-3f);
                EXPECT_NEAR(momentum.z, want.z, 1e-3f);
            } else {
                EXPECT_EQ(momentum.x, 1.0f);
                EXPECT_EQ(momentum.y, 2.0f);
                EXPECT_EQ(momentum.z, 3.0f);
            }
        }
        physics_->DestroyWorld();
        physics_->InitWorld();
    }
}

class CasingEffects : public CPCarWeaponEffects {
public:
    struct Particle {
        std::string type;
        Vec3 position, velocity, acceleration;
        float size, life;
    };
    void FireShot(const std::string&, const Vec3&, const Vec3&, float, const CPRefPtr<CPGameObject>&, void*) override {}
    void EmitParticle(const std::string& type, const Vec3& position, const Vec3& velocity, const Vec3& acceleration,
                      float size, float life) override {
        particles.push_back({type, position, velocity, acceleration, size, life});
    }
    void EmitFlame(const Vec3&, const Vec3&, float, CPPlayer*) override {}
    std::vector<Particle> particles;
};

// The casing flies along (-1, 0, 2) turned with the weapon part, at 4 + r2 / 32767, for 1 + r1 /
// 32767 s: the life's draw comes first.
TEST(ShellCasingTest, TheCasingLeavesThePartWithItsLifeDrawnBeforeItsSpeed) {
    CasingEffects effects;
    SetCarWeaponEffects(&effects);
    // The gun at (1, 2, 3) on a car at (10, 0, 0) turned a quarter about Z: at (10 - 2, 1, 3),
    // throwing along (0, -1, 2).
    CPRefPtr<CPGameObject> car(new CPGameObject("car"));
    CPRefPtr<CPGameObject> gun(new CPGameObject("gun"));
    gun->SetPosition({1, 2, 3});
    car->AddChild(gun);
    car->SetPosition({10, 0, 0});
    car->SetRotation({0, 0, 0.70710677f, 0.70710677f});
    car->UpdateTransform();
    for (unsigned seed : {3u, 77u}) {
        SCOPED_TRACE(seed);
        effects.particles.clear();
        EngineSrand(seed);
        SpawnShellCasing(gun.Get());
        EngineSrand(seed);
        const float life = 1.0f + float(EngineRand()) / 32767.0f;
        const float speed = 4.0f + float(EngineRand()) / 32767.0f;
        ASSERT_EQ(effects.particles.size(), 1u);
        const CasingEffects::Particle& p = effects.particles[0];
        EXPECT_EQ(p.type, "gilze");
        EXPECT_NEAR(p.position.x, 8.0f, 1e-5f);
        EXPECT_NEAR(p.position.y, 1.0f, 1e-5f);
        EXPECT_NEAR(p.position.z, 3.0f, 1e-5f);
        EXPECT_NEAR(p.velocity.x, 0.0f, 1e-5f);
        EXPECT_NEAR(p.velocity.y, -speed, 1e-5f);
        EXPECT_NEAR(p.velocity.z, 2.0f * speed, 1e-5f);
        EXPECT_EQ(p.acceleration, Vec3(0, 0, -24.8f));
        EXPECT_EQ(p.size, 0.2f);
        EXPECT_FLOAT_EQ(p.life, life);
    }
    SetCarWeaponEffects(nullptr);
}

} // namespace
