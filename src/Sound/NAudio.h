#pragma once
// The sound manager: opens the sound device, owns the 3D listener and the table of named sounds of
// "Data\Sounds\Sounds.dat", and applies the sound and music volumes. Without a device (none given,
// or none could be opened) the game is silent and every named sound is missing.
#include <string>

#include "Core/PHashMap.h"
#include "Core/PManagedObject.h"
#include "Core/PResult.h"
#include "Core/PSingleton.h"
#include "Platform/Audio.h"
#include "Sound/NSound.h"

class CNAudio : public CPSingleton<CNAudio> {
public:
    CNAudio();
    virtual ~CNAudio();

    // The device the application chose; null keeps the game silent. Set before Init.
    void SetDevice(Platform::AudioDevice* device) { device_ = device; }
    Platform::AudioDevice* GetDevice() const { return device_ && device_->IsOpen() ? device_ : nullptr; }

    // Applies the volume settings, opens the device at "frequency", sets the listener and loads
    // the named sounds. E_FAIL (one log line, a silent game) without a device.
    HRESULT Init(void* mainWindow);

    // The named sound (a new reference), or none. An unknown name gets an empty entry.
    CPRefPtr<CNSound> GetSound(const std::string& name);
    // A sound of its own for the file under "Data\Sounds" (a new reference), or none.
    CPRefPtr<CNSound> CreateSound(const std::string& file, int kind3D, bool forceNew);

    void SetSoundPosition(CNSound* sound, const float position[3], const float velocity[3]);
    void SetSoundDistances(CNSound* sound, float minimum, float maximum);
    // The listener's top and front directions, in that order.
    void SetListenerOrientation(const float top[3], const float front[3]);
    void SetListenerPosition(const float position[3], const float velocity[3]);
    // The current camera's eye and directions, each frame (velocity stays zero).
    void UpdateListener(const float position[3], const float front[3], const float top[3]);

    // Store the setting and apply it: to every sound, or to the music.
    void SetSoundVolume(float volume);
    void SetMusicVolume(float volume);

    CPHashMap<CPRefPtr<CNSound>>& GetSounds() { return sounds_; }
    const float* GetListenerPosition() const { return position_; }
    const float* GetListenerFront() const { return front_; }
    const float* GetListenerTop() const { return top_; }

private:
    void LoadSoundTable();
    void ApplyListener();

    Platform::AudioDevice* device_ = nullptr;
    bool open_ = false;
    CNSoundCache* ownCache_ = nullptr;
    CPHashMap<CPRefPtr<CNSound>> sounds_{100};
    float position_[3] = {0, 0, 0};
    float velocity_[3] = {0, 0, 0};
    // No listener until start-up sets one.
    float front_[3] = {0, 0, 0};
    float top_[3] = {0, 0, 0};
};

inline CNAudio* GetSoundManager() { return CPSingleton<CNAudio>::Instance(); }
