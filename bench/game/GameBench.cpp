// The whole game on real GL (SDL offscreen, 1024 x 768), timed from inside by a probe task that runs
// after the renderer in every turn. One line per scene:
//   scene=<name> ours_ms=<median> [p95_ms=<p95>] budget_ms=<b> ratio=<ours/budget>
// startup_to_race: CPApplication::Run to the first race frame presented; the root's script starts
//                  the race at once.
// race_frame: one frame of the demo race (the car driven with the throttle held) over 60 s of it,
//             with the demo's settings; race_frame_bloom_blur the same with "bloom" and "blur" on.
// memory: the peak resident set of the process, in MB (ours_mb, budget_mb).
// The demo root is made in a temporary folder with mkdata and mklevel. `--smoke` races a few seconds
// and makes no timing claims.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Application/PApplication.h"
#include "Application/SdlPlatform.h"
#include "Core/PGlobalTimer.h"
#include "Core/PKernel.h"
#include "Core/PPath.h"
#include "Core/PScriptRegistry.h"
#include "Core/PSettings.h"
#include "Core/PTask.h"
#include "Core/TaskPriorities.h"
#include "DemoRootSupport.h"
#include "Platform/SdlInjection.h"
#include "Race/PLevel.h"
#include "Race/PPlayer.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kUp = 0xC8;
constexpr float kFrameDt = 1.0f / 60.0f;

// The race starts in the script's first turn; the probe is added by it too.
constexpr const char* kMainScript = R"(StartProbe()
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

struct Measure {
    Clock::time_point runStart;
    double startupMs = -1.0;
    int raceFrames = 0; // frames to time
    std::vector<double> frameMs;
    Clock::time_point last;
    float startX = 0.0f;
    bool drove = false;
};
Measure* g_measure = nullptr;

// Runs after the renderer: the frame of this turn has been presented.
class ProbeTask : public CPTask {
public:
    ProbeTask() { priority_ = TaskPriority::Render + 1; }
    void Update() override {
        Measure& m = *g_measure;
        const Clock::time_point now = Clock::now();
        const CPLevel* level = GetLevel();
        const bool racing = level && level->GetPlayerCar() && !level->IsStopped();
        if (!racing) return;
        if (m.startupMs < 0) {
            m.startupMs = std::chrono::duration<double, std::milli>(now - m.runStart).count();
            m.startX = level->GetPlayerCar()->GetPosition().x;
            Platform::InjectKey(kUp, true);
        } else {
            m.frameMs.push_back(std::chrono::duration<double, std::milli>(now - m.last).count());
            if (level->GetPlayerCar()->GetPosition().x > m.startX + 1.0f) m.drove = true;
        }
        m.last = now;
        if (static_cast<int>(m.frameMs.size()) >= m.raceFrames) GetKernel()->KillAllTasks();
    }
    int GetTaskKind() const override { return KindSystem; }
    int GetObjectSize() const override { return sizeof(*this); }
    const char* GetTypeName() const override { return "GameBenchProbe"; }
};

int StartProbe(lua_State*) {
    GetKernel()->AddTask(CPRefPtr<CPTask>(new ProbeTask));
    return 0;
}

double Percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<size_t>(p * static_cast<double>(values.size())))];
}

// The demo root with the bench's main script.
bool MakeRoot(const fs::path& root) {
    if (const std::string error = DemoRootSupport::MakeDemoRoot(root); !error.empty()) {
        std::fprintf(stderr, "  %s\n", error.c_str());
        return false;
    }
    std::ofstream(root / "Data/Scripts/main.lua") << kMainScript;
    return true;
}

// One run of the application on the root; the frames it timed.
bool RunGame(const fs::path& root, bool bloomAndBlur, int frames, Measure& m) {
    fs::copy_file(fs::path(VASTREL_SOURCE_DIR) / "data/config.cfg", root / "config.cfg",
                  fs::copy_options::overwrite_existing);
    if (bloomAndBlur) std::ofstream(root / "config.cfg", std::ios::app) << "bloom = 1\r\nblur = 1\r\n";
    fs::current_path(root);
    InvalidatePathCache();
    CPSettingsManager::ResetDefaults();
    AppActive = true;

    ApplicationPlatform platform = SdlApplicationPlatform();
    platform.startButton = Platform::ControlStartWindowed;
    m = Measure{};
    m.raceFrames = frames;
    g_measure = &m;
    m.runStart = Clock::now();
    RunResult result;
    {
        CPApplication application(platform);
        result = application.Run();
    }
    CPManagedObject::CollectGarbage();
    g_measure = nullptr;
    if (result != RunResult::Finished || m.startupMs < 0) {
        std::fprintf(stderr, "  the race did not start (run result %d)\n", static_cast<int>(result));
        return false;
    }
    return true;
}

void PrintScene(const char* name, const std::vector<double>& ms, double budget) {
    const double median = Percentile(ms, 0.5);
    std::printf("scene=%s ours_ms=%.2f p95_ms=%.2f budget_ms=%.1f ratio=%.2f\n", name, median, Percentile(ms, 0.95),
                budget, median / budget);
}

} // namespace

int main(int argc, char** argv) {
    bool smoke = false;
    for (int i = 1; i < argc; ++i) smoke = smoke || std::strcmp(argv[i], "--smoke") == 0;
    // Real GL on no screen, no sound card, no shell; the frame clock at a fixed step, so that 60 s
    // of race are the same 3,600 frames however long each takes to draw.
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("ALSOFT_DRIVERS", "null", 0);
    setenv("VASTREL_SHELL", "off", 1);
    setenv("VASTREL_FRAME_DT", "0.0166667", 1);

    char pattern[] = "/tmp/vastrel-bench-XXXXXX";
    if (!mkdtemp(pattern)) return 1;
    const fs::path root = pattern;
    const fs::path previous = fs::current_path();
    int failures = 0;
    if (!MakeRoot(root)) {
        std::fprintf(stderr, "  the demo root could not be made\n");
        failures = 1;
    } else {
        static const ScriptFunctionEntry probe[] = {{"StartProbe", StartProbe}};
        RegisterScriptTable(ScriptTable::Library, probe);
        const int frames = smoke ? 60 : static_cast<int>(60.0f / kFrameDt);
        Measure demo, effects;
        if (RunGame(root, false, frames, demo)) {
            std::printf("scene=startup_to_race ours_ms=%.1f budget_ms=2000.0 ratio=%.2f\n", demo.startupMs,
                        demo.startupMs / 2000.0);
            PrintScene("race_frame", demo.frameMs, 16.7);
            // The smoke run ends within the race's countdown.
            if (!smoke && !demo.drove) {
                std::fprintf(stderr, "  race_frame: the car did not drive\n");
                ++failures;
            }
        } else {
            ++failures;
        }
        if (RunGame(root, true, frames, effects)) PrintScene("race_frame_bloom_blur", effects.frameMs, 16.7);
        else ++failures;
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        const double peakMb = static_cast<double>(usage.ru_maxrss) / 1024.0;
        std::printf("scene=memory ours_mb=%.1f budget_mb=256.0 ratio=%.2f\n", peakMb, peakMb / 256.0);
    }
    fs::current_path(previous);
    std::error_code ignored;
    fs::remove_all(root, ignored);
    return failures ? 1 : 0;
}
