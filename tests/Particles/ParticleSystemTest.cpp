#include <cmath>

#include "Core/PGameObject.h"
#include "Core/PRandom.h"
#include "Particles/PParticleSystem.h"
#include "Particles/PSpotRenderObject.h"
#include "ParticlesTestSupport.h"
#include "Render/PMaterial.h"
#include "Render/PRenderObject.h"

using namespace ParticlesSupport;

namespace {

const Files kFiles{"plain puff.tga particle_alpha.fx 1 1 1 0 0\n"
                   "other puff.tga particle_alpha.fx 1 1 1 0 0\n",
                   "scorch scorch.tga spot.fx 1 1 1 0 0\n"
                   "cells scorch.tga spot.fx 2 2 4 0 0\n",
                   "straight plain 10 1 0 1 3 0 0 0 -1 0 0 0 0 0 0\n"
                   "cone plain 10 1 0 1 2 40 1 0 0 0 0 -9.8 0.5 0.25 1\n"
                   "second other 10 1 0 1 0 0 0 0 1 0 0 0 0 0 0\n",
                   "straight;1;10;0\n"};

struct DamageLog : CPObjectEventSink {
    std::vector<float> amounts;
    void Damage(const Vec3&, const Vec3&, float amount, CPGameObject*, bool) override { amounts.push_back(amount); }
    void NotifyAnimationStopped() override {}
    void NotifyAnimationReport() override {}
    void SetGibs(bool) override {}
};

class ParticleSystemTest : public ManagerFixture {
protected:
    int Count(const char* type) { return manager->FindType(type)->GetParticleCount(); }
};

TEST_F(ParticleSystemTest, EmitsOncePerWholeIntervalAndKeepsTheRest) {
    ASSERT_TRUE(StartWith(kFiles));
    CPRefPtr<CPParticleSystem> system(new CPParticleSystem(nullptr, {"straight"}));
    ASSERT_TRUE(system->Start());
    FrameDelta = 0.35f;
    system->Update();
    EXPECT_EQ(Count("plain"), 3);
    EXPECT_NEAR(system->GetAccumulator(), 0.05f, 1e-5f);
    EXPECT_NEAR(system->GetElapsed(), 0.35f, 1e-5f);

    CPRefPtr<CPParticleSystem> exact(new CPParticleSystem(nullptr, {"straight"}));
    exact->Start();
    FrameDelta = 0.1f;
    exact->Update(); // exactly one interval is not more than one
    EXPECT_EQ(Count("plain"), 3);
    exact->Update();
    EXPECT_EQ(Count("plain"), 4);
}

TEST_F(ParticleSystemTest, FlameDamagesEveryIntervalSwitchesMaterialAtHalfAndStopsAfterItsDuration) {
    ASSERT_TRUE(StartWith(kFiles));
    CPRefPtr<CPGameObject> object(new CPGameObject("burning"));
    object->SetRenderType(CPGameObject::RenderMesh);
    CPRefPtr<CPRenderObject> part(new CPRenderObject(object.Get()));
    object->SetRenderPart(part);
    CPRefPtr<CPMaterial> alt(new CPMaterial(3));
    object->SetAltMaterial(alt);
    DamageLog damage;
    object->SetEnemyController(&damage);

    CPRefPtr<CPParticleSystem> flame = manager->CreateFlame(0);
    ASSERT_TRUE(flame);
    flame->SetOwner(object.Get());
    ASSERT_TRUE(flame->Start());
    FrameDelta = 1.0f;
    int switched = 0;
    for (int turn = 1; turn <= 12 && flame->IsRunning(); ++turn) {
        flame->Update();
        if (part->GetMaterial()) {
            ++switched;
            EXPECT_EQ(turn, 5) << "switched when the elapsed time reached 5";
            part->SetMaterial(nullptr);
        }
        EXPECT_NEAR(flame->GetElapsed(), static_cast<float>(turn), 1e-5f);
        if (!flame->IsRunning()) {
            EXPECT_EQ(turn, 11) << "stops once the elapsed time is past 10";
        }
    }
    EXPECT_EQ(switched, 1);
    EXPECT_FALSE(flame->IsRunning());
    EXPECT_EQ(damage.amounts.size(), 10u); // one per interval, damage 0 included
    for (float amount : damage.amounts) EXPECT_EQ(amount, 0.0f);
    object->SetEnemyController(nullptr);
}

TEST_F(ParticleSystemTest, EndlessSystemsNeverStopOrSwitch) {
    ASSERT_TRUE(StartWith(kFiles));
    for (float duration : {-1.0f, 0.0f}) {
        CPRefPtr<CPParticleSystem> system(new CPParticleSystem(nullptr, {"straight"}));
        system->interval = 0.5f;
        system->duration = duration;
        system->Start();
        FrameDelta = 10.0f;
        system->Update();
        EXPECT_TRUE(system->IsRunning()) << duration;
    }
}

TEST_F(ParticleSystemTest, VelocityIsDrawnInAConeTurnedOntoTheDirectionAndWithTheOwner) {
    ASSERT_TRUE(StartWith(kFiles));
    CPRefPtr<CPGameObject> owner(new CPGameObject("owner"));
    owner->SetPosition(Vec3(10, 20, 30));
    owner->SetRotation(QuatRotationAxis(Vec3(0, 0, 1), 0.5f));
    owner->UpdateTransform();
    const Mat4& m = owner->GetWorldMatrix();
    CPRefPtr<CPParticleSystem> system(new CPParticleSystem(owner.Get(), {"cone", "straight"}));
    const CPEmitterDef& def = system->GetDefinitions()[0];

    EngineSrand(77);
    CPParticleDesc desc = system->MakeDescriptor(def, true);
    EngineSrand(77);
    const float jx = (2.0f * EngineRand() / 32767.0f - 1.0f) * 0.5f;
    const float jy = (2.0f * EngineRand() / 32767.0f - 1.0f) * 0.25f;
    const float jz = (2.0f * EngineRand() / 32767.0f - 1.0f) * 1.0f;
    const float yaw = static_cast<float>(EngineRand() % 360) * 0.017453292f;
    const float pitch = static_cast<float>(EngineRand() % 20) * 0.017453292f;
    // Around +Z, then a quarter turn about +Y takes +Z onto the direction +X.
    const Vec3 local(2 * std::cos(yaw) * std::sin(pitch), 2 * std::sin(yaw) * std::sin(pitch), 2 * std::cos(pitch));
    const Vec3 turned(local.z, local.y, -local.x);
    const Vec3 expected = Vec3TransformNormal(turned, m);
    EXPECT_NEAR(desc.velocity.x, expected.x, 1e-4f);
    EXPECT_NEAR(desc.velocity.y, expected.y, 1e-4f);
    EXPECT_NEAR(desc.velocity.z, expected.z, 1e-4f);
    EXPECT_NEAR(desc.position.x, 10 + jx, 1e-4f);
    EXPECT_NEAR(desc.position.y, 20 + jy, 1e-4f);
    EXPECT_NEAR(desc.position.z, 30 + jz, 1e-4f);
    EXPECT_EQ(desc.acceleration, Vec3(0, 0, -9.8f)); // world frame, not turned
    EXPECT_EQ(desc.typeName, "plain");

    // Cone 0, direction straight down: along the owner's -Z, and a later link is an offset.
    CPParticleDesc down = system->MakeDescriptor(system->GetDefinitions()[1], false);
    EXPECT_NEAR(down.velocity.x, 0.0f, 1e-5f);
    EXPECT_NEAR(down.velocity.y, 0.0f, 1e-5f);
    EXPECT_NEAR(down.velocity.z, -3.0f, 1e-5f);
    EXPECT_EQ(down.position, Vec3());
}

TEST_F(ParticleSystemTest, ChainOfDefinitionsStartsTheSecondAtTheFirstsHalfLife) {
    ASSERT_TRUE(StartWith(kFiles));
    CPRefPtr<CPParticleSystem> system(new CPParticleSystem(nullptr, {"straight", "nothere", "second"}));
    EXPECT_EQ(system->GetDefinitions().size(), 2u);
    system->EmitAll();
    EXPECT_EQ(Count("plain"), 1);
    EXPECT_EQ(manager->FindType("other")->GetParticleCount(), 0);
    Step(3.0f);
    Step(3.0f); // age 6, but the test is made before this update's step
    EXPECT_EQ(manager->FindType("other")->GetParticleCount(), 0);
    Step(3.0f); // past half of its life of 10
    EXPECT_EQ(manager->FindType("other")->GetParticleCount(), 1);
    CPRefPtr<CPTask> copy = system->Clone();
    EXPECT_EQ(static_cast<CPParticleSystem*>(copy.Get())->GetDefinitions().size(), 2u);
}

class SpotTest : public ManagerFixture {};

CPParticleDesc SpotDesc(const char* type, float x, float life, bool fade) {
    CPParticleDesc desc;
    desc.typeName = type;
    desc.position = Vec3(x, 0, 0);
    desc.size = 1.0f;
    desc.life = life;
    desc.fade = fade;
    return desc;
}

TEST_F(SpotTest, FadeKeepsWhiteUpToSixTenthsOfTheLifeThenFalls) {
    struct Row {
        bool fade;
        float life, age;
        uint32_t color;
    };
    const Row rows[] = {{false, 1, 0.9f, 0xFFFFFFFFu}, {true, 1, 0.6f, 0xFFFFFFFFu}, {true, 1, 0.75f, 0xA0A0A0A0u},
                        {true, 1, 1.0f, 0u},           {true, 1, 2.0f, 0u},          {true, 0, 0, 0xFFFFFFFFu}};
    for (const Row& row : rows) {
        CPParticle spot;
        spot.fade = row.fade;
        spot.life = row.life;
        spot.age = row.age;
        EXPECT_EQ(CPSpotRenderObject::SpotColor(spot), row.color) << row.life << " " << row.age;
    }
}

TEST_F(SpotTest, SpotsFarFromTheLookAtPointAreRemovedForGood) {
    ASSERT_TRUE(StartWith(kFiles));
    UseCamera(Vec3(-10, 0, 5), Vec3(0, 0, 0));
    manager->EmitParticle(SpotDesc("scorch", 30.0f, 100, false));
    manager->EmitParticle(SpotDesc("scorch", 30.01f, 100, false));
    manager->EmitParticle(SpotDesc("scorch", -5.0f, 100, false));
    auto* spots = static_cast<CPSpotRenderObject*>(manager->FindType("scorch"));
    Step(0.1f);
    ASSERT_EQ(spots->GetParticleCount(), 2);
    EXPECT_EQ(spots->GetQuads().size(), 2u);
    EXPECT_FLOAT_EQ(spots->GetParticles().front().position.x, 30.0f);
    EXPECT_NEAR(spots->GetQuads()[1][0].position.x, -6.0f, 1e-5f); // quads stay parallel to the spots
    UseCamera(Vec3(-10, 100, 5), Vec3(0, 100, 0));
    Step(0.1f);
    UseCamera(Vec3(-10, 0, 5), Vec3(0, 0, 0));
    Step(0.1f);
    EXPECT_EQ(spots->GetParticleCount(), 0);
    EXPECT_FALSE(spots->IsLive());
}

TEST_F(SpotTest, QuadLiesTurnedAndLiftedAndItsAtlasRunsOnceOverTheLife) {
    ASSERT_TRUE(StartWith(kFiles));
    CPParticleDesc desc = SpotDesc("cells", 0, 4, false);
    desc.position = Vec3(5, 6, 7);
    desc.velocity = Vec3(0, 0, 1.5708f);
    manager->EmitParticle(desc);
    auto* spots = static_cast<CPSpotRenderObject*>(manager->FindType("cells"));
    const auto& quad = spots->GetQuads().front();
    // (-1, -1) turned a quarter about z is (1, -1).
    EXPECT_NEAR(quad[0].position.x, 6.0f, 1e-4f);
    EXPECT_NEAR(quad[0].position.y, 5.0f, 1e-4f);
    for (const CPVertex& v : quad) {
        EXPECT_NEAR(v.position.z, 7.03f, 1e-5f);
        EXPECT_EQ(v.normal, Vec3(0, 0, 1));
    }
    for (int second = 0; second < 4; ++second) {
        const_cast<CPParticle&>(spots->GetParticles().front()).age = second + 0.5f;
        Filled out = FillOf(*spots);
        EXPECT_FLOAT_EQ(out.vertices[0].tu, (second % 2) * 0.5f) << second;
        EXPECT_FLOAT_EQ(out.vertices[0].tv, (second / 2) * 0.5f) << second;
        const CPIndex expected[] = {0, 1, 2, 0, 2, 3};
        for (int i = 0; i < 6; ++i) EXPECT_EQ(out.indices[i], expected[i]);
    }
    manager->ClearAll();
    EXPECT_EQ(spots->GetParticleCount(), 0);
    EXPECT_TRUE(spots->GetQuads().empty());
}

} // namespace
