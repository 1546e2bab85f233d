// The sound manager and its sounds against the recording null device.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "Core/PSettings.h"
#include "ScriptHarness.h"
#include "Sound/NAudio.h"
#include "Sound/PMusic.h"
#include "SoundTestSupport.h"

using namespace SoundTest;

namespace {

class SoundTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories("Data/Sounds");
        ASSERT_TRUE(WriteTone("Data/Sounds/mono16.wav", 440, 0.1));
        ASSERT_TRUE(WriteTone("Data/Sounds/mono8.wav", 440, 0.1, 22050, 1, 8));
        ASSERT_TRUE(WriteTone("Data/Sounds/stereo.wav", 440, 0.1, 22050, 2, 16));
        ASSERT_TRUE(WriteTone("Data/Sounds/float.wav", 440, 0.1, 22050, 1, 32));
        ASSERT_TRUE(WriteWave("Data/Sounds/adpcm.wav", std::vector<uint8_t>(64, 1), 22050, 1, 4, 2));
        std::ofstream("Data/Sounds/Sounds.dat") << "// name;file;kind\n"
                                                   "click;mono8.wav\n"
                                                   "tone;mono16.wav;2d\n"
                                                   "boom;mono16.wav;3D\n"
                                                   "wide;stereo.wav\n"
                                                   "wide3d;stereo.wav;3d\n"
                                                   "float;float.wav\n"
                                                   "packed;adpcm.wav\n"
                                                   "gone;missing.wav\n"
                                                   "twice;mono8.wav\n"
                                                   "twice;mono16.wav\n";
        g_frequency = 22050;
        g_soundVolume = 1.0f;
        g_musicVolume = 0.5f;
        CNSound::SetGlobalPitch(1.0f);
        audio.SetDevice(&device);
    }
    void TearDown() override {
        audio.GetSounds().Clear();
        CPManagedObject::CollectGarbage();
    }
    ScriptHarness::GameRoot root{""};
    Platform::NullAudioDevice device;
    CNSoundCache cache;
    CNAudio audio;
};

TEST_F(SoundTest, TheTableHoldsWhatCanBePlayed) {
    ASSERT_EQ(audio.Init(nullptr), S_OK);
    EXPECT_EQ(device.frequency, 22050);
    struct Case {
        const char* name;
        bool loaded;
        bool is3D;
    };
    // Other format tags, and stereo declared 3D, stay unloaded; "3d" is compared in any case.
    const Case cases[] = {{"click", true, false},   {"tone", true, false},    {"boom", true, true},
                          {"wide", true, false},    {"wide3d", false, false}, {"float", true, false},
                          {"packed", false, false}, {"gone", false, false}};
    for (const Case& c : cases) {
        CPRefPtr<CNSound> sound = audio.GetSound(c.name);
        EXPECT_EQ(static_cast<bool>(sound), c.loaded) << c.name;
        if (sound) {
            EXPECT_EQ(sound->Is3D(), c.is3D) << c.name;
        }
    }
    // Each sound is named by its file among the live objects.
    EXPECT_STREQ(audio.GetSound("tone")->GetTypeName(), "CNSound_Data\\Sounds\\mono16.wav");
    EXPECT_STREQ(audio.GetSound("click")->GetTypeName(), "CNSound_Data\\Sounds\\mono8.wav");
    // The later line of a name wins; asking twice gives the same sound.
    CPRefPtr<CNSound> twice = audio.GetSound("twice");
    ASSERT_TRUE(twice);
    EXPECT_EQ(twice->GetSize(), 2u * 2205);
    EXPECT_EQ(twice.Get(), audio.GetSound("twice").Get());
    // An unknown name finds nothing and leaves an empty entry.
    size_t before = audio.GetSounds().Size();
    EXPECT_FALSE(audio.GetSound("nothing"));
    EXPECT_EQ(audio.GetSounds().Size(), before + 1);
    EXPECT_FALSE(audio.GetSound("nothing"));
    // CreateSound always makes a new one.
    CPRefPtr<CNSound> a = audio.CreateSound("mono16.wav", 0, false), b = audio.CreateSound("mono16.wav", 0, false);
    ASSERT_TRUE(a && b);
    EXPECT_NE(a.Get(), b.Get());
    // The loader's 3D sounds get distances 1 and 1000.
    const auto* boom = device.GetVoice(audio.GetSound("boom")->GetVoice());
    ASSERT_TRUE(boom);
    EXPECT_TRUE(boom->positional);
    EXPECT_EQ(boom->minimum, 1.0f);
    EXPECT_EQ(boom->maximum, 1000.0f);
    // The listener's arguments come top first, then front.
    const float top[3] = {0, 0, 1}, front[3] = {0, -1, 0};
    audio.SetListenerOrientation(top, front);
    EXPECT_EQ(device.listener[2][1], -1.0f);
    EXPECT_EQ(device.listener[3][2], 1.0f);
}

TEST_F(SoundTest, NoDeviceMeansASilentGame) {
    device.failOpen = true;
    EXPECT_EQ(audio.Init(nullptr), E_FAIL);
    EXPECT_FALSE(audio.GetSound("click"));
    EXPECT_FALSE(audio.CreateSound("mono8.wav", 0, true));
    CNAudio none;
    EXPECT_EQ(none.Init(nullptr), E_FAIL);
}

TEST_F(SoundTest, PlayStopAndRewindKeepTheOldMeaning) {
    ASSERT_EQ(audio.Init(nullptr), S_OK);
    CPRefPtr<CNSound> tone = audio.GetSound("tone");
    const auto* voice = device.GetVoice(tone->GetVoice());
    EXPECT_EQ(tone->Play(0, 1), S_OK);
    EXPECT_TRUE(tone->IsPlaying());
    EXPECT_TRUE(voice->loop);
    tone->Stop();
    EXPECT_FALSE(tone->IsPlaying());
    EXPECT_FALSE(voice->rewound); // Stop keeps the position
    tone->Rewind();
    EXPECT_TRUE(voice->rewound);
    // The pitch factor applies at the next Play; the frequency range is the old device's.
    CNSound::SetGlobalPitch(0.5f);
    EXPECT_NEAR(voice->pitch, 1.0f, 1e-6);
    tone->Play(0, 0);
    EXPECT_NEAR(voice->pitch, 0.5f, 1e-6);
    // A frequency the device cannot take (22050 x 0.001) is reported and not played, and Play
    // still answers 0.
    tone->Stop();
    CNSound::SetGlobalPitch(0.001f);
    EXPECT_EQ(tone->Play(0, 0), S_OK);
    EXPECT_FALSE(tone->IsPlaying());
    EXPECT_NEAR(voice->pitch, 0.5f, 1e-6);
    CNSound::SetGlobalPitch(1.0f);
    tone->SetFrequencyScale(2.0f);
    EXPECT_NEAR(voice->pitch, 2.0f, 1e-6);
    tone->SetFrequencyScale(NAN);
    EXPECT_NEAR(voice->pitch, 2.0f, 1e-6);
    // Non-finite places never reach the device; a 2D sound has no place.
    const float bad[3] = {NAN, 0, 0}, zero[3] = {0, 0, 0}, at[3] = {1, 2, 3};
    CPRefPtr<CNSound> boom = audio.GetSound("boom");
    audio.SetSoundPosition(boom.Get(), at, zero);
    audio.SetSoundPosition(boom.Get(), bad, zero);
    EXPECT_EQ(device.GetVoice(boom->GetVoice())->position[2], 3.0f);
    audio.SetSoundPosition(tone.Get(), at, zero);
    EXPECT_EQ(voice->position[0], 0.0f);
    // A minimum distance of 0 or less takes 1.
    audio.SetSoundDistances(boom.Get(), 0.0f, 200.0f);
    EXPECT_EQ(device.GetVoice(boom->GetVoice())->minimum, 1.0f);
    EXPECT_EQ(device.GetVoice(boom->GetVoice())->maximum, 200.0f);
}

TEST_F(SoundTest, VolumesFollowTheCurveClampedWhileStoredAsGiven) {
    struct Case {
        float volume;
        int millibels;
    };
    const Case cases[] = {{0.5f, -437}, {1.0f, 0}, {0.0f, -7000}, {2.0f, 0}, {-1.0f, -7000}, {0.9f, 0}};
    for (const Case& c : cases) EXPECT_EQ(CNSound::VolumeToMillibels(c.volume), c.millibels) << c.volume;
    EXPECT_NEAR(Platform::GainOfMillibels(-437), 0.6046f, 1e-4);

    g_soundVolume = 0.5f;
    ASSERT_EQ(audio.Init(nullptr), S_OK);
    CPRefPtr<CNSound> tone = audio.GetSound("tone"), click = audio.GetSound("click");
    EXPECT_NEAR(device.GetVoice(tone->GetVoice())->gain, 0.6046f, 1e-4);
    // Re-applied to every live sound at once; stored unclamped.
    audio.SetSoundVolume(2.0f);
    EXPECT_EQ(g_soundVolume, 2.0f);
    EXPECT_NEAR(device.GetVoice(tone->GetVoice())->gain, 1.0f, 1e-6);
    EXPECT_NEAR(device.GetVoice(click->GetVoice())->gain, 1.0f, 1e-6);
    audio.SetSoundVolume(0.0f);
    EXPECT_NEAR(device.GetVoice(click->GetVoice())->gain, std::pow(10.0f, -3.5f), 1e-6);
    // A released sound leaves the live list and gives its voice back.
    CPManagedObject::CollectGarbage(); // the replaced "twice"
    size_t live = device.LiveVoices();
    CPRefPtr<CNSound> own = audio.CreateSound("mono8.wav", 0, true);
    EXPECT_EQ(device.LiveVoices(), live + 1);
    own.Reset();
    CPManagedObject::CollectGarbage();
    EXPECT_EQ(device.LiveVoices(), live);
}

// The buffer is as long as the "data" chunk says; what the file does not hold is silence (128 for
// 8-bit data). A chunk the device could never take leaves the sound unloaded.
TEST_F(SoundTest, ShortDataIsPaddedWithSilence) {
    auto wave = [](uint32_t claimed) {
        std::vector<uint8_t> bytes = {'R',  'I',  'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V',  'E',  'f', 'm',
                                      't',  ' ',  16,  0,   0, 0, 1, 0, 1,   0,   0x22, 0x56, 0,   0,
                                      0x22, 0x56, 0,   0,   1, 0, 8, 0, 'd', 'a', 't',  'a'};
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(claimed >> (8 * i)));
        bytes.insert(bytes.end(), {10, 20, 30});
        return bytes;
    };
    auto write = [](const char* path, const std::vector<uint8_t>& bytes) {
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    };
    write("Data/Sounds/short.wav", wave(100));
    write("Data/Sounds/huge.wav", wave(0x10000000));
    ASSERT_EQ(audio.Init(nullptr), S_OK);
    CPRefPtr<CNSound> sound = audio.CreateSound("short.wav", 0, true);
    ASSERT_TRUE(sound);
    EXPECT_EQ(sound->GetSize(), 100u);
    std::vector<uint8_t> expected(100, 128);
    expected[0] = 10, expected[1] = 20, expected[2] = 30;
    EXPECT_EQ(device.GetVoice(sound->GetVoice())->data, expected);
    EXPECT_FALSE(audio.CreateSound("huge.wav", 0, true));
}

} // namespace
