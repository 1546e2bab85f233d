#pragma once
// The music task: one track at a time from "Data\Music", looping or played once. It watches the
// track once per turn: a looping track starts again when it ends, a track played once tells the
// script "main" with "stop_music" when it has finished.
#include <memory>
#include <string>

#include "Core/PResult.h"
#include "Core/PSingleton.h"
#include "Core/PTask.h"
#include "Platform/Audio.h"

class CPMusic : public CPTask, public CPSingleton<CPMusic> {
public:
    CPMusic();
    ~CPMusic() override;

    // Where tracks play; without one nothing ever loads.
    void SetDevice(Platform::AudioDevice* device);

    // Drops the current track at once and opens "Data\Music\<name>". A looping track starts at the
    // next Update; one played once waits for Start.
    HRESULT LoadTrack(const std::string& name, bool loop);
    // Runs a loaded track; true also when nothing is loaded. (The kernel's start of the task too.)
    bool Start() override;
    void Update() override;
    // Stops the track and rewinds it; it is no longer loaded. The task itself goes on.
    void Stop() override;
    void SetVolume(float volume);

    int GetTaskKind() const override { return KindSystem; }
    int GetObjectSize() const override { return sizeof(*this); }
    const char* GetTypeName() const override { return "CPMusic"; }

    const std::string& GetTrackName() const { return trackName_; }
    bool IsLoaded() const { return loaded_; }
    bool IsLooping() const { return loop_; }
    float GetVolume() const { return volume_; }
    Platform::MusicStream* GetStream() const { return stream_.get(); }

private:
    void ApplyVolume();

    Platform::AudioDevice* device_ = nullptr;
    std::unique_ptr<Platform::MusicStream> stream_;
    bool loop_ = false;
    std::string trackName_;
    bool loaded_ = false;
    float volume_ = 0.5f;
    bool started_ = false;
};

inline CPMusic* GetMusic() { return CPSingleton<CPMusic>::Instance(); }
