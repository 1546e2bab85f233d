#pragma once
// The sound device as the engine asks for it: a 3D listener, voices that each hold one whole PCM
// buffer (2D or positional) and one streamed music track. The engine's 3D space is left-handed; a
// backend whose space is not mirrors it in one place, so the engine's vectors go in unchanged.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Platform {

enum PcmTag : int { PcmInteger = 1, PcmFloat = 3 };

struct PcmFormat {
    int tag = PcmInteger; // PcmInteger (8-bit unsigned or 16-bit signed) or PcmFloat (32-bit)
    int channels = 1;
    int rate = 22050;
    int bits = 16;
};

using VoiceId = uint32_t; // 0 is no voice

// One music track decoded and streamed while it plays.
class MusicStream {
public:
    virtual ~MusicStream() = default;
    // Opens the file at the path on disk; false when it is missing, a folder or not audio it can
    // decode. A stream that was open is closed first.
    virtual bool Open(const std::string& path) = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    // Plays from the current position; false when nothing is open or the device refused.
    virtual bool Run() = 0;
    // Halts where it is.
    virtual void Stop() = 0;
    // Back to the start of the track; a running stream goes on from there.
    virtual void Rewind() = 0;
    virtual bool IsRunning() = 0;
    // True once after the track has played to its end (it is then no longer running).
    virtual bool TakeCompleted() = 0;
    virtual void SetGain(float gain) = 0;
    // Decodes into what the device has used up. The stream's own thread calls it while the track
    // plays; a stream made without a thread relies on the caller (tests) to call it.
    virtual void Refill() = 0;
};

class AudioDevice {
public:
    virtual ~AudioDevice() = default;
    // Opens the device at this mixing rate; false when there is none (the game then stays silent).
    virtual bool Open(int frequency) = 0;
    virtual bool IsOpen() const = 0;
    // The listener: position and velocity, its front and top directions.
    virtual void SetListener(const float position[3], const float velocity[3], const float front[3],
                             const float top[3]) = 0;

    // A voice over a copy of the data; 0 when the format is refused or the device is not open. A
    // positional voice is mono and heard from its position; the other kind is heard as it is.
    virtual VoiceId CreateVoice(const PcmFormat& format, const void* data, size_t bytes, bool positional) = 0;
    virtual void DestroyVoice(VoiceId voice) = 0;
    // Starts the voice; one already playing goes on where it is and only takes the loop flag.
    virtual void Play(VoiceId voice, bool loop) = 0;
    // Halts it where it is; the next Play goes on from there.
    virtual void Pause(VoiceId voice) = 0;
    // Moves it to its start; a playing voice goes on from there.
    virtual void Rewind(VoiceId voice) = 0;
    virtual bool IsPlaying(VoiceId voice) = 0;
    virtual void SetGain(VoiceId voice, float gain) = 0;
    // Playback rate over the data's own rate.
    virtual void SetPitch(VoiceId voice, float pitch) = 0;
    virtual void SetPosition(VoiceId voice, const float position[3], const float velocity[3]) = 0;
    // Inverse distance, clamped: full level up to the minimum, no further fall beyond the maximum.
    virtual void SetDistances(VoiceId voice, float minimum, float maximum) = 0;

    virtual std::unique_ptr<MusicStream> CreateMusicStream() = 0;
};

// Gain of an attenuation in hundredths of a decibel.
float GainOfMillibels(int millibels);

// OpenAL Soft. A loopback device mixes only when asked (Render), into interleaved stereo floats:
// tests measure what was heard. Music streams refill on their own thread unless `musicThreads` is
// false.
class OpenAlAudioDevice final : public AudioDevice {
public:
    struct Options {
        bool loopback = false;
        bool musicThreads = true;
    };
    OpenAlAudioDevice();
    explicit OpenAlAudioDevice(const Options& options);
    ~OpenAlAudioDevice() override;

    bool Open(int frequency) override;
    bool IsOpen() const override;
    void SetListener(const float position[3], const float velocity[3], const float front[3],
                     const float top[3]) override;
    VoiceId CreateVoice(const PcmFormat& format, const void* data, size_t bytes, bool positional) override;
    void DestroyVoice(VoiceId voice) override;
    void Play(VoiceId voice, bool loop) override;
    void Pause(VoiceId voice) override;
    void Rewind(VoiceId voice) override;
    bool IsPlaying(VoiceId voice) override;
    void SetGain(VoiceId voice, float gain) override;
    void SetPitch(VoiceId voice, float pitch) override;
    void SetPosition(VoiceId voice, const float position[3], const float velocity[3]) override;
    void SetDistances(VoiceId voice, float minimum, float maximum) override;
    std::unique_ptr<MusicStream> CreateMusicStream() override;

    // Loopback only: mixes `frames` stereo frames into out (2 floats a frame).
    void Render(float* out, int frames);
    int Frequency() const { return frequency_; }

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
    int frequency_ = 0;
};

// Records what it was asked, one line per call ("voice 1 play loop=0"), and keeps each voice's
// state so the engine's rules above can be checked. It can be told to have no device or to refuse
// voices. Its music streams open any regular file and play until told they completed.
class NullAudioDevice final : public AudioDevice {
public:
    struct Voice {
        PcmFormat format;
        size_t bytes = 0;
        std::vector<uint8_t> data;
        bool positional = false;
        bool playing = false;
        bool loop = false;
        bool rewound = true; // at position 0
        float gain = 1.0f;
        float pitch = 1.0f;
        float position[3] = {0, 0, 0};
        float velocity[3] = {0, 0, 0};
        float minimum = 1.0f;
        float maximum = 1e9f;
    };
    class Stream;

    NullAudioDevice() = default;
    // Streams that outlive the device stop recording into it.
    ~NullAudioDevice() override;
    bool Open(int frequency) override;
    bool IsOpen() const override { return open_; }
    void SetListener(const float position[3], const float velocity[3], const float front[3],
                     const float top[3]) override;
    VoiceId CreateVoice(const PcmFormat& format, const void* data, size_t bytes, bool positional) override;
    void DestroyVoice(VoiceId voice) override;
    void Play(VoiceId voice, bool loop) override;
    void Pause(VoiceId voice) override;
    void Rewind(VoiceId voice) override;
    bool IsPlaying(VoiceId voice) override;
    void SetGain(VoiceId voice, float gain) override;
    void SetPitch(VoiceId voice, float pitch) override;
    void SetPosition(VoiceId voice, const float position[3], const float velocity[3]) override;
    void SetDistances(VoiceId voice, float minimum, float maximum) override;
    std::unique_ptr<MusicStream> CreateMusicStream() override;

    // The voice's state; null for an unknown or destroyed voice.
    const Voice* GetVoice(VoiceId voice) const;
    size_t LiveVoices() const;
    // Every stream made, also ones since destroyed (then null).
    Stream* LastStream() const { return lastStream_; }

    bool failOpen = false;
    bool failVoices = false;
    int frequency = 0;
    float listener[4][3] = {};
    std::vector<std::string> calls;

private:
    Voice* Find(VoiceId voice);
    friend class Stream;

    bool open_ = false;
    VoiceId next_ = 1;
    std::vector<std::pair<VoiceId, Voice>> voices_;
    std::vector<Stream*> streams_;
    Stream* lastStream_ = nullptr;
};

class NullAudioDevice::Stream final : public MusicStream {
public:
    explicit Stream(NullAudioDevice& device) : device_(&device) {}
    ~Stream() override;
    bool Open(const std::string& path) override;
    void Close() override;
    bool IsOpen() const override { return open_; }
    bool Run() override;
    void Stop() override;
    void Rewind() override;
    bool IsRunning() override { return running_; }
    bool TakeCompleted() override;
    void SetGain(float gain) override;
    void Refill() override {}

    // The track plays to its end: it stops and reports completion once.
    void Complete();
    void Detach() { device_ = nullptr; }

    std::string path;
    float gain = 1.0f;
    bool failRun = false;
    // The track ends right after the next TakeCompleted answers, as a refill thread may end it.
    bool completeAfterNextTake = false;

private:
    void Record(const std::string& call);
    NullAudioDevice* device_;
    bool open_ = false;
    bool running_ = false;
    bool completed_ = false;
};

// Decoded audio file (WAV, FLAC, Ogg Vorbis, MP3 and whatever else libsndfile reads), as 16-bit
// interleaved samples.
struct DecodedAudio {
    int channels = 0;
    int rate = 0;
    std::vector<int16_t> samples;
};
bool DecodeAudioFile(const std::string& path, DecodedAudio& out);
// Writes interleaved float samples (-1..1) as Ogg Vorbis at the given quality (0..1).
bool WriteOggVorbis(const std::string& path, const std::vector<float>& samples, int channels, int rate,
                    double quality = 0.4);

} // namespace Platform
