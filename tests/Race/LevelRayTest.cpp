// The level's ray queries against cars: the player car is only picked when it stands near the
// segment (three bounds, each with 30 to spare), and the car list is asked before the player car,
// first hit wins; with "quadlevels" on the tree is never asked. The gloom's end brings back the
// cars of the list from the sixth on. Every model here has one collision box of half size 40, so a car whose centre lies
// well off the ray is still struck by it: only the bounds decide whether it is tried.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "Core/PRayQuery.h"
#include "Core/PSettings.h"
#include "Race/PLevel.h"
#include "Race/PPhysicData.h"
#include "Race/PPlayer.h"
#include "RaceWorldFixture.h"
#include "Render/MeshFile.h"

namespace {

class LevelRayTest : public RaceWorldFixture {
protected:
    void SetUp() override {
        RaceWorldFixture::SetUp();
        MeshFile::Node node;
        node.name = "wrong";
        for (int i = 0; i < 3; ++i) {
            CPVertex v;
            v.position = Vec3(float(i == 1), float(i == 2), 0);
            node.vertices.push_back(v);
            node.indices.push_back(static_cast<CPIndex>(i));
        }
        node.boxes = {MeshFile::CollisionRecord::Make({0, 0, 0}, {40, 40, 40})};
        MeshFile::Mesh mesh;
        mesh.nodes = {node};
        Put("Data/Meshes/wrong.msh", MeshFile::WriteMesh(mesh, MeshFile::MeshKind::Older));
        PutLayout("level1", {LayoutRecord("player", 0)});
        level_ = CPRefPtr<CPLevel>(new CPLevel);
        ASSERT_TRUE(level_->Load("level1"));
        ASSERT_NE(level_->GetPlayerCar(), nullptr);
    }
    void TearDown() override {
        if (level_) level_->StopLevel();
        level_.Reset();
        RaceWorldFixture::TearDown();
    }

    static void Place(CPGameObject* car, const Vec3& position) {
        car->SetPosition(position);
        car->UpdateTransform();
    }
    // Another car like the player's, in the level's car list.
    CPRefPtr<CPPlayer> AddCar(const Vec3& position) {
        CPRefPtr<CPPlayer> car(new CPPlayer);
        car->CopyFrom(CPRefPtr<CPGameObject>(level_->GetPlayerCar()));
        car->SetCollision(true);
        Place(car.Get(), position);
        level_->GetCars().push_back(car);
        return car;
    }
    static CPRayQuery Ray(const Vec3& origin, const Vec3& direction, float length) {
        CPRayQuery query;
        query.origin = origin;
        query.direction = direction;
        query.distance = length;
        return query;
    }
    static bool IsPartOf(const CPGameObject* hit, const CPGameObject* car) {
        for (const CPGameObject* o = hit; o; o = o->GetParentPointer())
            if (o == car) return true;
        return false;
    }

    CPRefPtr<CPLevel> level_;
};

TEST_F(LevelRayTest, ThePlayerCarIsTriedOnlyNearTheSegment) {
    const Vec3 along(1, 0, 0), diagonal(0.6f, 0.8f, 0);
    // Off the diagonal's middle (30, 40) across it by k: (30, 40) + k (-0.8, 0.6); the third bound
    // is |dir.y d.x - d.y dir.x| = k against (0.6 + 0.8) x 30 = 42.
    auto across = [](float k) { return Vec3(30 - 0.8f * k, 40 + 0.6f * k, 0); };
    // Along the diagonal past its middle by t: the second bound, |d.y| <= 0.8 x 50 + 30 = 70, holds
    // at t = 85 (d.y = 68) and fails at t = 90 (72) while the first, |d.x| <= 60, holds for both
    // and the third is 0.
    auto beyond = [](float t) { return Vec3(0.6f * t, 0.8f * t, 0) + Vec3(30, 40, 0); };
    const struct {
        const char* what;
        Vec3 direction;
        Vec3 car;
        bool hit;
        float distance; // to the box's near face when hit
    } cases[] = {
        {"29 beside", along, {50, 29, 0}, true, 10},
        {"31 beside", along, {50, 31, 0}, false, 100},
        {"75 past the middle", along, {125, 0, 0}, true, 85},
        {"85 past the middle", along, {135, 0, 0}, false, 100},
        {"41 across the diagonal", diagonal, across(41), true, 30.75f}, // enters at y = 64.6 - 40
        {"43 across the diagonal", diagonal, across(43), false, 100},
        {"85 along the diagonal past its middle", diagonal, beyond(85), true, 85}, // box from y = 68
        {"90 along the diagonal past its middle", diagonal, beyond(90), false, 100},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CPPlayer* car = level_->GetPlayerCar();
        Place(car, c.car);
        CPRayQuery query = Ray({0, 0, 0}, c.direction, 100);
        EXPECT_EQ(level_->CrossRayWithPlayer(query), c.hit);
        if (c.hit) {
            EXPECT_TRUE(IsPartOf(query.hitObject.Get(), car));
            EXPECT_NEAR(query.distance, c.distance, 1e-3f);
        } else {
            EXPECT_EQ(query.hitObject.Get(), nullptr);
            EXPECT_EQ(query.distance, 100.0f);
        }
        const Vec3 end = c.direction * query.distance;
        EXPECT_NEAR(query.endPoint.x, end.x, 1e-3f);
        EXPECT_NEAR(query.endPoint.y, end.y, 1e-3f);
        // The plain ray never tries the car.
        CPRayQuery plain = Ray({0, 0, 0}, c.direction, 100);
        EXPECT_FALSE(level_->CrossRay(plain));
    }
}

TEST_F(LevelRayTest, CarsOfTheListAreTriedBeforeThePlayerCarFirstHitWinning) {
    CPPlayer* player = level_->GetPlayerCar();
    const struct {
        const char* what;
        std::vector<Vec3> cars;
        Vec3 player;
        int hitCar; // index into the list; -1 the player car; -2 nothing
        float distance;
    } cases[] = {
        // The player car is nearer, but a list car that is hit wins.
        {"list car behind the player car", {{120, 0, 0}}, {50, 0, 0}, 0, 80},
        {"first list car missed", {{0, 500, 0}, {120, 0, 0}, {60, 0, 0}}, {50, 0, 0}, 1, 80},
        {"every list car missed", {{0, 500, 0}}, {50, 0, 0}, -1, 10},
        {"nothing in the way", {{0, 500, 0}}, {0, -500, 0}, -2, 200},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        level_->GetCars().clear();
        std::vector<CPRefPtr<CPPlayer>> cars;
        for (const Vec3& p : c.cars) cars.push_back(AddCar(p));
        Place(player, c.player);
        CPRayQuery query = Ray({0, 0, 0}, {1, 0, 0}, 200);
        EXPECT_EQ(level_->CrossCars(query), c.hitCar != -2);
        const CPGameObject* want = c.hitCar >= 0 ? cars[c.hitCar].Get() : c.hitCar == -1 ? player : nullptr;
        if (want) EXPECT_TRUE(IsPartOf(query.hitObject.Get(), want));
        else EXPECT_EQ(query.hitObject.Get(), nullptr);
        EXPECT_NEAR(query.distance, c.distance, 1e-3f);
    }
    level_->GetCars().clear();
}

// With "quadlevels" on, the level has no tree to ask: a model standing across the ray is not hit,
// while the player car still is.
TEST_F(LevelRayTest, WithQuadLevelsOnlyTheCarIsHit) {
    for (int quadLevels : {0, 1}) {
        SCOPED_TRACE(quadLevels);
        level_->StopLevel();
        level_.Reset();
        g_quadlevels = quadLevels;
        // A crate at x 60 across the ray (its box from x 20), the player far off it.
        PutLayout("level1", {LayoutRecord("player", 0, 500), LayoutRecord("crate", 60)});
        level_ = CPRefPtr<CPLevel>(new CPLevel);
        ASSERT_TRUE(level_->Load("level1"));
        CPRayQuery query = Ray({0, 0, 0}, {1, 0, 0}, 100);
        EXPECT_EQ(level_->CrossRay(query), quadLevels == 0);
        EXPECT_NEAR(query.distance, quadLevels == 0 ? 20.0f : 100.0f, 1e-3f);
        Place(level_->GetPlayerCar(), {90, 0, 0}); // its box from x 50
        query = Ray({0, 0, 0}, {1, 0, 0}, 100);
        EXPECT_TRUE(level_->CrossRayWithPlayer(query));
        EXPECT_NEAR(query.distance, quadLevels == 0 ? 20.0f : 50.0f, 1e-3f);
        EXPECT_EQ(IsPartOf(query.hitObject.Get(), level_->GetPlayerCar()), quadLevels != 0);
    }
    g_quadlevels = 0;
}

// When the gloom ends, the cars of the list from the sixth on are shown, made solid, set down at
// z 3 and given back to the physics; the first five are left as they are.
TEST_F(LevelRayTest, TheGloomsEndBringsBackTheCarsFromTheSixthOn) {
    for (int i = 0; i < 7; ++i) {
        CPRefPtr<CPPlayer> car = AddCar({10.0f * i, 5, 9});
        car->SetVisible(false);
        car->SetCollision(false);
        CPRefPtr<CPPhysicData> data(new CPPhysicData(car.Get()));
        car->SetPhysicData(data);
    }
    level_->HideCars();
    EXPECT_FALSE(level_->AreCarsShown());
    level_->ShowCars();
    EXPECT_TRUE(level_->AreCarsShown());
    for (int i = 0; i < 7; ++i) {
        SCOPED_TRACE(i);
        CPPlayer* car = level_->GetCars()[i].Get();
        const bool back = i >= 5;
        EXPECT_EQ(car->IsVisible(), back);
        EXPECT_EQ(car->IsCollision(), back);
        EXPECT_EQ(car->GetPosition(), Vec3(10.0f * i, 5, back ? 3.0f : 9.0f));
        EXPECT_EQ(dynamic_cast<CPPhysicData*>(car->GetPhysicData().Get())->enabled, back);
    }
    level_->GetCars().clear();
}

} // namespace
