#pragma once
// The sound manager: named sounds, the 3D listener and the global volumes. Until the sound device
// exists it keeps the listener and the (empty) name table that start-up and shutdown use.
#include "Core/PHashMap.h"
#include "Core/PManagedObject.h"

class CNSound : public CPManagedObject {
public:
    int GetObjectSize() const override { return sizeof(*this); }
    const char* GetTypeName() const override { return "CNSound"; }
};

class CNAudio {
public:
    CNAudio();
    virtual ~CNAudio();

    void Init(void* mainWindow);
    void SetListenerPosition(const float position[3], const float velocity[3]);
    void SetListenerOrientation(const float front[3], const float top[3]);

    CPHashMap<CPRefPtr<CNSound>>& GetSounds() { return sounds_; }
    const float* GetListenerPosition() const { return position_; }
    const float* GetListenerFront() const { return front_; }
    const float* GetListenerTop() const { return top_; }

private:
    CPHashMap<CPRefPtr<CNSound>> sounds_;
    float position_[3] = {0, 0, 0};
    float velocity_[3] = {0, 0, 0};
    float front_[3] = {0, 0, 1};
    float top_[3] = {0, 1, 0};
};

CNAudio* GetSoundManager();

// The sounds started through the cache; stopped together at shutdown.
class CNSoundCache {
public:
    CNSoundCache();
    virtual ~CNSoundCache();
    void StopAll();
};

CNSoundCache* GetSoundCache();
