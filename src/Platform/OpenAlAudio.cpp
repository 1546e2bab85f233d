#include <AL/al.h>
#include <AL/alc.h>
#define AL_ALEXT_PROTOTYPES
#include <AL/alext.h>
#include <sndfile.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "Platform/Audio.h"

namespace Platform {

namespace {

// The engine's space is left-handed, OpenAL's right-handed: z is mirrored on the way in, so that
// right stays right for every listener orientation.
void Mirror(const float in[3], float out[3]) {
    out[0] = in[0];
    out[1] = in[1];
    out[2] = -in[2];
}

ALenum FormatOf(const PcmFormat& f) {
    if (f.tag == PcmFloat && f.bits == 32) {
        if (!alIsExtensionPresent("AL_EXT_float32")) return 0;
        return f.channels == 1 ? AL_FORMAT_MONO_FLOAT32 : f.channels == 2 ? AL_FORMAT_STEREO_FLOAT32 : 0;
    }
    if (f.tag != PcmInteger) return 0;
    if (f.bits == 8) return f.channels == 1 ? AL_FORMAT_MONO8 : f.channels == 2 ? AL_FORMAT_STEREO8 : 0;
    if (f.bits == 16) return f.channels == 1 ? AL_FORMAT_MONO16 : f.channels == 2 ? AL_FORMAT_STEREO16 : 0;
    return 0;
}

constexpr int kStreamBuffers = 4;
constexpr int kStreamFrames = 4096;

class OpenAlMusicStream final : public MusicStream {
public:
    explicit OpenAlMusicStream(bool threaded) {
        alGenSources(1, &source_);
        alGenBuffers(kStreamBuffers, buffers_);
        alSourcei(source_, AL_SOURCE_RELATIVE, AL_TRUE);
        alSource3f(source_, AL_POSITION, 0, 0, 0);
        alSourcef(source_, AL_ROLLOFF_FACTOR, 0);
        if (threaded) thread_ = std::thread([this] { Loop(); });
    }
    ~OpenAlMusicStream() override {
        quit_ = true;
        if (thread_.joinable()) thread_.join();
        Close();
        alDeleteSources(1, &source_);
        alDeleteBuffers(kStreamBuffers, buffers_);
    }

    bool Open(const std::string& path) override {
        std::lock_guard<std::mutex> lock(mutex_);
        CloseLocked();
        SF_INFO info{};
        SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
        if (!file) return false;
        if (info.channels < 1 || info.channels > 2 || info.samplerate <= 0 || info.frames <= 0) {
            sf_close(file);
            return false;
        }
        // A file that fails at its first frames is no track.
        std::vector<int16_t> probe(static_cast<size_t>(info.channels) * 64);
        if (sf_readf_short(file, probe.data(), 64) <= 0 || sf_error(file) != SF_ERR_NO_ERROR) {
            sf_close(file);
            return false;
        }
        sf_seek(file, 0, SEEK_SET);
        file_ = file;
        channels_ = info.channels;
        rate_ = info.samplerate;
        eof_ = false;
        return true;
    }
    void Close() override {
        std::lock_guard<std::mutex> lock(mutex_);
        CloseLocked();
    }
    bool IsOpen() const override { return file_ != nullptr; }

    bool Run() override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!file_) return false;
        ALint state = 0;
        alGetSourcei(source_, AL_SOURCE_STATE, &state);
        if (state != AL_PLAYING) {
            ALint queued = 0;
            alGetSourcei(source_, AL_BUFFERS_QUEUED, &queued);
            if (queued == 0) QueueInitial();
            alGetSourcei(source_, AL_BUFFERS_QUEUED, &queued);
            if (queued == 0) return false;
            alSourcePlay(source_);
        }
        running_ = true;
        return alGetError() == AL_NO_ERROR;
    }
    void Stop() override {
        std::lock_guard<std::mutex> lock(mutex_);
        alSourcePause(source_);
        running_ = false;
    }
    void Rewind() override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!file_) return;
        bool wasRunning = running_;
        ClearQueue();
        sf_seek(file_, 0, SEEK_SET);
        eof_ = false;
        if (wasRunning) {
            QueueInitial();
            alSourcePlay(source_);
        }
    }
    bool IsRunning() override {
        std::lock_guard<std::mutex> lock(mutex_);
        return running_;
    }
    bool TakeCompleted() override { return completed_.exchange(false); }
    void SetGain(float gain) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (std::isfinite(gain)) alSourcef(source_, AL_GAIN, gain);
    }

    void Refill() override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!file_ || !running_) return;
        ALint processed = 0;
        alGetSourcei(source_, AL_BUFFERS_PROCESSED, &processed);
        while (processed-- > 0) {
            ALuint buffer = 0;
            alSourceUnqueueBuffers(source_, 1, &buffer);
            if (!eof_ && FillBuffer(buffer)) alSourceQueueBuffers(source_, 1, &buffer);
        }
        ALint state = 0, queued = 0;
        alGetSourcei(source_, AL_SOURCE_STATE, &state);
        alGetSourcei(source_, AL_BUFFERS_QUEUED, &queued);
        if (state == AL_PLAYING) return;
        if (queued > 0) {
            // Ran dry before the next refill: go on.
            alSourcePlay(source_);
        } else if (eof_) {
            running_ = false;
            alSourceStop(source_);
            completed_ = true;
        }
    }

private:
    void Loop() {
        while (!quit_) {
            Refill();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    void CloseLocked() {
        ClearQueue();
        running_ = false;
        completed_ = false;
        if (file_) sf_close(file_);
        file_ = nullptr;
    }
    void ClearQueue() {
        alSourceStop(source_);
        alSourcei(source_, AL_BUFFER, 0);
    }
    void QueueInitial() {
        for (ALuint buffer : buffers_) {
            if (eof_ || !FillBuffer(buffer)) break;
            alSourceQueueBuffers(source_, 1, &buffer);
        }
    }
    // Decodes the next piece into the buffer; false at the end of the track (or a decoder error,
    // which ends it too).
    bool FillBuffer(ALuint buffer) {
        std::vector<int16_t> pcm(static_cast<size_t>(kStreamFrames) * channels_);
        sf_count_t got = sf_readf_short(file_, pcm.data(), kStreamFrames);
        if (got <= 0) {
            eof_ = true;
            return false;
        }
        alBufferData(buffer, channels_ == 1 ? AL_FORMAT_MONO16 : AL_FORMAT_STEREO16, pcm.data(),
                     static_cast<ALsizei>(got * channels_ * sizeof(int16_t)), rate_);
        return true;
    }

    std::mutex mutex_;
    std::thread thread_;
    std::atomic<bool> quit_{false};
    std::atomic<bool> completed_{false};
    ALuint source_ = 0;
    ALuint buffers_[kStreamBuffers] = {};
    SNDFILE* file_ = nullptr;
    int channels_ = 0;
    int rate_ = 0;
    bool eof_ = false;
    bool running_ = false;
};

} // namespace

float GainOfMillibels(int millibels) { return std::pow(10.0f, static_cast<float>(millibels) / 2000.0f); }

struct OpenAlAudioDevice::Impl {
    Options options;
    ALCdevice* device = nullptr;
    ALCcontext* context = nullptr;
    struct Voice {
        ALuint source = 0;
        ALuint buffer = 0;
    };
    std::unordered_map<VoiceId, Voice> voices;
    VoiceId next = 1;

    ALuint Source(VoiceId id) const {
        auto it = voices.find(id);
        return it == voices.end() ? 0 : it->second.source;
    }
};

OpenAlAudioDevice::OpenAlAudioDevice() : OpenAlAudioDevice(Options{}) {}

OpenAlAudioDevice::OpenAlAudioDevice(const Options& options) : impl_(std::make_unique<Impl>()) {
    impl_->options = options;
}

OpenAlAudioDevice::~OpenAlAudioDevice() {
    if (!impl_->context) return;
    for (auto& [id, voice] : impl_->voices) {
        alDeleteSources(1, &voice.source);
        alDeleteBuffers(1, &voice.buffer);
    }
    alcMakeContextCurrent(nullptr);
    alcDestroyContext(impl_->context);
    alcCloseDevice(impl_->device);
}

bool OpenAlAudioDevice::Open(int frequency) {
    if (impl_->context) return true;
    if (frequency <= 0) frequency = 22050;
    if (impl_->options.loopback) {
        impl_->device = alcLoopbackOpenDeviceSOFT(nullptr);
        if (impl_->device &&
            !alcIsRenderFormatSupportedSOFT(impl_->device, frequency, ALC_STEREO_SOFT, ALC_FLOAT_SOFT)) {
            alcCloseDevice(impl_->device);
            impl_->device = nullptr;
        }
    } else {
        impl_->device = alcOpenDevice(nullptr);
    }
    if (!impl_->device) return false;
    const ALCint attributes[] = {ALC_FREQUENCY,
                                 frequency,
                                 ALC_FORMAT_CHANNELS_SOFT,
                                 ALC_STEREO_SOFT,
                                 ALC_FORMAT_TYPE_SOFT,
                                 ALC_FLOAT_SOFT,
                                 ALC_HRTF_SOFT,
                                 ALC_FALSE,
                                 0};
    // The format attributes are for loopback devices; an ordinary device is asked for the rate only.
    const ALCint plain[] = {ALC_FREQUENCY, frequency, ALC_HRTF_SOFT, ALC_FALSE, 0};
    impl_->context = alcCreateContext(impl_->device, impl_->options.loopback ? attributes : plain);
    if (!impl_->context || !alcMakeContextCurrent(impl_->context)) {
        if (impl_->context) alcDestroyContext(impl_->context);
        impl_->context = nullptr;
        alcCloseDevice(impl_->device);
        impl_->device = nullptr;
        return false;
    }
    ALCint actual = frequency;
    alcGetIntegerv(impl_->device, ALC_FREQUENCY, 1, &actual);
    frequency_ = actual;
    alDistanceModel(AL_INVERSE_DISTANCE_CLAMPED);
    alDopplerFactor(1.0f);
    alSpeedOfSound(343.3f);
    return true;
}

bool OpenAlAudioDevice::IsOpen() const { return impl_->context != nullptr; }

void OpenAlAudioDevice::SetListener(const float position[3], const float velocity[3], const float front[3],
                                    const float top[3]) {
    if (!impl_->context) return;
    float p[3], v[3], orientation[6];
    Mirror(position, p);
    Mirror(velocity, v);
    Mirror(front, orientation);
    Mirror(top, orientation + 3);
    alListenerfv(AL_POSITION, p);
    alListenerfv(AL_VELOCITY, v);
    alListenerfv(AL_ORIENTATION, orientation);
}

VoiceId OpenAlAudioDevice::CreateVoice(const PcmFormat& format, const void* data, size_t bytes, bool positional) {
    if (!impl_->context || format.rate <= 0) return 0;
    ALenum alFormat = FormatOf(format);
    if (!alFormat || (positional && format.channels != 1)) return 0;
    alGetError();
    Impl::Voice voice;
    alGenBuffers(1, &voice.buffer);
    alBufferData(voice.buffer, alFormat, data, static_cast<ALsizei>(bytes), format.rate);
    alGenSources(1, &voice.source);
    if (alGetError() != AL_NO_ERROR) {
        alDeleteSources(1, &voice.source);
        alDeleteBuffers(1, &voice.buffer);
        return 0;
    }
    alSourcei(voice.source, AL_BUFFER, static_cast<ALint>(voice.buffer));
    if (positional) {
        alSourcei(voice.source, AL_SOURCE_RELATIVE, AL_FALSE);
        alSourcef(voice.source, AL_ROLLOFF_FACTOR, 1.0f);
    } else {
        alSourcei(voice.source, AL_SOURCE_RELATIVE, AL_TRUE);
        alSource3f(voice.source, AL_POSITION, 0, 0, 0);
        alSourcef(voice.source, AL_ROLLOFF_FACTOR, 0.0f);
    }
    VoiceId id = impl_->next++;
    impl_->voices[id] = voice;
    return id;
}

void OpenAlAudioDevice::DestroyVoice(VoiceId id) {
    auto it = impl_->voices.find(id);
    if (it == impl_->voices.end()) return;
    alDeleteSources(1, &it->second.source);
    alDeleteBuffers(1, &it->second.buffer);
    impl_->voices.erase(it);
}

void OpenAlAudioDevice::Play(VoiceId id, bool loop) {
    ALuint source = impl_->Source(id);
    if (!source) return;
    alSourcei(source, AL_LOOPING, loop ? AL_TRUE : AL_FALSE);
    ALint state = 0;
    alGetSourcei(source, AL_SOURCE_STATE, &state);
    if (state != AL_PLAYING) alSourcePlay(source);
}

void OpenAlAudioDevice::Pause(VoiceId id) {
    ALuint source = impl_->Source(id);
    if (!source) return;
    ALint state = 0;
    alGetSourcei(source, AL_SOURCE_STATE, &state);
    if (state == AL_PLAYING) alSourcePause(source);
}

void OpenAlAudioDevice::Rewind(VoiceId id) {
    ALuint source = impl_->Source(id);
    if (!source) return;
    ALint state = 0;
    alGetSourcei(source, AL_SOURCE_STATE, &state);
    if (state == AL_PLAYING) alSourcei(source, AL_SAMPLE_OFFSET, 0);
    else alSourceRewind(source);
}

bool OpenAlAudioDevice::IsPlaying(VoiceId id) {
    ALuint source = impl_->Source(id);
    if (!source) return false;
    ALint state = 0;
    alGetSourcei(source, AL_SOURCE_STATE, &state);
    return state == AL_PLAYING;
}

void OpenAlAudioDevice::SetGain(VoiceId id, float gain) {
    if (ALuint source = impl_->Source(id); source && std::isfinite(gain)) alSourcef(source, AL_GAIN, gain);
}

void OpenAlAudioDevice::SetPitch(VoiceId id, float pitch) {
    if (ALuint source = impl_->Source(id); source && std::isfinite(pitch) && pitch > 0)
        alSourcef(source, AL_PITCH, pitch);
}

void OpenAlAudioDevice::SetPosition(VoiceId id, const float position[3], const float velocity[3]) {
    ALuint source = impl_->Source(id);
    if (!source) return;
    float p[3], v[3];
    Mirror(position, p);
    Mirror(velocity, v);
    alSourcefv(source, AL_POSITION, p);
    alSourcefv(source, AL_VELOCITY, v);
}

void OpenAlAudioDevice::SetDistances(VoiceId id, float minimum, float maximum) {
    ALuint source = impl_->Source(id);
    if (!source) return;
    alSourcef(source, AL_REFERENCE_DISTANCE, minimum);
    alSourcef(source, AL_MAX_DISTANCE, maximum);
}

std::unique_ptr<MusicStream> OpenAlAudioDevice::CreateMusicStream() {
    if (!impl_->context) return nullptr;
    return std::make_unique<OpenAlMusicStream>(impl_->options.musicThreads);
}

void OpenAlAudioDevice::Render(float* out, int frames) {
    if (impl_->options.loopback && impl_->device) alcRenderSamplesSOFT(impl_->device, out, frames);
}

bool DecodeAudioFile(const std::string& path, DecodedAudio& out) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) return false;
    out.channels = info.channels;
    out.rate = info.samplerate;
    out.samples.assign(static_cast<size_t>(info.frames) * info.channels, 0);
    sf_count_t got = sf_readf_short(file, out.samples.data(), info.frames);
    out.samples.resize(static_cast<size_t>(got < 0 ? 0 : got) * info.channels);
    bool ok = sf_error(file) == SF_ERR_NO_ERROR && got > 0;
    sf_close(file);
    return ok;
}

bool WriteOggVorbis(const std::string& path, const std::vector<float>& samples, int channels, int rate,
                    double quality) {
    SF_INFO info{};
    info.channels = channels;
    info.samplerate = rate;
    info.format = SF_FORMAT_OGG | SF_FORMAT_VORBIS;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) return false;
    sf_command(file, SFC_SET_VBR_ENCODING_QUALITY, &quality, sizeof(quality));
    sf_count_t frames = static_cast<sf_count_t>(samples.size() / channels);
    bool ok = sf_writef_float(file, samples.data(), frames) == frames;
    return sf_close(file) == 0 && ok;
}

} // namespace Platform
