#pragma once
// The weapons task: reads the shot prototypes from "Data\weapons.dat" once, keeps one pool of ready
// shots per name, hands shots out by name, steps the live ones each turn and takes back those that
// ended.
#include <string>
#include <vector>

#include "Core/Math/Vector.h"
#include "Core/PHashMap.h"
#include "Core/PSingleton.h"
#include "Core/PTask.h"
#include "Weapons/PShot.h"

class CPWeaponsSystem : public CPTask, public CPSingleton<CPWeaponsSystem> {
public:
    using ShotList = std::vector<CPRefPtr<CPShot>>;
    static constexpr int kPoolBuckets = 100;
    // Follow-up shots launched from within launches deeper than this are refused (a cycle in the data).
    static constexpr int kMaxLaunchDepth = 16;
    // Shots stepped in one turn at most; the rest wait for the next turn.
    static constexpr size_t kMaxStepsPerTurn = 4096;

    CPWeaponsSystem();
    ~CPWeaponsSystem() override;

    // Reads the prototypes the first time only: a restarted task keeps its pools.
    bool Start() override;
    void Update() override;
    int GetTaskKind() const override { return 1; }
    int GetObjectSize() const override { return sizeof(*this); }
    const char* GetTypeName() const override { return "CPWeaponsSystem"; }

    // The prototypes of a weapons.dat text, line by line, added to the pools.
    void LoadText(const void* data, int size);
    CPRefPtr<CPShot> CreateShotObject(const std::string& name, const std::string& kind, const std::string& params);
    void CreateShot(const std::string& name, const Vec3& position, const Vec3& direction, float damage,
                    const CPRefPtr<CPGameObject>& owner = CPRefPtr<CPGameObject>(), void* extra = nullptr);
    // Ends every live shot as its own end would and lets it go; the pools stay.
    void ClearShots();
    // Ends the live shots and empties the pools (shutdown).
    void ReleaseAll();

    const ShotList& GetLiveShots() const { return live_; }
    // The pool of the name, or null when the name was never seen.
    const ShotList* GetPool(const std::string& name) const { return pools_.Find(name); }
    bool IsLoaded() const { return loaded_; }
    // Shots made by cloning since the start (the pools grew by these).
    size_t GetNewShotCount() const { return newShots_; }

    static const char* const kFileName;

private:
    ShotList live_;
    CPHashMap<ShotList> pools_{kPoolBuckets};
    bool loaded_ = false;
    int launchDepth_ = 0;
    bool depthLogged_ = false;
    bool stepsLogged_ = false;
    size_t newShots_ = 0;
};

inline CPWeaponsSystem* GetWeaponsSystem() { return CPSingleton<CPWeaponsSystem>::Instance(); }

// Follow-up shots: through the weapons task when there is one.
void LaunchShot(const std::string& name, const Vec3& position, const Vec3& direction, float damage);
