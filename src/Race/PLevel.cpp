#include "Race/PLevel.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "Core/Math/Mat4.h"
#include "Core/PFileReader.h"
#include "Core/PGlobalTimer.h"
#include "Core/PKernel.h"
#include "Core/PLog.h"
#include "Core/PObjUpdater.h"
#include "Core/PRandom.h"
#include "Core/PRayQuery.h"
#include "Core/PScriptManager.h"
#include "Core/PSettings.h"
#include "Core/TaskPriorities.h"
#include "Platform/Clock.h"
#include "Race/CarParts.h"
#include "Race/PCamera.h"
#include "Race/PCar.h"
#include "Race/PGameData.h"
#include "Race/PGameObjectXml.h"
#include "Race/PLevelBranch.h"
#include "Race/PLevelFile.h"
#include "Race/PPhysicData.h"
#include "Race/PPhysics.h"
#include "Race/PPlayer.h"
#include "Race/PRaceEffects.h"
#include "Render/PMeshManager.h"
#include "Render/PQuadTreeNode.h"
#include "Render/PRender.h"
#include "Render/PRenderBlock.h"
#include "Render/PRenderObject.h"
#include "Render/PTexture.h"
#include "Render/StaticMeshCache.h"
#include "Sound/NAudio.h"
#include "Sound/NSound.h"

namespace {

constexpr float kTwoPi = 6.2831855f;
constexpr int kLevelObjectLayer = 0x14;
constexpr int kRoadPhysicsLayer = 0x13;
constexpr int kRaceObjectPriority = TaskPriority::RaceObject;

uint32_t MillisecondClock() { return Platform::GetClock().Milliseconds(); }

Vec3 Turned(const Quat& rotation, const Vec3& v) { return Vec3TransformNormal(v, MatRotationQuaternion(rotation)); }

// The stored rotation of a layout record as the models take it: the inverse turn.
Quat Inverted(const Quat& q) { return Quat{-q.x, -q.y, -q.z, q.w}; }

float HeadingOf(const Vec3& forward) {
    const float h = std::acos(std::clamp(forward.x, -1.0f, 1.0f));
    return forward.y < 0.0f ? -h : h;
}

float Wrap(float angle, float period) {
    angle = std::fmod(angle, period);
    return angle < 0.0f ? angle + period : angle;
}

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// The second comma-separated field of a name as a real ("fin,20" -> 20).
float WidthField(const std::string& name) {
    const size_t comma = name.find(',');
    if (comma == std::string::npos) return 0.0f;
    return static_cast<float>(std::atof(name.c_str() + comma + 1));
}

void ClearShadowBoxes(CPGameObject& root) {
    CPGameObject::ObjectList all;
    root.CollectObjects(all);
    for (const auto& object : all) object->SetShadowBox(false);
}

// Bakes a scale into the mesh vertices of the subtree.
void ScaleMeshes(CPGameObject& root, const Vec3& scale) {
    CPGameObject::ObjectList all;
    root.CollectObjects(all);
    for (const auto& object : all)
        if (auto* mesh = dynamic_cast<CPRenderObject*>(object->GetRenderPart().Get()))
            mesh->Transform(MatScaling(scale.x, scale.y, scale.z));
}

void Send(const char* script, const char* command, const std::string& params) {
    if (CPScriptManager* scripts = GetScriptManager()) scripts->SendCommandByName(script, command, params);
}

// A level object named "tunnel" gets a kinematic body in the physics world; the slot keeps it.
void* RegisterTunnel(CPGameObject* object) {
    auto* data = dynamic_cast<CPPhysicData*>(object->GetPhysicData().Get());
    if (!data) return nullptr;
    data->AddToPhysics(3);
    return data->animatedBody;
}

bool RaceIsOver() {
    const CPLevel* level = GetLevel();
    if (!level) return false;
    const CPPlayer* player = level->GetPlayerCar();
    return level->IsFinished() || (player && player->defeatReported);
}

float PlayerHeightAboveRoad() {
    const CPLevel* level = GetLevel();
    const CPPlayer* player = level ? level->GetPlayerCar() : nullptr;
    return player ? player->GetPosition().z - PlayerGroundHeight : 0.0f;
}

} // namespace

CPLevel::CPLevel() : wallClock_(MillisecondClock()) {}

CPLevel::~CPLevel() {
    // The race update holds no reference to the level: it must never run after it.
    StopRaceUpdate();
    delete quadTree_;
    StopBeingCurrent();
    playerCar_.Reset();
    ownRunFrames_.clear();
}

void CPLevel::StopRaceUpdate() {
    if (levelTask_) levelTask_->Stop();
}

void CPLevel::StopBeingCurrent() {
    // A newer level may already have installed its own; only the current level's go.
    if (GetLevel() != this) return;
    // The shadow projection is this level's light: objects made after it (the menus') must not
    // grow their bounds by it.
    ShadowMatrix = Mat4();
    SetPlayerCarObject(nullptr);
    SetRaceOverQuery(nullptr);
    SetCarHeightQuery(nullptr);
    Resign();
}

void CPLevel::Destroy() {
    StopRaceUpdate();
    StopBeingCurrent();
}

int CPLevel::LevelIndexOf(const std::string& name) {
    for (int i = 1; i <= 20; ++i)
        if (name == "level" + std::to_string(i)) return i;
    return 0;
}

std::string CPLevel::PlainModelFile(const std::string& baseName, int levelIndex) {
    std::string file = baseName + ".rdf";
    if (file == "Object.rdf") {
        if (levelIndex == 7 || levelIndex == 14) file = "object_a.rdf";
        else if (levelIndex == 9 || levelIndex == 12) file = "object_b.rdf";
    }
    return file;
}

bool CPLevel::GetNamedPosition(const std::string& key, float position[3]) const {
    auto it = namedPositions_.find(key);
    if (it == namedPositions_.end()) return false;
    for (int i = 0; i < 3; ++i) position[i] = it->second[i];
    return true;
}

void CPLevel::SetNamedPosition(const std::string& key, const float position[3]) {
    namedPositions_[key] = {position[0], position[1], position[2]};
}

bool CPLevel::Load(const std::string& name) {
    raceClock_ = lastSampleTime_ = rivalProgressX_ = 0.0f;
    ownRunFrames_.clear();
    LevelLoaded = 1;
    useRivalModel_ = g_rolling != 0;
    EngineSrand(MillisecondClock());

    levelIndex_ = LevelIndexOf(name);
    CPGameData* data = GetGameData();
    const CPLevelRecord* record = data && levelIndex_ > 0 ? &data->levelRecords[levelIndex_ - 1] : nullptr;
    CPMeshManager* meshes = GetMeshManager();
    CPRender* render = GetRender();

    if (record && !record->name.empty() && meshes) {
        DragsterTextureIndex = record->parts[6] + 4;
        rivalModel_ = meshes->LoadRenderObject(record->name + ".rdf", kLevelObjectLayer);
        if (rivalModel_) SelectCarParts(rivalModel_.Get(), record->parts[3], record->parts[1], record->parts[2]);
    }
    // The run is the record's as the level loads: a record set during this race waits for the next.
    rivalPlayback_.Bind(rivalModel_, record ? record->parts[2] : 0,
                        rivalModel_ ? record->frames : std::vector<CPReplayFrame>());

    if (render) render->CreateSky(levelIndex_);

    CPFileReader reader("Data\\Levels\\" + name + ".lvl");
    LevelFile layout;
    const bool loaded = SUCCEEDED(reader.Load()) && ReadLevelFile(reader, layout);
    if (!loaded)
        GetLog().Write(0, "Level: cannot read the layout of %s from %s\n", name.c_str(), reader.GetPath().c_str());

    if (loaded) {
        namedPositions_.clear();
        camera_ = CPRefPtr<CPCamera>(new CPCamera);
        camera_->SmoothDistance(7.0f);

        light_ = LightRecord();
        light_.Type = 3;
        light_.Range = 10000.0f;
        sizeX_ = sizeY_ = 3000.0f;
        light_.Direction = Vec3(0, 0, -1);
        light_.Diffuse = light_.Specular = Color{0.99609375f, 0.99609375f, 0.99609375f, 1.0f};
        ambientColour_ = 0xFF7F0000u;
        if (render) {
            render->SetStoredAmbient(ambientColour_, 0.5f, 0.0f, 0.0f, 1.0f);
            render->RestoreRenderStates();
        }
        ShadowMatrix = MatShadow(Vec4(light_.Direction, 0.0f), Plane{0, 0, -1, 0.5f});

        Vec3 start(100, 100, 1);
        Quat startRotation = QuatIdentity();
        for (const LevelObjectRecord& object : layout.objects) {
            if (LevelBaseName(object.name) == "player") {
                start = object.position;
                startRotation = object.rotation;
            }
            LoadObject(object);
        }

        if (meshes) scene_ = meshes->LoadRenderObject(name + ".rdf", 0);

        if (g_quadlevels != 0) quadTree_ = new CPQuadTreeNode;
        else tree_ = CPRefPtr<CPLevelBranch>(new CPLevelBranch);
        camera_->Update();
        BuildRoadPhysics();

        // The static block exists only when the renderer made one ("static" at its start).
        CPRefPtr<CPRenderBlock> staticBlock = g_static != 0 && render ? render->GetStaticBlock() : nullptr;
        if (staticBlock) staticBlock->LockStatic();
        SetTunnelRegistrar(RegisterTunnel);
        if (quadTree_) {
            const float h = std::max(sizeX_, sizeY_) * 0.5f;
            quadTree_->SetBox(Vec3(0, 0, 0), Vec3(h, h, 100));
            quadTree_->Build(staticList_, 0);
        } else {
            tree_->SetObjects(staticList_);
            tree_->Build(0);
        }
        if (staticBlock) staticBlock->UnlockStatic();
        dynamicList_.clear();

        if (g_quadlevels == 0 && data) carKey_ = data->GetCarKey();
        LoadPlayerCar(start, startRotation);
    }

    if (playerCar_ && data) playerCar_->SetClassBits(data->GetCarClass());
    if (data) {
        data->SetCurrentRoundTime(0.0f);
        data->SetCurrentRound(1);
    }
    startLine_[0] = leftPillar_ - rightPillar_;
    startLine_[1] = (leftPillar_ + rightPillar_) * 0.5f;
    if (render) {
        render->SetScreenEffect(0);
        render->SetByteSetting(255);
    }
    LoadLevelTrackLines(name, trackLines_);
    return loaded;
}

void CPLevel::LoadObject(const LevelObjectRecord& record) {
    const std::string base = LevelBaseName(record.name);
    if (base == "player" || StartsWith(base, "enemy")) return;
    if (StartsWith(base, "bonu")) return LoadBonus(record, base);
    if (StartsWith(base, "zla")) {
        const float w = WidthField(record.name);
        zones_.push_back({record.position.x - w / 2, record.position.x + w / 2, 0.0f});
        return;
    }
    if (StartsWith(base, "fin")) {
        const float w = WidthField(record.name);
        finish_ = {record.position.x - w / 2, record.position.x + w / 2, 0.0f};
        return;
    }
    if (StartsWith(base, "chk")) return AddCheckpoint(record, base);
    if (StartsWith(base, "src")) {
        const float p[3] = {record.position.x, record.position.y, record.position.z};
        SetNamedPosition(base.size() > 4 ? base.substr(4) : std::string(), p);
        return;
    }
    LoadPlainModel(record, base);
}

void CPLevel::LoadBonus(const LevelObjectRecord& record, const std::string& baseName) {
    CPMeshManager* meshes = GetMeshManager();
    CPRefPtr<CPGameObject> model = meshes ? meshes->LoadRenderObject(baseName + ".rdf", kLevelObjectLayer) : nullptr;
    if (!model) return;
    ClearShadowBoxes(*model);
    ScaleMeshes(*model, record.scale);
    model->SetPosition(record.position);
    model->SetRotation(Inverted(record.rotation));
    model->UpdateTransform();
    model->SetStatic(true);
    model->Activate(kRaceObjectPriority);
    bonuses_.push_back(model);
    bonusSlots_.emplace_back();
}

void CPLevel::RemoveBonus(size_t index) {
    if (index >= bonuses_.size()) return;
    bonuses_.erase(bonuses_.begin() + static_cast<std::ptrdiff_t>(index));
    if (index < bonusSlots_.size()) bonusSlots_.erase(bonusSlots_.begin() + static_cast<std::ptrdiff_t>(index));
}

void CPLevel::LoadPlainModel(const LevelObjectRecord& record, const std::string& baseName) {
    const std::string file = PlainModelFile(baseName, levelIndex_);
    if (file == "stolb_start_left.rdf") leftPillar_ = record.position;
    if (file == "stolb_start_right.rdf") rightPillar_ = record.position;
    CPMeshManager* meshes = GetMeshManager();
    CPRefPtr<CPGameObject> model = meshes ? meshes->LoadRenderObject(file, kLevelObjectLayer) : nullptr;
    if (!model) return;
    ClearShadowBoxes(*model);
    model->SetPosition(record.position);
    model->SetRotation(Inverted(record.rotation));
    model->UpdateTransform();
    auto* physics = dynamic_cast<CPPhysicData*>(model->GetPhysicData().Get());
    model->SetStatic(true);
    if (!physics) {
        staticList_.push_back(model);
    } else {
        if (model->GetRenderType() == CPGameObject::RenderAnimatedMesh) {
            AnimationRequest idle;
            idle.name = "idle";
            idle.speed = 1.0f + 0.4f * (static_cast<float>(EngineRand()) / 32767.0f) - 0.2f;
            idle.playCount = 0;
            model->PlayAnimation(idle, false);
        }
        (physics->body.mass > 0.0f ? dynamicList_ : staticList_).push_back(model);
    }
    model->Activate(kRaceObjectPriority);
    plainObjects_.push_back(model);
}

void CPLevel::AddCheckpoint(const LevelObjectRecord& record, const std::string& baseName) {
    size_t i = 3;
    int number = 0;
    while (i < baseName.size() && baseName[i] >= '0' && baseName[i] <= '9')
        number = number * 10 + (baseName[i++] - '0');
    ++i; // the separator
    const std::string modelName = i < baseName.size() ? baseName.substr(i) : std::string();
    CPMeshManager* meshes = GetMeshManager();
    CPRefPtr<CPGameObject> model = meshes ? meshes->LoadRenderObject(modelName + ".rdf", kLevelObjectLayer) : nullptr;
    if (!model) return;
    model->SetVisible(false);
    model->SetPosition(record.position);
    model->SetRotation(Inverted(record.rotation));
    model->UpdateTransform();
    auto at = std::find_if(checkpoints_.begin(), checkpoints_.end(),
                           [&](const CPCheckpoint& c) { return c.number > number; });
    checkpoints_.insert(at, CPCheckpoint{number, modelName, model});
}

void CPLevel::BuildRoadPhysics() {
    CPMeshManager* meshes = GetMeshManager();
    roadModel_ =
        meshes ? meshes->LoadRenderObject(levelIndex_ % 2 == 1 ? "road_phys1.rdf" : "road_phys2.rdf", kRoadPhysicsLayer)
               : nullptr;
    CPPhysics* physics = GetPhysics();
    if (roadModel_) {
        roadModel_->SetShadowBox(false);
        if (!roadModel_->GetPhysicData()) {
            roadModel_->SetPosition(Vec3());
            roadModel_->SetRotation(QuatIdentity());
            roadModel_->UpdateTransform();
            roadModel_->SetVisible(true);
            roadModel_->SetScript(nullptr);
            roadModel_->SetStatic(true);
        }
        CPRefPtr<CPGameObject> road = roadModel_->GetName() == "road" ? roadModel_ : roadModel_->FindChild("road");
        auto* mesh = road ? dynamic_cast<CPRenderObject*>(road->GetRenderPart().Get()) : nullptr;
        if (mesh && physics) {
            std::vector<Vec3> positions;
            positions.reserve(mesh->vertices.size());
            for (const CPVertex& v : mesh->vertices) positions.push_back(v.position);
            std::vector<uint16_t> indices(mesh->indices.begin(), mesh->indices.end());
            physics->BuildRoadGrid(positions, indices, road->GetWorldMatrix());
        } else {
            GetLog().Write(0, "Level: the road physics model has no mesh \"road\"\n");
        }
    }
    if (physics) physics->InitWorld();
}

void CPLevel::LoadPlayerCar(const Vec3& start, const Quat& rotation) {
    CPGameData* data = GetGameData();
    CPMeshManager* meshes = GetMeshManager();
    driverName_ = carKey_;
    if (data) DragsterTextureIndex = data->upgrades[6];
    CPRefPtr<CPGameObject> model =
        meshes ? meshes->LoadRenderObject(carKey_ + (useRivalModel_ ? "_enemy.rdf" : ".rdf"), kLevelObjectLayer)
               : nullptr;
    if (!model) return;
    playerCar_ = CPRefPtr<CPPlayer>(new CPPlayer);
    playerCar_->CopyFrom(model);
    playerCar_->SetCarKey(carKey_);
    playerCar_->Activate(kRaceObjectPriority);
    playerCar_->SetPosition(start + Vec3(0, 0, 5.0f));
    playerCar_->SetRotation(rotation);
    playerCar_->UpdateTransform();
    model->Deactivate();
    if (data) SelectCarParts(playerCar_.Get(), data->upgrades[3], data->upgrades[1], data->upgrades[2]);

    startX_ = rivalProgressX_ = playerCar_->GetPosition().x;
    distanceToFinish_ = std::fabs(finish_.low - startX_);
    raceTarget_ = playerCar_->GetPosition();

    ReadCameraPresets();
    if (camera_) camera_->SetZAngle(PlayerHeading());
    if (CPPhysics* physics = GetPhysics()) {
        physics->RestoreObject(playerCar_.Get());
        physics->AddObject(playerCar_.Get(), true, 1);
        physics->AddCar(playerCar_.Get(), true, data ? data->upgrades[2] : 0);
    }
    SetPlayerCarObject(playerCar_.Get());
    SetRaceOverQuery(RaceIsOver);
    SetCarHeightQuery(PlayerHeightAboveRoad);
    SetCameraMode(0);
    if (camera_) camera_->SmoothDistance(currentDistance_);
    playerCar_->CreateShadow();
    playerCar_->ReadEngineRates();
    playerCar_->Reset();
}

void CPLevel::ReadCameraPresets() {
    if (camera_) camera_->SetPitch(-1.5707964f);
    if (!playerCar_) return;
    const TiXmlDocument& doc = playerCar_->GetDescription();
    const char* names[3] = {"camera", "camera2", "camera3"};
    for (int p = 0; p < 3; ++p) {
        const TiXmlElement* e = XmlFindElement(&doc, {names[p]});
        if (!e) continue;
        // Only attributes that are present (and finite) replace the values held.
        CPCameraPreset& preset = presets_[p];
        auto read = [e](const char* attribute, float& into) {
            float value = 0.0f;
            if (XmlReadReal(e, attribute, value) && std::isfinite(value)) into = value;
        };
        read("distance", preset.distance);
        read("height", preset.height);
        if (p == 2) {
            read("blur", preset.blur);
            continue;
        }
        float angle = 0.0f;
        if (XmlReadReal(e, "angle", angle) && std::isfinite(angle)) {
            preset.angle = angle;
            if (camera_) camera_->SetPitch(angle * 0.0174533f);
        }
        read("angle_div", preset.angleDiv);
        read("distance_div", preset.distanceDiv);
        read("blur", preset.blur);
        read("fov", preset.fov);
        fov_[p] = preset.fov;
    }
}

float CPLevel::PlayerHeading() const {
    return playerCar_ ? HeadingOf(Turned(playerCar_->GetRotation(), Vec3(0, -1, 0))) : 0.0f;
}

void CPLevel::SetCameraMode(int mode) {
    cameraMode_ = mode;
    if (mode < 0 || mode > 2) return;
    const CPCameraPreset& taken = presets_[mode == 1 ? 1 : 0];
    currentDistance_ = taken.distance;
    currentHeight_ = taken.height;
    currentAngleDiv_ = taken.angleDiv;
    currentDistanceDiv_ = taken.distanceDiv;
    currentAngle_ = taken.angle;
    // The speed blur streams from the mode's own centre: "camera", "camera2" or "camera3".
    if (CPRender* render = GetRender()) render->RecentreBlurGrid(presets_[mode].blur);
    if (!camera_) return;
    camera_->fixedView = mode == 2;
    camera_->changed = true;
    if (mode != 2) camera_->SetZAngle(PlayerHeading());
}

void CPLevel::Start() {
    FrameDelta = 0.0f;
    CPKernel* kernel = GetKernel();
    if (CPPhysics* physics = GetPhysics(); physics && kernel) {
        physics->SetPriority(TaskPriority::Physics);
        kernel->AddTask(CPRefPtr<CPTask>(physics));
    }
    if (CPRaceEffects* effects = GetRaceEffects()) effects->RestartWeapons();
    if (camera_) {
        camera_->BindMainCamera(16);
        camera_->BindSecondCamera(120);
    }
    if (CPRender* render = GetRender()) {
        render->SetLayerTransform(MatIdentity(), 17);
        render->SetLayerTransform(MatShadow(Vec4(light_.Direction, 0.0f), Plane{0, 0, -1, 0}), 16);
    }
    layersTaken_ = true;
    // A second start replaces the race update: the older one would run beside it every turn and
    // outlive the level, since only the newest is stopped at the end.
    StopRaceUpdate();
    levelTask_ = CPRefPtr<CPObjUpdater>(new CPObjUpdater(CPTask::KindLevel, this, &CPLevel::RaceUpdate));
    levelTask_->SetPriority(TaskPriority::RaceUpdate);
    if (kernel) kernel->AddTask(CPRefPtr<CPTask>(levelTask_.Get()));
    stopped_ = false;
    wallClock_ = MillisecondClock();
    if (playerCar_) playerCar_->Activate(kRaceObjectPriority);
    if (scene_) scene_->Activate(kRaceObjectPriority);
    countdown_ = 600.0f;
    checkpointCursor = 0;
    char money[32];
    std::snprintf(money, sizeof(money), "%.2f", GetGameData() ? GetGameData()->GetMoney() : 0.0f);
    Send("gamemenu", "set_money", money);
    Send("gamemenu", "init_game_interface", "");
}

void CPLevel::RaceUpdate() {
    raceClock_ += FrameDelta;
    countdown_ -= FrameDelta;
    const uint32_t now = MillisecondClock();
    const float real = static_cast<float>(now - wallClock_) * 0.001f;
    wallClock_ = now;
    CheckTimeLimit();
    cameraTimer_ += real;

    // Without a car (the layout did not load) only the level is drawn.
    if (CPPlayer* player = playerCar_.Get()) {
        if (!useRivalModel_) player->Update();
        if (player->GetPosition().x >= finish_.low && !finished_) {
            finished_ = true;
            raceActive_ = false;
            // The round ends on the line: its time is the one the score tables are offered, which
            // would otherwise stay at the zero the load gave it.
            if (CPGameData* data = GetGameData()) data->SetCurrentRoundTime(data->GetLevelTime());
            Send("jeep", "game_over", "");
            Send("game_interface", "show_message", "finish!");
            if (CNAudio* audio = GetSoundManager()) {
                if (CPRefPtr<CNSound> cheer = audio->GetSound("cheer")) {
                    if (cheer->IsPlaying()) {
                        cheer->Stop();
                        cheer->Rewind();
                    }
                    cheer->Play(0, 0);
                }
            }
        }
        const CPCar* car = player->GetCar();
        if (car && car->burned && !finished_) {
            finished_ = true;
            raceActive_ = false;
            Send("jeep", "game_over", "");
            Send("game_interface", "show_message", "burn!");
        }
        CameraStep();
        RecordRunFrame(*player, raceClock_, lastSampleTime_, ownRunFrames_);
    }
    CPRender* render = GetRender();
    rivalPlayback_.Update(raceClock_, FrameDelta, rivalProgressX_);
    if (CPRenderBlock* block = render ? render->GetDynamicRenderBlock().Get() : nullptr; block && rivalModel_)
        block->DrawDynamicObject(rivalModel_.Get());
    if (CPPlayer* player = playerCar_.Get(); player && !useRivalModel_ && render)
        player->Draw(render->GetDynamicRenderBlock().Get(), camera_.Get());
    CullLevel();
}

void CPLevel::CameraStep() {
    CPPlayer* player = playerCar_.Get();
    if (!player || !camera_) return;
    const Quat& rotation = player->GetRotation();
    const Vec3 forward = Turned(rotation, Vec3(0, -1, 0));
    const Vec3 up = Turned(rotation, Vec3(0, 0, 1));
    const Vec3& position = player->GetPosition();
    const CPCar* car = player->GetCar();
    const float s = car ? car->speed : 0.0f;

    currentSpeed_ = s;
    // A zero divisor (attribute absent) drops the speed term instead of making it infinite.
    camera_->pitch = (currentAngleDiv_ != 0.0f ? s / currentAngleDiv_ : 0.0f) + currentAngle_;
    camera_->referenceHeight = position.z;

    Vec3 target = raceTarget_;
    bool follow = false;
    if (cameraTimerMode_ == 1) {
        target = Vec3(position.x, position.y, position.z + currentHeight_ * 0.6666667f);
        follow = true;
    } else if (cameraMode_ == 0 || cameraMode_ == 1) {
        target = Vec3(position.x, position.y, position.z + currentHeight_);
        follow = true;
    }
    if (follow) {
        const float extra = currentDistanceDiv_ != 0.0f ? s / currentDistanceDiv_ : 0.0f;
        camera_->SmoothDistance(currentDistance_ + std::min(extra, currentDistance_ * 0.25f));
    }
    if (!finished_) raceTarget_ = target;
    camera_->lookAt = raceTarget_;

    const float heading = HeadingOf(forward);
    float tilt = std::acos(std::clamp(up.z, -1.0f, 1.0f));
    if (up.z < 0.0f) tilt = -tilt;
    camera_->tilt = tilt;
    referenceHeading_ = 0.0f;

    if (cameraMode_ == 0 || cameraMode_ == 1) {
        if (cameraTimerMode_ == 1) camera_->zAngle = rotationSide_ * cameraTimer_ * 0.3f;
        else if (cameraTimerMode_ == 2) camera_->targetZAngle = Wrap(heading - 3.1415927f, kTwoPi);
        else camera_->targetZAngle = Wrap(heading, kTwoPi);
    } else if (cameraMode_ == 2) {
        const CPCameraPreset& bonnet = presets_[2];
        camera_->fixedEye = position + forward * bonnet.distance + up * bonnet.height;
        camera_->fixedLookAt = camera_->fixedEye + forward;
        camera_->fixedUp = up;
        camera_->zAngle = heading;
    }
    playerHeading_ = heading;
    camera_->Update();
}

void CPLevel::CullLevel() {
    CPRender* render = GetRender();
    CPPerspectiveCamera* view = camera_ ? camera_->GetMainCamera() : nullptr;
    if (!render || !view) return;
    CPRenderBlock* block = render->GetDynamicRenderBlock().Get();
    // The bonuses stand outside the tree: each one in sight is queued until it is picked up.
    if (block)
        for (const auto& bonus : bonuses_)
            if (bonus && view->IsBoxVisible(bonus->GetVisibilityBounds().min, bonus->GetVisibilityBounds().max))
                block->DrawDynamicObject(bonus.Get());
    if (g_quadlevels != 0) {
        if (quadTree_) quadTree_->Cull(*view, block);
        return;
    }
    if (!tree_ || !block) return;
    const int drawn = tree_->Cull([view](const CPBoundingBox& box) { return view->IsBoxVisible(box.min, box.max); },
                                  [block](CPGameObject* object) { block->DrawDynamicObject(object); }, 1000000);
    render->AddDrawnObjects(drawn);
}

void CPLevel::CheckTimeLimit() {
    if (!raceActive_) return;
    CPGameData* data = GetGameData();
    if (!data) return;
    data->SetLevelTime(data->GetLevelTime() + FrameDelta);
    if (g_bboxes != 0 || levelIndex_ <= 0) return;
    const float limit = data->levelRecords[levelIndex_ - 1].time;
    if (limit > 0.0f && data->GetLevelTime() >= limit) {
        finished_ = true;
        raceActive_ = false;
        Send("jeep", "game_over", "");
        Send("game_interface", "show_message", "lost!");
    }
}

bool CPLevel::IsPlayerMovingBackwards() const {
    const float reference = Wrap(referenceHeading_, kTwoPi);
    const float difference = Wrap(playerHeading_ - reference, 6.283f);
    return difference > 1.57f && difference < 4.713f;
}

void CPLevel::ShowCars() {
    carsShown_ = true;
    for (size_t i = 5; i < cars_.size(); ++i) {
        CPPlayer* car = cars_[i].Get();
        car->SetCollision(true);
        car->SetVisible(true);
        car->SetPosition(Vec3(car->GetPosition().x, car->GetPosition().y, 3.0f));
        car->UpdateTransform();
        if (auto* data = dynamic_cast<CPPhysicData*>(car->GetPhysicData().Get())) data->enabled = true;
    }
}

bool CPLevel::CrossRay(CPRayQuery& query) {
    bool hit = false;
    if (g_quadlevels == 0 && tree_) hit = tree_->RayTest(query);
    query.endPoint = query.origin + query.direction * query.distance;
    return hit;
}

bool CPLevel::CrossRayWithPlayer(CPRayQuery& query) {
    bool hit = false;
    if (g_quadlevels == 0 && tree_) hit = tree_->RayTest(query);
    if (CPPlayer* player = playerCar_.Get()) {
        const Vec3& dir = query.direction;
        const float half = query.distance * 0.5f;
        const Vec3 d = player->GetPosition() - (query.origin + dir * half);
        if (std::fabs(d.x) <= std::fabs(dir.x) * half + 30.0f && std::fabs(d.y) <= std::fabs(dir.y) * half + 30.0f &&
            std::fabs(dir.y * d.x - d.y * dir.x) <= (std::fabs(dir.x) + std::fabs(dir.y)) * 30.0f)
            hit = player->RayPick(query) || hit;
    }
    query.endPoint = query.origin + query.direction * query.distance;
    return hit;
}

bool CPLevel::CrossCars(CPRayQuery& query) {
    for (const auto& car : cars_)
        if (car->RayPick(query)) return true;
    return playerCar_ ? playerCar_->RayPick(query) : false;
}

void CPLevel::GetObjectsInRadius(const Vec3& position, float radius,
                                 std::vector<CPRefPtr<CPGameObject>>& result) const {
    auto consider = [&](CPGameObject* object) {
        if (!object || !object->IsActive() || Length(object->GetPosition() - position) > radius) return;
        for (const auto& already : result)
            if (already.Get() == object) return;
        result.emplace_back(object);
    };
    for (const auto& object : plainObjects_) consider(object.Get());
    for (const auto& object : bonuses_) consider(object.Get());
    for (const auto& car : cars_) consider(car.Get());
    consider(playerCar_.Get());
}

void CPLevel::SetWeaponPos(const Vec3& position, CPGameObject* target) {
    if (CPPlayer* player = playerCar_.Get()) player->UpdateWeapon(position, target);
}

void CPLevel::SubmitLight() const {
    CPRender* render = GetRender();
    if (render && render->GetLightCount() < 30) render->AddLight(light_);
}

void CPLevel::StopLevel() {
    ClearTunnelSlots();
    LevelLoaded = 0;
    CPRaceEffects* effects = GetRaceEffects();
    if (effects) effects->ClearShots();
    if (scene_) scene_->Deactivate();
    raceActive_ = false;
    for (const auto& car : cars_) car->Deactivate();
    cars_.clear();
    if (playerCar_) playerCar_->Deactivate();
    if (CPPhysics* physics = GetPhysics()) physics->Stop();
    if (effects) effects->StopWeapons();
    if (CNSoundCache* sounds = GetSoundCache()) sounds->StopAll();
    if (tree_) {
        tree_->DeactivateObjects();
        tree_->ReleaseObjects();
    }
    if (roadModel_) roadModel_->Deactivate();
    if (levelTask_) levelTask_->Stop();
    stopped_ = true;
    if (effects) effects->ClearParticles();
    if (CPGameData* data = GetGameData()) data->levelStarted = false;
    if (CPRender* render = GetRender()) render->DeleteSky();
    // Each layer the start took is given back once, its transforms too, so the layers fall out of
    // use and let go of the race camera; a level stopped unstarted took none.
    if (layersTaken_) {
        layersTaken_ = false;
        if (camera_) {
            camera_->ReleaseLayer(16);
            camera_->ReleaseLayer(120);
        }
        if (CPRender* render = GetRender()) {
            render->ReleaseLayer(16);
            render->ReleaseLayer(17);
        }
    }
    if (CPRender* render = GetRender()) {
        render->PurgeLevelMeshes();
        if (const auto& block = render->GetDynamicRenderBlock()) {
            block->ResetFrame();
            block->Clear();
        }
        render->EvictManagedResources();
    }
}
