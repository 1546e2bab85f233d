// The race frame drawn the quick way (fixed-function programs made for the states of each draw) is
// the picture the frame drew before (one general fixed-function program): the same race at the same
// fixed time and seed, both ways, read back at the same turn. And the renderer's light factor (the
// gloom's) reaches the level's lit solids: the same frame at three factors. Each is drawn in a
// process of its own, as the program draws one race a run. The game started a second time in one
// process draws that race as the first start did.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Core/PKernel.h"
#include "Core/PScriptRegistry.h"
#include "Core/PSettings.h"
#include "Platform/GlDevice.h"
#include "Platform/SdlInjection.h"
#include "ProgramHarness.h"
#include "Race/PLevel.h"
#include "Race/PPlayer.h"
#include "Render/PBloom.h"
#include "Render/PRender.h"
#include "RenderGL/PngWriter.h"
#include "ScriptHarness.h"

namespace {

constexpr int kUp = 0xC8;
// Two seconds into the race with the throttle held: the car is under way, so the speed blur smears.
constexpr int kShotTurn = 120;

// The light factor is the demo race's unless a test sets another.
constexpr const char* kMainScript = R"(StartFrameShot()
SetLightCoeff(%LIGHT%)
SetPlayerName("coupe_t")
InitPlayer()
InitLevel("level1")
InitSky()
StartLevel()
SetLevelStarted(true)
SetUpdateTime(true)
while true do
    while SetNextCommand(globalObject) do end
    Update()
end
)";

struct Shot {
    std::vector<uint32_t> pixels;
    int width = 0, height = 0;
    float blur = 0.0f; // the speed blur's factor in the frame read back
};
Shot* g_shot = nullptr;
int g_turn = 0;

int StartFrameShot(lua_State*) {
    g_turn = 0;
    GetKernel()->AddTask(CPRefPtr<CPTask>(new ScriptHarness::ProbeTask(11000, [] {
        ++g_turn;
        if (g_turn == 2) Platform::InjectKey(kUp, true);
        if (g_turn < kShotTurn) return;
        // After the renderer: the frame of this turn is in the back buffer.
        CPRender* render = GetRender();
        if (render && render->GetDevice())
            render->GetDevice()->ReadBackBuffer(g_shot->pixels, g_shot->width, g_shot->height);
        g_shot->blur = ComputeSpeedBlur().factor;
        Platform::InjectKey(kUp, false);
        GetKernel()->KillAllTasks();
    })));
    return 0;
}

struct Race {
    bool before = false; // one general fixed-function program, the back buffer copied
    float light = 1.0f;  // the renderer's light factor
    bool post = true;    // the post passes and the speed blur
    bool lamps = true;   // level 1's lamp posts, whose point lights the factor does not scale
};

Shot DrawRace(const Race& race) {
    Shot shot;
    ScriptHarness::GameRoot root("");
    const std::filesystem::path level = root.Path() / "level1.txt";
    {
        std::ifstream in(ProgramHarness::kLevel1Text);
        std::ofstream out(level);
        for (std::string line; std::getline(in, line);)
            if (race.lamps || line.rfind("object lamp", 0) != 0) out << line << "\n";
    }
    EXPECT_TRUE(ProgramHarness::MakeDemoRoot(root.Path(), level));
    std::string script = kMainScript;
    script.replace(script.find("%LIGHT%"), 7, std::to_string(race.light));
    std::ofstream(root.Path() / "Data/Scripts/main.lua") << script;
    // The post passes at the demo's size, the speed blur with them, unless the race leaves them off.
    std::ofstream(root.Path() / "config.cfg", std::ios::app)
        << (race.post ? "bloom = 1\r\nblur = 1\r\n" : "bloom = 0\r\nblur = 0\r\n");
    const ScriptFunctionEntry probe[] = {{"StartFrameShot", StartFrameShot}};
    RegisterScriptTable(ScriptTable::Library, probe);
    CPSettingsManager::ResetDefaults();
    AppActive = true;
    setenv("VASTREL_FRAME_DT", "0.0166667", 1);
    Platform::GlFramePath path;
    if (race.before) path.fixedVariants = false;
    Platform::SetGlFramePath(path);
    CPBloom::SetCopyBackBuffer(race.before);
    CPBloom::SetBlurComposite(race.before);
    g_shot = &shot;
    const RunResult result = ProgramHarness::RunApplication(ProgramHarness::SdlPlatform(ProgramHarness::Device::Gl));
    g_shot = nullptr;
    Platform::SetGlFramePath({});
    CPBloom::SetCopyBackBuffer(false);
    CPBloom::SetBlurComposite(false);
    EXPECT_EQ(result, RunResult::Finished);
    return shot;
}

// The race drawn in a process of its own, as the program draws it once per run; the shot comes back
// through a file.
Shot DrawRaceAlone(const Race& race) {
    Shot shot;
    const std::filesystem::path file =
        std::filesystem::temp_directory_path() / ("vastrel-race-frame-" + std::to_string(getpid()) + ".raw");
    const pid_t pid = fork();
    if (pid == 0) {
        const Shot drawn = DrawRace(race);
        std::ofstream out(file, std::ios::binary);
        const int32_t head[3] = {drawn.width, drawn.height, 0};
        out.write(reinterpret_cast<const char*>(head), sizeof head);
        out.write(reinterpret_cast<const char*>(&drawn.blur), sizeof drawn.blur);
        out.write(reinterpret_cast<const char*>(drawn.pixels.data()),
                  static_cast<std::streamsize>(drawn.pixels.size() * sizeof(uint32_t)));
        out.close();
        _exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    EXPECT_GT(pid, 0);
    if (pid <= 0) return shot;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the race was not drawn (status " << status << ")";
    std::ifstream in(file, std::ios::binary);
    int32_t head[3] = {};
    in.read(reinterpret_cast<char*>(head), sizeof head);
    in.read(reinterpret_cast<char*>(&shot.blur), sizeof shot.blur);
    shot.width = head[0];
    shot.height = head[1];
    if (in && shot.width > 0 && shot.height > 0) {
        shot.pixels.resize(static_cast<size_t>(shot.width) * static_cast<size_t>(shot.height));
        in.read(reinterpret_cast<char*>(shot.pixels.data()),
                static_cast<std::streamsize>(shot.pixels.size() * sizeof(uint32_t)));
        if (!in) shot.pixels.clear();
    }
    in.close();
    std::filesystem::remove(file);
    return shot;
}

int Channel(uint32_t pixel, int shift) { return static_cast<int>((pixel >> shift) & 0xFF); }

// The pixels of `after` with a channel more than 1/255 from `before`'s; the first few are named.
int PixelsOff(const Shot& before, const Shot& after) {
    int off = 0;
    for (size_t i = 0; i < before.pixels.size() && i < after.pixels.size(); ++i) {
        for (int shift : {16, 8, 0}) {
            if (std::abs(Channel(before.pixels[i], shift) - Channel(after.pixels[i], shift)) <= 1) continue;
            if (++off <= 5)
                ADD_FAILURE() << "pixel (" << i % 1024 << ", " << i / 1024 << ") channel " << shift / 8 << ": before "
                              << Channel(before.pixels[i], shift) << ", after " << Channel(after.pixels[i], shift);
            break;
        }
    }
    return off;
}

TEST(RaceFramePixelsTest, TheQuickFrameDrawsThePictureTheCopyingFrameDrew) {
    if (!ProgramHarness::Offscreen()) GTEST_SKIP() << "needs SDL_VIDEODRIVER=offscreen";
    const Shot before = DrawRaceAlone({.before = true});
    const Shot after = DrawRaceAlone({});
    // For a look at the two frames.
    const std::filesystem::path out = std::filesystem::path(VASTREL_BINARY_DIR) / "test-output";
    std::filesystem::create_directories(out);
    PngWriter::Write(out / "race-frame-before.png", before.pixels, before.width, before.height);
    PngWriter::Write(out / "race-frame-after.png", after.pixels, after.width, after.height);
    ASSERT_EQ(before.width, 1024);
    ASSERT_EQ(before.height, 768);
    ASSERT_EQ(after.width, before.width);
    ASSERT_EQ(after.height, before.height);
    ASSERT_EQ(after.pixels.size(), before.pixels.size());
    // The frame shows a race under way: the blur smears, and the picture is no flat colour.
    EXPECT_GT(before.blur, 0.0f);
    EXPECT_EQ(after.blur, before.blur);
    int darkest = 255, brightest = 0;
    for (uint32_t p : before.pixels) {
        const int luma = Channel(p, 16) + Channel(p, 8) + Channel(p, 0);
        darkest = std::min(darkest, luma / 3);
        brightest = std::max(brightest, luma / 3);
    }
    EXPECT_GT(brightest - darkest, 64);

    EXPECT_EQ(PixelsOff(before, after), 0) << "pixels that differ by more than 1/255";
}

TEST(RaceFramePixelsTest, TheGameStartedAgainInOneProcessDrawsTheRaceTheFirstStartDrew) {
    if (!ProgramHarness::Offscreen()) GTEST_SKIP() << "needs SDL_VIDEODRIVER=offscreen";
    const Shot first = DrawRace({});
    const Shot second = DrawRace({});
    const std::filesystem::path out = std::filesystem::path(VASTREL_BINARY_DIR) / "test-output";
    std::filesystem::create_directories(out);
    PngWriter::Write(out / "race-frame-second-start.png", second.pixels, second.width, second.height);
    ASSERT_EQ(first.width, 1024);
    ASSERT_EQ(first.height, 768);
    ASSERT_EQ(second.pixels.size(), first.pixels.size());
    EXPECT_GT(first.blur, 0.0f);
    EXPECT_EQ(second.blur, first.blur);
    EXPECT_EQ(PixelsOff(first, second), 0) << "pixels that differ by more than 1/255";
}

TEST(RaceFramePixelsTest, TheLevelsLitSolidsFollowTheLightFactor) {
    if (!ProgramHarness::Offscreen()) GTEST_SKIP() << "needs SDL_VIDEODRIVER=offscreen";
    // The post passes off and no lamp posts: the lit solids give texture x (ambient x k + sun x k x
    // N.L), and what is drawn over them or beside them (the sky, the panel, smoke, fog) adds what
    // k does not reach, so the frame is affine in k: equal steps of k make equal steps of each
    // channel, within the rounding of the blended layers (up to 6/255 where smoke puffs lie one over
    // another).
    const float factors[3] = {0.5f, 0.25f, 0.0f};
    Shot shots[3];
    for (int i = 0; i < 3; ++i) shots[i] = DrawRaceAlone({.light = factors[i], .post = false, .lamps = false});
    const std::filesystem::path out = std::filesystem::path(VASTREL_BINARY_DIR) / "test-output";
    PngWriter::Write(out / "race-frame-light-0.5.png", shots[0].pixels, shots[0].width, shots[0].height);
    PngWriter::Write(out / "race-frame-light-0.25.png", shots[1].pixels, shots[1].width, shots[1].height);
    PngWriter::Write(out / "race-frame-light-0.png", shots[2].pixels, shots[2].width, shots[2].height);
    for (const Shot& shot : shots) {
        ASSERT_EQ(shot.width, 1024);
        ASSERT_EQ(shot.height, 768);
        ASSERT_EQ(shot.pixels.size(), shots[0].pixels.size());
    }
    int dimmed = 0, off = 0;
    for (size_t i = 0; i < shots[0].pixels.size(); ++i) {
        bool lit = false;
        for (int shift : {16, 8, 0}) {
            const int high = Channel(shots[0].pixels[i], shift), mid = Channel(shots[1].pixels[i], shift),
                      low = Channel(shots[2].pixels[i], shift);
            if (high - low >= 16) lit = true;
            if (std::abs((high - mid) - (mid - low)) <= 6) continue;
            if (++off <= 5)
                ADD_FAILURE() << "pixel (" << i % 1024 << ", " << i / 1024 << ") channel " << shift / 8 << ": " << high
                              << ", " << mid << ", " << low << " at factors 0.5, 0.25, 0";
            break;
        }
        if (lit) ++dimmed;
    }
    EXPECT_EQ(off, 0) << "pixels whose steps differ by more than 6/255";
    // The road, the fields, the hills and the car fill most of the frame below the sky.
    EXPECT_GT(dimmed, static_cast<int>(shots[0].pixels.size() / 3));
}

} // namespace
