// The level's loader with models: every description falls back to one stand-in mesh, so each
// layout record that names a model loads one. What goes where by base name, the player's start
// and the checkpoints' order; the kernel runs the physics task once per turn across a restart; the
// start and the teardown in their order; "static" without a static block.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "Core/PGlobalTimer.h"
#include "Core/PKernel.h"
#include "Race/PCamera.h"
#include "Race/PGameData.h"
#include "Race/PLevel.h"
#include "Race/PLevelBranch.h"
#include "Race/PPlayer.h"
#include "Race/PRaceEffects.h"
#include "RaceWorldFixture.h"
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

} // namespace
