#pragma once
// The level being raced (at most one), created and destroyed by scripts: it loads the ".lvl"
// layout with the scene, the road physics and the player's car, owns the race camera and the
// level tree, runs the race update each turn, answers the ray queries of shots and scripts, and
// tears the race down in a fixed order.
#include <array>
#include <limits>
#include <string>
#include <unordered_map>
#include <vector>

#include "Core/Math/Vector.h"
#include "Core/PManagedObject.h"
#include "Core/PSingleton.h"
#include "Race/PReplay.h"
#include "Race/PReplayFrame.h"
#include "Race/PTrackLines.h"
#include "Render/PLight.h"

class CPCamera;
class CPGameObject;
class CPLevelBranch;
class CPObjUpdater;
class CPPlayer;
class CPQuadTreeNode;
class CPRayQuery;
struct LevelObjectRecord;

struct CPCheckpoint {
    int number = 0;
    std::string modelName;
    CPRefPtr<CPGameObject> model;
};

// A stretch of the track along x: [low, high]; the third value is kept, nothing reads it.
struct CPLevelInterval {
    float low = 0.0f, high = 0.0f, extra = 0.0f;
};

// The camera values of one of the car description's presets.
struct CPCameraPreset {
    float distance = 7.0f, height = 2.0f, angle = 0.0f, angleDiv = 0.0f, distanceDiv = 0.0f, blur = 0.0f;
    float fov = 50.0f;
};

class CPLevel : public CPManagedObject, public CPSingleton<CPLevel> {
public:
    // Becomes the current level while it exists.
    CPLevel();
    ~CPLevel() override;
    int GetObjectSize() const override { return sizeof(*this); }
    const char* GetTypeName() const override { return "CPLevel"; }

    // Loads everything; false when the layout cannot be read (the level stays, without a car).
    bool Load(const std::string& name);
    // Adds the physics task and the race update, binds the cameras and starts the scene and car.
    void Start();
    // The per-turn race update (run by the level task).
    void RaceUpdate();
    // Tears the race down in order; the level object itself stays until deleted.
    void StopLevel();
    // The race update never runs again (the level is about to go).
    void StopRaceUpdate();
    // The level is gone for everyone at once: no longer current, its race update stopped, the
    // queries it answered for the physics let go. Its memory goes when the last holder lets go.
    void Destroy();

    bool CrossRay(CPRayQuery& query);
    bool CrossRayWithPlayer(CPRayQuery& query);
    bool CrossCars(CPRayQuery& query);
    // Level objects, bonuses and cars whose position lies within the radius, active ones, each once.
    void GetObjectsInRadius(const Vec3& position, float radius, std::vector<CPRefPtr<CPGameObject>>& result) const;
    void SubmitLight() const;
    // Aims (and fires) the player car's weapon at the point and the object (null for none).
    void SetWeaponPos(const Vec3& position, CPGameObject* target);
    bool IsPlayerMovingBackwards() const;
    void CheckTimeLimit();
    void SetCameraMode(int mode);
    void ShowCars();
    void HideCars() { carsShown_ = false; }
    bool AreCarsShown() const { return carsShown_; }
    void AddCheckpoint(const LevelObjectRecord& record, const std::string& baseName);
    // The player's heading from the car's forward axis; 0 without a player car.
    float PlayerHeading() const;

    CPCamera* GetCamera() const { return camera_.Get(); }
    CPPlayer* GetPlayerCar() const { return playerCar_.Get(); }
    // The rival's replay car; null when the level record names none.
    CPGameObject* GetRivalModel() const { return rivalModel_.Get(); }
    CPGameObject* GetScene() const { return scene_.Get(); }
    CPGameObject* GetRoadModel() const { return roadModel_.Get(); }
    CPLevelBranch* GetTree() const { return tree_.Get(); }
    // The further cars, in load order; the loader places none, tests fill it directly.
    const std::vector<CPRefPtr<CPPlayer>>& GetCars() const { return cars_; }
    std::vector<CPRefPtr<CPPlayer>>& GetCars() { return cars_; }
    const std::vector<CPRefPtr<CPGameObject>>& GetBonuses() const { return bonuses_; }
    // A picked-up bonus leaves the list with its slot; the list's reference goes with it.
    void RemoveBonus(size_t index);
    const std::vector<CPRefPtr<CPGameObject>>& GetStaticList() const { return staticList_; }
    const std::vector<CPCheckpoint>& GetCheckpoints() const { return checkpoints_; }
    const std::vector<CPLevelInterval>& GetZones() const { return zones_; }
    // The first of the level's three track-line sets, or null.
    CPRefPtr<CPTrackLines> GetTrackLines() const { return trackLines_[0]; }
    const CPLevelInterval& GetFinish() const { return finish_; }
    int GetLevelIndex() const { return levelIndex_; }
    static int LevelIndexOf(const std::string& name);
    // The model file a plain layout object loads ("Object" depends on the level index).
    static std::string PlainModelFile(const std::string& baseName, int levelIndex);

    const std::string& GetCarKey() const { return carKey_; }
    void SetCarKey(const std::string& key) { carKey_ = key; }

    // The player's recorded run.
    std::vector<CPReplayFrame>& GetOwnRunFrames() { return ownRunFrames_; }
    const std::vector<CPReplayFrame>& GetOwnRunFrames() const { return ownRunFrames_; }
    // The level record's run played on the rival model (no model: nothing plays).
    const CPRivalPlayback& GetRivalPlayback() const { return rivalPlayback_; }
    // How far along x the rival has come (the player's start until the rival's run begins).
    float GetRivalProgressX() const { return rivalProgressX_; }

    // A named position of the layout (source objects and the like); false when there is none.
    bool GetNamedPosition(const std::string& key, float position[3]) const;
    void SetNamedPosition(const std::string& key, const float position[3]);

    // The player's speed as the gauges show it.
    float GetCurrentSpeed() const { return currentSpeed_; }
    void SetCurrentSpeed(float speed) { currentSpeed_ = speed; }

    LightRecord& GetLight() { return light_; }
    bool IsRaceActive() const { return raceActive_; }
    void SetRaceActive(bool active) { raceActive_ = active; }
    bool IsFinished() const { return finished_; }
    bool IsStopped() const { return stopped_; }
    float GetRaceClock() const { return raceClock_; }
    float GetCountdown() const { return countdown_; }
    void SetCountdown(float seconds) { countdown_ = seconds; }
    float GetSizeX() const { return sizeX_; }
    float GetSizeY() const { return sizeY_; }
    int GetCameraMode() const { return cameraMode_; }
    int GetCameraTimerMode() const { return cameraTimerMode_; }
    void SetCameraTimerMode(int mode) { cameraTimerMode_ = mode; }
    float GetCameraTimer() const { return cameraTimer_; }
    void SetCameraTimer(float seconds) { cameraTimer_ = seconds; }
    float GetRotationSide() const { return rotationSide_; }
    void SetRotationSide(float side) { rotationSide_ = side; }
    float GetPlayerHeadingValue() const { return playerHeading_; }
    void SetPlayerHeadingValue(float heading) { playerHeading_ = heading; }
    void SetReferenceHeading(float heading) { referenceHeading_ = heading; }
    float GetFov(int preset) const { return preset == 0 ? fov_[0] : fov_[1]; }
    const CPCameraPreset& GetPreset(int index) const { return presets_[index]; }
    const Vec3& GetStartLineDirection() const { return startLine_[0]; }
    const Vec3& GetStartLineMiddle() const { return startLine_[1]; }
    float GetStartX() const { return startX_; }
    float GetDistanceToFinish() const { return distanceToFinish_; }
    const Vec3& GetRaceTarget() const { return raceTarget_; }

    float medalTimes[3] = {0, 0, 0};
    CPRefPtr<CPGameObject> currentCheckpoint;
    CPRefPtr<CPGameObject> checkpointIndicator;
    bool playerFired = false;
    size_t checkpointCursor = 0;

private:
    void StopBeingCurrent();
    void LoadObject(const LevelObjectRecord& record);
    void LoadPlainModel(const LevelObjectRecord& record, const std::string& baseName);
    void LoadBonus(const LevelObjectRecord& record, const std::string& baseName);
    void LoadPlayerCar(const Vec3& start, const Quat& rotation);
    void ReadCameraPresets();
    void BuildRoadPhysics();
    void CameraStep();
    void CullLevel();

    CPRefPtr<CPGameObject> rivalModel_;
    float raceClock_ = 0.0f;
    float lastSampleTime_ = 0.0f;
    CPRivalPlayback rivalPlayback_;
    float referenceHeading_ = 0.0f;
    int cameraMode_ = 0;
    float currentAngle_ = 0.0f;
    float rotationSide_ = 1.0f;
    bool useRivalModel_ = true;
    std::string carKey_;
    uint32_t wallClock_ = 0;
    std::unordered_map<std::string, std::array<float, 3>> namedPositions_;
    std::vector<CPCheckpoint> checkpoints_;
    CPRefPtr<CPObjUpdater> levelTask_;
    CPRefPtr<CPGameObject> scene_;
    CPRefPtr<CPGameObject> roadModel_;
    CPRefPtr<CPLevelBranch> tree_;
    CPQuadTreeNode* quadTree_ = nullptr;
    std::vector<CPRefPtr<CPGameObject>> bonuses_;
    std::vector<CPRefPtr<CPManagedObject>> bonusSlots_;
    CPRefPtr<CPCamera> camera_;
    LightRecord light_;
    float sizeX_ = 10.0f, sizeY_ = 10.0f;
    float countdown_ = 0.0f;
    float currentSpeed_ = 0.0f;
    uint32_t ambientColour_ = 0;
    float currentDistance_ = 7.0f, currentHeight_ = 2.0f;
    float currentAngleDiv_ = 0.0f, currentDistanceDiv_ = 0.0f;
    // "camera", "camera2", "camera3".
    CPCameraPreset presets_[3];
    int levelIndex_ = 0;
    std::vector<CPRefPtr<CPPlayer>> cars_;
    CPRefPtr<CPTrackLines> trackLines_[TrackLinesFile::kMaxRings];
    float playerHeading_ = 0.0f;
    float cameraTimer_ = 0.0f;
    int cameraTimerMode_ = 0;
    bool carsShown_ = true;
    bool raceActive_ = false;
    Vec3 startLine_[2];
    std::vector<CPLevelInterval> zones_;
    // No "fin" object: the finish is never reached.
    CPLevelInterval finish_{std::numeric_limits<float>::infinity(), std::numeric_limits<float>::infinity(), 0.0f};
    bool finished_ = false;
    Vec3 raceTarget_;
    float startX_ = 0.0f, distanceToFinish_ = 0.0f;
    float rivalProgressX_ = 0.0f;
    std::string driverName_;
    std::vector<CPReplayFrame> ownRunFrames_;
    CPRefPtr<CPPlayer> playerCar_;
    float fov_[2] = {50.0f, 50.0f};
    bool stopped_ = false;
    // Gathered by the loader, built into the tree, released at the loader's end (dynamic list).
    std::vector<CPRefPtr<CPGameObject>> staticList_;
    std::vector<CPRefPtr<CPGameObject>> dynamicList_;
    Vec3 leftPillar_, rightPillar_;
    std::vector<CPRefPtr<CPGameObject>> plainObjects_;
    bool layersTaken_ = false; // Start bound the cameras and set the layer transforms
};

// The current level, or null between levels.
inline CPLevel* GetLevel() { return CPSingleton<CPLevel>::Instance(); }
