#pragma once
// The vehicle model of one car: called by the physics engine every sub-step through a controller on
// the car's body, it senses the ground with two fans of rays (front and rear wheel), turns the hits
// into spring, damper, drive and brake forces, lifts the nose on request, sets a car that flips
// backwards on fire, pushes while the boost runs, and turns and places the visible wheels. There is
// no steering: the drive acts along world X whatever the heading.
#include <string>
#include <vector>

#include "Core/Math/Quat.h"
#include "Core/Math/Vector.h"
#include "Core/PGameObject.h"
#include "Core/PManagedObject.h"
#include "Physics/Physics.h"

class CNSound;
class CPPhysicData;

class CPCar : public CPManagedObject, public Physics::ControllerCallback {
public:
    static constexpr int kWheelSlots = 8;
    static constexpr int kSensedWheels = 2;
    static constexpr int kRaysPerWheel = 17;

    struct Wheel {
        float dustClock = 0.0f;
        Vec3 dustPoint;
        Vec3 contactPoint;
        float spin = 0.0f;
        float rollingSpeed = 0.0f;
        bool contact = false;
        Vec3 restOrigin;
        float visualOffset = 0.0f;
        CPRefPtr<CPGameObject> part;
        Physics::Sensor* sensors[kRaysPerWheel] = {};
    };

    explicit CPCar(CPGameObject* owner);
    ~CPCar() override;
    int GetObjectSize() const override { return sizeof(*this); }
    const char* GetTypeName() const override { return "CPCar"; }

    // Parameters, wheel parts, the two ray fans, the controller and the body's set-up. A car whose
    // mass is not above 0 gets no rays and no controller (logged). The rear wheel part follows the
    // rear-wheel choice 0..3.
    void Init(Physics::Simulator* world, bool isPlayer, int rearWheelChoice = 0);
    // The XML parameter set; with send, the player's tuning values go to the script "jeep".
    void ReadParams(bool send);
    void SetThrottle(float throttle, float lift);
    void SetBoost(bool on);
    void ApplyImpulse(const Vec3& point, const Vec3& impulse);
    // The owner's body left the physics world and took its rays and controller with it.
    void DropBodyHandles();
    static Quat WheelRotation(float spin, float turn);

    void OnTick(Physics::Controller* controller, float subStep) override;
    // Spring, damper, drive and brake of one wheel added to the sums; 1 when the wheel drove.
    float WheelForce(int wheel, Physics::Vector4& force, Physics::Vector4& torque);
    void UpdateWheel(int wheel, float dt, float spinScale);

    CPGameObject* GetOwner() const { return owner_; }
    CPPhysicData* GetPhysicData() const;
    const Wheel& GetWheel(int i) const { return wheels_[i]; }
    Physics::Controller* GetController() const { return controller_; }

    // The physics task's contact rule clears it when the body touches the road; set after each step.
    bool offRoad = false;
    float nitroAmount = 0.0f;
    std::string shadowTexture;
    bool isPlayer = false;
    float frontLimit = 0.0f, rearLimit = 0.0f;
    float forwardFactor = 100.0f, reverseFactor = 100.0f;
    float yawFactor = 0.0f, pitchFactor = 0.1f;
    bool fixedMin = false, fixedMax = false, held = false;
    float brake = 100.0f;
    float rayLength = 1.5f;
    float rayX = 0.0f, rayHeight = 0.2f;
    bool debug = false;
    float nitroTime = 0.0f, nitroForce = 0.0f;
    int frameStamp = 0;
    CPRefPtr<CNSound> boostSound, engineSound;
    Physics::Matrix4 bodyMatrix, bodyInverse;
    int count = 4;
    float throttle = 0.0f;
    float lift = 0.0f;
    float slide = 0.5f;
    float speed = 0.0f;
    float wheelRadius = 0.5f;
    float springFront = 140.0f, springRear = 150.0f, damping = 150.0f;
    float maxFrontSpeed = 30.0f, maxRearSpeed = 15.0f;
    float frictionFront = 100.0f, frictionBack = 240.0f;
    Vec3 velocity;
    float width = 0.0f;
    bool burned = false;
    float boost = 0.0f;
    float enginePitch = 0.0f;
    std::string dustType = "pil2";
    bool dusting = false;
    float engineMoment = 0.0f;
    // The owner's car class bits (4: a traffic car, which raises no dust while rolling and sounds
    // as "traffic"); 0 for an owner that is no car of the race.
    int ClassBits() const;
    // The rivals' 3D sounds, in the physics task's order.
    std::vector<CPRefPtr<CNSound>> rivalSounds;
    // The burning emitter added when the car flipped past 80 degrees.
    CPRefPtr<CPGameObject> fireObject;

private:
    void Flicker();
    void PerFrame();

    CPGameObject* owner_; // no reference: the owner holds its car model
    Physics::Controller* controller_ = nullptr;
    Wheel wheels_[kWheelSlots];
};
