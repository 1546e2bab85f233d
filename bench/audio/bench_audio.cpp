// bench_audio: the per-turn cost of input and sound against their budgets, on the OpenAL loopback
// device (no sound card needed).
//   turn:  one CNInput::Update (keys and mouse moving), one CPMusic::Update of a playing track and
//          64 3D sounds moved, median over many turns; budget 50 us on one core.
//   music: decoding and queueing an Ogg Vorbis track (44.1 kHz stereo) as the music thread does,
//          as a share of the time the audio lasts; budget 3 % of a core.
// Prints "bench=<name> value=<v> budget=<b> ratio=<v/b>" per line. --smoke runs a few turns only.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Core/PGlobalTimer.h"
#include "Core/PPath.h"
#include "Core/PSettings.h"
#include "Input/NInput.h"
#include "Platform/Audio.h"
#include "Platform/Input.h"
#include "Sound/NAudio.h"
#include "Sound/PMusic.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

bool WriteMonoWave(const std::string& path) {
    CNWaveFormat format;
    std::vector<uint8_t> data(22050 * 2);
    for (size_t i = 0; i < data.size() / 2; ++i) {
        auto v = static_cast<int16_t>(8000 * std::sin(i * 0.1));
        std::memcpy(&data[i * 2], &v, 2);
    }
    CNWaveStream stream;
    if (FAILED(stream.Open(path, &format, CNWaveStream::ModeWrite))) return false;
    stream.Write(data.data(), static_cast<uint32_t>(data.size()));
    return SUCCEEDED(stream.Close());
}

std::vector<float> Tune(int seconds) {
    std::vector<float> out(static_cast<size_t>(seconds) * 44100 * 2);
    for (size_t i = 0; i < out.size() / 2; ++i) {
        double t = i / 44100.0;
        out[2 * i] = static_cast<float>(0.3 * std::sin(2 * M_PI * 220 * t) + 0.1 * std::sin(2 * M_PI * 1320 * t));
        out[2 * i + 1] = static_cast<float>(0.3 * std::sin(2 * M_PI * 330 * t));
    }
    return out;
}

void Report(const char* name, double value, double budget) {
    std::printf("bench=%s value=%.3f budget=%.3f ratio=%.3f\n", name, value, budget, value / budget);
}

} // namespace

int main(int argc, char** argv) {
    const bool smoke = argc > 1 && std::strcmp(argv[1], "--smoke") == 0;
    fs::path root = fs::temp_directory_path() / ("vastrel-bench-audio-" + std::to_string(::getpid()));
    fs::create_directories(root / "Data" / "Sounds");
    fs::create_directories(root / "Data" / "Music");
    fs::current_path(root);
    InvalidatePathCache();
    std::ofstream("Actions.cfg") << "fire;Fire;Space;false\r\nleft;Left;Left;false\r\n";
    std::ofstream("Data/Sounds/Sounds.dat") << "";
    if (!WriteMonoWave("Data/Sounds/hum.wav") || !Platform::WriteOggVorbis("Data/Music/tune.ogg", Tune(10), 2, 44100)) {
        std::fprintf(stderr, "bench_audio: cannot write its sounds\n");
        return 1;
    }
    g_frequency = 22050;
    g_soundVolume = 1.0f;
    g_musicVolume = 1.0f;
    g_screenWidth = 1024;
    g_screenHeight = 768;
    AppActive = true;

    int status = 0;
    {
        Platform::OpenAlAudioDevice device({true, false});
        CPRefPtr<CPMusic> music(new CPMusic);
        CNSoundCache cache;
        CNAudio audio;
        audio.SetDevice(&device);
        if (FAILED(audio.Init(nullptr))) {
            std::fprintf(stderr, "bench_audio: no loopback device\n");
            return 1;
        }
        // The turn.
        CPRefPtr<CNInput> input(new CNInput);
        input->Start();
        Platform::ScriptedInput keys;
        input->SetDevice(&keys);
        std::vector<CPRefPtr<CNSound>> sounds;
        for (int i = 0; i < 64; ++i) {
            sounds.push_back(audio.CreateSound("hum.wav", 1, true));
            if (sounds.back()) sounds.back()->Play(0, 1);
        }
        music->LoadTrack("tune.ogg", true);
        std::vector<float> mix(2 * 512);
        const int turns = smoke ? 20 : 5000;
        std::vector<double> times;
        for (int turn = 0; turn < turns; ++turn) {
            if (turn % 2) keys.KeyDown(0x39);
            else keys.KeyUp(0x39);
            keys.Motion(3, -2);
            auto start = Clock::now();
            input->Update();
            music->Update();
            const float zero[3] = {0, 0, 0};
            for (size_t i = 0; i < sounds.size(); ++i) {
                if (!sounds[i]) continue;
                float a = static_cast<float>(turn * 0.01 + i);
                const float at[3] = {10 * std::cos(a), 10 * std::sin(a), 0};
                audio.SetSoundPosition(sounds[i].Get(), at, zero);
            }
            times.push_back(Seconds(Clock::now() - start) * 1e6);
            // The device mixes between turns, as a sound card would.
            device.Render(mix.data(), 512);
            if (music->GetStream()) music->GetStream()->Refill();
        }
        std::nth_element(times.begin(), times.begin() + times.size() / 2, times.end());
        double median = times[times.size() / 2];
        if (!smoke) Report("turn_us", median, 50.0);
        if (std::count_if(sounds.begin(), sounds.end(), [](auto& s) { return static_cast<bool>(s); }) != 64) status = 1;

        // Music decoding: the refill step over the whole track, timed alone.
        music->Stop();
        music->LoadTrack("tune.ogg", false);
        music->Start();
        Platform::MusicStream* stream = music->GetStream();
        double decoding = 0;
        int rendered = 0;
        const int frames = 4096;
        std::vector<float> block(2 * frames);
        while (stream->IsRunning() && rendered < (smoke ? 22050 : 10 * 22050)) {
            device.Render(block.data(), frames);
            rendered += frames;
            auto start = Clock::now();
            stream->Refill();
            decoding += Seconds(Clock::now() - start);
        }
        double audioSeconds = static_cast<double>(rendered) / device.Frequency();
        if (!smoke) Report("music_cpu_percent", 100.0 * decoding / audioSeconds, 3.0);
        for (auto& s : sounds) s.Reset();
        input.Reset();
        music.Reset();
        audio.GetSounds().Clear();
        CPManagedObject::CollectGarbage();
    }
    fs::current_path(fs::temp_directory_path());
    fs::remove_all(root);
    if (smoke) std::printf("bench_audio smoke: %s\n", status ? "failed" : "ok");
    return status;
}
