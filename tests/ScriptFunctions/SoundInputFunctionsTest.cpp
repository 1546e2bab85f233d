// The sound, music, options and input functions called from a fixture script, seen through the
// null audio device, the input system's state and the recording shell.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include <lua.hpp>

#include "Core/PGlobalTimer.h"
#include "Core/PPath.h"
#include "Core/PScriptRegistry.h"
#include "Core/PSettings.h"
#include "Input/NInput.h"
#include "Platform/Shell.h"
#include "ScriptFunctions/OptionsFunctions.h"
#include "ScriptFunctions/ScriptFunctions.h"
#include "ScriptHarness.h"
#include "Sound/NAudio.h"
#include "Sound/PMusic.h"
#include "Sound/SoundTestSupport.h"

namespace {

TEST(SoundInputFunctionsTest, EveryFunctionFromAScript) {
    ScriptHarness::GameRoot root("soundinput");
    std::filesystem::create_directories("Data/Music");
    ASSERT_TRUE(SoundTest::WriteTone("Data/Sounds/horn.wav", 440, 0.5));
    ASSERT_TRUE(SoundTest::WriteTone("Data/Sounds/engine.wav", 110, 0.5));
    ASSERT_TRUE(SoundTest::WriteTone("Data/Music/short.wav", 440, 0.5));
    CPSettingsManager::ResetDefaults();
    RegisterAllScriptFunctions();

    Platform::NullAudioDevice device;
    CPRefPtr<CPMusic> music(new CPMusic);
    CNSoundCache cache;
    CNAudio audio;
    audio.SetDevice(&device);
    ASSERT_EQ(audio.Init(nullptr), S_OK);
    CPRefPtr<CNInput> input(new CNInput);
    ASSERT_TRUE(input->Start());
    Platform::RecordingShell shell;
    SetScriptShell(&shell);
    FrameDelta = 0.5f;

    lua_State* L = luaL_newstate();
    luaL_openlibs(L);
    RegisterScriptFunctions(L);
    ASSERT_EQ(luaL_dofile(L, "calls.lua"), 0) << lua_tostring(L, -1);
    lua_close(L);
    SetScriptShell(nullptr);

    const std::vector<std::string> expected = {
        "required raised",
        "required3d raised",
        "horn true",
        "horn-stopped false",
        "unknown false 0",
        "3d-number-loop true",
        "3d-keep-playing false",
        "3d-keep-stopped true",
        "3d-unknown true",
        "velocity-two see engine",
        "after-stop-sounds false",
        "music Short.wav",
        "music-loop short.wav",
        "sound-volume 2",
        "music-volume 0.25",
        "mouse 1.5",
        "brightness 0.5",
        "actions 3 3 3 Space Fire 5 Slot",
        "other 1 F Fire again",
        "exists true false false",
        "gourl-required raised",
        "savelog 0",
        "SetDefaultCamera 0",
        "SetBrightness 0",
        "DumpAIInfo 0",
        "PlayVideo 0",
        "PlayVideoNoSound 0",
        "PlayVideo1 0",
        "StopVideo 0",
        "StopVideo1 0",
    };
    EXPECT_EQ(root.ReadLines("results.txt"), expected);

    // The 3D sound: placed at (7, 8, 9) with no velocity (only two numbers were given), looping
    // since the keepPlaying call; the non-finite place never reached the device; all stopped.
    const auto* engine = device.GetVoice(audio.GetSound("engine")->GetVoice());
    ASSERT_TRUE(engine);
    EXPECT_EQ(engine->position[0], 7.0f);
    EXPECT_EQ(engine->position[2], 9.0f);
    EXPECT_EQ(engine->velocity[0], 0.0f);
    EXPECT_TRUE(engine->loop);
    EXPECT_FALSE(engine->playing);
    // The number 1 as loop played it once.
    bool sawOnce = false;
    for (const std::string& call : device.calls)
        if (call == "voice " + std::to_string(audio.GetSound("engine")->GetVoice()) + " play loop=0") sawOnce = true;
    EXPECT_TRUE(sawOnce);
    // Volumes: stored unclamped, applied clamped.
    EXPECT_EQ(g_soundVolume, 2.0f);
    EXPECT_NEAR(device.GetVoice(audio.GetSound("horn")->GetVoice())->gain, 1.0f, 1e-6);
    EXPECT_EQ(g_musicVolume, 0.25f);
    ASSERT_TRUE(device.LastStream());
    EXPECT_NEAR(device.LastStream()->gain,
                std::pow(10.0f, static_cast<float>(CNSound::VolumeToMillibels(0.25f)) / 2000), 1e-6);
    // The looping track waits for the music task's next turn.
    EXPECT_TRUE(music->IsLoaded());
    EXPECT_TRUE(music->IsLooping());
    EXPECT_FALSE(device.LastStream()->IsRunning());
    // Bindings: SaveActions wrote the rebinding, UpdateActions read it back, LoadActions another file.
    EXPECT_FALSE(input->actionsEnabled);
    EXPECT_TRUE(input->keyAssignMode);
    EXPECT_EQ(FrameDelta, 0.0f);
    EXPECT_EQ(root.ReadFile("Actions.cfg"), "fire;Fire;W;false\r\nmenu;Menu;Esc;false\r\nx;Slot;5;true\r\n");
    EXPECT_EQ(input->GetKeyBinding(0x21).text, "fire"); // F, from Other.cfg
    // GoURL opened the page and the web shortcut that exist, by their names on disk, and nothing
    // the desktop might run.
    ASSERT_EQ(shell.calls.size(), 2u);
    EXPECT_EQ(shell.calls[0].verb, "open");
    EXPECT_EQ(shell.calls[0].target, "page.html");
    EXPECT_EQ(shell.calls[1].verb, "open");
    EXPECT_EQ(shell.calls[1].target, "web.url");

    input.Reset();
    music.Reset();
    audio.GetSounds().Clear();
    CPManagedObject::CollectGarbage();
    CPSettingsManager::ResetDefaults();
}

// PlaySpecialSound starts a playing sound again from its start; PlaySpecialSound2 lets it go on
// where it is. Neither rewinds a sound that is not playing.
TEST(SoundInputFunctionsTest, PlaySpecialSoundRestartsAPlayingSoundAndPlaySpecialSound2DoesNot) {
    ScriptHarness::GameRoot root("soundinput");
    ASSERT_TRUE(SoundTest::WriteTone("Data/Sounds/horn.wav", 440, 0.5));
    ASSERT_TRUE(SoundTest::WriteTone("Data/Sounds/engine.wav", 110, 0.5));
    CPSettingsManager::ResetDefaults();
    RegisterAllScriptFunctions();
    Platform::NullAudioDevice device;
    CNSoundCache cache;
    CNAudio audio;
    audio.SetDevice(&device);
    ASSERT_EQ(audio.Init(nullptr), S_OK);
    const std::string voice = "voice " + std::to_string(audio.GetSound("horn")->GetVoice()) + " ";

    lua_State* L = luaL_newstate();
    RegisterScriptFunctions(L);
    struct Case {
        const char* before; // leaves the horn playing or stopped midway
        const char* call;
        std::vector<std::string> calls; // what reached the horn's voice, in order
    };
    const Case cases[] = {
        {"PlaySpecialSound('horn')", "PlaySpecialSound('horn')", {"pause", "rewind", "play loop=0"}},
        {"PlaySpecialSound('horn')", "PlaySpecialSound2('horn')", {"play loop=0"}},
        {"PlaySpecialSound('horn') StopSpecialSound('horn')", "PlaySpecialSound('horn')", {"play loop=0"}},
        {"PlaySpecialSound('horn') StopSpecialSound('horn')", "PlaySpecialSound2('horn')", {"play loop=0"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.before) + "; " + c.call);
        ASSERT_EQ(luaL_dostring(L, c.before), 0) << lua_tostring(L, -1);
        device.calls.clear();
        ASSERT_EQ(luaL_dostring(L, c.call), 0) << lua_tostring(L, -1);
        std::vector<std::string> seen;
        for (const std::string& call : device.calls) {
            if (call.rfind(voice, 0) != 0) continue;
            const std::string what = call.substr(voice.size());
            if (what == "pause" || what == "rewind" || what.rfind("play", 0) == 0) seen.push_back(what);
        }
        EXPECT_EQ(seen, c.calls);
        EXPECT_TRUE(audio.GetSound("horn")->IsPlaying());
        ASSERT_EQ(luaL_dostring(L, "StopSpecialSound('horn')"), 0);
    }
    lua_close(L);
    audio.GetSounds().Clear();
    CPManagedObject::CollectGarbage();
}

} // namespace
