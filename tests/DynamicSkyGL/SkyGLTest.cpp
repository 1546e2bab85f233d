// The sky and the particles on the real device, read back: the dome shows each time-of-day layer's
// ring colours with the layer's fog, ambient and sun light; particle bursts cover their projected
// squares, add or blend where they overlap and show the atlas cell of their age; and the demo yard
// under the demo sky with smoke rising (written to build/test-output/ as PNG for a look).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "Core/PGlobalTimer.h"
#include "Core/PPath.h"
#include "Core/PRandom.h"
#include "Core/PSettings.h"
#include "DynamicSky/SkyGlobals.h"
#include "DynamicSky/Skyscape.h"
#include "Particles/PParticleRenderObject.h"
#include "Particles/PParticlesManager.h"
#include "Platform/GlDevice.h"
#include "Race/PLevel.h"
#include "Render/PMaterialManager.h"
#include "Render/PPerspectiveCamera.h"
#include "Render/PRender.h"
#include "Render/RenderTestSupport.h"
#include "RenderGL/DemoScene.h"
#include "RenderGL/PngWriter.h"

using namespace Platform;

namespace {

const bool g_videoDriverChosen = [] {
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) setenv("SDL_VIDEODRIVER", "offscreen", 0);
    return true;
}();

int Channel(uint32_t argb, int shift) { return static_cast<int>((argb >> shift) & 0xFF); }

::testing::AssertionResult Near(uint32_t actual, int r, int g, int b, int tolerance = 3) {
    const int ar = Channel(actual, 16), ag = Channel(actual, 8), ab = Channel(actual, 0);
    if (std::abs(ar - r) <= tolerance && std::abs(ag - g) <= tolerance && std::abs(ab - b) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "pixel (" << ar << ", " << ag << ", " << ab << ") expected (" << r << ", "
                                         << g << ", " << b << ") within " << tolerance;
}

std::vector<uint8_t> ReadFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

const std::filesystem::path kData = std::filesystem::path(VASTREL_SOURCE_DIR) / "data" / "Data";

class SkyGLTest : public ::testing::Test {
protected:
    static constexpr int W = 640, H = 480;

    void SetUp() override {
        (void)g_videoDriverChosen;
        CPSettingsManager::ResetDefaults();
        g_screenWidth = W;
        g_screenHeight = H;
        g_fullScreen = 0;
        FrameCounter = 0;
        FrameDelta = 0.0f;
        SkySunPosition = Vec3();
        root_ = std::make_unique<RenderSupport::ScopedGameRoot>();
        for (const auto& e : std::filesystem::directory_iterator(kData / "Effects"))
            root_->Put("Data/Effects/" + e.path().filename().string(), ReadFile(e.path()));
        for (const auto& e : std::filesystem::directory_iterator(kData / "Clouds"))
            root_->Put("Data/Clouds/" + e.path().filename().string(), ReadFile(e.path()));
        root_->Put("Data/Textures/error.tga", RenderSupport::SolidTga(2, 2, 0xFFFF00FF));
        materials_ = std::make_unique<CPMaterialManager>();
        render_ = CPRefPtr<CPRender>(new CPRender());
        render_->SetBackend(CreateGlBackend());
        render_->SetSkyHooks(SkyHooks{&MakeSkyscape, [] { return GetLevel() != nullptr; }, &SkyRenderer::SetDevice});
    }
    bool Start() {
        InvalidatePathCache();
        return render_->Start();
    }
    void TearDown() override {
        level_.Reset();
        CurrentCamera.Reset();
        if (render_ && render_->GetDevice()) render_->Stop();
        render_.Reset();
        CPManagedObject::CollectGarbage();
        materials_.reset();
        CPManagedObject::CollectGarbage();
        root_.reset();
        CPSettingsManager::ResetDefaults();
        SkySunPosition = Vec3();
        FrameDelta = 0.0f;
    }
    CPRefPtr<CPPerspectiveCamera> Camera(const Vec3& eye, const Vec3& at) {
        CPRefPtr<CPPerspectiveCamera> camera(new CPPerspectiveCamera());
        camera->eye = eye;
        camera->lookAt = at;
        camera->up = Vec3(0, 0, 1);
        camera->fov = 1.0471976f;
        camera->nearPlane = 1;
        camera->farPlane = 1000;
        camera->viewDirty = camera->projectionDirty = true;
        camera->Recalculate();
        CurrentCamera = camera;
        return camera;
    }
    std::vector<uint32_t> Frame() {
        ++FrameCounter;
        render_->Update();
        std::vector<uint32_t> pixels;
        int w = 0, h = 0;
        EXPECT_EQ(render_->GetDevice()->ReadBackBuffer(pixels, w, h), DeviceResult::Ok);
        return pixels;
    }
    // The pixel a point lands on through the matrix, or false when it is off the screen.
    static bool Project(const Vec3& p, const Mat4& viewProjection, int& x, int& y) {
        const Vec4 clip = Vec3Transform(p, viewProjection);
        if (clip.w <= 0) return false;
        x = int(std::lround((clip.x / clip.w + 1) * 0.5f * W - 0.5f));
        y = int(std::lround((1 - clip.y / clip.w) * 0.5f * H - 0.5f));
        return x >= 0 && x < W && y >= 0 && y < H;
    }

    std::unique_ptr<RenderSupport::ScopedGameRoot> root_;
    std::unique_ptr<CPMaterialManager> materials_;
    CPRefPtr<CPRender> render_;
    CPRefPtr<CPLevel> level_;
};

// A ring's colour as the sky paints it: band b from row b, one step per ring ahead, truncated.
int RingChannel(float from, float to, int ringsPerBand, int ringInBand) {
    const float step = (to - from) / static_cast<float>(ringsPerBand);
    float running = from;
    for (int k = 0; k <= ringInBand; ++k) running = std::clamp(running + step, 0.0f, 255.0f);
    return static_cast<int>(running);
}

TEST_F(SkyGLTest, EachDemoLayerPaintsTheDomeAndSetsFogAmbientAndSun) {
    // The dome texture white and the clouds clear, so the dome shows its vertex colours as they are.
    root_->Put("Data/Textures/skydome.tga", RenderSupport::SolidTga(4, 4, 0xFFFFFFFF));
    root_->Put("Data/Textures/sun.tga", RenderSupport::SolidTga(4, 4, 0xFFFFFFFF));
    root_->Put("Data/Textures/moon.tga", RenderSupport::SolidTga(4, 4, 0xFFFFFFFF));
    root_->Put("Data/Textures/cloud.tga", RenderSupport::SolidTga(4, 4, 0x00FFFFFF));
    if (!Start()) GTEST_SKIP() << "no OpenGL 3.3 context can be made here";
    level_ = CPRefPtr<CPLevel>(new CPLevel());
    const std::vector<uint8_t> original = ReadFile(kData / "Clouds" / "skyscape1.txt");
    const std::string text(original.begin(), original.end());
    const char* names[] = {"dawn", "noon", "dusk", "night"};
    for (int layer = 0; layer < 4; ++layer) {
        SCOPED_TRACE(names[layer]);
        std::string edited = text;
        const size_t at = edited.find("startlayer ");
        ASSERT_NE(at, std::string::npos);
        edited.replace(at, edited.find('\n', at) - at, "startlayer " + std::to_string(layer));
        root_->Put("Data/Clouds/skyscape7.txt", std::vector<uint8_t>(edited.begin(), edited.end()));
        render_->CreateSky(7);
        auto* sky = dynamic_cast<Skyscape*>(render_->GetSky());
        ASSERT_NE(sky, nullptr);
        ASSERT_TRUE(sky->IsDrawable());
        const SkyLayer& l = sky->GetLayers()[static_cast<size_t>(layer)];
        // Look away from the sun, a little up, so neither its glow nor its haze reaches the rings.
        const Vec3 sun = sky->GetBillboards()[0]->GetDirection();
        const Vec3 away = Normalize(Vec3(-sun.x, -sun.y, 0)) + Vec3(0, 0, 0.1f);
        Camera(Vec3(0, 0, 2), Vec3(0, 0, 2) + away);
        FrameDelta = 0.02f;
        Frame(); // the first frame sets the sun; the second has its glow
        const std::vector<uint32_t> p = Frame();

        EXPECT_EQ(render_->GetFogColor(), SkyPackColor(l.fog.x, l.fog.y, l.fog.z));
        EXPECT_FLOAT_EQ(render_->GetAmbientFloats()[0], l.ambient.x / 255.0f);
        EXPECT_FLOAT_EQ(render_->GetAmbientFloats()[2], l.ambient.z / 255.0f);
        const LightRecord& light = render_->GetDirectionalLight();
        EXPECT_FLOAT_EQ(light.Diffuse.r, SkyLightByte(l.sun.x / 255.0f) / 256.0f);
        EXPECT_FLOAT_EQ(light.Diffuse.b, SkyLightByte(l.sun.z / 255.0f) / 256.0f);
        EXPECT_NEAR(Dot(light.Direction, sun), -1.0f, 1e-5);

        const Mat4 viewProjection = SkyViewMatrix * render_->GetSkyProjection();
        const int n = sky->GetSegments(), perBand = sky->GetRingsPerBand();
        int checked = 0;
        for (int ring : {2, 6}) {
            const int band = ring / perBand, inBand = ring % perBand;
            const Vec3& a = l.rows[static_cast<size_t>(band)];
            const Vec3& b = l.rows[static_cast<size_t>(band) + 1];
            // The vertex of the ring nearest the middle of the screen.
            int best = -1, bestX = 0, bestY = 0;
            for (int i = 0; i < n; ++i) {
                const Vec3 v = sky->GetVertices()[static_cast<size_t>(ring * (n + 1) + i)].position;
                int x = 0, y = 0;
                if (Dot(Normalize(v), sun) >= 0.0f || !Project(v, viewProjection, x, y)) continue;
                if (best < 0 || std::abs(x - W / 2) < std::abs(bestX - W / 2)) best = i, bestX = x, bestY = y;
            }
            ASSERT_GE(best, 0) << "ring " << ring << " is not in view";
            EXPECT_TRUE(Near(p[static_cast<size_t>(bestY) * W + bestX], RingChannel(a.x, b.x, perBand, inBand),
                             RingChannel(a.y, b.y, perBand, inBand), RingChannel(a.z, b.z, perBand, inBand)))
                << "ring " << ring << " at " << bestX << "," << bestY;
            ++checked;
        }
        EXPECT_EQ(checked, 2);
    }
    render_->DeleteSky();
}

class ParticleGLTest : public SkyGLTest {
protected:
    void SetUp() override {
        SkyGLTest::SetUp();
        root_->Put("Data/Textures/white.tga", RenderSupport::SolidTga(4, 4, 0xFFFFFFFF));
        // Two cells side by side: red, then green.
        std::vector<uint32_t> cells(8 * 4);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 8; ++x) cells[static_cast<size_t>(y) * 8 + x] = x < 4 ? 0xFFFF0000 : 0xFF00FF00;
        root_->Put("Data/Textures/cells.tga", RenderSupport::MakeTga(8, 4, cells));
        if (!Start()) GTEST_SKIP() << "no OpenGL 3.3 context can be made here";
        camera_ = Camera(Vec3(0, 0, 0), Vec3(0, 10, 0));
        render_->SetLayerCamera(22, camera_.Get());
    }
    void TearDown() override {
        types_.clear();
        if (render_) render_->ReleaseLayer(22);
        SkyGLTest::TearDown();
    }
    CPParticleRenderObject& Type(const std::string& effect, const std::string& texture) {
        CPRefPtr<CPParticleRenderObject> type(new CPParticleRenderObject());
        type->SetMaterial(materials_->GetMaterial(22, effect, {texture}));
        types_.push_back(type);
        return *type;
    }
    static CPParticle At(const Vec3& position, float age = 0, float life = 10) {
        CPParticle p;
        p.position = position;
        p.age = age;
        p.life = life;
        p.size = 2;
        return p;
    }
    std::vector<uint32_t> Draw() {
        for (const auto& t : types_) render_->GetDynamicRenderBlock()->AddRenderable(t.Get());
        return Frame();
    }
    // The square a particle of half edge s at p covers on the screen.
    void Square(const Vec3& p, float s, int& x0, int& y0, int& x1, int& y1) const {
        int ax = 0, ay = 0, bx = 0, by = 0;
        Project(p + Vec3(-s, 0, s), camera_->viewProjection, ax, ay);
        Project(p + Vec3(s, 0, -s), camera_->viewProjection, bx, by);
        // Seen along +y with z up, world x runs right to left on the screen.
        x0 = std::min(ax, bx), x1 = std::max(ax, bx), y0 = std::min(ay, by), y1 = std::max(ay, by);
    }
    CPRefPtr<CPPerspectiveCamera> camera_;
    std::vector<CPRefPtr<CPParticleRenderObject>> types_;
};

TEST_F(ParticleGLTest, ABurstCoversTheProjectedSquaresOfItsHalfEdges) {
    CPParticleRenderObject& type = Type("particle_add.fx", "white.tga");
    const Vec3 places[] = {{-6, 40, 0}, {0, 40, 3}, {7, 60, -4}};
    for (const Vec3& p : places) type.Emit(At(p));
    const std::vector<uint32_t> pixels = Draw();
    for (const Vec3& p : places) {
        int x0, y0, x1, y1;
        Square(p, 2, x0, y0, x1, y1);
        ASSERT_LT(x0 + 4, x1);
        SCOPED_TRACE(std::to_string(x0) + "," + std::to_string(y0) + " .. " + std::to_string(x1) + "," +
                     std::to_string(y1));
        EXPECT_TRUE(Near(pixels[static_cast<size_t>((y0 + y1) / 2) * W + (x0 + x1) / 2], 255, 255, 255));
        EXPECT_TRUE(Near(pixels[static_cast<size_t>(y0 + 1) * W + x0 + 1], 255, 255, 255));
        EXPECT_TRUE(Near(pixels[static_cast<size_t>(y1 - 1) * W + x1 - 1], 255, 255, 255));
        EXPECT_TRUE(Near(pixels[static_cast<size_t>(y0 - 2) * W + (x0 + x1) / 2], 0, 0, 0));
        EXPECT_TRUE(Near(pixels[static_cast<size_t>((y0 + y1) / 2) * W + x1 + 2], 0, 0, 0));
    }
}

TEST_F(ParticleGLTest, AdditiveParticlesAddWhereTheyOverlapAndBlendedOnesBlend) {
    CPParticleRenderObject& add = Type("particle_add.fx", "white.tga");
    add.AddColorKey({1.0f, 60 / 255.0f, 90 / 255.0f, 30 / 255.0f, 2});
    add.Emit(At({-5, 40, 0}));
    add.Emit(At({-3, 40, 0}));
    // Keys from half-transparent red (age 0) to opaque blue (end of life); the oldest is drawn last.
    CPParticleRenderObject& blend = Type("particle_alpha.fx", "white.tga");
    blend.AddColorKey({128 / 255.0f, 1, 0, 0, 2});
    blend.AddColorKey({1, 0, 0, 1, 2});
    blend.Emit(At({3, 40, 0}, 0, 10));
    blend.Emit(At({5, 40, 0}, 10, 10));
    const std::vector<uint32_t> p = Draw();
    auto pixel = [&](const Vec3& world) {
        int x = 0, y = 0;
        Project(world, camera_->viewProjection, x, y);
        return p[static_cast<size_t>(y) * W + x];
    };
    EXPECT_TRUE(Near(pixel({-6, 40, 0}), 60, 90, 30));
    EXPECT_TRUE(Near(pixel({-4, 40, 0}), 120, 180, 60));
    EXPECT_TRUE(Near(pixel({-2, 40, 0}), 60, 90, 30));
    EXPECT_TRUE(Near(pixel({2, 40, 0}), 128, 0, 0));
    EXPECT_TRUE(Near(pixel({4, 40, 0}), 128, 0, 127)); // red at 128/255 over opaque blue
    EXPECT_TRUE(Near(pixel({6, 40, 0}), 0, 0, 255));
}

TEST_F(ParticleGLTest, AnAtlasParticleShowsTheCellOfItsAge) {
    CPParticleRenderObject& type = Type("particle_add.fx", "cells.tga");
    type.SetAtlas(2, 1, 2);
    const struct {
        float age;
        int r, g;
    } cases[] = {{0.0f, 255, 0}, {0.9f, 255, 0}, {1.1f, 0, 255}, {1.9f, 0, 255}};
    for (const auto& c : cases) {
        type.Clear();
        type.Emit(At({0, 40, 0}, c.age, 2.0f));
        const std::vector<uint32_t> p = Draw();
        int x = 0, y = 0;
        Project(Vec3(0, 40, 0), camera_->viewProjection, x, y);
        EXPECT_TRUE(Near(p[static_cast<size_t>(y) * W + x], c.r, c.g, 0)) << c.age;
    }
}

class DemoSkyTest : public SkyGLTest {
protected:
    void SetUp() override {
        SkyGLTest::SetUp();
        g_screenWidth = 1024;
        g_screenHeight = 768;
        for (const char* file : {"particles.dat", "spots.dat", "particlesystems.dat", "flames.dat"})
            root_->Put(std::string("Data/") + file, ReadFile(kData / file));
        const std::string mkdata = std::string(VASTREL_BINARY_DIR) + "/bin/mkdata .";
        ASSERT_EQ(std::system(mkdata.c_str()), 0);
        if (!Start()) GTEST_SKIP() << "no OpenGL 3.3 context can be made here";
    }
};

TEST_F(DemoSkyTest, TheYardUnderTheDuskSkyWithSmokeRising) {
    SceneSupport::DemoScene scene(*render_, *materials_);
    CPRefPtr<CPParticlesManager> particles(new CPParticlesManager());
    ASSERT_TRUE(particles->Start());
    render_->SetLayerCamera(22, scene.camera.Get());
    level_ = CPRefPtr<CPLevel>(new CPLevel());
    render_->CreateSky(1);
    auto* sky = dynamic_cast<Skyscape*>(render_->GetSky());
    ASSERT_NE(sky, nullptr);
    ASSERT_TRUE(sky->IsDrawable());
    // Low over the yard, looking across it towards the sun.
    const Vec3 sun = sky->GetBillboards()[0]->GetDirection();
    const Vec3 toSun = Normalize(Vec3(sun.x, sun.y, 0));
    scene.camera->eye = Vec3(0, 0, 7) - toSun * 40.0f;
    scene.camera->lookAt = scene.camera->eye + toSun * 10.0f + Vec3(0, 0, 1.5f);
    scene.camera->viewDirty = scene.camera->projectionDirty = true;
    scene.camera->Recalculate();
    const Vec3 chimney = Vec3(0, 0, 2) - Vec3(-toSun.y, toSun.x, 0) * 8.0f;

    EngineSrand(7);
    const std::filesystem::path out = std::filesystem::path(VASTREL_BINARY_DIR) / "test-output";
    std::filesystem::create_directories(out);
    std::vector<uint32_t> clear, smoky;
    FrameDelta = 1.0f / 30;
    for (int frame = 0; frame < 90; ++frame) {
        if (frame < 2) {
            scene.Queue();
            clear = Frame(); // the sky alone, before any smoke (the first frame places the sun)
            continue;
        }
        for (int k = 0; k < 2; ++k) {
            CPParticleDesc puff;
            puff.typeName = "smoke";
            puff.position = chimney + Vec3((EngineRand() % 100) * 0.01f - 0.5f, (EngineRand() % 100) * 0.01f - 0.5f, 0);
            puff.velocity = Vec3(0.6f, 0.2f, 2.5f + (EngineRand() % 100) * 0.01f);
            puff.size = 0.7f;
            puff.growth = 0.6f;
            puff.life = 2.5f;
            particles->EmitParticle(puff);
        }
        particles->Update();
        scene.Queue();
        smoky = Frame();
    }
    PngWriter::Write(out / "sky-dusk-smoke.png", smoky, 1024, 768);
    PngWriter::Write(out / "sky-dusk.png", clear, 1024, 768);

    // Above the horizon the dome shows: neither the clear colour nor black.
    const Mat4 viewProjection = SkyViewMatrix * render_->GetSkyProjection();
    int skyPixels = 0;
    for (int x = 40; x < 1024; x += 97) {
        const uint32_t c = clear[static_cast<size_t>(60) * 1024 + x];
        if ((c & 0xFFFFFF) != 0) ++skyPixels;
    }
    EXPECT_GE(skyPixels, 9);
    (void)viewProjection;
    // The smoke column above the chimney changes what was there.
    int changed = 0;
    for (float h = 1.0f; h < 5.0f; h += 0.5f) {
        const Vec3 clip = Vec3TransformCoord(chimney + Vec3(0.3f * h, 0.1f * h, h), scene.camera->viewProjection);
        const int x = int(std::lround((clip.x + 1) * 0.5f * 1024 - 0.5f));
        const int y = int(std::lround((1 - clip.y) * 0.5f * 768 - 0.5f));
        if (x < 0 || x >= 1024 || y < 0 || y >= 768) continue;
        const uint32_t a = clear[static_cast<size_t>(y) * 1024 + x], b = smoky[static_cast<size_t>(y) * 1024 + x];
        if (std::abs(Channel(a, 16) - Channel(b, 16)) + std::abs(Channel(a, 8) - Channel(b, 8)) > 12) ++changed;
    }
    EXPECT_GE(changed, 4);
    render_->DeleteSky();
    particles->ClearAll();
}

} // namespace
