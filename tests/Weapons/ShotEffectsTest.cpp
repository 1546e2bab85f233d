// What the impact kinds do to the world: the explosion's push and damage on bodies, the rocket's
// "shot" command and gib mark, the mine's trigger, the spark cone, the spray streams and the debris
// pieces, seen through a running particle manager, a physics simulator and recording sinks.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "Core/PLuaScript.h"
#include "Core/POrientedBox.h"
#include "Core/PRandom.h"
#include "Core/PScriptManager.h"
#include "Particles/PParticlesManager.h"
#include "Physics/Physics.h"
#include "Race/PGameData.h"
#include "Race/PPhysicData.h"
#include "Race/PPhysics.h"
#include "Render/MeshFile.h"
#include "Render/PAnimationManager.h"
#include "Render/PMaterialManager.h"
#include "Render/PMeshManager.h"
#include "Render/RenderTestSupport.h"
#include "WeaponsTestSupport.h"

namespace {

constexpr float kTwoPi = 6.2831853f;

const char* kLines = "boom s_explosion t.tga;;;0;1;2;4;2;16;4;0;0;0;1,1,1;;0;;0;;none\n"
                     "quiet s_explosion1 t.tga;;;0;1;2;4;2;16;4;0;0;0;1,1,1;;0;;0;;none\n"
                     // Pieces first, then the explosion's twenty: push 3, damage 0.5, 2 x 2 cells at
                     // 8 a second, radius 2.
                     "debris g_explosion nopiece;t.tga;;;0;3;0.5;2;2;8;2;0;0;0;1,1,1;;0;;0;;none\n"
                     "shards g_explosion shard,nopiece,shard;t.tga;;;0;3;0.5;2;2;8;2;0;0;0;1,1,1;;0;;0;;none\n"
                     "rocket1 rocket m;player;17;30;boom;;0;0;0;0;none\n"
                     "homing s_rocket m;player;20;30;boom;;0;0;0;0;none\n"
                     "mark bonus b;;;;100;nothing;none\n"
                     "mine1 mine mark;1;plain;none\n"
                     "mine2 mine mark;1;timer;none\n"
                     "cone0 sparks spark;20;0.1;10;0;1;1;none\n"
                     "cone30 sparks spark;50;0.2;10;30;0;2;none\n"
                     "blood1 blood spray;x;1;0.2;0.5;40\n"
                     "piece gib nomodel.rdf;0.1;;1\n"
                     "trail gib1 nomodel.rdf;0;spray;0.3;0.5;0.5;4;2\n";

float AngleBetween(const Vec3& a, const Vec3& b) {
    return std::acos(std::clamp(Dot(Normalize(a), Normalize(b)), -1.0f, 1.0f));
}

class ShotEffects : public ::testing::Test {
protected:
    void SetUp() override {
        root_.Put("Data/particles.dat", Text("spark puff.tga particle_alpha.fx 1 1 1 0 0\n"
                                             "spray puff.tga particle_alpha.fx 1 1 1 0 0\n"
                                             "gib1 puff.tga particle_alpha.fx 1 1 1 0 0\n"));
        // One debris piece: a triangle.
        MeshFile::Node shard;
        shard.name = "shard";
        for (int i = 0; i < 3; ++i) {
            CPVertex v;
            v.position = Vec3(float(i == 1), float(i == 2), 0);
            shard.vertices.push_back(v);
            shard.indices.push_back(static_cast<CPIndex>(i));
        }
        MeshFile::Mesh mesh;
        mesh.nodes = {shard};
        root_.Put("Data/Meshes/shard.msh", MeshFile::WriteMesh(mesh, MeshFile::MeshKind::Older));
        root_.Put("Data/Meshes/shard.rdf", Text("m = shard.msh\n"));
        root_.Put("Data/spots.dat", {});
        root_.Put("Data/particlesystems.dat", {});
        root_.Put("Data/flames.dat", {});
        ASSERT_TRUE(particles->Start());
        // The mines catalog: record numbers 2 to 9 after the price; the seventh is the trigger
        // radius, its neighbours lie on either side of the test distances.
        for (const char* name : {"mine1", "mine2"}) {
            CPCatalogItem mine;
            mine.name = name;
            mine.price = 50;
            mine.numbers = {0, 0, 0, 0, 1, 3, 10, 0};
            data.catalogs[CatalogMines].Add(mine);
        }
        LoadWeapons(weapons, kLines);
        EngineSrand(11);
    }
    void TearDown() override { FrameDelta = 0.0f; }
    static std::vector<uint8_t> Text(const std::string& text) { return {text.begin(), text.end()}; }
    CPShot* Launch(const char* name, const Vec3& at, const Vec3& dir) {
        weapons.CreateShot(name, at, dir, -1.0f);
        return weapons.GetLiveShots().empty() ? nullptr : weapons.GetLiveShots().back().Get();
    }
    const std::list<CPParticle>& Particles(const char* type) { return particles->FindType(type)->GetParticles(); }
    CPShot* LiveShot(const std::string& name) {
        for (const auto& shot : weapons.GetLiveShots())
            if (shot->GetShotName() == name) return shot.Get();
        return nullptr;
    }

    RenderSupport::ScopedGameRoot root_;
    CPAnimationManager animations_;
    CPMaterialManager materials_;
    CPMeshManager meshes_;
    CPRefPtr<CPParticlesManager> particles{new CPParticlesManager};
    CPGameData data;
    FakeWorld world;
    CPWeaponsSystem weapons;
};

// Push n x k x push factor and damage max(0, k x damage factor), k = 1.5 R - distance, on a body
// of mass 2 (so its velocity is half the impulse); the damage points back across the ground; the
// plain explosion sets alight and is heard, the quiet one neither.
TEST_F(ShotEffects, ExplosionPushesAndDamagesBodiesByDistance) {
    Physics::SimulatorDesc desc;
    desc.rigidBodiesCount = 2;
    desc.geometriesCount = 2;
    desc.overlapPairsCount = 2;
    const Physics::Vector4 gravity(0, 0, -9.8f, 0);
    Physics::Simulator* simulator = Physics::CreateSimulator(desc, nullptr, &gravity);
    ASSERT_NE(simulator, nullptr);
    Physics::RigidBody* body = simulator->CreateRigidBody();
    ASSERT_NE(body, nullptr);
    body->SetMass(2.0f);

    const float k2 = 6.0f - 2.0f * std::sqrt(2.0f); // the object at (0, 2, 2)
    const struct {
        const char* shot;
        Vec3 at;
        bool listed;
        float damage;
        Vec3 velocity;
        Vec3 direction;
    } cases[] = {
        // "boom": push 1, damage factor 2, R 4, so listed to 6.
        {"boom", {2, 0, 0}, true, 8.0f, {2, 0, 0}, {-1, 0, 0}},
        {"boom", {-3, 0, 0}, true, 6.0f, {-1.5f, 0, 0}, {1, 0, 0}},
        {"boom", {0, 2, 2}, true, 2.0f * k2, {0, k2 / std::sqrt(2.0f) / 2, k2 / std::sqrt(2.0f) / 2}, {0, -1, 0}},
        {"boom", {6, 0, 0}, true, 0.0f, {0, 0, 0}, {-1, 0, 0}},
        {"boom", {6.5f, 0, 0}, false, 0.0f, {0, 0, 0}, {}},
        {"quiet", {2, 0, 0}, true, 8.0f, {2, 0, 0}, {-1, 0, 0}},
        {"quiet", {0, 2, 2}, true, 2.0f * k2, {0, k2 / std::sqrt(2.0f) / 2, k2 / std::sqrt(2.0f) / 2}, {0, -1, 0}},
        // The debris explosion reads its own parameters after the piece list: push 3, damage 0.5,
        // R 2, listed to 3.
        {"debris", {1, 0, 0}, true, 1.0f, {3, 0, 0}, {-1, 0, 0}},
        {"debris", {3.5f, 0, 0}, false, 0.0f, {0, 0, 0}, {}},
    };
    for (const auto& c : cases) {
        const std::string label = std::string(c.shot) + " at " + std::to_string(c.at.x) + "," + std::to_string(c.at.y) +
                                  "," + std::to_string(c.at.z);
        RecordingSink sink;
        CPRefPtr<CPGameObject> target(new CPGameObject("barrel"));
        target->SetPosition(c.at);
        target->AddCollisionBox(CPOrientedBox(Vec3(), Vec3(0.5f, 0.5f, 0.5f)));
        target->UpdateTransform();
        target->SetEnemyController(&sink);
        target->SetFlameType(0);
        CPRefPtr<CPPhysicData> physics(new CPPhysicData(target.Get()));
        physics->rigidBody = body;
        target->SetPhysicData(physics);
        body->SetLinearVelocity(Physics::Vector4(0, 0, 0, 0));
        world.objects = {target};

        Launch(c.shot, Vec3(), Vec3(0, 0, 1));
        const Physics::Vector4 v = body->GetLinearVelocity();
        EXPECT_NEAR(v.x, c.velocity.x, 1e-4f) << label;
        EXPECT_NEAR(v.y, c.velocity.y, 1e-4f) << label;
        EXPECT_NEAR(v.z, c.velocity.z, 1e-4f) << label;
        const bool quiet = std::string(c.shot) == "quiet";
        if (!c.listed) {
            EXPECT_TRUE(sink.hits.empty()) << label;
            EXPECT_EQ(target->GetFlameType(), 0) << label;
        } else {
            ASSERT_EQ(sink.hits.size(), 1u) << label;
            EXPECT_NEAR(sink.hits[0].amount, c.damage, 1e-4f) << label;
            EXPECT_EQ(sink.hits[0].silent, quiet) << label;
            EXPECT_NEAR(sink.hits[0].direction.x, c.direction.x, 1e-5f) << label;
            EXPECT_NEAR(sink.hits[0].direction.y, c.direction.y, 1e-5f) << label;
            EXPECT_NEAR(sink.hits[0].direction.z, 0.0f, 1e-6f) << label;
            // Set alight (its flame type spent) by all but the quiet variant.
            EXPECT_EQ(target->GetFlameType(), quiet ? 0 : -1) << label;
        }
        weapons.ClearShots();
        physics->rigidBody = nullptr;
        target->SetEnemyController(nullptr);
    }
    // The debris explosion animates as any: 4 cells at 8 a second end after half a second.
    Launch("debris", Vec3(), Vec3(0, 0, 1));
    RunFrames(weapons, 4, 0.125f);
    EXPECT_EQ(weapons.GetPool("debris")->size(), 1u);
    RunFrames(weapons, 1, 0.125f);
    EXPECT_EQ(weapons.GetPool("debris")->size(), 2u);
    Physics::DestroySimulator(simulator);
}

// The debris explosion carries the pieces that load, before its flash; nothing sets them moving, so
// every piece leaves a "gib1" trail particle at the explosion's centre whenever more than 0.04 s
// have gathered.
TEST_F(ShotEffects, DebrisExplosionTrailsItsPiecesFromItsCentre) {
    CPShot* shards = Launch("shards", Vec3(3, 4, 0), Vec3(0, 0, 1));
    ASSERT_NE(shards, nullptr);
    ASSERT_EQ(shards->GetChildren().size(), 3u); // two pieces, no sprites, the flash
    EXPECT_EQ(shards->GetChildren()[0]->GetName(), "shard");
    EXPECT_EQ(shards->GetChildren()[1]->GetName(), "shard");
    EXPECT_EQ(shards->GetChildren()[2]->GetName(), "explosion");
    const size_t expected[] = {0, 2, 2, 4, 4, 6};
    for (size_t i = 0; i < 6; ++i) {
        RunFrames(weapons, 1, 0.03f);
        EXPECT_EQ(Particles("gib1").size(), expected[i]) << i;
    }
    for (const CPParticle& p : Particles("gib1")) {
        EXPECT_NEAR(p.position.x, 3.0f, 1e-5f);
        EXPECT_NEAR(p.position.y, 4.0f, 1e-5f);
        EXPECT_NEAR(p.position.z, 0.0f, 1e-5f);
        EXPECT_FLOAT_EQ(p.size, 0.15f);
        EXPECT_FLOAT_EQ(p.life, 0.3f);
        EXPECT_TRUE(p.fade);
        EXPECT_EQ(p.growth, 0.0f);
        EXPECT_EQ(p.velocity, Vec3());
    }
}

// A rocket that hits tells the hit object's script "shot" (owner, part, damage with two decimals),
// damages nothing itself, marks the object for gibs about every other time and leaves its
// follow-up at the hit point.
TEST_F(ShotEffects, RocketHitsSendShotAndMarkForGibs) {
    CPScriptManager scripts;
    CPRefPtr<CPLuaScript> script(new CPLuaScript);
    ASSERT_TRUE(script->Start());
    RecordingSink sink;
    CPRefPtr<CPGameObject> wall(new CPGameObject("wall"));
    wall->SetScript(script.Get());
    wall->SetEnemyController(&sink);
    world.walls.push_back({3.0f, wall});
    const std::string who = std::to_string(reinterpret_cast<intptr_t>(wall.Get()));

    const struct {
        const char* shot;
        Vec3 from, along;
    } cases[] = {{"rocket1", {0, 0, 0}, {1, 0, 0.5f}}, {"homing", {0, 0, 1}, {1, 0, 0}}};
    for (const auto& c : cases) {
        int marked = 0;
        const int rockets = 40;
        for (int i = 0; i < rockets; ++i) {
            sink.gibs = false;
            const size_t before = script->GetQueue().size();
            Launch(c.shot, c.from, c.along);
            for (int f = 0; f < 100 && LiveShot(c.shot); ++f) RunFrames(weapons, 1, 0.02f);
            ASSERT_EQ(script->GetQueue().size(), before + 1) << c.shot;
            const CPCommand& command = script->GetQueue().back();
            EXPECT_EQ(command.name, "shot");
            EXPECT_EQ(command.params, (std::vector<std::string>{who, who, "30.00"})) << c.shot;
            EXPECT_TRUE(sink.hits.empty()) << c.shot;
            marked += sink.gibs ? 1 : 0;
            // The follow-up explosion went off on the wall.
            const CPShot* boom = LiveShot("boom");
            ASSERT_NE(boom, nullptr) << c.shot;
            EXPECT_NEAR(boom->GetLaunchPosition().x, 3.0f, 1e-3f) << c.shot;
            weapons.ClearShots();
        }
        EXPECT_GT(marked, rockets / 4) << c.shot;
        EXPECT_LT(marked, rockets * 3 / 4) << c.shot;
    }
    wall->SetEnemyController(nullptr);
    wall->SetScript(nullptr);
    script->Stop();
}

// The gib mark is set exactly when the next draw of the generator is odd.
TEST_F(ShotEffects, GibMarkFollowsTheParityOfTheNextDraw) {
    RecordingSink sink;
    CPRefPtr<CPGameObject> crate(new CPGameObject("crate"));
    crate->SetEnemyController(&sink);
    for (unsigned seed : {1u, 2u, 3u, 4u, 5u, 77u, 1000u, 65535u}) {
        // The generator by its formula: seed x 214013 + 2531011, bits 16 to 30.
        const uint32_t next = seed * 214013u + 2531011u;
        const bool odd = ((next >> 16) & 0x7FFFu) & 1u;
        sink.gibs = false;
        EngineSrand(seed);
        crate->MarkForGibsAtRandom(true);
        EXPECT_EQ(sink.gibs, odd) << seed;
    }
    // Without an enemy component nothing is drawn either.
    crate->SetEnemyController(nullptr);
    EngineSrand(5);
    crate->MarkForGibsAtRandom(true);
    const uint32_t first = 5u * 214013u + 2531011u;
    EXPECT_EQ(EngineRand(), static_cast<int>((first >> 16) & 0x7FFFu));
}

// The trigger radius is the seventh number of the mine's catalog record (3 here; its neighbours 1
// and 10); a timed mine explodes upward at its end, a triggered one five times as hard, a plain one
// that runs out leaves nothing.
TEST_F(ShotEffects, MinesTriggerWithinTheirCatalogRadius) {
    const struct {
        const char* mine;
        float distance;
        bool enemy;
        int endsAfter; // updates of 0.25 s
        float throwUp; // the explosion's direction z, 0 for none
    } cases[] = {
        {"mine1", 2.5f, true, 1, 5.0f},  {"mine1", 4.0f, true, 4, 0.0f}, {"mine1", 2.5f, false, 4, 0.0f},
        {"mine2", 20.0f, true, 4, 1.0f}, {"mine2", 0.5f, true, 1, 5.0f},
    };
    for (const auto& c : cases) {
        const std::string label = std::string(c.mine) + " " + std::to_string(c.distance) + (c.enemy ? " enemy" : "");
        RecordingSink sink;
        CPRefPtr<CPGameObject> car(new CPGameObject("car"));
        car->SetPosition(Vec3(5 + c.distance, 5, 0));
        if (c.enemy) car->SetEnemyController(&sink);
        world.objects = {car};
        Launch(c.mine, Vec3(5, 5, 0), Vec3());
        int updates = 0;
        while (updates < 10 && !LiveShot("mark") && LiveShot(c.mine)) {
            RunFrames(weapons, 1, 0.25f);
            ++updates;
        }
        EXPECT_EQ(updates, c.endsAfter) << label;
        EXPECT_EQ(LiveShot(c.mine), nullptr) << label;
        const CPShot* explosion = LiveShot("mark");
        if (c.throwUp == 0.0f) {
            EXPECT_EQ(explosion, nullptr) << label;
        } else {
            ASSERT_NE(explosion, nullptr) << label;
            EXPECT_EQ(explosion->GetLaunchDirection(), Vec3(0, 0, c.throwUp)) << label;
            EXPECT_EQ(explosion->GetLaunchPosition().x, 5.0f) << label;
        }
        weapons.ClearShots();
        car->SetEnemyController(nullptr);
    }
}

// Sparks leave from the launch point within the cone about the launch direction (exactly along it
// for a cone of 0) at 1 to 1.4 times their speed, for 1 to 1.4 times their life, falling at 9.
TEST_F(ShotEffects, SparksFlyWithinTheirCone) {
    const struct {
        const char* shot;
        Vec3 direction;
        size_t count;
        float cone, size, life;
        bool fade;
    } cases[] = {
        {"cone0", {1, 0, 0}, 20, 0.0f, 0.1f, 1.0f, true},    {"cone0", {0, 3, 4}, 20, 0.0f, 0.1f, 1.0f, true},
        {"cone0", {0, 0, -2}, 20, 0.0f, 0.1f, 1.0f, true},   {"cone0", {0, 0, 1}, 20, 0.0f, 0.1f, 1.0f, true},
        {"cone30", {0, 1, 0}, 50, 30.0f, 0.2f, 2.0f, false},
    };
    for (const auto& c : cases) {
        particles->ClearAll();
        Launch(c.shot, Vec3(1, 2, 3), c.direction);
        const auto& sparks = Particles("spark");
        ASSERT_EQ(sparks.size(), c.count) << c.shot;
        for (const CPParticle& p : sparks) {
            EXPECT_EQ(p.position, Vec3(1, 2, 3));
            EXPECT_FLOAT_EQ(p.size, c.size);
            EXPECT_EQ(p.growth, 0.0f);
            EXPECT_EQ(p.fade, c.fade);
            EXPECT_GE(p.life, c.life);
            EXPECT_LE(p.life, 1.4f * c.life + 1e-5f);
            EXPECT_EQ(p.acceleration, Vec3(0, 0, -9));
            EXPECT_GE(Length(p.velocity), 10.0f - 1e-4f);
            EXPECT_LE(Length(p.velocity), 14.0f + 1e-4f);
            EXPECT_LE(AngleBetween(p.velocity, c.direction), c.cone * 0.017453292f + 1e-3f)
                << c.shot << " " << c.direction.x << "," << c.direction.y << "," << c.direction.z;
        }
        // Done at launch: the shot ends in its first update.
        RunFrames(weapons, 1, 0.1f);
        EXPECT_TRUE(weapons.GetLiveShots().empty());
    }
}

// One stream a spray: from the launch point along the direction turned about the vertical by at
// most half the spread, each particle one step of at most the largest size further, shrinking
// linearly from S (the first) with the distance walked before its step.
TEST_F(ShotEffects, SprayStreamsShrinkAlongTheirLine) {
    int streams = 0;
    for (int i = 0; i < 40; ++i) {
        particles->ClearAll();
        Launch("blood1", Vec3(0, 0, 1), Vec3(2, 0, 0));
        const auto& drops = Particles("spray");
        if (drops.empty()) continue; // a stream of length 0
        ++streams;
        const float s = drops.front().size;
        EXPECT_GE(s, 0.2f);
        EXPECT_LE(s, 0.5f);
        Vec3 previous(0, 0, 1);
        float walked = 0.0f, slope = -1.0f;
        const Vec3 line = Normalize(drops.back().position - Vec3(0, 0, 1));
        EXPECT_LE(std::fabs(std::atan2(line.y, line.x)), 20.0f * 0.017453292f + 1e-4f);
        for (const CPParticle& p : drops) {
            EXPECT_NEAR(p.position.z, 1.0f, 1e-5f);
            const float step = Length(p.position - previous);
            EXPECT_LE(step, 0.5f + 1e-5f);
            if (step > 1e-3f) {
                EXPECT_LE(AngleBetween(p.position - previous, line), 1e-2f);
            }
            if (walked > 0.0f) {
                // (S - size) / walked is S / X for every particle of the stream.
                const float k = (s - p.size) / walked;
                if (slope < 0.0f) slope = k;
                EXPECT_NEAR(k, slope, 1e-3f);
                EXPECT_GE(p.size, 0.0f);
                EXPECT_LE(walked, 5.0f);
            }
            EXPECT_GE(p.life, 20.0f);
            EXPECT_LE(p.life, 25.0f);
            EXPECT_TRUE(p.fade);
            EXPECT_EQ(p.acceleration, Vec3(0, 0, -9));
            EXPECT_EQ(p.velocity.y, 0.0f);
            EXPECT_TRUE(p.velocity.x == 0.0f || p.velocity.x == 1.0f || p.velocity.x == 2.0f || p.velocity.x == 3.0f);
            EXPECT_GE(p.velocity.z, 0.0f);
            EXPECT_LE(p.velocity.z, kTwoPi + 1e-4f);
            walked += step;
            previous = p.position;
        }
    }
    EXPECT_GT(streams, 30);
}

// A trail gib is lifted clear of the ground by half its height, leaves a trail particle every
// emission interval while above the ground, and ends after its lifetime; a plain gib likewise.
TEST_F(ShotEffects, GibsLiftClearTrailAndEnd) {
    auto* gib = Launch("trail", Vec3(2, 3, 0.2f), Vec3());
    ASSERT_NE(gib, nullptr);
    gib->AddCollisionBox(CPOrientedBox(Vec3(), Vec3(0.5f, 0.5f, 0.5f))); // height 1
    gib->SetPosition(Vec3(2, 3, 0.2f));                                  // marks the transform for the new box
    gib->UpdateTransform();
    const struct { float z, start; } lifts[] = {{0.2f, 0.51f}, {-3.0f, 0.51f}, {0.5f, 0.5f}, {0.7f, 0.7f}};
    for (const auto& l : lifts) {
        gib->Launch(Vec3(2, 3, l.z), Vec3(), -1.0f, CPRefPtr<CPGameObject>(), nullptr);
        EXPECT_NEAR(gib->GetPosition().z, l.start, 1e-5f) << l.z;
        EXPECT_EQ(gib->GetPosition().x, 2.0f);
    }
    // Interval 0.5, lifetime 2, at 0.25 s an update: a particle every other update, the last true
    // answer when the age reaches 2.25.
    particles->ClearAll();
    int updates = 0;
    while (updates < 20 && !weapons.GetLiveShots().empty()) {
        RunFrames(weapons, 1, 0.25f);
        ++updates;
    }
    EXPECT_EQ(updates, 10);
    const auto& trail = Particles("spray");
    ASSERT_EQ(trail.size(), 4u);
    for (const CPParticle& p : trail) {
        EXPECT_EQ(p.position, Vec3(2, 3, 0.7f));
        EXPECT_GE(p.size, 0.3f);
        EXPECT_LE(p.size, 0.36f + 1e-5f);
        EXPECT_GE(p.life, 0.5f);
        EXPECT_LE(p.life, 0.6f + 1e-5f);
        EXPECT_TRUE(p.fade);
        EXPECT_EQ(p.growth, 0.0f);
        EXPECT_TRUE(p.velocity.x == 0.0f || p.velocity.x == 1.0f || p.velocity.x == 2.0f || p.velocity.x == 3.0f);
        EXPECT_EQ(p.velocity.y, 0.0f);
        EXPECT_LE(p.velocity.z, kTwoPi + 1e-4f);
    }
    // Below the ground no trail.
    particles->ClearAll();
    gib = Launch("trail", Vec3(0, 0, 1), Vec3());
    gib->SetPosition(Vec3(0, 0, -1));
    RunFrames(weapons, 4, 0.25f);
    EXPECT_TRUE(Particles("spray").empty());
    weapons.ClearShots();

    // Lifetime 1: the sixth update of 0.25 s ends it.
    Launch("piece", Vec3(0, 0, 1), Vec3(0, 0, 10));
    RunFrames(weapons, 5, 0.25f);
    EXPECT_EQ(weapons.GetLiveShots().size(), 1u);
    RunFrames(weapons, 1, 0.25f);
    EXPECT_TRUE(weapons.GetLiveShots().empty());
}

// A gib with a body joins the physics world in collision group 3 and is thrown by its launch
// direction as an impulse (none for a zero direction); at the end of its lifetime its body leaves
// the world.
TEST_F(ShotEffects, GibBodiesAreThrownByTheirDirectionAndLeaveTheWorld) {
    CPRefPtr<CPPhysics> physics(new CPPhysics);
    physics->InitWorld();
    const struct {
        Vec3 direction, velocity; // mass 2
    } cases[] = {{{0, 0, 10}, {0, 0, 5}}, {{3, -4, 0}, {1.5f, -2, 0}}, {{0, 0, 0}, {0, 0, 0}}};
    for (const auto& c : cases) {
        CPShot* gib = Launch("piece", Vec3(0, 0, 1), Vec3());
        ASSERT_NE(gib, nullptr);
        CPRefPtr<CPPhysicData> data(new CPPhysicData(gib));
        data->body.a = data->body.b = data->body.c = 1.0f;
        data->body.mass = 2.0f;
        CPPhysicData::Shape shape;
        shape.a = shape.b = shape.c = 1.0f;
        data->shapes.push_back(shape);
        gib->SetPhysicData(data);
        gib->Launch(Vec3(0, 0, 1), c.direction, -1.0f, CPRefPtr<CPGameObject>(), nullptr);
        ASSERT_NE(data->rigidBody, nullptr);
        EXPECT_EQ(data->rigidBody->GetCollisionGroup(), 3);
        const Physics::Vector4 v = data->rigidBody->GetLinearVelocity();
        EXPECT_NEAR(v.x, c.velocity.x, 1e-5f);
        EXPECT_NEAR(v.y, c.velocity.y, 1e-5f);
        EXPECT_NEAR(v.z, c.velocity.z, 1e-5f);
        // Lifetime 1 at 0.25 s an update: ended by the sixth, out of the world.
        RunFrames(weapons, 5, 0.25f);
        EXPECT_NE(data->rigidBody, nullptr);
        RunFrames(weapons, 1, 0.25f);
        EXPECT_TRUE(weapons.GetLiveShots().empty());
        EXPECT_FALSE(data->HasBody());
        gib->SetPhysicData(CPRefPtr<CPBodyLink>());
    }
    physics->DestroyWorld();
}

} // namespace
