// Every registered script function called with NaN, inf and -inf where numbers go, on a level with a
// player car that has a body, its race camera and a listening sound manager: whatever the call does,
// the car's pose and motion, the cameras, the listener, the money and the times stay finite, also
// after the world has stepped.
#include <gtest/gtest.h>

#include <lua.hpp>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "Core/PGameObject.h"
#include "Core/PGlobalTimer.h"
#include "Core/PScriptObject.h"
#include "Core/PScriptRegistry.h"
#include "Core/PSettings.h"
#include "Platform/Audio.h"
#include "Platform/NullDevice.h"
#include "Race/PCamera.h"
#include "Race/PGameData.h"
#include "Race/PLevel.h"
#include "Race/PLevelFile.h"
#include "Race/PPhysicData.h"
#include "Race/PPhysics.h"
#include "Race/PPlayer.h"
#include "Render/MeshFile.h"
#include "Render/PAnimationManager.h"
#include "Render/PMaterialManager.h"
#include "Render/PMeshManager.h"
#include "Render/PPerspectiveCamera.h"
#include "Render/PRender.h"
#include "ScriptFunctionsSetup.h"
#include "ScriptHarness.h"
#include "Sound/NAudio.h"

namespace {

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

void Put(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    InvalidatePathCache();
}

// Every model is a box with a body of 8 kg.
void PutBoxModel() {
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
    Put("Data/Meshes/wrong.p3d", MeshFile::WriteMesh(mesh, MeshFile::MeshKind::P3d));
    const std::string rdf = "mesh = wrong.p3d\n[wrong]\neffectfile = simple.fx\n";
    Put("Data/Meshes/wrong.rdf", std::vector<uint8_t>(rdf.begin(), rdf.end()));
}

bool Finite(const Vec3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }
bool Finite(const Quat& q) {
    return std::isfinite(q.x) && std::isfinite(q.y) && std::isfinite(q.z) && std::isfinite(q.w);
}
bool Finite3(const float* v) { return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]); }

// Functions whose work is to end or replace what the test looks at (their arguments are no numbers).
const std::set<std::string> kLeftOut = {"KillAllTasks", "DeleteLevel", "StopLevel",        "InitLevel",
                                        "StartLevel",   "Release",     "AddRef",           "ClearGameData",
                                        "LoadGame",     "InitPlayer",  "DeactivateObject", "KillPlayer"};

// Argument lists, "x" standing for the non-finite value and "car" for the player's car.
const char* const kArguments[] = {
    "x, x, x, x, x, x, x, x",     "car, x, x, x, x, x, x, x",       "1, x, x, x, x, x, x, x",
    "car, 1, x, x, x, x, x, x",   "car, 'wrong', x, x, x, x, x, x", "'wrong', x, x, x, x, x, x, x",
    "car, car, x, x, x, x, x, x",
};
const char* const kValues[] = {"0/0", "1/0", "-1/0"};

class NonFiniteArgumentsTest : public ::testing::Test {
protected:
    void SetUp() override {
        (void)kScriptFunctionsRegistered;
        CPSettingsManager::ResetDefaults();
        render_ = CPRefPtr<CPRender>(new CPRender());
        render_->SetBackend(std::make_unique<Platform::NullBackend>());
        ASSERT_TRUE(render_->Start());
        meshes_.SetPartMaker(&parts_);
        physics_ = CPRefPtr<CPPhysics>(new CPPhysics);
        audio_.SetDevice(&device_);
        audio_.Init(nullptr);
        PutBoxModel();
        LevelFile layout;
        LevelObjectRecord start;
        start.name = "player";
        start.position = {0, 0, 1};
        LevelObjectRecord crate;
        crate.name = "crate";
        crate.position = {5, 0, 1};
        layout.objects = {start, crate};
        Put("Data/Levels/level1.lvl", WriteLevelBytes(layout));
        level_ = CPRefPtr<CPLevel>(new CPLevel);
        data_.SetPlayerName("coupe_t");
        ASSERT_TRUE(level_->Load("level1"));
        ASSERT_NE(level_->GetPlayerCar(), nullptr);
        L = luaL_newstate();
        luaL_openlibs(L);
        RegisterScriptFunctions(L);
    }
    void TearDown() override {
        if (L) lua_close(L);
        if (level_) level_->StopLevel();
        level_.Reset();
        if (physics_) physics_->DestroyWorld();
        physics_.Reset();
        if (render_) render_->Stop();
        render_.Reset();
        CPManagedObject::CollectGarbage();
        CPSettingsManager::ResetDefaults();
        FrameDelta = 0.0f;
        ShadowMatrix = shadowMatrixBefore_;
    }

    // What is not finite, or nothing.
    std::string NotFinite() const {
        std::string out;
        const CPPlayer* car = level_->GetPlayerCar();
        if (!Finite(car->GetPosition())) out += " car position;";
        if (!Finite(car->GetRotation())) out += " car rotation;";
        if (!Finite(car->GetLinearVelocity())) out += " car velocity;";
        if (const CPCamera* camera = level_->GetCamera()) {
            if (!Finite(camera->lookAt) || !Finite(camera->fixedLookAt) || !Finite(camera->fixedEye))
                out += " camera target;";
            if (!std::isfinite(camera->zAngle) || !std::isfinite(camera->pitch) || !std::isfinite(camera->fieldOfView))
                out += " camera angles;";
            if (const CPPerspectiveCamera* main = camera->GetMainCamera())
                if (!Finite(main->eye) || !Finite(main->lookAt) || !std::isfinite(main->fov)) out += " main camera;";
        }
        if (!Finite3(audio_.GetListenerPosition()) || !Finite3(audio_.GetListenerFront()) ||
            !Finite3(audio_.GetListenerTop()))
            out += " listener;";
        if (!std::isfinite(data_.GetMoney())) out += " money;";
        for (const CNSound* sound : CNSound::LiveSounds())
            if (!Finite3(sound->position) || !Finite3(sound->velocity)) out += " sound position;";
        if (!std::isfinite(render_->GetLightCoeff())) out += " light factor;";
        if (!std::isfinite(render_->GetMotionBlurAmount()) || !std::isfinite(render_->GetRadialBlur())) out += " blur;";
        if (!std::isfinite(g_aniso)) out += " aniso setting;";
        const LightRecord& light = level_->GetLight();
        if (!Finite(light.Direction) || !std::isfinite(light.Diffuse.r) || !std::isfinite(light.Ambient.r))
            out += " light;";
        return out;
    }

    Mat4 shadowMatrixBefore_ = ShadowMatrix;
    ScriptHarness::GameRoot root_{""};
    Platform::NullAudioDevice device_;
    CNAudio audio_;
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

TEST_F(NonFiniteArgumentsTest, NoScriptFunctionLetsANonFiniteNumberIntoTheGame) {
    std::vector<std::string> names;
    for (const ScriptTable table : {ScriptTable::Core, ScriptTable::Library, ScriptTable::LibraryExtra})
        for (const ScriptFunctionEntry& entry : GetScriptTable(table))
            if (!kLeftOut.count(entry.name)) names.push_back(entry.name);
    ASSERT_GT(names.size(), 100u);
    PushObject(L, level_->GetPlayerCar());
    lua_setglobal(L, "car");
    for (const std::string& name : names) {
        for (const char* arguments : kArguments) {
            for (const char* value : kValues) {
                const std::string code = "local x = " + std::string(value) + " pcall(" + name + ", " + arguments + ")";
                ASSERT_EQ(luaL_dostring(L, code.c_str()), 0) << code << ": " << lua_tostring(L, -1);
                const std::string before = NotFinite();
                ASSERT_EQ(before, "") << code;
                // What the call set goes through a step of the world and the race camera.
                physics_->Update();
                if (CPCamera* camera = level_->GetCamera()) camera->Update();
                ASSERT_EQ(NotFinite(), "") << code << ", then a step";
            }
        }
    }
}

} // namespace
