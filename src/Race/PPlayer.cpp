#include "Race/PPlayer.h"

#include <algorithm>
#include <cmath>

#include "Core/Math/Mat4.h"
#include "Core/PGlobalTimer.h"
#include "Race/PCamera.h"
#include "Race/PCar.h"
#include "Race/PPhysicData.h"
#include "Race/PPhysics.h"
#include "Render/PRenderBlock.h"

namespace {

Vec3 Turned(const Quat& rotation, const Vec3& v) { return Vec3TransformNormal(v, MatRotationQuaternion(rotation)); }

} // namespace

CPPlayer::CPPlayer() : CPGameObject("PLAYER") {}

CPPlayer::~CPPlayer() = default;

bool CPPlayer::Reset() {
    upsideDownTime = 0.0f;
    blinkTime = 0.0f;
    lift = 0.0f;
    throttle = 0.0f;
    engineTemperature = 0.0f;
    health = kStartHealth;
    maxHealth = kStartHealth;
    deadReported = false;
    locked = false;
    throttleCut = false;
    autoUnlock = false;
    autoUnlockTime = 0.0f;
    abilityCount = 0;
    defeatTime = 0.0f;
    defeatReported = false;
    classBits = 0;
    damage = 0.0f;
    respawnGuard = 0.0f;
    wrecked = false;
    inGloom = false;
    gloomTime = 0.0f;
    ResetWeapon();
    return true;
}

CPCar* CPPlayer::GetCar() const { return dynamic_cast<CPCar*>(CPGameObject::GetCar().Get()); }

Vec3 CPPlayer::GetVelocity() const {
    const CPCar* car = GetCar();
    return car ? car->velocity : Vec3();
}

void CPPlayer::ApplyImpulse(const Vec3& point, const Vec3& impulse) {
    auto* data = dynamic_cast<CPPhysicData*>(GetPhysicData().Get());
    if (data && data->rigidBody)
        data->rigidBody->ApplyImpulseAtPoint({impulse.x, impulse.y, impulse.z, 0.0f},
                                             {point.x, point.y, point.z, 0.0f});
}

float CPPlayer::GetMass() const {
    auto* data = dynamic_cast<CPPhysicData*>(GetPhysicData().Get());
    return data && data->rigidBody ? data->rigidBody->GetMass() : 0.0f;
}

Vec3 CPPlayer::GetForward() const { return Normalize(Turned(GetRotation(), Vec3(0, -1, 0))); }

void CPPlayer::SetControls(float newThrottle, float newLift) {
    if (locked) return;
    lift = newLift;
    throttle = throttleCut ? 0.0f : newThrottle;
}

void CPPlayer::SetBrake(bool on) {
    if (locked) return;
    if (CPCar* car = GetCar()) car->SetBoost(on);
}

void CPPlayer::Lock(bool on) {
    locked = on;
    CPCar* car = GetCar();
    if (!car) return;
    if (on) {
        car->SetThrottle(0.0f, 0.0f);
        car->held = true;
    } else {
        car->held = false;
    }
}

void CPPlayer::SetThrottleCut(bool on) {
    throttleCut = on;
    if (on && !locked) throttle = 0.0f;
}

void CPPlayer::Update() {
    const float dt = FrameDelta;
    if (respawnGuard > 0.0f) respawnGuard -= dt;
    if (blinkTime > 0.0f) blinkTime -= dt;

    if (CPPhysics* physics = GetPhysics()) physics->SetCarInput(this, throttle, lift);

    // A car on its roof for three seconds is rolled back over about its own length axis.
    const Vec3 down = Turned(GetRotation(), Vec3(0, 0, -1));
    const float tilt = std::acos(std::clamp(-down.z, -1.0f, 1.0f));
    if (std::fabs(tilt) <= 2.3561945f) {
        upsideDownTime = 0.0f;
        return;
    }
    upsideDownTime += dt;
    if (upsideDownTime < 3.0f) return;
    auto* data = dynamic_cast<CPPhysicData*>(GetPhysicData().Get());
    if (!data || !data->rigidBody) return;
    Physics::Matrix4 m;
    data->rigidBody->GetMatrix(m);
    const float scale = -50.0f * 0.16f * data->rigidBody->GetMass();
    data->rigidBody->SetAngularMomentum({m.row[0].x * scale, m.row[0].y * scale, m.row[0].z * scale, 0.0f});
}

void CPPlayer::Draw(CPRenderBlock* block, const CPCamera* camera) {
    if (!block || !camera || !camera->GetMainCamera()) return;
    const CPBoundingBox& box = GetVisibilityBounds();
    if (!camera->GetMainCamera()->IsBoxVisible(box.min, box.max)) return;
    if (blinkTime > 0.0f && FrameCounter % 4 == 0) return;
    block->DrawDynamicObject(this);
}
