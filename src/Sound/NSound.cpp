#include "Sound/NSound.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "Core/PLog.h"

namespace {

std::list<CNSound*> g_liveSounds;
float g_globalVolume = 1.0f;
float g_globalPitch = 1.0f;

// The device's frequency range; outside it a frequency is refused.
constexpr int kMinFrequency = 100;
constexpr int kMaxFrequency = 200000;
// The largest buffer the device takes; a WAVE whose "data" chunk claims more is refused.
constexpr uint32_t kMaxBufferBytes = 0x0FFFFFFF;

bool Playable(const CNWaveFormat& f) {
    if (f.channels < 1 || f.channels > 2) return false;
    if (f.tag == 1) return f.bits == 8 || f.bits == 16;
    return f.tag == 3 && f.bits == 32;
}

} // namespace

CNSound::CNSound(Platform::AudioDevice* device, const std::string& path, int kind3D)
    : device_(device), kind3D_(kind3D), path_(path), typeName_("CNSound_" + path) {
    stream_ = std::make_unique<CNWaveStream>();
    if (FAILED(stream_->Open(path, nullptr, CNWaveStream::ModeRead))) {
        GetLog().Write(1, "sound %s: not a WAVE file that can be read\n", path.c_str());
        return;
    }
    const CNWaveFormat& format = stream_->GetFormat();
    size_ = stream_->GetSize();
    if (!Playable(format)) {
        GetLog().Write(1, "sound %s: format tag %d, %d channels, %d bits cannot be played\n", path.c_str(), format.tag,
                       format.channels, format.bits);
        return;
    }
    if (Is3D() && format.channels != 1) {
        GetLog().Write(1, "sound %s: a 3D sound must be mono\n", path.c_str());
        return;
    }
    if (!device_) return;
    if (size_ > kMaxBufferBytes) {
        GetLog().Write(1, "sound %s: the device refused it\n", path.c_str());
        return;
    }
    // Fill: the buffer is as long as the "data" chunk says; what the file does not hold of it is
    // silence.
    std::vector<uint8_t> data(size_, format.bits == 8 ? 128 : 0);
    stream_->Reset();
    uint32_t got = 0;
    stream_->Read(data.data(), size_, &got);
    Platform::PcmFormat pcm;
    pcm.tag = format.tag == 3 ? Platform::PcmFloat : Platform::PcmInteger;
    pcm.channels = format.channels;
    pcm.rate = static_cast<int>(format.rate);
    pcm.bits = format.bits;
    voice_ = device_->CreateVoice(pcm, data.data(), data.size(), Is3D());
    if (!voice_) {
        GetLog().Write(1, "sound %s: the device refused it\n", path.c_str());
        return;
    }
    baseFrequency_ = static_cast<int>(format.rate);
    loaded_ = true;
    g_liveSounds.push_back(this);
    ApplyVolume();
}

CNSound::~CNSound() {
    if (loaded_) g_liveSounds.remove(this);
    if (voice_ && device_) device_->DestroyVoice(voice_);
}

HRESULT CNSound::Play(int /*priority*/, int flags) {
    if (!voice_) return S_OK;
    int hertz = static_cast<int>(static_cast<float>(baseFrequency_) * g_globalPitch);
    if (hertz < kMinFrequency || hertz > kMaxFrequency) {
        GetLog().Write(1, "sound %s: frequency %d out of range\n", path_.c_str(), hertz);
        return S_OK;
    }
    ApplyFrequency(hertz);
    device_->Play(voice_, (flags & 1) != 0);
    return S_OK;
}

void CNSound::Stop() {
    if (voice_) device_->Pause(voice_);
}

void CNSound::Rewind() {
    if (voice_) device_->Rewind(voice_);
}

bool CNSound::IsPlaying() const { return voice_ && device_->IsPlaying(voice_); }

void CNSound::SetFrequencyScale(float factor) {
    if (!voice_ || !std::isfinite(factor)) return;
    float hertz = static_cast<float>(baseFrequency_) * factor;
    if (hertz < kMinFrequency || hertz > kMaxFrequency) return;
    ApplyFrequency(static_cast<int>(hertz));
}

void CNSound::SetPosition(const float newPosition[3], const float newVelocity[3]) {
    if (!Is3D()) return;
    for (int i = 0; i < 3; ++i)
        if (!std::isfinite(newPosition[i]) || !std::isfinite(newVelocity[i])) return;
    std::copy(newPosition, newPosition + 3, position);
    std::copy(newVelocity, newVelocity + 3, velocity);
    if (voice_) device_->SetPosition(voice_, position, velocity);
}

void CNSound::SetDistances(float minimum, float maximum) {
    if (!Is3D() || !std::isfinite(minimum) || !std::isfinite(maximum)) return;
    // A minimum of 0 or less would make the sound silent at every distance.
    minDistance = minimum > 0 ? minimum : 1.0f;
    maxDistance = maximum;
    if (voice_) device_->SetDistances(voice_, minDistance, maxDistance);
}

void CNSound::ApplyFrequency(int hertz) {
    device_->SetPitch(voice_, static_cast<float>(hertz) / static_cast<float>(baseFrequency_));
}

void CNSound::ApplyVolume() {
    if (voice_) device_->SetGain(voice_, Platform::GainOfMillibels(VolumeToMillibels(g_globalVolume)));
}

int CNSound::VolumeToMillibels(float volume) {
    // The curve is taken over 0..1 only: past 1 it would turn back down (2 would be as quiet as 0).
    float v = std::isfinite(volume) ? std::clamp(volume, 0.0f, 1.0f) : 1.0f;
    float q = 1.0f - v;
    return static_cast<int>(-7000.0f * q * q * q * q);
}

void CNSound::SetGlobalVolume(float volume) {
    g_globalVolume = volume;
    for (CNSound* sound : g_liveSounds) sound->ApplyVolume();
}

float CNSound::GetGlobalVolume() { return g_globalVolume; }

void CNSound::SetGlobalPitch(float factor) { g_globalPitch = factor; }

float CNSound::GetGlobalPitch() { return g_globalPitch; }

const std::list<CNSound*>& CNSound::LiveSounds() { return g_liveSounds; }

CNSoundCache::CNSoundCache() = default;

CNSoundCache::~CNSoundCache() = default;

CPRefPtr<CNSound> CNSoundCache::LoadSound(const std::string& file, int kind3D, bool forceNew) {
    if (!forceNew) {
        for (Entry& entry : list_)
            if (entry.name == file) return entry.sound;
    }
    CPRefPtr<CNSound> sound(new CNSound(device_, "Data\\Sounds\\" + file, kind3D));
    if (!sound->IsLoaded()) return {};
    if (kind3D == 1) sound->SetDistances(1.0f, 1000.0f);
    return sound;
}

void CNSoundCache::StopAll() {
    for (Entry& entry : list_)
        if (entry.sound) entry.sound->Stop();
    list_.clear();
}
