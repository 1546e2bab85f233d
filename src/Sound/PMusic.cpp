#include "Sound/PMusic.h"

#include "Core/PLog.h"
#include "Core/PPath.h"
#include "Core/PScriptManager.h"
#include "Sound/NSound.h"

CPMusic::CPMusic() = default;

CPMusic::~CPMusic() { stream_.reset(); }

void CPMusic::SetDevice(Platform::AudioDevice* device) {
    if (device == device_) return;
    stream_.reset();
    loaded_ = false;
    device_ = device;
}

HRESULT CPMusic::LoadTrack(const std::string& name, bool loop) {
    if (stream_) stream_->Close();
    loaded_ = false;
    trackName_ = name;
    loop_ = loop;
    if (!stream_ && device_) stream_ = device_->CreateMusicStream();
    if (!stream_) return E_FAIL;
    // Tracks are read straight from the folder, never from the packs.
    if (!stream_->Open(ResolvePath("Data\\Music\\" + name))) {
        GetLog().Write(1, "music %s: cannot be played\n", name.c_str());
        return E_FAIL;
    }
    loaded_ = true;
    ApplyVolume();
    return S_OK;
}

bool CPMusic::Start() {
    // As a task it only has to be marked running; called again it runs the track.
    running_ = true;
    killed_ = false;
    if (loaded_ && stream_) {
        if (!stream_->Run()) {
            GetLog().Write(1, "music %s: cannot be started\n", trackName_.c_str());
            return false;
        }
        started_ = true;
    }
    ApplyVolume();
    return true;
}

void CPMusic::Update() {
    if (!loaded_ || !stream_) return;
    // Running is read before the end is taken: a track that ends between the two looks is then
    // either still running (its end is taken next turn) or taken as ended, never both, so a loop
    // restarts once.
    const bool running = stream_->IsRunning();
    if (stream_->TakeCompleted()) {
        stream_->Stop();
        stream_->Rewind();
    } else if (running) {
        return;
    }
    if (loop_) {
        // A refused restart is tried again next turn.
        stream_->Rewind();
        stream_->Run();
        return;
    }
    loaded_ = false;
    if (CPScriptManager* scripts = GetScriptManager()) scripts->SendCommandByName("main", "stop_music", trackName_);
}

void CPMusic::Stop() {
    if (loaded_ && stream_) {
        stream_->Stop();
        stream_->Rewind();
    }
    started_ = false;
    loaded_ = false;
}

void CPMusic::SetVolume(float volume) {
    volume_ = volume;
    ApplyVolume();
}

void CPMusic::ApplyVolume() {
    if (stream_) stream_->SetGain(Platform::GainOfMillibels(CNSound::VolumeToMillibels(volume_)));
}
