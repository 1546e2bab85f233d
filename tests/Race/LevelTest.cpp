// The level without a renderer: the layout's dispatch by base name, the missing-layout path, the
// level index and model names, the backwards test, the time limit and the race camera's follow
// view (spring, clamps, eye placement).
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "Core/PGlobalTimer.h"
#include "Core/PSettings.h"
#include "Race/PCamera.h"
#include "Race/PGameData.h"
#include "Race/PLevel.h"
#include "Race/PLevelFile.h"
#include "Race/PPhysics.h"
#include "ScriptHarness.h"

namespace {

LevelObjectRecord Record(const std::string& name, float x, float y = 0, float z = 0) {
    LevelObjectRecord r;
    r.name = name;
    r.position = {x, y, z};
    return r;
}

class LevelTest : public ::testing::Test {
protected:
    void SetUp() override {
        CPSettingsManager::ResetDefaults();
        physics_ = CPRefPtr<CPPhysics>(new CPPhysics);
        data_ = std::make_unique<CPGameData>();
    }
    void TearDown() override {
        FrameDelta = 0.0f;
        physics_->DestroyWorld();
        physics_.Reset();
        data_.reset();
        CPManagedObject::CollectGarbage();
        CPSettingsManager::ResetDefaults();
    }
    void PutLayout(const std::string& name, const std::vector<LevelObjectRecord>& objects) {
        LevelFile layout;
        layout.objects = objects;
        std::filesystem::create_directories("Data/Levels");
        ASSERT_TRUE(WriteLevelFile("Data/Levels/" + name + ".lvl", layout));
    }

    ScriptHarness::GameRoot root_{""};
    CPRefPtr<CPPhysics> physics_;
    std::unique_ptr<CPGameData> data_;
};

TEST_F(LevelTest, TheLayoutIsDispatchedByBaseName) {
    PutLayout("level3",
              {Record("zla,30", 100), Record("zla2,10", 300), Record("fin,20", 580), Record("src_a1", 1, 2, 3),
               Record("srcb", 4), Record("enemy7", 9), Record("player12", 7, 8, 9)});
    CPRefPtr<CPLevel> level(new CPLevel);
    EXPECT_TRUE(level->Load("level3"));
    EXPECT_EQ(level->GetLevelIndex(), 3);
    ASSERT_EQ(level->GetZones().size(), 2u);
    EXPECT_FLOAT_EQ(level->GetZones()[0].low, 85);
    EXPECT_FLOAT_EQ(level->GetZones()[0].high, 115);
    EXPECT_FLOAT_EQ(level->GetZones()[1].low, 295); // the full name is split: "zla2,10" gives 10
    EXPECT_FLOAT_EQ(level->GetFinish().low, 570);
    EXPECT_FLOAT_EQ(level->GetFinish().high, 590);
    float p[3];
    // The key is the base name (trailing digits gone) less its first four characters.
    EXPECT_FALSE(level->GetNamedPosition("a1", p));
    ASSERT_TRUE(level->GetNamedPosition("a", p));
    EXPECT_EQ(p[0], 1);
    EXPECT_EQ(p[2], 3);
    EXPECT_TRUE(level->GetNamedPosition("", p)); // "srcb": the key is the base name less four characters
    EXPECT_FLOAT_EQ(level->GetSizeX(), 3000);
    // No mesh manager: no model loads, so no car; the level still answers.
    EXPECT_EQ(level->GetPlayerCar(), nullptr);
    EXPECT_NE(level->GetCamera(), nullptr);
    level->Start();
    FrameDelta = 0.02f;
    level->RaceUpdate();
    EXPECT_FLOAT_EQ(level->GetRaceClock(), 0.02f);
    level->StopLevel();
    EXPECT_TRUE(level->IsStopped());
}

TEST_F(LevelTest, AMissingOrCorruptLayoutLoadsNothingAndReportsIt) {
    CPRefPtr<CPLevel> missing(new CPLevel);
    EXPECT_FALSE(missing->Load("level1"));
    EXPECT_EQ(missing->GetCamera(), nullptr);
    EXPECT_EQ(missing->GetPlayerCar(), nullptr);
    // The race runs without a car: clocks only.
    missing->Start();
    FrameDelta = 0.5f;
    missing->RaceUpdate();
    EXPECT_FLOAT_EQ(missing->GetRaceClock(), 0.5f);
    EXPECT_FALSE(missing->IsFinished()); // no finish object: never finished
    missing->StopLevel();

    std::filesystem::create_directories("Data/Levels");
    std::ofstream("Data/Levels/level2.lvl", std::ios::binary) << std::string("\0\0\0\0\0\0", 6);
    CPRefPtr<CPLevel> corrupt(new CPLevel);
    EXPECT_FALSE(corrupt->Load("level2"));
    EXPECT_TRUE(corrupt->GetZones().empty());
}

TEST(LevelNamesTest, LevelIndexAndPlainModelFiles) {
    const struct {
        const char* name;
        int index;
    } indexes[] = {{"level1", 1}, {"level20", 20}, {"level21", 0}, {"Level1", 0}, {"level01", 0}, {"menu", 0}};
    for (const auto& c : indexes) EXPECT_EQ(CPLevel::LevelIndexOf(c.name), c.index) << c.name;
    const struct {
        const char* base;
        int level;
        const char* file;
    } files[] = {{"Object", 7, "object_a.rdf"},  {"Object", 14, "object_a.rdf"}, {"Object", 9, "object_b.rdf"},
                 {"Object", 12, "object_b.rdf"}, {"Object", 1, "Object.rdf"},    {"object", 7, "object.rdf"},
                 {"player_a", 1, "player_a.rdf"}};
    for (const auto& c : files) EXPECT_EQ(CPLevel::PlainModelFile(c.base, c.level), c.file) << c.base << c.level;
    const struct {
        const char* name;
        const char* base;
    } bases[] = {{"player12", "player"},     {"player_a", "player_a"}, {"bonu", "bonu"},
                 {"chk3_flag", "chk3_flag"}, {"crate1", "crate"},      {"a1b2", "a1b"}};
    for (const auto& c : bases) EXPECT_EQ(LevelBaseName(c.name), c.base) << c.name;
}

TEST_F(LevelTest, MovingBackwardsWrapsBothHeadings) {
    CPRefPtr<CPLevel> level(new CPLevel);
    const struct {
        float player, reference;
        bool backwards;
    } cases[] = {{0.0f, 0.0f, false}, {3.1415927f, 0.0f, true},  {1.5f, 0.0f, false},
                 {1.6f, 0.0f, true},  {-3.1415927f, 0.0f, true}, {0.1f, 6.2f, false},
                 {4.8f, 0.0f, false}, {4.7f, 0.0f, true},        {0.0f, -3.0f, true}};
    for (const auto& c : cases) {
        level->SetPlayerHeadingValue(c.player);
        level->SetReferenceHeading(c.reference);
        EXPECT_EQ(level->IsPlayerMovingBackwards(), c.backwards) << c.player << " against " << c.reference;
    }
}

TEST_F(LevelTest, TheTimeLimitEndsAnActiveRaceUnlessBoxesAreOn) {
    PutLayout("level1", {});
    data_->levelRecords[0].time = 1.0f;
    for (int boxes : {0, 1}) {
        g_bboxes = boxes;
        data_->SetLevelTime(0);
        CPRefPtr<CPLevel> level(new CPLevel);
        level->Load("level1");
        FrameDelta = 0.4f;
        level->CheckTimeLimit(); // not active: nothing counts
        EXPECT_EQ(data_->GetLevelTime(), 0.0f);
        level->SetRaceActive(true);
        for (int i = 0; i < 3; ++i) level->CheckTimeLimit();
        EXPECT_FLOAT_EQ(data_->GetLevelTime(), 1.2f);
        EXPECT_EQ(level->IsFinished(), boxes == 0);
        EXPECT_EQ(level->IsRaceActive(), boxes != 0);
        level.Reset();
        CPManagedObject::CollectGarbage();
    }
}

class CameraTest : public ::testing::Test {
protected:
    void SetUp() override { CPSettingsManager::ResetDefaults(); }
    void TearDown() override {
        FrameDelta = 0.0f;
        CPManagedObject::CollectGarbage();
        CPSettingsManager::ResetDefaults();
    }
};

TEST_F(CameraTest, TheSpringTurnsTheShortWayAndIdlesWithoutCamSpeed) {
    g_camSpeed = 1;
    CPRefPtr<CPCamera> camera(new CPCamera);
    camera->zAngle = 0.1f;
    camera->targetZAngle = 6.2f;
    FrameDelta = 0.05f;
    camera->Update(); // the first step moves nothing, then the velocity takes the short way
    EXPECT_FLOAT_EQ(camera->zAngle, 0.1f);
    EXPECT_LT(camera->zVelocity, 0.0f);
    EXPECT_NEAR(camera->zVelocity, 25.0f * (6.2f - 0.1f - 6.2831855f) * 0.05f, 1e-4f);

    g_camSpeed = 0;
    CPRefPtr<CPCamera> still(new CPCamera);
    still->zAngle = 1.0f;
    still->targetZAngle = 2.0f;
    for (int i = 0; i < 10; ++i) still->Update();
    EXPECT_FLOAT_EQ(still->zAngle, 1.0f);
}

TEST_F(CameraTest, TheEyeStaysBesideTheTrackAndWithinSevenUnitsOfHeight) {
    g_camSpeed = 1;
    CPRefPtr<CPCamera> camera(new CPCamera);
    camera->lookAt = Vec3(100, 0, 3);
    camera->followDistance = 12.0f;
    FrameDelta = 1.0f; // a long frame: the springs step at most 0.1 s
    const struct { float pitch; } cases[] = {{0.0f}, {0.3f}, {1.2f}, {-1.2f}, {5.0f}};
    for (const auto& c : cases) {
        camera->pitch = c.pitch;
        camera->changed = true;
        camera->Update();
        const CPPerspectiveCamera* view = camera->GetMainCamera();
        const Vec3 offset = view->eye - camera->lookAt;
        EXPECT_LE(std::fabs(offset.z), 7.0f + 1e-4f) << c.pitch;
        // The compass direction is fixed: 75 degrees round from behind the car, toward +y.
        EXPECT_NEAR(std::atan2(offset.y, offset.x), 1.8325957f, 1e-3f) << c.pitch;
    }
    // Five steps of a tenth of a second each toward 0.3 x the distance.
    EXPECT_NEAR(camera->lookAhead, 3.6f * (1.0f - std::pow(0.9f, 5.0f)), 1e-3f);
}

} // namespace
