#pragma once
// The level being raced (at most one), created and destroyed by scripts. Only what the game data
// and the profile functions read of it is here so far: the player car key, the recorded run and
// the layout's named positions that mission sources refer to.
#include <array>
#include <string>
#include <unordered_map>
#include <vector>

#include "Core/PManagedObject.h"
#include "Core/PSingleton.h"
#include "Race/PReplayFrame.h"
#include "Render/PLight.h"

class CPLevel : public CPManagedObject, public CPSingleton<CPLevel> {
public:
    // Becomes the current level while it exists.
    CPLevel() = default;
    ~CPLevel() override = default;

    const std::string& GetCarKey() const { return carKey_; }
    void SetCarKey(const std::string& key) { carKey_ = key; }

    // The player's recorded run.
    std::vector<CPReplayFrame>& GetOwnRunFrames() { return ownRunFrames_; }
    const std::vector<CPReplayFrame>& GetOwnRunFrames() const { return ownRunFrames_; }

    // A named position of the layout (source objects and the like); false when there is none.
    bool GetNamedPosition(const std::string& key, float position[3]) const;
    void SetNamedPosition(const std::string& key, const float position[3]);

    // The player's speed as the gauges show it.
    float GetCurrentSpeed() const { return currentSpeed_; }
    void SetCurrentSpeed(float speed) { currentSpeed_ = speed; }

    // The level's directional (sun) light; the sky writes it every frame.
    LightRecord& GetLight() { return light_; }
    // Copies the sun light into the renderer's light queue (dropped when it is full).
    void SubmitLight();

    int GetObjectSize() const override { return sizeof(*this); }
    const char* GetTypeName() const override { return "CPLevel"; }

private:
    float currentSpeed_ = 0.0f;
    LightRecord light_ = [] {
        LightRecord l;
        l.Type = 3; // directional
        l.Direction = Vec3(0, 0, -1);
        return l;
    }();
    std::string carKey_;
    std::vector<CPReplayFrame> ownRunFrames_;
    std::unordered_map<std::string, std::array<float, 3>> namedPositions_;
};

// The current level, or null between levels.
inline CPLevel* GetLevel() { return CPSingleton<CPLevel>::Instance(); }
