// The flame thrower's particles collecting what they reach for the car that fired them.
#include <gtest/gtest.h>

#include "Particles/PParticleDesc.h"
#include "Race/PPlayer.h"
#include "Weapons/PWeaponsRaceEffects.h"
#include "WeaponsTestSupport.h"

namespace {

TEST(CarFlame, ReachedObjectsJoinTheCarOnceAndEndTheFlame) {
    FakeWorld world;
    CPRefPtr<CPPlayer> car(new CPPlayer);
    CPRefPtr<CPGameObject> wall(new CPGameObject("wall")), barrel(new CPGameObject("barrel"));
    world.walls.push_back({3.0f, wall});
    barrel->SetPosition(Vec3(0, 10, 0));
    world.objects = {barrel, CPRefPtr<CPGameObject>(car.Get())};
    car->SetPosition(Vec3(0, 10, 0)); // listed too, but never its own target

    const struct {
        Vec3 from, to;
        float size;
        std::vector<CPGameObject*> reached;
    } cases[] = {
        {Vec3(0, 0, 0), Vec3(2, 0, 0), 0.0f, {}},               // short of the wall
        {Vec3(0, 0, 0), Vec3(5, 0, 0), 0.0f, {wall.Get()}},     // through it
        {Vec3(0, 10, 0), Vec3(0, 10, 0), 0.5f, {barrel.Get()}}, // standing on the barrel (and the car)
        {Vec3(2, 10, 0), Vec3(4, 10, 0), 0.5f, {wall.Get()}},
    };
    for (const auto& c : cases) {
        car->weapon.flameHits.clear();
        CPParticle flame;
        flame.previousPosition = c.from;
        flame.position = c.to;
        flame.size = c.size;
        flame.age = 0.1f;
        CarFlameListener(car.Get(), flame);
        CarFlameListener(car.Get(), flame); // a second pass adds nothing new
        std::vector<CPGameObject*> reached;
        for (const auto& hit : car->weapon.flameHits) reached.push_back(hit.Get());
        EXPECT_EQ(reached, c.reached) << c.to.x;
        EXPECT_EQ(flame.age, c.reached.empty() ? 0.1f : 1000.0f) << c.to.x;
    }
    // Not a car: nothing happens.
    CPParticle flame;
    flame.position = Vec3(5, 0, 0);
    CarFlameListener(wall.Get(), flame);
    EXPECT_EQ(flame.age, 0.0f);
    car->weapon.flameHits.clear();
}

} // namespace
