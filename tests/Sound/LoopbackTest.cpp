// What is heard: the sounds played through OpenAL Soft's loopback device, the mix rendered into a
// buffer and measured (frequency, level, left against right).
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "Core/PSettings.h"
#include "ScriptHarness.h"
#include "Sound/NAudio.h"
#include "SoundTestSupport.h"

using namespace SoundTest;

namespace {

constexpr int kRate = 22050;

class LoopbackTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories("Data/Sounds");
        ASSERT_TRUE(WriteTone("Data/Sounds/tone.wav", 440, 2.0));
        std::ofstream("Data/Sounds/Sounds.dat") << "tone;tone.wav\ntone3d;tone.wav;3d\n";
        g_frequency = kRate;
        g_soundVolume = 1.0f;
        g_musicVolume = 1.0f;
        CNSound::SetGlobalPitch(1.0f);
        audio.SetDevice(&device);
        ASSERT_EQ(audio.Init(nullptr), S_OK);
        ASSERT_EQ(device.Frequency(), kRate);
        // The listener as start-up sets it.
        const float zero[3] = {0, 0, 0}, top[3] = {0, 0, 1}, front[3] = {0, -1, 0};
        audio.SetListenerPosition(zero, zero);
        audio.SetListenerOrientation(top, front);
    }
    void TearDown() override {
        audio.GetSounds().Clear();
        CPManagedObject::CollectGarbage();
    }
    // The next `frames` frames of the mix.
    std::vector<float> Mix(int frames = 4410) {
        std::vector<float> out(static_cast<size_t>(frames) * 2);
        device.Render(out.data(), frames);
        return out;
    }
    ScriptHarness::GameRoot root{""};
    Platform::OpenAlAudioDevice device{{true, false}};
    CNSoundCache cache;
    CNAudio audio;
};

TEST_F(LoopbackTest, ToneIsHeardAtItsFrequencyAndTheVolumeCurve) {
    CPRefPtr<CNSound> tone = audio.GetSound("tone");
    ASSERT_TRUE(tone);
    EXPECT_EQ(Rms(Mix()), 0.0);
    tone->Play(0, 1);
    std::vector<float> full = Mix();
    EXPECT_NEAR(Frequency(Channel(full, 0), kRate), 440.0, 2.0);
    double fullLevel = Rms(Channel(full, 0));
    EXPECT_GT(fullLevel, 0.1);
    EXPECT_NEAR(Rms(Channel(full, 0)), Rms(Channel(full, 1)), 1e-3); // 2D: both sides alike

    // 0.5 is -437 hundredths of a decibel: 0.6046 of the level, applied to the playing sound.
    audio.SetSoundVolume(0.5f);
    Mix(512); // let the gain change settle
    std::vector<float> halfMix = Mix();
    double half = Rms(Channel(halfMix, 0));
    EXPECT_NEAR(half / fullLevel, 0.6046, 0.006);
    std::printf("heard: %.2f Hz, RMS %.4f at volume 1, %.4f at 0.5 (ratio %.4f)\n", Frequency(Channel(full, 0), kRate),
                fullLevel, half, half / fullLevel);
}

TEST_F(LoopbackTest, ThreeDSoundsComeFromTheirSide) {
    CPRefPtr<CNSound> tone = audio.GetSound("tone3d");
    ASSERT_TRUE(tone);
    struct Case {
        float x, y, z;
    };
    const float zero[3] = {0, 0, 0};
    auto levels = [&](float x, float y, float z) {
        const float at[3] = {x, y, z};
        audio.SetSoundPosition(tone.Get(), at, zero);
        tone->Play(0, 1);
        Mix(1024);
        std::vector<float> mix = Mix();
        return std::pair<double, double>(Rms(Channel(mix, 0)), Rms(Channel(mix, 1)));
    };
    auto [rightL, rightR] = levels(5, 0, 0);
    EXPECT_GE(rightR, 10 * rightL) << rightL << " " << rightR;
    auto [leftL, leftR] = levels(-5, 0, 0);
    EXPECT_GE(leftL, 10 * leftR) << leftL << " " << leftR;
    auto [nearL, nearR] = levels(0, -1, 0);
    auto [farL, farR] = levels(0, -2, 0);
    std::printf("heard: at (5,0,0) L %.4f R %.4f; at (-5,0,0) L %.4f R %.4f; at (0,-1,0) %.4f/%.4f; at (0,-2,0) "
                "%.4f/%.4f\n",
                rightL, rightR, leftL, leftR, nearL, nearR, farL, farR);
    EXPECT_NEAR(farL, farR, 0.01 * farL);
    EXPECT_NEAR(farL / nearL, 0.5, 0.01);
    // The listener follows a camera: turned to face +x, a sound at +x is straight ahead.
    const float eye[3] = {0, 0, 0}, front[3] = {1, 0, 0}, top[3] = {0, 0, 1};
    audio.UpdateListener(eye, front, top);
    auto [aheadL, aheadR] = levels(5, 0, 0);
    EXPECT_NEAR(aheadL, aheadR, 0.01 * aheadL);
}

TEST_F(LoopbackTest, StopKeepsThePlaceAndPitchAppliesFromTheNextPlay) {
    CPRefPtr<CNSound> tone = audio.GetSound("tone");
    tone->Play(0, 0);
    Mix(1000);
    tone->Stop();
    EXPECT_EQ(Rms(Mix(1024)), 0.0); // the next block after Stop is silent
    // Play goes on where it stopped: the first frames after it continue the same sine.
    tone->Play(0, 0);
    EXPECT_GT(Rms(Mix(256)), 0.1);

    CNSound::SetGlobalPitch(0.5f);
    EXPECT_NEAR(Frequency(Channel(Mix(), 0), kRate), 440.0, 2.0);
    tone->Stop();
    tone->Play(0, 0);
    EXPECT_NEAR(Frequency(Channel(Mix(), 0), kRate), 220.0, 2.0);
}

} // namespace
