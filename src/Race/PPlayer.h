#pragma once
// The drivable car as a scene object: it carries the vehicle model, the driver's inputs (throttle,
// lift, locks), health and damage, the respawn and blink clocks and the state the bonus and weapon
// code keep per car. The race update drives the player's car through Update and Draw each frame;
// other cars are moved by scripts.
#include <string>

#include "Core/Math/Vector.h"
#include "Core/PGameObject.h"
#include "Race/PCarWeapon.h"

class CPCar;
class CPCamera;
class CPRenderBlock;

class CPPlayer : public CPGameObject {
public:
    static constexpr float kStartHealth = 100000.0f;
    // Where Spawn puts a car back, facing +X.
    static constexpr Vec3 kRestartPoint{0.0f, 5.0f, -20.0f};
    // The engine temperature at which the driver is warned.
    static constexpr float kEngineWarning = 0.8f;

    CPPlayer();
    ~CPPlayer() override;

    // Every start value again, except the car key, the car and the shadow; the class bits become 0.
    bool Reset();
    // The ground shadow from "shadow.rdf" with the car's shadow texture; replaces the one held.
    void CreateShadow();
    // The engine's heating and cooling per second from the car's description (absent: 0).
    void ReadEngineRates();
    // The per-frame update of the player's car: wreck and defeat, clocks, engine temperature, inputs
    // to the car, auto-unlock, the nitro push, rolling back over.
    void Update();
    // Queues the car and its shadow fitted to the road for the camera's main view, unless the car is
    // out of sight or blinking.
    void Draw(CPRenderBlock* block, const CPCamera* camera);

    // Ignored while locked; the throttle is stored as 0 while the throttle cut is on.
    void SetControls(float throttle, float lift);
    void SetBrake(bool on);
    // Locking zeroes the car's inputs and holds its wheels; unlocking lets them go.
    void Lock(bool locked);
    void SetThrottleCut(bool on);
    void SetRespawnGuard(float seconds) { respawnGuard = seconds; }

    // An impulse of the amount along the direction of motion (none at rest).
    void Nitro(float amount);
    // Throttle cut, a forward impulse of the amount, and a push that fades over the duration.
    void NitroForward(float amount, float duration);
    // Rights a low or tilted car at the restart point; force does it whatever the car's state.
    void Spawn(bool force);
    // Health lowered by the amount times the damage coefficient; false once the car is dead.
    bool TakeDamage(float amount);
    // Hidden, out of collisions and out of the physics world; its model lets go of the body's rays
    // and controller.
    void RemoveFromRace();

    // The vehicle model, or null until the physics task gives the car one.
    CPCar* GetCar() const;
    // The car's stored body velocity; zero without a car.
    Vec3 GetVelocity() const;
    // The impulse at the world point on the car's rigid body, when it has one.
    void ApplyImpulse(const Vec3& point, const Vec3& impulse);
    // The body's mass; 0 without a rigid body.
    float GetMass() const;
    // The model axis (0, -1, 0) turned by the rotation and normalised.
    Vec3 GetForward() const;
    // The rigid body's linear velocity; zero without a body.
    Vec3 GetLinearVelocity() const;

    // The steps of Update, in its order.
    void UpdateWreck(float dt);
    void UpdateDefeat(float dt);
    void UpdateEngineTemperature(float dt);
    void UpdateAutoUnlock(float dt);
    void UpdateNitroPush(float dt);

    bool IsLocked() const { return locked; }
    bool IsThrottleCut() const { return throttleCut; }
    float GetThrottle() const { return throttle; }
    float GetLift() const { return lift; }
    const std::string& GetCarKey() const { return carKey; }
    void SetCarKey(const std::string& key) { carKey = key; }
    int GetClassBits() const { return classBits; }
    void SetClassBits(int bits) { classBits = bits; }

    float upsideDownTime = 0.0f;
    float blinkTime = 0.0f;
    float lift = 0.0f;
    float throttle = 0.0f;
    float engineTemperature = 0.0f;
    float engineHeating = 0.0f, engineCooling = 0.0f;
    float smokeTime = 0.0f;
    float health = kStartHealth;
    float maxHealth = kStartHealth;
    bool deadReported = false;
    bool locked = false;
    bool throttleCut = false;
    bool autoUnlock = false;
    float autoUnlockTime = 0.0f;
    int abilityCount = 0;
    float defeatTime = 0.0f;
    bool defeatReported = false;
    std::string carKey;
    int classBits = 0;
    float damage = 0.0f;
    float respawnGuard = 0.0f;
    bool wrecked = false;
    // The car's gloom state: set by a portal, ended after its time runs out; scripts read the flag.
    bool inGloom = false;
    float gloomTime = 0.0f;
    CPRefPtr<CPGameObject> shadow;

    // ---- weapons (PPlayerWeapon.cpp) ----
    // Mounts the weapon of the current slot and aims it at the stored aim point.
    void MountWeapon();
    // Aims the mounted weapon at the point (and the object, when given) and fires when due.
    void UpdateWeapon(const Vec3& aimPoint, CPGameObject* target);
    // Steps the slot to the previous / next named weapon of the race configuration (-1 when none is
    // named); true when the slot changed. The caller mounts it.
    bool SelectPrevWeapon();
    bool SelectNextWeapon();
    // SetShot / SetMineShot of the scripts.
    void SetFiring(bool on);
    void SetDroppingMine(bool on);
    // An object a flame of this car reached; damaged at the next flame tick.
    void AddFlameHit(CPGameObject* object);
    // Reset's part: every slot full again, firing and mine flags off; the block flag stays.
    void ResetWeapon();
    CPCarWeapon weapon;
    // ---- end of weapons ----

    // ---- bonuses (PPlayerBonuses.cpp) ----
    // The kinds of the level's interactive objects, in the order they are tested.
    enum BonusKind {
        BonusNone,
        BonusRepair,
        BonusAcceleration,
        BonusSlowDown,
        BonusAbilityMinus,
        BonusAbilityPlus,
        BonusSphere,
        BonusPortal,
        BonusWhirl,
        BonusLight,
        BonusHalo,
    };
    // The first kind that the object is and that acts on this car's class; BonusNone otherwise.
    BonusKind BonusKindOf(const CPGameObject& object) const;
    // The car's box and the object's test box overlap closely enough on all three axes.
    bool TouchesBonus(const CPGameObject& object) const;
    // Tests the car against every object of the level's bonus list while the race is active: a
    // touched bonus acts and leaves the list, a touched hazard acts and stays.
    void UpdateBonuses();
    // The per-frame ends: the player's gloom view, the car's gloom (hidden or shown, sparks) and the
    // brake lights.
    void UpdateGloomView(float dt);
    void UpdateGloom(float dt);
    void UpdateBrakeLights(float dt);
    // Reset's part: every bonus state off, the rear lights dark.
    void ResetBonuses();
    static constexpr float kGloomSeconds = 15.0f;
    int spherePushCount = 0;
    double lastSpherePushTime = 0.0;
    Vec3 spherePushDirection;
    double lastHaloTime = 0.0;
    bool gloomView = false;
    float gloomViewTime = 0.0f;
    bool brakeLights = false;
    float brakeLightTime = 0.0f;
    // The rear lights were last hidden by the brake lights going off, not by something else.
    bool rearLightsDark = false;
    // ---- end of bonuses ----
};
