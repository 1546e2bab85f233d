#include "Weapons/PShot.h"

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "Core/Math/Math.h"
#include "Core/PGlobalTimer.h"
#include "Core/PLog.h"
#include "Core/PRandom.h"
#include "Core/PRayQuery.h"
#include "Core/PScriptManager.h"
#include "Core/PTokenizer.h"
#include "Particles/PParticlesManager.h"
#include "Physics/RigidBody.h"
#include "Race/PPhysicData.h"
#include "Render/PMaterial.h"
#include "Render/PMaterialManager.h"
#include "Render/PMeshManager.h"
#include "Render/PRenderObject.h"
#include "Sound/NAudio.h"
#include "Sound/NSound.h"
#include "Weapons/PShotWorld.h"

namespace {
CPShotWorld* g_shotWorld = nullptr;
} // namespace

void SetShotWorld(CPShotWorld* world) { g_shotWorld = world; }
CPShotWorld* GetShotWorld() { return g_shotWorld; }

CPShot::CPShot(const std::string& shotName) : CPGameObject("CPShot"), shotName_(shotName) {
    quad_ = CPRefPtr<CPRenderObject>(new CPRenderObject(this));
    InstallQuad(quad_);
}

CPShot::~CPShot() {
    quad_.Reset();
    sound_.Reset();
}

void CPShot::InstallQuad(const CPRefPtr<CPRenderObject>& quad) {
    quad_ = quad;
    SetRenderPart(CPRefPtr<CPManagedObject>(quad.Get()));
    SetRenderType(RenderMesh);
}

bool CPShot::Init(const ShotParams& params) {
    const std::string last = params.empty() ? std::string() : params.back();
    const std::vector<std::string> parts = SplitShotText(last, ",");
    soundSpec_ = parts.empty() ? std::string() : parts[0];
    const std::string option = parts.size() > 1 ? parts[1] : std::string();
    sound_.Reset();
    sound2D_ = false;
    // An empty spec (a line without parameters) is as silent as "none".
    if (soundSpec_ == "none" || soundSpec_.empty()) return true;
    sound2D_ = option == "2d";
    if (CNSoundCache* cache = GetSoundCache()) sound_ = cache->LoadSound(soundSpec_, sound2D_ ? 0 : 1, false);
    return true;
}

void CPShot::Launch(const Vec3& position, const Vec3& direction, float damage, const CPRefPtr<CPGameObject>&, void*) {
    launchDamage_ = damage;
    position_ = position;
    direction_ = direction;
    Face(direction);
    if (!sound_) return;
    if (!sound2D_) {
        const float pos[3] = {position.x, position.y, position.z};
        const float zero[3] = {0, 0, 0};
        if (CNAudio* audio = GetSoundManager()) audio->SetSoundPosition(sound_.Get(), pos, zero);
    }
    sound_->startStamp = FrameCounter;
    sound_->Stop();
    sound_->Rewind();
    sound_->Play(0, 0);
}

void CPShot::CopySound(CPShot& target) const {
    target.sound_ = sound_;
    target.sound2D_ = sound2D_;
    target.soundSpec_ = soundSpec_;
}

void CPShot::MoveTo(const Vec3& position, bool updateTransform) {
    SetPosition(position);
    if (updateTransform) UpdateTransform();
}

void CPShot::Face(const Vec3& direction) { SetRotation(ShotOrientation(direction)); }

bool CPShot::CopyModel(const std::string& name) {
    CPMeshManager* meshes = GetMeshManager();
    if (!meshes) return false;
    CPRefPtr<CPGameObject> model = meshes->LoadRenderObject(name, 0x14);
    if (!model) return false;
    CopyFrom(model);
    return true;
}

// ---- helpers ----

const std::string& ShotParam(const ShotParams& params, int index) {
    static const std::string empty;
    if (index < 1 || index > static_cast<int>(params.size())) return empty;
    return params[static_cast<size_t>(index - 1)];
}

float ShotParamFloat(const ShotParams& params, int index) {
    const std::string& text = ShotParam(params, index);
    const float value = std::strtof(text.c_str(), nullptr);
    if (!std::isfinite(value)) {
        GetLog().Write(1, "weapons: parameter %d \"%s\" is not a finite number, read as 0", index, text.c_str());
        return 0.0f;
    }
    return value;
}

int ShotParamInt(const ShotParams& params, int index) {
    const std::string& text = ShotParam(params, index);
    errno = 0;
    const long value = std::strtol(text.c_str(), nullptr, 10);
    if (errno == ERANGE || value > INT32_MAX || value < INT32_MIN) return value < 0 ? INT32_MIN : INT32_MAX;
    return static_cast<int>(value);
}

std::vector<std::string> SplitShotText(const std::string& text, const char* separator) {
    std::vector<std::string> out;
    CPTokenizer tokens(text, separator, true);
    std::string token;
    while (tokens.NextToken(token)) out.push_back(token);
    return out;
}

Quat ShotOrientation(const Vec3& direction) {
    const Vec3 n = Normalize(direction);
    if (LengthSq(n) == 0.0f) return QuatIdentity();
    const Vec3 axis(n.z, 0.0f, -n.x);
    if (LengthSq(axis) == 0.0f) {
        // Along the model axis: nothing to turn, or the opposite way: half a turn about Z.
        return n.y < 0.0f ? QuatIdentity() : QuatRotationAxis(Vec3(0, 0, 1), MathPi);
    }
    return QuatRotationAxis(axis, -std::acos(std::clamp(-n.y, -1.0f, 1.0f)));
}

float ShotRandom() { return static_cast<float>(EngineRand()) / 32767.0f; }

Vec3 HitNormal(const CPRayQuery& query) {
    const Vec3 n = Normalize(Vec3(query.hitPlane.a, query.hitPlane.b, query.hitPlane.c));
    if (LengthSq(n) == 0.0f) return -query.direction;
    return n;
}

Vec3 FlatDirection(const Vec3& v) { return Normalize(Vec3(v.x, v.y, 0.0f)); }

bool CastShotRay(CPRayQuery& query, bool enemy) {
    CPShotWorld* world = GetShotWorld();
    if (!world) return false;
    const bool hit = enemy ? world->CrossRayWithPlayer(query) : world->CrossRay(query);
    return hit && query.hitObject;
}

void PushObject(CPGameObject* object, const Vec3& impulse, const Vec3& point) {
    if (!object) return;
    auto* data = dynamic_cast<CPPhysicData*>(object->GetPhysicData().Get());
    if (!data || !data->rigidBody) return;
    data->rigidBody->ApplyImpulseAtPoint(Physics::Vector4{impulse.x, impulse.y, impulse.z, 0.0f},
                                         Physics::Vector4{point.x, point.y, point.z, 1.0f});
}

void SendShotCommand(CPGameObject* owner, CPGameObject* part, float damage) {
    if (!owner || !owner->GetScriptPointer()) return;
    CPScriptManager* scripts = GetScriptManager();
    if (!scripts) return;
    char text[96];
    std::snprintf(text, sizeof(text), "%" PRId64 ",%" PRId64 ",%.2f",
                  static_cast<int64_t>(reinterpret_cast<intptr_t>(owner)),
                  static_cast<int64_t>(reinterpret_cast<intptr_t>(part)), static_cast<double>(damage));
    scripts->SendCommandByObject(owner->GetScriptPointer(), "shot", text);
}

Vec3 ShotCameraPosition() {
    Vec3 eye;
    if (CPShotWorld* world = GetShotWorld(); !world || !world->GetCameraPosition(eye)) return Vec3();
    return eye;
}

void SetQuadVertices(CPRenderObject& quad, const Vec3 corners[4]) {
    if (quad.vertices.size() != 4) return;
    for (int i = 0; i < 4; ++i) quad.vertices[i].position = corners[i];
    quad.worldVertices = quad.vertices;
}

void BuildQuad(CPRenderObject& quad, const float uv[8]) {
    quad.vertices.assign(4, CPVertex{});
    for (int i = 0; i < 4; ++i) {
        quad.vertices[i].diffuse = 0xFFFFFFFFu;
        quad.vertices[i].tu = uv[2 * i];
        quad.vertices[i].tv = uv[2 * i + 1];
    }
    quad.indices = {0, 1, 2, 0, 2, 3};
    quad.worldVertices = quad.vertices;
    quad.SetOwner(nullptr);
}

void EmitShotParticle(const std::string& type, const Vec3& position, float size, float life, bool fade,
                      const Vec3& velocity, const Vec3& acceleration, float growth) {
    CPParticlesManager* particles = GetParticlesManager();
    if (!particles || type.empty()) return;
    CPParticleDesc desc;
    desc.typeName = type;
    desc.position = position;
    desc.velocity = velocity;
    desc.acceleration = acceleration;
    desc.size = size;
    desc.growth = growth;
    desc.life = life;
    desc.fade = fade;
    particles->EmitParticle(desc);
}

CPRefPtr<CPManagedObject> ShotMaterial(int type, const std::string& effect, const std::string& texture) {
    CPMaterialManager* materials = GetMaterialManager();
    if (!materials) return CPRefPtr<CPManagedObject>();
    std::vector<std::string> textures;
    if (!texture.empty()) textures.push_back(texture);
    return CPRefPtr<CPManagedObject>(materials->GetMaterial(type, effect, textures).Get());
}
