// The whole game on real GL (SDL offscreen, 1024 x 768), timed from inside by a probe task that runs
// after the renderer in every turn. One line per scene:
//   scene=<name> ours_ms=<median> [p95_ms=<p95>] budget_ms=<b> ratio=<ours/budget>
// startup_to_race: CPApplication::Run to the first race frame presented; the root's script starts
//                  the race at once.
// race_frame: one frame of the demo race (the car driven with the throttle held) over 60 s of it,
//             with the demo's settings; race_frame_bloom_blur the same with "bloom" and "blur" on.
// race_frame_floor: what the device needs at the least for as many pixels as the race frame fills:
//             on the same context, right after the race's frames, one full-screen quad of one texture
//             (the simplest program, no depth, no blending) per screen the frame fills, then the
//             present. The fills are counted in the frame: the sky dome and the scene one each, the
//             post passes' quads and copies by their area, the present. race_frame then prints
//             floor_ms and ratio_floor (ours / floor) beside its budget ratio.
// menu_frame, menu_frame_floor: the same for the menu (the showroom behind the menu screen, bloom on),
//             the demo's own scripts running.
// memory: the peak resident set of the largest scene's process, in MB (ours_mb, budget_mb); each
//         scene runs in a process of its own.
// The demo root is made in a temporary folder with mkdata and mklevel. `--smoke` races a few seconds
// and makes no timing claims; `--frames=N` times N frames of each scene instead of 3,600;
// `--race-only` leaves out the other scenes.
// `--passes` times the race frame and the menu frame piece by piece instead (600 frames each unless
// `--frames` says otherwise): the device finishes its work before and after each piece, so the
// frame runs slower than in the lines above, and each piece's time is its own. One line a piece:
//   scene=<frame>/<piece> ours_ms=<median> fills=<screens> floor_ms=<fills x one quad> ratio=<ours/floor>
//       draws= primitives= depth= blend= programs= textures= copies=
// (per frame: draws, triangles, draws with the depth test, draws blended, draws with an effect's
// program, textures bound over the draws, back-buffer copies), then the sum of the pieces, and the
// floor's own line: one full-screen quad of the simplest program, one copy of the back buffer into
// a target and one present, each timed alone. The pieces: clear, sky, scene (the layers below the
// speed blur), blur_copy, blur, blur_composite (the speed blur; #2 the second in the frame),
// layers_119 (the layers between the two blurs), bloom_copy, bloom, bloom2, bloom_composite, noise,
// layers_195 (the screens' layers and the showroom), overlay (the fade) and present.
// The levers of the frame, to measure each:
// `--no-fixed-variants` (one general fixed-function program, as before), `--blur-composite` (the
// speed blur drawn into a target and laid over the screen, as before), `--sample-back-buffer`
// (the speed blur samples the back buffer instead of copying it; not the default, since the back
// buffer drawn turned over changes a few pixels by 2/255) and `--copy-back-buffer` (copies all the
// same).
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
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
#include "Platform/Device.h"
#include "Platform/GlDevice.h"
#include "Platform/SdlInjection.h"
#include "Race/PLevel.h"
#include "Race/PPlayer.h"
#include "Render/PRender.h"

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

double Percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<size_t>(p * static_cast<double>(values.size())))];
}

// The full-screen fills of one frame, in screens' worth of pixels.
struct Fills {
    double sky = 0, scene = 0, post = 0, copies = 0, present = 1;
    double Total() const { return sky + scene + post + copies + present; }
};

// One full-screen quad, one copy and one present, each timed alone.
struct FillFloor {
    double quadMs = 0, copyMs = 0, presentMs = 0;
};

struct Measure {
    Clock::time_point runStart;
    double startupMs = -1.0;
    int raceFrames = 0; // frames to time
    int floorFrames = 0;
    bool menu = false; // time the menu's frames from the first turn on, instead of the race's
    int skip = 0;      // menu turns left before the timing starts
    std::vector<double> frameMs;
    std::vector<double> floorMs;
    Fills fills;
    bool passes = false; // time the frame piece by piece
    FillFloor fillFloor;
    Clock::time_point last;
    float startX = 0.0f;
    bool drove = false;
};
Measure* g_measure = nullptr;

// The frame's pieces as the renderer marks them, each timed between two finishes of the device.
struct Piece {
    std::string name;
    std::vector<double> ms;
    Platform::DrawCounts counts; // of the last frame
};
struct PassTimer {
    bool active = false;
    std::vector<Piece> pieces; // in the order first met
    std::string current;       // the piece under way; empty between frames
    std::vector<std::string> met;
    Clock::time_point since;
    int frames = 0;
};
PassTimer* g_passTimer = nullptr;

void MarkPass(const char* pass) {
    PassTimer* t = g_passTimer;
    CPRender* render = GetRender();
    if (!t || !t->active || !render || !render->GetDevice()) return;
    const Platform::DrawCounts counts = render->GetDevice()->Finish();
    const Clock::time_point now = Clock::now();
    if (!t->current.empty()) {
        auto it =
            std::find_if(t->pieces.begin(), t->pieces.end(), [&](const Piece& p) { return p.name == t->current; });
        if (it == t->pieces.end()) it = t->pieces.insert(t->pieces.end(), Piece{t->current, {}, {}});
        it->ms.push_back(std::chrono::duration<double, std::milli>(now - t->since).count());
        it->counts = counts;
    }
    if (std::strcmp(pass, "end") == 0) {
        t->current.clear();
        t->met.clear();
        ++t->frames;
    } else {
        // A piece met again in one frame (the second speed blur) is a piece of its own.
        std::string name = pass;
        const long again = std::count(t->met.begin(), t->met.end(), name);
        t->met.push_back(name);
        if (again > 0) name += "#" + std::to_string(again + 1);
        t->current = name;
    }
    t->since = Clock::now();
}

// The simplest program that shows one texture on a screen quad.
constexpr const char* kFloorVertex = R"(
layout(location = 0) in vec4 aPosition;
layout(location = 4) in vec2 aTex0;
out vec2 uv;
void main() {
    uv = aTex0;
    gl_Position = VsScreenToClip(aPosition);
}
)";
constexpr const char* kFloorFragment = R"(
uniform sampler2D source;
in vec2 uv;
out vec4 outColor;
void main() { outColor = texture(source, uv); }
)";

// The floor's one quad over the whole back buffer, and the device set to draw it: the simplest
// program sampling the source (a cleared colour), no depth, no blending.
struct FloorQuad {
    ScreenVertex v[4];
};
FloorQuad PrepareFloor(Platform::Device& d, Platform::Texture& source, Platform::Program& program) {
    using namespace Platform;
    const PresentParameters& p = d.GetPresentParameters();
    d.SetRenderTarget(&source);
    d.Clear(ClearTarget, 0xFF406080u, 1.0f, 0);
    d.SetRenderTarget(nullptr);
    for (int s = 0; s < kMaxStages; ++s) d.SetTexture(s, nullptr);
    d.SetRenderState(RenderState::ZEnable, 0);
    d.SetRenderState(RenderState::ZWriteEnable, 0);
    d.SetRenderState(RenderState::AlphaBlendEnable, 0);
    d.SetRenderState(RenderState::CullMode, CullNone);
    d.SetSamplerState(0, SamplerState::MinFilter, FilterLinear);
    d.SetSamplerState(0, SamplerState::MagFilter, FilterLinear);
    d.SetSamplerState(0, SamplerState::AddressU, AddressClamp);
    d.SetSamplerState(0, SamplerState::AddressV, AddressClamp);
    d.SetFVF(kFvfScreen);
    program.SetTexture("source", &source);
    d.SetProgram(&program);
    const float w = static_cast<float>(p.BackBufferWidth), h = static_cast<float>(p.BackBufferHeight);
    return {{{w - 0.5f, -0.5f, 1, 1, 0xFFFFFFFFu, 1, 0},
             {w - 0.5f, h - 0.5f, 1, 1, 0xFFFFFFFFu, 1, 1},
             {-0.5f, -0.5f, 1, 1, 0xFFFFFFFFu, 0, 0},
             {-0.5f, h - 0.5f, 1, 1, 0xFFFFFFFFu, 0, 1}}};
}

// `frames` frames of `quads` full-screen quads each, on the device the game drew with; each frame
// cleared, drawn and presented as the game's are.
std::vector<double> MeasureFloor(Platform::Device& d, int quads, int frames) {
    using namespace Platform;
    std::vector<double> out;
    const PresentParameters& p = d.GetPresentParameters();
    std::unique_ptr<Texture> source;
    std::unique_ptr<Program> program;
    std::string errors;
    if (!DeviceOk(d.CreateRenderTarget(p.BackBufferWidth, p.BackBufferHeight, source)) ||
        !DeviceOk(d.CreateProgram(kFloorVertex, kFloorFragment, program, &errors))) {
        std::fprintf(stderr, "  the floor cannot be drawn: %s\n", errors.c_str());
        return out;
    }
    const FloorQuad quad = PrepareFloor(d, *source, *program);
    Clock::time_point last = Clock::now();
    // One frame more than timed: the first follows the game's last frame.
    for (int f = 0; f <= frames; ++f) {
        d.BeginScene();
        d.Clear(ClearTarget | ClearZBuffer, 0, 1.0f, 0);
        for (int q = 0; q < quads; ++q)
            d.DrawPrimitiveUP(PrimitiveType::TriangleStrip, 2, quad.v, sizeof(ScreenVertex));
        d.EndScene();
        d.Present();
        const Clock::time_point now = Clock::now();
        if (f > 0) out.push_back(std::chrono::duration<double, std::milli>(now - last).count());
        last = now;
    }
    d.SetProgram(nullptr);
    return out;
}

// One full-screen quad, one copy of the back buffer into a screen-sized target and one present,
// each timed alone between two finishes of the device: the floor of each piece of the frame.
FillFloor MeasureFillFloor(Platform::Device& d, int rounds) {
    using namespace Platform;
    FillFloor out;
    const PresentParameters& p = d.GetPresentParameters();
    std::unique_ptr<Texture> source, copy;
    std::unique_ptr<Program> program;
    if (!DeviceOk(d.CreateRenderTarget(p.BackBufferWidth, p.BackBufferHeight, source)) ||
        !DeviceOk(d.CreateRenderTarget(p.BackBufferWidth, p.BackBufferHeight, copy)) ||
        !DeviceOk(d.CreateProgram(kFloorVertex, kFloorFragment, program, nullptr)))
        return out;
    const FloorQuad quad = PrepareFloor(d, *source, *program);
    std::vector<double> quads, copies, presents;
    auto timed = [&](std::vector<double>& into, const std::function<void()>& what) {
        d.Finish();
        const Clock::time_point start = Clock::now();
        what();
        d.Finish();
        into.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    };
    for (int r = 0; r < rounds; ++r) {
        d.BeginScene();
        d.Clear(ClearTarget | ClearZBuffer, 0, 1.0f, 0);
        timed(quads, [&] { d.DrawPrimitiveUP(PrimitiveType::TriangleStrip, 2, quad.v, sizeof(ScreenVertex)); });
        timed(copies, [&] { d.StretchRect(nullptr, copy.get()); });
        d.EndScene();
        timed(presents, [&] { d.Present(); });
    }
    d.SetProgram(nullptr);
    out.quadMs = Percentile(quads, 0.5);
    out.copyMs = Percentile(copies, 0.5);
    out.presentMs = Percentile(presents, 0.5);
    return out;
}

// The full screens' worth of pixels a piece of the frame writes, as the floor counts them: the
// layers between and after the post passes are counted by none.
double PieceFills(const std::string& piece, const Platform::DrawCounts& counts) {
    const std::string name = piece.substr(0, piece.find('#'));
    const double small = static_cast<double>(CPBloom::kSmallWidth * CPBloom::kSmallHeight) /
                         (static_cast<double>(g_screenWidth) * g_screenHeight);
    // The menu has no sky and draws no layer below the speed blur.
    if (name == "sky" || name == "scene") return counts.draws > 0 ? 1.0 : 0.0;
    if (name == "blur_copy" || name == "blur" || name == "blur_composite" || name == "bloom_composite" ||
        name == "noise" || name == "present")
        return 1.0;
    if (name == "bloom_copy" || name == "bloom" || name == "bloom2") return small;
    if (name == "overlay") return counts.draws > 0 ? 1.0 : 0.0;
    return 0.0;
}

void PrintPieces(const char* frame, const PassTimer& t, const FillFloor& floor) {
    double ours = 0, floorSum = 0;
    for (const Piece& p : t.pieces) {
        const double median = Percentile(p.ms, 0.5);
        const double fills = PieceFills(p.name, p.counts);
        const double pieceFloor = p.name == "present" ? floor.presentMs : fills * floor.quadMs;
        ours += median;
        floorSum += pieceFloor;
        const Platform::DrawCounts& c = p.counts;
        std::printf("scene=%s/%s ours_ms=%.2f fills=%.2f floor_ms=%.2f ratio=%.2f draws=%d primitives=%lld depth=%d "
                    "blend=%d programs=%d textures=%d copies=%d\n",
                    frame, p.name.c_str(), median, fills, pieceFloor, pieceFloor > 0 ? median / pieceFloor : 0.0,
                    c.draws, static_cast<long long>(c.primitives), c.depthTested, c.blended, c.programs, c.textures,
                    c.copies);
    }
    std::printf("scene=%s/pieces ours_ms=%.2f floor_ms=%.2f ratio=%.2f frames=%d\n", frame, ours, floorSum,
                floorSum > 0 ? ours / floorSum : 0.0, t.frames);
    std::printf("scene=%s/floor quad_ms=%.2f copy_ms=%.2f present_ms=%.2f\n", frame, floor.quadMs, floor.copyMs,
                floor.presentMs);
}

// The fills of the frame the renderer has just drawn.
Fills FrameFills() {
    Fills f;
    CPRender* render = GetRender();
    if (!render) return f;
    f.sky = GetLevel() && render->GetSky() ? 1 : 0;
    f.scene = 1;
    f.post = render->GetBloom().GetFrameFills().quads;
    f.copies = render->GetBloom().GetFrameFills().copies;
    return f;
}

// The timed frames are done: the floor on the same device, and the end of the run.
void Finish(Measure& m) {
    m.fills = FrameFills();
    CPRender* render = GetRender();
    if (m.passes && g_passTimer) {
        g_passTimer->active = false;
        if (render && render->GetDevice()) m.fillFloor = MeasureFillFloor(*render->GetDevice(), 200);
    }
    if (render && render->GetDevice() && m.floorFrames > 0) {
        // The present is a fill of its own.
        const int quads = static_cast<int>(std::lround(m.fills.Total() - m.fills.present));
        m.floorMs = MeasureFloor(*render->GetDevice(), quads, m.floorFrames);
    }
    GetKernel()->KillAllTasks();
}

// Runs after the renderer: the frame of this turn has been presented.
class ProbeTask : public CPTask {
public:
    ProbeTask() { priority_ = TaskPriority::Render + 1; }
    void Update() override {
        Measure& m = *g_measure;
        const Clock::time_point now = Clock::now();
        if (m.menu) {
            if (m.skip > 0) {
                if (--m.skip == 0) {
                    m.startupMs = std::chrono::duration<double, std::milli>(now - m.runStart).count();
                    if (m.passes && g_passTimer) g_passTimer->active = true;
                }
            } else {
                m.frameMs.push_back(std::chrono::duration<double, std::milli>(now - m.last).count());
            }
            m.last = now;
            if (static_cast<int>(m.frameMs.size()) >= m.raceFrames) Finish(m);
            return;
        }
        const CPLevel* level = GetLevel();
        const bool racing = level && level->GetPlayerCar() && !level->IsStopped();
        if (!racing) return;
        if (m.startupMs < 0) {
            m.startupMs = std::chrono::duration<double, std::milli>(now - m.runStart).count();
            m.startX = level->GetPlayerCar()->GetPosition().x;
            Platform::InjectKey(kUp, true);
            if (m.passes && g_passTimer) g_passTimer->active = true;
        } else {
            m.frameMs.push_back(std::chrono::duration<double, std::milli>(now - m.last).count());
            if (level->GetPlayerCar()->GetPosition().x > m.startX + 1.0f) m.drove = true;
        }
        m.last = now;
        if (static_cast<int>(m.frameMs.size()) >= m.raceFrames) Finish(m);
    }
    int GetTaskKind() const override { return KindSystem; }
    int GetObjectSize() const override { return sizeof(*this); }
    const char* GetTypeName() const override { return "GameBenchProbe"; }
};

int StartProbe(lua_State*) {
    GetKernel()->AddTask(CPRefPtr<CPTask>(new ProbeTask));
    return 0;
}

// The demo root; `race` gives it the bench's main script, else the demo's own runs behind the probe.
bool MakeRoot(const fs::path& root, bool race) {
    if (const std::string error = DemoRootSupport::MakeDemoRoot(root); !error.empty()) {
        std::fprintf(stderr, "  %s\n", error.c_str());
        return false;
    }
    const fs::path main = root / "Data/Scripts/main.lua";
    if (race) {
        std::ofstream(main) << kMainScript;
    } else {
        std::ifstream in(main);
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        in.close();
        std::ofstream(main) << "StartProbe()\n" << text;
    }
    return true;
}

// One run of the application on the root; the frames it timed.
bool RunGame(const fs::path& root, bool bloomAndBlur, int frames, int floorFrames, bool menu, Measure& m,
             bool passes = false) {
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
    m.floorFrames = floorFrames;
    m.menu = menu;
    m.passes = passes;
    // The menu has faded in and the showroom turns.
    m.skip = menu ? 60 : 0;
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
        std::fprintf(stderr, "  the %s did not start (run result %d)\n", menu ? "menu" : "race",
                     static_cast<int>(result));
        return false;
    }
    return true;
}

void PrintScene(const char* name, const std::vector<double>& ms, double budget) {
    const double median = Percentile(ms, 0.5);
    std::printf("scene=%s ours_ms=%.2f p95_ms=%.2f budget_ms=%.1f ratio=%.2f\n", name, median, Percentile(ms, 0.95),
                budget, median / budget);
}

// The floor's line, then the scene's with the floor beside its budget ratio; false without a floor.
bool PrintWithFloor(const char* name, const Measure& m, double budget) {
    if (m.floorMs.empty()) {
        std::fprintf(stderr, "  %s: no floor measured\n", name);
        PrintScene(name, m.frameMs, budget);
        return false;
    }
    const double floor = Percentile(m.floorMs, 0.5);
    const Fills& f = m.fills;
    std::printf("scene=%s_floor ours_ms=%.2f p95_ms=%.2f fills=%.2f sky=%.0f scene_fills=%.0f post=%.2f copies=%.2f "
                "present=%.0f quads=%ld\n",
                name, floor, Percentile(m.floorMs, 0.95), f.Total(), f.sky, f.scene, f.post, f.copies, f.present,
                std::lround(f.Total() - f.present));
    const double median = Percentile(m.frameMs, 0.5);
    std::printf("scene=%s ours_ms=%.2f p95_ms=%.2f budget_ms=%.1f ratio=%.2f floor_ms=%.2f ratio_floor=%.2f\n", name,
                median, Percentile(m.frameMs, 0.95), budget, median / budget, floor, median / floor);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    bool smoke = false, raceOnly = false, passes = false, framesGiven = false;
    int frames = static_cast<int>(60.0f / kFrameDt);
    Platform::GlFramePath path;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--smoke") == 0) smoke = true;
        else if (std::strcmp(argv[i], "--race-only") == 0) raceOnly = true;
        else if (std::strcmp(argv[i], "--copy-back-buffer") == 0) CPBloom::SetCopyBackBuffer(true);
        else if (std::strcmp(argv[i], "--blur-composite") == 0) CPBloom::SetBlurComposite(true);
        else if (std::strcmp(argv[i], "--no-fixed-variants") == 0) path.fixedVariants = false;
        else if (std::strcmp(argv[i], "--sample-back-buffer") == 0) path.sampleBackBuffer = true;
        else if (std::strcmp(argv[i], "--passes") == 0) passes = true;
        else if (std::strncmp(argv[i], "--frames=", 9) == 0) {
            frames = std::max(1, std::atoi(argv[i] + 9));
            framesGiven = true;
        }
    }
    if (passes && !framesGiven) frames = 600;
    Platform::SetGlFramePath(path);
    if (smoke) frames = 60;
    const int floorFrames = smoke ? 10 : std::min(frames, 600);
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
    if (!MakeRoot(root, true)) {
        std::fprintf(stderr, "  the demo root could not be made\n");
        failures = 1;
    } else {
        static const ScriptFunctionEntry probe[] = {{"StartProbe", StartProbe}};
        RegisterScriptTable(ScriptTable::Library, probe);
        // Each scene in a process of its own, as the program runs the game once per process: the
        // memory line is the largest scene's peak, and no scene starts on another's heap.
        auto alone = [](const std::function<int()>& scene) {
            std::fflush(stdout);
            const pid_t pid = fork();
            if (pid == 0) {
                const int failed = scene();
                std::fflush(stdout);
                _exit(failed ? 1 : 0);
            }
            int status = 0;
            if (pid < 0 || waitpid(pid, &status, 0) != pid) return 1;
            return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1;
        };
        if (passes) {
            PassTimer timer;
            g_passTimer = &timer;
            SetFramePassMark(&MarkPass);
            failures += alone([&] {
                Measure demo;
                if (!RunGame(root, false, frames, 0, false, demo, true)) return 1;
                PrintPieces("race_frame", timer, demo.fillFloor);
                return 0;
            });
            // The menu on the demo's own scripts, bloom on.
            fs::current_path(previous);
            fs::remove_all(root);
            fs::create_directories(root);
            failures += alone([&] {
                Measure menu;
                if (!MakeRoot(root, false) || !RunGame(root, true, frames, 0, true, menu, true)) return 1;
                PrintPieces("menu_frame", timer, menu.fillFloor);
                return 0;
            });
            SetFramePassMark(nullptr);
            g_passTimer = nullptr;
        } else
            failures += alone([&] {
                Measure demo;
                if (!RunGame(root, false, frames, floorFrames, false, demo)) return 1;
                std::printf("scene=startup_to_race ours_ms=%.1f budget_ms=2000.0 ratio=%.2f\n", demo.startupMs,
                            demo.startupMs / 2000.0);
                int failed = PrintWithFloor("race_frame", demo, 16.7) ? 0 : 1;
                // The smoke run ends within the race's countdown.
                if (!smoke && !demo.drove) {
                    std::fprintf(stderr, "  race_frame: the car did not drive\n");
                    ++failed;
                }
                return failed;
            });
        if (!raceOnly && !passes) {
            failures += alone([&] {
                Measure effects;
                if (!RunGame(root, true, frames, 0, false, effects)) return 1;
                PrintScene("race_frame_bloom_blur", effects.frameMs, 16.7);
                return 0;
            });
            // The menu on the demo's own scripts, bloom on.
            fs::current_path(previous);
            fs::remove_all(root);
            fs::create_directories(root);
            failures += alone([&] {
                Measure menu;
                if (!MakeRoot(root, false) || !RunGame(root, true, frames, floorFrames, true, menu)) return 1;
                return PrintWithFloor("menu_frame", menu, 16.7) ? 0 : 1;
            });
        }
        rusage usage{};
        // The largest of the scenes' processes.
        getrusage(RUSAGE_CHILDREN, &usage);
        const double peakMb = static_cast<double>(usage.ru_maxrss) / 1024.0;
        std::printf("scene=memory ours_mb=%.1f budget_mb=256.0 ratio=%.2f\n", peakMb, peakMb / 256.0);
    }
    fs::current_path(previous);
    std::error_code ignored;
    fs::remove_all(root, ignored);
    return failures ? 1 : 0;
}
