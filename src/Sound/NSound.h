#pragma once
// One playable sound: a whole WAVE file in one device voice, heard as it is (2D) or from a place in
// the world (3D). Two program-wide factors apply to every sound: the volume and the pitch.
#include <list>
#include <memory>
#include <string>

#include "Core/PManagedObject.h"
#include "Core/PResult.h"
#include "Core/PSingleton.h"
#include "Platform/Audio.h"
#include "Sound/NWaveStream.h"

class CNSound : public CPManagedObject {
public:
    // Loads "path" (a game path) as a 2D (kind 0) or 3D (kind 1) sound. A sound the device can't
    // take (no device, an unplayable format, stereo declared 3D) stays unloaded.
    CNSound(Platform::AudioDevice* device, const std::string& path, int kind3D);
    ~CNSound() override;

    int GetObjectSize() const override { return sizeof(*this); }
    // "CNSound_" and the path, so the live objects tell the sounds apart.
    const char* GetTypeName() const override { return typeName_.c_str(); }

    bool IsLoaded() const { return loaded_; }
    // flags 1 loops. A playing sound goes on where it is. Answers 0, also without a voice (which
    // does nothing) and when the frequency is out of the device's range (logged, not played).
    HRESULT Play(int priority, int flags);
    // Halts without rewinding; Play goes on from there.
    void Stop();
    // Back to the start; a playing sound goes on from there.
    void Rewind();
    bool IsPlaying() const;
    // Frequency = base frequency x factor, at once.
    void SetFrequencyScale(float factor);

    static void SetGlobalVolume(float volume);
    static float GetGlobalVolume();
    // Takes effect at each sound's next Play.
    static void SetGlobalPitch(float factor);
    static float GetGlobalPitch();
    // The attenuation of a volume in hundredths of a decibel: -7000 x (1 - v)^4 with v taken 0..1.
    static int VolumeToMillibels(float volume);
    static const std::list<CNSound*>& LiveSounds();

    int Get3DKind() const { return kind3D_; }
    bool Is3D() const { return kind3D_ == 1; }
    uint32_t GetSize() const { return size_; }
    int GetBaseFrequency() const { return baseFrequency_; }
    const std::string& GetPath() const { return path_; }
    Platform::VoiceId GetVoice() const { return voice_; }
    Platform::AudioDevice* GetDevice() const { return device_; }

    // A 3D sound's place and motion; ignored for 2D sounds and for numbers that aren't finite.
    void SetPosition(const float position[3], const float velocity[3]);
    // A 3D sound's distances; a minimum of 0 or less takes 1.
    void SetDistances(float minimum, float maximum);

    // 3D parameters, kept in step with the voice.
    float position[3] = {0, 0, 0};
    float velocity[3] = {0, 0, 0};
    float minDistance = 1.0f;
    float maxDistance = 1e9f;
    // The frame a shot last started this sound (the weapons set and read it).
    int startStamp = 0;

private:
    void ApplyVolume();
    void ApplyFrequency(int hertz);

    Platform::AudioDevice* device_;
    Platform::VoiceId voice_ = 0;
    uint32_t size_ = 0;
    std::unique_ptr<CNWaveStream> stream_;
    int kind3D_;
    int baseFrequency_ = 0;
    std::string path_;
    std::string typeName_;
    bool loaded_ = false;
};

// Loads sounds from "Data\Sounds". Its list of named sounds is never added to, so each load makes
// a new sound.
class CNSoundCache : public CPSingleton<CNSoundCache> {
public:
    CNSoundCache();
    virtual ~CNSoundCache();

    void SetDevice(Platform::AudioDevice* device) { device_ = device; }
    // A new reference to a sound of the file, or none when it could not be loaded.
    CPRefPtr<CNSound> LoadSound(const std::string& file, int kind3D, bool forceNew);
    // Stops every listed sound and empties the list.
    void StopAll();

    struct Entry {
        std::string name;
        CPRefPtr<CNSound> sound;
    };
    std::list<Entry>& GetList() { return list_; }

private:
    Platform::AudioDevice* device_ = nullptr;
    std::list<Entry> list_;
};

inline CNSoundCache* GetSoundCache() { return CPSingleton<CNSoundCache>::Instance(); }
