#include "Race/PEnemyController.h"

#include <cmath>
#include <cstdio>

#include "Core/Math/Mat4.h"
#include "Core/Math/Quat.h"
#include "Core/PRandom.h"
#include "Core/PRayQuery.h"
#include "Core/PScriptManager.h"
#include "Core/PUtils.h"
#include "Race/PGameData.h"
#include "Race/PLevel.h"
#include "Race/PPhysicData.h"
#include "Race/PPlayer.h"
#include "Race/PRaceEffects.h"
#include "Sound/NAudio.h"

namespace {

constexpr float kTwoPi = 6.28318530717958647692f;

bool Finite(const Vec3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

Vec3 Turned(const Quat& rotation, const Vec3& v) { return Vec3TransformNormal(v, MatRotationQuaternion(rotation)); }

// An angle in [0, limit) from the engine generator.
float RandomAngle(float limit) {
    return static_cast<float>(EngineRand()) / static_cast<float>(ENGINE_RAND_MAX + 1) * limit;
}

// The direction tilted off itself by a random angle up to `spread`, then rolled about itself by a
// random angle in [0, 2 pi).
Vec3 Scatter(const Vec3& direction, float spread) {
    const float tilt = RandomAngle(spread);
    const float roll = RandomAngle(kTwoPi);
    Vec3 side = Cross(direction, Vec3(0, 0, 1));
    if (LengthSq(side) < 1e-8f) side = Vec3(1, 0, 0); // straight up or down
    const Vec3 tilted = Vec3TransformNormal(direction, MatRotationQuaternion(QuatRotationAxis(side, tilt)));
    return Normalize(Vec3TransformNormal(tilted, MatRotationQuaternion(QuatRotationAxis(direction, roll))));
}

void CreateShot(const std::string& name, const Vec3& position, const Vec3& direction) {
    if (name.empty() || !Finite(position) || !Finite(direction)) return;
    if (CPRaceEffects* effects = GetRaceEffects()) effects->CreateShot(name, position, direction);
}

} // namespace

CPEnemyController::CPEnemyController(CPGameObject* owner) : owner_(owner) {
    if (owner) owner->SetEnemyController(this);
}

CPEnemyController::~CPEnemyController() {
    if (owner_ && owner_->GetEnemyController() == this) owner_->SetEnemyController(nullptr);
}

CPEnemyState* CPEnemyController::GetState(int number) {
    std::unique_ptr<CPEnemyState>& state = states_[number];
    if (!state) state = std::make_unique<CPEnemyState>(number);
    return state.get();
}

void CPEnemyController::EnterState(int number) {
    current_ = GetState(number);
    stateTime = 0;
}

void CPEnemyController::SetAnimation(const std::string& animation, int countFlag, bool restart, int count) {
    if (animation == request.name && !restart) return;
    request.name = animation;
    request.speed = 1.0f;
    request.playCount = countFlag;
    request.reportFrame = count;
    if (owner_) owner_->PlayAnimation(request, restart);
}

void CPEnemyController::OnAnimationStopped() {
    if (!owner_) return;
    const std::string ended = request.name;
    if (ended == "melee1" || ended == "melee2") {
        // No melee animations counted still means the first one.
        const int n = EngineRand() % (meleeCount > 0 ? meleeCount : 1) + 1;
        char next[32];
        std::snprintf(next, sizeof next, "melee%d", n);
        const size_t index = static_cast<size_t>(n - 1);
        SetAnimation(next, 1, true, index < melee.size() ? melee[index].count : -1);
        action.Reset();
    } else if (ended == "fire") {
        if (fireState != 1) return;
        SetAnimation("fire", 1, true, fireCount);
        action.Reset();
    } else if (ended == "fire_in") {
        SetAnimation("fire", 1, true, fireCount);
        fireState = 1;
    } else if (ended == "fire_out") {
        EnterState(kStateAfterFire);
        fireState = 0;
    } else if (ended == "death1" || ended == "death2") {
        owner_->SetActive(false);
    }
}

void CPEnemyController::TurnToPlayer() {
    CPLevel* level = GetLevel();
    CPPlayer* player = level ? level->GetPlayerCar() : nullptr;
    if (!player) return;
    const Vec3 forward = Turned(owner_->GetRotation(), Vec3(0, -1, 0));
    Vec3 toPlayer = player->GetPosition() - owner_->GetPosition();
    toPlayer.z = 0;
    if (!Finite(forward) || !Finite(toPlayer) || LengthSq(toPlayer) == 0.0f) return;
    facing = Normalize(toPlayer);
    const float dot = Dot(forward, facing);
    float angle = std::fabs(dot) < 0.0001f ? 0.0f : SafeAcos(dot);
    if (Cross(forward, facing).z < 0.0f) angle = -angle;
    if (angle == 0.0f) return;
    owner_->SetRotation(QuatNormalize(QuatMultiply(owner_->GetRotation(), QuatRotationAxis(Vec3(0, 0, 1), angle))));
    owner_->UpdateTransform();
}

void CPEnemyController::OnAnimationReport() {
    if (!owner_) return;
    action.OnMark();
    TurnToPlayer();
    if (request.name == "melee1") {
        if (weaponKind == "explosion") {
            const Vec3 offset = melee.empty() ? Vec3() : melee[0].offset;
            CreateShot("rocket_exp2", owner_->GetPosition() + Turned(owner_->GetRotation(), offset), Vec3(0, 0, 1));
            EnterState(kStateDead);
            SendDeath(1);
            return;
        }
        Melee(1, "hit1");
    } else if (request.name == "melee2") {
        Melee(2, "hit2");
    } else if (request.name == "fire") {
        Fire();
    }
}

void CPEnemyController::Melee(int number, const char* soundKey) {
    if (melee.size() < static_cast<size_t>(number)) return;
    const CPEnemyMelee& record = melee[static_cast<size_t>(number - 1)];
    CPLevel* level = GetLevel();
    CPPlayer* player = level ? level->GetPlayerCar() : nullptr;
    if (!player) return;
    const Quat& rotation = owner_->GetRotation();
    const Vec3 attack = Turned(rotation, record.attack);
    const Vec3 origin = owner_->GetPosition() + Turned(rotation, record.offset);
    const float reach = Length(attack);
    if (!Finite(attack) || !Finite(origin) || !std::isfinite(reach) || reach <= 0.0f) return;

    CPRayQuery query;
    query.origin = origin;
    query.direction = attack / reach;
    query.distance = reach;
    query.excludedObject = owner_;
    if (!level->CrossRayWithPlayer(query)) return;
    if (query.hitOwner.Get() != player && query.hitObject.Get() != player) return;
    const Vec3 point = query.origin + query.direction * query.distance;

    const auto key = sounds.find(soundKey);
    CNAudio* audio = GetSoundManager();
    if (key != sounds.end() && audio) {
        if (CPRefPtr<CNSound> sound = audio->GetSound(key->second)) {
            if (sound->IsPlaying()) {
                sound->Stop();
                sound->Rewind();
            }
            sound->Play(0, 0);
        }
    }
    if (std::isfinite(record.impulse)) player->ApplyImpulse(point, query.direction * record.impulse);
    if (std::isfinite(record.damage)) player->Damage(point, query.direction, record.damage, nullptr, false);
}

void CPEnemyController::Fire() {
    CPLevel* level = GetLevel();
    CPPlayer* player = level ? level->GetPlayerCar() : nullptr;
    if (!player) return;
    owner_->UpdateTransform(); // the muzzle is where the owner stands now
    const Vec3 from = Vec3TransformCoord(muzzle, owner_->GetWorldMatrix());
    const Vec3 to = player->GetPosition() + Vec3(0, 0, 0.3f) - from;
    if (!Finite(from) || !Finite(to) || LengthSq(to) == 0.0f) return;
    const Vec3 aim = Normalize(to);

    if (weaponKind == "hmgun") {
        CreateShot("trasser22", from, Scatter(aim, 0.1f));
    } else if (weaponKind == "rocket") {
        if (++rocketCounter >= 3) {
            rocketCounter = 0;
            CreateShot(EngineRand() % 2 == 0 ? "srocket2" : "plazma_shot2", from, aim);
        } else {
            CreateShot("plazma_shot2", from, aim);
        }
    } else if (weaponKind == "plasma") {
        CreateShot("plazma_shot2", from, aim);
    } else if (weaponKind == "shotgun") {
        for (int i = 0; i < 8; ++i) CreateShot("trasser23", from, Scatter(aim, 0.4f));
    } else if (weaponKind == "mgun" || weaponKind == "lgun") {
        CreateShot("trasser21", from, aim);
    }
}

void CPEnemyController::Damage(const Vec3& point, const Vec3& direction, float amount, bool noBlood, bool oilOnly) {
    if (ignoreDamage || !owner_) return;
    if (auto* data = dynamic_cast<CPPhysicData*>(owner_->GetPhysicData().Get())) data->reapply = false;
    hurt = true;
    if ((!oilOnly || bloodKind == "oil1") && std::isfinite(amount)) {
        health -= amount;
        if (!noBlood) CreateShot(bloodKind, point, direction);
    }
    if (health > 0) return;
    if (!dead) {
        if (CPGameData* data = CPGameData::Instance()) {
            data->SetMoney(data->GetMoney() + static_cast<float>(reward));
            ++data->killCount;
        }
        if (gibs && bloodKind == "blood1") Gibs();
        SendDeath(0);
    }
    dead = true;
    EnterState(kStateDead);
}

void CPEnemyController::Gibs() {
    owner_->SetVisible(false);
    const Vec3 start = owner_->GetPosition() + Vec3(0, 0, gibHeight);
    const int count = 5 + EngineRand() % 5;
    for (int i = 0; i < count; ++i) {
        const char* kind = EngineRand() % 2 == 1 ? "gib1" : "gib2";
        const float yaw = RandomAngle(kTwoPi);
        const float pitch = RandomAngle(kTwoPi);
        const float roll = RandomAngle(kTwoPi);
        CreateShot(kind, start, Vec3TransformNormal(Vec3(0, 0, 1), MatRotationYawPitchRoll(yaw, pitch, roll)));
    }
}

void CPEnemyController::SendDeath(int flag) {
    // The damage path sends once; the self-destruct sends whatever the flags held.
    const bool sent = deathSent[0] || deathSent[1];
    deathSent[flag] = true;
    if (sent && flag == 0) return;
    const Vec3& p = owner_->GetPosition();
    char position[96];
    std::snprintf(position, sizeof position, "%.2f,%.2f,%.2f", p.x, p.y, p.z);
    if (CPScriptManager* scripts = GetScriptManager())
        scripts->SendCommandByCategory("level", "enemy_death", name + "," + position);
}
