#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "Core/PRandom.h"
#include "Particles/PParticleSystem.h"
#include "Particles/PSpotRenderObject.h"
#include "ParticlesTestSupport.h"

using namespace ParticlesSupport;

namespace {

const Files kFiles{"plain puff.tga particle_alpha.fx 1 1 1 0 0\n"
                   "atlas explosion.tga particle_add.fx 3 2 4 0 1\n"
                   "keyed puff.tga particle_alpha.fx 1 1 1 0 0 1:1:1:1:1,0:0:0:0:3\n"
                   "scorch spark.tga particle_add.fx 1 1 1 0 0\n",
                   "scorch scorch.tga spot.fx 1 1 1 0 0\n", "up plain 1 0.5 0 1 2 0 0 0 1 0 0 0 0 0 0\n",
                   "up,missing;0.1;10;2\n"
                   // Quotes group a field: two emitter names, a duration of 3.
                   "\"up,plain\";0.5;\"3\";1\n"};

CPParticleDesc Desc(const std::string& type, float life, bool fade = false) {
    CPParticleDesc desc;
    desc.typeName = type;
    desc.life = life;
    desc.fade = fade;
    desc.size = 1.0f;
    return desc;
}

class ParticlesManagerTest : public ManagerFixture {};

TEST_F(ParticlesManagerTest, LoadsTypesDefinitionsAndFlamesWithLaterLinesWinning) {
    ASSERT_TRUE(StartWith(kFiles));
    EXPECT_FALSE(manager->FindType("plain")->HasAtlas());
    EXPECT_TRUE(manager->FindType("atlas")->HasAtlas());
    EXPECT_EQ(manager->FindType("atlas")->GetCellCount(), 6);
    EXPECT_EQ(manager->FindType("atlas")->GetFrameCount(), 4);
    // The spots file comes later and replaces the particle type of the same name.
    EXPECT_NE(dynamic_cast<CPSpotRenderObject*>(manager->FindType("scorch")), nullptr);
    const CPEmitterDef* up = manager->FindEmitterDef("up");
    ASSERT_NE(up, nullptr);
    EXPECT_EQ(up->typeName, "plain");
    EXPECT_FLOAT_EQ(up->speed, 2.0f);
    EXPECT_EQ(manager->GetFlameCount(), 2u);
    CPRefPtr<CPParticleSystem> flame = manager->CreateFlame(0);
    ASSERT_TRUE(flame);
    EXPECT_EQ(flame->GetNames().size(), 2u);
    EXPECT_EQ(flame->GetDefinitions().size(), 1u); // "missing" is skipped
    EXPECT_FLOAT_EQ(flame->duration, 10.0f);
    EXPECT_FLOAT_EQ(flame->damage, 2.0f);
    CPRefPtr<CPParticleSystem> quoted = manager->CreateFlame(1);
    ASSERT_TRUE(quoted);
    EXPECT_EQ(quoted->GetNames(), (std::vector<std::string>{"up", "plain"}));
    EXPECT_FLOAT_EQ(quoted->interval, 0.5f);
    EXPECT_FLOAT_EQ(quoted->duration, 3.0f);
    EXPECT_FLOAT_EQ(quoted->damage, 1.0f);
    EXPECT_FALSE(manager->CreateFlame(2));
    EXPECT_FALSE(manager->CreateFlame(-1));
}

TEST_F(ParticlesManagerTest, StartFlamesTakesItsFlamesFromTheManager) {
    ASSERT_TRUE(StartWith(kFiles));
    CPRefPtr<CPGameObject> root(new CPGameObject("truck"));
    CPRefPtr<CPGameObject> tank(new CPGameObject("tank"));
    root->AddChild(tank);
    root->SetFlameType(0);
    tank->SetFlameType(3); // past the flame list: no flame
    root->StartFlames();
    EXPECT_EQ(root->GetFlameType(), -1);
    EXPECT_EQ(tank->GetFlameType(), -1);
    CPRefPtr<CPGameObject> holder = root->FindChild("flame");
    ASSERT_TRUE(holder);
    auto* flame = dynamic_cast<CPParticleSystem*>(holder->GetRenderPart().Get());
    ASSERT_NE(flame, nullptr);
    EXPECT_FLOAT_EQ(flame->duration, 10.0f);
    EXPECT_FALSE(tank->FindChild("flame"));
}

TEST_F(ParticlesManagerTest, StartStopsAtTheFirstMissingFileAndThenEmitsNothing) {
    root_.Put("Data/particles.dat", Text("plain puff.tga particle_alpha.fx 1 1 1 0 0\n"));
    EXPECT_FALSE(manager->Start());
    ASSERT_NE(manager->FindType("plain"), nullptr);
    manager->EmitParticle(Desc("plain", 1));
    // Nobody would ever age these particles, so none is stored.
    EXPECT_EQ(manager->FindType("plain")->GetParticleCount(), 0);
}

TEST_F(ParticlesManagerTest, BadLinesReadAsZerosWithoutCrashing) {
    ASSERT_TRUE(StartWith({"bare\n"
                           "rows texture effect 0 -3 1 0 0\n"
                           "odd texture effect x y z w v 1:1:1:1:1\n"
                           "nan texture effect 1 1 1 0 0 nan:inf:1:1:1,0:0:0:0:1\n",
                           "", "cone1 bare 0 1 0 1 1 1 0 0 1 0 0 0 0 0 0\nnum bare inf nan\n", "cone1;0;0;0\n;x\n"}));
    for (const char* name : {"bare", "rows", "odd", "nan"}) {
        CPParticleRenderObject* type = manager->FindType(name);
        ASSERT_NE(type, nullptr) << name;
        EXPECT_FALSE(type->HasAtlas()) << name;
        EXPECT_EQ(type->GetCellCount(), 1) << name;
    }
    uint32_t color = 0;
    float size = 0;
    manager->FindType("nan")->KeyAt(0.0f, color, size);
    EXPECT_EQ(color, 0x0000FFFFu); // non-finite key values read 0
    EXPECT_EQ(manager->FindEmitterDef("cone1")->cone, 0);
    EXPECT_FLOAT_EQ(manager->FindEmitterDef("num")->life, 0.0f);
    EXPECT_FLOAT_EQ(manager->FindEmitterDef("num")->size, 0.0f);

    // A flame of interval 0 emits nothing and ends its update.
    CPRefPtr<CPParticleSystem> flame = manager->CreateFlame(0);
    ASSERT_TRUE(flame);
    flame->Start();
    FrameDelta = 1.0f;
    flame->Update();
    EXPECT_EQ(manager->FindType("bare")->GetParticleCount(), 0);
    EXPECT_TRUE(manager->CreateFlame(1)); // an empty line of names still makes a system
}

// The alpha is the low byte of trunc((life - age) * 256 / life): age 0 gives 256, so 0.
TEST_F(ParticlesManagerTest, FadeAlphaFallsOverTheLifeAndAgeZeroIsTransparent) {
    ASSERT_TRUE(StartWith(kFiles));
    UseCamera(Vec3(-10, 0, 0), Vec3(0, 0, 0));
    struct Row {
        float life, age;
        uint32_t alpha;
    };
    const Row rows[] = {{1, 0, 0},      {1, 0.25f, 192}, {2, 1, 128}, {1, 0.001f, 255},
                        {1, 0.999f, 0}, {1, 1, 0},       {1, 1.5f, 0}};
    for (const Row& row : rows) {
        manager->ClearAll();
        manager->EmitParticle(Desc("plain", row.life, true));
        CPParticleRenderObject* type = manager->FindType("plain");
        const_cast<CPParticle&>(type->GetParticles().front()).age = row.age;
        Filled out = FillOf(*type);
        for (const CPVertex& v : out.vertices)
            EXPECT_EQ(v.diffuse, row.alpha << 24 | 0xFFFFFFu) << row.life << " " << row.age;
    }
}

TEST_F(ParticlesManagerTest, ColorKeysAreEvenlySpacedAndOneKeyIsHeld) {
    struct Row {
        std::vector<CPColorKey> keys;
        float t;
        uint32_t color;
        float size;
    };
    const Row rows[] = {
        {{{0.5f, 1, 0, 0, 2}}, 0.4f, 0x7FFF0000u, 2},
        {{{1, 1, 1, 1, 1}, {0, 0, 0, 0, 3}}, 0.25f, 0xBFBFBFBFu, 1.5f},
        {{{0, 1, 1, 1, 0}, {1, 1, 1, 1, 4}, {0, 1, 1, 1, 0}}, 0.75f, 0x7FFFFFFFu, 2},
        {{{0, 0, 0, 0, 0}, {1, 0, 0, 0, 2}, {0, 0, 0, 0, 4}, {1, 0, 0, 0, 6}, {0, 0, 0, 0, 8}}, 0.375f, 0x7F000000u, 3},
        {{{0, 0, 0, 0, 0}, {1, 0, 0, 0, 2}, {0, 0, 0, 1, 4}}, -1.0f, 0x00000000u, 0},
        {{{0, 0, 0, 0, 0}, {1, 0, 0, 0, 2}, {0, 0, 0, 1, 4}}, 1.0f, 0x000000FFu, 4},
        // A channel is the low byte of its value times 255: 2 gives 510, byte 254; values far past
        // any int (1e30 x 255 is a multiple of 256 as a float) give byte 0.
        {{{1e30f, 2, -1e30f, 1, 2}}, 0.5f, 0x00FE00FFu, 2},
    };
    for (const Row& row : rows) {
        CPRefPtr<CPParticleRenderObject> type(new CPParticleRenderObject);
        for (const CPColorKey& key : row.keys) type->AddColorKey(key);
        uint32_t color = 0;
        float size = 0;
        type->KeyAt(row.t, color, size);
        EXPECT_EQ(color, row.color) << row.keys.size() << " keys at " << row.t;
        EXPECT_FLOAT_EQ(size, row.size) << row.keys.size() << " keys at " << row.t;
    }
}

TEST_F(ParticlesManagerTest, KeyedTypesTakeTheirHalfEdgeFromTheKeys) {
    ASSERT_TRUE(StartWith(kFiles));
    UseCamera(Vec3(-10, 0, 0), Vec3(0, 0, 0));
    CPParticleDesc desc = Desc("keyed", 2);
    desc.size = 100.0f; // ignored: the keys give the size
    manager->EmitParticle(desc);
    Step(0.5f); // t = 0.25: half edge 1.5
    Filled out = FillOf(*manager->FindType("keyed"));
    EXPECT_NEAR(Length(out.vertices[1].position - out.vertices[0].position), 3.0f, 1e-4f);
    EXPECT_EQ(out.vertices[0].diffuse, 0xBFBFBFBFu);
}

TEST_F(ParticlesManagerTest, AtlasOfTwoRowsAndThreeColumnsRunsThroughAllSixCells) {
    ASSERT_TRUE(StartWith(kFiles));
    UseCamera(Vec3(-10, 0, 0), Vec3(0, 0, 0));
    CPParticleRenderObject* type = manager->FindType("atlas");
    const float ages[] = {0, 0.99f, 1, 2.5f, 4.5f, 5.9f, 6};
    const int cells[] = {0, 0, 1, 2, 4, 5, 0};
    for (size_t i = 0; i < std::size(ages); ++i) {
        manager->ClearAll();
        manager->EmitParticle(Desc("atlas", 6));
        CPParticle& p = const_cast<CPParticle&>(type->GetParticles().front());
        p.age = ages[i];
        EXPECT_EQ(type->CellAt(p), cells[i]) << ages[i];
        Filled out = FillOf(*type);
        const int cell = cells[i];
        EXPECT_FLOAT_EQ(out.vertices[0].tu, static_cast<float>(cell % 3) / 3.0f) << ages[i];
        EXPECT_FLOAT_EQ(out.vertices[0].tv, static_cast<float>(cell / 3) / 2.0f) << ages[i];
        EXPECT_FLOAT_EQ(out.vertices[2].tu, static_cast<float>(cell % 3 + 1) / 3.0f) << ages[i];
    }
    // Life 0: the rate would be infinite; the particle shows cell 0.
    manager->ClearAll();
    manager->EmitParticle(Desc("atlas", 0));
    CPParticle& p = const_cast<CPParticle&>(type->GetParticles().front());
    p.age = 0.5f;
    EXPECT_EQ(type->CellAt(p), 0);
}

// A damaged count asks for more cells a side than any texture has: that type has one cell, and
// the other sizes stand.
TEST_F(ParticlesManagerTest, AtlasSidesBeyondAThousandAndTwentyFourCountAsOneCell) {
    struct Case {
        const char* counts;
        int cells;
    };
    const Case cases[] = {{"2147483647 2147483647", 1},
                          {"3 2147483647", 1},
                          {"100000 1", 1},
                          {"1024 2", 2048},
                          {"1025 1", 1},
                          {"4 2", 8}};
    for (const Case& c : cases) {
        manager->LoadTypes(std::string("big explosion.tga particle_add.fx ") + c.counts + " 4 0 1\n", false, "test");
        ASSERT_NE(manager->FindType("big"), nullptr) << c.counts;
        EXPECT_EQ(manager->FindType("big")->GetCellCount(), c.cells) << c.counts;
    }
}

TEST_F(ParticlesManagerTest, DrawnHalfEdgeGrowsAtTwiceTheGrowthAndFacesTheCamera) {
    ASSERT_TRUE(StartWith(kFiles));
    UseCamera(Vec3(-10, 0, 0), Vec3(0, 0, 0));
    CPParticleDesc desc = Desc("plain", 5);
    desc.growth = 2.0f;
    desc.position = Vec3(0, 1, 2);
    manager->EmitParticle(desc);
    Step(0.5f);
    Step(0.5f);
    Filled out = FillOf(*manager->FindType("plain"), 8);
    const float s = 1.0f + 2.0f * 2.0f * 1.0f;
    EXPECT_NEAR(Length(out.vertices[1].position - out.vertices[0].position), 2 * s, 1e-4f);
    EXPECT_NEAR(Length(out.vertices[3].position - out.vertices[0].position), 2 * s, 1e-4f);
    for (const CPVertex& v : out.vertices) EXPECT_NEAR(v.position.x, 0.0f, 1e-4f); // in the plane facing the eye
    const CPIndex expected[] = {8, 10, 9, 8, 11, 10};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(out.indices[i], expected[i]);
}

TEST_F(ParticlesManagerTest, ChainFiresEachLinkAtHalfLifeAtTheParentsPlacePlusItsOffset) {
    ASSERT_TRUE(StartWith(kFiles));
    CPParticleDesc first = Desc("plain", 1);
    first.velocity = Vec3(1, 0, 0);
    first.next = std::make_unique<CPParticleDesc>(Desc("plain", 1));
    first.next->position = Vec3(0, 0, 5);
    first.next->next = std::make_unique<CPParticleDesc>(Desc("keyed", 1));
    first.next->next->position = Vec3(0, 0, 7);
    manager->EmitParticle(first);
    CPParticleRenderObject* plain = manager->FindType("plain");
    CPParticleRenderObject* keyed = manager->FindType("keyed");
    Step(0.375f);
    EXPECT_EQ(plain->GetParticleCount(), 1);
    Step(0.375f); // age 0.375 is not past half life yet
    EXPECT_EQ(plain->GetParticleCount(), 1);
    Step(0.375f); // age 0.75: the second link starts at (1.125, 0, 5) and ages in the same walk
    ASSERT_EQ(plain->GetParticleCount(), 2);
    const CPParticle& second = plain->GetParticles().back();
    EXPECT_FLOAT_EQ(second.position.x, 1.125f);
    EXPECT_FLOAT_EQ(second.position.z, 5.0f);
    EXPECT_FLOAT_EQ(second.age, 0.375f);
    EXPECT_EQ(keyed->GetParticleCount(), 0);
    Step(0.375f);
    Step(0.375f); // the second passes half its life: the third starts at its place + (0, 0, 7)
    ASSERT_EQ(keyed->GetParticleCount(), 1);
    EXPECT_FLOAT_EQ(keyed->GetParticles().front().position.z, 12.0f);
    EXPECT_EQ(manager->GetActiveTypes().size(), 2u);
    manager->ClearAll();
    EXPECT_TRUE(manager->GetActiveTypes().empty());
    EXPECT_EQ(plain->GetParticleCount() + keyed->GetParticleCount(), 0);
}

TEST_F(ParticlesManagerTest, ParticlesDieAfterTheirLifeAndLiveTypesAreQueued) {
    ASSERT_TRUE(StartWith(kFiles));
    static std::vector<CPRenderable*> queued;
    queued.clear();
    manager->SetQueueSink([](CPRenderable* r) { queued.push_back(r); });
    manager->EmitParticle(Desc("plain", 0)); // life 0: drawn once, gone at the next update
    Step(0.1f);
    EXPECT_EQ(queued.size(), 1u);
    Step(0.1f);
    EXPECT_EQ(queued.size(), 1u);
    EXPECT_TRUE(manager->GetActiveTypes().empty());
    EXPECT_FALSE(manager->FindType("plain")->IsLive());
    manager->EmitParticle(Desc("unknown", 1));
    EXPECT_TRUE(manager->GetActiveTypes().empty());
}

TEST_F(ParticlesManagerTest, ATypeHoldsAtMostWhatSixteenBitIndicesReach) {
    ASSERT_TRUE(StartWith(kFiles));
    for (int i = 0; i < CPParticleRenderObject::kMaxParticles + 10; ++i) manager->EmitParticle(Desc("plain", 1));
    CPParticleRenderObject* type = manager->FindType("plain");
    EXPECT_EQ(type->GetParticleCount(), CPParticleRenderObject::kMaxParticles);
    EXPECT_LE(type->GetVertexCount(), 65536);
}

TEST_F(ParticlesManagerTest, StreaksStretchAlongTheMotionAndAZeroStreakCollapses) {
    ASSERT_TRUE(StartWith(kFiles));
    UseCamera(Vec3(0, -10, 0), Vec3(0, 0, 0));
    CPParticleDesc desc = Desc("plain", 10);
    desc.streak = true;
    desc.velocity = Vec3(2, 0, 0);
    manager->EmitParticle(desc);
    Step(0.5f); // at (1, 0, 0), previous position (0, 0, 0)
    Filled out = FillOf(*manager->FindType("plain"));
    // Tail = P + 3 s L d = (1 - 3 * 1 * 2, 0, 0); side along z, half edge 1.
    EXPECT_NEAR(out.vertices[0].position.x, 1.0f, 1e-5f);
    EXPECT_NEAR(std::fabs(out.vertices[0].position.z), 1.0f, 1e-5f);
    EXPECT_NEAR(out.vertices[2].position.x, -5.0f, 1e-5f);

    manager->ClearAll();
    CPParticleDesc still = Desc("plain", 10);
    still.streak = true;
    still.position = Vec3(3, 4, 5);
    manager->EmitParticle(still);
    out = FillOf(*manager->FindType("plain"));
    for (const CPVertex& v : out.vertices) {
        EXPECT_TRUE(std::isfinite(v.position.x) && std::isfinite(v.position.y) && std::isfinite(v.position.z));
        EXPECT_EQ(v.position, Vec3(3, 4, 5));
    }
}

TEST_F(ParticlesManagerTest, WithoutACameraTheFillDrawsNothing) {
    ASSERT_TRUE(StartWith(kFiles));
    manager->EmitParticle(Desc("plain", 1));
    Filled out = FillOf(*manager->FindType("plain"), 4);
    for (CPIndex i : out.indices) EXPECT_EQ(i, 4);
}

} // namespace

namespace {

std::string ReadDemo(const char* name) {
    std::ifstream in(std::filesystem::path(VASTREL_SOURCE_DIR) / "data" / "Data" / name);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST_F(ParticlesManagerTest, DemoDataHasEveryTypeTheGameEmitsAndFlamesThatResolve) {
    ASSERT_TRUE(StartWith(
        {ReadDemo("particles.dat"), ReadDemo("spots.dat"), ReadDemo("particlesystems.dat"), ReadDemo("flames.dat")}));
    for (const char* name : {"pil2", "gilze", "smoke3car", "iskra3blue", "wall", "firethrower", "scorch"})
        EXPECT_NE(manager->FindType(name), nullptr) << name;
    for (const char* name : {"fire_", "smoke_"}) {
        const CPEmitterDef* def = manager->FindEmitterDef(name);
        ASSERT_NE(def, nullptr) << name;
        EXPECT_NE(manager->FindType(def->typeName), nullptr) << name;
    }
    ASSERT_GE(manager->GetFlameCount(), 1u);
    for (size_t i = 0; i < manager->GetFlameCount(); ++i) {
        CPRefPtr<CPParticleSystem> flame = manager->CreateFlame(static_cast<int>(i));
        EXPECT_EQ(flame->GetDefinitions().size(), flame->GetNames().size()) << i;
        EXPECT_GT(flame->interval, 0.0f) << i;
    }
}

} // namespace
