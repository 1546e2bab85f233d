// The music task: a looping track and one played once, against the recording null device and heard
// through the loopback device with its refill step called by the test.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "Core/PScriptManager.h"
#include "Core/PSettings.h"
#include "ScriptHarness.h"
#include "Sound/NAudio.h"
#include "Sound/PMusic.h"
#include "SoundTestSupport.h"

using namespace SoundTest;

namespace {

class MusicTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories("Data/Scripts");
        std::filesystem::create_directories("Data/Music/folder.wav");
        std::ofstream("Data/Scripts/list.dat") << "main t_system main\n";
        std::ofstream("Data/Scripts/main.lua") << "while true do Update() end\n";
        std::ofstream("Data/Music/text.ogg") << "not audio at all";
        ASSERT_TRUE(WriteTone("Data/Music/Short.wav", 440, 0.5));
        ASSERT_TRUE(WriteTone("Data/Music/other.wav", 660, 0.5));
        ASSERT_TRUE(scripts.LoadList());
        main = scripts.GetScript("main");
        main->Start();
        music = new CPMusic;
        ASSERT_TRUE(music->Start());
    }
    void TearDown() override {
        music.Reset();
        main.Reset();
        CPManagedObject::CollectGarbage();
    }
    // The "stop_music" commands "main" got since the last call.
    std::vector<std::string> StopMusic() {
        std::vector<std::string> got;
        while (main->SetNextCommand()) {
            const CPCommand* c = main->GetCurrentCommand();
            if (c->name == "stop_music") got.push_back(c->params.empty() ? "" : c->params[0]);
        }
        return got;
    }
    ScriptHarness::GameRoot root{""};
    CPScriptManager scripts;
    CPRefPtr<CPLuaScript> main;
    CPRefPtr<CPMusic> music;
};

TEST_F(MusicTest, StatesAgainstTheNullDevice) {
    Platform::NullAudioDevice device;
    device.Open(22050);
    music->SetDevice(&device);
    // Missing, a folder, not audio: nothing loads and nothing is ever reported.
    for (const char* bad : {"missing.ogg", "folder.wav"}) {
        EXPECT_EQ(music->LoadTrack(bad, false), E_FAIL) << bad;
        EXPECT_FALSE(music->IsLoaded());
        music->Update();
        EXPECT_EQ(StopMusic().size(), 0u);
    }
    // Loaded once but never started: finished at the next Update.
    ASSERT_EQ(music->LoadTrack("short.wav", false), S_OK); // found whatever its case
    EXPECT_EQ(music->GetTrackName(), "short.wav");
    music->Update();
    EXPECT_EQ(StopMusic(), std::vector<std::string>{"short.wav"});
    // Played once: reported once, at the first Update after its end.
    music->LoadTrack("short.wav", false);
    music->Start();
    Platform::NullAudioDevice::Stream* stream = device.LastStream();
    ASSERT_TRUE(stream && stream->IsRunning());
    music->Update();
    EXPECT_EQ(StopMusic().size(), 0u);
    stream->Complete();
    music->Update();
    EXPECT_EQ(StopMusic(), std::vector<std::string>{"short.wav"});
    music->Update();
    EXPECT_EQ(StopMusic().size(), 0u);
    // Looping: runs from the next Update, runs again when it ends, never reports.
    music->LoadTrack("short.wav", true);
    EXPECT_FALSE(stream->IsRunning());
    music->Update();
    EXPECT_TRUE(stream->IsRunning());
    stream->Complete();
    music->Update();
    EXPECT_TRUE(stream->IsRunning());
    EXPECT_EQ(StopMusic().size(), 0u);
    // Volume on the sounds' curve; Stop ends it for good.
    music->SetVolume(0.0f);
    EXPECT_NEAR(stream->gain, std::pow(10.0f, -3.5f), 1e-6);
    music->SetVolume(1.0f);
    EXPECT_NEAR(stream->gain, 1.0f, 1e-6);
    music->Stop();
    EXPECT_FALSE(stream->IsRunning());
    music->Update();
    EXPECT_FALSE(stream->IsRunning());
    EXPECT_EQ(StopMusic().size(), 0u);
}

TEST_F(MusicTest, ALoopThatEndsBetweenTheTwoLooksRestartsOnce) {
    // The refill thread may end the track at any moment of Update: it restarts once for one end.
    Platform::NullAudioDevice device;
    device.Open(22050);
    music->SetDevice(&device);
    ASSERT_EQ(music->LoadTrack("short.wav", true), S_OK);
    music->Update();
    Platform::NullAudioDevice::Stream* stream = device.LastStream();
    ASSERT_TRUE(stream && stream->IsRunning());
    stream->completeAfterNextTake = true;
    device.calls.clear();
    for (int turn = 0; turn < 3; ++turn) music->Update();
    EXPECT_EQ(std::count(device.calls.begin(), device.calls.end(), "music run"), 1);
    EXPECT_TRUE(stream->IsRunning());
}

class LoopbackMusicTest : public MusicTest {
protected:
    void SetUp() override {
        MusicTest::SetUp();
        ASSERT_TRUE(device.Open(22050));
        music->SetDevice(&device);
        music->SetVolume(1.0f);
    }
    // Plays `seconds` of the mix, refilling between blocks as the music thread would; the RMS.
    double Play(double seconds) {
        std::vector<float> all;
        const int block = 1024;
        for (int done = 0; done < seconds * 22050; done += block) {
            std::vector<float> out(block * 2);
            music->Update();
            device.Render(out.data(), block);
            if (Platform::MusicStream* stream = music->GetStream()) stream->Refill();
            all.insert(all.end(), out.begin(), out.end());
        }
        last = all;
        return Rms(all);
    }
    Platform::OpenAlAudioDevice device{{true, false}};
    std::vector<float> last;
};

TEST_F(LoopbackMusicTest, TracksAreHeardAndEndAsTheyShould) {
    EXPECT_EQ(music->LoadTrack("text.ogg", false), E_FAIL);
    // Played once: heard at once, one "stop_music" after its half second.
    ASSERT_EQ(music->LoadTrack("short.wav", false), S_OK);
    music->Start();
    EXPECT_GT(Play(0.25), 0.1);
    EXPECT_NEAR(Frequency(Channel(last, 0), 22050), 440.0, 3.0);
    EXPECT_EQ(StopMusic().size(), 0u);
    Play(0.6);
    EXPECT_EQ(StopMusic(), std::vector<std::string>{"short.wav"});
    EXPECT_EQ(Play(0.2), 0.0);
    EXPECT_EQ(StopMusic().size(), 0u);

    // Looping: still heard past twice its length, never reported.
    music->LoadTrack("short.wav", true);
    EXPECT_GT(Play(1.2), 0.1);
    EXPECT_GT(Play(0.2), 0.1);
    EXPECT_EQ(StopMusic().size(), 0u);
    // A new track silences the old at once: only the new one's frequency is heard.
    music->LoadTrack("other.wav", false);
    music->Start();
    Play(0.1);
    EXPECT_NEAR(Frequency(Channel(last, 0), 22050), 660.0, 3.0);
}

} // namespace
