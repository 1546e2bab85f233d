#pragma once
// A race world for script-function tests on the null device: the renderer, the physics task, the
// mesh, material and animation managers, game data, and every description falling back to one
// stand-in box, so a layout written by the test loads a level with a camera, a player car and
// checkpoints. Scripts run in a Lua state with every registered function.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <lua.hpp>

#include "Core/PGameObject.h"
#include "Core/PGlobalTimer.h"
#include "Core/PScriptRegistry.h"
#include "Core/PSettings.h"
#include "Platform/NullDevice.h"
#include "Race/PGameData.h"
#include "Race/PLevel.h"
#include "Race/PLevelFile.h"
#include "Race/PPhysics.h"
#include "Render/MeshFile.h"
#include "Render/PAnimationManager.h"
#include "Render/PMaterialManager.h"
#include "Render/PMeshManager.h"
#include "Render/PRender.h"
#include "ScriptFunctionsSetup.h"
#include "ScriptHarness.h"

inline LevelObjectRecord LayoutRecord(const std::string& name, float x, float y = 0, float z = 0) {
    LevelObjectRecord r;
    r.name = name;
    r.position = {x, y, z};
    return r;
}

class RaceWorldTest : public ::testing::Test {
protected:
    void SetUp() override {
        (void)kScriptFunctionsRegistered;
        CPSettingsManager::ResetDefaults();
        shadowBefore_ = ShadowMatrix;
        render_ = CPRefPtr<CPRender>(new CPRender());
        render_->SetBackend(std::make_unique<Platform::NullBackend>());
        ASSERT_TRUE(render_->Start());
        physics_ = CPRefPtr<CPPhysics>(new CPPhysics);
        // The stand-in: one triangle with a unit collision box around (0, 0, 0.5).
        MeshFile::Node node;
        node.name = "wrong";
        for (int i = 0; i < 3; ++i) {
            CPVertex v;
            v.position = Vec3(float(i == 1), float(i == 2), 0);
            node.vertices.push_back(v);
            node.indices.push_back(static_cast<CPIndex>(i));
        }
        node.boxes = {MeshFile::CollisionRecord::Make({0, 0, 0.5f}, {0.5f, 0.5f, 0.5f})};
        MeshFile::Mesh mesh;
        mesh.nodes = {node};
        Put("Data/Meshes/wrong.msh", MeshFile::WriteMesh(mesh, MeshFile::MeshKind::Older));
        Put("Data/Meshes/wrong.rdf", "mesh = wrong.msh\n[wrong]\neffectfile = simple.fx\n");
        L = luaL_newstate();
        luaL_openlibs(L);
        RegisterScriptFunctions(L);
    }
    void TearDown() override {
        Run("DeleteLevel()");
        lua_close(L);
        CPManagedObject::CollectGarbage();
        physics_->DestroyWorld();
        physics_.Reset();
        render_->Stop();
        render_.Reset();
        CPManagedObject::CollectGarbage();
        CPSettingsManager::ResetDefaults();
        FrameDelta = 0.0f;
        TimeScale = 1.0f;
        // A level load sets the shadow projection for every object made later.
        ShadowMatrix = shadowBefore_;
    }
    static void Put(const std::string& path, const std::vector<uint8_t>& bytes) {
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        InvalidatePathCache();
    }
    static void Put(const std::string& path, const std::string& text) {
        Put(path, std::vector<uint8_t>(text.begin(), text.end()));
    }
    static void PutLayout(const std::string& name, const std::vector<LevelObjectRecord>& objects) {
        LevelFile layout;
        layout.objects = objects;
        Put("Data/Levels/" + name + ".lvl", WriteLevelBytes(layout));
    }
    bool Run(const std::string& code) {
        if (luaL_dostring(L, code.c_str()) == 0) return true;
        ADD_FAILURE() << code << ": " << lua_tostring(L, -1);
        lua_pop(L, 1);
        return false;
    }
    // The results of a Lua expression list: their count, then each as tostring gives it.
    std::string Eval(const std::string& expression) {
        Run("local r = {" + expression + "} local n = select('#', " + expression +
            ") local s = tostring(n) for i = 1, n do s = s .. ' ' .. tostring(r[i]) end result = s");
        lua_getglobal(L, "result");
        std::string s = lua_tostring(L, -1) ? lua_tostring(L, -1) : "?";
        lua_pop(L, 1);
        return s;
    }
    double Number(const std::string& expression) {
        Run("result = " + expression);
        lua_getglobal(L, "result");
        const double value = lua_tonumber(L, -1);
        lua_pop(L, 1);
        return value;
    }

    ScriptHarness::GameRoot root_{""};
    CPAnimationManager animations_;
    CPMaterialManager materials_;
    CPMeshManager meshes_;
    CPRefPtr<CPRender> render_;
    CPRefPtr<CPPhysics> physics_;
    CPGameData data_;
    lua_State* L = nullptr;
    Mat4 shadowBefore_;
};
