// The player functions as a script sees them: what each answers without a level and for cars that
// are not cars, then on a level whose player car is a stand-in box with a body (and a car list the
// test fills), the pushes, damage, abilities, the shock wave, the moving-forward test and the tuner.
#include <gtest/gtest.h>

#include <lua.hpp>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "Core/PGameObject.h"
#include "Core/PGlobalTimer.h"
#include "Core/PScriptObject.h"
#include "Core/PScriptRegistry.h"
#include "Core/PSettings.h"
#include "Interface/PInterface.h"
#include "Platform/NullDevice.h"
#include "Race/PCamera.h"
#include "Race/PCar.h"
#include "Race/PGameData.h"
#include "Race/PLevel.h"
#include "Race/PLevelFile.h"
#include "Race/PPhysicData.h"
#include "Race/PPhysics.h"
#include "Race/PPlayer.h"
#include "RaceCommandLog.h"
#include "Render/MeshFile.h"
#include "Render/PAnimationManager.h"
#include "Render/PMaterialManager.h"
#include "Render/PMeshManager.h"
#include "Render/PRender.h"
#include "ScriptFunctionsSetup.h"
#include "ScriptHarness.h"

namespace {

// Every description the level asks for falls back to "wrong.rdf": here a box car with a body.
class PhysicsParts : public CPMeshPartMaker {
public:
    CPPhysicShapes* MakePhysicData(CPGameObject& object) override {
        CPRefPtr<CPPhysicData> data(new CPPhysicData(&object));
        object.SetPhysicData(data);
        return data.Get();
    }
    CPRefPtr<CPManagedObject> MakeParticleSystem(CPGameObject*, const std::vector<std::string>&, float) override {
        return {};
    }
};

void Put(const std::string& path, const std::string& bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
    InvalidatePathCache();
}

void PutBoxCar() {
    MeshFile::Node box;
    box.name = "wrong";
    for (auto [x, y, z] : {std::tuple{-0.8f, -1.8f, -0.5f}, std::tuple{0.8f, -1.8f, -0.5f},
                           std::tuple{0.8f, 1.8f, 0.5f}, std::tuple{-0.8f, 1.8f, 0.5f}}) {
        CPVertex v;
        v.position = Vec3(x, y, z);
        box.vertices.push_back(v);
    }
    box.indices = {0, 1, 2, 0, 2, 3};
    box.body.a = 1.6f, box.body.b = 1.0f, box.body.c = 3.6f, box.body.mass = 8.0f;
    MeshFile::Shape shape;
    shape.a = 1.6f, shape.b = 1.0f, shape.c = 3.6f, shape.position = Vec3(0, 0, -0.5f), shape.mass = 8.0f;
    box.shapes = {shape};
    MeshFile::Mesh mesh;
    mesh.nodes = {box};
    const std::vector<uint8_t> bytes = MeshFile::WriteMesh(mesh, MeshFile::MeshKind::P3d);
    Put("Data/Meshes/wrong.p3d", std::string(bytes.begin(), bytes.end()));
    Put("Data/Meshes/wrong.rdf", "mesh = wrong.p3d\n[wrong]\neffectfile = simple.fx\n");
}

class PlayerFunctionsTest : public ::testing::Test {
protected:
    void SetUp() override {
        (void)kScriptFunctionsRegistered;
        CPSettingsManager::ResetDefaults();
        render_ = CPRefPtr<CPRender>(new CPRender());
        render_->SetBackend(std::make_unique<Platform::NullBackend>());
        ASSERT_TRUE(render_->Start());
        meshes_.SetPartMaker(&parts_);
        physics_ = CPRefPtr<CPPhysics>(new CPPhysics);
        PutBoxCar();
        LevelFile layout;
        LevelObjectRecord start;
        start.name = "player";
        start.position = {0, 0, 1};
        start.rotation = {0, 0, 0.70710677f, 0.70710677f};
        layout.objects = {start};
        const std::vector<uint8_t> bytes = WriteLevelBytes(layout);
        Put("Data/Levels/level1.lvl", std::string(bytes.begin(), bytes.end()));
        L = luaL_newstate();
        luaL_openlibs(L);
        RegisterScriptFunctions(L);
    }
    void TearDown() override {
        lua_close(L);
        if (level_) level_->StopLevel();
        level_.Reset();
        physics_->DestroyWorld();
        physics_.Reset();
        render_->Stop();
        render_.Reset();
        CPManagedObject::CollectGarbage();
        CPSettingsManager::ResetDefaults();
        FrameDelta = 0.0f;
        ShadowMatrix = shadowMatrixBefore_; // the level's load sets it for the whole program
    }

    // The level with its player car "coupe_t" of class 9, as a script gets it.
    CPPlayer& LoadLevel() {
        level_ = CPRefPtr<CPLevel>(new CPLevel);
        data_.SetPlayerName("coupe_t");
        EXPECT_TRUE(level_->Load("level1"));
        CPPlayer* car = level_->GetPlayerCar();
        EXPECT_NE(car, nullptr);
        EXPECT_GT(car->GetMass(), 0.0f);
        SetGlobalObject("car", car);
        return *car;
    }
    Vec3 Velocity(const CPPlayer& car) const { return car.GetLinearVelocity(); }
    void SetVelocity(CPPlayer& car, const Vec3& v) {
        dynamic_cast<CPPhysicData*>(car.GetPhysicData().Get())->rigidBody->SetLinearVelocity({v.x, v.y, v.z, 0});
    }

    // Runs the chunk; its results joined by "|", or "error: " and the message.
    std::string Run(const std::string& code) {
        const int base = lua_gettop(L);
        if (luaL_loadstring(L, code.c_str()) != 0 || lua_pcall(L, 0, LUA_MULTRET, 0) != 0) {
            std::string message = std::string("error: ") + (lua_tostring(L, -1) ? lua_tostring(L, -1) : "?");
            lua_settop(L, base);
            return message;
        }
        std::string out;
        for (int i = base + 1; i <= lua_gettop(L); ++i) {
            lua_getglobal(L, "tostring");
            lua_pushvalue(L, i);
            lua_call(L, 1, 1);
            if (i > base + 1) out += "|";
            out += lua_tostring(L, -1);
            lua_pop(L, 1);
        }
        lua_settop(L, base);
        return out;
    }
    void SetGlobalObject(const char* name, const CPManagedObject* object) {
        PushObject(L, object);
        lua_setglobal(L, name);
    }

    Mat4 shadowMatrixBefore_ = ShadowMatrix;
    ScriptHarness::GameRoot root_{""};
    RaceCommandLog log_;
    CPAnimationManager animations_;
    CPMaterialManager materials_;
    CPMeshManager meshes_;
    PhysicsParts parts_;
    CPGameData data_;
    CPRefPtr<CPRender> render_;
    CPRefPtr<CPPhysics> physics_;
    CPRefPtr<CPLevel> level_;
    lua_State* L = nullptr;
};

// Every function by name with the number of results it gives, for a car argument that is no car.
struct Call {
    const char* code;
    const char* expected;
};
const Call kEveryName[] = {
    {"return select('#', SetBrake(car, true))", "0"},
    {"return select('#', Spawn(car))", "0"},
    {"return select('#', PlayerNitro(5))", "0"},
    {"return select('#', PlayerNitro(5, 1))", "0"},
    {"return select('#', PlayerNitroAI(car, 5, 1))", "0"},
    {"return select('#', ThrowPlayer(car))", "0"},
    {"return select('#', CheckIntersection(0, 0, 0, 100))", "0"},
    {"return select('#', GetPlayerDirectionAI(car))", "0"},
    {"return select('#', IsPlayerMoveForward())", "0"},
    {"return select('#', SetEngineMoment(3))", "0"},
    {"return select('#', GetNitro())", "0"},
    {"return select('#', EngineState(car, true))", "0"},
    {"return select('#', GetPlayerDamage())", "0"},
    {"return select('#', GetAIDamage('hauler'))", "0"},
    {"return select('#', IsPlayerDead())", "0"},
    {"return select('#', IsPlayerDead('hauler'))", "0"},
    {"return select('#', IsDead()), IsDead()", "1|true"},
    {"return select('#', IsDamageMsg()), IsDamageMsg()", "1|false"},
    {"return select('#', DamagePlayer(car, 5)), DamagePlayer(car, 5)", "1|true"},
    {"return select('#', KillPlayer(car))", "0"},
    {"return select('#', IsInGloom(car)), IsInGloom(car)", "1|false"},
    {"return select('#', SetTimeBonus(car))", "0"},
    {"return select('#', ActivateAbilities())", "0"},
    {"return select('#', ActivateAbilitiesAI(car))", "0"},
    {"return select('#', SetAbilitiesCount(3))", "0"},
    {"return select('#', SetAbilitiesCountAI(car, 3))", "0"},
    {"return select('#', SetMaxAbilityCount(4.9)), ActivateAbilitiesAI(car)", "0"},
    {"return select('#', SetPlayerMana(7.8)), GetPlayerMana()", "0|7"},
    {"return select('#', GetPlayerMana())", "1"},
    {"return select('#', Pup()), select('#', Pdown()), select('#', Pleft()), select('#', Pright())", "0|0|0|0"},
};

TEST_F(PlayerFunctionsTest, WithoutALevelEveryNameAnswersItsDefaultOrNothing) {
    for (const char* car : {"nil", "render"}) { // nil, and a live engine object that is no car
        SetGlobalObject("render", render_.Get());
        Run(std::string("car = ") + car);
        for (const Call& c : kEveryName) EXPECT_EQ(Run(c.code), c.expected) << car << ": " << c.code;
    }
    EXPECT_EQ(data_.abilityMaximum, 4);
    EXPECT_EQ(data_.mana, 7);
    EXPECT_EQ(render_->GetTuningIndex(), 1); // Pup held at 0, Pdown to 1, Pup back to 0, Pdown to 1
}

TEST_F(PlayerFunctionsTest, TheCarsCountsDamageAndDeathAsTheScriptsAskForThem) {
    CPPlayer& car = LoadLevel();
    log_.Clear();
    const Call cases[] = {
        {"SetMaxAbilityCount(5) SetAbilitiesCount(3.7) return ActivateAbilities()", "3|5"},
        {"SetAbilitiesCountAI(car, -2.5) return ActivateAbilitiesAI(car)", "-2"},
        {"return GetPlayerDamage(), IsPlayerDead(), IsDead(), IsDamageMsg()", "0|false|false|false"},
        {"return IsPlayerDead('coupe_t'), IsPlayerDead('sedan_z')", "false|false"},
        {"return GetAIDamage('coupe_t')", "0"}, // the player car is not searched
        {"return DamagePlayer(car, 99990), DamagePlayer(car, 0/0)", "true|true"},
        {"return DamagePlayer(car, 20), DamagePlayer(car, 1)", "false|false"},
        {"return IsInGloom(car)", "false"},
    };
    for (const Call& c : cases) EXPECT_EQ(Run(c.code), c.expected) << c.code;
    EXPECT_EQ(car.health, 0.0f);
    EXPECT_EQ(log_.Take("main"), (std::vector<std::string>{"say_critical", "player_dead"}));
    EXPECT_EQ(log_.Take("gamemenu").size(), 3u); // the non-finite hit changes nothing

    car.damage = 100.0f;
    car.inGloom = true;
    EXPECT_EQ(Run("return GetPlayerDamage(), IsPlayerDead(), IsPlayerDead('coupe_t'), IsDead(), IsInGloom(car)"),
              "100|true|true|false|true");
    car.wrecked = true;
    car.defeatReported = true;
    EXPECT_EQ(Run("return IsDead(), IsDamageMsg()"), "true|true");

    // The car list, filled here (the game never fills it): found by the script key's car key.
    const struct {
        const char* key;
        float damage;
    } listed[] = {{"hauler_", 40}, {"scout", 100}, {"hauler_", 70}};
    for (const auto& l : listed) {
        CPRefPtr<CPPlayer> other(new CPPlayer);
        other->SetCarKey(l.key);
        other->damage = l.damage;
        level_->GetCars().push_back(other);
    }
    const Call keyed[] = {
        {"return GetAIDamage('hauler'), GetAIDamage('hauler_')", "40|40"}, // first match; raw car key
        {"return GetAIDamage('scout_4x4'), GetAIDamage('sedan_z'), GetAIDamage()", "100|0|0"},
        {"return IsPlayerDead('scout_4x4'), IsPlayerDead('hauler'), IsPlayerDead('crossover_t')", "true|false|false"},
    };
    for (const Call& c : keyed) EXPECT_EQ(Run(c.code), c.expected) << c.code;
}

TEST_F(PlayerFunctionsTest, PushesActOnTheRightCarsWithTheRightStrength) {
    CPPlayer& car = LoadLevel();
    const float mass = car.GetMass();
    car.SetClassBits(1);
    // Thrown up from one unit behind; the hauler half as hard from two units behind.
    ASSERT_EQ(Run("ThrowPlayer(car)"), "");
    EXPECT_NEAR(Velocity(car).z, 62.5f, 1e-3f);
    SetVelocity(car, Vec3());
    car.SetCarKey("hauler_");
    Run("ThrowPlayer(car)");
    EXPECT_NEAR(Velocity(car).z, 31.25f, 1e-3f);
    SetVelocity(car, Vec3());
    car.SetClassBits(2);
    Run("ThrowPlayer(car)");
    EXPECT_EQ(Velocity(car), Vec3());

    // The shock wave: Moonward cars within the radius on the ground plane, against their motion.
    const Vec3 p = car.GetPosition();
    const struct {
        int bits;
        float dx, dy, radius;
        bool pushed;
    } waves[] = {
        {2, 3, 4, 5.0f, true},   // exactly at the radius
        {2, 3, 4, 4.99f, false}, // just outside
        {2, 0, 0, 0.0f, true},   // at the centre
        {1, 0, 0, 10.0f, false}, // Sunward cars are spared
        {2, 0, 0, NAN, false},   // a radius that is no number changes nothing
        {2, 0, 0, INFINITY, false},
    };
    for (const auto& w : waves) {
        car.SetClassBits(w.bits);
        SetVelocity(car, Vec3(6, 8, 0));
        lua_pushnumber(L, p.x + w.dx);
        lua_setglobal(L, "x");
        lua_pushnumber(L, p.y + w.dy);
        lua_setglobal(L, "y");
        lua_pushnumber(L, w.radius);
        lua_setglobal(L, "r");
        Run("CheckIntersection(x, y, 12345, r)");
        const Vec3 expected = w.pushed ? Vec3(6 - 72 * 0.6f / mass, 8 - 72 * 0.8f / mass, 0) : Vec3(6, 8, 0);
        EXPECT_NEAR(Velocity(car).x, expected.x, 1e-3f) << w.dx << " " << w.radius;
        EXPECT_NEAR(Velocity(car).y, expected.y, 1e-3f) << w.dx << " " << w.radius;
    }
    // At rest the wave pushes nothing; listed cars without bodies are passed over.
    level_->GetCars().resize(7);
    for (int i = 0; i < 7; ++i) {
        level_->GetCars()[i] = CPRefPtr<CPPlayer>(new CPPlayer);
        level_->GetCars()[i]->SetClassBits(2);
    }
    SetVelocity(car, Vec3());
    Run("CheckIntersection(0, 0, 0, 1e6)");
    EXPECT_EQ(Velocity(car), Vec3());

    // Nitro: one number pushes along the motion; a duration adds the forward push and the cut.
    SetVelocity(car, Vec3());
    car.GetCar()->velocity = Vec3(0, 0, 2);
    Run("PlayerNitroAI(car, 16)");
    EXPECT_NEAR(Velocity(car).z, 16 / mass, 1e-4f);
    EXPECT_FALSE(car.IsThrottleCut());
    SetVelocity(car, Vec3());
    Run("PlayerNitro(16, 0/0) PlayerNitro(1/0)");
    EXPECT_EQ(Velocity(car), Vec3());
    EXPECT_FALSE(car.IsThrottleCut());
    Run("PlayerNitro(16, 2)");
    EXPECT_NEAR(Velocity(car).x, 16 / mass, 1e-4f); // the car faces +X
    EXPECT_TRUE(car.IsThrottleCut());
    EXPECT_EQ(car.GetCar()->nitroTime, 2.0f);
    EXPECT_EQ(car.GetCar()->nitroForce, 16.0f);
}

TEST_F(PlayerFunctionsTest, MovingForwardIsWithinARightAngleOfTheViewAndAtRestCounts) {
    CPPlayer& car = LoadLevel();
    CPPerspectiveCamera* view = level_->GetCamera()->GetMainCamera();
    view->eye = Vec3(0, 0, 0);
    view->lookAt = Vec3(1, 0, 0);
    const struct {
        Vec3 velocity;
        const char* expected;
    } cases[] = {
        {{0, 0, 0}, "true"}, // at rest
        {{5, 0, 0}, "true"}, // along the view
        {{0, 5, 0}, "true"}, // square to it
        {{-0.01f, 5, 0}, "false"}, {{-5, 0, 0}, "false"}, {{1e-30f, 0, 0}, "true"},
    };
    for (const auto& c : cases) {
        SetVelocity(car, c.velocity);
        EXPECT_EQ(Run("return IsPlayerMoveForward()"), c.expected) << c.velocity.x << "," << c.velocity.y;
    }
    view->lookAt = view->eye; // a camera without a direction
    SetVelocity(car, Vec3(-5, 0, 0));
    EXPECT_EQ(Run("return IsPlayerMoveForward()"), "true");
}

TEST_F(PlayerFunctionsTest, SpawnBrakeGuardEngineAndNitroReachThePlayerCarsModel) {
    CPPlayer& car = LoadLevel();
    CPCar* model = car.GetCar();
    ASSERT_NE(model, nullptr);
    level_->GetCamera()->SetZAngle(2.0f);
    car.SetRespawnGuard(0.0f);
    Run("Spawn(car) SetTimeBonus(car)");
    EXPECT_EQ(car.GetPosition(), Vec3(0, 5, -20));
    EXPECT_EQ(level_->GetCamera()->zAngle, 0.0f);
    EXPECT_EQ(car.respawnGuard, 4.0f);
    EXPECT_EQ(Run("local x, y, z = GetPlayerDirectionAI(car) "
                  "return select('#', GetPlayerDirectionAI(car)), math.abs(x - 1) < 1e-5, math.abs(y) < 1e-5, z"),
              "3|true|true|0");

    model->nitroAmount = 3.0f;
    Run("SetBrake(car, true) SetEngineMoment(250)");
    EXPECT_EQ(model->boost, 1.0f);
    EXPECT_EQ(model->engineMoment, 250.0f);
    EXPECT_EQ(Run("return GetNitro()"), "3");
    model->boost = 0.0f;
    car.Lock(true);
    Run("SetBrake(car, true)");
    EXPECT_EQ(model->boost, 0.0f); // ignored while locked
    level_->StopLevel();
    Run("SetEngineMoment(1)");
    EXPECT_EQ(model->engineMoment, 250.0f); // the race is over
}

TEST_F(PlayerFunctionsTest, AKilledCarLeavesTheWorldAndEveryFunctionStillAnswers) {
    CPPlayer& car = LoadLevel();
    ASSERT_NE(car.GetCar()->GetController(), nullptr);
    Run("KillPlayer(car)");
    EXPECT_FALSE(car.IsVisible());
    EXPECT_FALSE(car.IsCollision());
    EXPECT_EQ(car.GetMass(), 0.0f);
    EXPECT_EQ(car.GetCar()->GetController(), nullptr);
    EXPECT_EQ(car.GetCar()->GetWheel(0).sensors[0], nullptr);
    for (const Call& c : kEveryName) EXPECT_NE(Run(c.code).rfind("error", 0), 0u) << c.code;
    // The physics world steps on without the body.
    FrameDelta = 1.0f / 60.0f;
    for (int i = 0; i < 5; ++i) physics_->Update();
    Run("KillPlayer(car)");
}

// A script's turn reaches the car's body, and the physics write-back keeps it: the car falls
// with the heading the script gave it.
TEST_F(PlayerFunctionsTest, SetRotationTurnsTheCarsBodyAndTheTurnHolds) {
    CPPlayer& car = LoadLevel();
    const Physics::RigidBody* body = dynamic_cast<CPPhysicData*>(car.GetPhysicData().Get())->rigidBody;
    ASSERT_NE(body, nullptr);
    const struct {
        const char* call;
        Quat expected;
    } cases[] = {
        {"SetRotation(car, 0, 0, 0)", {0, 0, 0, 1}},
        {"SetRotation(car, 0, 0, math.pi)", {0, 0, 1, 0}},
        {"SetRotation(car, 0, 0, -math.pi / 2)", {0, 0, -0.70710677f, 0.70710677f}},
    };
    FrameDelta = 1.0f / 60.0f;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.call);
        ASSERT_EQ(Run(c.call), "");
        const Physics::Vector4 q = body->GetOrientation();
        EXPECT_NEAR(q.z, c.expected.z, 1e-5f);
        EXPECT_NEAR(q.w, c.expected.w, 1e-5f);
        for (int i = 0; i < 10; ++i) physics_->Update();
        const Quat held = car.GetRotation();
        // q and -q are one turn.
        EXPECT_NEAR(
            std::fabs(held.x * c.expected.x + held.y * c.expected.y + held.z * c.expected.z + held.w * c.expected.w),
            1.0f, 1e-4f);
    }
}

TEST_F(PlayerFunctionsTest, TheTunerStepsThroughNineteenValuesWithinItsRange) {
    CPPlayer& car = LoadLevel();
    CPCar& model = *car.GetCar();
    const struct {
        float CPCar::*value;
        float step;
    } table[] = {
        {&CPCar::rayX, 0.01f},        {&CPCar::rayHeight, 0.01f},  {&CPCar::rayLength, 0.01f},
        {&CPCar::wheelRadius, 0.01f}, {&CPCar::frontLimit, 0.01f}, {&CPCar::rearLimit, 0.01f},
        {&CPCar::springFront, 1},     {&CPCar::springRear, 1},     {&CPCar::damping, 10},
        {&CPCar::maxFrontSpeed, 1},   {&CPCar::maxRearSpeed, 1},   {&CPCar::frictionFront, 1},
        {&CPCar::frictionBack, 1},    {&CPCar::slide, 0.05f},      {&CPCar::forwardFactor, 1},
        {&CPCar::reverseFactor, 1},   {&CPCar::brake, 0.1f},       {&CPCar::yawFactor, 0.05f},
        {&CPCar::pitchFactor, 0.05f},
    };
    Run("Pup()");
    EXPECT_EQ(render_->GetTuningIndex(), 0);
    for (int index = 0; index < 19; ++index) {
        ASSERT_EQ(render_->GetTuningIndex(), index);
        const float before = model.*table[index].value;
        Run("Pright() Pright()");
        EXPECT_FLOAT_EQ(model.*table[index].value, before + 2 * table[index].step) << index;
        Run("Pleft()");
        EXPECT_FLOAT_EQ(model.*table[index].value, before + table[index].step) << index;
        Run("Pdown()");
    }
    EXPECT_EQ(render_->GetTuningIndex(), 18);
    Run("Pup()");
    EXPECT_EQ(render_->GetTuningIndex(), 17);
}

TEST_F(PlayerFunctionsTest, EngineStateShowsTheWindowOfTheConfiguredEngine) {
    Put("Data/Interface/e1024.int", "hud\nhud.tga,256,256\nlight,off,0,0,1,1,1,1\n"
                                    "window\nv8 0,0,64,64,0,0,64,64\nwindow\nv6 64,0,64,64,0,0,64,64\n");
    ASSERT_EQ(Run("ui = CreateInterface('e', 0) return ui ~= nil"), "true");
    const Call cases[] = {
        {"EngineState(ui, false) return IsWindowVisible(ui, 'v8'), IsWindowVisible(ui, 'v6')", "false|true"},
        {"EngineState(ui, true) return IsWindowVisible(ui, 'v8')", "true"},
        {"EngineState(nil, false) return IsWindowVisible(ui, 'v8')", "true"},
    };
    data_.raceConfiguration.engine = "v8";
    for (const Call& c : cases) EXPECT_EQ(Run(c.code), c.expected) << c.code;
    // No engine configured, or one without a window: nothing changes.
    for (const char* engine : {"", "v12"}) {
        data_.raceConfiguration.engine = engine;
        EXPECT_EQ(Run("EngineState(ui, false) return IsWindowVisible(ui, 'v8'), IsWindowVisible(ui, 'v6')"),
                  "true|true")
            << engine;
    }
    Run("Release(ui)");
}

} // namespace
