// The car's weapon without the weapons floor: a recorder stands in for the shots and particles, the
// catalog and the race configuration are filled by hand, and the car model is a few named parts.
#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include "Core/Math/Mat4.h"
#include "Core/PGlobalTimer.h"
#include "Core/PLuaScript.h"
#include "Core/PRandom.h"
#include "Core/PScriptManager.h"
#include "Race/PGameData.h"
#include "Race/PPlayer.h"
#include "Render/PRenderObject.h"
#include "ScriptHarness.h"

namespace {

constexpr float kPi = 3.14159265358979f;

struct ShotRecord {
    std::string name;
    Vec3 position, direction;
    float damage;
    CPGameObject* owner;
};

class RecordingEffects : public CPCarWeaponEffects {
public:
    RecordingEffects() { SetCarWeaponEffects(this); }
    ~RecordingEffects() override { SetCarWeaponEffects(nullptr); }
    void FireShot(const std::string& name, const Vec3& position, const Vec3& direction, float damage,
                  const CPRefPtr<CPGameObject>& owner, void*) override {
        shots.push_back({name, position, direction, damage, owner.Get()});
    }
    void EmitParticle(const std::string& type, const Vec3& position, const Vec3& velocity, const Vec3& acceleration,
                      float size, float life) override {
        particles.push_back({type, position, velocity, acceleration, size, life});
    }
    void EmitFlame(const Vec3& position, const Vec3& velocity, float life, CPPlayer* car) override {
        flames.push_back({"firethrower", position, velocity, Vec3(), 0.0f, life});
        flameOwner = car;
    }
    struct ParticleRecord {
        std::string type;
        Vec3 position, velocity, acceleration;
        float size, life;
    };
    std::vector<ShotRecord> shots;
    std::vector<ParticleRecord> particles, flames;
    CPPlayer* flameOwner = nullptr;
};

class DamageSink : public CPObjectEventSink {
public:
    void Damage(const Vec3&, const Vec3& direction, float amount, CPGameObject*, bool) override {
        hits.push_back({direction, amount});
    }
    void NotifyAnimationStopped() override {}
    void NotifyAnimationReport() override {}
    void SetGibs(bool) override {}
    std::vector<std::pair<Vec3, float>> hits;
};

// Weapon catalog record: pellets (2), damage (5), shots per load (7), shots per second (8).
CPCatalogItem Record(const std::string& name, double pellets, double damage, double load, double rate) {
    CPCatalogItem item;
    item.name = name;
    item.price = 100;
    item.numbers = {pellets, 0, 1, damage, 0, load, rate, 0};
    return item;
}

class PlayerWeaponTest : public ::testing::Test {
protected:
    void SetUp() override {
        FrameDelta = 0.01f;
        EngineSrand(7);
        for (const char* name : {"mgun", "hmgun", "shotgun", "rlauncher", "plasma", "firethrower", "gauss"})
            data.catalogs[CatalogWeapons].Add(Record(name, 1, 5, 50, 5));
        data.catalogs[CatalogWeapons].Add(Record("shotgun", 6, 3, 60, 2));
        data.catalogs[CatalogWeapons].Add(Record("nokind", 1, 5, 50, 5));
    }
    void TearDown() override {
        car.Reset();
        CPManagedObject::CollectGarbage();
        FrameDelta = 0.0f;
    }
    // A car at the origin facing -Y (its model axis) carrying the weapons' parts.
    void MakeCar(std::initializer_list<std::string> weapons, std::initializer_list<std::string> skip = {}) {
        car = CPRefPtr<CPPlayer>(new CPPlayer);
        for (const std::string& w : weapons) {
            for (const std::string& name : {w, "flare_" + w, w + "_01", w + "_02", w + "_03"}) {
                if (std::find(skip.begin(), skip.end(), name) != skip.end()) continue;
                CPRefPtr<CPGameObject> part(new CPGameObject(name));
                part->SetPosition(name == w ? Vec3(0, 0, 1) : Vec3(0, -1, 1));
                car->AddChild(part);
            }
        }
        car->UpdateTransform();
    }
    void Arm(const std::string& w1, const std::string& w2 = "", const std::string& w3 = "") {
        data.raceConfiguration.weapon1 = w1;
        data.raceConfiguration.weapon2 = w2;
        data.raceConfiguration.weapon3 = w3;
    }
    void Mount(int slot) {
        car->weapon.slot = slot;
        car->MountWeapon();
    }
    void Frames(int n, const Vec3& aim = Vec3(0, -20, 1), CPGameObject* target = nullptr) {
        for (int i = 0; i < n; ++i) car->UpdateWeapon(aim, target);
    }
    size_t Count(const std::string& name) const {
        return static_cast<size_t>(std::count_if(effects.shots.begin(), effects.shots.end(),
                                                 [&](const ShotRecord& s) { return s.name == name; }));
    }

    CPGameData data;
    RecordingEffects effects;
    CPRefPtr<CPPlayer> car;
};

TEST_F(PlayerWeaponTest, FiresFivePerSecondSpendingItsLoadThenBlocksEveryWeapon) {
    MakeCar({"mgun", "gauss"});
    Arm("mgun", "gauss");
    Mount(0);
    ASSERT_TRUE(car->weapon.part);
    car->SetFiring(true);
    Frames(100); // one second
    EXPECT_EQ(Count("trasser11"), 5u);
    EXPECT_EQ(effects.particles.size(), 5u); // a shell casing each
    EXPECT_NEAR(car->weapon.ammunition[0], 1.0f - 5 * 0.02f, 1e-5f);
    const ShotRecord& first = effects.shots.front();
    EXPECT_EQ(first.damage, 5.0f);
    EXPECT_EQ(first.owner, car->weapon.part.Get());
    // The first shot shows the first flash; the muzzle is its world position.
    EXPECT_EQ(first.position, Vec3(0, -1, 1));

    Frames(1000);
    EXPECT_EQ(Count("trasser11"), 50u); // exactly a full load
    EXPECT_TRUE(car->weapon.blocked);
    EXPECT_NEAR(car->weapon.ammunition[0], 0.0f, 1e-6f);

    // One flag for the car: the full second slot does not fire either, not even after a refill.
    EXPECT_TRUE(car->SelectNextWeapon());
    car->MountWeapon();
    car->SetFiring(true);
    EXPECT_FALSE(car->weapon.firing);
    car->Reset();
    EXPECT_EQ(car->weapon.ammunition[0], 1.0f);
    EXPECT_TRUE(car->weapon.blocked);
    Frames(100);
    EXPECT_EQ(Count("gauss1"), 0u);
}

TEST_F(PlayerWeaponTest, ShotgunFiresSixPelletsWithinTheSpreadBelowTheAim) {
    MakeCar({"shotgun"});
    Arm("shotgun");
    Mount(0);
    car->SetFiring(true);
    Frames(1);
    ASSERT_EQ(Count("trasser13"), 6u);
    EXPECT_EQ(effects.particles.size(), 6u);
    EXPECT_NEAR(car->weapon.ammunition[0], 1.0f - 6.0f / 60.0f, 1e-6f);
    const Vec3 low = Normalize(Vec3(0, -1, -0.2f));
    for (const ShotRecord& s : effects.shots) {
        const float angle = std::acos(std::clamp(Dot(Normalize(s.direction), low), -1.0f, 1.0f));
        EXPECT_LE(angle, 0.4f + 1e-4f);
    }
    // Two shots per second: nothing more within the next 0.4 s.
    Frames(40);
    EXPECT_EQ(Count("trasser13"), 6u);
}

TEST_F(PlayerWeaponTest, AimingByKind) {
    const float elevation = kPi / 2 - std::asin(196.0f / 289.0f) / 2;
    EXPECT_NEAR(elevation * 180.0f / kPi, 68.6f, 0.05f);
    const struct {
        const char* weapon;
        Vec3 aim;
        const char* shot;
        Vec3 direction; // as launched
    } cases[] = {
        // 20 units away on the ground: the high arc, the elevation as third component.
        {"rlauncher", Vec3(0, -20, 1), "rocket1", Vec3(0, -1, elevation)},
        // A point high above but no object aimed at: the shot flies level.
        {"mgun", Vec3(10, 0, 40), "trasser11", Vec3(1, 0, 0)},
        {"gauss", Vec3(0, 30, -5), "gauss1", Vec3(0, 1, 0)},
    };
    for (const auto& c : cases) {
        effects.shots.clear();
        MakeCar({c.weapon});
        Arm(c.weapon);
        Mount(0);
        car->SetFiring(true);
        Frames(1, c.aim);
        ASSERT_EQ(Count(c.shot), 1u) << c.weapon;
        const Vec3 d = effects.shots[0].direction;
        EXPECT_NEAR(d.x, c.direction.x, 1e-5f) << c.weapon;
        EXPECT_NEAR(d.y, c.direction.y, 1e-5f) << c.weapon;
        EXPECT_NEAR(d.z, c.direction.z, 1e-5f) << c.weapon;
    }
    // The gun turned about Z toward the point: its model axis (0, -1, 0) now points at it.
    const Vec3 gunAxis = Vec3TransformNormal(Vec3(0, -1, 0), MatRotationQuaternion(car->weapon.part->GetRotation()));
    EXPECT_NEAR(gunAxis.y, 1.0f, 1e-5f);
    // Straight above the muzzle: no direction on the ground, the last yaw stays.
    const float yaw = car->weapon.yaw;
    Frames(1, Vec3(0, 0, 50));
    EXPECT_TRUE(std::isfinite(car->weapon.yaw));
    EXPECT_EQ(car->weapon.yaw, yaw);
}

TEST_F(PlayerWeaponTest, PlasmaRidesTheShownFlashAndTheFlashesCycle) {
    MakeCar({"plasma"});
    Arm("plasma");
    Mount(0);
    car->SetFiring(true);
    FrameDelta = 0.25f; // longer than the pause between shots: one shot an update
    for (int i = 0; i < 5; ++i) {
        Frames(1);
        ASSERT_EQ(effects.shots.size(), static_cast<size_t>(i + 1));
        const ShotRecord& s = effects.shots.back();
        EXPECT_EQ(s.position, Vec3());
        EXPECT_EQ(s.direction, Vec3(0, -1, 0));
        EXPECT_EQ(s.owner, car->weapon.flashes[static_cast<size_t>(i % 4)].Get());
        for (size_t f = 0; f < 4; ++f) EXPECT_EQ(car->weapon.flashes[f]->IsVisible(), f == static_cast<size_t>(i % 4));
    }
}

TEST_F(PlayerWeaponTest, WeaponsThatCannotBeMountedLeaveNone) {
    data.catalogs[CatalogWeapons].Add(Record("noload", 1, 5, 0, 5));
    data.catalogs[CatalogWeapons].Add(Record("norate", 1, 5, 50, -1));
    const struct {
        const char* weapon;
        const char* missingPart;
    } cases[] = {
        {"unlisted", ""},    // no catalog record
        {"noload", ""},      // record 7 = 0
        {"norate", ""},      // record 8 < 0
        {"mgun", "mgun_02"}, // a flash missing
        {"mgun", "mgun"},    // the gun itself missing
    };
    for (const auto& c : cases) {
        effects.shots.clear();
        MakeCar({c.weapon}, {c.missingPart});
        Arm(c.weapon);
        Mount(0);
        EXPECT_FALSE(car->weapon.part) << c.weapon << c.missingPart;
        car->SetFiring(true);
        Frames(50);
        EXPECT_TRUE(effects.shots.empty()) << c.weapon << c.missingPart;
    }
}

TEST_F(PlayerWeaponTest, SlotMinusOneHidesTheOldWeaponAndFiringStaysOff) {
    MakeCar({"mgun"});
    Arm("mgun");
    Mount(0);
    CPRefPtr<CPGameObject> gun = car->weapon.part;
    ASSERT_TRUE(gun && gun->IsVisible());
    Mount(-1);
    EXPECT_FALSE(gun->IsVisible());
    EXPECT_FALSE(car->weapon.part);
    car->SetFiring(true);
    EXPECT_FALSE(car->weapon.firing);
    // Mines: nothing gives the car one, so dropping never starts.
    car->SetDroppingMine(true);
    EXPECT_FALSE(car->weapon.dropMine);
}

TEST_F(PlayerWeaponTest, SelectionWrapsOverEmptyNames) {
    const struct {
        const char *w1, *w2, *w3;
        int from, step, to;
        bool changed;
    } cases[] = {
        {"", "mgun", "", 1, -1, 1, false}, // only the second: back to itself
        {"mgun", "", "gauss", 0, -1, 2, true},  {"mgun", "", "gauss", 2, 1, 0, true},
        {"mgun", "gauss", "", -1, 1, 0, true},  // from none, next gives the first
        {"mgun", "gauss", "", -1, -1, 1, true}, // and previous the last named
        {"", "", "", 1, 1, -1, true},           {"", "", "", -1, -1, -1, false},
    };
    for (const auto& c : cases) {
        MakeCar({});
        Arm(c.w1, c.w2, c.w3);
        car->weapon.slot = c.from;
        const bool changed = c.step < 0 ? car->SelectPrevWeapon() : car->SelectNextWeapon();
        EXPECT_EQ(car->weapon.slot, c.to) << c.from << " " << c.step;
        EXPECT_EQ(changed, c.changed) << c.from << " " << c.step;
    }
}

TEST_F(PlayerWeaponTest, FlamesReachedDamageAtTheNextTickAndSetAlight) {
    MakeCar({"firethrower"});
    Arm("firethrower");
    Mount(0);
    car->SetFiring(true);
    EXPECT_EQ(car->weapon.flameTickTimer, 0.0f);
    Frames(1);
    ASSERT_EQ(effects.flames.size(), 1u);
    EXPECT_EQ(effects.flameOwner, car.Get());
    EXPECT_NEAR(Length(effects.flames[0].velocity), 14.0f, 1e-3f);
    EXPECT_GE(effects.flames[0].life, 0.8f);
    EXPECT_LE(effects.flames[0].life, 1.1f);

    DamageSink sink;
    CPRefPtr<CPGameObject> barrel(new CPGameObject("barrel"));
    barrel->SetPosition(Vec3(0, -5, 0));
    barrel->SetEnemyController(&sink);
    barrel->SetFlameType(0);
    // Reached after the tick of the firing update: not damaged now, and let go at once.
    car->AddFlameHit(barrel.Get());
    car->AddFlameHit(barrel.Get()); // once only
    EXPECT_EQ(car->weapon.flameHits.size(), 1u);
    Frames(1);
    EXPECT_TRUE(sink.hits.empty());
    EXPECT_TRUE(car->weapon.flameHits.empty());
    // Reached every update from then on: damaged once, at the tick 0.2 s after the first.
    int frames = 1;
    while (sink.hits.empty() && frames < 40) {
        car->AddFlameHit(barrel.Get());
        Frames(1);
        ++frames;
    }
    EXPECT_NEAR(frames, 20, 1);
    ASSERT_EQ(sink.hits.size(), 1u);
    EXPECT_EQ(sink.hits[0].second, 5.0f);
    EXPECT_EQ(sink.hits[0].first, Vec3(0, -5, 0));
    EXPECT_EQ(barrel->GetFlameType(), -1); // its flames were started
    barrel->SetEnemyController(nullptr);
}

TEST_F(PlayerWeaponTest, HeavyGunSpinsItsBarrelAndSpreadsItsShots) {
    MakeCar({"hmgun"});
    CPRefPtr<CPGameObject> barrel(new CPGameObject("stvol"));
    car->FindChild("hmgun")->AddChild(barrel);
    Arm("hmgun");
    Mount(0);
    car->SetFiring(true);
    Frames(100);
    EXPECT_NEAR(car->weapon.barrelAngle, 10.5f, 1e-3f);
    const Vec3 spun = Vec3TransformNormal(Vec3(1, 0, 0), MatRotationQuaternion(barrel->GetRotation()));
    EXPECT_NEAR(spun.x, std::cos(10.5f), 1e-3f);
    ASSERT_EQ(Count("trasser12"), 5u);
    for (const ShotRecord& s : effects.shots)
        EXPECT_LE(std::acos(std::clamp(Dot(Normalize(s.direction), Vec3(0, -1, 0)), -1.0f, 1.0f)), 0.1f + 1e-4f);
}

TEST_F(PlayerWeaponTest, ShellCasingFliesUpAndBackFromThePart) {
    CPRefPtr<CPGameObject> part(new CPGameObject("mgun"));
    part->SetPosition(Vec3(3, 4, 5));
    part->UpdateTransform();
    for (int i = 0; i < 20; ++i) SpawnShellCasing(part.Get());
    ASSERT_EQ(effects.particles.size(), 20u);
    for (const auto& p : effects.particles) {
        EXPECT_EQ(p.type, "gilze");
        EXPECT_EQ(p.position, Vec3(3, 4, 5));
        EXPECT_EQ(p.acceleration, Vec3(0, 0, -24.8f));
        EXPECT_EQ(p.size, 0.2f);
        const float speed = -p.velocity.x;
        EXPECT_GE(speed, 4.0f);
        EXPECT_LE(speed, 5.0f);
        EXPECT_NEAR(p.velocity.z, 2 * speed, 1e-4f);
        EXPECT_GE(p.life, 1.0f);
        EXPECT_LE(p.life, 2.0f);
    }
    SpawnShellCasing(nullptr);
    EXPECT_EQ(effects.particles.size(), 20u);
}

// The aiming beam is built only once switched on: a quad 0.1 wide from the gun's base 30 units
// along the level aim (the aim point's height does not tilt it), lying flat without a camera.
TEST_F(PlayerWeaponTest, AimBeamRunsThirtyUnitsAlongTheAimOnlyWhenSwitchedOn) {
    MakeCar({"mgun"});
    Arm("mgun");
    Mount(0);
    Frames(1);
    EXPECT_FALSE(car->weapon.aimBeamObject);
    car->weapon.aimBeam = true;
    const struct {
        Vec3 aim;
        Vec3 corners[4];
    } cases[] = {
        {{0, -20, 7}, {{-0.05f, 0, 1}, {-0.05f, -30, 1}, {0.05f, -30, 1}, {0.05f, 0, 1}}},
        {{20, 0, -3}, {{0, -0.05f, 1}, {30, -0.05f, 1}, {30, 0.05f, 1}, {0, 0.05f, 1}}},
    };
    for (const auto& c : cases) {
        Frames(1, c.aim);
        auto* quad = dynamic_cast<CPRenderObject*>(car->weapon.aimBeamRender.Get());
        ASSERT_NE(quad, nullptr);
        ASSERT_EQ(quad->vertices.size(), 4u);
        ASSERT_EQ(quad->indices.size(), 6u);
        for (size_t i = 0; i < 4; ++i) {
            EXPECT_NEAR(quad->vertices[i].position.x, c.corners[i].x, 1e-4f) << i;
            EXPECT_NEAR(quad->vertices[i].position.y, c.corners[i].y, 1e-4f) << i;
            EXPECT_NEAR(quad->vertices[i].position.z, c.corners[i].z, 1e-4f) << i;
        }
        EXPECT_EQ(car->weapon.aimBeamObject->GetRenderPart().Get(), car->weapon.aimBeamRender.Get());
    }
}

// The panel hears of the weapon once per shot fired, never in the turns the shot timer runs or
// while the trigger is up.
TEST_F(PlayerWeaponTest, PanelIsToldOncePerShotFired) {
    ScriptHarness::GameRoot root("");
    std::filesystem::create_directories("Data/Scripts");
    std::ofstream("Data/Scripts/list.dat") << "gamemenu t_interface gamemenu\n";
    std::ofstream("Data/Scripts/gamemenu.lua") << "-- only its queue is read\n";
    InvalidatePathCache();
    {
        CPScriptManager scripts;
        ASSERT_TRUE(scripts.LoadList());
        CPRefPtr<CPLuaScript> panel = scripts.GetScript("gamemenu");
        ASSERT_TRUE(panel);
        panel->Start();
        auto told = [&] {
            return std::count_if(panel->GetQueue().begin(), panel->GetQueue().end(), [](const CPCommand& c) {
                return c.name == "update_game_interface" && c.params.empty();
            });
        };

        MakeCar({"mgun"});
        Arm("mgun");
        Mount(0);
        Frames(30);
        EXPECT_EQ(told(), 0);
        car->SetFiring(true);
        Frames(50); // 0.5 s at five shots a second: the shots of 0, 0.2 and 0.4 s
        EXPECT_EQ(Count("trasser11"), 3u);
        EXPECT_EQ(told(), 3);
        car->SetFiring(false);
        Frames(50);
        EXPECT_EQ(told(), 3);
        car.Reset();
        CPManagedObject::CollectGarbage();
    }
}

} // namespace

namespace {

// "lgun2x" is kind 1 and fires as the machine gun; "ssrlauncher" is kind 3 and fires the homing
// rocket without a casing; a name of no kind (9) fires nothing and spends nothing, but its flashes
// still turn.
TEST_F(PlayerWeaponTest, KindsOneThreeAndNine) {
    data.catalogs[CatalogWeapons].Add(Record("lgun2x", 1, 5, 50, 5));
    data.catalogs[CatalogWeapons].Add(Record("ssrlauncher", 1, 5, 50, 5));
    const struct {
        const char* weapon;
        const char* shot;
        size_t casings;
    } cases[] = {{"lgun2x", "trasser11", 1}, {"ssrlauncher", "srocket1", 0}, {"nokind", "", 0}};
    for (const auto& c : cases) {
        effects.shots.clear();
        effects.particles.clear();
        MakeCar({c.weapon});
        Arm(c.weapon);
        Mount(0);
        ASSERT_TRUE(car->weapon.part) << c.weapon;
        car->SetFiring(true);
        Frames(1);
        if (*c.shot) {
            ASSERT_EQ(effects.shots.size(), 1u) << c.weapon;
            EXPECT_EQ(effects.shots[0].name, c.shot);
            EXPECT_EQ(effects.shots[0].damage, 5.0f);
            EXPECT_NEAR(car->weapon.ammunition[0], 1.0f - 1.0f / 50.0f, 1e-6f) << c.weapon;
            EXPECT_NEAR(car->weapon.shotTimer, 1.0f / 5.0f, 1e-6f) << c.weapon;
        } else {
            EXPECT_TRUE(effects.shots.empty());
            EXPECT_EQ(car->weapon.ammunition[0], 1.0f);
            EXPECT_LT(car->weapon.shotTimer, 0.0f); // counted down, never set again
            EXPECT_EQ(car->weapon.flashIndex, 0);   // the first flash shows all the same
            EXPECT_TRUE(car->weapon.flashes[0]->IsVisible());
        }
        EXPECT_EQ(effects.particles.size(), c.casings) << c.weapon;
    }
}

// A slot whose ammunition is below 0 mounts its weapon blocked; one at 0 does not.
TEST_F(PlayerWeaponTest, MountingWithNegativeAmmunitionBlocks) {
    for (float ammunition : {-0.01f, 0.0f}) {
        MakeCar({"mgun"});
        Arm("mgun");
        car->weapon.ammunition[0] = ammunition;
        Mount(0);
        ASSERT_TRUE(car->weapon.part);
        EXPECT_EQ(car->weapon.blocked, ammunition < 0.0f) << ammunition;
    }
}

} // namespace
