#include <algorithm>
#include <cmath>

#include "Core/Math/Mat4.h"
#include "Core/PGlobalTimer.h"
#include "Core/PLog.h"
#include "Core/PRandom.h"
#include "Core/PRayQuery.h"
#include "Core/PScriptManager.h"
#include "Race/PCamera.h"
#include "Race/PCar.h"
#include "Race/PCarWeapon.h"
#include "Race/PLevel.h"
#include "Race/PPhysicData.h"
#include "Race/PPlayer.h"
#include "Render/PRender.h"
#include "Render/PRenderBlock.h"
#include "Render/PRenderObject.h"

namespace {

CPCarWeaponEffects* g_weaponEffects = nullptr;

constexpr float kPi = 3.14159265358979f;
// A load whose last shots would otherwise miss by a rounding error fires exactly its count.
constexpr double kCostTolerance = 1e-4;
// Pellets per shot come from the catalog; more than this is a data error.
constexpr int kMaxPellets = 64;

float Random01() { return static_cast<float>(EngineRand()) / static_cast<float>(ENGINE_RAND_MAX); }

Vec3 Translation(const Mat4& m) { return {m.m[3][0], m.m[3][1], m.m[3][2]}; }

// The direction turned away from itself by `tilt` radians, around it at `azimuth`.
Vec3 Tilted(const Vec3& direction, float tilt, float azimuth) {
    const Vec3 n = Normalize(direction);
    if (LengthSq(n) == 0.0f) return direction;
    const Vec3 helper = std::fabs(n.z) < 0.9f ? Vec3(0, 0, 1) : Vec3(1, 0, 0);
    const Vec3 u = Normalize(Cross(n, helper));
    const Vec3 v = Cross(n, u);
    return n * std::cos(tilt) + (u * std::cos(azimuth) + v * std::sin(azimuth)) * std::sin(tilt);
}

bool HasRigidBody(const CPGameObject* object) {
    auto* data = object ? dynamic_cast<CPPhysicData*>(object->GetPhysicData().Get()) : nullptr;
    return data && data->rigidBody;
}

void SetPartRotation(CPGameObject& part, const Mat4& rotation) {
    part.SetRotation(QuatRotationMatrix(rotation));
    part.UpdateTransform();
}

const std::string& ConfiguredWeapon(int slot) {
    static const std::string none;
    const CPGameData* data = GetGameData();
    if (!data || slot < 0 || slot > 2) return none;
    const CPCarConfiguration& c = data->raceConfiguration;
    return slot == 0 ? c.weapon1 : slot == 1 ? c.weapon2 : c.weapon3;
}

// The main camera's eye, when the level has a camera.
bool CameraEye(Vec3& eye) {
    CPLevel* level = GetLevel();
    CPCamera* camera = level ? level->GetCamera() : nullptr;
    CPPerspectiveCamera* main = camera ? camera->GetMainCamera() : nullptr;
    if (!main) return false;
    eye = main->eye;
    return true;
}

// The aiming beam: a quad from the muzzle along the aim, turned to face the camera (or lying flat
// without one), queued for this frame's drawing.
void DrawAimBeam(CPCarWeapon& w, const Vec3& muzzle, const Vec3& direction) {
    if (LengthSq(direction) == 0.0f) return;
    if (!w.aimBeamObject) {
        w.aimBeamObject = CPRefPtr<CPGameObject>(new CPGameObject("aim_beam"));
        CPRefPtr<CPRenderObject> quad(new CPRenderObject(w.aimBeamObject.Get()));
        quad->vertices.assign(4, CPVertex{});
        const float uv[8] = {0, 0, 1, 0, 1, 1, 0, 1};
        for (size_t i = 0; i < 4; ++i) {
            quad->vertices[i].diffuse = 0xFFFFFFFFu;
            quad->vertices[i].tu = uv[2 * i];
            quad->vertices[i].tv = uv[2 * i + 1];
        }
        quad->indices = {0, 1, 2, 0, 2, 3};
        w.aimBeamRender = CPRefPtr<CPManagedObject>(quad.Get());
        w.aimBeamObject->SetRenderPart(w.aimBeamRender);
        w.aimBeamObject->SetRenderType(CPGameObject::RenderMesh);
    }
    auto* quad = dynamic_cast<CPRenderObject*>(w.aimBeamRender.Get());
    if (!quad || quad->vertices.size() != 4) return;
    const Vec3 end = muzzle + direction * CPCarWeapon::kAimBeamLength;
    Vec3 eye;
    Vec3 side = CameraEye(eye) ? Cross(end - muzzle, eye - muzzle) : Cross(direction, Vec3(0, 0, 1));
    if (LengthSq(side) == 0.0f) side = Cross(direction, Vec3(1, 0, 0));
    side = Normalize(side) * CPCarWeapon::kAimBeamHalfWidth;
    const Vec3 corners[4] = {muzzle + side, end + side, end - side, muzzle - side};
    for (size_t i = 0; i < 4; ++i) quad->vertices[i].position = corners[i];
    quad->worldVertices = quad->vertices;
    if (CPRender* render = GetRender())
        if (CPRenderBlock* block = render->GetDynamicRenderBlock().Get())
            block->DrawDynamicObject(w.aimBeamObject.Get());
}

} // namespace

WeaponKind WeaponKindOf(const std::string& name) {
    static const struct {
        const char* name;
        WeaponKind kind;
    } kKinds[] = {
        {"lgun", WeaponMachineGun},          {"mgun", WeaponMachineGun},       {"mgun2x", WeaponMachineGun},
        {"lgun2x", WeaponLightGunTwin},      {"hmgun", WeaponHeavyMachineGun}, {"ssrlauncher", WeaponSmallRockets},
        {"rlauncher", WeaponRocketLauncher}, {"plasma", WeaponPlasma},         {"shotgun", WeaponShotgun},
        {"autoshotgun", WeaponShotgun},      {"gauss", WeaponGauss},           {"firethrower", WeaponFlameThrower},
    };
    for (const auto& entry : kKinds)
        if (name == entry.name) return entry.kind;
    return WeaponNone;
}

double CPCarWeapon::RecordNumber(int number) const {
    if (number == 1) return record.price;
    const size_t index = static_cast<size_t>(number - 2);
    return number >= 2 && index < record.numbers.size() ? record.numbers[index] : 0.0;
}

void SetCarWeaponEffects(CPCarWeaponEffects* effects) { g_weaponEffects = effects; }
CPCarWeaponEffects* GetCarWeaponEffects() { return g_weaponEffects; }

void SpawnShellCasing(CPGameObject* part) {
    CPCarWeaponEffects* effects = GetCarWeaponEffects();
    if (!part || !effects) return;
    const Mat4& world = part->GetWorldMatrix();
    const Vec3 direction = Vec3TransformNormal(Vec3(-1, 0, 2), world);
    const float life = 1.0f + Random01();
    const float speed = 4.0f + Random01();
    effects->EmitParticle("gilze", Translation(world), direction * speed, Vec3(0, 0, -24.8f), 0.2f, life);
}

void CPPlayer::ResetWeapon() {
    weapon.ammunition = {1.0f, 1.0f, 1.0f};
    weapon.firing = false;
    weapon.dropMine = false;
    weapon.hasMine = false;
}

void CPPlayer::SetFiring(bool on) {
    weapon.firing = on && weapon.slot >= 0 && !weapon.blocked;
    if (weapon.firing && weapon.kind == WeaponFlameThrower) weapon.flameTickTimer = 0.0f;
}

void CPPlayer::SetDroppingMine(bool on) { weapon.dropMine = on && weapon.hasMine && !weapon.mineBlocked; }

void CPPlayer::AddFlameHit(CPGameObject* object) {
    if (!object) return;
    for (const auto& hit : weapon.flameHits)
        if (hit.Get() == object) return;
    weapon.flameHits.emplace_back(object);
}

namespace {

bool SelectWeapon(CPCarWeapon& weapon, int step) {
    const int before = weapon.slot;
    bool any = false;
    for (int i = 0; i < 3; ++i) any = any || !ConfiguredWeapon(i).empty();
    if (!any) {
        weapon.slot = -1;
        return weapon.slot != before;
    }
    int slot = std::clamp(weapon.slot, -1, 2);
    do {
        slot += step;
        if (slot < 0) slot = 2;
        if (slot > 2) slot = 0;
    } while (ConfiguredWeapon(slot).empty());
    weapon.slot = slot;
    return weapon.slot != before;
}

} // namespace

bool CPPlayer::SelectPrevWeapon() { return SelectWeapon(weapon, -1); }
bool CPPlayer::SelectNextWeapon() { return SelectWeapon(weapon, 1); }

void CPPlayer::MountWeapon() {
    if (wrecked) return;
    if (weapon.part) weapon.part->SetVisible(false);
    weapon.part.Reset();
    for (auto& flash : weapon.flashes) flash.Reset();
    // A refused weapon must not fire on as the one before it.
    weapon.record = CPCatalogItem();
    weapon.kind = WeaponNone;
    if (weapon.slot >= 0) {
        weapon.name = ConfiguredWeapon(weapon.slot);
        const CPGameData* data = GetGameData();
        const CPCatalogItem* item = data ? data->catalogs[CatalogWeapons].Find(weapon.name) : nullptr;
        CPCarWeapon probe;
        if (item) probe.record = *item;
        // Without a rate or a load the cost and the pause between shots have no meaning.
        if (!item || !(probe.RecordNumber(7) > 0) || !(probe.RecordNumber(8) > 0)) {
            GetLog().Write(0, "weapon \"%s\": no usable catalog record, not mounted\n", weapon.name.c_str());
        } else {
            // Parts may sit anywhere under the car (flashes usually under the gun, to turn with it).
            CPRefPtr<CPGameObject> part = FindChild(weapon.name);
            const std::string flashNames[4] = {"flare_" + weapon.name, weapon.name + "_01", weapon.name + "_02",
                                               weapon.name + "_03"};
            std::array<CPRefPtr<CPGameObject>, 4> flashes;
            bool complete = static_cast<bool>(part);
            for (int i = 0; i < 4; ++i) {
                flashes[i] = FindChild(flashNames[i]);
                complete = complete && flashes[i];
            }
            if (!complete) {
                GetLog().Write(0, "weapon \"%s\": the car has not its part and four flashes, not mounted\n",
                               weapon.name.c_str());
            } else {
                weapon.part = part;
                weapon.part->SetVisible(true);
                weapon.record = *item;
                weapon.flashes = flashes;
                for (auto& flash : weapon.flashes) flash->SetVisible(false);
                weapon.flashIndex = 3;
                weapon.kind = WeaponKindOf(weapon.name);
            }
        }
    }
    if (weapon.part && weapon.ammunition[static_cast<size_t>(weapon.slot)] < 0.0f) weapon.blocked = true;
    UpdateWeapon(weapon.aimPoint, nullptr);
}

void CPPlayer::UpdateWeapon(const Vec3& aimPoint, CPGameObject* target) {
    const float dt = FrameDelta;
    CPCarWeapon& w = weapon;

    // Melee: one strike per elapsed period while either ray finds something.
    if (w.melee.enabled) {
        w.melee.timer += dt;
        int periods = 0;
        while (w.melee.timer >= CPCarWeapon::kMeleePeriod && periods < 64) {
            w.melee.timer -= CPCarWeapon::kMeleePeriod;
            ++periods;
        }
        CPLevel* level = GetLevel();
        if (periods > 0 && level) {
            const Mat4& world = GetWorldMatrix();
            const Vec3 direction = Normalize(Vec3TransformNormal(w.melee.direction, world));
            const Vec3 origins[2] = {Vec3TransformCoord(w.melee.pointA, world),
                                     Vec3TransformCoord(w.melee.pointB, world)};
            const Vec3 directions[2] = {direction, -direction};
            for (int i = 0; i < 2; ++i) {
                CPRayQuery query;
                query.origin = origins[i];
                query.direction = directions[i];
                query.distance = w.melee.reach;
                query.excludedObject = CPRefPtr<CPGameObject>(this);
                if (!level->CrossRayWithPlayer(query) || !query.hitOwner) continue;
                const Vec3 point = query.origin + query.direction * query.distance;
                for (int p = 0; p < periods; ++p)
                    query.hitOwner->Damage(point, query.direction, Random01() * w.melee.maxDamage, nullptr, false);
                break;
            }
        }
    }

    if (wrecked) return;
    w.aimPoint = aimPoint;
    if (!w.part) return;

    if (w.kind == WeaponFlameThrower) {
        w.flameTickTimer -= dt;
        while (w.flameTickTimer <= 0.0f) {
            const float amount = static_cast<float>(w.RecordNumber(5));
            for (const auto& hit : w.flameHits) {
                hit->Damage(hit->GetPosition(), hit->GetPosition() - GetPosition(), amount, nullptr, false);
                hit->StartFlames();
            }
            w.flameTickTimer += CPCarWeapon::kFlameTick;
        }
    }
    w.flameHits.clear();

    if (w.kind == WeaponHeavyMachineGun && w.firing) {
        w.barrelAngle += 10.5f * dt;
        if (CPRefPtr<CPGameObject> barrel = w.part->FindChild("stvol"))
            SetPartRotation(*barrel, MatRotationY(w.barrelAngle));
    }

    // Aiming.
    Vec3 targetPoint = aimPoint;
    const bool solidTarget = HasRigidBody(target);
    if (solidTarget) targetPoint.z = target->GetVisibilityBounds().GetCentre().z;
    const Mat4& world = GetWorldMatrix();
    const Vec3 muzzleBase = Vec3TransformCoord(w.part->GetPosition(), world);
    Vec3 forward = Vec3TransformNormal(Vec3(0, -1, 0), world);
    forward = Normalize(Vec3(forward.x, forward.y, 0.0f));
    Vec3 aim = targetPoint - muzzleBase;
    const Vec3 flat(aim.x, aim.y, 0.0f);
    const float horizontal = Length(flat);
    if (horizontal > 1e-6f) {
        const Vec3 d = flat / horizontal;
        float yaw = std::acos(std::clamp(Dot(d, forward), -1.0f, 1.0f));
        if (d.x * forward.y - d.y * forward.x > 0.0f) yaw = -yaw;
        w.yaw = yaw;
    }
    float elevation = 0.0f;
    if (w.kind == WeaponRocketLauncher) {
        elevation = kPi / 2.0f - std::asin(std::min(1.0f, 9.8f * horizontal / 289.0f)) / 2.0f;
        SetPartRotation(*w.part, MatRotationX(-elevation) * MatRotationZ(w.yaw));
    } else {
        SetPartRotation(*w.part, MatRotationZ(w.yaw));
    }
    if (!solidTarget) aim.z = 0.0f;
    if (w.aimBeam) DrawAimBeam(w, muzzleBase, Normalize(aim));

    // Firing.
    w.shotTimer -= dt;
    if (w.blocked || !w.firing || !(w.shotTimer < 0.0f)) return;
    // A script may show a part the mount refused; without its flashes nothing fires.
    for (const auto& flash : w.flashes)
        if (!flash) return;
    const size_t slot = static_cast<size_t>(std::clamp(w.slot, 0, 2));
    const double cost = w.RecordNumber(2) / (w.RecordNumber(7) * w.ammunitionFactor);
    const double slack = std::fabs(cost) * kCostTolerance;
    double remaining = w.ammunition[slot] - cost;
    if (w.ammunition[slot] + slack >= cost) {
        w.flashes[static_cast<size_t>(w.flashIndex)]->SetVisible(false);
        w.flashIndex = (w.flashIndex + 1) % 4;
        CPGameObject* flash = w.flashes[static_cast<size_t>(w.flashIndex)].Get();
        flash->SetVisible(true);
        const Vec3 muzzle = Translation(flash->GetWorldMatrix());
        const Vec3 direction = Normalize(aim);
        const float damage = static_cast<float>(w.RecordNumber(5));
        CPCar* car = GetCar();
        void* extra = car ? &car->speed : nullptr;
        CPCarWeaponEffects* effects = GetCarWeaponEffects();
        auto fire = [&](const char* name, const Vec3& at, const Vec3& along, const CPRefPtr<CPGameObject>& owner) {
            if (effects) effects->FireShot(name, at, along, damage, owner, extra);
        };
        switch (w.kind) {
        case WeaponMachineGun:
        case WeaponLightGunTwin:
            fire("trasser11", muzzle, direction, w.part);
            SpawnShellCasing(w.part.Get());
            break;
        case WeaponHeavyMachineGun: {
            const float tilt = Random01() * 0.1f;
            const float azimuth = Random01() * 2.0f * kPi;
            fire("trasser12", muzzle, Tilted(direction, tilt, azimuth), w.part);
            SpawnShellCasing(w.part.Get());
            break;
        }
        case WeaponSmallRockets: fire("srocket1", muzzle, direction, w.part); break;
        case WeaponRocketLauncher:
            // The rocket reads the third component as its elevation angle.
            fire("rocket1", muzzle, Vec3(direction.x, direction.y, elevation), w.part);
            break;
        case WeaponPlasma:
            // The charge rides on the shown flash, in its frame.
            fire("plazma", Vec3(), Vec3(0, -1, 0), w.flashes[static_cast<size_t>(w.flashIndex)]);
            break;
        case WeaponShotgun: {
            const Vec3 low(direction.x, direction.y, -0.2f);
            const int pellets = static_cast<int>(std::clamp(w.RecordNumber(2), 0.0, static_cast<double>(kMaxPellets)));
            for (int i = 0; i < pellets; ++i) {
                const float tilt = Random01() * 0.4f;
                const float azimuth = Random01() * 2.0f * kPi;
                fire("trasser13", muzzle, Tilted(low, tilt, azimuth), w.part);
                SpawnShellCasing(w.part.Get());
            }
            break;
        }
        case WeaponGauss: fire("gauss1", muzzle, direction, w.part); break;
        case WeaponFlameThrower: {
            const float a = Random01() * 0.2f - 0.1f, b = Random01() * 0.2f - 0.1f, c = Random01() * 0.2f - 0.1f;
            const Vec3 velocity = Vec3TransformNormal(direction, MatRotationYawPitchRoll(a, b, c)) * 14.0f;
            const float life = 0.8f + Random01() * 0.3f;
            if (effects) effects->EmitFlame(muzzle, velocity, life, this);
            break;
        }
        case WeaponNone: break;
        }
        if (w.kind != WeaponNone) {
            w.shotTimer = static_cast<float>(1.0 / (w.fireRateFactor * w.RecordNumber(8)));
            if (std::fabs(remaining) < slack) remaining = 0.0;
            w.ammunition[slot] = static_cast<float>(remaining);
        }
    }
    if (remaining + slack < cost) w.blocked = true;
    if (CPScriptManager* scripts = GetScriptManager())
        scripts->SendCommandByName("gamemenu", "update_game_interface", "");
}
