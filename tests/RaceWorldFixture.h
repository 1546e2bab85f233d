#pragma once
// A race world on the null device for tests that load levels: an empty game root, the renderer, the
// physics task, the mesh, material and animation managers, and one stand-in description that every
// model falls back to, so a layout written by the test loads a level with a player car. Derived
// fixtures add what they need (game data, scripts, a Lua state) and call this SetUp and TearDown
// around their own.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "Core/PGameObject.h"
#include "Core/PPath.h"
#include "Core/PSettings.h"
#include "Platform/NullDevice.h"
#include "Race/PLevelFile.h"
#include "Race/PPhysics.h"
#include "Render/MeshFile.h"
#include "Render/PAnimationManager.h"
#include "Render/PMaterialManager.h"
#include "Render/PMeshManager.h"
#include "Render/PRender.h"
#include "ScriptHarness.h"

inline LevelObjectRecord LayoutRecord(const std::string& name, float x, float y = 0, float z = 0) {
    LevelObjectRecord r;
    r.name = name;
    r.position = {x, y, z};
    return r;
}

class RaceWorldFixture : public ::testing::Test {
protected:
    // The stand-in is one triangle; with a box it also has a unit collision box around (0, 0, 0.5),
    // which gives the player car a body of that size.
    enum class StandIn { WithBox, WithoutBox };
    explicit RaceWorldFixture(StandIn standIn = StandIn::WithBox) : standIn_(standIn) {}

    void SetUp() override {
        CPSettingsManager::ResetDefaults();
        render_ = CPRefPtr<CPRender>(new CPRender());
        render_->SetBackend(std::make_unique<Platform::NullBackend>());
        ASSERT_TRUE(render_->Start());
        physics_ = CPRefPtr<CPPhysics>(new CPPhysics);
        MeshFile::Node node;
        node.name = "wrong";
        for (int i = 0; i < 3; ++i) {
            CPVertex v;
            v.position = Vec3(float(i == 1), float(i == 2), 0);
            node.vertices.push_back(v);
            node.indices.push_back(static_cast<CPIndex>(i));
        }
        if (standIn_ == StandIn::WithBox)
            node.boxes = {MeshFile::CollisionRecord::Make({0, 0, 0.5f}, {0.5f, 0.5f, 0.5f})};
        MeshFile::Mesh mesh;
        mesh.nodes = {node};
        Put("Data/Meshes/wrong.msh", MeshFile::WriteMesh(mesh, MeshFile::MeshKind::Older));
        Put("Data/Meshes/wrong.rdf", "mesh = wrong.msh\n[wrong]\neffectfile = simple.fx\n");
    }
    void TearDown() override {
        if (physics_) physics_->DestroyWorld();
        physics_.Reset();
        if (render_) render_->Stop();
        render_.Reset();
        CPManagedObject::CollectGarbage();
        CPSettingsManager::ResetDefaults();
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

    ScriptHarness::GameRoot root_{""};
    CPAnimationManager animations_;
    CPMaterialManager materials_;
    CPMeshManager meshes_;
    CPRefPtr<CPRender> render_;
    CPRefPtr<CPPhysics> physics_;

private:
    StandIn standIn_;
};
