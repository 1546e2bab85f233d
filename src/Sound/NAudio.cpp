#include "Sound/NAudio.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "Core/PFileReader.h"
#include "Core/PLog.h"
#include "Core/PSettings.h"
#include "Core/PTextReader.h"
#include "Core/PTokenizer.h"
#include "Sound/PMusic.h"

namespace {

bool Finite3(const float v[3]) { return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]); }

} // namespace

CNAudio::CNAudio() = default;

CNAudio::~CNAudio() {
    sounds_.Clear();
    delete ownCache_;
}

HRESULT CNAudio::Init(void* /*mainWindow*/) {
    CNSound::SetGlobalVolume(g_soundVolume);
    CPMusic* music = GetMusic();
    if (music) music->SetVolume(g_musicVolume);

    if (!device_ || !device_->Open(g_frequency)) {
        GetLog().Write(1, "no audio device: the game runs silent\n");
        device_ = nullptr;
        return E_FAIL;
    }
    open_ = true;
    if (music) music->SetDevice(device_);
    if (!GetSoundCache()) ownCache_ = new CNSoundCache;
    GetSoundCache()->SetDevice(device_);
    ApplyListener();
    LoadSoundTable();
    return S_OK;
}

void CNAudio::LoadSoundTable() {
    CPFileReader reader("Data\\Sounds\\Sounds.dat");
    if (FAILED(reader.Load())) {
        // The game plays on silent; the log says why.
        GetLog().Write(0, "sounds: cannot read %s\n", reader.GetPath().c_str());
        return;
    }
    CPTextReader lines(reader.GetData(), reader.GetLength());
    std::string line;
    while (lines.GetLine(line)) {
        CPTokenizer fields(line, ";", true);
        std::string name, file, kind;
        fields.NextToken(name);
        fields.NextToken(file);
        fields.NextToken(kind);
        std::transform(kind.begin(), kind.end(), kind.begin(), [](unsigned char c) { return std::tolower(c); });
        // A file that can't be loaded leaves an empty entry under its name.
        sounds_[name] = CreateSound(file, kind == "3d" ? 1 : 0, true);
        if (!sounds_[name] && open_)
            GetLog().Write(0, "%s: sound \"%s\" has nothing to play\n", reader.GetPath().c_str(), name.c_str());
    }
}

CPRefPtr<CNSound> CNAudio::GetSound(const std::string& name) { return sounds_[name]; }

CPRefPtr<CNSound> CNAudio::CreateSound(const std::string& file, int kind3D, bool forceNew) {
    CNSoundCache* cache = GetSoundCache();
    if (!open_ || !cache) return {};
    return cache->LoadSound(file, kind3D, forceNew);
}

void CNAudio::SetSoundPosition(CNSound* sound, const float position[3], const float velocity[3]) {
    if (sound) sound->SetPosition(position, velocity);
}

void CNAudio::SetSoundDistances(CNSound* sound, float minimum, float maximum) {
    if (sound) sound->SetDistances(minimum, maximum);
}

void CNAudio::SetListenerOrientation(const float top[3], const float front[3]) {
    if (!Finite3(top) || !Finite3(front)) return;
    std::copy(top, top + 3, top_);
    std::copy(front, front + 3, front_);
    ApplyListener();
}

void CNAudio::SetListenerPosition(const float position[3], const float velocity[3]) {
    if (!Finite3(position) || !Finite3(velocity)) return;
    std::copy(position, position + 3, position_);
    std::copy(velocity, velocity + 3, velocity_);
    ApplyListener();
}

void CNAudio::UpdateListener(const float position[3], const float front[3], const float top[3]) {
    if (!Finite3(position) || !Finite3(front) || !Finite3(top)) return;
    std::copy(position, position + 3, position_);
    std::copy(front, front + 3, front_);
    std::copy(top, top + 3, top_);
    ApplyListener();
}

void CNAudio::ApplyListener() {
    if (open_ && device_) device_->SetListener(position_, velocity_, front_, top_);
}

void CNAudio::SetSoundVolume(float volume) {
    g_soundVolume = volume;
    CNSound::SetGlobalVolume(volume);
}

void CNAudio::SetMusicVolume(float volume) {
    g_musicVolume = volume;
    if (CPMusic* music = GetMusic()) music->SetVolume(volume);
}
