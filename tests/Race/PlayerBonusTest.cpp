// The car against the level's bonuses and hazards. The kinds and the overlap rule are checked on
// plain objects; the pickups, hazards and the states they leave run on a loaded level whose bonus
// models are written here, with a physics body for the car, the scripts "main" and "game_interface"
// collecting what they are sent, a recorder standing in for shots and particles, and a silent sound
// device (with the bonus sounds, and again without any).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "Core/PGlobalTimer.h"
#include "Core/PRandom.h"
#include "Core/PScriptManager.h"
#include "Platform/Audio.h"
#include "Race/PCar.h"
#include "Race/PGameData.h"
#include "Race/PLevel.h"
#include "Race/PLevelFile.h"
#include "Race/PPhysicData.h"
#include "Race/PPhysics.h"
#include "Race/PPlayer.h"
#include "Race/PRaceEffects.h"
#include "RaceWorldFixture.h"
#include "Render/MeshFile.h"
#include "Render/PRender.h"
#include "Sound/NAudio.h"
#include "Sound/SoundTestSupport.h"

namespace {

// ---- kinds and overlaps on plain objects ----

CPRefPtr<CPGameObject> Object(const std::string& name, std::initializer_list<const char*> parts = {},
                              const Vec3& position = Vec3(), const Vec3& half = Vec3(0.5f, 0.5f, 0.5f)) {
    CPRefPtr<CPGameObject> object(new CPGameObject(name));
    object->SetBoundingBox(CPOrientedBox(Vec3(), half));
    for (const char* part : parts) {
        CPRefPtr<CPGameObject> child(new CPGameObject(part));
        child->SetBoundingBox(CPOrientedBox(Vec3(), Vec3(0.1f, 0.1f, 0.1f)));
        object->AddChild(child);
    }
    object->SetShadowBox(false);
    object->SetPosition(position);
    object->UpdateTransform();
    return object;
}

TEST(PlayerBonusKindTest, TheFirstKindThatActsOnTheCarsClassWins) {
    using K = CPPlayer::BonusKind;
    const struct {
        const char* name;
        std::initializer_list<const char*> parts;
        int classBits;
        K kind;
    } cases[] = {
        {"bonus_remont", {}, 9, K::BonusRepair},
        {"bonus_remont", {}, 4, K::BonusNone}, // traffic picks up nothing
        {"bonus_fast", {"glow3"}, 10, K::BonusAcceleration},
        {"x", {"glow2"}, 9, K::BonusSlowDown},
        {"x", {"glow6"}, 9, K::BonusAbilityMinus},
        {"x", {"glow4"}, 9, K::BonusAbilityPlus},
        {"x", {"glow2", "glow3"}, 9, K::BonusAcceleration}, // the table's order, not the parts'
        {"bonus_remont", {"glow4"}, 9, K::BonusRepair},
        {"x", {"glow3"}, 4, K::BonusNone},
        {"x", {"sphera"}, 10, K::BonusSphere},
        {"x", {"sphera"}, 4, K::BonusSphere},
        {"x", {"sphera"}, 9, K::BonusNone}, // Sunward cars pass a sphere
        {"x", {"portal_a"}, 9, K::BonusPortal},
        {"x", {"portal_a"}, 4, K::BonusNone},
        {"x", {"v_bii"}, 9, K::BonusWhirl},
        {"x", {"v_bii"}, 4, K::BonusWhirl},
        {"x", {"v_bii"}, 10, K::BonusNone},
        {"empty", {"v_bii"}, 1, K::BonusWhirl},
        {"light", {}, 10, K::BonusLight},
        {"light", {}, 4, K::BonusLight},
        {"light", {}, 9, K::BonusNone},
        {"light", {"v_bii"}, 10, K::BonusNone}, // a whirl part makes it no light
        {"halo", {}, 9, K::BonusHalo},
        {"halo", {}, 4, K::BonusHalo},
        {"halo", {}, 10, K::BonusNone},
        {"halo", {"v_bii"}, 9, K::BonusWhirl},
        {"x", {"portal_a", "sphera"}, 9, K::BonusPortal}, // a Sunward car skips the sphere
        {"crate", {}, 15, K::BonusNone},
    };
    for (const auto& c : cases) {
        CPRefPtr<CPPlayer> car(new CPPlayer);
        car->SetClassBits(c.classBits);
        EXPECT_EQ(car->BonusKindOf(*Object(c.name, c.parts)), c.kind) << c.name << " class " << c.classBits;
    }
}

TEST(PlayerBonusKindTest, TouchingComparesCentresWithTheSummedHalfExtentsOverTheFactor) {
    // The car's box: half-extents (1, 2, 0.5) at the origin; the object's (0.5, 0.5, 0.5) unless
    // given. Summed on x: 1.5, so 1.5 / 3.3 = 0.4545 for a plain bonus.
    const struct {
        const char* name;
        std::initializer_list<const char*> parts;
        Vec3 position;
        const char* carKey;
        bool touches;
    } cases[] = {
        {"bonus", {}, {0.45f, 0, 0}, "", true},
        {"bonus", {}, {0.46f, 0, 0}, "", false},
        {"bonus", {}, {-0.45f, 0, 0}, "", true},
        {"bonus", {}, {0, 0.75f, 0}, "", true}, // y: 2.5 / 3.3 = 0.7576
        {"bonus", {}, {0, 0.76f, 0}, "", false},
        {"bonus", {}, {0, 0, 0.30f}, "", true}, // z: 1 / 3.3 = 0.303
        {"bonus", {}, {0, 0, 0.31f}, "", false},
        {"bonus", {}, {0.4f, 0.7f, 0.31f}, "", false}, // every axis must hold
        {"fake", {}, {1.5f, 0, 0}, "", true},          // the full sum
        {"fake", {}, {1.51f, 0, 0}, "", false},
        {"light", {}, {0.75f, 0, 0}, "", true}, // half the sum
        {"light", {}, {0.76f, 0, 0}, "", false},
        // A halo's x and y are a third: (1/6 + 1) / 1 on x.
        {"halo", {}, {1.16f, 0, 0}, "", true},
        {"halo", {}, {1.17f, 0, 0}, "", false},
        {"halo", {}, {0, 0, 0.99f}, "", true}, // its z is whole
        // A sphere's box is 3.5 across x and y: (3.5 + 1) / 3.3 = 1.3636.
        {"x", {"sphera"}, {1.36f, 0, 0}, "", true},
        {"x", {"sphera"}, {1.37f, 0, 0}, "", false},
        {"x", {"sphera"}, {0, 0, 0.31f}, "", false}, // its z stays the object's
        // "empty" is tested with its whirl part's box (0.1) and 0.8: (0.1 + 1) / 0.8 = 1.375.
        {"empty", {"v_bii"}, {1.37f, 0, 0}, "", true},
        {"empty", {"v_bii"}, {1.38f, 0, 0}, "", false},
        // The scout is tested with the box of its collision boxes (half 3 on x): 3.5 / 3.3.
        {"bonus", {}, {1.06f, 0, 0}, "scout", true},
        {"bonus", {}, {1.07f, 0, 0}, "scout", false},
        {"bonus", {}, {0.46f, 0, 0}, "scout_", false},
    };
    for (const auto& c : cases) {
        CPRefPtr<CPPlayer> car(new CPPlayer);
        car->SetCarKey(c.carKey);
        car->SetShadowBox(false);
        car->SetBoundingBox(CPOrientedBox(Vec3(), Vec3(1, 2, 0.5f)));
        car->AddCollisionBox(CPOrientedBox(Vec3(), Vec3(3, 2, 0.5f)));
        car->UpdateTransform();
        // The "empty" object's own box is far bigger than its part's.
        const Vec3 half = std::string(c.name) == "empty" ? Vec3(5, 5, 5) : Vec3(0.5f, 0.5f, 0.5f);
        EXPECT_EQ(car->TouchesBonus(*Object(c.name, c.parts, c.position, half)), c.touches)
            << c.name << " at " << c.position.x << "," << c.position.y << "," << c.position.z << " " << c.carKey;
    }
}

// ---- on a loaded level ----

struct ParticleRecord {
    std::string type;
    Vec3 position, velocity, acceleration;
    float size, growth, life;
    bool fade;
};

class RecordingEffects : public CPRaceEffects {
public:
    void CreateShot(const std::string& name, const Vec3& position, const Vec3& direction) override {
        shots.push_back({name, position, direction});
    }
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

    size_t Count(const std::string& type) const {
        return static_cast<size_t>(
            std::count_if(particles.begin(), particles.end(), [&](const ParticleRecord& p) { return p.type == type; }));
    }
    struct Shot {
        std::string name;
        Vec3 position, direction;
    };
    std::vector<Shot> shots;
    std::vector<ParticleRecord> particles;
};

const char* const kBonusSounds[] = {"chik", "bonus_fast", "bonus_slow", "bonus_minus", "bonus_plus", "enter_gloom"};

// A mesh of one node (and named parts) whose box spans lo..hi.
std::vector<uint8_t> BonusMesh(const std::string& root, std::initializer_list<const char*> parts,
                               const Vec3& lo = Vec3(-0.5f, -0.5f, 0.0f), const Vec3& hi = Vec3(0.5f, 0.5f, 1.0f)) {
    auto node = [](const std::string& name, const Vec3& a, const Vec3& b) {
        MeshFile::Node n;
        n.name = name;
        for (const Vec3& p : {a, b, (a + b) * 0.5f}) {
            CPVertex v;
            v.position = p;
            n.indices.push_back(static_cast<CPIndex>(n.vertices.size()));
            n.vertices.push_back(v);
        }
        return n;
    };
    MeshFile::Node top = node(root, lo, hi);
    for (const char* part : parts) top.children.push_back(node(part, lo * 0.5f, hi * 0.5f));
    MeshFile::Mesh mesh;
    mesh.nodes = {top};
    return MeshFile::WriteMesh(mesh, MeshFile::MeshKind::P3d);
}

class PlayerBonusRaceTest : public RaceWorldFixture {
protected:
    // The bonuses stand along x, 20 m apart, in this order.
    static constexpr const char* kLayout[] = {"bonus_remont", "bonus_fast",  "bonus_slow",  "bonus_minus",
                                              "bonus_plus",   "bonus_plus2", "bonus_gloom", "bonus_whirl",
                                              "bonus_sphere", "bonus_light", "bonus_halo",  "bonus_crate"};
    static float BonusX(int index) { return 20.0f * static_cast<float>(index + 1); }

    void SetUp() override {
        RaceWorldFixture::SetUp();
        if (HasFatalFailure()) return;
        SetRaceEffects(&effects_);
        gameData_.abilityMaximum = 2;

        Put("Data/Scripts/list.dat", "main t_system main\ngame_interface t_interface interface\n");
        Put("Data/Scripts/main.lua", "while true do Update() end\n");
        Put("Data/Scripts/game_interface.lua", "while true do Update() end\n");
        ASSERT_TRUE(scripts_.LoadList());
        for (const char* name : {"main", "game_interface"}) ASSERT_TRUE(scripts_.GetScript(name)->Start());

        // The car and every bonus model; the road is a flat plane under them.
        Put("Data/Meshes/testcar.rdf", "mesh = testcar.p3d\n");
        MeshFile::Node car;
        car.name = "testcar";
        for (const Vec3& p : {Vec3(-1, -2, -0.5f), Vec3(1, 2, 0.5f), Vec3(0, 0, 0)}) {
            CPVertex v;
            v.position = p;
            car.indices.push_back(static_cast<CPIndex>(car.vertices.size()));
            car.vertices.push_back(v);
        }
        for (const char* part : {"lflarerear", "rflarerear"}) {
            MeshFile::Node light;
            light.name = part;
            light.vertices = car.vertices;
            light.indices = car.indices;
            car.children.push_back(light);
        }
        MeshFile::Mesh carMesh;
        carMesh.nodes = {car};
        Put("Data/Meshes/testcar.p3d", MeshFile::WriteMesh(carMesh, MeshFile::MeshKind::P3d));
        const struct {
            const char* file;
            const char* root;
            std::initializer_list<const char*> parts;
        } models[] = {
            {"bonus_remont", "bonus_remont", {}},
            {"bonus_fast", "bonus_fast", {"glow3"}},
            {"bonus_slow", "bonus_slow", {"glow2"}},
            {"bonus_minus", "bonus_minus", {"glow6"}},
            {"bonus_plus", "bonus_plus", {"glow4"}},
            {"bonus_gloom", "bonus_gloom", {"portal_a"}},
            {"bonus_whirl", "bonus_whirl", {"v_bii"}},
            {"bonus_sphere", "bonus_sphere", {"sphera"}},
            {"bonus_light", "light", {}},
            {"bonus_halo", "halo", {}},
            {"bonus_crate", "crate", {}},
        };
        for (const auto& m : models) {
            Put(std::string("Data/Meshes/") + m.file + ".rdf", std::string("mesh = ") + m.file + ".p3d\n");
            Put(std::string("Data/Meshes/") + m.file + ".p3d", BonusMesh(m.root, m.parts));
        }
        std::vector<LevelObjectRecord> layout;
        for (int i = 0; i < static_cast<int>(std::size(kLayout)); ++i)
            layout.push_back(LayoutRecord(kLayout[i], BonusX(i)));
        PutLayout("level1", layout);
    }

    void TearDown() override {
        if (level_) level_->StopLevel();
        level_.Reset();
        SetRaceEffects(nullptr);
        // The sounds go while their device is still there.
        audio_.reset();
        RaceWorldFixture::TearDown();
        FrameDelta = 0.0f;
        ShadowMatrix = shadowMatrixBefore_; // the level's load sets it for the whole program
    }

    // The sound device with the bonus sounds (3D, one tone file), or with none of them.
    void OpenSound(bool withBonusSounds) {
        std::filesystem::create_directories("Data/Sounds");
        ASSERT_TRUE(SoundTest::WriteTone("Data/Sounds/tone.wav", 440, 0.5));
        std::string table = "click;tone.wav\n";
        if (withBonusSounds)
            for (const char* name : kBonusSounds) table += std::string(name) + ";tone.wav;3d\n";
        Put("Data/Sounds/Sounds.dat", table);
        audio_ = std::make_unique<CNAudio>();
        audio_->SetDevice(&device_);
        ASSERT_EQ(audio_->Init(nullptr), S_OK);
    }

    // Loads level 1 with the car at the origin facing +X, gives it a body and starts the race.
    void LoadLevel(int classBits = 9) {
        gameData_.SetPlayerName("testcar");
        level_ = CPRefPtr<CPLevel>(new CPLevel);
        ASSERT_TRUE(level_->Load("level1"));
        ASSERT_EQ(level_->GetBonuses().size(), std::size(kLayout));
        car_ = level_->GetPlayerCar();
        ASSERT_NE(car_, nullptr);
        CPRefPtr<CPPhysicData> data(new CPPhysicData(car_));
        data->body = {0, 2.0f, 1.0f, 4.0f, 0.0f, 10.0f};
        CPPhysicData::Shape shape;
        shape.a = 2.0f, shape.b = 1.0f, shape.c = 4.0f;
        data->shapes.push_back(shape);
        car_->SetPhysicData(data);
        car_->SetShadowBox(false);
        car_->SetRotation({0, 0, 0.70710677f, 0.70710677f});
        MoveCar(Vec3(0, 0, 0));
        physics_->RestoreObject(car_);
        physics_->AddObject(car_, true, 1);
        physics_->AddCar(car_, true);
        ASSERT_NE(car_->GetCar(), nullptr);
        ASSERT_GT(car_->GetMass(), 0.0f);
        car_->SetClassBits(classBits);
        level_->SetRaceActive(true);
        EngineSrand(11);
    }

    void MoveCar(const Vec3& position) {
        car_->SetPosition(position);
        car_->UpdateTransform();
    }
    void AtBonus(int index) { MoveCar(Vec3(BonusX(index), 0, 0.5f)); }

    void Frame(float dt = 1.0f / 64.0f) {
        FrameDelta = dt;
        TotalTime += dt;
        ++FrameCounter;
        car_->Update();
    }

    // What the script was sent, oldest first, as "command param".
    std::vector<std::string> Sent(const char* script) const {
        const auto& queue = scripts_.GetScript(script)->GetQueue();
        std::vector<std::string> out;
        for (auto it = queue.rbegin(); it != queue.rend(); ++it)
            out.push_back(it->name + (it->params.empty() ? "" : " " + it->params[0]));
        return out;
    }
    size_t BonusesLeft() const { return level_->GetBonuses().size(); }
    Vec3 Velocity() const {
        const Physics::Vector4& v =
            dynamic_cast<CPPhysicData*>(car_->GetPhysicData().Get())->rigidBody->GetLinearVelocity();
        return {v.x, v.y, v.z};
    }
    Physics::RigidBody& Body() const { return *dynamic_cast<CPPhysicData*>(car_->GetPhysicData().Get())->rigidBody; }
    CPGameObject* Part(const char* name) const { return car_->FindChild(name).Get(); }

    CPScriptManager scripts_;
    CPGameData gameData_;
    Platform::NullAudioDevice device_;
    std::unique_ptr<CNAudio> audio_;
    RecordingEffects effects_;
    CPRefPtr<CPLevel> level_;
    CPPlayer* car_ = nullptr;
    const Mat4 shadowMatrixBefore_ = ShadowMatrix;
};

class PlayerBonusPickupTest : public PlayerBonusRaceTest, public ::testing::WithParamInterface<bool> {};

// Bonuses 0..6 in turn (repair, boost, slow-down, minus, plus twice, portal), with the sounds and
// without: the same commands, the same effects.
TEST_P(PlayerBonusPickupTest, PickupsSendTheirCommandsInOrderWithOrWithoutTheirSounds) {
    const bool sounds = GetParam();
    {
        OpenSound(sounds);
        LoadLevel();
        car_->damage = 15.0f;
        car_->abilityCount = 0;

        AtBonus(0);
        Frame();
        EXPECT_EQ(car_->damage, 0.0f); // 15 - 20, not below 0
        EXPECT_EQ(BonusesLeft(), std::size(kLayout) - 1);

        AtBonus(1);
        const float mass = car_->GetMass();
        const Vec3 before = Velocity();
        Frame();
        EXPECT_TRUE(car_->IsThrottleCut());
        // The same frame's later steps already ran: the auto-unlock clock counted the frame and the
        // nitro push took its first share (force x the nitro time left).
        const float dt = FrameDelta;
        EXPECT_TRUE(car_->autoUnlock);
        EXPECT_EQ(car_->autoUnlockTime, 2.0f + dt);
        EXPECT_EQ(car_->GetCar()->nitroForce, 5.0f);
        EXPECT_EQ(car_->GetCar()->nitroTime, 2.5f - dt);
        // Forward is +X: the pickup's push is 5 along it, flat, and the nitro's 5 x (2.5 - dt).
        EXPECT_NEAR(Velocity().x - before.x, (5.0f + 5.0f * (2.5f - dt)) / mass, 1e-4f);
        EXPECT_NEAR(Velocity().z - before.z, 0.0f, 1e-6f);

        AtBonus(2);
        Body().SetLinearVelocity({20, 0, 0, 0}); // fast enough to keep the brake lights
        car_->GetCar()->velocity = Vec3(20, 0, 0);
        Frame();
        EXPECT_TRUE(car_->brakeLights);
        EXPECT_TRUE(Part("lflarerear")->IsVisible());
        EXPECT_TRUE(Part("rflarerear")->IsVisible());

        AtBonus(3);
        Frame(); // nothing to take away: no redraw
        AtBonus(4);
        Frame();
        EXPECT_EQ(car_->abilityCount, 1);
        car_->abilityCount = 2; // at the maximum the next plus redraws nothing
        AtBonus(5);
        Frame();
        EXPECT_EQ(car_->abilityCount, 2);

        AtBonus(6);
        Frame();
        EXPECT_TRUE(car_->inGloom);
        EXPECT_TRUE(car_->gloomView);
        EXPECT_TRUE(car_->IsVisible());
        EXPECT_FALSE(level_->AreCarsShown());
        EXPECT_FLOAT_EQ(render_->GetMotionBlurAmount(), 0.3f);
        EXPECT_EQ(render_->GetByteSetting(), 150);
        EXPECT_EQ(BonusesLeft(), std::size(kLayout) - 7); // the portal went once

        EXPECT_EQ(
            Sent("game_interface"),
            (std::vector<std::string>{"show_message remont!", "show_message uskorenie!", "show_message zamedlenie!",
                                      "show_message sposobnost-1!", "redraw_abilities", "show_message sposobnost+1!",
                                      "show_message sposobnost+1!", "show_message uron_x2!"}));
        EXPECT_EQ(Sent("main"), (std::vector<std::string>{"update_bonus_list repair", "update_bonus_list axel",
                                                          "update_bonus_list brake", "update_bonus_list minus",
                                                          "update_bonus_list plus", "update_bonus_list plus",
                                                          "update_bonus_list gloom"}));
        const std::vector<std::string> shots = {"sparks4_remont", "sparks4", "sparks4red",   "sparks4red",
                                                "sparks4",        "sparks4", "sparks4_gloom"};
        ASSERT_EQ(effects_.shots.size(), shots.size());
        for (size_t i = 0; i < shots.size(); ++i) {
            EXPECT_EQ(effects_.shots[i].name, shots[i]);
            EXPECT_EQ(effects_.shots[i].position, Vec3(BonusX(static_cast<int>(i)), 0, 0));
            EXPECT_EQ(effects_.shots[i].direction, Vec3(0, 0, 1));
        }
        // Each sound from its bonus, from the start, heard from 1 (0 asked) to 200.
        for (size_t i = 0; i < std::size(kBonusSounds); ++i) {
            CPRefPtr<CNSound> sound = audio_->GetSound(kBonusSounds[i]);
            ASSERT_EQ(sound != nullptr, sounds) << kBonusSounds[i];
            if (!sound) continue;
            const auto* voice = device_.GetVoice(sound->GetVoice());
            ASSERT_NE(voice, nullptr);
            EXPECT_TRUE(voice->playing) << kBonusSounds[i];
            EXPECT_EQ(voice->minimum, 1.0f);
            EXPECT_EQ(voice->maximum, 200.0f);
            const int bonus = i < 4 ? static_cast<int>(i) : i == 4 ? 5 : 6; // plus: the second one
            EXPECT_EQ(voice->position[0], BonusX(bonus)) << kBonusSounds[i];
        }

        // Nothing more while the race is not active.
        level_->SetRaceActive(false);
        AtBonus(7);
        Frame();
        EXPECT_EQ(Body().GetAngularMomentum().z, 0.0f);
        EXPECT_EQ(BonusesLeft(), std::size(kLayout) - 7);
    }
}

INSTANTIATE_TEST_SUITE_P(Sounds, PlayerBonusPickupTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "WithBonusSounds" : "WithoutBonusSounds";
                         });

TEST_F(PlayerBonusRaceTest, TwoBonusesTouchedInOneFrameAreBothPickedUp) {
    OpenSound(true);
    LoadLevel();
    // A long car over the repair and the boost.
    car_->SetBoundingBox(CPOrientedBox(Vec3(), Vec3(2, 50, 1)));
    MoveCar(Vec3(30, 0, 0.5f));
    Frame();
    EXPECT_EQ(Sent("main"), (std::vector<std::string>{"update_bonus_list repair", "update_bonus_list axel"}));
    EXPECT_EQ(BonusesLeft(), std::size(kLayout) - 2);
    EXPECT_EQ(level_->GetBonuses()[0]->GetName(), "bonus_slow");
}

TEST_F(PlayerBonusRaceTest, GloomLastsFifteenSecondsWithSixtySparksAFrame) {
    OpenSound(false);
    LoadLevel();
    AtBonus(6);
    Frame();
    ASSERT_TRUE(car_->gloomView);
    effects_.particles.clear();
    const CPOrientedBox& box = car_->GetOwnBox();

    // 1/64 s frames: the 960th reaches 15 s exactly. The portal's frame counted nothing yet.
    for (int frame = 1; frame <= 960; ++frame) {
        if (frame == 2) {
            // The sparks of one frame: 60, drawn r1..r5 each, in the rear half (+y in the model).
            EngineSrand(5);
            std::vector<float> r;
            for (int i = 0; i < 5; ++i) r.push_back(static_cast<float>(EngineRand()) / 32767.0f);
            EngineSrand(5);
            effects_.particles.clear();
            Frame();
            ASSERT_EQ(effects_.Count("iskra3blue"), 60u);
            const Vec3* k = box.corners;
            const Vec3 p1 = k[6] + r[0] * (k[2] - k[6]);
            const Vec3 p2 = k[7] + r[1] * (k[3] - k[7]);
            const Vec3 expected = p1 + r[3] * (p2 - p1) + 0.5f * r[2] * (k[0] - k[3]);
            const ParticleRecord& first = effects_.particles[0];
            EXPECT_NEAR(first.position.x, expected.x, 1e-4f);
            EXPECT_NEAR(first.position.y, expected.y, 1e-4f);
            EXPECT_NEAR(first.position.z, expected.z, 1e-4f);
            EXPECT_FLOAT_EQ(first.life, 0.1f + 0.5f * r[4]);
            for (const ParticleRecord& p : effects_.particles) {
                EXPECT_EQ(p.velocity, Vec3());
                EXPECT_EQ(p.size, 0.2f);
                EXPECT_EQ(p.growth, 0.5f);
                EXPECT_TRUE(p.fade);
                // The car faces +X, so its rear half (model +y) lies behind: x at or below the centre.
                EXPECT_LE(p.position.x, car_->GetPosition().x + 1e-4f);
                EXPECT_GE(p.position.x, car_->GetPosition().x - 2.0f - 1e-4f);
            }
            continue;
        }
        Frame();
        if (frame < 960) {
            ASSERT_TRUE(car_->gloomView) << frame;
            ASSERT_EQ(render_->GetByteSetting(), 150) << frame;
            ASSERT_FLOAT_EQ(render_->GetMotionBlurAmount(), 0.3f) << frame;
        }
    }
    EXPECT_FALSE(car_->gloomView);
    EXPECT_FALSE(car_->inGloom);
    EXPECT_EQ(render_->GetMotionBlurAmount(), 0.0f);
    EXPECT_FALSE(render_->IsMotionBlurOn());
    EXPECT_EQ(render_->GetByteSetting(), 255);
    EXPECT_TRUE(level_->AreCarsShown());
    EXPECT_TRUE(car_->IsVisible());
    effects_.particles.clear();
    Frame();
    EXPECT_EQ(effects_.Count("iskra3blue"), 0u);
}

TEST_F(PlayerBonusRaceTest, GloomSparksFollowTheParticleSettingAndTheCamera) {
    OpenSound(false);
    LoadLevel();
    AtBonus(6);
    Frame();
    const struct {
        int psystems, cameraMode;
        size_t sparks;
    } cases[] = {{25, 0, 60}, {50, 0, 120}, {0, 0, 0}, {-3, 0, 0}, {1, 0, 2}, {30, 0, 72}, {25, 1, 0}, {25, 2, 0}};
    for (const auto& c : cases) {
        g_psystems = c.psystems;
        level_->SetCameraMode(c.cameraMode);
        effects_.particles.clear();
        Frame();
        EXPECT_EQ(effects_.Count("iskra3blue"), c.sparks) << c.psystems << " camera " << c.cameraMode;
    }
}

// The boost's sign is the player's throttle input as it stands after the pickup cut it to 0: a
// car reversing into the pickup is pushed forward like any other.
TEST_F(PlayerBonusRaceTest, TheBoostPushesAReversingCarForward) {
    OpenSound(true);
    LoadLevel();
    car_->SetControls(-1.0f, 0.0f);
    physics_->SetCarInput(car_, -1.0f, 0.0f);
    AtBonus(1);
    const float mass = car_->GetMass();
    const Vec3 before = Velocity();
    Frame();
    const float dt = FrameDelta;
    EXPECT_EQ(car_->GetThrottle(), 0.0f);
    EXPECT_EQ(car_->GetCar()->nitroForce, 5.0f);
    EXPECT_NEAR(Velocity().x - before.x, (5.0f + 5.0f * (2.5f - dt)) / mass, 1e-4f);
}

TEST_F(PlayerBonusRaceTest, ATrafficCarPicksUpNothingAndEveryHazardStrikesIt) {
    OpenSound(true);
    LoadLevel(4);
    for (int i = 0; i < 7; ++i) {
        AtBonus(i);
        Frame();
    }
    EXPECT_EQ(BonusesLeft(), std::size(kLayout));
    EXPECT_TRUE(Sent("main").empty());
    const float mass = car_->GetMass();

    // The whirl: lifted and spun every frame, guarded from respawning.
    AtBonus(7);
    Frame();
    EXPECT_FLOAT_EQ(Body().GetAngularMomentum().z, 30.0f * mass);
    EXPECT_NEAR(Velocity().z, 1.5f, 1e-4f);
    EXPECT_EQ(car_->respawnGuard, 4.0f);
    Frame();
    EXPECT_NEAR(Velocity().z, 3.0f, 1e-4f);

    // The light: the lock flag, the car's inputs cleared and held, unlocked 4 s later.
    AtBonus(9);
    car_->SetControls(1.0f, 7.0f);
    physics_->SetCarInput(car_, 1.0f, 7.0f);
    Frame();
    EXPECT_TRUE(car_->IsLocked());
    EXPECT_TRUE(car_->GetCar()->held);
    EXPECT_EQ(car_->GetCar()->throttle, 0.0f);
    EXPECT_EQ(car_->GetCar()->lift, 7.0f);
    EXPECT_TRUE(car_->autoUnlock);
    EXPECT_EQ(car_->autoUnlockTime, FrameDelta); // set to 0, then this frame's auto-unlock step
    EXPECT_EQ(BonusesLeft(), std::size(kLayout));
}

TEST_F(PlayerBonusRaceTest, SpherePushesComeInSeriesOfTenAtMost) {
    OpenSound(true);
    LoadLevel(10);
    const float mass = car_->GetMass();
    // Beside the sphere, moving: s = min(300, speed x 2.4 x m x 0.1).
    MoveCar(Vec3(BonusX(8) - 1.0f, 1.0f, 0.5f));
    car_->GetCar()->speed = 10.0f;
    const float s = std::min(300.0f, 10.0f * 2.4f * mass * 0.1f);
    Body().SetLinearVelocity({0, 0, 0, 0});
    Frame();
    EXPECT_EQ(car_->spherePushCount, 1);
    EXPECT_EQ(car_->spherePushDirection, Vec3(-1.0f, 1.0f, 0.5f)); // (dx, dy, the car's own z)
    EXPECT_NEAR(Velocity().x, -s / mass, 1e-4f);
    EXPECT_NEAR(Velocity().y, s / mass, 1e-4f);
    EXPECT_NEAR(Velocity().z, 2.0f, 1e-4f);
    EXPECT_EQ(car_->respawnGuard, 4.0f);
    for (int i = 0; i < 20; ++i) Frame(0.01f); // 0.2 s more: nine more pushes, then none
    EXPECT_EQ(car_->spherePushCount, 10);
    const double tenth = car_->lastSpherePushTime;
    Body().SetLinearVelocity({0, 0, 0, 0});
    Frame(0.5f);
    EXPECT_EQ(car_->spherePushCount, 10);
    EXPECT_EQ(Velocity().z, 0.0f);
    // One second after the tenth the series starts again, its direction taken afresh.
    TotalTime = tenth + 0.98;
    MoveCar(Vec3(BonusX(8) + 1.0f, 0.0f, 0.5f));
    Frame(0.01f);
    EXPECT_EQ(car_->spherePushCount, 10);
    Frame(0.02f);
    EXPECT_EQ(car_->spherePushCount, 1);
    EXPECT_EQ(car_->spherePushDirection, Vec3(1.0f, 0.0f, 0.5f));
}

TEST_F(PlayerBonusRaceTest, AHaloRepelsAtMostEveryFifthOfASecondAndNeverHarderThan400) {
    OpenSound(true);
    LoadLevel(9);
    const float mass = car_->GetMass();
    // Inside the halo's narrowed box, 0.2 m behind and 0.5 m under its centre: a push of
    // (-20, 0, -50), not clamped.
    const Vec3 centre = level_->GetBonuses()[10]->GetVisibilityBounds().centre;
    ASSERT_EQ(centre.z, 0.5f);
    MoveCar(Vec3(centre.x - 0.2f, 0.0f, 0.0f));
    Body().SetLinearVelocity({0, 0, 0, 0});
    TotalTime = 100.0;
    Frame(0.05f);
    EXPECT_NEAR(Velocity().x, -20.0f / mass, 1e-4f);
    EXPECT_NEAR(Velocity().z, -50.0f / mass, 1e-4f);
    ASSERT_EQ(effects_.Count("wall"), 1u);
    const ParticleRecord& wall = effects_.particles.back();
    // The halo is ahead (+x): the wall one unit towards it, moving across the car's path.
    EXPECT_NEAR(wall.position.x, centre.x - 0.2f + 1.0f, 1e-4f);
    EXPECT_NEAR(wall.velocity.x, 0.0f, 1e-4f);
    EXPECT_NEAR(wall.velocity.y, 1.0f, 1e-4f);
    EXPECT_EQ(wall.size, 4.0f);
    EXPECT_GE(wall.growth, 0.4f);
    EXPECT_LE(wall.growth, 2.2f);
    EXPECT_EQ(wall.life, 0.5f);
    EXPECT_FALSE(wall.fade);
    EXPECT_EQ(car_->respawnGuard, 4.0f);
    for (int i = 0; i < 3; ++i) Frame(0.05f); // 0.15 s: too soon
    EXPECT_EQ(effects_.Count("wall"), 1u);
    Frame(0.05f);
    EXPECT_EQ(effects_.Count("wall"), 2u);
    // Far off the centre (the box is tall): clamped to 400.
    car_->SetBoundingBox(CPOrientedBox(Vec3(), Vec3(1, 2, 30)));
    MoveCar(Vec3(centre.x, 0.0f, centre.z + 20.0f));
    Body().SetLinearVelocity({0, 0, 0, 0});
    Frame(0.2f);
    EXPECT_EQ(effects_.Count("wall"), 3u);
    EXPECT_NEAR(Velocity().z, 400.0f / mass, 1e-3f);
}

TEST_F(PlayerBonusRaceTest, BrakeLightsEndAfterFourSecondsOrBelowSpeedTen) {
    OpenSound(true);
    LoadLevel();
    // Dark from the start.
    EXPECT_FALSE(Part("lflarerear")->IsVisible());
    EXPECT_FALSE(Part("rflarerear")->IsVisible());
    car_->GetCar()->velocity = Vec3(20, 0, 0);
    AtBonus(2);
    Frame();
    ASSERT_TRUE(car_->brakeLights);
    EXPECT_TRUE(Part("lflarerear")->IsVisible());
    EXPECT_TRUE(Part("rflarerear")->IsVisible());
    const struct {
        float speed;
        int frames; // of 1/64 s
        bool on;
    } cases[] = {
        {20.0f, 255, true}, // 3.98 s
        {20.0f, 256, false},
        {9.9f, 1, false},
        {10.0f, 1, true},
    };
    for (const auto& c : cases) {
        car_->brakeLights = true;
        car_->brakeLightTime = 0.0f;
        car_->GetCar()->velocity = Vec3(0, c.speed, 0);
        for (int i = 0; i < c.frames; ++i) Frame();
        EXPECT_EQ(car_->brakeLights, c.on) << c.speed << " " << c.frames;
        EXPECT_EQ(Part("lflarerear")->IsVisible(), c.on);
        EXPECT_EQ(Part("rflarerear")->IsVisible(), c.on);
    }
    // A left light put out elsewhere stays out and takes the right one with it.
    car_->brakeLights = true;
    car_->brakeLightTime = 0.0f;
    car_->GetCar()->velocity = Vec3(20, 0, 0);
    Frame();
    ASSERT_TRUE(Part("rflarerear")->IsVisible());
    Part("lflarerear")->SetVisible(false);
    Frame();
    EXPECT_FALSE(Part("lflarerear")->IsVisible());
    EXPECT_FALSE(Part("rflarerear")->IsVisible());
    EXPECT_TRUE(car_->brakeLights);
    // A reset puts the state and the lights out.
    car_->Reset();
    EXPECT_FALSE(car_->brakeLights);
    EXPECT_FALSE(Part("lflarerear")->IsVisible());
    EXPECT_FALSE(Part("rflarerear")->IsVisible());
}

} // namespace
