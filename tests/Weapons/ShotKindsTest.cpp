#include <gtest/gtest.h>

#include <cmath>

#include "../RaceCommandLog.h"
#include "../ScriptHarness.h"
#include "Core/PRandom.h"
#include "Physics/Physics.h"
#include "Race/PGameData.h"
#include "Race/PPhysicData.h"
#include "Render/PRenderObject.h"
#include "Sound/NSound.h"
#include "Weapons/PBonusShot.h"
#include "Weapons/PExplosionShot.h"
#include "Weapons/PPlasmaShot.h"
#include "Weapons/PRocketShot.h"
#include "Weapons/PTracerShot.h"
#include "WeaponsTestSupport.h"

namespace {

const char* kKinds = "rocket1 rocket m;player;17;30;boom;;0;0;0;0;none\n"
                     "homing s_rocket m;player;20;30;boom;;0;0;0;0;none\n"
                     "hunter s_rocket m;enemy;20;30;boom;;0;0;0;0;none\n"
                     "tracer trasser player;100;5;0.1;t.tga;e.fx;103;hit;2;none\n"
                     "etracer trasser enemy;100;5;0.1;t.tga;e.fx;103;hit;2;none\n"
                     "gauss gauss player;100;7;0.1;t.tga;e.fx;103;hit;none\n"
                     "ball s_plazma player;10;50;0.5;t.tga;e.fx;103;1;0.5;0;20;0.1;hit;none\n"
                     "charge plazma 1;2;8;103;a.tga;e.fx;0.3;4;2;0.1;ball;none\n"
                     "hit sparks x;1;0.1;1;10;1;1;none\n"
                     "boom s_explosion t.tga;;;0;1;2;4;2;16;4;0;0;0;1,1,1;;0;;0;;none\n"
                     "quiet s_explosion1 t.tga;;;0;1;2;4;2;16;4;0;0;0;1,1,1;;0;;0;;none\n"
                     "emp emp e;2;1,1,1;10;1;none\n"
                     "white super nosound;none\n"
                     "timebonus bonus b;;;;100;time;none\n"
                     "cash bonus b;;;;100;money;none\n"
                     "repair bonus b;;;;100;armor;none\n"
                     "junk bonus b;;;;100;nothing;none\n"
                     "shortlived bonus b;;;;0;money;none\n";

class ShotKinds : public ::testing::Test {
protected:
    void SetUp() override {
        LoadWeapons(weapons, kKinds);
        EngineSrand(1);
    }
    CPShot* Launch(const char* name, const Vec3& at, const Vec3& dir, float damage = -1.0f) {
        weapons.CreateShot(name, at, dir, damage);
        return weapons.GetLiveShots().empty() ? nullptr : weapons.GetLiveShots().back().Get();
    }
    // A target object that records the damage it takes.
    CPRefPtr<CPGameObject> Target(const Vec3& at, RecordingSink& sink) {
        CPRefPtr<CPGameObject> o(new CPGameObject("target"));
        o->SetPosition(at);
        o->SetEnemyController(&sink);
        return o;
    }
    FakeWorld world;
    CPWeaponsSystem weapons;
};

TEST_F(ShotKinds, RocketFliesItsArcFromTheGroundAndEndsThere) {
    auto* rocket = dynamic_cast<CPRocketShot*>(Launch("rocket1", Vec3(0, 0, 10), Vec3(1, 0, 0.5f)));
    ASSERT_NE(rocket, nullptr);
    EXPECT_NEAR(rocket->GetHorizontalSpeed(), 17.0f * std::cos(0.5f), 1e-4f);
    EXPECT_NEAR(rocket->GetVerticalSpeed(), 17.0f * std::sin(0.5f), 1e-4f);
    // The arc starts at height 0 whatever the launch height, and the time runs twice as fast.
    FrameDelta = 0.05f;
    weapons.Update();
    const float t = 0.1f;
    EXPECT_NEAR(rocket->GetPosition().x, 17.0f * std::cos(0.5f) * t, 1e-4f);
    EXPECT_NEAR(rocket->GetPosition().z, 17.0f * std::sin(0.5f) * t - 4.9f * t * t, 1e-4f);
    // Flight time to the ground: 2 v / 9.8 of shot time.
    const float flight = 2.0f * 17.0f * std::sin(0.5f) / 9.8f;
    const int frames = static_cast<int>(std::ceil(flight / 0.1f));
    RunFrames(weapons, frames - 2, 0.05f);
    EXPECT_EQ(weapons.GetPool("rocket1")->size(), 1u);
    RunFrames(weapons, 1, 0.05f);
    EXPECT_EQ(weapons.GetPool("rocket1")->size(), 2u);
    EXPECT_NEAR(rocket->GetPosition().z, 0.0f, 1e-5f);
    // Its follow-up explosion went off on the ground.
    ASSERT_FALSE(weapons.GetLiveShots().empty());
    EXPECT_NEAR(weapons.GetLiveShots().back()->GetLaunchPosition().z, 0.0f, 1e-5f);
}

TEST_F(ShotKinds, RocketLaunchDamageStaysForLaterLaunches) {
    auto* rocket = dynamic_cast<CPRocketShot*>(Launch("rocket1", Vec3(), Vec3(1, 0, 0.5f)));
    EXPECT_FLOAT_EQ(rocket->GetParams().damage, 30.0f);
    rocket->Launch(Vec3(), Vec3(1, 0, 0.5f), 25.0f, CPRefPtr<CPGameObject>(), nullptr);
    rocket->Launch(Vec3(), Vec3(1, 0, 0.5f), -1.0f, CPRefPtr<CPGameObject>(), nullptr);
    EXPECT_FLOAT_EQ(rocket->GetParams().damage, 25.0f);
}

TEST_F(ShotKinds, HomingRocketFliesStraightWithoutTargetAndTurnsLimitedOtherwise) {
    auto* homing = dynamic_cast<CPHomingRocketShot*>(Launch("homing", Vec3(0, 0, 1), Vec3(1, 0, 0)));
    ASSERT_NE(homing, nullptr);
    int frames = 0;
    while (weapons.GetPool("homing")->size() == 1u && frames < 1000) {
        RunFrames(weapons, 1, 0.1f);
        ++frames;
    }
    // 2 units a frame: past 100 in the 51st.
    EXPECT_EQ(frames, 51);
    EXPECT_NEAR(homing->GetHead().y, 0.0f, 1e-5f);
    EXPECT_NEAR(weapons.GetLiveShots().back()->GetLaunchPosition().x, 102.0f, 1e-3f);

    weapons.ClearShots();
    world.car = CPRefPtr<CPGameObject>(new CPGameObject("car"));
    world.car->SetPosition(Vec3(0, 50, 1));
    auto* hunter = dynamic_cast<CPHomingRocketShot*>(Launch("hunter", Vec3(0, 0, 1), Vec3(1, 0, 0)));
    ASSERT_EQ(hunter->GetTarget(), world.car.Get());
    const float dt = 0.02f;
    RunFrames(weapons, 1, dt);
    const float turned = std::acos(std::clamp(hunter->GetHeading().x, -1.0f, 1.0f));
    EXPECT_NEAR(turned, 3.5f * dt, 1e-4f);
    EXPECT_GT(hunter->GetHeading().y, 0.0f); // toward the car
}

TEST_F(ShotKinds, TracerFlies150ThenCollapsesAtAFifth) {
    auto* tracer = dynamic_cast<CPTracerShot*>(Launch("tracer", Vec3(), Vec3(1, 0, 0)));
    ASSERT_NE(tracer, nullptr);
    RunFrames(weapons, 15, 0.1f); // 10 units a frame
    EXPECT_EQ(tracer->GetState(), 0);
    EXPECT_NEAR(tracer->GetTail().x, 0.2f * 150.0f, 1e-3f);
    RunFrames(weapons, 1, 0.1f);
    EXPECT_EQ(tracer->GetState(), 1);
    EXPECT_NEAR(tracer->GetStreakLength(), 0.8f * 160.0f, 1e-3f);
    // The follow-up sparks (done in their first step) pointed up from the head.
    EXPECT_FLOAT_EQ(weapons.GetPool("hit")->back()->GetLaunchDirection().z, 1.0f);
    // Collapsing: the tail gains 2 units a frame over 128 units of streak.
    RunFrames(weapons, 63, 0.1f);
    EXPECT_EQ(weapons.GetPool("tracer")->size(), 1u);
    RunFrames(weapons, 1, 0.1f);
    EXPECT_EQ(weapons.GetPool("tracer")->size(), 2u);
    EXPECT_FLOAT_EQ(tracer->GetTailDistance(), tracer->GetHeadDistance());
}

TEST_F(ShotKinds, StreaksStopAtAWall) {
    RecordingSink sink;
    world.walls.push_back({3.0f, Target(Vec3(3, 0, 0), sink)});
    struct Case {
        const char* name;
        float head;
        float damage;
    };
    for (const Case& c : {Case{"tracer", 3.0f, 5.0f}, Case{"gauss", 3.01f, 7.0f}}) {
        sink.hits.clear();
        auto* streak = dynamic_cast<CPTracerShot*>(Launch(c.name, Vec3(), Vec3(1, 0, 0)));
        RunFrames(weapons, 1, 0.1f);
        EXPECT_NEAR(streak->GetHead().x, c.head, 1e-4f) << c.name;
        EXPECT_EQ(streak->GetState(), 1) << c.name;
        ASSERT_EQ(sink.hits.size(), 1u) << c.name;
        EXPECT_FLOAT_EQ(sink.hits[0].amount, c.damage);
        // The follow-up takes the wall's normal.
        EXPECT_FLOAT_EQ(weapons.GetPool("hit")->back()->GetLaunchDirection().x, -1.0f);
        // Hit in the first frame: no streak yet, the texture stays whole (no 0/0).
        RunFrames(weapons, 1, 0.1f);
        EXPECT_FLOAT_EQ(streak->GetQuad()->vertices[1].tu, 1.0f);
        weapons.ClearShots();
    }
    // From inside a box there is no face: the follow-up goes back along the flight.
    world.insideBox = true;
    Launch("tracer", Vec3(), Vec3(1, 0, 0));
    RunFrames(weapons, 1, 0.1f);
    EXPECT_FLOAT_EQ(weapons.GetPool("hit")->back()->GetLaunchDirection().x, -1.0f);
}

TEST_F(ShotKinds, PlayerShotsPassThePlayerCarEnemyOnesHitIt) {
    RecordingSink sink;
    world.car = Target(Vec3(5, 0, 0), sink);
    auto* mine = dynamic_cast<CPTracerShot*>(Launch("tracer", Vec3(), Vec3(1, 0, 0)));
    auto* theirs = dynamic_cast<CPTracerShot*>(Launch("etracer", Vec3(), Vec3(1, 0, 0)));
    RunFrames(weapons, 1, 0.1f);
    EXPECT_EQ(mine->GetState(), 0);
    EXPECT_EQ(theirs->GetState(), 1);
    EXPECT_NEAR(theirs->GetHead().x, 4.0f, 1e-4f);
    EXPECT_EQ(sink.hits.size(), 1u);
}

TEST_F(ShotKinds, PlasmaBallEndsAfter150UnitsPointingUp) {
    auto* ball = dynamic_cast<CPPlasmaBallShot*>(Launch("ball", Vec3(), Vec3(0, 1, 0)));
    ASSERT_NE(ball, nullptr);
    ASSERT_NE(ball->GetLightObject(), nullptr);
    RunFrames(weapons, 150, 0.1f);
    EXPECT_EQ(weapons.GetPool("ball")->size(), 1u);
    RunFrames(weapons, 1, 0.1f);
    EXPECT_EQ(weapons.GetPool("ball")->size(), 2u);
    EXPECT_FLOAT_EQ(weapons.GetPool("hit")->back()->GetLaunchDirection().z, 1.0f);
    EXPECT_NEAR(ball->GetLightObject()->GetPosition().y, 151.0f, 1e-2f);
}

// Material types from a damaged weapons.dat at the ends of the int range still make the charge.
TEST_F(ShotKinds, PlasmaChargeOfAnyMaterialTypeIsMade) {
    for (const char* type : {"2147483647", "2147483628", "-2147483648"}) {
        CPWeaponsSystem loaded;
        LoadWeapons(loaded, std::string("wide plazma 1;2;8;") + type + ";a.tga;e.fx;0.3;4;2;0.1;none;none\n");
        loaded.CreateShot("wide", Vec3(), Vec3(1, 0, 0), -1);
        ASSERT_FALSE(loaded.GetLiveShots().empty()) << type;
        auto* charge = dynamic_cast<CPPlasmaShot*>(loaded.GetLiveShots().back().Get());
        ASSERT_NE(charge, nullptr) << type;
        EXPECT_EQ(charge->GetSprites().size(), 8u) << type;
        loaded.ReleaseAll();
    }
}

TEST_F(ShotKinds, PlasmaChargeShrinksOntoItsOwnerThenReleases) {
    CPRefPtr<CPGameObject> owner(new CPGameObject("car"));
    owner->SetRotation(QuatRotationAxis(Vec3(0, 0, 1), 3.14159265f / 2));
    owner->UpdateTransform();
    weapons.CreateShot("charge", Vec3(), Vec3(1, 0, 0), -1, owner);
    auto* charge = dynamic_cast<CPPlasmaShot*>(weapons.GetLiveShots().back().Get());
    ASSERT_NE(charge, nullptr);
    ASSERT_EQ(charge->GetSprites().size(), 8u);
    EXPECT_EQ(charge->GetFrames().size(), 8u);
    RunFrames(weapons, 6, 0.1f); // age 0.5 after the sixth step's growth
    for (const auto& child : charge->GetChildren()) EXPECT_NEAR(Length(child->GetPosition()), 2.0f * 0.5f, 0.11f);
    RunFrames(weapons, 5, 0.1f);
    EXPECT_EQ(weapons.GetPool("charge")->size(), 2u);
    ASSERT_FALSE(weapons.GetLiveShots().empty());
    // The follow-up ball leaves along the launch direction turned by the owner (+X to +Y).
    const Vec3 out = weapons.GetLiveShots().back()->GetLaunchDirection();
    EXPECT_NEAR(std::fabs(out.y), 1.0f, 1e-4f);
    EXPECT_NEAR(out.x, 0.0f, 1e-4f);

    // Without an owner a charge ends at once, without a follow-up.
    weapons.ClearShots();
    Launch("charge", Vec3(), Vec3(1, 0, 0));
    RunFrames(weapons, 1, 0.1f);
    EXPECT_TRUE(weapons.GetLiveShots().empty());
}

TEST_F(ShotKinds, ExplosionPushAndDamageFallWithDistance) {
    Physics::SimulatorDesc desc;
    desc.rigidBodiesCount = 16;
    desc.geometriesCount = 4;
    desc.overlapPairsCount = 4;
    const Physics::Vector4 gravity(0, 0, -9.8f, 0);
    Physics::Simulator* physics = Physics::CreateSimulator(desc, nullptr, &gravity);
    ASSERT_NE(physics, nullptr);
    struct Case {
        float distance;
        bool listed;
        float damage; // factor 2, R 4: (1.5 R - d) x 2
        float push;   // factor 1 on a body of mass 1: the speed it is given, away from the centre
    };
    const Case cases[] = {
        {2.0f, true, 8.0f, 4.0f}, {5.0f, true, 2.0f, 1.0f}, {6.0f, true, 0.0f, 0.0f}, {6.5f, false, 0.0f, 0.0f}};
    for (const char* name : {"boom", "quiet"}) {
        for (const Case& c : cases) {
            RecordingSink sink;
            CPRefPtr<CPGameObject> target = Target(Vec3(c.distance, 0, 0), sink);
            CPRefPtr<CPPhysicData> data(new CPPhysicData(target.Get()));
            target->SetPhysicData(data);
            data->rigidBody = physics->CreateRigidBody();
            ASSERT_NE(data->rigidBody, nullptr);
            data->rigidBody->SetMass(1.0f);
            data->rigidBody->SetLinearVelocity(Physics::Vector4(0, 0, 0, 0));
            world.objects = {target};
            Launch(name, Vec3(), Vec3(0, 0, 1));
            if (!c.listed) {
                EXPECT_TRUE(sink.hits.empty()) << name << " " << c.distance;
            } else {
                ASSERT_EQ(sink.hits.size(), 1u) << name << " " << c.distance;
                EXPECT_NEAR(sink.hits[0].amount, c.damage, 1e-5f) << name << " " << c.distance;
                EXPECT_EQ(sink.hits[0].direction, Vec3(-1, 0, 0)) << name << " " << c.distance;
                // The quiet kind damages without telling the object's script.
                EXPECT_EQ(sink.hits[0].silent, std::string(name) == "quiet");
            }
            const Physics::Vector4& v = data->rigidBody->GetLinearVelocity();
            EXPECT_NEAR(v.x, c.push, 1e-4f) << name << " " << c.distance;
            EXPECT_NEAR(v.y, 0.0f, 1e-5f);
            EXPECT_NEAR(v.z, 0.0f, 1e-5f);
            // A target with no collision boxes is pushed at a point of its own box (here a point at
            // its position): it is not set spinning.
            const Physics::Vector4& w = data->rigidBody->GetAngularVelocity();
            EXPECT_LT(std::fabs(w.x) + std::fabs(w.y) + std::fabs(w.z), 1e-3f) << name << " " << c.distance;
            weapons.ClearShots();
            data->rigidBody = nullptr;
        }
    }
    // Without a rigid body an object is neither pushed nor damaged.
    RecordingSink bodiless;
    CPRefPtr<CPGameObject> target = Target(Vec3(1, 0, 0), bodiless);
    target->SetPhysicData(CPRefPtr<CPBodyLink>(new CPPhysicData(target.Get())));
    world.objects = {target};
    Launch("boom", Vec3(), Vec3(0, 0, 1));
    EXPECT_TRUE(bodiless.hits.empty());
    weapons.ClearShots();
    world.objects.clear();
    Physics::DestroySimulator(physics);

    auto* boom = dynamic_cast<CPExplosionShot*>(Launch("boom", Vec3(), Vec3(0, 0, 1)));
    ASSERT_NE(boom, nullptr);
    EXPECT_EQ(boom->GetCellCount(), 8);
    // Cells 0..7 over half a second, ending in the update after t reaches 0.5.
    RunFrames(weapons, 16, 1.0f / 32.0f);
    EXPECT_EQ(boom->GetCell(), 8);
    EXPECT_EQ(weapons.GetPool("boom")->size(), 1u);
    RunFrames(weapons, 1, 1.0f / 32.0f);
    EXPECT_EQ(weapons.GetPool("boom")->size(), 2u);
}

TEST_F(ShotKinds, AnExplosionsSoundIsTheLastParameterOfItsList) {
    // Twenty explosion parameters (after the pieces for the debris kind); the last names the sound.
    auto params = [](bool pieces, int count, const char* last) {
        ShotParams p;
        if (pieces) p.push_back("nopiece");
        p.push_back("t.tga");
        for (int i = 2; i < count; ++i) p.push_back(i == 5 ? "1" : "0");
        p.push_back(last);
        return p;
    };
    const struct {
        bool debris;
        int count;
        const char* last;
        const char* sound;
    } cases[] = {
        {false, 20, "boom.wav", "boom.wav"}, {false, 21, "", ""},
        {false, 22, "late.wav", "late.wav"}, {false, 19, "boom.wav", ""},
        {true, 20, "boom.wav", "boom.wav"},  {true, 21, "", ""},
        {true, 22, "late.wav", "late.wav"},
    };
    for (const auto& c : cases) {
        const ShotParams p = params(c.debris, c.count, c.last);
        CPRefPtr<CPExplosionShot> shot(c.debris ? new CPDebrisExplosionShot("d") : new CPExplosionShot("e", 0));
        shot->Init(p);
        EXPECT_EQ(shot->GetSoundSpec(), c.sound) << c.debris << " " << c.count;
    }
}

TEST_F(ShotKinds, EmpDamagesEverythingListedOnceFallingLinearly) {
    RecordingSink near, edge, above;
    world.objects = {Target(Vec3(5, 0, 0), near), Target(Vec3(0, 10, 0), edge), Target(Vec3(0, 0, 3), above)};
    Launch("emp", Vec3(), Vec3(0, 0, 1));
    ASSERT_EQ(near.hits.size(), 1u);
    EXPECT_FLOAT_EQ(near.hits[0].amount, 10.0f);
    EXPECT_FLOAT_EQ(near.hits[0].direction.x, -1.0f);
    ASSERT_EQ(edge.hits.size(), 1u);
    EXPECT_FLOAT_EQ(edge.hits[0].amount, 0.0f);
    ASSERT_EQ(above.hits.size(), 1u);
    EXPECT_FLOAT_EQ(Length(above.hits[0].direction), 0.0f);
    // Lifetime 1.0: ends on the first update past it.
    RunFrames(weapons, 4, 0.25f);
    EXPECT_EQ(weapons.GetLiveShots().size(), 1u);
    RunFrames(weapons, 1, 0.25f);
    EXPECT_TRUE(weapons.GetLiveShots().empty());
}

TEST_F(ShotKinds, SuperFlashRisesHoldsAndFallsWithinTwoSeconds) {
    for (float dt : {0.016f, 0.3f, 0.7f}) {
        auto* flash = dynamic_cast<CPSuperShot*>(Launch("white", Vec3(), Vec3(0, 0, 1)));
        ASSERT_NE(flash, nullptr);
        float t = 0.0f, peak = 0.0f;
        while (!weapons.GetLiveShots().empty()) {
            RunFrames(weapons, 1, dt);
            t += dt;
            peak = std::max(peak, flash->GetLevel());
            ASSERT_LE(t, 2.0f + dt);
        }
        EXPECT_EQ(flash->GetPhase(), 3);
        EXPECT_LE(peak, 255.0f);
        EXPECT_EQ(flash->GetQuad()->worldVertices[0].diffuse, 0xFF000000u);
    }
}

TEST_F(ShotKinds, PickupsCollectWithinTwoUnitsHorizontally) {
    world.car = CPRefPtr<CPGameObject>(new CPGameObject("car"));
    struct Case {
        Vec3 car;
        bool collected;
    };
    for (const Case& c : {Case{{2.0f, 0, 0}, false}, Case{{1.9f, 0, 40}, true}}) {
        world.car->SetPosition(c.car);
        auto* bonus = dynamic_cast<CPBonusShot*>(Launch("junk", Vec3(), Vec3(0, 0, 1)));
        RunFrames(weapons, 1, 0.1f);
        EXPECT_EQ(!bonus->IsAvailable(), c.collected);
        weapons.ClearShots();
    }
    // Without a car nothing is collected; a lifetime of 0 expires at once.
    world.car.Reset();
    auto* bonus = dynamic_cast<CPBonusShot*>(Launch("cash", Vec3(), Vec3(0, 0, 1)));
    RunFrames(weapons, 3, 0.1f);
    EXPECT_TRUE(bonus->IsAvailable());
    weapons.ClearShots();
    Launch("shortlived", Vec3(), Vec3(0, 0, 1));
    RunFrames(weapons, 1, 0.1f);
    EXPECT_TRUE(weapons.GetLiveShots().empty());
}

// A money pickup adds exactly 100 and tells "gamemenu" the new amount once, with two decimals.
TEST_F(ShotKinds, MoneyPickupAddsAHundredAndTellsTheMenuOnce) {
    ScriptHarness::GameRoot root("");
    RaceCommandLog log;
    ASSERT_TRUE(log.Loaded());
    CPGameData data;
    data.SetMoney(500.0f);
    log.Clear();
    world.car = CPRefPtr<CPGameObject>(new CPGameObject("car"));
    Launch("cash", Vec3(), Vec3(0, 0, 1));
    RunFrames(weapons, 2, 0.1f);
    EXPECT_TRUE(weapons.GetLiveShots().empty());
    EXPECT_FLOAT_EQ(data.GetMoney(), 600.0f);
    EXPECT_EQ(log.Take("gamemenu"), std::vector<std::string>{"change_money 600.00"});
}

TEST_F(ShotKinds, TimePickupSlowsTheGameAndGivesItBack) {
    world.car = CPRefPtr<CPGameObject>(new CPGameObject("car"));
    auto* bonus = dynamic_cast<CPBonusShot*>(Launch("timebonus", Vec3(), Vec3(0, 0, 1)));
    RunFrames(weapons, 1, 0.1f);
    ASSERT_FALSE(bonus->IsAvailable());
    // FrameDelta is game time: real time is FrameDelta / TimeScale.
    float real = 0.0f;
    while (!weapons.GetLiveShots().empty() && real < 30.0f) {
        FrameDelta = 0.05f * TimeScale;
        weapons.Update();
        real += 0.05f;
        if (real > 2.05f && real < 17.95f) {
            ASSERT_FLOAT_EQ(TimeScale, 0.5f) << real;
        }
    }
    EXPECT_FLOAT_EQ(TimeScale, 1.0f);
    EXPECT_FLOAT_EQ(CNSound::GetGlobalPitch(), 1.0f);
    EXPECT_LE(real, 20.1f);

    // Cleared in the middle of the effect: the speed comes back all the same.
    Launch("timebonus", Vec3(), Vec3(0, 0, 1));
    RunFrames(weapons, 40, 0.1f);
    EXPECT_LT(TimeScale, 1.0f);
    weapons.ClearShots();
    EXPECT_FLOAT_EQ(TimeScale, 1.0f);
    EXPECT_FLOAT_EQ(CNSound::GetGlobalPitch(), 1.0f);
}

TEST_F(ShotKinds, LightningGrowsTwentyUnitsOrStopsAtACar) {
    CPRefPtr<CPLightningShot> bolt(new CPLightningShot("bolt"));
    bolt->Init(CPLightningShot::DefaultParams());
    bolt->Launch(Vec3(), Vec3(2, 0, 0), 10, CPRefPtr<CPGameObject>(), nullptr);
    EXPECT_FALSE(bolt->Clone());
    CPRefPtr<CPGameObject> hit;
    FrameDelta = 0.1f;
    int steps = 0;
    while (bolt->Step(hit) == 1) ++steps;
    EXPECT_EQ(steps, 20); // 1 unit a step, 20 units in 2 s
    EXPECT_EQ(bolt->Step(hit), -1);

    world.car = CPRefPtr<CPGameObject>(new CPGameObject("car"));
    world.car->SetPosition(Vec3(6, 0, 0)); // its surface 5 units away
    bolt->Launch(Vec3(), Vec3(1, 0, 0), 10, CPRefPtr<CPGameObject>(), nullptr);
    int result = 1;
    for (steps = 0; result == 1 && steps < 100; ++steps) result = bolt->Step(hit);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(hit.Get(), world.car.Get());
    EXPECT_EQ(steps, 5);

    // A zero direction makes no bolt.
    bolt->Launch(Vec3(), Vec3(), 10, CPRefPtr<CPGameObject>(), nullptr);
    EXPECT_EQ(bolt->Step(hit), -1);
}

} // namespace

namespace {

// A rocket that hits tells the hit owner's script "shot" with the owner, the part and its damage,
// and marks the owner's enemy component for gibs when the generator's next value is odd.
TEST(RocketHit, TellsTheOwnersScriptAndMarksForGibsOnAnOddDraw) {
    ScriptHarness::GameRoot root("");
    RaceCommandLog log;
    ASSERT_TRUE(log.Loaded());
    FakeWorld world;
    CPWeaponsSystem weapons;
    LoadWeapons(weapons, "rocket1 rocket m;player;17;30;after;;0;0;0;0;none\n"
                         "after simple x.rdf;player;0;0;n;none\n");
    for (uint32_t seed : {1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u}) {
        RecordingSink sink;
        CPRefPtr<CPGameObject> wall(new CPGameObject("wall"));
        wall->SetEnemyController(&sink);
        wall->SetScript(GetScriptManager()->GetScript("jeep").Get());
        world.walls = {{0.5f, wall}};
        weapons.CreateShot("rocket1", Vec3(0, 0, 1), Vec3(1, 0, 0.5f), -1);
        log.Clear();
        EngineSrand(seed);
        uint32_t mine = seed * 214013u + 2531011u;
        const bool odd = ((mine >> 16) & 0x7FFFu) & 1u;
        RunFrames(weapons, 1, 0.05f);
        EXPECT_EQ(sink.gibs, odd) << seed;
        const std::string self = std::to_string(reinterpret_cast<intptr_t>(wall.Get()));
        EXPECT_EQ(log.Take("jeep"), std::vector<std::string>{"shot " + self + "," + self + ",30.00"}) << seed;
        // The follow-up stands where the rocket struck.
        ASSERT_FALSE(weapons.GetLiveShots().empty());
        EXPECT_EQ(weapons.GetLiveShots().back()->GetShotName(), "after");
        EXPECT_NEAR(weapons.GetLiveShots().back()->GetLaunchPosition().x, 0.5f, 1e-4f);
        weapons.ClearShots();
        wall->SetEnemyController(nullptr);
    }
}

// The mine's trigger radius is the seventh number of its mines-catalog record (the price first):
// an object with an enemy component inside it sets the mine off with the direction (0, 0, 5); a
// "timer" mine that runs out explodes with (0, 0, 1), another one just goes.
TEST(MineShot, TriggersOnEnemiesWithinTheRecordsRadius) {
    CPGameData data;
    data.catalogs[CatalogMines].Add({"spike", 60, {5, 3.0, 2.5, 1, 20, 4.0, 10}, "spike_desc", 1});
    FakeWorld world;
    CPWeaponsSystem weapons;
    LoadWeapons(weapons, "spike mine after;10;x;none\n"
                         "ticker mine after;0.5;timer;none\n"
                         "quiet mine after;0.5;x;none\n"
                         "after simple x.rdf;player;0;0;n;none\n");
    const struct {
        float distance;
        bool enemy, triggered;
    } cases[] = {{3.9f, true, true}, {4.0f, true, true}, {4.5f, true, false}, {1.0f, false, false}};
    for (const auto& c : cases) {
        RecordingSink sink;
        CPRefPtr<CPGameObject> object(new CPGameObject("car"));
        object->SetPosition(Vec3(c.distance, 0, 0));
        if (c.enemy) object->SetEnemyController(&sink);
        world.objects = {object};
        weapons.CreateShot("spike", Vec3(), Vec3(), -1);
        RunFrames(weapons, 1, 0.1f);
        const auto& live = weapons.GetLiveShots();
        ASSERT_EQ(live.size(), 1u) << c.distance;
        EXPECT_EQ(live[0]->GetShotName(), c.triggered ? "after" : "spike") << c.distance;
        if (c.triggered) EXPECT_EQ(live[0]->GetLaunchDirection(), Vec3(0, 0, 5));
        weapons.ClearShots();
        object->SetEnemyController(nullptr);
    }
    world.objects.clear();
    weapons.CreateShot("ticker", Vec3(), Vec3(), -1);
    weapons.CreateShot("quiet", Vec3(), Vec3(), -1);
    RunFrames(weapons, 6, 0.1f);
    ASSERT_EQ(weapons.GetLiveShots().size(), 1u);
    EXPECT_EQ(weapons.GetLiveShots()[0]->GetShotName(), "after");
    EXPECT_EQ(weapons.GetLiveShots()[0]->GetLaunchDirection(), Vec3(0, 0, 1));
}

} // namespace
