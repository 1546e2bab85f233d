// The enemy component on an object given a controller in-process, in a loaded level whose player
// car is a stand-in cube: the animations started when one stops, the report marks (the turn to the
// player, melee hits, shots by weapon kind, the rocket counter) also as a real animated part sends
// them, damage and death with its reward, gibs and exactly one "enemy_death". Shots are recorded
// where the weapons floor would launch them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "Core/Math/Mat4.h"
#include "Core/PGlobalTimer.h"
#include "Core/PRandom.h"
#include "Core/PScriptManager.h"
#include "Race/PEnemyController.h"
#include "Race/PGameData.h"
#include "Race/PLevel.h"
#include "Race/PLevelFile.h"
#include "Race/PPhysicData.h"
#include "Race/PPlayer.h"
#include "Race/PRaceEffects.h"
#include "RaceWorldFixture.h"
#include "Render/MeshFile.h"
#include "Render/PAnimatedObject.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

struct Shot {
    std::string name;
    Vec3 position, direction;
};

class RecordingEffects : public CPRaceEffects {
public:
    RecordingEffects() { SetRaceEffects(this); }
    ~RecordingEffects() override { SetRaceEffects(nullptr); }
    void CreateShot(const std::string& name, const Vec3& position, const Vec3& direction) override {
        shots.push_back({name, position, direction});
    }
    void CameraImpact(float) override {}
    void EmitDust(const std::string&, const Vec3&) override {}
    CPRefPtr<CPGameObject> CreateEmitterObject(const std::string&) override { return {}; }
    void ClearShots() override {}
    void StopWeapons() override {}
    void RestartWeapons() override {}
    void ClearParticles() override {}
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const Shot& s : shots) names.push_back(s.name);
        return names;
    }
    std::vector<Shot> shots;
};

// What the player car is hit with.
class HitSink : public CPObjectEventSink {
public:
    struct Hit {
        Vec3 point, direction;
        float amount;
        bool blood, silent;
    };
    void Damage(const Vec3& point, const Vec3& direction, float amount, CPGameObject* source, bool silent) override {
        hits.push_back({point, direction, amount, source == nullptr, silent});
    }
    void NotifyAnimationStopped() override {}
    void NotifyAnimationReport() override {}
    void SetGibs(bool) override {}
    std::vector<Hit> hits;
};

// `frames` frames of 0.1 s each; every frame a single triangle.
MeshFile::VertexAnimation Block(int frames) {
    MeshFile::VertexAnimation block;
    block.frameTime = 240; // 1/2400 s units
    for (int k = 0; k < frames; ++k) {
        MeshFile::Frame frame;
        for (int i = 0; i < 3; ++i) {
            CPVertex v{};
            v.position = Vec3(static_cast<float>(k), static_cast<float>(i), 0);
            frame.vertices.push_back(v);
            frame.indices.push_back(static_cast<CPIndex>(i));
        }
        block.frames.push_back(frame);
    }
    return block;
}

Vec3 Forward(const CPGameObject& object) {
    return Vec3TransformNormal(Vec3(0, -1, 0), MatRotationQuaternion(object.GetRotation()));
}

float AngleBetween(const Vec3& a, const Vec3& b) {
    return std::acos(std::clamp(Dot(Normalize(a), Normalize(b)), -1.0f, 1.0f));
}

class EnemyControllerTest : public RaceWorldFixture {
protected:
    void SetUp() override {
        EngineSrand(1);
        RaceWorldFixture::SetUp();
        if (HasFatalFailure()) return;
        // A game menu and a level script that only collect their commands.
        Put("Data/Scripts/list.dat", "gamemenu t_system\nwatcher t_level level\n");
        Put("Data/Scripts/gamemenu.lua", "");
        Put("Data/Scripts/watcher.lua", "");
        scripts_ = std::make_unique<CPScriptManager>();
        ASSERT_TRUE(scripts_->LoadList());
        ASSERT_TRUE(scripts_->GetScript("gamemenu")->Start());
        ASSERT_TRUE(scripts_->GetScript("watcher")->Start());
    }
    void TearDown() override {
        if (level_ && level_->GetPlayerCar()) level_->GetPlayerCar()->SetEnemyController(nullptr);
        enemy_.reset();
        owner_.Reset();
        part_.Reset();
        level_.Reset();
        scripts_.reset();
        RaceWorldFixture::TearDown();
        TotalTime = 0;
        EngineSrand(1);
    }

    // A level whose player car stands (on its own origin) at `car`, and an enemy at `at` facing -Y
    // with an animated part that knows the enemy's animations.
    void MakeWorld(const Vec3& car, const Vec3& at = Vec3(0, 0, 0)) {
        LevelObjectRecord start;
        start.name = "player1";
        start.position = car - Vec3(0, 0, 5); // the start is raised by 5
        LevelFile layout;
        layout.objects = {start};
        Put("Data/Levels/level9.lvl", WriteLevelBytes(layout));
        level_ = CPRefPtr<CPLevel>(new CPLevel);
        ASSERT_TRUE(level_->Load("level9"));
        ASSERT_NE(level_->GetPlayerCar(), nullptr);
        level_->GetPlayerCar()->UpdateTransform();
        level_->GetPlayerCar()->SetEnemyController(&carHits_);

        owner_ = CPRefPtr<CPGameObject>(new CPGameObject("enemy"));
        owner_->SetPosition(at);
        owner_->UpdateTransform();
        part_ = CPRefPtr<CPAnimatedObject>(new CPAnimatedObject(owner_.Get()));
        owner_->SetRenderType(CPGameObject::RenderAnimatedMesh);
        owner_->SetRenderPart(part_);
        for (const char* name : {"idle", "melee1", "melee2", "melee3", "fire_in", "fire", "fire_out", "death1"})
            part_->AddAnimation(name, animations_.Get(std::string(name) + "&enemy.anm", Block(4)));
        enemy_ = std::make_unique<CPEnemyController>(owner_.Get());
        enemy_->health = 100;
        enemy_->name = "grunt";
        enemy_->bloodKind = "blood1";
        enemy_->meleeCount = 2;
        enemy_->melee = {{1, Vec3(0, -5, 0), Vec3(0, 0, 0.5f), 0, 7}, {2, Vec3(0, -5, 0), Vec3(0, 0, 0.5f), 0, 11}};
        enemy_->fireCount = 2;
        enemy_->muzzle = Vec3(0, -1, 1);
    }

    // A report mark of the animation now requested.
    void Report(const std::string& animation) {
        enemy_->request.name = animation;
        owner_->NotifyAnimationReport();
    }
    void Stopped(const std::string& animation) {
        enemy_->request.name = animation;
        owner_->NotifyAnimationStopped();
    }

    std::vector<std::string> Commands(const char* script, const char* command) const {
        std::vector<std::string> found;
        // The queue takes new commands at its front.
        const auto& queue = scripts_->GetScript(script)->GetQueue();
        for (auto it = queue.rbegin(); it != queue.rend(); ++it) {
            const CPCommand& c = *it;
            if (c.name != command) continue;
            std::string text;
            for (size_t i = 0; i < c.params.size(); ++i) text += (i ? "," : "") + c.params[i];
            found.push_back(text);
        }
        return found;
    }

    std::unique_ptr<CPScriptManager> scripts_;
    CPGameData data_;
    RecordingEffects effects_;
    HitSink carHits_;
    CPRefPtr<CPLevel> level_;
    CPRefPtr<CPGameObject> owner_;
    CPRefPtr<CPAnimatedObject> part_;
    std::unique_ptr<CPEnemyController> enemy_;
};

TEST_F(EnemyControllerTest, EachStoppedAnimationStartsWhatFollowsIt) {
    MakeWorld(Vec3(0, -4, 0));
    enemy_->meleeCount = 3;
    enemy_->melee.push_back({3, Vec3(), Vec3(), 0, 0});
    enemy_->fireCount = 6;
    const struct {
        const char* ended;
        int meleeCount;
        int fireState;
        const char* started; // "" nothing new
        int reportFrame;
        bool actionReset;
        int fireStateAfter;
        int stateAfter; // 0 none
        bool activeAfter;
    } cases[] = {
        {"melee1", 3, 0, "melee?", 0, true, 0, 0, true},  {"melee2", 3, 0, "melee?", 0, true, 0, 0, true},
        {"melee1", -2, 0, "melee1", 1, true, 0, 0, true}, // no count: the first melee
        {"melee2", 0, 0, "melee1", 1, true, 0, 0, true},  {"fire", 3, 1, "fire", 6, true, 1, 0, true},
        {"fire", 3, 0, "", 0, false, 0, 0, true}, // the loop is over
        {"fire_in", 3, 0, "fire", 6, false, 1, 0, true},  {"fire_out", 3, 1, "", 0, false, 0, 1, true},
        {"death1", 3, 0, "", 0, false, 0, 0, false},      {"death2", 3, 0, "", 0, false, 0, 0, false},
        {"idle", 3, 1, "", 0, false, 1, 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.ended) + " with melee count " + std::to_string(c.meleeCount));
        part_->currentName.clear();
        enemy_->meleeCount = c.meleeCount;
        enemy_->fireState = c.fireState;
        enemy_->action.marks = 5;
        owner_->SetActive(true);
        enemy_->EnterState(0);
        enemy_->stateTime = 3;
        EngineSrand(11);
        const int draw = EngineRand();
        EngineSrand(11);
        Stopped(c.ended);

        std::string started = c.started;
        int reportFrame = c.reportFrame;
        if (started == "melee?") {
            const int n = draw % c.meleeCount + 1;
            started = "melee" + std::to_string(n);
            reportFrame = n; // melee record n's count
        }
        if (started.empty()) {
            EXPECT_EQ(part_->currentName, "");
            EXPECT_EQ(enemy_->request.name, c.ended);
        } else {
            EXPECT_EQ(enemy_->request.name, started);
            EXPECT_EQ(part_->currentName, started); // started on the owner, from the start
            EXPECT_EQ(part_->playCount, 1);
            EXPECT_EQ(part_->reportFrame, reportFrame);
            EXPECT_EQ(part_->startTime, TotalTime);
        }
        EXPECT_EQ(enemy_->action.marks, c.actionReset ? 0 : 5);
        EXPECT_EQ(enemy_->fireState, c.fireStateAfter);
        if (c.stateAfter) {
            ASSERT_NE(enemy_->GetCurrentState(), nullptr);
            EXPECT_EQ(enemy_->GetCurrentState()->number, c.stateAfter);
            EXPECT_EQ(enemy_->stateTime, 0.0f);
        } else {
            EXPECT_EQ(enemy_->GetCurrentState()->number, 0);
        }
        EXPECT_EQ(owner_->IsActive(), c.activeAfter);
    }
}

TEST_F(EnemyControllerTest, SetAnimationIgnoresTheSameNameUnlessRestarted) {
    MakeWorld(Vec3(0, -4, 0));
    TotalTime = 1.0;
    enemy_->SetAnimation("melee1", 1, false, 2);
    EXPECT_EQ(part_->currentName, "melee1");
    EXPECT_EQ(part_->startTime, 1.0);
    EXPECT_EQ(enemy_->request.speed, 1.0f);

    TotalTime = 2.0;
    enemy_->SetAnimation("melee1", 1, false, 3);
    EXPECT_EQ(part_->startTime, 1.0);
    EXPECT_EQ(part_->reportFrame, 2);
    enemy_->SetAnimation("melee1", 1, true, 3);
    EXPECT_EQ(part_->startTime, 2.0);
    EXPECT_EQ(part_->reportFrame, 3);
    enemy_->SetAnimation("fire", 0, false, -1);
    EXPECT_EQ(part_->currentName, "fire");
    EXPECT_EQ(part_->playCount, 0);
}

// The owner turns about z toward the player car at every mark: forward (0, -1, 0) through its
// rotation onto the horizontal direction to the car, unless the two are within 0.0001 of square.
TEST_F(EnemyControllerTest, AReportTurnsTheOwnerTowardThePlayerCar) {
    const float kQuarter = 1.5707963f;
    const struct {
        const char* what;
        float ownerYaw; // about z
        Vec3 car;
        bool turns;
    } cases[] = {
        {"straight ahead", 0, Vec3(0, -10, 0), false},
        {"ahead and above", 0, Vec3(0, -10, 30), false},
        {"ahead left", 0, Vec3(6, -6, 2), true},
        {"ahead right", 0, Vec3(-6, -6, -1), true},
        {"behind left", 0, Vec3(3, 8, 0), true},
        {"behind right", 0, Vec3(-3, 8, 0), true},
        {"square to the side", 0, Vec3(10, 0, 0), false},
        {"turned owner, car ahead of it", kQuarter, Vec3(10, 0, 0), false},
        {"turned owner, car behind", 0.5f, Vec3(-2, 9, 0), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        MakeWorld(c.car);
        owner_->SetRotation(QuatRotationAxis(Vec3(0, 0, 1), c.ownerYaw));
        owner_->UpdateTransform();
        const Vec3 before = Forward(*owner_);
        Report("idle");
        const Vec3 toCar = Normalize(Vec3(c.car.x, c.car.y, 0));
        EXPECT_NEAR(enemy_->facing.x, toCar.x, 1e-5f);
        EXPECT_NEAR(enemy_->facing.y, toCar.y, 1e-5f);
        EXPECT_EQ(enemy_->facing.z, 0.0f);
        const Vec3 after = Forward(*owner_);
        if (c.turns) {
            EXPECT_NEAR(after.x, toCar.x, 1e-4f);
            EXPECT_NEAR(after.y, toCar.y, 1e-4f);
            EXPECT_NEAR(after.z, 0.0f, 1e-5f);
        } else {
            EXPECT_NEAR(AngleBetween(after, before), 0.0f, 1e-3f);
        }
        // Its matrix follows at once (the muzzle is read from it).
        EXPECT_NEAR(owner_->GetWorldMatrix().m[1][0], -after.x, 1e-5f);
        EXPECT_NEAR(owner_->GetWorldMatrix().m[1][1], -after.y, 1e-5f);
    }
}

TEST_F(EnemyControllerTest, ACarRightAboveOrNoCarLeavesTheOwnerAsItWas) {
    MakeWorld(Vec3(0, 0, 20));
    const Quat rotation = QuatRotationAxis(Vec3(0, 0, 1), 0.3f);
    owner_->SetRotation(rotation);
    enemy_->weaponKind = "plasma";
    Report("fire"); // straight up: no horizontal direction, but the shot still aims
    EXPECT_EQ(owner_->GetRotation(), rotation);
    ASSERT_EQ(effects_.shots.size(), 1u);
    EXPECT_TRUE(std::isfinite(effects_.shots[0].direction.x));

    level_.Reset();
    CPManagedObject::CollectGarbage();
    ASSERT_EQ(GetLevel(), nullptr);
    Report("fire");
    Report("melee1");
    EXPECT_EQ(owner_->GetRotation(), rotation);
    EXPECT_EQ(effects_.shots.size(), 1u);
    EXPECT_TRUE(carHits_.hits.empty());
}

TEST_F(EnemyControllerTest, FireMarksShootByWeaponKind) {
    const struct {
        const char* kind;
        const char* shot; // "" none
        size_t count;
        float spread;
    } cases[] = {
        {"hmgun", "trasser22", 1, 0.1f},
        {"plasma", "plazma_shot2", 1, 0.0f},
        {"shotgun", "trasser23", 8, 0.4f},
        {"mgun", "trasser21", 1, 0.0f},
        {"lgun", "trasser21", 1, 0.0f},
        {"explosion", "", 0, 0.0f},
        {"bazooka", "", 0, 0.0f},
        {"", "", 0, 0.0f},
        {"HMGUN", "", 0, 0.0f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        effects_.shots.clear();
        MakeWorld(Vec3(0, -20, 0), Vec3(2, 0, 0));
        enemy_->weaponKind = c.kind;
        Report("fire");
        // Turned toward the car first, so the muzzle is read from the turned owner.
        const Vec3 muzzle = Vec3TransformCoord(Vec3(0, -1, 1), owner_->GetWorldMatrix());
        const Vec3 aim = Normalize(Vec3(0, -20, 0.3f) - muzzle);
        ASSERT_EQ(effects_.shots.size(), c.count);
        for (const Shot& s : effects_.shots) {
            EXPECT_EQ(s.name, c.shot);
            EXPECT_NEAR(Length(s.position - muzzle), 0.0f, 1e-5f);
            EXPECT_NEAR(Length(s.direction), 1.0f, 1e-5f);
            EXPECT_LE(AngleBetween(s.direction, aim), c.spread + 1e-3f);
        }
        if (c.count == 8) {
            // Every pellet takes its own turn and roll.
            for (size_t i = 1; i < c.count; ++i)
                EXPECT_GT(Length(effects_.shots[i].direction - effects_.shots[0].direction), 1e-4f);
        }
    }
}

TEST_F(EnemyControllerTest, TheRocketCounterMakesEveryThirdShotSpecial) {
    for (unsigned seed : {3u, 4u, 9u}) {
        SCOPED_TRACE(seed);
        effects_.shots.clear();
        MakeWorld(Vec3(0, -20, 0));
        enemy_->weaponKind = "rocket";
        EngineSrand(seed);
        const int first = EngineRand(), second = EngineRand();
        EngineSrand(seed);
        std::vector<int> counters;
        for (int i = 0; i < 7; ++i) {
            Report("fire");
            counters.push_back(enemy_->rocketCounter);
        }
        const std::string special1 = first % 2 == 0 ? "srocket2" : "plazma_shot2";
        const std::string special2 = second % 2 == 0 ? "srocket2" : "plazma_shot2";
        EXPECT_EQ(effects_.Names(), (std::vector<std::string>{"plazma_shot2", "plazma_shot2", special1, "plazma_shot2",
                                                              "plazma_shot2", special2, "plazma_shot2"}));
        EXPECT_EQ(counters, (std::vector<int>{1, 2, 0, 1, 2, 0, 1}));
    }
}

TEST_F(EnemyControllerTest, MeleeMarksHitThePlayerCarWithinReach) {
    const struct {
        const char* what;
        const char* animation;
        Vec3 car;
        Vec3 attack;
        float expected; // 0: no hit
    } cases[] = {
        {"first melee in reach", "melee1", Vec3(0, -4, 0), Vec3(0, -5, 0), 7},
        {"second melee uses its own record", "melee2", Vec3(0, -4, 0), Vec3(0, -5, 0), 11},
        {"out of reach", "melee1", Vec3(0, -8, 0), Vec3(0, -5, 0), 0},
        {"to the side: the attack turns with the owner", "melee1", Vec3(3, -3, 0), Vec3(0, -5, 0), 7},
        {"behind: turned round first", "melee2", Vec3(0.5f, 4, 0), Vec3(0, -5, 0), 11},
        {"no reach at all", "melee1", Vec3(0, -4, 0), Vec3(0, 0, 0), 0},
        {"a reach that is not a number", "melee1", Vec3(0, -4, 0), Vec3(0, kNaN, 0), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        carHits_.hits.clear();
        MakeWorld(c.car);
        for (CPEnemyMelee& m : enemy_->melee) m.attack = c.attack;
        Report(c.animation);
        if (c.expected == 0) {
            EXPECT_TRUE(carHits_.hits.empty());
            continue;
        }
        ASSERT_EQ(carHits_.hits.size(), 1u);
        const HitSink::Hit& hit = carHits_.hits[0];
        EXPECT_EQ(hit.amount, c.expected);
        EXPECT_TRUE(hit.blood); // no source object
        EXPECT_FALSE(hit.silent);
        const Vec3 toCar = Normalize(Vec3(c.car.x, c.car.y, 0));
        EXPECT_NEAR(Length(hit.direction - toCar), 0.0f, 1e-4f);
        // The hit point lies on the cube's face, along the ray from the attack point.
        const Vec3 from = Vec3(0, 0, 0.5f);
        EXPECT_NEAR(Length(Cross(hit.point - from, toCar)), 0.0f, 1e-3f);
        EXPECT_LT(Length(hit.point - from), Length(c.car - Vec3(0, 0, 0)));
        EXPECT_GT(Length(hit.point - from), Length(c.car) - 1.0f);
        EXPECT_TRUE(effects_.shots.empty());
    }
    // Without its record a melee mark does nothing.
    carHits_.hits.clear();
    MakeWorld(Vec3(0, -4, 0));
    enemy_->melee.resize(1);
    Report("melee2");
    EXPECT_TRUE(carHits_.hits.empty());
    Report("melee1");
    EXPECT_EQ(carHits_.hits.size(), 1u);
}

TEST_F(EnemyControllerTest, AnExplodingEnemyBlowsUpOnItsMeleeMarkAndSaysSoEachTime) {
    MakeWorld(Vec3(0, -4, 0), Vec3(1, 2, 3));
    enemy_->weaponKind = "explosion";
    enemy_->melee[0].offset = Vec3(0, -1, 0);
    enemy_->reward = 50;
    data_.SetMoney(10);
    Report("melee1");
    ASSERT_EQ(effects_.Names(), std::vector<std::string>{"rocket_exp2"});
    // The attack point turned with the owner toward the car at (0, -4).
    const Vec3 toCar = Normalize(Vec3(-1, -6, 0));
    EXPECT_NEAR(Length(effects_.shots[0].position - (Vec3(1, 2, 3) + toCar)), 0.0f, 1e-4f);
    EXPECT_TRUE(carHits_.hits.empty());
    ASSERT_NE(enemy_->GetCurrentState(), nullptr);
    EXPECT_EQ(enemy_->GetCurrentState()->number, CPEnemyController::kStateDead);
    EXPECT_TRUE(enemy_->deathSent[1]);
    EXPECT_EQ(Commands("watcher", "enemy_death"), std::vector<std::string>{"grunt,1.00,2.00,3.00"});
    EXPECT_EQ(enemy_->health, 100.0f);

    // Its mark again: the self-destruct sends its message whatever the flags hold. Then shot
    // down: the reward, but no message from the damage, whose flag check finds them set.
    Report("melee1");
    EXPECT_EQ(Commands("watcher", "enemy_death").size(), 2u);
    owner_->Damage(Vec3(), Vec3(0, 1, 0), 150, nullptr, false);
    EXPECT_EQ(Commands("watcher", "enemy_death").size(), 2u);
    EXPECT_EQ(data_.GetMoney(), 60.0f);
    EXPECT_EQ(data_.killCount, 1);
    // A melee enemy of the second animation never explodes.
    effects_.shots.clear();
    Report("melee2");
    EXPECT_TRUE(std::none_of(effects_.shots.begin(), effects_.shots.end(),
                             [](const Shot& s) { return s.name == "rocket_exp2"; }));
}

TEST_F(EnemyControllerTest, DamageStepsByFlagsAndBloodKind) {
    const struct {
        const char* what;
        const char* blood;
        bool ignore, noBlood, oilOnly;
        float amount;
        float health; // after
        bool hurt;
        bool bloodShot;
    } cases[] = {
        {"flesh", "blood1", false, false, false, 30, 70, true, true},
        {"machine", "oil1", false, false, false, 30, 70, true, true},
        {"no blood", "blood1", false, true, false, 30, 70, true, false},
        {"oil only on flesh", "blood1", false, false, true, 30, 100, true, false},
        {"oil only on a machine", "oil1", false, false, true, 30, 70, true, true},
        {"ignored", "blood1", true, false, false, 30, 100, false, false},
        {"not a number", "blood1", false, false, false, kNaN, 100, true, false},
        {"healing", "blood1", false, false, false, -20, 120, true, true},
        {"no blood kind", "", false, false, false, 30, 70, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        effects_.shots.clear();
        MakeWorld(Vec3(0, -4, 0));
        CPRefPtr<CPPhysicData> physics(new CPPhysicData(owner_.Get()));
        physics->reapply = true;
        owner_->SetPhysicData(CPRefPtr<CPBodyLink>(physics.Get()));
        enemy_->bloodKind = c.blood;
        enemy_->ignoreDamage = c.ignore;
        enemy_->Damage(Vec3(1, 2, 3), Vec3(0, 1, 0), c.amount, c.noBlood, c.oilOnly);
        EXPECT_EQ(enemy_->health, c.health);
        EXPECT_EQ(enemy_->hurt, c.hurt);
        EXPECT_EQ(physics->reapply, c.ignore);
        if (c.bloodShot) {
            ASSERT_EQ(effects_.shots.size(), 1u);
            EXPECT_EQ(effects_.shots[0].name, c.blood);
            EXPECT_EQ(effects_.shots[0].position, Vec3(1, 2, 3));
            EXPECT_EQ(effects_.shots[0].direction, Vec3(0, 1, 0));
        } else {
            EXPECT_TRUE(effects_.shots.empty());
        }
        EXPECT_FALSE(enemy_->dead);
        EXPECT_EQ(enemy_->GetCurrentState(), nullptr);
        EXPECT_TRUE(Commands("watcher", "enemy_death").empty());
    }
}

TEST_F(EnemyControllerTest, TheGameObjectForwardsItsDamageFlags) {
    MakeWorld(Vec3(0, -4, 0));
    enemy_->bloodKind = "oil1";
    // A source object means no blood; silent means only an oily enemy is hurt.
    owner_->Damage(Vec3(), Vec3(1, 0, 0), 10, owner_.Get(), false);
    EXPECT_EQ(enemy_->health, 90.0f);
    EXPECT_TRUE(effects_.shots.empty());
    owner_->Damage(Vec3(), Vec3(1, 0, 0), 10, nullptr, true);
    EXPECT_EQ(enemy_->health, 80.0f);
    EXPECT_EQ(effects_.Names(), std::vector<std::string>{"oil1"});
    enemy_->bloodKind = "blood1";
    owner_->Damage(Vec3(), Vec3(1, 0, 0), 10, nullptr, true);
    EXPECT_EQ(enemy_->health, 80.0f);

    // An enemy without physics data is hurt all the same.
    owner_->SetPhysicData({});
    enemy_->hurt = false;
    owner_->Damage(Vec3(), Vec3(1, 0, 0), 10, nullptr, false);
    EXPECT_EQ(enemy_->health, 70.0f);
    EXPECT_TRUE(enemy_->hurt);

    // Gone, it leaves the object without a controller.
    enemy_.reset();
    EXPECT_EQ(owner_->GetEnemyController(), nullptr);
    owner_->Damage(Vec3(), Vec3(1, 0, 0), 10, nullptr, false);
}

TEST_F(EnemyControllerTest, DeathPaysTheRewardAndSendsOneEnemyDeath) {
    MakeWorld(Vec3(0, -4, 0), Vec3(-1.5f, 2.25f, 0.13f));
    data_.SetMoney(100);
    data_.killCount = 4;
    enemy_->reward = 25;
    enemy_->gibs = true;
    enemy_->bloodKind = "oil1"; // a machine bursts into no gibs
    enemy_->Damage(Vec3(), Vec3(1, 0, 0), 60, false, false);
    EXPECT_TRUE(Commands("watcher", "enemy_death").empty());
    enemy_->Damage(Vec3(), Vec3(1, 0, 0), 60, false, false);
    EXPECT_EQ(enemy_->health, -20.0f);
    EXPECT_TRUE(enemy_->dead);
    EXPECT_EQ(data_.GetMoney(), 125.0f);
    EXPECT_EQ(data_.killCount, 5);
    EXPECT_EQ(Commands("gamemenu", "change_money"), (std::vector<std::string>{"100.00", "125.00"}));
    EXPECT_EQ(Commands("watcher", "enemy_death"), std::vector<std::string>{"grunt,-1.50,2.25,0.13"});
    EXPECT_TRUE(enemy_->deathSent[0]);
    EXPECT_EQ(enemy_->GetCurrentState()->number, CPEnemyController::kStateDead);
    EXPECT_TRUE(owner_->IsVisible());
    EXPECT_EQ(effects_.Names(), (std::vector<std::string>{"oil1", "oil1"}));

    // Hit again while dead: blood and the dead state again, nothing more.
    enemy_->EnterState(0);
    enemy_->stateTime = 2;
    for (int i = 0; i < 3; ++i) enemy_->Damage(Vec3(), Vec3(1, 0, 0), 5, false, false);
    EXPECT_EQ(enemy_->health, -35.0f);
    EXPECT_EQ(enemy_->GetCurrentState()->number, CPEnemyController::kStateDead);
    EXPECT_EQ(enemy_->stateTime, 0.0f);
    EXPECT_EQ(data_.GetMoney(), 125.0f);
    EXPECT_EQ(data_.killCount, 5);
    EXPECT_EQ(Commands("watcher", "enemy_death").size(), 1u);
    EXPECT_EQ(effects_.shots.size(), 5u);
}

TEST_F(EnemyControllerTest, AFleshyEnemyMarkedForGibsBurstsIntoThem) {
    for (unsigned seed : {1u, 2u, 5u, 8u}) {
        SCOPED_TRACE(seed);
        effects_.shots.clear();
        MakeWorld(Vec3(0, -4, 0), Vec3(3, 4, 5));
        enemy_->gibs = true;
        enemy_->gibHeight = 1.5f;
        EngineSrand(seed);
        std::vector<int> draws;
        for (int i = 0; i < 60; ++i) draws.push_back(EngineRand());
        EngineSrand(seed);
        const size_t deaths = Commands("watcher", "enemy_death").size();
        enemy_->Damage(Vec3(), Vec3(1, 0, 0), 100, true, false);
        EXPECT_FALSE(owner_->IsVisible());
        const size_t count = 5 + static_cast<size_t>(draws[0] % 5);
        ASSERT_EQ(effects_.shots.size(), count);
        for (size_t i = 0; i < count; ++i) {
            const Shot& gib = effects_.shots[i];
            // Per gib: its kind, then three angles.
            EXPECT_EQ(gib.name, draws[1 + 4 * i] % 2 ? "gib1" : "gib2");
            EXPECT_EQ(gib.position, Vec3(3, 4, 6.5f));
            EXPECT_NEAR(Length(gib.direction), 1.0f, 1e-5f);
        }
        EXPECT_EQ(Commands("watcher", "enemy_death").size(), deaths + 1);
    }
    // Not marked, or marked but not of flesh: whole.
    for (const char* blood : {"blood1", "oil1"}) {
        effects_.shots.clear();
        MakeWorld(Vec3(0, -4, 0));
        enemy_->gibs = std::string(blood) == "oil1";
        enemy_->bloodKind = blood;
        enemy_->Damage(Vec3(), Vec3(1, 0, 0), 100, true, false);
        EXPECT_TRUE(owner_->IsVisible());
        EXPECT_TRUE(effects_.shots.empty());
    }
}

// The fire loop as the animated part drives it: "fire_in" ends, "fire" plays once per pass with
// its mark at frame 2 (one shot each), and once the fire state is cleared the next pass is the
// last.
TEST_F(EnemyControllerTest, TheAnimatedPartsMarksDriveTheFireLoop) {
    MakeWorld(Vec3(0, -20, 0));
    enemy_->weaponKind = "mgun";
    TotalTime = 0;
    enemy_->SetAnimation("fire_in", 1, true, -1);
    std::vector<CPVertex> vertices(3);
    std::vector<CPIndex> indices(3);
    std::vector<int> shotsAt;
    for (int step = 0; step <= 40; ++step) {
        TotalTime = step * 0.05 + 0.001;
        if (step == 30) enemy_->fireState = 0;
        part_->Fill(vertices.data(), indices.data(), 0, 0);
        if (effects_.shots.size() > shotsAt.size()) shotsAt.push_back(step);
    }
    // Fills come every 0.05 s. fire_in (4 frames of 0.1 s) is seen to end at 0.401 s (step 8) and
    // "fire" starts there, its mark at frame 2 shown at step 12. Each pass is seen to end at the
    // first fill past its 0.4 s, so the next starts 9 fills later. The fire state cleared before
    // step 30 lets the running pass fire its mark and end without another.
    EXPECT_EQ(shotsAt, (std::vector<int>{12, 21, 30}));
    EXPECT_EQ(effects_.Names(), std::vector<std::string>(shotsAt.size(), "trasser21"));
    EXPECT_EQ(enemy_->fireState, 0);
    EXPECT_TRUE(part_->stopped); // the last pass ended and nothing followed
}

} // namespace
