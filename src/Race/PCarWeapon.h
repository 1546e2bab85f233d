#pragma once
// The weapon state a car keeps, and what its firing asks of the weapons floor above the race world
// (shots, shell casings, flame particles). With no effects installed a car aims but fires nothing.
#include <array>
#include <string>
#include <vector>

#include "Core/Math/Vector.h"
#include "Core/PGameObject.h"
#include "Race/PGameData.h"

class CPPlayer;

enum WeaponKind {
    WeaponMachineGun = 0,
    WeaponLightGunTwin = 1,
    WeaponHeavyMachineGun = 2,
    WeaponSmallRockets = 3,
    WeaponRocketLauncher = 4,
    WeaponPlasma = 5,
    WeaponShotgun = 6,
    WeaponGauss = 7,
    WeaponFlameThrower = 8,
    WeaponNone = 9,
};

// The kind a weapon name fires as; WeaponNone for a name no kind knows.
WeaponKind WeaponKindOf(const std::string& name);

// A strike the car deals at close range; nothing switches it on yet.
struct CPMeleeRecord {
    Vec3 pointA, pointB; // car-local
    Vec3 direction;      // car-local
    float reach = 0.0f;
    bool enabled = false;
    float maxDamage = 0.0f;
    float timer = 0.0f;
};

struct CPCarWeapon {
    static constexpr float kFlameTick = 0.2f;
    static constexpr float kMeleePeriod = 0.4f;
    static constexpr float kAimBeamLength = 30.0f;
    static constexpr float kAimBeamHalfWidth = 0.05f;

    float flameTickTimer = 0.0f;
    float barrelAngle = 0.0f;
    int slot = 0;
    std::string name;
    // One flag for the whole car: a slot that ran dry blocks every weapon of it.
    bool blocked = false;
    bool mineBlocked = false;
    CPRefPtr<CPGameObject> part;
    std::array<CPRefPtr<CPGameObject>, 4> flashes;
    int flashIndex = 3;
    Vec3 aimPoint;
    std::array<float, 3> ammunition{1.0f, 1.0f, 1.0f};
    CPCatalogItem record;
    bool dropMine = false;
    bool hasMine = false;
    bool firing = false;
    WeaponKind kind = WeaponNone;
    float shotTimer = 0.0f;
    std::vector<CPRefPtr<CPGameObject>> flameHits; // each object once
    float ammunitionFactor = 1.0f;
    float fireRateFactor = 1.0f;
    // The aiming beam; nothing switches it on yet.
    bool aimBeam = false;
    CPRefPtr<CPGameObject> aimBeamObject;
    CPRefPtr<CPManagedObject> aimBeamRender;
    CPMeleeRecord melee;
    float yaw = 0.0f; // kept while the aim is straight above or below the muzzle

    // Record numbers counted from 1 as the catalog lists them: the price first, then its columns.
    double RecordNumber(int number) const;
};

class CPCarWeaponEffects {
public:
    virtual ~CPCarWeaponEffects() = default;
    // A weapons-task shot of that name with the launch damage, the owner and the extra pointer.
    virtual void FireShot(const std::string& name, const Vec3& position, const Vec3& direction, float damage,
                          const CPRefPtr<CPGameObject>& owner, void* extra) = 0;
    // One particle of the type, no fade, no streak (shell casings).
    virtual void EmitParticle(const std::string& type, const Vec3& position, const Vec3& velocity,
                              const Vec3& acceleration, float size, float life) = 0;
    // One flame particle whose reach the car collects (CPPlayer::AddFlameHit).
    virtual void EmitFlame(const Vec3& position, const Vec3& velocity, float life, CPPlayer* car) = 0;
};

void SetCarWeaponEffects(CPCarWeaponEffects* effects);
CPCarWeaponEffects* GetCarWeaponEffects();

// One shell casing thrown from the weapon part.
void SpawnShellCasing(CPGameObject* part);
