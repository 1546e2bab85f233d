// The weapons task's turn against a fixed budget, on the null device and one core:
//   scene=<name> ours_ms=<median> budget_ms=<b> ratio=<ours/budget> new_shots=<n>
// shots_20: one 1/60 s turn of the weapons task with 20 live tracers, rockets and plasma balls (kept
//           topped up as they end), two explosions launched in the turn, over the demo road's plane
//           with 2,000 props in the level tree that the shots' rays test and the explosions search.
//           The demo's own weapons.dat and particle files are used. new_shots counts the shots made
//           by cloning over the timed turns, after a warm-up that lets the pools reach their peak:
//           in a steady state it is 0.
// `--smoke` runs a few turns and makes no timing claims (new_shots is still printed).
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <vector>

#include "BenchCommon.h"
#include "Core/PGameObject.h"
#include "Core/PGlobalTimer.h"
#include "Core/PPath.h"
#include "Core/PRandom.h"
#include "Core/PRayQuery.h"
#include "Particles/PParticlesManager.h"
#include "Platform/NullDevice.h"
#include "Race/PLevelBranch.h"
#include "Render/PMaterial.h"
#include "Render/PRender.h"
#include "Render/PRenderObject.h"
#include "Weapons/PShotWorld.h"
#include "Weapons/PWeaponsSystem.h"

namespace {

using Clock = std::chrono::steady_clock;

using Bench::Median;
using Bench::Props;

// The race world the shots see: the props' tree and the flat road at z = 0; the camera behind the
// firing point. The search for objects near a point walks every prop, as the level's own does.
class BenchWorld : public CPShotWorld {
public:
    BenchWorld(const CPLevelBranch& tree, const CPLevelBranch::ObjectList& props) : tree_(tree), props_(props) {
        SetShotWorld(this);
    }
    ~BenchWorld() override { SetShotWorld(nullptr); }
    bool CrossRay(CPRayQuery& query) override {
        bool hit = tree_.RayTest(query);
        if (query.direction.z < 0.0f) {
            const float t = -query.origin.z / query.direction.z;
            if (t >= 0.0f && t <= query.distance) {
                query.distance = t;
                query.hitObject.Reset();
                query.hitOwner.Reset();
                query.hitPlane = Plane{0, 0, 1, 0};
                hit = true;
            }
        }
        return hit;
    }
    bool CrossRayWithPlayer(CPRayQuery& query) override { return CrossRay(query); }
    bool CrossCars(CPRayQuery&) override { return false; }
    void GetObjectsInRadius(const Vec3& position, float radius, std::vector<CPRefPtr<CPGameObject>>& result) override {
        for (const auto& prop : props_)
            if (LengthSq(prop->GetPosition() - position) <= radius * radius) result.push_back(prop);
    }
    bool GetCameraPosition(Vec3& eye) override {
        eye = Vec3(-10, 0, 5);
        return true;
    }
    CPGameObject* GetPlayerCar() override { return nullptr; }
    bool RepairPlayerCar(float) override { return false; }

private:
    const CPLevelBranch& tree_;
    const CPLevelBranch::ObjectList& props_;
};

struct Result {
    double medianMs = 0.0;
    size_t newShots = 0;
    bool sane = false;
};

size_t LiveOf(const CPWeaponsSystem& weapons, const char* name) {
    size_t n = 0;
    for (const auto& shot : weapons.GetLiveShots())
        if (shot && shot->GetShotName() == name) ++n;
    return n;
}

Result Shots20(bool smoke) {
    Result result;
    CPRefPtr<CPRender> render(new CPRender());
    render->SetBackend(std::make_unique<Platform::NullBackend>());
    if (!render->Start()) {
        std::fprintf(stderr, "  shots_20: the null device would not start\n");
        return result;
    }
    CPRefPtr<CPParticlesManager> particles(new CPParticlesManager);
    CPRefPtr<CPWeaponsSystem> weapons(new CPWeaponsSystem);
    if (!particles->Start() || !weapons->Start()) {
        std::fprintf(stderr, "  shots_20: the demo's particle or weapons files cannot be read\n");
        render->Stop();
        return result;
    }
    std::vector<CPRefPtr<CPMaterial>> materials;
    const CPLevelBranch::ObjectList props = Props(2000, materials);
    CPRefPtr<CPLevelBranch> tree(new CPLevelBranch);
    tree->SetObjects(props);
    tree->Build(0);
    {
        BenchWorld world(*tree, props);
        FrameDelta = 1.0f / 60.0f;
        EngineSrand(11);
        // Launches come from fixed tables taken in turn, so the scene repeats itself: the pools
        // reach their peak in the warm-up. Random starts would now and then line up more shots
        // ending in one turn than ever before, and each such new peak clones a shot.
        std::mt19937 random(5);
        std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
        struct Launch {
            Vec3 from, direction;
        };
        constexpr size_t kTable = 16;
        struct Kind {
            const char* name;
            size_t live;
            std::vector<Launch> table;
            size_t next = 0;
        };
        Kind kinds[] = {{"trasser11", 7, {}}, {"rocket1", 7, {}}, {"plazmaball", 6, {}}};
        for (Kind& kind : kinds) {
            for (size_t i = 0; i < kTable; ++i) {
                const Vec3 from(unit(random) * 20.0f, unit(random) * 20.0f, 1.2f);
                const Vec3 along = Normalize(Vec3(1.0f, unit(random) * 0.2f, 0.0f));
                // The rocket reads the third component as its elevation.
                const bool rocket = std::strcmp(kind.name, "rocket1") == 0;
                kind.table.push_back(
                    {from, rocket ? Vec3(along.x, along.y, 0.2f + 0.3f * (unit(random) + 1.0f)) : along});
            }
        }
        std::vector<Vec3> blasts;
        for (size_t i = 0; i < 2 * kTable; ++i)
            blasts.emplace_back(50.0f + unit(random) * 40.0f, unit(random) * 20.0f, 0.5f);
        auto topUp = [&] {
            for (Kind& kind : kinds) {
                for (size_t n = LiveOf(*weapons, kind.name); n < kind.live; ++n) {
                    const Launch& launch = kind.table[kind.next++ % kTable];
                    weapons->CreateShot(kind.name, launch.from, launch.direction, -1.0f);
                }
            }
        };
        const int warmUp = smoke ? 30 : 240;
        const int frames = smoke ? 5 : 600;
        std::vector<double> ms;
        size_t before = 0;
        for (int frame = 0; frame < warmUp + frames; ++frame) {
            if (frame == warmUp) before = weapons->GetNewShotCount();
            const auto t0 = Clock::now();
            ++FrameCounter;
            topUp();
            for (size_t e = 0; e < 2; ++e)
                weapons->CreateShot("rocket_exp2", blasts[(2 * static_cast<size_t>(frame) + e) % blasts.size()], Vec3(),
                                    -1.0f);
            weapons->Update();
            const auto t1 = Clock::now();
            // Outside the weapons turn: what the particle task and the renderer would take.
            particles->Update();
            render->GetDynamicRenderBlock()->ResetFrame();
            if (frame >= warmUp) ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
        }
        result.medianMs = Median(ms);
        result.newShots = weapons->GetNewShotCount() - before;
        std::fprintf(stderr, "  shots_20: live shots %zu, clones in the warm-up %zu\n", weapons->GetLiveShots().size(),
                     before);
        // Past the warm-up every shot comes out of a pool; a clone then means shots are lost.
        result.sane = !weapons->GetLiveShots().empty() && (smoke || result.newShots == 0);
        weapons->ReleaseAll();
    }
    particles->ClearAll();
    tree->ReleaseObjects();
    render->Stop();
    return result;
}

} // namespace

int main(int argc, char** argv) {
    bool smoke = false;
    for (int i = 1; i < argc; ++i) smoke = smoke || std::strcmp(argv[i], "--smoke") == 0;
    // The demo data is read where it is written by hand.
    std::error_code ec;
    std::filesystem::current_path(std::filesystem::path(VASTREL_SOURCE_DIR) / "data", ec);
    if (ec) {
        std::fprintf(stderr, "bench_weapons: no demo data at %s/data\n", VASTREL_SOURCE_DIR);
        return 1;
    }
    InvalidatePathCache();
    struct Scene {
        const char* name;
        double budgetMs;
        Result (*run)(bool);
    };
    const Scene scenes[] = {{"shots_20", 0.25, Shots20}};
    int failures = 0;
    for (const Scene& scene : scenes) {
        const Result result = scene.run(smoke);
        std::printf("scene=%s ours_ms=%.4f budget_ms=%.2f ratio=%.2f new_shots=%zu\n", scene.name, result.medianMs,
                    scene.budgetMs, result.medianMs / scene.budgetMs, result.newShots);
        if (!result.sane) {
            std::fprintf(stderr, "  %s: the run went wrong\n", scene.name);
            ++failures;
        }
    }
    CPManagedObject::CollectGarbage();
    return failures ? 1 : 0;
}
