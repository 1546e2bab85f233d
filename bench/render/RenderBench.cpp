// bench_render: the renderer's costs on one core. Each scene prints one line
//   scene=<name> ours_ms=<median> budget_ms=<b> ratio=<ours/budget> draws=<n> objects=<n>
// queue_5000 and quadtree_10000 run on the null device (queueing, filling and walking the queue,
// and culling, without a GPU); animated_100k, vertex_effects_100k and part_animation_1000 time the
// animation's CPU work (filling animated parts an hour into their animation, three vertex effects,
// key-frame tasks with their transform updates); scene_frame draws the GL scene test's whole
// 1024 x 768 frame on the real device against the 16.7 ms of 60 frames a second, with "bloom" and
// "blur" off, and scene_frame_post the same with both on and a layer before the bloom, so that
// the speed blur and the bloom both run. decal_1000 builds the car's ground shadow over the most
// road triangles a step lists (1000) against 0.1 ms; load_car builds the demo car from its
// description and mesh file, warm (file cache, materials and static meshes known), against 1 ms.
// The ratio is ours over the budget. `--smoke` runs a few iterations of each and makes no timing
// claims.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Core/PGlobalTimer.h"
#include "Core/PPath.h"
#include "Core/PSettings.h"
#include "Platform/GlDevice.h"
#include "Platform/NullDevice.h"
#include "Race/PPhysicData.h"
#include "Render/MeshFile.h"
#include "Render/PAnimatedObject.h"
#include "Render/PAnimationManager.h"
#include "Render/PMaterialManager.h"
#include "Render/PMeshManager.h"
#include "Render/PPartAnimation.h"
#include "Render/PPerspectiveCamera.h"
#include "Render/PQuadTreeNode.h"
#include "Render/PRender.h"
#include "Render/PRenderBlock.h"
#include "Render/PRenderObject.h"
#include "Render/PRenderQueue.h"
#include "Render/PVertexEffect.h"
#include "Render/ShadowDecal.h"
#include "RenderGL/DemoScene.h"
#include "RenderGL/SceneSupport.h"

namespace {

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

double TimeMs(int iterations, const std::function<void()>& body) {
    std::vector<double> ms;
    for (int i = 0; i < iterations; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        body();
        const auto t1 = std::chrono::steady_clock::now();
        ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
    }
    return Median(ms);
}

void Report(const char* scene, double ours, double budget, int draws, int objects) {
    std::printf("scene=%s ours_ms=%.4f budget_ms=%.1f ratio=%.3f draws=%d objects=%d\n", scene, ours, budget,
                budget > 0 ? ours / budget : 0.0, draws, objects);
}

// A game root of its own with the stand-in effect, so every material draws with one fixed pass.
class BenchRoot {
public:
    BenchRoot() {
        previous_ = std::filesystem::current_path();
        std::string pattern = (std::filesystem::temp_directory_path() / "vastrel-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data())) return;
        root_ = pattern;
        std::filesystem::create_directories(root_ / "Data" / "Effects");
        std::ofstream(root_ / "Data" / "Effects" / "simple.fx") << "technique T { pass P { fixed; } }\n";
        std::filesystem::current_path(root_);
        InvalidatePathCache();
    }
    ~BenchRoot() {
        if (root_.empty()) return;
        std::filesystem::current_path(previous_);
        std::filesystem::remove_all(root_);
        InvalidatePathCache();
    }

private:
    std::filesystem::path previous_, root_;
};

struct NullWorld {
    BenchRoot root;
    std::unique_ptr<Platform::NullDevice> device;
    std::unique_ptr<CPMaterialManager> materials;
    std::unique_ptr<CPRenderQueue> queue;
    NullWorld() {
        Platform::PresentParameters params;
        params.BackBufferWidth = 1024;
        params.BackBufferHeight = 768;
        params.BackBufferFormat = Platform::Format::A8R8G8B8;
        device = std::make_unique<Platform::NullDevice>(params, Platform::DeviceCaps{});
        materials = std::make_unique<CPMaterialManager>();
        materials->SetDevice(device.get());
        queue = std::make_unique<CPRenderQueue>();
    }
    ~NullWorld() {
        CurrentCamera.Reset();
        queue.reset();
        CPManagedObject::CollectGarbage();
        materials.reset();
        CPManagedObject::CollectGarbage();
    }
};

int QueueScene(bool smoke) {
    NullWorld world;
    // Without data the materials fall back to stand-ins that still compile: every effect here is the
    // device's fixed drawing, one pass.
    std::vector<CPRefPtr<CPMaterial>> materials;
    for (int i = 0; i < 50; ++i)
        materials.push_back(world.materials->GetMaterial(20 + i % 5, "bench" + std::to_string(i) + ".fx", {}));
    std::vector<CPRefPtr<CPGameObject>> boxes;
    for (int i = 0; i < 5000; ++i)
        boxes.push_back(SceneSupport::Box("box", materials[static_cast<size_t>(i % 50)],
                                          Vec3(static_cast<float>(i % 100), static_cast<float>(i / 100), 0),
                                          Vec3(0.4f, 0.4f, 0.4f)));
    CPRefPtr<CPRenderBlock> block(new CPRenderBlock());
    block->Init(world.device.get(), false, 2);
    int draws = 0;
    auto frame = [&] {
        ++FrameCounter;
        for (const auto& b : boxes) block->AddObject(b.Get());
        block->Submit();
        block->Fill();
        world.device->calls.clear();
        world.queue->ForgetBoundBuffers();
        world.queue->Draw(*world.device, nullptr, false);
        draws = world.queue->GetDrawCount();
        block->ResetFrame();
    };
    frame();
    const double ms = TimeMs(smoke ? 2 : 200, frame);
    Report("queue_5000", ms, 2.0, draws, static_cast<int>(boxes.size()));
    return 0;
}

int QuadtreeScene(bool smoke) {
    NullWorld world;
    auto material = world.materials->GetMaterial(20, "bench.fx", {});
    std::vector<CPRefPtr<CPGameObject>> objects;
    for (int i = 0; i < 10000; ++i)
        objects.push_back(SceneSupport::Box(
            "o", material,
            Vec3(-1000 + 20.0f * static_cast<float>(i % 100) + 10, -1000 + 20.0f * static_cast<float>(i / 100) + 10, 0),
            Vec3(1, 1, 1)));
    const int levels = g_quadlevels, distance = g_distance;
    g_quadlevels = 6;
    g_distance = 400;
    CPQuadTreeNode root;
    root.SetBox(Vec3(0, 0, 0), Vec3(1000, 1000, 50));
    root.Build(objects, 0);
    CPRefPtr<CPPerspectiveCamera> camera(new CPPerspectiveCamera());
    camera->eye = Vec3(0, 0, 20);
    camera->lookAt = Vec3(100, 40, 0);
    camera->fov = 1.5707963f;
    camera->nearPlane = 1;
    camera->farPlane = 1000;
    camera->viewDirty = camera->projectionDirty = true;
    camera->Recalculate();
    CPRefPtr<CPRenderBlock> block(new CPRenderBlock());
    block->Init(world.device.get(), false, 2);
    int queued = 0;
    auto frame = [&] {
        root.Cull(*camera, block.Get());
        const CPIVBlock* iv = block->FindBlock(material.Get());
        queued = iv ? static_cast<int>(iv->renderables.size()) : 0;
        block->ResetFrame();
    };
    frame();
    const double ms = TimeMs(smoke ? 2 : 500, frame);
    Report("quadtree_10000", ms, 0.5, queued, static_cast<int>(objects.size()));
    g_quadlevels = levels;
    g_distance = distance;
    return 0;
}

// 50 animated parts of 2,000 vertices (8 frames each), an hour into their animation: the counts
// and the fill of every part, into one buffer.
int AnimatedScene(bool smoke) {
    CPAnimationManager animations;
    MeshFile::VertexAnimation block;
    block.frameTime = 2400.0f / 12.0f;
    for (int f = 0; f < 8; ++f) {
        MeshFile::Frame frame;
        frame.vertices.resize(2000);
        for (int i = 0; i < 2000; ++i) {
            frame.vertices[static_cast<size_t>(i)].position =
                Vec3(static_cast<float>(i % 50), static_cast<float>(f), 0);
            frame.vertices[static_cast<size_t>(i)].normal = Vec3(0, 0, 1);
        }
        for (int i = 0; i + 2 < 2000; i += 2)
            for (int k : {0, 1, 2}) frame.indices.push_back(static_cast<CPIndex>(i + k));
        block.frames.push_back(frame);
    }
    std::vector<CPRefPtr<CPGameObject>> owners;
    std::vector<CPRefPtr<CPAnimatedObject>> parts;
    for (int i = 0; i < 50; ++i) {
        CPRefPtr<CPGameObject> owner(new CPGameObject("runner"));
        owner->SetPosition(Vec3(static_cast<float>(i), 0, 0));
        owner->UpdateTransform();
        CPRefPtr<CPAnimatedObject> part(new CPAnimatedObject(owner.Get()));
        part->AddAnimation("run", animations.Get("run&bench.amf", block));
        part->speed = 1.0f + 0.01f * static_cast<float>(i);
        owners.push_back(owner);
        parts.push_back(part);
    }
    std::vector<CPVertex> vertices(2000 * 50);
    std::vector<CPIndex> indices(3000 * 50);
    TotalTime = 3600.0;
    int filled = 0;
    auto frame = [&] {
        TotalTime += 1.0 / 60;
        CPVertex* v = vertices.data();
        CPIndex* x = indices.data();
        filled = 0;
        for (const auto& part : parts) {
            const int nv = part->GetVertexCount(), ni = part->GetIndexCount();
            part->Fill(v, x, 0, 0);
            v += nv;
            x += ni;
            filled += nv;
        }
    };
    frame();
    const double ms = TimeMs(smoke ? 2 : 300, frame);
    Report("animated_100k", ms, 1.5, 0, filled);
    TotalTime = 0;
    parts.clear();
    owners.clear();
    CPManagedObject::CollectGarbage();
    return 0;
}

// "movingtex", "flick" and "anim" each over the same 100,000 vertices, in place.
int VertexEffectsScene(bool smoke) {
    std::vector<CPVertex> vertices(100000);
    for (size_t i = 0; i < vertices.size(); ++i) {
        vertices[i].diffuse = 0xFFFFFFFFu;
        vertices[i].tu = static_cast<float>(i % 7) / 7.0f;
        vertices[i].tv = static_cast<float>(i % 5) / 5.0f;
    }
    const CPRefPtr<CPVertexEffect> effects[] = {CreateVertexEffect("movingtex", {"0.5", "0.25"}),
                                                CreateVertexEffect("flick", {"9", "40", "255"}),
                                                CreateVertexEffect("anim", {"4", "2", "12"})};
    FrameDelta = 1.0f / 60;
    auto frame = [&] {
        for (const auto& e : effects) e->Apply(vertices.data(), vertices.data(), static_cast<int>(vertices.size()));
    };
    frame();
    const double ms = TimeMs(smoke ? 2 : 300, frame);
    FrameDelta = 0;
    Report("vertex_effects_100k", ms, 0.6, 0, static_cast<int>(vertices.size()));
    return 0;
}

// 1,000 key-frame tasks, each moving its own part of a parent, with the transform updates.
int PartAnimationScene(bool smoke) {
    CPRefPtr<CPGameObject> parent(new CPGameObject("stand"));
    std::vector<CPRefPtr<CPPartAnimation>> tasks;
    for (int i = 0; i < 1000; ++i) {
        CPRefPtr<CPGameObject> part(new CPGameObject("part"));
        part->SetPosition(Vec3(static_cast<float>(i % 40), static_cast<float>(i / 40), 0));
        part->AddCollisionBox(CPOrientedBox(Vec3(), Vec3(0.5f, 0.5f, 0.5f)));
        parent->AddChild(part);
        CPRefPtr<CPPartAnimation> task(new CPPartAnimation());
        for (int k = 0; k < 14; ++k) {
            task->keyMatrices.push_back(MatRotationZ(0.5235988f * static_cast<float>(k)));
            task->keyDurations.push_back(0.5f);
        }
        task->loop = true;
        task->SetTarget(part.Get());
        task->Start();
        tasks.push_back(task);
    }
    parent->UpdateTransform();
    FrameDelta = 1.0f / 60;
    auto frame = [&] {
        for (const auto& t : tasks) t->Update();
    };
    frame();
    const double ms = TimeMs(smoke ? 2 : 300, frame);
    FrameDelta = 0;
    Report("part_animation_1000", ms, 0.3, 0, static_cast<int>(tasks.size()));
    tasks.clear();
    parent.Reset();
    CPManagedObject::CollectGarbage();
    return 0;
}

// The GL scene test's frame: the demo scene queued and drawn at 1024 x 768 on the real device
// (llvmpipe when there is no GPU), the read-back excluded; without post passes, then with the
// speed blur and the bloom (a layer at 120 puts the bloom in the walk).
int SceneFrame(bool smoke) {
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) setenv("SDL_VIDEODRIVER", "offscreen", 0);
    BenchRoot root;
    const std::filesystem::path effects = std::filesystem::path(VASTREL_SOURCE_DIR) / "data" / "Data" / "Effects";
    std::filesystem::copy(effects, "Data/Effects",
                          std::filesystem::copy_options::recursive | std::filesystem::copy_options::overwrite_existing);
    const std::string mkdata = std::string(VASTREL_BINARY_DIR) + "/bin/mkdata .";
    if (std::system(mkdata.c_str()) != 0) {
        std::printf("scene=scene_frame skipped: mkdata failed\n");
        return 1;
    }
    InvalidatePathCache();
    const int width = g_screenWidth, height = g_screenHeight;
    g_screenWidth = 1024;
    g_screenHeight = 768;
    int status = 0;
    {
        auto materials = std::make_unique<CPMaterialManager>();
        CPRefPtr<CPRender> render(new CPRender());
        render->SetBackend(Platform::CreateGlBackend());
        if (!render->Start()) {
            std::printf("scene=scene_frame skipped: no OpenGL 3.3 context\n");
        } else {
            SceneSupport::DemoScene scene(*render, *materials);
            float angle = 0;
            int draws = 0;
            auto frame = [&] {
                ++FrameCounter;
                scene.SetOrbit(angle += 0.01f);
                scene.Queue();
                render->Update();
                draws = render->GetRenderQueue().GetDrawCount();
            };
            const int objects = static_cast<int>(scene.crates.size() + scene.sprites.size() + 7);
            for (const bool post : {false, true}) {
                g_bloom = g_blur = post ? 1 : 0;
                if (post) render->SetLayerCamera(120, scene.camera.Get());
                for (int i = 0; i < 3; ++i) frame();
                const double ms = TimeMs(smoke ? 2 : 60, frame);
                Report(post ? "scene_frame_post" : "scene_frame", ms, 16.7, draws, objects);
            }
            render->ReleaseLayer(120);
            render->Stop();
        }
        render.Reset();
        CPManagedObject::CollectGarbage();
        materials.reset();
        CPManagedObject::CollectGarbage();
    }
    g_screenWidth = width;
    g_screenHeight = height;
    return status;
}

// A road of 40 x 40 unit squares (3200 triangles) under a car at its middle; the step lists 1000
// of them, as many as it may.
int DecalScene(bool smoke) {
    constexpr int kSide = 40;
    std::vector<float> vertices;
    for (int y = 0; y <= kSide; ++y)
        for (int x = 0; x <= kSide; ++x)
            vertices.insert(vertices.end(), {static_cast<float>(x - kSide / 2), static_cast<float>(y - kSide / 2),
                                             0.01f * static_cast<float>(x + y), 0});
    std::vector<int> table;
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x) {
            const int i = y * (kSide + 1) + x;
            table.insert(table.end(), {i, i + 1, i + kSide + 2, 0, 0, 0, i, i + kSide + 2, i + kSide + 1, 0, 0, 0});
        }
    std::vector<int> listed;
    for (int t = 0; t < DecalGround::kMaxTriangles; ++t) listed.push_back((t * 3) % (kSide * kSide * 2));
    DecalGround ground;
    ground.triangles = listed.data();
    ground.triangleCount = static_cast<int>(listed.size());
    ground.vertices = vertices.data();
    ground.vertexCount = static_cast<int>(vertices.size() / 4);
    ground.table = table.data();
    ground.tableCount = static_cast<int>(table.size() / 6);

    CPRefPtr<CPGameObject> shadow(new CPGameObject("shadow"));
    CPRefPtr<CPRenderObject> mesh(new CPRenderObject(shadow.Get()));
    shadow->SetRenderType(CPGameObject::RenderMesh);
    shadow->SetRenderPart(mesh);
    shadow->SetBoundingBox(CPOrientedBox(Vec3(), Vec3(1, 2.1f, 0.5f)));
    float heading = 0;
    const double ms = TimeMs(smoke ? 2 : 1000, [&] {
        heading += 0.001f;
        BuildShadowDecal(*shadow, MatRotationZ(heading) * MatTranslation(0.3f, -0.2f, 0.5f), ground);
    });
    Report("decal_1000", ms, 0.1, 0, static_cast<int>(mesh->indices.size() / 3));
    const int status = mesh->indices.size() == 3u * DecalGround::kMaxTriangles ? 0 : 1;
    shadow.Reset();
    mesh.Reset();
    CPManagedObject::CollectGarbage();
    return status;
}

// Physics data as the game makes it; no particle systems in the car.
class BenchParts : public CPMeshPartMaker {
public:
    CPPhysicShapes* MakePhysicData(CPGameObject& object) override {
        CPRefPtr<CPPhysicData> data(new CPPhysicData(&object));
        object.SetPhysicData(data);
        return data.Get();
    }
    CPRefPtr<CPManagedObject> MakeParticleSystem(CPGameObject*, const std::vector<std::string>&, float) override {
        return {};
    }
};

// The demo car through the description loader on the null device, as a showroom loads it.
int LoadCarScene(bool smoke) {
    BenchRoot root;
    const std::filesystem::path data = std::filesystem::path(VASTREL_SOURCE_DIR) / "data" / "Data";
    std::filesystem::copy(data / "Effects", "Data/Effects",
                          std::filesystem::copy_options::recursive | std::filesystem::copy_options::overwrite_existing);
    std::filesystem::create_directories("Data/Meshes");
    std::filesystem::copy(data / "Meshes", "Data/Meshes",
                          std::filesystem::copy_options::recursive | std::filesystem::copy_options::overwrite_existing);
    const std::string mkdata = std::string(VASTREL_BINARY_DIR) + "/bin/mkdata . > /dev/null";
    if (std::system(mkdata.c_str()) != 0) {
        std::printf("scene=load_car skipped: mkdata failed\n");
        return 1;
    }
    InvalidatePathCache();
    int status = 0;
    {
        CPAnimationManager animations;
        auto materials = std::make_unique<CPMaterialManager>();
        CPMeshManager meshes;
        BenchParts parts;
        meshes.SetPartMaker(&parts);
        CPRefPtr<CPRender> render(new CPRender());
        render->SetBackend(std::make_unique<Platform::NullBackend>());
        if (!render->Start()) {
            std::printf("scene=load_car skipped: the null device did not start\n");
            status = 1;
        } else {
            int objects = 0;
            auto load = [&] {
                CPRefPtr<CPGameObject> car = meshes.LoadRenderObject("car.rdf", 225);
                CPGameObject::ObjectList all;
                if (car) car->CollectObjects(all);
                objects = static_cast<int>(all.size());
            };
            load(); // cold: reads the files, makes the materials and static meshes
            std::vector<double> ms;
            for (int i = 0; i < (smoke ? 2 : 300); ++i) {
                const auto t0 = std::chrono::steady_clock::now();
                load();
                const auto t1 = std::chrono::steady_clock::now();
                ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
                CPManagedObject::CollectGarbage();
            }
            Report("load_car", Median(ms), 1.0, 0, objects);
            if (objects != 5) status = 1; // the body and its four wheels
            render->Stop();
        }
        render.Reset();
        CPManagedObject::CollectGarbage();
        materials.reset();
        CPManagedObject::CollectGarbage();
    }
    return status;
}

} // namespace

int main(int argc, char** argv) {
    bool smoke = false;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--smoke") == 0) smoke = true;
    CPSettingsManager::ResetDefaults();
    int status = 0;
    status |= QueueScene(smoke);
    status |= QuadtreeScene(smoke);
    status |= DecalScene(smoke);
    status |= LoadCarScene(smoke);
    status |= AnimatedScene(smoke);
    status |= VertexEffectsScene(smoke);
    status |= PartAnimationScene(smoke);
    status |= SceneFrame(smoke);
    return status;
}
