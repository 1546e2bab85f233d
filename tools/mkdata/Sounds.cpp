// The demo's sounds and music, synthesised here: Data/Sounds/click.wav, horn.wav, engine.wav, the
// shots' shot.wav, explode.wav and morvane.wav (written with the engine's WAVE writer) and
// Data/Music/tune.ogg, a 32-second loop.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "Platform/Audio.h"
#include "Sound/NWaveStream.h"

namespace fs = std::filesystem;

namespace {

constexpr double kPi = 3.14159265358979323846;

// A tiny deterministic noise source, so every run writes the same files.
struct Noise {
    uint32_t state = 12345;
    double Next() {
        state = state * 1664525u + 1013904223u;
        return static_cast<double>(state >> 8) / static_cast<double>(1u << 24) * 2.0 - 1.0;
    }
};

bool WriteWave(const fs::path& path, const std::vector<double>& samples, int rate, int bits) {
    CNWaveFormat format;
    format.channels = 1;
    format.rate = static_cast<uint32_t>(rate);
    format.bits = static_cast<uint16_t>(bits);
    CNWaveStream stream;
    if (FAILED(stream.Open(path.string(), &format, CNWaveStream::ModeWrite))) return false;
    std::vector<uint8_t> data;
    for (double s : samples) {
        s = std::fmax(-1.0, std::fmin(1.0, s));
        if (bits == 8) {
            data.push_back(static_cast<uint8_t>(std::lround(128 + 127 * s)));
        } else {
            auto v = static_cast<int16_t>(std::lround(32767 * s));
            data.push_back(static_cast<uint8_t>(v));
            data.push_back(static_cast<uint8_t>(static_cast<uint16_t>(v) >> 8));
        }
    }
    stream.Write(data.data(), static_cast<uint32_t>(data.size()));
    return SUCCEEDED(stream.Close());
}

// A short tick: a few cycles of a square wave that dies away (8-bit, as menu clicks were).
std::vector<double> Click(int rate) {
    std::vector<double> out(static_cast<size_t>(rate * 0.04));
    for (size_t i = 0; i < out.size(); ++i) {
        double t = static_cast<double>(i) / rate;
        out[i] = 0.6 * std::exp(-t * 120) * (std::sin(2 * kPi * 1800 * t) > 0 ? 1 : -1);
    }
    return out;
}

// A gun shot: a burst of noise that dies within a tenth of a second.
std::vector<double> Shot(int rate) {
    std::vector<double> out(static_cast<size_t>(rate * 0.15));
    uint32_t seed = 1;
    for (size_t i = 0; i < out.size(); ++i) {
        seed = seed * 214013u + 2531011u;
        const double noise = ((seed >> 16) & 0x7FFF) / 16383.5 - 1.0;
        out[i] = 0.8 * std::exp(-static_cast<double>(i) / rate * 30) * noise;
    }
    return out;
}

// An explosion: low rumbling noise, darkened by a running average, fading over a second.
std::vector<double> Explode(int rate) {
    std::vector<double> out(static_cast<size_t>(rate * 1.2));
    uint32_t seed = 3;
    double low = 0;
    for (size_t i = 0; i < out.size(); ++i) {
        seed = seed * 214013u + 2531011u;
        const double noise = ((seed >> 16) & 0x7FFF) / 16383.5 - 1.0;
        low += (noise - low) * 0.08;
        out[i] = std::min(1.0, 3.5 * low * std::exp(-static_cast<double>(i) / rate * 3));
    }
    return out;
}

// A lightning crackle: noise chopped into short bursts over a buzzing tone.
std::vector<double> Crackle(int rate) {
    std::vector<double> out(static_cast<size_t>(rate * 0.8));
    uint32_t seed = 5;
    for (size_t i = 0; i < out.size(); ++i) {
        seed = seed * 214013u + 2531011u;
        const double t = static_cast<double>(i) / rate;
        const double noise = ((seed >> 16) & 0x7FFF) / 16383.5 - 1.0;
        const double gate = std::sin(2 * kPi * 23 * t) > 0.3 ? 1.0 : 0.2;
        out[i] = 0.5 * std::exp(-t * 2.5) * (gate * noise * 0.7 + 0.3 * std::sin(2 * kPi * 120 * t));
    }
    return out;
}

// A two-tone car horn: two reedy tones a major third apart, with a soft start and end.
std::vector<double> Horn(int rate) {
    const double length = 0.7;
    std::vector<double> out(static_cast<size_t>(rate * length));
    for (size_t i = 0; i < out.size(); ++i) {
        double t = static_cast<double>(i) / rate;
        double envelope = std::fmin(1.0, t / 0.02) * std::fmin(1.0, (length - t) / 0.05);
        double s = 0;
        for (double f : {400.0, 500.0})
            for (int h = 1; h <= 5; ++h) s += std::sin(2 * kPi * f * h * t) / (h * h * 0.7 + 0.3);
        out[i] = 0.28 * envelope * std::tanh(1.5 * s);
    }
    return out;
}

// One second of an idling engine that loops without a seam: every partial and the throb repeat a
// whole number of times in the second.
std::vector<double> Engine(int rate) {
    std::vector<double> out(static_cast<size_t>(rate));
    for (size_t i = 0; i < out.size(); ++i) {
        double t = static_cast<double>(i) / rate;
        double throb = 0.65 + 0.35 * std::sin(2 * kPi * 12 * t);
        double s = 0;
        for (int h = 1; h <= 8; ++h) s += std::sin(2 * kPi * 55 * h * t + h) / h;
        out[i] = 0.45 * throb * std::tanh(s);
    }
    return out;
}

double NoteHz(int midi) { return 440.0 * std::pow(2.0, (midi - 69) / 12.0); }

// The tune: 16 bars at 120 beats a minute over a four-chord loop, bass, arpeggio, a lead and drums.
std::vector<float> Tune(int rate) {
    const double beat = 0.5;
    const int bars = 16;
    const double length = bars * 4 * beat;
    const size_t frames = static_cast<size_t>(length * rate);
    std::vector<double> left(frames), right(frames);
    auto add = [&](double start, double duration, double hz, double level, double pan, int shape) {
        size_t from = static_cast<size_t>(start * rate);
        size_t to = std::min(frames, static_cast<size_t>((start + duration) * rate));
        for (size_t i = from; i < to; ++i) {
            double t = static_cast<double>(i - from) / rate;
            double env = std::fmin(1.0, t / 0.01) * std::exp(-t * (shape == 2 ? 3.0 : 6.0)) *
                         std::fmin(1.0, (duration - t) / 0.02);
            double phase = std::fmod(hz * t, 1.0);
            double v = shape == 0   ? std::sin(2 * kPi * phase)
                       : shape == 1 ? (phase < 0.5 ? 1.0 : -1.0) * 0.5
                                    : 2.0 * phase - 1.0;
            left[i] += level * env * v * (1.0 - pan);
            right[i] += level * env * v * pan;
        }
    };
    // A minor - F - C - G, as MIDI roots, each with its triad.
    const int roots[4] = {57, 53, 48, 55};
    const int thirds[4] = {3, 4, 4, 4};
    const int lead[16] = {69, 72, 76, 74, 72, 69, 67, 69, 72, 74, 76, 79, 76, 74, 72, 71};
    Noise noise;
    for (int bar = 0; bar < bars; ++bar) {
        int chord = bar % 4;
        double barStart = bar * 4 * beat;
        for (int b = 0; b < 4; ++b) add(barStart + b * beat, beat * 0.9, NoteHz(roots[chord] - 12), 0.22, 0.5, 0);
        int triad[3] = {roots[chord], roots[chord] + thirds[chord], roots[chord] + 7};
        for (int s = 0; s < 8; ++s)
            add(barStart + s * beat / 2, beat / 2, NoteHz(triad[s % 3] + 12), 0.06, s % 2 ? 0.3 : 0.7, 1);
        if (bar >= 4) {
            add(barStart, beat * 2, NoteHz(lead[(2 * bar) % 16]), 0.12, 0.45, 2);
            add(barStart + 2 * beat, beat * 2, NoteHz(lead[(2 * bar + 1) % 16]), 0.12, 0.55, 2);
        }
        // Drums: a kick on every beat, a noise hat on the off-beats.
        for (int b = 0; b < 4; ++b) {
            size_t from = static_cast<size_t>((barStart + b * beat) * rate);
            for (size_t i = 0; i < static_cast<size_t>(0.15 * rate) && from + i < frames; ++i) {
                double t = static_cast<double>(i) / rate;
                double kick = 0.35 * std::exp(-t * 25) * std::sin(2 * kPi * (50 + 90 * std::exp(-t * 40)) * t);
                left[from + i] += kick;
                right[from + i] += kick;
            }
            size_t hat = static_cast<size_t>((barStart + b * beat + beat / 2) * rate);
            for (size_t i = 0; i < static_cast<size_t>(0.05 * rate) && hat + i < frames; ++i) {
                double v = 0.05 * std::exp(-static_cast<double>(i) / rate * 80) * noise.Next();
                left[hat + i] += v * 0.6;
                right[hat + i] += v;
            }
        }
    }
    std::vector<float> out(frames * 2);
    for (size_t i = 0; i < frames; ++i) {
        out[2 * i] = static_cast<float>(std::tanh(left[i]));
        out[2 * i + 1] = static_cast<float>(std::tanh(right[i]));
    }
    return out;
}

} // namespace

bool WriteDemoWave(const fs::path& path, const std::vector<double>& samples, int rate, int bits) {
    return WriteWave(path, samples, rate, bits);
}

bool WriteDemoSounds(const fs::path& root) {
    fs::path sounds = root / "Data" / "Sounds", music = root / "Data" / "Music";
    std::error_code ec;
    fs::create_directories(sounds, ec);
    fs::create_directories(music, ec);
    if (ec) return false;
    const int rate = 22050;
    bool ok = WriteWave(sounds / "click.wav", Click(rate), rate, 8) &&
              WriteWave(sounds / "horn.wav", Horn(rate), rate, 16) &&
              WriteWave(sounds / "engine.wav", Engine(rate), rate, 16) &&
              WriteWave(sounds / "shot.wav", Shot(rate), rate, 16) &&
              WriteWave(sounds / "explode.wav", Explode(rate), rate, 16) &&
              WriteWave(sounds / "morvane.wav", Crackle(rate), rate, 16);
    return ok && Platform::WriteOggVorbis((music / "tune.ogg").string(), Tune(44100), 2, 44100);
}
