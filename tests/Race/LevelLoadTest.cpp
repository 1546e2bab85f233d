// The level's loader with models: every description falls back to one stand-in mesh, so each
// layout record that names a model loads one. What goes where by base name, the player's start
// and the checkpoints' order; the kernel runs the physics task once per turn across a restart; the
// start and the teardown in their order; "static" without a static block.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "Core/PGlobalTimer.h"
#include "Core/PKernel.h"
#include "Core/PRayQuery.h"
#include "Platform/TgaWriter.h"
#include "Race/PCamera.h"
#include "Race/PGameData.h"
#include "Race/PLevel.h"
#include "Race/PLevelBranch.h"
#include "Race/PPlayer.h"
#include "Race/PRaceEffects.h"
#include "RaceWorldFixture.h"
#include "Render/PMaterial.h"
#include "Render/PRenderObject.h"
#include "Render/PTexture.h"
#include "Render/PTextureManager.h"
#include "Render/StaticMeshCache.h"
#include "ScriptHarness.h"

namespace {

class LevelLoadTest : public RaceWorldFixture {};

TEST_F(LevelLoadTest, RecordsGoWhereTheirBaseNamesSay) {
    LevelObjectRecord start = LayoutRecord("player12", 7, 8, 9);
    start.rotation = {0, 0, 0.70710677f, 0.70710677f};
    PutLayout("level7", {LayoutRecord("bonu", 1), LayoutRecord("bonus_repair3", 2), LayoutRecord("chk3_flag", 30),
                         LayoutRecord("chk1_pole", 10), LayoutRecord("chk12_x", 120), LayoutRecord("player_a", 5),
                         LayoutRecord("Object2", 6), LayoutRecord("enemy1", 3), start,
                         LayoutRecord("stolb_start_left", 0, 5), LayoutRecord("stolb_start_right", 0, -5)});
    CPRefPtr<CPLevel> level(new CPLevel);
    ASSERT_TRUE(level->Load("level7"));
    EXPECT_EQ(level->GetBonuses().size(), 2u);
    ASSERT_EQ(level->GetCheckpoints().size(), 3u);
    EXPECT_EQ(level->GetCheckpoints()[0].number, 1);
    EXPECT_EQ(level->GetCheckpoints()[0].modelName, "pole");
    EXPECT_EQ(level->GetCheckpoints()[1].number, 3);
    EXPECT_EQ(level->GetCheckpoints()[2].number, 12);
    EXPECT_FALSE(level->GetCheckpoints()[1].model->IsVisible());
    EXPECT_EQ(level->GetCheckpoints()[1].model->GetPosition(), Vec3(30, 0, 0));
    // "player_a", "Object2" (object_a in level 7) and the two pillars are plain models in the tree.
    EXPECT_EQ(level->GetStaticList().size(), 4u);
    EXPECT_EQ(level->GetTree()->GetObjects().size(), 4u);
    EXPECT_EQ(level->GetStartLineDirection(), Vec3(0, 10, 0));
    EXPECT_EQ(level->GetStartLineMiddle(), Vec3(0, 0, 0));
    // The start: the record's position raised by 5, its rotation as stored.
    ASSERT_NE(level->GetPlayerCar(), nullptr);
    EXPECT_EQ(level->GetPlayerCar()->GetPosition(), Vec3(7, 8, 14));
    EXPECT_NEAR(level->GetPlayerCar()->GetForward().x, 1.0f, 1e-5f);
    EXPECT_NEAR(level->PlayerHeading(), 0.0f, 1e-3f);
    EXPECT_FLOAT_EQ(level->GetRaceTarget().z, 14);
    // Without a "fin" record the finish is never reached.
    EXPECT_TRUE(std::isinf(level->GetFinish().low));
    // The car has no description: its presets keep angle_div and distance_div at 0, which drop the
    // speed terms instead of dividing by zero.
    level->Start();
    FrameDelta = 0.02f;
    for (int i = 0; i < 3; ++i) level->RaceUpdate();
    FrameDelta = 0.0f;
    EXPECT_FALSE(level->IsFinished());
    const CPCamera* camera = level->GetCamera();
    EXPECT_TRUE(std::isfinite(camera->pitch));
    EXPECT_TRUE(std::isfinite(camera->followDistance));
    EXPECT_TRUE(std::isfinite(camera->GetMainCamera()->eye.x) && std::isfinite(camera->GetMainCamera()->eye.z));
    EXPECT_EQ(camera->lookAt, Vec3(7, 8, 14 + 2.0f)); // the car plus the preset's height
    level->StopLevel();
}

// The texture file the first mesh of a model was given.
std::string TextureOf(CPGameObject* model) {
    if (!model) return "no model";
    CPGameObject::ObjectList all;
    model->CollectObjects(all);
    for (const auto& object : all)
        if (auto* mesh = dynamic_cast<CPRenderObject*>(object->GetRenderPart().Get())) {
            const CPRefPtr<CPMaterial> material = mesh->GetMaterial();
            if (!material || !material->GetTextureBlock() || !material->GetTextureBlock()->GetTexture(0))
                return "no texture";
            return material->GetTextureBlock()->GetTexture(0)->GetName();
        }
    return "no mesh";
}

TEST_F(LevelLoadTest, TheCarsWearThePaintOfTheirNumbers) {
    // A description naming "dragster.tga" loads "dragster%02d.tga" of the paint number: the
    // player's paint as it is, the rival's record paint plus 4.
    Put("Data/Meshes/painted.rdf", "mesh = wrong.msh\n[wrong]\neffectfile = simple.fx\ntexturefile1 = dragster.tga\n");
    std::filesystem::create_directories("Data/Textures");
    for (const char* name : {"dragster02.tga", "dragster04.tga", "dragster07.tga"})
        ASSERT_TRUE(Platform::WriteTgaFile(std::string("Data/Textures/") + name, 2, 2, std::vector<uint8_t>(16, 0x80)));
    InvalidatePathCache();
    PutLayout("level3", {LayoutRecord("player", 0, 0, 1)});
    CPGameData data;
    data.SetPlayerName("painted");
    data.upgrades[6] = 2;
    data.levelRecords[2].name = "painted";
    data.levelRecords[2].parts[6] = 3;
    CPRefPtr<CPLevel> level(new CPLevel);
    ASSERT_TRUE(level->Load("level3"));
    EXPECT_EQ(TextureOf(level->GetPlayerCar()), "dragster02.tga");
    EXPECT_EQ(TextureOf(level->GetRivalModel()), "dragster07.tga");
    level->StopLevel();
    DragsterTextureIndex = 4;
}

TEST_F(LevelLoadTest, AZeroRotationIsTheIdentityTurn) {
    // A layout record whose quaternion is all zero loads like the others, unturned.
    LevelObjectRecord crate = LayoutRecord("crate", 4, 5, 6);
    crate.rotation = {0, 0, 0, 0};
    LevelObjectRecord start = LayoutRecord("player", 1, 2, 3);
    start.rotation = {0, 0, 0, 0};
    PutLayout("level2", {crate, start});
    CPRefPtr<CPLevel> level(new CPLevel);
    ASSERT_TRUE(level->Load("level2"));
    ASSERT_EQ(level->GetStaticList().size(), 1u);
    const Mat4& m = level->GetStaticList()[0]->GetWorldMatrix();
    const Mat4 expected = MatTranslation(4, 5, 6);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) EXPECT_EQ(m.m[r][c], expected.m[r][c]) << r << "," << c;
    ASSERT_NE(level->GetPlayerCar(), nullptr);
    EXPECT_EQ(level->GetPlayerCar()->GetPosition(), Vec3(1, 2, 8));
    EXPECT_EQ(level->GetPlayerCar()->GetForward(), Vec3(0, -1, 0)); // the model's own forward
    level->StopLevel();
}

TEST_F(LevelLoadTest, WithoutAPlayerRecordTheCarStartsAtTheDefaultPoint) {
    PutLayout("menu", {LayoutRecord("crate", 1)});
    CPRefPtr<CPLevel> level(new CPLevel);
    ASSERT_TRUE(level->Load("menu"));
    EXPECT_EQ(level->GetLevelIndex(), 0);
    ASSERT_NE(level->GetPlayerCar(), nullptr);
    EXPECT_EQ(level->GetPlayerCar()->GetPosition(), Vec3(100, 100, 6));
}

TEST_F(LevelLoadTest, StoppingAndStartingInOneTurnRunsPhysicsOnce) {
    PutLayout("level1", {});
    ScriptHarness::TurnRunner runner;
    CPRefPtr<CPLevel> first(new CPLevel);
    first->Load("level1");
    first->Start();
    first->StopLevel();
    CPRefPtr<CPLevel> second(new CPLevel);
    second->Load("level1");
    second->Start();
    // Three turns of 0.02 s are 0.09 s of physics, 13 or 14 steps; listed twice it would take twice
    // as many.
    const int before = physics_->GetStepsTaken();
    FrameDelta = 0.02f;
    runner.Run(3, [](int) { FrameDelta = 0.02f; });
    FrameDelta = 0.0f;
    EXPECT_GE(physics_->GetStepsTaken() - before, 13);
    EXPECT_LE(physics_->GetStepsTaken() - before, 14);
    second->StopLevel();
}

// Records what the level asks of the floors above it, in order.
class OrderEffects : public CPRaceEffects {
public:
    void CreateShot(const std::string& name, const Vec3&, const Vec3&) override { calls.push_back("shot " + name); }
    void CameraImpact(float) override { calls.push_back("impact"); }
    void EmitDust(const std::string&, const Vec3&) override { calls.push_back("dust"); }
    CPRefPtr<CPGameObject> CreateEmitterObject(const std::string&) override { return nullptr; }
    void ClearShots() override { calls.push_back("clear shots"); }
    void StopWeapons() override { calls.push_back("stop weapons"); }
    void RestartWeapons() override { calls.push_back("restart weapons"); }
    void ClearParticles() override {
        calls.push_back(std::string("clear particles") + (GetGameData()->levelStarted ? " (started)" : ""));
    }
    std::vector<std::string> calls;
};

TEST_F(LevelLoadTest, StartAndTeardownRunInOrder) {
    PutLayout("level1", {LayoutRecord("crate", 1)});
    OrderEffects effects;
    SetRaceEffects(&effects);
    CPGameData data;
    ScriptHarness::TurnRunner runner;
    CPRefPtr<CPLevel> level(new CPLevel);
    ASSERT_TRUE(level->Load("level1"));
    EXPECT_EQ(LevelLoaded, 1); // meshes made from here on belong to the level
    level->Start();
    EXPECT_TRUE(physics_->IsRunning());
    EXPECT_EQ(level->GetCountdown(), 600.0f);
    data.levelStarted = true;
    level->SetRaceActive(true);
    level->StopLevel();
    SetRaceEffects(nullptr);
    // Shots first, then the weapons task with the physics task, then the particles while the race
    // still counts as started; the started flag goes after them.
    EXPECT_EQ(effects.calls, (std::vector<std::string>{"restart weapons", "clear shots", "stop weapons",
                                                       "clear particles (started)"}));
    EXPECT_FALSE(data.levelStarted);
    EXPECT_FALSE(physics_->IsRunning());
    EXPECT_FALSE(level->IsRaceActive());
    EXPECT_TRUE(level->IsStopped());
    EXPECT_EQ(LevelLoaded, 0);
    EXPECT_FALSE(level->GetPlayerCar()->IsActive());
    EXPECT_TRUE(level->GetTree()->GetObjects().empty());
}

TEST_F(LevelLoadTest, StaticOnWithoutAStaticBlockLoadsThePlainWay) {
    // The renderer started with "static" off, so it made no static block.
    ASSERT_EQ(render_->GetStaticBlock().Get(), nullptr);
    g_static = 1;
    PutLayout("level1", {LayoutRecord("crate", 1), LayoutRecord("lamp", 2)});
    CPRefPtr<CPLevel> level(new CPLevel);
    ASSERT_TRUE(level->Load("level1"));
    EXPECT_EQ(level->GetTree()->GetObjects().size(), 2u);
    level->StopLevel();
}

TEST_F(LevelLoadTest, EachCameraModeRecentresTheBlurGridOnItsPresetsBlur) {
    // Mode 0 streams from the "camera" blur, 1 from "camera2", 2 from "camera3": the direction of
    // each grid vertex is the unit vector from (width / 2, (blur + 1) x height / 2) to it.
    Put("Data/Meshes/blurcar.rdf", "mesh = wrong.msh\ndescription = blurcar.xml\n[wrong]\neffectfile = simple.fx\n");
    Put("Data/Descriptions/blurcar.xml",
        "<camera distance=\"9\" blur=\"0.5\"/>\n<camera2 distance=\"18\" blur=\"-0.5\"/>\n"
        "<camera3 distance=\"0.5\" blur=\"1\"/>\n");
    PutLayout("level1", {LayoutRecord("player", 0, 0, 1)});
    CPGameData data;
    data.SetPlayerName("blurcar");
    g_blur = 1;
    CPRefPtr<CPLevel> level(new CPLevel);
    ASSERT_TRUE(level->Load("level1"));
    const auto& grid = render_->GetBlurGrid();
    ASSERT_FALSE(grid.vertices.empty());
    const float w = static_cast<float>(g_screenWidth), h = static_cast<float>(g_screenHeight);
    const float blurs[] = {0.5f, -0.5f, 1.0f};
    for (int mode : {1, 2, 0}) {
        SCOPED_TRACE(mode);
        level->SetCameraMode(mode);
        for (size_t n : {size_t(0), grid.vertices.size() / 2, grid.vertices.size() - 1}) {
            const float dx = grid.vertices[n].x - w * 0.5f, dy = grid.vertices[n].y - (blurs[mode] + 1.0f) * h * 0.5f;
            const float length = std::sqrt(dx * dx + dy * dy);
            EXPECT_NEAR(grid.directions[n].x, dx / length, 1e-5f) << n;
            EXPECT_NEAR(grid.directions[n].y, dy / length, 1e-5f) << n;
        }
    }
    EXPECT_EQ(level->GetPreset(1).distance, 18.0f);
    level->StopLevel();
}

TEST_F(LevelLoadTest, CrossCarsTriesTheCarListInOrderAndThePlayerLast) {
    // The first car of the list that is hit answers, even a farther one; the player car is tried
    // only when every car of the list missed. Boxes: one unit around each car's position.
    PutLayout("level1", {LayoutRecord("player", 5, 0, -5)});
    CPRefPtr<CPLevel> level(new CPLevel);
    ASSERT_TRUE(level->Load("level1"));
    CPPlayer* player = level->GetPlayerCar();
    ASSERT_NE(player, nullptr);
    player->SetPosition(Vec3(5, 0, 0));
    player->UpdateTransform();
    auto add = [&](float x) {
        CPRefPtr<CPPlayer> car(new CPPlayer);
        car->CopyFrom(CPRefPtr<CPGameObject>(player));
        car->SetPosition(Vec3(x, 0, 0));
        car->UpdateTransform();
        level->GetCars().push_back(car);
    };
    auto cross = [&] {
        CPRayQuery q;
        q.origin = Vec3(0, 0, 0.5f);
        q.direction = Vec3(1, 0, 0);
        q.distance = 100.0f;
        const bool hit = level->CrossCars(q);
        return hit ? q.distance : -1.0f;
    };
    add(20);
    add(10);
    EXPECT_NEAR(cross(), 19.5f, 1e-4f); // the list's first car, behind the other two
    level->GetCars().erase(level->GetCars().begin());
    EXPECT_NEAR(cross(), 9.5f, 1e-4f);
    level->GetCars().clear();
    EXPECT_NEAR(cross(), 4.5f, 1e-4f); // the player car
    player->SetPosition(Vec3(5, 40, 0));
    player->UpdateTransform();
    EXPECT_EQ(cross(), -1.0f);
    level->StopLevel();
}

} // namespace
