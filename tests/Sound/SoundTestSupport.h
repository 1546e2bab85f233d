#pragma once
// Sounds made for the tests with the engine's own WAVE writer, and measurements of a mix.
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "Sound/NWaveStream.h"

namespace SoundTest {

// A sine of `hertz` (amplitude 0.5) as PCM of the given layout, both channels alike.
inline std::vector<uint8_t> Tone(double hertz, double seconds, int rate, int channels, int bits) {
    std::vector<uint8_t> data;
    const int frames = static_cast<int>(seconds * rate);
    for (int i = 0; i < frames; ++i) {
        double s = 0.5 * std::sin(2 * M_PI * hertz * i / rate);
        for (int c = 0; c < channels; ++c) {
            if (bits == 8) {
                data.push_back(static_cast<uint8_t>(std::lround(128 + 127 * s)));
            } else if (bits == 16) {
                auto v = static_cast<int16_t>(std::lround(32767 * s));
                data.push_back(static_cast<uint8_t>(v));
                data.push_back(static_cast<uint8_t>(v >> 8));
            } else {
                float f = static_cast<float>(s);
                const auto* p = reinterpret_cast<const uint8_t*>(&f);
                data.insert(data.end(), p, p + 4);
            }
        }
    }
    return data;
}

inline bool WriteWave(const std::string& path, const std::vector<uint8_t>& data, int rate, int channels, int bits,
                      int tag = 1) {
    CNWaveFormat format;
    format.tag = static_cast<uint16_t>(tag);
    format.channels = static_cast<uint16_t>(channels);
    format.rate = static_cast<uint32_t>(rate);
    format.bits = static_cast<uint16_t>(bits);
    CNWaveStream stream;
    if (FAILED(stream.Open(path, &format, CNWaveStream::ModeWrite))) return false;
    stream.Write(data.data(), static_cast<uint32_t>(data.size()));
    return SUCCEEDED(stream.Close());
}

inline bool WriteTone(const std::string& path, double hertz, double seconds, int rate = 22050, int channels = 1,
                      int bits = 16) {
    return WriteWave(path, Tone(hertz, seconds, rate, channels, bits), rate, channels, bits, bits == 32 ? 3 : 1);
}

// One channel (0 left, 1 right) of interleaved stereo.
inline std::vector<float> Channel(const std::vector<float>& stereo, int channel) {
    std::vector<float> out;
    for (size_t i = channel; i < stereo.size(); i += 2) out.push_back(stereo[i]);
    return out;
}

inline double Rms(const std::vector<float>& samples) {
    double sum = 0;
    for (float s : samples) sum += double(s) * s;
    return samples.empty() ? 0 : std::sqrt(sum / samples.size());
}

// The frequency from the first and last rising zero crossings (interpolated); 0 without two.
inline double Frequency(const std::vector<float>& samples, int rate) {
    double first = -1, last = -1;
    int crossings = 0;
    for (size_t i = 1; i < samples.size(); ++i) {
        if (samples[i - 1] < 0 && samples[i] >= 0) {
            double t = (i - 1) + samples[i - 1] / (samples[i - 1] - samples[i]);
            if (first < 0) first = t;
            last = t;
            ++crossings;
        }
    }
    if (crossings < 2) return 0;
    return (crossings - 1) * rate / (last - first);
}

} // namespace SoundTest
