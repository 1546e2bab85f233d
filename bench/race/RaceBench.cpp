// Race-world timings against fixed budgets, one line per scene:
//   scene=<name> ours_ms=<median> budget_ms=<b> ratio=<ours/budget>
// race_turn: one 1/60 s frame of what a race turn costs in the race world: the physics task's fixed
//            steps with a car on the road grid, the level tree culled against a view box over 2,000
//            props, and 100 tree ray tests.
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
#include <cstring>
#include <random>
#include <vector>

#include "Core/PGameObject.h"
#include "Core/PGlobalTimer.h"
#include "Core/PRayQuery.h"
#include "Race/PCar.h"
#include "Race/PLevelBranch.h"
#include "Race/PPhysicData.h"
#include "Race/PPhysics.h"
#include "Race/PPlayer.h"
#include "Race/PReplay.h"
#include "Race/PTrackLines.h"
#include "Render/PMaterial.h"
#include "Render/PRenderObject.h"

namespace {

using Clock = std::chrono::steady_clock;

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

CPLevelBranch::ObjectList Props(int count, std::vector<CPRefPtr<CPMaterial>>& materials) {
    std::mt19937 random(7);
    std::uniform_real_distribution<float> along(0.0f, 600.0f), across(-60.0f, 60.0f), size(0.3f, 4.0f);
    for (int i = 0; i < 8; ++i) materials.push_back(CPRefPtr<CPMaterial>(new CPMaterial(20 + i)));
    CPLevelBranch::ObjectList objects;
    for (int i = 0; i < count; ++i) {
        CPRefPtr<CPGameObject> object(new CPGameObject("prop"));
        CPRefPtr<CPRenderObject> mesh(new CPRenderObject(object.Get()));
        mesh->SetMaterial(materials[random() % materials.size()]);
        object->SetRenderPart(mesh);
        object->SetRenderType(CPGameObject::RenderMesh);
        const Vec3 half{size(random), size(random), size(random)};
        object->SetBoundingBox(CPOrientedBox({0, 0, 0}, half));
        object->AddCollisionBox(CPOrientedBox({0, 0, 0}, half));
        object->SetPosition({along(random), across(random), half.z});
        object->UpdateTransform();
        object->SetStatic(true);
        objects.push_back(object);
    }
    return objects;
}

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

Result Replay20Min(bool smoke) {
    constexpr int kSamples = 24000;
    std::vector<CPReplayFrame> run(kSamples);
    for (int n = 0; n < kSamples; ++n) {
        CPReplayFrame& f = run[n];
        f.time = 0.05f * static_cast<float>(n + 1);
        f.position[0] = 20.0f * f.time;
        f.position[1] = std::sin(f.time);
        f.rotation[2] = std::sin(0.1f * f.time);
        f.rotation[3] = std::cos(0.1f * f.time);
        f.w0Rotation[0] = std::sin(f.time);
        f.w0Rotation[3] = std::cos(f.time);
        f.w2Rotation[0] = std::sin(1.3f * f.time);
        f.w2Rotation[3] = std::cos(1.3f * f.time);
        f.throttle = 1;
        f.dustFlag = n % 2;
    }
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
