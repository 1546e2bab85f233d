// Race-world timings against fixed budgets, one line per scene:
//   scene=<name> ours_ms=<median> budget_ms=<b> ratio=<ours/budget>
// race_turn: one 1/60 s frame of what a race turn costs in the race world: the physics task's fixed
//            steps with a car on the road grid, the level tree culled against a view box over 2,000
//            props, and 100 tree ray tests.
// race_turn_full: race_turn's work in a real race: demo level 1 loaded through the level's own loader
//            with the same 2,000 props in its tree, 20 bonuses and hazards, a 3-minute rival run,
//            the car in gloom; one turn is the physics task, the level's race update (the car's
//            update with its bonuses and gloom sparks, the camera, the recorder, the rival's
//            playback, the tree culled into the render queue), the 100 ray tests through the
//            level's ray query, and the HUD script's per-turn calls.
// tree_build: the level tree built over 2,000 props.
// track_search: a point walked along a 2,000-line ring of track lines (a line every 10 m, a step
//            of 1 m, weaving across the road), one nearest-line search per step from the cursor
//            the search before left; the time of one search.
// replay_20min: one rival playback turn near the end of a 24,000-sample (20-minute) run, plus one
//            sample appended to a recording as long.
// `--smoke` runs each scene once and makes no timing claims.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include <lua.hpp>

#include "Application/MeshParts.h"
#include "BenchCommon.h"
#include "Core/PGameObject.h"
#include "Core/PGlobalTimer.h"
#include "Core/PPath.h"
#include "Core/PRayQuery.h"
#include "Core/PScriptObject.h"
#include "Core/PScriptRegistry.h"
#include "Core/PSettings.h"
#include "DemoRootSupport.h"
#include "MeshSupport.h"
#include "Particles/PParticleRenderObject.h"
#include "Particles/PParticlesManager.h"
#include "Platform/NullDevice.h"
#include "Race/PCar.h"
#include "Race/PGameData.h"
#include "Race/PLevel.h"
#include "Race/PLevelBranch.h"
#include "Race/PPhysicData.h"
#include "Race/PPhysics.h"
#include "Race/PPlayer.h"
#include "Race/PReplay.h"
#include "Race/PTrackLines.h"
#include "Render/MeshFile.h"
#include "Render/PAnimationManager.h"
#include "Render/PMaterial.h"
#include "Render/PMaterialManager.h"
#include "Render/PMeshManager.h"
#include "Render/PRender.h"
#include "Render/PRenderBlock.h"
#include "Render/PRenderObject.h"
#include "ScriptFunctions/ScriptFunctions.h"
#include "Weapons/PWeaponsRaceEffects.h"
#include "Weapons/PWeaponsSystem.h"

namespace {

using Clock = std::chrono::steady_clock;

using Bench::Median;
using Bench::Props;

// The demo road's shape: 600 m along +X, 20 m wide, 2.5 m quads.
void BuildRoad(CPPhysics& physics) {
    std::vector<Vec3> positions;
    std::vector<uint16_t> indices;
    const int columns = 240;
    for (int i = 0; i <= columns; ++i) {
        const float x = -20.0f + 2.5f * i;
        const float z = x > 100.0f ? 2.0f * std::sin((x - 100.0f) * 0.05f) : 0.0f;
        positions.push_back({x, -10, z});
        positions.push_back({x, 10, z});
    }
    for (int i = 0; i < columns; ++i) {
        const uint16_t a = uint16_t(2 * i), b = uint16_t(2 * i + 1), c = uint16_t(2 * i + 2), d = uint16_t(2 * i + 3);
        indices.insert(indices.end(), {a, c, d, a, d, b});
    }
    physics.BuildRoadGrid(positions, indices, MatIdentity());
}

CPRefPtr<CPGameObject> Car(CPPhysics& physics) {
    CPRefPtr<CPGameObject> car(new CPGameObject("coupe_t"));
    car->GetDescription().Parse(
        "<physics><geometry><wheels count=\"2\" y=\"-0.3\" length=\"1.0\" radius=\"0.35\"/></geometry>"
        "<params><wheels spring1=\"600\" spring2=\"600\" damping=\"60\"/></params></physics>");
    CPRefPtr<CPPhysicData> data(new CPPhysicData(car.Get()));
    data->body = {0, 1.6f, 0.5f, 3.6f, 0.0f, 10.0f};
    CPPhysicData::Shape shape;
    shape.a = 1.6f, shape.b = 0.5f, shape.c = 3.6f;
    data->shapes.push_back(shape);
    car->SetPhysicData(data);
    for (auto [name, y] : {std::pair{"w0", -1.4f}, std::pair{"w2", 1.4f}}) {
        CPRefPtr<CPGameObject> wheel(new CPGameObject(name));
        wheel->SetPosition({0, y, -0.3f});
        car->AddChild(wheel);
    }
    car->SetPosition({0, 0, 1.0f});
    car->SetRotation({0, 0, 0.70710677f, 0.70710677f});
    car->UpdateTransform();
    physics.RestoreObject(car.Get());
    physics.AddObject(car.Get(), true, 1);
    physics.AddCar(car.Get(), true);
    physics.SetCarInput(car.Get(), 1.0f, 0.0f);
    return car;
}

struct Result {
    double medianMs;
    bool sane;
};

Result RaceTurn(bool smoke) {
    CPRefPtr<CPPhysics> physics(new CPPhysics);
    BuildRoad(*physics);
    physics->InitWorld();
    std::vector<CPRefPtr<CPMaterial>> materials;
    const CPLevelBranch::ObjectList props = Props(2000, materials);
    CPRefPtr<CPLevelBranch> tree(new CPLevelBranch);
    tree->SetObjects(props);
    tree->Build(0);
    CPRefPtr<CPGameObject> car = Car(*physics);
    FrameDelta = 1.0f / 60.0f;
    std::vector<double> ms;
    const int frames = smoke ? 2 : 600;
    int drawn = 0, hits = 0;
    std::mt19937 random(3);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    for (int frame = 0; frame < frames; ++frame) {
        const auto t0 = Clock::now();
        ++FrameCounter;
        physics->Update();
        const Vec3 at = car->GetPosition();
        CPBoundingBox view;
        view.min = {at.x - 10, at.y - 60, at.z - 20};
        view.max = {at.x + 200, at.y + 60, at.z + 40};
        drawn += tree->Cull(
            [&](const CPBoundingBox& box) {
                return box.min.x <= view.max.x && box.max.x >= view.min.x && box.min.y <= view.max.y &&
                       box.max.y >= view.min.y && box.min.z <= view.max.z && box.max.z >= view.min.z;
            },
            [](CPGameObject*) {}, 1000000);
        for (int r = 0; r < 100; ++r) {
            CPRayQuery query;
            query.origin = at;
            query.direction = Normalize(Vec3{1.0f, unit(random) * 0.3f, unit(random) * 0.05f});
            query.distance = 150.0f;
            hits += tree->RayTest(query);
        }
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    const Vec3 end = car->GetPosition();
    Result result{Median(ms), std::isfinite(end.x) && std::isfinite(end.z) && (smoke || end.x > 50.0f)};
    std::fprintf(stderr, "  race_turn: car x %.1f, drawn/frame %.0f, ray hits/frame %.1f\n", end.x,
                 double(drawn) / frames, double(hits) / frames);
    physics->DestroyWorld();
    return result;
}

Result TreeBuild(bool smoke) {
    std::vector<CPRefPtr<CPMaterial>> materials;
    const CPLevelBranch::ObjectList props = Props(2000, materials);
    std::vector<double> ms;
    const int runs = smoke ? 1 : 15;
    for (int run = 0; run < runs; ++run) {
        const auto t0 = Clock::now();
        CPRefPtr<CPLevelBranch> tree(new CPLevelBranch);
        tree->SetObjects(props);
        tree->Build(0);
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        tree->ReleaseObjects();
        tree.Reset();
        CPManagedObject::CollectGarbage();
    }
    return {Median(ms), true};
}

Result TrackSearch(bool smoke) {
    // A closed loop 20 km round: 2,001 points make 2,000 lines and the head.
    const int points = 2001;
    const float radius = 10.0f * points / 6.2831853f;
    std::mt19937 random(11);
    std::uniform_real_distribution<float> wobble(-1.0f, 1.0f);
    std::vector<Vec3> ring;
    for (int i = 0; i < points; ++i) {
        const float a = 6.2831853f * i / points;
        const float r = radius + wobble(random);
        ring.emplace_back(r * std::cos(a), r * std::sin(a), 0.0f);
    }
    CPRefPtr<CPTrackLines> lines(new CPTrackLines);
    if (!lines->Build(ring)) return {0.0, false};
    const int steps = smoke ? 200 : 20000; // 1 m apart
    const int runs = smoke ? 1 : 15;
    std::vector<double> ms;
    bool sane = true;
    CPTrackLine* cursor = lines->GetCurrentLine();
    for (int run = 0; run < runs; ++run) {
        float sum = 0.0f;
        const auto t0 = Clock::now();
        for (int step = 0; step < steps; ++step) {
            const float a = static_cast<float>(step) / radius;
            const float r = radius + 4.0f * std::sin(step * 0.01f);
            float distance = 20.0f;
            sum += lines->FindClosestTrackLine(Vec3(r * std::cos(a), r * std::sin(a), 0.0f), distance, 0, cursor);
            sum += distance;
        }
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count() / steps);
        // The cursor follows the point: it ends on a line near where the walk ended.
        const float a = static_cast<float>(steps - 1) / radius;
        const Vec3 end(radius * std::cos(a), radius * std::sin(a), 0.0f);
        const float dx = cursor->centre.x - end.x, dy = cursor->centre.y - end.y;
        sane = sane && std::isfinite(sum) && dx * dx + dy * dy < 15.0f * 15.0f;
    }
    return {Median(ms), sane};
}

// A recorded run of `count` samples 0.05 s apart along +X at `speed`, weaving a metre across it,
// the wheels turning, dust every other sample.
std::vector<CPReplayFrame> RunFrames(int count, float speed, float height) {
    std::vector<CPReplayFrame> run(count);
    for (int n = 0; n < count; ++n) {
        CPReplayFrame& f = run[n];
        f.time = 0.05f * static_cast<float>(n + 1);
        f.position[0] = speed * f.time;
        f.position[1] = std::sin(f.time);
        f.position[2] = height;
        f.rotation[2] = std::sin(0.1f * f.time);
        f.rotation[3] = std::cos(0.1f * f.time);
        f.w0Rotation[0] = std::sin(f.time);
        f.w0Rotation[3] = std::cos(f.time);
        f.w2Rotation[0] = std::sin(1.3f * f.time);
        f.w2Rotation[3] = std::cos(1.3f * f.time);
        f.throttle = 1;
        f.dustFlag = n % 2;
    }
    return run;
}

Result Replay20Min(bool smoke) {
    const std::vector<CPReplayFrame> run = RunFrames(24000, 20.0f, 0.0f);
    CPRefPtr<CPGameObject> rival(new CPGameObject("rival"));
    for (const char* name : {"w0", "w2", "biker", "engine1", "engine2", "flare01", "flare02", "flare03", "flare04",
                             "flare05", "flare06", "flare07", "flare"})
        rival->AddChild(CPRefPtr<CPGameObject>(new CPGameObject(name)));
    CPRefPtr<CPPlayer> car(new CPPlayer);
    CPRivalPlayback playback;
    playback.Bind(rival, 0, run);
    const float end = run.back().time;
    const int turns = smoke ? 2 : 590;
    float progress = 0.0f, clock = end - 10.0f;
    playback.Update(clock, 0.0f, progress); // the cursor arrives before the timed turns
    // A growing vector moves its samples now and then; the turn measured is the usual one.
    std::vector<CPReplayFrame> recording = run;
    recording.reserve(run.size() + turns);
    float lastSample = end;
    std::vector<double> ms;
    int placed = 0;
    for (int turn = 0; turn < turns; ++turn) {
        clock += 1.0f / 60.0f;
        const float sampleAt = lastSample + 0.06f; // always due: one append a turn
        const auto t0 = Clock::now();
        placed += playback.Update(clock, 1.0f / 60.0f, progress);
        RecordRunFrame(*car, sampleAt, lastSample, recording);
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    const bool sane = placed == turns && recording.size() == run.size() + turns && std::isfinite(progress) &&
                      std::fabs(progress - 20.0f * clock) < 1.0f;
    return {Median(ms), sane};
}

// A game root of its own: the demo data with mkdata's assets, and level 1's layout with its
// bonuses replaced by the scene's. The working directory while it lives.
class DemoRoot {
public:
    DemoRoot() {
        namespace fs = std::filesystem;
        previous_ = fs::current_path();
        std::string pattern = (fs::temp_directory_path() / "vastrel-racebench-XXXXXX").string();
        if (!mkdtemp(pattern.data())) return;
        root_ = pattern;
        if (const std::string error = DemoRootSupport::MakeDemoRoot(root_, ""); !error.empty()) {
            std::fprintf(stderr, "  %s\n", error.c_str());
            return;
        }
        fs::current_path(root_);
        InvalidatePathCache();
        WriteProps();
        if (!WriteLayoutText("bench.txt")) return;
        ready_ = DemoRootSupport::RunTool(root_, "mklevel", "bench.txt Data/Levels/level1.lvl");
        InvalidatePathCache();
    }
    ~DemoRoot() {
        if (root_.empty()) return;
        std::filesystem::current_path(previous_);
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
        InvalidatePathCache();
    }
    bool Ready() const { return ready_; }

private:
    // race_turn's props as level models: eight kinds of box from 0.6 m to 8 m, each under its own
    // texture, so eight materials as there.
    static constexpr int kPropKinds = 8;
    static std::string PropName(int kind) { return std::string("prop") + static_cast<char>('a' + kind); }
    static void WriteProps() {
        const char* textures[kPropKinds] = {"crate.tga",  "metal.tga",   "barrel.tga", "banner.tga",
                                            "ground.tga", "asphalt.tga", "grass.tga",  "floor.tga"};
        for (int kind = 0; kind < kPropKinds; ++kind) {
            const float h = 0.3f + 3.7f * static_cast<float>(kind) / (kPropKinds - 1);
            MeshFile::Node node = MeshSupport::BoxNode(PropName(kind), Vec3(-h, -h, 0.0f), Vec3(h, h, 2.0f * h));
            // The kind whose loader bounds the model by its vertices; one box shape, no mass.
            MeshFile::Shape box;
            box.a = box.b = box.c = 2.0f * h;
            node.shapes = {box};
            MeshFile::Mesh mesh;
            mesh.nodes = {node};
            const std::vector<uint8_t> bytes = MeshFile::WriteMesh(mesh, MeshFile::MeshKind::P3d);
            std::ofstream("Data/Meshes/" + node.name + ".p3d", std::ios::binary)
                .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
            std::ofstream("Data/Meshes/" + node.name + ".rdf")
                << "mesh = " << node.name << ".p3d\n[" << node.name
                << "]\neffectfile = simple.fx\ntexturefile1 = " << textures[kind] << "\n";
        }
    }

    // Level 1 without its bonuses, and the scene's 20: four on the car's line (the gloom portal at
    // the start, then a repair, an ability and a slow-down that the car takes during the run) and
    // sixteen of every kind, hazards included, beside the road, where they stay in the list and are
    // tested every turn.
    static bool WriteLayoutText(const char* path) {
        std::ifstream in(VASTREL_SOURCE_DIR "/tools/mklevel/level1.txt");
        std::ofstream out(path);
        if (!in || !out) return false;
        const char* kinds[] = {"remont", "plus", "minus", "slow", "fast", "halo", "whirl", "gloom"};
        for (std::string line; std::getline(in, line);) {
            if (line.rfind("object bonus_", 0) == 0) continue;
            if (line.rfind("trailer", 0) == 0) {
                // Spread as race_turn's: 600 m along the road, 120 m across.
                std::mt19937 random(7);
                std::uniform_real_distribution<float> along(0.0f, 600.0f), across(-60.0f, 60.0f);
                for (int i = 0; i < 2000; ++i) {
                    const float x = along(random), y = across(random);
                    out << "object " << PropName(static_cast<int>(random() % kPropKinds)) << i + 1 << " " << x << " "
                        << y << " 0 0 0 0 1 1 1 1\n";
                }
                const std::pair<const char*, float> onLine[] = {
                    {"gloom", 3}, {"remont", 40}, {"plus", 70}, {"slow", 100}};
                int n = 0;
                for (const auto& [kind, x] : onLine)
                    out << "object bonus_" << kind << ++n << " " << x << " 0 0 0 0 0 1 1 1 1\n";
                for (int i = 0; i < 16; ++i)
                    out << "object bonus_" << kinds[i % 8] << ++n << " " << 20 + 18 * i << " " << (i % 2 ? 9 : -9)
                        << " 0 0 0 0 1 1 1 1\n";
            }
            out << line << "\n";
        }
        return true;
    }

    std::filesystem::path previous_, root_;
    bool ready_ = false;
};

// What a race turn costs with everything a race runs in it. Kept out of the time, as the kernel
// runs them as tasks of their own: the scripts "main" and "jeep" (the throttle is held for them),
// the level's activated objects with their emitters, the weapons task with the bonuses' shots,
// the particles' update and the renderer's frame. What flatters it: no sound device (the bonuses'
// sounds are skipped), no script manager (their commands are not queued), the HUD is not drawn
// (only the three calls that read the race run), and one car in the physics world.
Result RaceTurnFull(bool smoke) {
    Result result{0.0, false};
    DemoRoot root;
    if (!root.Ready()) {
        std::fprintf(stderr, "  race_turn_full: the demo root could not be made\n");
        return result;
    }
    CPSettingsManager::ResetDefaults();
    {
        CPAnimationManager animations;
        CPMaterialManager materialManager;
        CPMeshManager meshes;
        CPMeshParts parts; // bodies and particle systems from the descriptions, as the program makes them
        meshes.SetPartMaker(&parts);
        CPGameData data;
        CPRefPtr<CPRender> render(new CPRender());
        render->SetBackend(std::make_unique<Platform::NullBackend>());
        CPRefPtr<CPParticlesManager> particles(new CPParticlesManager);
        CPRefPtr<CPWeaponsSystem> weapons(new CPWeaponsSystem);
        CPRefPtr<CPPhysics> physics(new CPPhysics);
        CPWeaponsRaceEffects effects;
        if (!render->Start() || !particles->Start() || !weapons->Start()) {
            std::fprintf(stderr, "  race_turn_full: the null device, particles or weapons would not start\n");
            render->Stop();
            return result;
        }
        SetRaceEffects(&effects);
        // The rival: a 3-minute run of the demo car along the road, as a saved record holds it.
        data.levelRecords[0].name = "coupe_t";
        data.levelRecords[0].frames = RunFrames(3600, 3.0f, 0.6f);

        lua_State* L = luaL_newstate();
        luaL_openlibs(L);
        RegisterAllScriptFunctions();
        RegisterScriptFunctions(L);
        // The race as the scripts start it, the HUD the main script makes, and the HUD script's
        // calls of every turn.
        const char* start = "SetPlayerName('coupe_t') InitPlayer() InitLevel('level1') StartLevel() "
                            "SetLevelStarted(true) SetUpdateTime(true) hud = CreateInterface('hud', 0) "
                            "assert(GetWindowPosition(hud, 'green0'), 'the HUD has no progress marker') "
                            "function hudTurn() "
                            "  local x, y, length = GetHelthBarCoord(car) "
                            "  UpdateTime(hud) UpdateGameInterface(hud) "
                            "end";
        bool sane = luaL_dostring(L, start) == 0;
        if (!sane) std::fprintf(stderr, "  race_turn_full: %s\n", lua_tostring(L, -1));
        CPLevel* level = GetLevel();
        CPPlayer* car = level ? level->GetPlayerCar() : nullptr;
        if (sane && car && level->GetTree()) {
            PushObject(L, car);
            lua_setglobal(L, "car");
            FrameDelta = 1.0f / 60.0f;
            std::mt19937 random(3);
            std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
            // The timed turns start once the car, dropped onto the road, has driven into the portal;
            // its gloom lasts 15 s, longer than they do.
            const int frames = smoke ? 2 : 600;
            std::vector<double> ms;
            int hits = 0, warmUp = -1;
            size_t recordedBefore = 0;
            bool gloomThroughout = true;
            for (int frame = 0; frame < (warmUp < 0 ? 300 : warmUp + frames); ++frame) {
                if (warmUp < 0 && car->inGloom) {
                    warmUp = frame;
                    recordedBefore = level->GetOwnRunFrames().size();
                }
                // The held throttle, as the car's script sets it.
                car->SetControls(1.0f, 0.0f);
                const auto t0 = Clock::now();
                ++FrameCounter;
                TotalTime += FrameDelta;
                physics->Update();
                level->RaceUpdate();
                const Vec3 at = car->GetPosition();
                for (int r = 0; r < 100; ++r) {
                    CPRayQuery query;
                    query.origin = at + Vec3(0, 0, 1);
                    query.direction = Normalize(Vec3{1.0f, unit(random) * 0.3f, unit(random) * 0.05f});
                    query.distance = 150.0f;
                    const bool hit = level->CrossRay(query);
                    if (warmUp >= 0) hits += hit;
                }
                lua_getglobal(L, "hudTurn");
                if (lua_pcall(L, 0, 0, 0) != 0) {
                    std::fprintf(stderr, "  race_turn_full: %s\n", lua_tostring(L, -1));
                    lua_pop(L, 1);
                    sane = false;
                }
                const auto t1 = Clock::now();
                if (warmUp >= 0) {
                    ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
                    gloomThroughout = gloomThroughout && car->inGloom;
                }
                weapons->Update();
                particles->Update();
                render->GetDynamicRenderBlock()->ResetFrame();
            }
            if (warmUp < 0) {
                std::fprintf(stderr, "  race_turn_full: the car never reached the portal\n");
                sane = false;
            }
            result.medianMs = Median(ms);
            const Vec3 end = car->GetPosition();
            // The gloom's blue sparks alive after the last turn: 60 a turn, each living up to 0.6 s.
            CPParticleRenderObject* sparkType = particles->FindType("iskra3blue");
            const int sparks = sparkType ? sparkType->GetVertexCount() / 4 : 0;
            const size_t recorded = level->GetOwnRunFrames().size() - recordedBefore;
            std::fprintf(
                stderr,
                "  race_turn_full: car x %.1f, in gloom %s, sparks alive %d, bonuses left %zu, samples recorded "
                "%zu, rival x %.1f, ray hits/frame %.1f\n",
                end.x, gloomThroughout ? "throughout" : "not throughout", sparks, level->GetBonuses().size(), recorded,
                level->GetRivalProgressX(), ms.empty() ? 0.0 : double(hits) / static_cast<double>(ms.size()));
            // The run went as set out: the car drove in gloom with its sparks, the recorder took a
            // sample once more than 0.05 s had passed (every third or fourth turn), the rival moved,
            // the hazards beside the road stayed.
            sane = sane && std::isfinite(end.x) && gloomThroughout && sparks >= 60 &&
                   level->GetBonuses().size() >= 16 && level->GetRivalProgressX() > 0.0f &&
                   (smoke || (end.x > 50.0f && recorded >= static_cast<size_t>(frames / 4)));
            result.sane = sane;
        } else {
            std::fprintf(stderr, "  race_turn_full: the level or its car did not load\n");
        }
        luaL_dostring(L, "if hud then Release(hud) end StopLevel() DeleteLevel()");
        lua_close(L);
        CPManagedObject::CollectGarbage();
        SetRaceEffects(nullptr);
        weapons->ReleaseAll();
        particles->ClearAll();
        physics->DestroyWorld();
        render->Stop();
        FrameDelta = 0.0f;
    }
    CPManagedObject::CollectGarbage();
    CPSettingsManager::ResetDefaults();
    return result;
}

} // namespace

int main(int argc, char** argv) {
    bool smoke = false;
    for (int i = 1; i < argc; ++i) smoke = smoke || std::strcmp(argv[i], "--smoke") == 0;
    struct Scene {
        const char* name;
        double budgetMs;
        Result (*run)(bool);
    };
    const Scene scenes[] = {{"race_turn", 0.5, RaceTurn},
                            {"race_turn_full", 0.6, RaceTurnFull},
                            {"tree_build", 20.0, TreeBuild},
                            {"track_search", 0.0005, TrackSearch},
                            {"replay_20min", 0.002, Replay20Min}};
    int failures = 0;
    for (const Scene& scene : scenes) {
        const Result result = scene.run(smoke);
        std::printf("scene=%s ours_ms=%.4g budget_ms=%g ratio=%.2f\n", scene.name, result.medianMs, scene.budgetMs,
                    result.medianMs / scene.budgetMs);
        if (!result.sane) {
            std::fprintf(stderr, "  %s: the run went wrong\n", scene.name);
            ++failures;
        }
    }
    CPManagedObject::CollectGarbage();
    return failures ? 1 : 0;
}
