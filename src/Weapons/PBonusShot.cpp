#include "Weapons/PBonusShot.h"

#include <algorithm>
#include <cstdio>

#include "Core/PGlobalTimer.h"
#include "Core/PScriptManager.h"
#include "Core/PSettings.h"
#include "Race/PGameData.h"
#include "Race/PPhysicData.h"
#include "Race/PPhysics.h"
#include "Render/PMaterial.h"
#include "Render/PRender.h"
#include "Render/PRenderObject.h"
#include "Sound/NAudio.h"
#include "Sound/NSound.h"
#include "Weapons/PShotWorld.h"
#include "Weapons/PWeaponsSystem.h"

namespace {
void SendToGameMenu(const char* command, const std::string& params) {
    if (CPScriptManager* scripts = GetScriptManager()) scripts->SendCommandByName("gamemenu", command, params);
}
void SetGameSpeed(float factor) {
    TimeScale = factor;
    CNSound::SetGlobalPitch(factor);
}
void RemoveFromWorld(CPGameObject* object) {
    if (auto* data = dynamic_cast<CPPhysicData*>(object->GetPhysicData().Get())) data->RemoveFromPhysics();
    if (CPPhysics* physics = GetPhysics()) physics->RemoveObject(object);
}
} // namespace

// ---- pickup ----

bool CPBonusShot::Init(const ShotParams& params) {
    CopyModel(ShotParam(params, 1) + ".rdf");
    appear_ = ShotParam(params, 2);
    expire_ = ShotParam(params, 3);
    pickup_ = ShotParam(params, 4);
    lifetime_ = ShotParamFloat(params, 5);
    kindWord_ = ShotParam(params, 6);
    static const char* const words[] = {"time", "money", "armor", "super"};
    kind_ = None;
    for (int i = 0; i < 4; ++i)
        if (kindWord_ == words[i]) kind_ = i;
    return CPShot::Init(params);
}

CPRefPtr<CPShot> CPBonusShot::Clone() {
    CPRefPtr<CPBonusShot> copy(new CPBonusShot(shotName_));
    CopySound(*copy);
    copy->CopyFrom(CPRefPtr<CPGameObject>(this));
    copy->appear_ = appear_;
    copy->expire_ = expire_;
    copy->pickup_ = pickup_;
    copy->lifetime_ = lifetime_;
    copy->timer_ = timer_;
    copy->available_ = available_;
    copy->phase_ = phase_;
    copy->timeFactor_ = timeFactor_;
    copy->kind_ = kind_;
    return CPRefPtr<CPShot>(copy.Get());
}

void CPBonusShot::Launch(const Vec3& position, const Vec3& direction, float damage, const CPRefPtr<CPGameObject>& owner,
                         void* extra) {
    phase_ = 0;
    timeFactor_ = 1.0f;
    available_ = true;
    CPShot::Launch(position, direction, damage, owner, extra);
    MoveTo(position);
    SetVisible(true);
    timer_ = 0.0f;
    LaunchShot(appear_, GetPosition(), Vec3(0, 0, 1), -1.0f);
}

bool CPBonusShot::Update() {
    if (available_) {
        timer_ += FrameDelta;
        if (timer_ >= lifetime_) {
            LaunchShot(expire_, GetPosition(), Vec3(0, 0, 1), -1.0f);
            return false;
        }
        CPShotWorld* world = GetShotWorld();
        CPGameObject* car = world ? world->GetPlayerCar() : nullptr;
        if (car) {
            const float dx = car->GetPosition().x - GetPosition().x;
            const float dy = car->GetPosition().y - GetPosition().y;
            if (dx * dx + dy * dy < 4.0f) {
                LaunchShot(pickup_, GetPosition(), Vec3(0, 0, 5), -1.0f);
                available_ = false;
                SetVisible(false);
                timer_ = 0.0f;
            }
        }
        return true;
    }
    switch (kind_) {
    case Time: {
        const float d = timeFactor_ > 0.0f ? FrameDelta / timeFactor_ : FrameDelta;
        timer_ += d;
        if (phase_ == 0) {
            timeFactor_ -= 0.25f * d;
            if (timeFactor_ < 0.5f || timer_ >= 2.0f) {
                timeFactor_ = 0.5f;
                phase_ = 1;
            }
        } else if (phase_ == 1) {
            if (timer_ >= 18.0f) phase_ = 2;
        } else {
            timeFactor_ += 0.25f * d;
            if (timeFactor_ > 1.0f || timer_ >= 20.0f) {
                timeFactor_ = 1.0f;
                SetGameSpeed(1.0f);
                return false;
            }
        }
        SetGameSpeed(timeFactor_);
        return true;
    }
    case Money:
        // Setting the money tells "gamemenu" the new amount ("change_money") itself.
        if (CPGameData* data = GetGameData()) data->SetMoney(data->GetMoney() + 100.0f);
        return false;
    case Armor:
        if (CPShotWorld* world = GetShotWorld()) world->RepairPlayerCar(50.0f);
        SendToGameMenu("update_game_interface", "");
        return false;
    case Super:
        if (CPGameData* data = GetGameData())
            if (data->raceConfiguration.superCount < 3) ++data->raceConfiguration.superCount;
        SendToGameMenu("update_game_interface", "");
        return false;
    default:
        // An unknown pickup word: collected, without effect.
        return false;
    }
}

void CPBonusShot::Abort() {
    if (!available_ && kind_ == Time) SetGameSpeed(1.0f);
}

// ---- mine ----

bool CPMineShot::Init(const ShotParams& params) {
    triggerRadius_ = 0.0f;
    if (CPGameData* data = GetGameData())
        if (const CPCatalogItem* item = data->catalogs[CatalogMines].Find(shotName_))
            if (item->numbers.size() > 5) triggerRadius_ = static_cast<float>(item->numbers[5]);
    CopyModel(shotName_ + ".rdf");
    explosion_ = ShotParam(params, 1);
    lifetime_ = ShotParamFloat(params, 2);
    timer_ = ShotParam(params, 3) == "timer";
    return CPShot::Init(params);
}

CPRefPtr<CPShot> CPMineShot::Clone() {
    CPRefPtr<CPMineShot> copy(new CPMineShot(shotName_));
    CopySound(*copy);
    copy->CopyFrom(CPRefPtr<CPGameObject>(this));
    copy->triggerRadius_ = triggerRadius_;
    copy->explosion_ = explosion_;
    copy->lifetime_ = lifetime_;
    copy->timer_ = timer_;
    return CPRefPtr<CPShot>(copy.Get());
}

void CPMineShot::Launch(const Vec3& position, const Vec3& direction, float, const CPRefPtr<CPGameObject>&, void*) {
    MoveTo(position, false);
    SetRotation(QuatIdentity());
    UpdateTransform();
    age_ = 0.0f;
    auto* data = dynamic_cast<CPPhysicData*>(GetPhysicData().Get());
    if (!data) return;
    data->AddToPhysics(1);
    if (CPPhysics* physics = GetPhysics()) physics->RestoreObject(this);
    if (data->rigidBody) PushObject(this, direction, position);
}

void CPMineShot::Abort() { RemoveFromWorld(this); }

bool CPMineShot::Update() {
    age_ += FrameDelta;
    if (age_ >= lifetime_) {
        if (timer_) LaunchShot(explosion_, GetPosition(), Vec3(0, 0, 1), -1.0f);
        RemoveFromWorld(this);
        return false;
    }
    CPShotWorld* world = GetShotWorld();
    if (!world) return true;
    std::vector<CPRefPtr<CPGameObject>> near;
    world->GetObjectsInRadius(GetPosition(), triggerRadius_, near);
    for (const auto& object : near) {
        if (!object || !object->GetEnemyController()) continue;
        LaunchShot(explosion_, GetPosition(), Vec3(0, 0, 5), -1.0f);
        RemoveFromWorld(this);
        return false;
    }
    return true;
}

// ---- pulse ----

bool CPEmpShot::Init(const ShotParams& params) {
    CopyModel(ShotParam(params, 1) + ".rdf");
    damageFactor_ = ShotParamFloat(params, 2);
    const std::vector<std::string> rgb = SplitShotText(ShotParam(params, 3), ",");
    const ShotParams rgbParams(rgb.begin(), rgb.end());
    colour_ = Color(ShotParamFloat(rgbParams, 1) * 20.0f, ShotParamFloat(rgbParams, 2) * 20.0f,
                    ShotParamFloat(rgbParams, 3) * 20.0f, 1.0f);
    radius_ = ShotParamFloat(params, 4);
    lifetime_ = ShotParamFloat(params, 5);
    light_ = LightRecord{};
    light_.Type = 1;
    light_.Diffuse = colour_;
    light_.Specular = colour_;
    light_.Range = 3.0f * radius_;
    light_.Attenuation1 = 0.5f;
    return CPShot::Init(params);
}

CPRefPtr<CPShot> CPEmpShot::Clone() {
    CPRefPtr<CPEmpShot> copy(new CPEmpShot(shotName_));
    CopySound(*copy);
    copy->CopyFrom(CPRefPtr<CPGameObject>(this));
    copy->damageFactor_ = damageFactor_;
    copy->colour_ = colour_;
    copy->light_ = light_;
    copy->lifetime_ = lifetime_;
    copy->radius_ = radius_;
    return CPRefPtr<CPShot>(copy.Get());
}

void CPEmpShot::Launch(const Vec3& position, const Vec3& direction, float damage, const CPRefPtr<CPGameObject>& owner,
                       void* extra) {
    time_ = 0.0f;
    MoveTo(position);
    light_.Range = 30.0f * radius_;
    CPShot::Launch(position, direction, damage, owner, extra);
    if (CPShotWorld* world = GetShotWorld()) {
        std::vector<CPRefPtr<CPGameObject>> near;
        world->GetObjectsInRadius(position, radius_, near);
        for (const auto& object : near) {
            if (!object) continue;
            const Vec3 d = object->GetPosition() - position;
            const float amount = std::max(0.0f, (radius_ - Length(d)) * damageFactor_);
            // Straight above or below: no horizontal direction, a zero one.
            object->Damage(object->GetPosition(), -FlatDirection(Normalize(d)), amount, nullptr, false);
        }
    }
    AnimationRequest request;
    request.name = "exp";
    request.speed = 1.5f;
    request.playCount = 1;
    PlayAnimation(request, true);
    light_.Position = position + direction * 0.5f;
}

bool CPEmpShot::Update() {
    if (CPRender* render = GetRender()) render->AddLight(light_);
    time_ += FrameDelta;
    return time_ <= lifetime_;
}

// ---- super weapon ----

bool CPSuperShot::Init(const ShotParams& params) {
    soundName_ = ShotParam(params, 1);
    CPRefPtr<CPRenderObject> quad(new CPRenderObject(this));
    CPRefPtr<CPManagedObject> material = ShotMaterial(197, "super.fx", "");
    quad->SetMaterial(CPRefPtr<CPMaterial>(dynamic_cast<CPMaterial*>(material.Get())));
    quad->indices = {0, 1, 2, 0, 2, 3};
    const float w = static_cast<float>(g_screenWidth), h = static_cast<float>(g_screenHeight);
    const Vec3 corners[4] = {{0, 0, 0}, {w, 0, 0}, {w, h, 0}, {0, h, 0}};
    quad->vertices.assign(4, CPVertex{});
    for (int i = 0; i < 4; ++i) {
        quad->vertices[i].position = corners[i];
        quad->vertices[i].diffuse = 0xFFFFFFFFu;
    }
    quad->worldVertices = quad->vertices;
    quad->SetOwner(nullptr);
    InstallQuad(quad);
    return CPShot::Init(params);
}

CPRefPtr<CPShot> CPSuperShot::Clone() {
    CPRefPtr<CPSuperShot> copy(new CPSuperShot(shotName_));
    CopySound(*copy);
    copy->CopyFrom(CPRefPtr<CPGameObject>(this));
    if (auto* quad = dynamic_cast<CPRenderObject*>(copy->GetRenderPart().Get())) {
        quad->SetOwner(nullptr);
        copy->InstallQuad(CPRefPtr<CPRenderObject>(quad));
    }
    copy->soundName_ = soundName_;
    return CPRefPtr<CPShot>(copy.Get());
}

void CPSuperShot::SetGrey(int level) {
    if (!quad_) return;
    const uint32_t g = static_cast<uint32_t>(std::clamp(level, 0, 255));
    const uint32_t colour = 0xFF000000u | (g << 16) | (g << 8) | g;
    for (CPVertex& v : quad_->worldVertices) v.diffuse = colour;
}

void CPSuperShot::Launch(const Vec3& position, const Vec3& direction, float damage, const CPRefPtr<CPGameObject>& owner,
                         void* extra) {
    CPShot::Launch(position, direction, damage, owner, extra);
    time_ = 0.0f;
    phase_ = 0;
    level_ = 0.0f;
    SetGrey(0);
    if (CNAudio* audio = GetSoundManager())
        if (CPRefPtr<CNSound> sound = audio->GetSound(soundName_)) {
            if (sound->IsPlaying()) {
                sound->Stop();
                sound->Rewind();
            }
            sound->Play(0, 0);
        }
    if (CPScriptManager* scripts = GetScriptManager()) scripts->SendCommandByCategory("main", "say_super", "");
}

bool CPSuperShot::Update() {
    time_ += FrameDelta;
    bool live = true;
    if (phase_ == 0) {
        level_ += 1000.0f * FrameDelta;
        if (level_ >= 255.0f || time_ >= 0.2f) {
            level_ = 255.0f;
            phase_ = 1;
        }
    } else if (phase_ == 1) {
        if (time_ >= 1.0f) phase_ = 2;
    } else if (phase_ == 2) {
        level_ -= 255.0f * FrameDelta;
        if (level_ <= 0.0f || time_ >= 2.0f) {
            level_ = 0.0f;
            phase_ = 3;
            live = false;
        }
    }
    SetGrey(static_cast<int>(level_));
    return live;
}

// ---- plain model ----

bool CPSimpleShot::Init(const ShotParams& params) {
    CopyModel(ShotParam(params, 1));
    side_ = ShotParam(params, 2) != "enemy";
    first_ = ShotParamFloat(params, 3);
    second_ = ShotParamFloat(params, 4);
    name_ = ShotParam(params, 5);
    return CPShot::Init(params);
}

CPRefPtr<CPShot> CPSimpleShot::Clone() {
    CPRefPtr<CPSimpleShot> copy(new CPSimpleShot(shotName_));
    CopySound(*copy);
    copy->CopyFrom(CPRefPtr<CPGameObject>(this));
    copy->first_ = first_;
    copy->second_ = second_;
    copy->name_ = name_;
    copy->side_ = side_;
    return CPRefPtr<CPShot>(copy.Get());
}

void CPSimpleShot::LaunchDefault(const Vec3& position, const Vec3& direction, float damage) {
    cleared_ = 0.0f;
    Launch(position, direction, damage, CPRefPtr<CPGameObject>(), nullptr);
}
