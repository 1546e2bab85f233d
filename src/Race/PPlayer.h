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

    CPPlayer();
    ~CPPlayer() override;

    // Every start value again, except the car key, the car and the shadow; the class bits become 0.
    bool Reset();
    // The per-frame update of the player's car: clocks, inputs to the car, rolling back over.
    void Update();
    // Queues the car for the camera's main view unless it is out of sight or blinking.
    void Draw(CPRenderBlock* block, const CPCamera* camera);

    // Ignored while locked; the throttle is stored as 0 while the throttle cut is on.
    void SetControls(float throttle, float lift);
    void SetBrake(bool on);
    // Locking zeroes the car's inputs and holds its wheels; unlocking lets them go.
    void Lock(bool locked);
    void SetThrottleCut(bool on);
    void SetRespawnGuard(float seconds) { respawnGuard = seconds; }

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
};
