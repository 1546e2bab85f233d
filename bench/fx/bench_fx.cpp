// bench_fx: the CPU cost of particles and the sky per frame, on one core.
//   particles_10k: update and fill of 10,000 live particles in 8 types (plain, atlas, streak,
//                  keyed, chained, ...); budget 1.0 ms a frame.
//   sky_frame:     the CPU side of one sky frame (dome of 64 segments, 2 cloud fields, 400 puffs),
//                  without a device; budget 0.3 ms.
// Prints "scene=<name> ours_ms=<median> budget_ms=<b> ratio=<ours/budget>" per line. --smoke runs a
// few frames only.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "Core/PGlobalTimer.h"
#include "Core/PPath.h"
#include "Core/PRandom.h"
#include "DynamicSky/SkyGlobals.h"
#include "DynamicSky/Skyscape.h"
#include "Particles/PParticleRenderObject.h"
#include "Render/PPerspectiveCamera.h"
#include "Render/PRender.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

void Report(const char* name, double ms, double budget) {
    std::printf("scene=%s ours_ms=%.4f budget_ms=%.3f ratio=%.3f\n", name, ms, budget, ms / budget);
}

float Unit() { return static_cast<float>(EngineRand()) / 32767.0f; }

double Particles(int frames) {
    CPRefPtr<CPPerspectiveCamera> camera(new CPPerspectiveCamera());
    camera->eye = Vec3(0, -30, 5);
    camera->lookAt = Vec3(0, 0, 0);
    camera->viewDirty = camera->projectionDirty = true;
    camera->Recalculate();
    CurrentCamera = camera;
    std::vector<CPRefPtr<CPParticleRenderObject>> types;
    for (int t = 0; t < 8; ++t) {
        CPRefPtr<CPParticleRenderObject> type(new CPParticleRenderObject());
        if (t == 1 || t == 5) type->SetAtlas(4, 2, 8);
        if (t == 3 || t == 6) {
            type->AddColorKey({1, 1, 0.8f, 0.5f, 0.5f});
            type->AddColorKey({0.5f, 0.6f, 0.6f, 0.6f, 1.5f});
            type->AddColorKey({0, 0.3f, 0.3f, 0.3f, 3});
        }
        types.push_back(type);
    }
    // Lives long enough that none dies during the run: 1250 live particles a type.
    for (int t = 0; t < 8; ++t)
        for (int i = 0; i < 1250; ++i) {
            CPParticle p;
            p.position = Vec3(Unit() * 20 - 10, Unit() * 20 - 10, Unit() * 5);
            p.velocity = Vec3(Unit() - 0.5f, Unit() - 0.5f, Unit() * 2);
            p.acceleration = Vec3(0, 0, -1);
            p.size = 0.3f;
            p.growth = 0.2f;
            p.life = 1000;
            p.age = Unit() * 10;
            p.fade = t % 2 == 0;
            p.streak = t == 2 || t == 7;
            if (t == 4) {
                p.next = std::make_unique<CPParticleDesc>();
                p.next->typeName = "none";
            }
            types[static_cast<size_t>(t)]->Emit(p);
        }
    std::vector<CPVertex> vertices(4 * 1250);
    std::vector<CPIndex> indices(6 * 1250);
    FrameDelta = 1.0f / 60;
    std::vector<double> times;
    for (int f = 0; f < frames; ++f) {
        const auto start = Clock::now();
        for (auto& type : types) {
            type->Update();
            type->Fill(vertices.data(), indices.data(), 0, 0);
        }
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    CurrentCamera.Reset();
    return Median(times);
}

std::string Cloud(int puffs) {
    std::ostringstream o;
    o << "cores 2\ncore -20 0 0\ncore 20 0 0\npuffs " << puffs << '\n';
    for (int i = 0; i < puffs; ++i)
        o << "offset " << (i % 10) * 5 - 25 << ' ' << (i / 10) * 4 - 8 << ' ' << (i % 3) * 3 << "\ncell " << i % 4
          << ' ' << (i / 4) % 4 << "\nturn " << i * 0.3 << "\ncore " << i % 2 << "\nsize 12 10\n";
    o << "rim 4\ncentre 3\nfactor 200\ns 255\ns 230\ns 200\ns 160\ns 120\n";
    return o.str();
}

double Sky(int frames) {
    fs::create_directories("Data/Clouds");
    std::ofstream("Data/Clouds/bench_cloud.txt") << Cloud(50);
    for (const char* field : {"a.txt", "b.txt"}) {
        std::ofstream f(std::string("Data/Clouds/") + field);
        f << "offset 0 0 0\nwind 1\nwrap 1\ncentre 0 0 0\nhalf 700\nclouds 4\n";
        for (int c = 0; c < 4; ++c)
            f << "cloud bench_cloud.txt\nposition " << c * 120 - 180 << " 400 250\nscale 1\nturn 0\nreserved 0\n";
    }
    std::ofstream("Data/Clouds/bench_states.txt")
        << "count 2\n"
        << "fade 5\nbase 0.01\nspread 0\nfield a.txt\nr 0\nr 0\nr 0\nr 0\nr 0\nr 0\nr 0\nr 0\no 0\np 1\nr 0\n"
        << "fade 5\nbase 1000\nspread 0.1\nfield b.txt\nr 0\nr 0\nr 0\nr 0\nr 0\nr 0\nr 0\nr 0\no 0\np 1\nr 0\n";
    std::ostringstream s;
    s << "t 1\nstart 0\nradius 800\nheight 0.5\nsegments 64\ncentre 0 0 -40\ntex none.tga\nfx none.fx\nrows 5\n"
         "layers 1\nbillboards 2\nbb0 none.fx\nbb1 none.fx\nfields 2\nstates bench_states.txt\n"
         "d 600\na 255\nangle 0\ngrey 3\n";
    for (int r = 0; r < 5; ++r) s << "row " << 200 - 30 * r << " 180 230\n";
    s << "sun 255 240 220\namb 90 90 100\ncs 255 250 240\ncsh 120 120 140\nfog 180 190 210\nr 0\nr 0\nr 0\nd 0\n";
    for (int b = 0; b < 2; ++b) s << "a 0\ne 1\ns 1\nadv 0\n";
    for (int b = 0; b < 2; ++b) s << "dir 0.5 0.3 0.8\nsize 40\ndist 700\nspin 0\ncount 1\ntex none.tga\n";
    s << "field a.txt\nfield b.txt\n";
    std::ofstream("Data/Clouds/bench_sky.txt") << s.str();
    InvalidatePathCache();

    Skyscape sky;
    sky.Load("bench_sky.txt");
    if (!sky.IsDrawable()) return -1;
    SkyViewMatrix = MatLookAtLH(Vec3(0, 0, 0), Vec3(0, 1, 0.3f), Vec3(0, 0, 1));
    MatInverse(SkyViewInverse, nullptr, SkyViewMatrix);
    // Both fields show: the first state ends at once and the second fades in over it.
    sky.Render(0.02f);
    if (sky.GetActiveFields().size() != 2) return -1;
    std::vector<double> times;
    for (int f = 0; f < frames; ++f) {
        const auto start = Clock::now();
        sky.Render(0.02f);
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    return Median(times);
}

} // namespace

int main(int argc, char** argv) {
    const bool smoke = argc > 1 && std::strcmp(argv[1], "--smoke") == 0;
    const fs::path root = fs::temp_directory_path() / ("vastrel-bench-fx-" + std::to_string(::getpid()));
    fs::create_directories(root);
    fs::current_path(root);
    EngineSrand(3);
    CPRender render; // the sky's outputs reach a renderer without a device
    const double particles = Particles(smoke ? 5 : 300);
    const double sky = Sky(smoke ? 5 : 300);
    fs::current_path(fs::temp_directory_path());
    fs::remove_all(root);
    if (sky < 0) {
        std::fprintf(stderr, "bench_fx: the bench sky did not load\n");
        return 1;
    }
    Report("particles_10k", particles, 1.0);
    Report("sky_frame", sky, 0.3);
    return 0;
}
