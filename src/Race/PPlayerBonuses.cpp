// The car against the level's bonuses and hazards, and the states they leave behind: the gloom (a
// shadow state that hides the car from a player outside it), the player's gloom view and the brake
// lights. Bonuses act whether or not their sound can be played; the sound is only heard.
#include <algorithm>
#include <cmath>

#include "Core/PGlobalTimer.h"
#include "Core/PRandom.h"
#include "Core/PScriptManager.h"
#include "Core/PSettings.h"
#include "Race/PCar.h"
#include "Race/PGameData.h"
#include "Race/PLevel.h"
#include "Race/PPhysicData.h"
#include "Race/PPlayer.h"
#include "Race/PRaceEffects.h"
#include "Render/PRender.h"
#include "Sound/NAudio.h"

namespace {

constexpr int kSunward = 1;
constexpr int kMoonward = 2;
constexpr int kTraffic = 4;
constexpr int kPlayerCar = 8;
constexpr float kPi = 3.14159265358979f;

constexpr float kRepairAmount = 20.0f;
constexpr float kBoostForce = 5.0f;
constexpr float kHaulerBoost = 4.8f;
constexpr float kBoostSeconds = 2.5f;
// The auto-unlock lets go after 4 s; starting it at 2 s ends the boost's throttle cut 2 s later.
constexpr float kBoostUnlockStart = 2.0f;
constexpr float kGuardSeconds = 4.0f;
constexpr int kMaxSpherePushes = 10;
constexpr double kSphereSeries = 1.0;
constexpr double kHaloInterval = 0.2;
constexpr float kHaloMaxPush = 400.0f;
constexpr float kBrakeLightSeconds = 4.0f;
constexpr float kBrakeLightMinSpeed = 10.0f;
constexpr float kGloomEffect = 0.3f;
constexpr uint8_t kGloomByte = 150;

float Random01() { return static_cast<float>(EngineRand()) / static_cast<float>(ENGINE_RAND_MAX); }

bool HasPart(const CPGameObject& object, const char* name) { return object.FindChild(name) != nullptr; }

void SendTo(const char* script, const char* command, const std::string& params) {
    if (CPScriptManager* scripts = GetScriptManager()) scripts->SendCommandByName(script, command, params);
}

void Shot(const char* name, const Vec3& position) {
    if (CPRaceEffects* effects = GetRaceEffects()) effects->CreateShot(name, position, Vec3(0, 0, 1));
}

// The named sound from the object's place, from its start; heard only when the sound exists.
void PlaySound(const char* name, const Vec3& position) {
    CNAudio* audio = GetSoundManager();
    CPRefPtr<CNSound> sound = audio ? audio->GetSound(name) : CPRefPtr<CNSound>();
    if (!sound) return;
    const float at[3] = {position.x, position.y, position.z};
    const float still[3] = {0, 0, 0};
    audio->SetSoundPosition(sound.Get(), at, still);
    audio->SetSoundDistances(sound.Get(), 0.0f, 200.0f);
    if (sound->IsPlaying()) {
        sound->Stop();
        sound->Rewind();
    }
    sound->Play(0, 0);
}

// The box an object is tested with and the divisor of the summed half-extents.
struct TestBox {
    Vec3 centre, half;
    float factor = 3.3f;
};

TestBox BonusTestBox(const CPGameObject& object) {
    TestBox box{object.GetVisibilityBounds().centre, object.GetVisibilityBounds().halfExtents};
    const std::string& name = object.GetName();
    if (name == "empty") {
        if (CPRefPtr<CPGameObject> part = object.FindChild("v_bii")) {
            box.centre = part->GetVisibilityBounds().centre;
            box.half = part->GetVisibilityBounds().halfExtents;
        }
        box.factor = 0.8f;
    }
    if (HasPart(object, "sphera")) box.half = Vec3(3.5f, 3.5f, box.half.z);
    if (name == "fake") {
        box.factor = 1.0f;
    } else if (name == "light") {
        box.factor = 2.0f;
    } else if (name == "halo") {
        box.half.x *= 0.33333334f;
        box.half.y *= 0.33333334f;
        box.factor = 1.0f;
    }
    return box;
}

// The brake-light look: both rear lights shown while lit, dark otherwise. A left light put out by
// something else (the wreck) stays out and takes the right one with it.
void LightRearLights(CPPlayer& car, bool lit) {
    CPRefPtr<CPGameObject> left = car.GetPartByName("lflarerear");
    CPRefPtr<CPGameObject> right = car.GetPartByName("rflarerear");
    if (lit && left && !left->IsVisible() && (!car.rearLightsDark || car.wrecked)) {
        if (right) right->SetVisible(false);
        return;
    }
    if (left) left->SetVisible(lit);
    if (right) right->SetVisible(lit);
    car.rearLightsDark = !lit;
}

} // namespace

CPPlayer::BonusKind CPPlayer::BonusKindOf(const CPGameObject& object) const {
    const std::string& name = object.GetName();
    const bool traffic = (classBits & kTraffic) != 0;
    const bool sunward = (classBits & (kSunward | kTraffic)) != 0;
    const bool moonward = (classBits & (kMoonward | kTraffic)) != 0;
    const bool whirlPart = HasPart(object, "v_bii");
    if (!traffic && name == "bonus_remont") return BonusRepair;
    if (!traffic && HasPart(object, "glow3")) return BonusAcceleration;
    if (!traffic && HasPart(object, "glow2")) return BonusSlowDown;
    if (!traffic && HasPart(object, "glow6")) return BonusAbilityMinus;
    if (!traffic && HasPart(object, "glow4")) return BonusAbilityPlus;
    if (moonward && HasPart(object, "sphera")) return BonusSphere;
    if (!traffic && HasPart(object, "portal_a")) return BonusPortal;
    if (sunward && whirlPart) return BonusWhirl;
    if (moonward && name == "light" && !whirlPart) return BonusLight;
    if (sunward && name == "halo" && !whirlPart) return BonusHalo;
    return BonusNone;
}

bool CPPlayer::TouchesBonus(const CPGameObject& object) const {
    const TestBox a = BonusTestBox(object);
    const CPBoundingBox& b = carKey == "scout" ? GetCollisionBounds() : GetVisibilityBounds();
    const float da[3] = {a.centre.x - b.centre.x, a.centre.y - b.centre.y, a.centre.z - b.centre.z};
    const float ha[3] = {a.half.x, a.half.y, a.half.z};
    const float hb[3] = {b.halfExtents.x, b.halfExtents.y, b.halfExtents.z};
    for (int axis = 0; axis < 3; ++axis)
        if (!(std::fabs(da[axis]) <= (ha[axis] + hb[axis]) / a.factor)) return false;
    return true;
}

void CPPlayer::UpdateBonuses() {
    CPLevel* level = GetLevel();
    if (!level || !level->IsRaceActive()) return;
    const bool player = (classBits & kPlayerCar) != 0;
    auto message = [player](const char* text) {
        if (player) SendTo("game_interface", "show_message", text);
    };
    CPCar* car = GetCar();
    const Vec3 position = GetPosition();
    size_t i = 0;
    while (i < level->GetBonuses().size()) {
        // Held here: the pickup takes it out of the list while it still acts.
        const CPRefPtr<CPGameObject> object = level->GetBonuses()[i];
        if (!object || !TouchesBonus(*object)) {
            ++i;
            continue;
        }
        const Vec3 at = object->GetPosition();
        const char* picked = nullptr;
        switch (BonusKindOf(*object)) {
        case BonusRepair:
            Shot("sparks4_remont", at);
            PlaySound("chik", at);
            damage = std::max(0.0f, damage - kRepairAmount);
            message("remont!");
            picked = "repair";
            break;
        case BonusAcceleration: {
            Shot("sparks4", at);
            PlaySound("bonus_fast", at);
            SetThrottleCut(true);
            SetControls(0.0f, lift);
            autoUnlock = true;
            autoUnlockTime = kBoostUnlockStart;
            // The driver's input as it stands now (0 after the cut, unless the car is locked).
            float force = throttle < 0.0f ? -kBoostForce : kBoostForce;
            if (carKey == "hauler_") force *= kHaulerBoost;
            if (car) {
                car->nitroForce = force;
                car->nitroTime = kBoostSeconds;
            }
            Vec3 forward = GetForward();
            forward.z = 0.0f;
            ApplyImpulse(position, forward * force);
            message("uskorenie!");
            picked = "axel";
            break;
        }
        case BonusSlowDown:
            Shot("sparks4red", at);
            PlaySound("bonus_slow", at);
            LightRearLights(*this, true);
            message("zamedlenie!");
            brakeLights = true;
            brakeLightTime = 0.0f;
            picked = "brake";
            break;
        case BonusAbilityMinus:
            Shot("sparks4red", at);
            PlaySound("bonus_minus", at);
            if (abilityCount > 0) {
                --abilityCount;
                SendTo("game_interface", "redraw_abilities", "");
            }
            message("sposobnost-1!");
            picked = "minus";
            break;
        case BonusAbilityPlus: {
            Shot("sparks4", at);
            PlaySound("bonus_plus", at);
            const CPGameData* data = GetGameData();
            if (abilityCount < (data ? data->abilityMaximum : 0)) {
                ++abilityCount;
                SendTo("game_interface", "redraw_abilities", "");
            }
            message("sposobnost+1!");
            picked = "plus";
            break;
        }
        case BonusPortal:
            Shot("sparks4_gloom", at);
            PlaySound("enter_gloom", at);
            inGloom = true;
            gloomTime = 0.0f;
            message("uron_x2!");
            if (level->GetPlayerCar() == this) {
                if (CPRender* render = GetRender()) {
                    render->SetScreenEffect(kGloomEffect);
                    render->SetByteSetting(kGloomByte);
                }
                gloomView = true;
                gloomViewTime = 0.0f;
                level->HideCars();
            } else if (!player) {
                SetVisible(false);
            }
            picked = "gloom";
            break;
        case BonusSphere: {
            if (TotalTime - lastSpherePushTime >= kSphereSeries) spherePushCount = 0;
            if (spherePushCount >= kMaxSpherePushes) break;
            const float mass = GetMass();
            const float speed = car ? car->speed : 0.0f;
            const float s = std::min(300.0f, speed * 2.4f * mass * 0.1f);
            if (spherePushCount == 0) spherePushDirection = Vec3(position.x - at.x, position.y - at.y, position.z);
            ApplyImpulse(position, Vec3(s * spherePushDirection.x, s * spherePushDirection.y, 2.0f * mass));
            respawnGuard = kGuardSeconds;
            ++spherePushCount;
            lastSpherePushTime = TotalTime;
            break;
        }
        case BonusWhirl: {
            const float mass = GetMass();
            ApplyImpulse(position, Vec3(0, 0, 1.5f * mass));
            auto* body = dynamic_cast<CPPhysicData*>(GetPhysicData().Get());
            if (body && body->rigidBody) body->rigidBody->SetAngularMomentum({0.0f, 0.0f, 30.0f * mass, 0.0f});
            respawnGuard = kGuardSeconds;
            break;
        }
        case BonusLight:
            // The flag only: the car's inputs are cleared and held by hand, then the lift given back.
            locked = true;
            if (car) {
                car->SetThrottle(0.0f, 0.0f);
                car->held = true;
                car->SetThrottle(0.0f, lift);
            }
            autoUnlock = true;
            autoUnlockTime = 0.0f;
            break;
        case BonusHalo: {
            if (TotalTime - lastHaloTime < kHaloInterval) break;
            const Vec3 d = Normalize(at - position);
            const float angle = std::acos(std::clamp(Dot(d, Vec3(0, -1, 0)), -1.0f, 1.0f)) + kPi / 2.0f;
            // (0, -1, 0) turned about Z by the angle.
            const Vec3 velocity(std::sin(angle), -std::cos(angle), 0.0f);
            const float growth = 0.4f + 1.8f * Random01();
            if (CPRaceEffects* effects = GetRaceEffects())
                effects->EmitRaceParticle("wall", position + d, velocity, Vec3(), 4.0f, growth, 0.5f, false);
            Vec3 push = (position - BonusTestBox(*object).centre) * 100.0f;
            if (LengthSq(push) > kHaloMaxPush * kHaloMaxPush) push = Normalize(push) * kHaloMaxPush;
            ApplyImpulse(position, push);
            SetRespawnGuard(kGuardSeconds);
            lastHaloTime = TotalTime;
            break;
        }
        case BonusNone: break;
        }
        if (picked) {
            SendTo("main", "update_bonus_list", picked);
            level->RemoveBonus(i);
        } else {
            ++i;
        }
    }
}

void CPPlayer::UpdateGloomView(float dt) {
    if (!gloomView) return;
    gloomViewTime += dt;
    if (gloomViewTime < kGloomSeconds) return;
    gloomView = false;
    if (CPRender* render = GetRender()) {
        render->SetScreenEffect(0.0f);
        render->SetByteSetting(255);
    }
    if (CPLevel* level = GetLevel()) level->ShowCars();
}

void CPPlayer::UpdateGloom(float dt) {
    if (!inGloom) return;
    CPLevel* level = GetLevel();
    const CPPlayer* player = level ? level->GetPlayerCar() : nullptr;
    if (!player || !player->inGloom) {
        SetVisible(false);
    } else {
        SetVisible(true);
        const bool chaseView = player == this && level->GetCameraMode() != 0;
        CPRaceEffects* effects = GetRaceEffects();
        if (!chaseView && g_psystems > 0 && effects) {
            // Real division: 25 / psystems in integers would be 0 above 25.
            const int sparks = static_cast<int>(60.0f / (25.0f / static_cast<float>(g_psystems)));
            const Vec3* k = GetOwnBox().corners;
            for (int s = 0; s < sparks; ++s) {
                const float r1 = Random01(), r2 = Random01(), r3 = Random01(), r4 = Random01(), r5 = Random01();
                // A point of the rear half of the box.
                const Vec3 p1 = k[6] + r1 * (k[2] - k[6]);
                const Vec3 p2 = k[7] + r2 * (k[3] - k[7]);
                const Vec3 at = p1 + r4 * (p2 - p1) + 0.5f * r3 * (k[0] - k[3]);
                effects->EmitRaceParticle("iskra3blue", at, Vec3(), Vec3(), 0.2f, 0.5f, 0.1f + 0.5f * r5, true);
            }
        }
    }
    gloomTime += dt;
    if (gloomTime < kGloomSeconds) return;
    inGloom = false;
    if ((classBits & kPlayerCar) == 0) SetVisible(true);
}

void CPPlayer::UpdateBrakeLights(float dt) {
    if (!brakeLights) return;
    LightRearLights(*this, true);
    brakeLightTime += dt;
    if (brakeLightTime >= kBrakeLightSeconds || Length(GetVelocity()) < kBrakeLightMinSpeed) {
        brakeLights = false;
        LightRearLights(*this, false);
    }
}

void CPPlayer::ResetBonuses() {
    spherePushCount = 0;
    lastSpherePushTime = 0.0;
    spherePushDirection = Vec3();
    lastHaloTime = 0.0;
    gloomView = false;
    gloomViewTime = 0.0f;
    brakeLights = false;
    brakeLightTime = 0.0f;
    LightRearLights(*this, false);
}
