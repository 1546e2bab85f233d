#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "Core/Math/Mat4.h"
#include "Core/PRandom.h"
#include "Weapons/PBonusShot.h"
#include "Weapons/PExplosionShot.h"
#include "Weapons/PGibShot.h"
#include "Weapons/PRocketShot.h"
#include "Weapons/PSparksShot.h"
#include "Weapons/PTracerShot.h"
#include "WeaponsTestSupport.h"

namespace {

// A tracer that ends at once: 1000 units a second covers 150 in one frame of 0.2 s.
const char* kBasics = "fast trasser player;1000;5;0.1;t.tga;e.fx;103;;0;none\n"
                      "slow trasser player;10;5;0.1;t.tga;e.fx;103;;0;none\n"
                      "twice trasser player;10;5;0.1;t.tga;e.fx;103;;0;none\n"
                      "twice trasser player;20;5;0.1;t.tga;e.fx;103;;0;none\n"
                      "odd nosuchkind 1;2;3\n";

TEST(WeaponsSystem, LinesBecomePoolsInFileOrder) {
    CPWeaponsSystem weapons;
    LoadWeapons(weapons, std::string(kBasics) + "// a comment line\n"
                                                "short trasser\n"
                                                "spaced  trasser player;1;2;3;t.tga;e.fx;1;;0;none\n"
                                                "joined trasser player;1;2;3;t.tga;e.fx;1;;0; none\n"
                                                "quoted trasser \"player ;x\";1;2;3;t.tga;e.fx;1;;0;none\n");
    ASSERT_NE(weapons.GetPool("fast"), nullptr);
    EXPECT_EQ(weapons.GetPool("fast")->size(), 1u);
    EXPECT_EQ(weapons.GetPool("twice")->size(), 2u);
    // Unknown kinds and lines under three words add nothing.
    EXPECT_EQ(weapons.GetPool("odd"), nullptr);
    EXPECT_EQ(weapons.GetPool("short"), nullptr);
    // Every blank separates: two in a row make the kind word empty, so the line is no shot.
    EXPECT_EQ(weapons.GetPool("spaced"), nullptr);
    // The parameter words are joined without blanks.
    ASSERT_NE(weapons.GetPool("joined"), nullptr);
    auto* spaced = dynamic_cast<CPTracerShot*>(weapons.GetPool("joined")->front().Get());
    ASSERT_NE(spaced, nullptr);
    EXPECT_FLOAT_EQ(spaced->GetSpeed(), 1.0f);
    EXPECT_EQ(spaced->GetSoundSpec(), "none");
    // The line split keeps a quoted stretch as one word and drops the quotes, so its ";" splits the
    // parameters after all: the speed reads "x".
    auto* quoted = dynamic_cast<CPTracerShot*>(weapons.GetPool("quoted")->front().Get());
    ASSERT_NE(quoted, nullptr);
    EXPECT_FLOAT_EQ(quoted->GetSpeed(), 0.0f);
    EXPECT_FLOAT_EQ(quoted->GetDamage(), 1.0f);
}

TEST(WeaponsSystem, PoolsHandOutClonesAndReuseEndedShots) {
    CPWeaponsSystem weapons;
    LoadWeapons(weapons, kBasics);
    CPShot* prototype = weapons.GetPool("slow")->front().Get();

    weapons.CreateShot("slow", Vec3(), Vec3(1, 0, 0), -1);
    weapons.CreateShot("slow", Vec3(), Vec3(1, 0, 0), -1);
    ASSERT_EQ(weapons.GetLiveShots().size(), 2u);
    CPShot* a = weapons.GetLiveShots()[0].Get();
    CPShot* b = weapons.GetLiveShots()[1].Get();
    EXPECT_NE(a, b);
    EXPECT_NE(a, prototype);
    EXPECT_EQ(weapons.GetPool("slow")->size(), 1u);

    // The fast one ends (150 units in one frame, then collapsing) and comes back to its pool.
    weapons.CreateShot("fast", Vec3(), Vec3(1, 0, 0), -1);
    CPShot* fast = weapons.GetLiveShots()[2].Get();
    RunFrames(weapons, 200, 0.2f);
    ASSERT_EQ(weapons.GetPool("fast")->size(), 2u);
    EXPECT_EQ(weapons.GetPool("fast")->back().Get(), fast);
    weapons.CreateShot("fast", Vec3(), Vec3(1, 0, 0), -1);
    EXPECT_EQ(weapons.GetLiveShots().back().Get(), fast);
    EXPECT_EQ(weapons.GetPool("fast")->size(), 1u);

    // Two lines of one name: the second prototype itself is the first shot handed out.
    CPShot* second = weapons.GetPool("twice")->back().Get();
    weapons.CreateShot("twice", Vec3(), Vec3(1, 0, 0), -1);
    EXPECT_EQ(weapons.GetLiveShots().back().Get(), second);

    // A name without a line does nothing and is remembered with an empty pool.
    const size_t live = weapons.GetLiveShots().size();
    weapons.CreateShot("nothing", Vec3(), Vec3(1, 0, 0), -1);
    weapons.CreateShot("odd", Vec3(), Vec3(1, 0, 0), -1);
    EXPECT_EQ(weapons.GetLiveShots().size(), live);
    ASSERT_NE(weapons.GetPool("nothing"), nullptr);
    EXPECT_TRUE(weapons.GetPool("nothing")->empty());

    // Clearing empties the live list and leaves the pools alone.
    const size_t slowPool = weapons.GetPool("slow")->size();
    weapons.ClearShots();
    EXPECT_TRUE(weapons.GetLiveShots().empty());
    EXPECT_EQ(weapons.GetPool("slow")->size(), slowPool);
}

TEST(WeaponsSystem, FollowUpsRunInTheSameTurnAndCyclesAreBounded) {
    CPWeaponsSystem weapons;
    // "spark" ends in its first step; "boom" lists itself as debris; "loop" is a rocket whose
    // follow-up is itself and which ends on the ground at once.
    LoadWeapons(weapons, "spark sparks x;1;0.1;1;10;1;1;none\n"
                         "tracer trasser player;1000;5;0.1;t.tga;e.fx;103;spark;0;none\n"
                         "boom s_explosion t.tga;boom;;0;0;0;1;1;1;1;0;0;0;1,1,1;;0;;0;;none\n"
                         "loop rocket m;player;0;0;loop;;0;0;0;0;none\n");
    weapons.CreateShot("tracer", Vec3(), Vec3(1, 0, 0), -1);
    RunFrames(weapons, 1, 0.2f);
    // The tracer passed 150 units, launched its spark, and the spark ended in the same walk.
    EXPECT_EQ(weapons.GetLiveShots().size(), 1u);
    EXPECT_EQ(weapons.GetPool("spark")->size(), 2u);

    weapons.ClearShots();
    weapons.CreateShot("boom", Vec3(), Vec3(0, 0, 1), -1);
    EXPECT_EQ(weapons.GetLiveShots().size(), static_cast<size_t>(CPWeaponsSystem::kMaxLaunchDepth));

    weapons.ClearShots();
    weapons.CreateShot("loop", Vec3(), Vec3(1, 0, 0), -1);
    RunFrames(weapons, 1, 0.02f);
    // The turn stops after its step limit; the rocket waits for the next turn.
    EXPECT_EQ(weapons.GetLiveShots().size(), 1u);
}

TEST(WeaponsSystem, MissingFileRefusesTheTask) {
    CPWeaponsSystem weapons;
    EXPECT_FALSE(weapons.Start());
    weapons.CreateShot("anything", Vec3(), Vec3(1, 0, 0), -1);
    EXPECT_TRUE(weapons.GetLiveShots().empty());
}

TEST(WeaponsSystem, ParametersReadAsTheRuntimeDoes) {
    const ShotParams p = {"12.5", "abc", "", "nan", "inf", "-3", "99999999999"};
    EXPECT_FLOAT_EQ(ShotParamFloat(p, 1), 12.5f);
    EXPECT_FLOAT_EQ(ShotParamFloat(p, 2), 0.0f);
    EXPECT_FLOAT_EQ(ShotParamFloat(p, 3), 0.0f);
    EXPECT_FLOAT_EQ(ShotParamFloat(p, 4), 0.0f);
    EXPECT_FLOAT_EQ(ShotParamFloat(p, 5), 0.0f);
    EXPECT_FLOAT_EQ(ShotParamFloat(p, 9), 0.0f);
    EXPECT_EQ(ShotParamInt(p, 6), -3);
    EXPECT_EQ(ShotParamInt(p, 7), INT32_MAX);
    EXPECT_EQ(ShotParam(p, 0), "");
    EXPECT_EQ(ShotParam(p, 8), "");
}

TEST(WeaponsSystem, SoundSpecs) {
    struct Case {
        const char* spec;
        bool twoD;
        const char* file;
    };
    const Case cases[] = {{"none", false, "none"},
                          {"boom.wav,2d", true, "boom.wav"},
                          {"boom.wav", false, "boom.wav"},
                          {"boom.wav,3d", false, "boom.wav"}};
    for (const Case& c : cases) {
        CPRocketShot shot("r");
        shot.Init({"m", "player", "1", "1", "", "", "0", "0", "0", "0", c.spec});
        EXPECT_EQ(shot.IsSound2D(), c.twoD) << c.spec;
        EXPECT_EQ(shot.GetSoundSpec(), c.file) << c.spec;
    }
}

TEST(WeaponsSystem, OrientationTurnsMinusYOntoTheDirection) {
    const Vec3 directions[] = {{1, 0, 0}, {0, 0, 1}, {0, -1, 0}, {0, 1, 0}, {-3, 4, 0}, {1, 1, -1}, {0, 0, -2}};
    for (const Vec3& d : directions) {
        const Vec3 turned = Vec3TransformNormal(Vec3(0, -1, 0), MatRotationQuaternion(ShotOrientation(d)));
        const Vec3 n = Normalize(d);
        EXPECT_NEAR(turned.x, n.x, 1e-5f);
        EXPECT_NEAR(turned.y, n.y, 1e-5f);
        EXPECT_NEAR(turned.z, n.z, 1e-5f);
    }
    const Quat id = ShotOrientation(Vec3(0, -1, 0));
    const Quat zero = ShotOrientation(Vec3());
    for (const Quat& q : {id, zero}) {
        EXPECT_FLOAT_EQ(q.w, 1.0f);
        EXPECT_FLOAT_EQ(q.x, 0.0f);
    }
}

} // namespace

namespace {

// The car fires these shot names; each must be the player's, or it would hit the car that fires it.
TEST(WeaponsSystem, DemoShotsTheCarFiresAreThePlayers) {
    std::ifstream in(std::filesystem::path(VASTREL_SOURCE_DIR) / "data/Data/weapons.dat", std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(text.empty());
    CPWeaponsSystem weapons;
    LoadWeapons(weapons, text);
    for (const char* name : {"trasser11", "trasser12", "trasser13", "gauss1"}) {
        ASSERT_NE(weapons.GetPool(name), nullptr) << name;
        auto* tracer = dynamic_cast<CPTracerShot*>(weapons.GetPool(name)->front().Get());
        ASSERT_NE(tracer, nullptr) << name;
        EXPECT_FALSE(tracer->IsEnemy()) << name;
    }
    ASSERT_NE(weapons.GetPool("rocket1"), nullptr);
    auto* rocket = dynamic_cast<CPRocketShot*>(weapons.GetPool("rocket1")->front().Get());
    ASSERT_NE(rocket, nullptr);
    EXPECT_FALSE(rocket->GetParams().enemy);
    ASSERT_NE(weapons.GetPool("srocket1"), nullptr);
    auto* homing = dynamic_cast<CPHomingRocketShot*>(weapons.GetPool("srocket1")->front().Get());
    ASSERT_NE(homing, nullptr);
    EXPECT_FALSE(homing->GetParams().enemy);

    // Every kind of debris has a line, and something launches each: the barrels' blast throws
    // both gibs, the homing rocket ends in the debris explosion, the gauss slug in a spray.
    struct Line {
        const char* name;
        bool (*kind)(CPShot*);
    };
    const Line lines[] = {
        {"rocket_exp3", [](CPShot* s) { return dynamic_cast<CPDebrisExplosionShot*>(s) != nullptr; }},
        {"gib_crate", [](CPShot* s) { return dynamic_cast<CPGibShot*>(s) && !dynamic_cast<CPGibTrailShot*>(s); }},
        {"gib_spark", [](CPShot* s) { return dynamic_cast<CPGibTrailShot*>(s) != nullptr; }},
        {"oil1", [](CPShot* s) { return dynamic_cast<CPSprayShot*>(s) != nullptr; }},
        {"spike", [](CPShot* s) { return dynamic_cast<CPMineShot*>(s) != nullptr; }},
    };
    for (const Line& line : lines) {
        ASSERT_NE(weapons.GetPool(line.name), nullptr) << line.name;
        EXPECT_TRUE(line.kind(weapons.GetPool(line.name)->front().Get())) << line.name;
    }
    for (const char* uses :
         {"srocket1 s_rocket crate.rdf;player;30;50;rocket_exp3;", "gib_crate,gib_spark", ";oil1;shot.wav"})
        EXPECT_NE(text.find(uses), std::string::npos) << uses;
}

} // namespace
