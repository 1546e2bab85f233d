#include <sys/stat.h>

#include <algorithm>
#include <cstdio>

#include "Platform/Audio.h"

namespace Platform {

namespace {
std::string Vec(const float v[3]) {
    char text[96];
    std::snprintf(text, sizeof(text), "(%g,%g,%g)", v[0], v[1], v[2]);
    return text;
}
std::string VoiceText(VoiceId id) { return "voice " + std::to_string(id); }
} // namespace

NullAudioDevice::~NullAudioDevice() {
    for (Stream* stream : streams_) stream->Detach();
}

bool NullAudioDevice::Open(int rate) {
    calls.push_back("open " + std::to_string(rate));
    if (failOpen) return false;
    frequency = rate;
    open_ = true;
    return true;
}

void NullAudioDevice::SetListener(const float position[3], const float velocity[3], const float front[3],
                                  const float top[3]) {
    calls.push_back("listener " + Vec(position) + " " + Vec(velocity) + " front " + Vec(front) + " top " + Vec(top));
    const float* parts[4] = {position, velocity, front, top};
    for (int i = 0; i < 4; ++i) std::copy(parts[i], parts[i] + 3, listener[i]);
}

NullAudioDevice::Voice* NullAudioDevice::Find(VoiceId id) {
    for (auto& entry : voices_)
        if (entry.first == id) return &entry.second;
    return nullptr;
}

const NullAudioDevice::Voice* NullAudioDevice::GetVoice(VoiceId id) const {
    return const_cast<NullAudioDevice*>(this)->Find(id);
}

size_t NullAudioDevice::LiveVoices() const { return voices_.size(); }

VoiceId NullAudioDevice::CreateVoice(const PcmFormat& format, const void* data, size_t bytes, bool positional) {
    calls.push_back("create " + std::to_string(format.channels) + "ch " + std::to_string(format.bits) + "bit " +
                    std::to_string(format.rate) + "Hz " + std::to_string(bytes) + " bytes" + (positional ? " 3d" : ""));
    if (!open_ || failVoices || (positional && format.channels != 1)) return 0;
    Voice voice;
    voice.format = format;
    voice.bytes = bytes;
    const auto* bytesIn = static_cast<const uint8_t*>(data);
    voice.data.assign(bytesIn, bytesIn + bytes);
    voice.positional = positional;
    VoiceId id = next_++;
    voices_.emplace_back(id, std::move(voice));
    return id;
}

void NullAudioDevice::DestroyVoice(VoiceId id) {
    calls.push_back(VoiceText(id) + " destroy");
    voices_.erase(std::remove_if(voices_.begin(), voices_.end(), [id](const auto& e) { return e.first == id; }),
                  voices_.end());
}

void NullAudioDevice::Play(VoiceId id, bool loop) {
    calls.push_back(VoiceText(id) + " play loop=" + (loop ? "1" : "0"));
    if (Voice* v = Find(id)) {
        v->loop = loop;
        v->playing = true;
        v->rewound = false;
    }
}

void NullAudioDevice::Pause(VoiceId id) {
    calls.push_back(VoiceText(id) + " pause");
    if (Voice* v = Find(id)) v->playing = false;
}

void NullAudioDevice::Rewind(VoiceId id) {
    calls.push_back(VoiceText(id) + " rewind");
    if (Voice* v = Find(id)) v->rewound = true;
}

bool NullAudioDevice::IsPlaying(VoiceId id) {
    const Voice* v = Find(id);
    return v && v->playing;
}

void NullAudioDevice::SetGain(VoiceId id, float gain) {
    char text[48];
    std::snprintf(text, sizeof(text), " gain %.4f", gain);
    calls.push_back(VoiceText(id) + text);
    if (Voice* v = Find(id)) v->gain = gain;
}

void NullAudioDevice::SetPitch(VoiceId id, float pitch) {
    char text[48];
    std::snprintf(text, sizeof(text), " pitch %.4f", pitch);
    calls.push_back(VoiceText(id) + text);
    if (Voice* v = Find(id)) v->pitch = pitch;
}

void NullAudioDevice::SetPosition(VoiceId id, const float position[3], const float velocity[3]) {
    calls.push_back(VoiceText(id) + " position " + Vec(position) + " " + Vec(velocity));
    if (Voice* v = Find(id)) {
        std::copy(position, position + 3, v->position);
        std::copy(velocity, velocity + 3, v->velocity);
    }
}

void NullAudioDevice::SetDistances(VoiceId id, float minimum, float maximum) {
    char text[64];
    std::snprintf(text, sizeof(text), " distances %g %g", minimum, maximum);
    calls.push_back(VoiceText(id) + text);
    if (Voice* v = Find(id)) {
        v->minimum = minimum;
        v->maximum = maximum;
    }
}

std::unique_ptr<MusicStream> NullAudioDevice::CreateMusicStream() {
    calls.push_back("music stream");
    if (!open_) return nullptr;
    auto stream = std::make_unique<Stream>(*this);
    lastStream_ = stream.get();
    streams_.push_back(stream.get());
    return stream;
}

NullAudioDevice::Stream::~Stream() {
    if (!device_) return;
    if (device_->lastStream_ == this) device_->lastStream_ = nullptr;
    std::erase(device_->streams_, this);
}

void NullAudioDevice::Stream::Record(const std::string& call) {
    if (device_) device_->calls.push_back("music " + call);
}

bool NullAudioDevice::Stream::Open(const std::string& file) {
    Record("open " + file);
    Close();
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    path = file;
    open_ = true;
    return true;
}

void NullAudioDevice::Stream::Close() {
    open_ = running_ = completed_ = false;
    path.clear();
}

bool NullAudioDevice::Stream::Run() {
    Record("run");
    if (!open_ || failRun) return false;
    running_ = true;
    return true;
}

void NullAudioDevice::Stream::Stop() {
    Record("stop");
    running_ = false;
}

void NullAudioDevice::Stream::Rewind() { Record("rewind"); }

bool NullAudioDevice::Stream::TakeCompleted() {
    bool was = completed_;
    completed_ = false;
    if (completeAfterNextTake) {
        completeAfterNextTake = false;
        Complete();
    }
    return was;
}

void NullAudioDevice::Stream::SetGain(float value) {
    char text[48];
    std::snprintf(text, sizeof(text), "gain %.4f", value);
    Record(text);
    gain = value;
}

void NullAudioDevice::Stream::Complete() {
    if (!running_) return;
    running_ = false;
    completed_ = true;
}

} // namespace Platform
