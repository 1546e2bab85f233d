#pragma once
// A race world for shot tests: walls as planes across the flight, a player car and listed objects,
// and a recorder of the damage objects take.
#include <vector>

#include "Core/PGameObject.h"
#include "Core/PGlobalTimer.h"
#include "Core/PRayQuery.h"
#include "Weapons/PShotWorld.h"
#include "Weapons/PWeaponsSystem.h"

struct DamageRecord {
    Vec3 direction;
    float amount;
    bool silent;
};

class RecordingSink : public CPObjectEventSink {
public:
    void Damage(const Vec3&, const Vec3& direction, float amount, CPGameObject*, bool silent) override {
        hits.push_back({direction, amount, silent});
    }
    void NotifyAnimationStopped() override {}
    void NotifyAnimationReport() override {}
    void SetGibs(bool flag) override { gibs = flag; }
    std::vector<DamageRecord> hits;
    bool gibs = false;
};

// A wall is a plane x = at (facing -X) owned by an object; the player car is a sphere of radius 1.
class FakeWorld : public CPShotWorld {
public:
    struct Wall {
        float at;
        CPRefPtr<CPGameObject> owner;
    };
    FakeWorld() { SetShotWorld(this); }
    ~FakeWorld() override { SetShotWorld(nullptr); }

    bool CrossRay(CPRayQuery& q) override { return Walls(q); }
    bool CrossRayWithPlayer(CPRayQuery& q) override { return Walls(q) | Car(q); }
    bool CrossCars(CPRayQuery& q) override { return Car(q); }
    void GetObjectsInRadius(const Vec3& p, float r, std::vector<CPRefPtr<CPGameObject>>& out) override {
        for (const auto& o : objects)
            if (Length(o->GetPosition() - p) <= r) out.push_back(o);
    }
    bool GetCameraPosition(Vec3& eye) override {
        eye = camera;
        return true;
    }
    CPGameObject* GetPlayerCar() override { return car.Get(); }
    bool RepairPlayerCar(float amount) override {
        if (!car) return false;
        health = std::min(health + amount, maxHealth);
        return true;
    }

    std::vector<Wall> walls;
    std::vector<CPRefPtr<CPGameObject>> objects;
    CPRefPtr<CPGameObject> car;
    Vec3 camera{0, 0, 50};
    float health = 0, maxHealth = 100;
    bool insideBox = false; // hits report no face (a ray from inside a box)

private:
    bool Walls(CPRayQuery& q) {
        bool hit = false;
        for (const Wall& w : walls) {
            if (q.direction.x <= 0.0f) continue;
            const float t = (w.at - q.origin.x) / q.direction.x;
            if (t < 0.0f || t > q.distance) continue;
            q.distance = t;
            q.hitObject = w.owner;
            q.hitOwner = w.owner;
            q.hitPlane = insideBox ? Plane{0, 0, 0, 0} : Plane{-1, 0, 0, w.at};
            hit = true;
        }
        return hit;
    }
    bool Car(CPRayQuery& q) {
        if (!car) return false;
        const Vec3 to = car->GetPosition() - q.origin;
        const float along = Dot(to, q.direction);
        const float off = LengthSq(to - q.direction * along);
        if (off > 1.0f) return false;
        const float t = along - std::sqrt(1.0f - off);
        if (t < 0.0f || t > q.distance) return false;
        q.distance = t;
        q.hitObject = car;
        q.hitOwner = car;
        const Vec3 n = Normalize(q.origin + q.direction * t - car->GetPosition());
        q.hitPlane = Plane{n.x, n.y, n.z, 0};
        return true;
    }
};

// Steps the weapons task with a fixed frame time.
inline void RunFrames(CPWeaponsSystem& weapons, int frames, float dt) {
    FrameDelta = dt;
    for (int i = 0; i < frames; ++i) weapons.Update();
}

inline void LoadWeapons(CPWeaponsSystem& weapons, const std::string& text) {
    weapons.LoadText(text.data(), static_cast<int>(text.size()));
}
