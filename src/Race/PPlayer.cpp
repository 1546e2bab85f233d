#include "Race/PPlayer.h"

#include <algorithm>
#include <cmath>

#include "Core/Math/Mat4.h"
#include "Core/PGlobalTimer.h"
#include "Core/PRandom.h"
#include "Core/PScriptManager.h"
#include "Race/PCamera.h"
#include "Race/PCar.h"
#include "Race/PGameData.h"
#include "Race/PGameObjectXml.h"
#include "Race/PLevel.h"
#include "Race/PPhysicData.h"
#include "Race/PPhysics.h"
#include "Race/PRaceEffects.h"
#include "Render/PMaterialManager.h"
#include "Render/PMeshManager.h"
#include "Render/PRenderBlock.h"
#include "Render/PRenderObject.h"
#include "Render/ShadowDecal.h"

namespace {

Vec3 Turned(const Quat& rotation, const Vec3& v) { return Vec3TransformNormal(v, MatRotationQuaternion(rotation)); }

// The car's forward axis flat on the ground: z dropped, the rest left as it was.
Vec3 FlatForward(const Quat& rotation) {
    Vec3 forward = Normalize(Turned(rotation, Vec3(0, -1, 0)));
    forward.z = 0.0f;
    return forward;
}

float UnitRandom() { return static_cast<float>(EngineRand()) / 32767.0f; }

void Send(const char* script, const char* command) {
    if (CPScriptManager* scripts = GetScriptManager()) scripts->SendCommandByName(script, command, "");
}

constexpr int kShadowLayer = 120;

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
    smokeTime = 0.0f;
    inGloom = false;
    gloomTime = 0.0f;
    ResetWeapon();
    ResetBonuses();
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

Vec3 CPPlayer::GetLinearVelocity() const {
    auto* data = dynamic_cast<CPPhysicData*>(GetPhysicData().Get());
    if (!data || !data->rigidBody) return Vec3();
    const Physics::Vector4& v = data->rigidBody->GetLinearVelocity();
    return Vec3(v.x, v.y, v.z);
}

void CPPlayer::CreateShadow() {
    CPMeshManager* meshes = GetMeshManager();
    shadow = meshes ? meshes->LoadRenderObject("shadow.rdf", kShadowLayer) : CPRefPtr<CPGameObject>();
    if (!shadow) return;
    std::string texture;
    if (const CPCar* car = GetCar()) texture = car->shadowTexture;
    else XmlReadText(XmlFindElement(&GetDescription(), {"render", "shadow"}), "name", texture);
    auto* mesh = dynamic_cast<CPRenderObject*>(shadow->GetRenderPart().Get());
    if (CPMaterialManager* materials = GetMaterialManager(); materials && mesh)
        mesh->SetMaterial(materials->GetMaterial(kShadowLayer, "shadow.fx", {texture}));
    shadow->SetVisible(true);
    shadow->SetStatic(true);
    // Rebuilt on the road every frame, so never drawn from a cached mesh.
    if (mesh) mesh->SetStatic(false);
}

void CPPlayer::ReadEngineRates() {
    const TiXmlElement* engine = XmlFindElement(&GetDescription(), {"physics", "params", "engine"});
    engineHeating = engineCooling = 0.0f;
    float value;
    if (XmlReadReal(engine, "heating", value) && std::isfinite(value)) engineHeating = value;
    if (XmlReadReal(engine, "cooling", value) && std::isfinite(value)) engineCooling = value;
}

void CPPlayer::Nitro(float amount) {
    if (!std::isfinite(amount)) return;
    const Vec3 v = GetVelocity();
    const float squared = Dot(v, v);
    const Vec3 direction = squared < 0.000001f || squared == 0.0f ? Vec3() : v / std::sqrt(squared);
    ApplyImpulse(GetPosition(), direction * amount);
}

void CPPlayer::NitroForward(float amount, float duration) {
    if (!std::isfinite(amount) || !std::isfinite(duration)) return;
    SetThrottleCut(true);
    if (CPCar* car = GetCar()) {
        car->nitroForce = amount;
        car->nitroTime = duration;
    }
    ApplyImpulse(GetPosition(), FlatForward(GetRotation()) * amount);
}

void CPPlayer::Spawn(bool force) {
    const Vec3 position = GetPosition();
    const bool low = !locked && position.z < GetOwnBox().halfExtents.z && respawnGuard <= 0.0f;
    if (!(low || force || position.z < 0.0f)) return;
    // A car lying exactly on its side reads as untilted.
    const Vec3 down = Normalize(Turned(GetRotation(), Vec3(0, 0, -1)));
    const float c = -down.z;
    const float tilt = std::fabs(c) < 0.0001f ? 0.0f : std::acos(std::clamp(c, -1.0f, 1.0f));
    if (!(std::fabs(tilt) > 0.2617994f || position.z < 0.0f || force)) return;

    blinkTime = 1.0f;
    const Quat facingX{0.0f, 0.0f, 0.70710677f, 0.70710677f};
    CPLevel* level = GetLevel();
    CPCamera* camera = level && level->GetPlayerCar() == this ? level->GetCamera() : nullptr;
    if (camera) camera->SetZAngle(0.0f);
    auto* data = dynamic_cast<CPPhysicData*>(GetPhysicData().Get());
    if (data && data->rigidBody) {
        const Physics::Vector4 zero{0.0f, 0.0f, 0.0f, 0.0f};
        data->rigidBody->SetForceAtPoint(zero, {position.x, position.y, position.z, 0.0f});
        data->rigidBody->SetTorque(zero);
        data->rigidBody->SetAngularMomentum(zero);
        data->rigidBody->SetLinearVelocity(zero);
    }
    // The object's setters move the body with it.
    SetPosition(kRestartPoint);
    if (camera) camera->SetZAngle(0.0f);
    SetRotation(facingX);
    UpdateTransform();
}

bool CPPlayer::TakeDamage(float amount) {
    if (!std::isfinite(amount)) return !deadReported;
    const CPGameData* data = GetGameData();
    const float d = amount * (data ? data->coefficients[1] : 1.0f);
    if (health > 20.0f && health - d <= 20.0f) Send("main", "say_critical");
    health -= d;
    Send("gamemenu", "update_game_interface");
    if (health >= 0.0f) return true;
    health = 0.0f;
    if (!deadReported) {
        if (CPScriptManager* scripts = GetScriptManager()) scripts->SendCommandByCategory("main", "player_dead", "");
        deadReported = true;
    }
    return false;
}

void CPPlayer::RemoveFromRace() {
    SetVisible(false);
    SetCollision(false);
    // The body's rays and controller go with it: the model must not reach them afterwards.
    if (CPCar* car = GetCar()) car->DropBodyHandles();
    if (auto* data = dynamic_cast<CPPhysicData*>(GetPhysicData().Get())) data->RemoveFromPhysics();
    if (CPPhysics* physics = GetPhysics()) physics->RemoveObject(this);
}

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
    UpdateWreck(dt);
    UpdateDefeat(dt);
    if (respawnGuard > 0.0f) respawnGuard -= dt;
    if (blinkTime > 0.0f) blinkTime -= dt;
    UpdateGloomView(dt);
    UpdateGloom(dt);
    UpdateBrakeLights(dt);

    UpdateEngineTemperature(dt);
    if (CPPhysics* physics = GetPhysics()) physics->SetCarInput(this, throttle, lift);
    UpdateBonuses();

    UpdateAutoUnlock(dt);
    UpdateNitroPush(dt);
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

void CPPlayer::UpdateWreck(float dt) {
    if (!(damage >= 100.0f) || !locked) return;
    for (const char* light : {"lflarerear", "rflarerear"})
        if (CPRefPtr<CPGameObject> part = GetPartByName(light)) part->SetVisible(false);
    SetVisible(true);
    if (!(classBits & 4)) {
        smokeTime += dt;
        if (smokeTime >= 0.5f) {
            const float r3 = UnitRandom(), r2 = UnitRandom(), r1 = UnitRandom();
            if (CPRaceEffects* effects = GetRaceEffects())
                effects->EmitRaceParticle("smoke3car", GetPosition(), Vec3(1.7f * r1, 1.7f * r2, 3.0f + 0.4f * r3),
                                          Vec3(0, 0, -1), 1000.0f, 1.0f, 2.5f, true);
            smokeTime = 0.0f;
        }
    }
    wrecked = true;
}

void CPPlayer::UpdateDefeat(float dt) {
    if (!(damage >= 100.0f) || !(classBits & 8)) return;
    if (!defeatReported) {
        if (CPScriptManager* scripts = GetScriptManager()) {
            scripts->SendCommandByName("game_interface", "show_message", "proigrish!");
            scripts->SendCommandByName("jeep", "game_over", "");
        }
        defeatReported = true;
    }
    defeatTime += dt;
    if (defeatTime >= 3.0f && defeatTime <= 20.0f) {
        Send("main", "defeat");
        defeatTime = 666.0f;
    }
}

void CPPlayer::UpdateEngineTemperature(float dt) {
    const float before = engineTemperature;
    if (std::fabs(throttle) > 0.0f) engineTemperature = std::min(1.0f, engineTemperature + engineHeating * dt);
    else engineTemperature = std::max(0.0f, engineTemperature - engineCooling * dt);
    CPScriptManager* scripts = GetScriptManager();
    if (!scripts) return;
    if (before < kEngineWarning && engineTemperature >= kEngineWarning)
        scripts->SendCommandByName("gamemenu", "engine_temp", "1");
    else if (before >= kEngineWarning && engineTemperature < kEngineWarning)
        scripts->SendCommandByName("gamemenu", "engine_temp", "0");
}

void CPPlayer::UpdateAutoUnlock(float dt) {
    if (!autoUnlock) return;
    autoUnlockTime += dt;
    if (autoUnlockTime <= 4.0f) return;
    Lock(false);
    SetThrottleCut(false);
    autoUnlockTime = 0.0f;
    autoUnlock = false;
}

void CPPlayer::UpdateNitroPush(float dt) {
    CPCar* car = GetCar();
    if (!car || !(car->nitroTime > 0.0f)) {
        SetThrottleCut(false);
        return;
    }
    car->nitroTime -= dt;
    // The push fades with the time left and never turns into a pull in the last frame.
    const float left = std::max(0.0f, car->nitroTime);
    ApplyImpulse(GetPosition(), FlatForward(GetRotation()) * (car->nitroForce * left));
}

void CPPlayer::Draw(CPRenderBlock* block, const CPCamera* camera) {
    if (!block || !camera || !camera->GetMainCamera()) return;
    const CPBoundingBox& box = GetVisibilityBounds();
    if (!camera->GetMainCamera()->IsBoxVisible(box.min, box.max)) return;
    if (blinkTime > 0.0f && FrameCounter % 4 == 0) return;
    block->DrawDynamicObject(this);
    if (!shadow) return;
    auto* data = dynamic_cast<CPPhysicData*>(GetPhysicData().Get());
    if (CPPhysics* physics = GetPhysics(); physics && data)
        BuildShadowDecal(*shadow, GetWorldMatrix(), physics->GetDecalGround(*data));
    block->DrawDynamicObject(shadow.Get());
}
