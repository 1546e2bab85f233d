// The renderer's whole frame on the real device, read back: depth and layer order, pass states,
// blending, shared effect values, texture blocks, fixed-function lighting and fog, the demo's lit
// solids under the light factor, sprites, screen layers, the quadtree's culling, and the demo scene
// seen from an orbiting camera (its frames are written to build/test-output/ as PNG for a look).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "Core/Math/Math.h"
#include "Core/PGlobalTimer.h"
#include "Core/PPath.h"
#include "Core/PSettings.h"
#include "Platform/Device.h"
#include "Platform/GlDevice.h"
#include "Render/PMaterialManager.h"
#include "Render/PPerspectiveCamera.h"
#include "Render/PQuadTreeNode.h"
#include "Render/PRender.h"
#include "Render/PRenderBlock.h"
#include "Render/RenderTestSupport.h"
#include "RenderGL/DemoScene.h"
#include "RenderGL/PngWriter.h"
#include "RenderGL/SceneSupport.h"

using namespace Platform;
using namespace SceneSupport;

namespace {

const bool g_videoDriverChosen = [] {
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) setenv("SDL_VIDEODRIVER", "offscreen", 0);
    return true;
}();

constexpr int W = 640, H = 480;

int Channel(uint32_t argb, int shift) { return static_cast<int>((argb >> shift) & 0xFF); }

::testing::AssertionResult Near(uint32_t actual, int r, int g, int b, int tolerance = 3) {
    const int ar = Channel(actual, 16), ag = Channel(actual, 8), ab = Channel(actual, 0);
    if (std::abs(ar - r) <= tolerance && std::abs(ag - g) <= tolerance && std::abs(ab - b) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "pixel (" << ar << ", " << ag << ", " << ab << ") expected (" << r << ", "
                                         << g << ", " << b << ") within " << tolerance;
}

// Unlit: the vertex colour as it is.
const char* kFlat = "technique T { pass P { fixed; Lighting = false; FogEnable = false; "
                    "Stage[0].ColorOp = SelectArg2; Stage[0].ColorArg2 = Diffuse; } }";
// The same, drawn over everything: depth testing off for this pass only.
const char* kOnTop = "technique T { pass P { fixed; Lighting = false; FogEnable = false; ZEnable = false; "
                     "Stage[0].ColorOp = SelectArg2; Stage[0].ColorArg2 = Diffuse; } }";
// Unlit texture.
const char* kTextured = "param texture2D tex0;\n"
                        "technique T { pass P { fixed; Lighting = false; FogEnable = false; "
                        "Stage[0].ColorOp = SelectArg1; Stage[0].ColorArg1 = Texture; } }";
// Prints a shared value as the colour (GLSL), so the frame's values can be read back.
std::string ShowEffect(const char* parameter) {
    return std::string("param float4x4 g_mViewInv shared;\nparam float4 g_vLight shared;\n"
                       "param float4 g_vLightColor shared;\nparam float4 g_vAmbient shared;\n"
                       "param float4 g_vCameraPos shared;\n") +
           "vertex V { void main() { gl_Position = VsToClip(vWorldViewProj * vec4(aPosition.xyz, 1.0)); } }\n"
           "fragment F { out vec4 outColor; void main() { outColor = vec4(" +
           parameter + ".rgb, 1.0); } }\ntechnique T { pass P { vertex = V; fragment = F; } }\n";
}

class RenderSceneTest : public ::testing::Test {
protected:
    void SetUp() override {
        (void)g_videoDriverChosen;
        CPSettingsManager::ResetDefaults();
        g_screenWidth = W;
        g_screenHeight = H;
        g_fullScreen = 0;
        FrameCounter = 0;
        root_ = std::make_unique<RenderSupport::ScopedGameRoot>();
        // The data set's own effects and textures, as the game would find them.
        const std::filesystem::path data = std::filesystem::path(VASTREL_SOURCE_DIR) / "data" / "Data" / "Effects";
        for (const auto& e : std::filesystem::directory_iterator(data))
            root_->Put("Data/Effects/" + e.path().filename().string(), Read(e.path()));
        PutEffect("flat.fx", kFlat);
        PutEffect("ontop.fx", kOnTop);
        PutEffect("textured.fx", kTextured);
        root_->Put("Data/Textures/error.tga", RenderSupport::SolidTga(2, 2, 0xFFFF00FF));
        materials_ = std::make_unique<CPMaterialManager>();
        render_ = CPRefPtr<CPRender>(new CPRender());
        render_->SetBackend(CreateGlBackend());
        if (!render_->Start()) GTEST_SKIP() << "no OpenGL 3.3 context can be made here";
        device_ = render_->GetDevice();
        block_ = render_->GetDynamicRenderBlock().Get();
    }
    void TearDown() override {
        objects_.clear();
        CurrentCamera.Reset();
        if (render_ && render_->GetDevice()) render_->Stop();
        render_.Reset();
        CPManagedObject::CollectGarbage();
        materials_.reset();
        CPManagedObject::CollectGarbage();
        root_.reset();
        CPSettingsManager::ResetDefaults();
    }
    static std::vector<uint8_t> Read(const std::filesystem::path& p) {
        std::ifstream in(p, std::ios::binary);
        return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    void PutEffect(const std::string& name, const std::string& text) {
        root_->Put("Data/Effects/" + name, std::vector<uint8_t>(text.begin(), text.end()));
    }
    CPRefPtr<CPMaterial> Material(int layer, const std::string& effect, const std::vector<std::string>& textures = {}) {
        return materials_->GetMaterial(layer, effect, textures);
    }
    // A camera at the origin looking along +z, bound to the layer.
    CPRefPtr<CPPerspectiveCamera> LayerCamera(int layer, float fov = ToRadian(60)) {
        CPRefPtr<CPPerspectiveCamera> c(new CPPerspectiveCamera());
        c->eye = Vec3(0, 0, 0);
        c->lookAt = Vec3(0, 0, 1);
        c->up = Vec3(0, 1, 0);
        c->fov = fov;
        c->nearPlane = 1;
        c->farPlane = 1000;
        c->viewDirty = c->projectionDirty = true;
        c->Recalculate();
        render_->SetLayerCamera(layer, c.Get());
        return c;
    }
    CPGameObject* Keep(const CPRefPtr<CPGameObject>& o) {
        objects_.push_back(o);
        return o.Get();
    }
    std::vector<uint32_t> Frame() {
        ++FrameCounter;
        render_->Update();
        std::vector<uint32_t> pixels;
        int w = 0, h = 0;
        EXPECT_EQ(device_->ReadBackBuffer(pixels, w, h), DeviceResult::Ok);
        return pixels;
    }
    static uint32_t At(const std::vector<uint32_t>& p, int x, int y) { return p[static_cast<size_t>(y) * W + x]; }
    // Where a world point lands on the screen under a camera (pixel centres on integers).
    static void Project(const CPPerspectiveCamera& c, const Vec3& p, float& x, float& y) {
        const Vec3 clip = Vec3TransformCoord(p, c.viewProjection);
        x = (clip.x + 1) * 0.5f * W - 0.5f;
        y = (1 - clip.y) * 0.5f * H - 0.5f;
    }

    std::unique_ptr<RenderSupport::ScopedGameRoot> root_;
    std::unique_ptr<CPMaterialManager> materials_;
    CPRefPtr<CPRender> render_;
    Device* device_ = nullptr;
    CPRenderBlock* block_ = nullptr;
    std::vector<CPRefPtr<CPGameObject>> objects_;
};

TEST_F(RenderSceneTest, TheNearQuadWinsInAnyQueueOrder) {
    auto camera = LayerCamera(20);
    auto red = Material(20, "flat.fx");
    auto green = Material(21, "flat.fx");
    render_->SetLayerCamera(21, camera.Get());
    auto nearQuad = Panel("near", red, Vec3(0, 0, 10), Vec3(0, 0, -1), 2, 2, 0xFFFF0000);
    // The far quad is drawn in a higher layer, after the near one, and still loses.
    auto farQuad = Panel("far", green, Vec3(0, 0, 20), Vec3(0, 0, -1), 8, 8, 0xFF00FF00);
    for (int order = 0; order < 2; ++order) {
        block_->AddObject(order ? farQuad.Get() : nearQuad.Get());
        block_->AddObject(order ? nearQuad.Get() : farQuad.Get());
        auto p = Frame();
        EXPECT_TRUE(Near(At(p, W / 2, H / 2), 255, 0, 0)) << order;
        EXPECT_TRUE(Near(At(p, W / 2 + 100, H / 2), 0, 255, 0)) << order;
    }
}

TEST_F(RenderSceneTest, APassWithoutDepthTestDrawsOverAndTheNextMaterialIsTestedAgain) {
    auto camera = LayerCamera(20);
    render_->SetLayerCamera(22, camera.Get());
    auto nearQuad = Panel("near", Material(20, "flat.fx"), Vec3(0, 0, 10), Vec3(0, 0, -1), 3, 3, 0xFFFF0000);
    // Behind it, in later layers: one with depth testing off (left), one with it on (right).
    auto over = Panel("over", Material(21, "ontop.fx"), Vec3(-2, 0, 20), Vec3(0, 0, -1), 2, 2, 0xFF0000FF);
    auto under = Panel("under", Material(22, "flat.fx"), Vec3(2, 0, 20), Vec3(0, 0, -1), 2, 2, 0xFFFFFF00);
    render_->SetLayerCamera(21, camera.Get());
    for (auto* o : {nearQuad.Get(), over.Get(), under.Get()}) block_->AddObject(o);
    auto p = Frame();
    float lx, ly, rx, ry;
    Project(*camera, Vec3(-2, 0, 20), lx, ly);
    Project(*camera, Vec3(2, 0, 20), rx, ry);
    EXPECT_TRUE(Near(At(p, int(lx), int(ly)), 0, 0, 255));
    EXPECT_TRUE(Near(At(p, int(rx), int(ry)), 255, 0, 0));
    EXPECT_EQ(device_->GetRenderState(RenderState::ZEnable), 1u);
}

TEST_F(RenderSceneTest, ATranslucentHigherLayerBlendsByItsAlphaInEitherOrder) {
    auto camera = LayerCamera(20);
    render_->SetLayerCamera(21, camera.Get());
    auto opaque = Panel("opaque", Material(20, "flat.fx"), Vec3(0, 0, 10), Vec3(0, 0, -1), 3, 3, 0xFFFF0000);
    // Half-transparent white in front.
    auto glass = Panel("glass", Material(21, "glass.fx"), Vec3(0, 0, 8), Vec3(0, 0, -1), 1, 1, 0x80FFFFFF);
    for (int order = 0; order < 2; ++order) {
        block_->AddObject(order ? glass.Get() : opaque.Get());
        block_->AddObject(order ? opaque.Get() : glass.Get());
        auto p = Frame();
        const float a = 128.0f / 255.0f;
        EXPECT_TRUE(Near(At(p, W / 2, H / 2), 255, int(a * 255 + 0.5f), int(a * 255 + 0.5f), 2)) << order;
        EXPECT_TRUE(Near(At(p, W / 2 + 60, H / 2), 255, 0, 0)) << order;
    }
}

TEST_F(RenderSceneTest, SharedValuesAreTheLightFactorTimesTheLightAndReachPooledEffectsOnly) {
    PutEffect("showambient.fx", ShowEffect("g_vAmbient"));
    PutEffect("showlight.fx", ShowEffect("g_vLightColor"));
    auto camera = LayerCamera(20);
    CurrentCamera = camera; // the frame sets the shared values only with a current camera
    auto ambient = Panel("a", Material(20, "showambient.fx,shared"), Vec3(-2, 0, 10), Vec3(0, 0, -1), 1, 1, ~0u);
    auto light = Panel("l", Material(20, "showlight.fx,shared"), Vec3(0, 0, 10), Vec3(0, 0, -1), 1, 1, ~0u);
    auto unpooled = Panel("u", Material(20, "showlight.fx"), Vec3(2, 0, 10), Vec3(0, 0, -1), 1, 1, ~0u);
    LightRecord sun;
    sun.Type = 3;
    sun.Diffuse = {0.2f, 0.3f, 0.4f, 1};
    sun.Direction = {0, 0, 1};
    render_->AddLight(sun);
    render_->ApplyLights(); // as the sky does
    render_->SetAmbient(0xFF1A334D, 0.1f, 0.2f, 0.3f);
    float x[3], y[3];
    Project(*camera, Vec3(-2, 0, 10), x[0], y[0]);
    Project(*camera, Vec3(0, 0, 10), x[1], y[1]);
    Project(*camera, Vec3(2, 0, 10), x[2], y[2]);
    for (float k : {2.0f, 1.0f}) {
        render_->SetLightCoeff(k);
        for (auto* o : {ambient.Get(), light.Get(), unpooled.Get()}) block_->AddObject(o);
        auto p = Frame();
        auto c = [&](float v) { return int(std::lround(std::min(v * k, 1.0f) * 255)); };
        EXPECT_TRUE(Near(At(p, int(x[0]), int(y[0])), c(0.1f), c(0.2f), c(0.3f), 2)) << k;
        EXPECT_TRUE(Near(At(p, int(x[1]), int(y[1])), c(0.2f), c(0.3f), c(0.4f), 2)) << k;
        // Not created with the pool: it never sees the frame's values.
        EXPECT_TRUE(Near(At(p, int(x[2]), int(y[2])), 0, 0, 0, 2)) << k;
    }
}

TEST_F(RenderSceneTest, OneEffectWithTwoTextureBlocksShowsBoth) {
    root_->Put("Data/Textures/red.tga", RenderSupport::SolidTga(4, 4, 0xFFC80000));
    root_->Put("Data/Textures/blue.tga", RenderSupport::SolidTga(4, 4, 0xFF0000C8));
    auto camera = LayerCamera(20);
    auto a = Panel("a", Material(20, "textured.fx", {"red.tga"}), Vec3(-2, 0, 10), Vec3(0, 0, -1), 1, 1, ~0u);
    auto b = Panel("b", Material(20, "textured.fx", {"blue.tga"}), Vec3(2, 0, 10), Vec3(0, 0, -1), 1, 1, ~0u);
    block_->AddObject(a.Get());
    block_->AddObject(b.Get());
    auto p = Frame();
    float xa, ya, xb, yb;
    Project(*camera, Vec3(-2, 0, 10), xa, ya);
    Project(*camera, Vec3(2, 0, 10), xb, yb);
    EXPECT_TRUE(Near(At(p, int(xa), int(ya)), 200, 0, 0));
    EXPECT_TRUE(Near(At(p, int(xb), int(yb)), 0, 0, 200));
}

TEST_F(RenderSceneTest, ALitFoggedTexturedCrateMatchesTheFixedFunctionValue) {
    root_->Put("Data/Textures/wood.tga", RenderSupport::SolidTga(4, 4, 0xFFC89664));
    auto camera = LayerCamera(20, ToRadian(20));
    // The crate's front face at distance 300, turned 30 degrees from the light.
    auto crate = Box("crate", Material(20, "simple.fx", {"wood.tga"}), Vec3(0, 0, 300), Vec3(10, 10, 10));
    render_->SetFogColor(0xFF204060);
    render_->SetStoredAmbient(0xFF404040, 0.25f, 0.25f, 0.25f, 1);
    render_->RestoreRenderStates();
    LightRecord sun;
    sun.Type = 3;
    sun.Diffuse = {0.6f, 0.6f, 0.6f, 1};
    const float angle = ToRadian(30);
    sun.Direction = {0, -std::sin(angle), std::cos(angle)}; // onto the face (normal -z)
    render_->AddLight(sun);
    render_->ApplyLights();
    block_->AddObject(crate.Get());
    auto p = Frame();
    // Ambient 0x40 plus N.L times the light, times the texture; then linear fog from 50 to 692.
    const float lit = std::min(64.0f / 255.0f + 0.6f * std::cos(angle), 1.0f);
    const float fog = (692.0f - 290.0f) / (692.0f - 50.0f);
    auto expect = [&](float tex, float fogc) { return int(std::lround((tex * lit * fog + fogc * (1 - fog)) * 255)); };
    EXPECT_TRUE(Near(At(p, W / 2, H / 2), expect(200 / 255.0f, 0x20 / 255.0f), expect(150 / 255.0f, 0x40 / 255.0f),
                     expect(100 / 255.0f, 0x60 / 255.0f), 3));
}

// The demo's lit solids ("lit_vertex.fx,shared"): the texture times the colour lit at the vertices,
// with the frame's sun and ambient colour scaled by the light factor k: texture x (ambient x k +
// sun x k x N.L), then the device's fog. At k = 1 that is the fixed-function value of "simple.fx",
// whose light the factor does not reach.
class SharedLitTest : public RenderSceneTest {
protected:
    static constexpr float kAmbient[3] = {0.2f, 0.3f, 0.1f};
    static constexpr float kSun[3] = {0.6f, 0.5f, 0.7f};
    static constexpr float kTexture[3] = {200 / 255.0f, 150 / 255.0f, 100 / 255.0f};
    static constexpr float kFogColour[3] = {0x20 / 255.0f, 0x40 / 255.0f, 0x60 / 255.0f};

    // Boxes whose front faces stand at distance 290, facing the camera, turned 30 degrees from the sun.
    void SetUp() override {
        RenderSceneTest::SetUp();
        if (IsSkipped()) return;
        root_->Put("Data/Textures/wood.tga", RenderSupport::SolidTga(4, 4, 0xFFC89664));
        camera_ = LayerCamera(20, ToRadian(20));
        CurrentCamera = camera_; // the frame sets the shared values only with a current camera
        render_->SetFogColor(0xFF204060);
        sun_.Type = 3;
        sun_.Diffuse = {kSun[0], kSun[1], kSun[2], 1};
        sun_.Direction = {0, -std::sin(kAngle), std::cos(kAngle)}; // onto the faces (normal -z)
    }
    CPGameObject* Crate(const std::string& effect, float x) {
        return Keep(Box("crate", Material(20, effect, {"wood.tga"}), Vec3(x, 0, 300), Vec3(10, 10, 10)));
    }
    // The frame with these objects and lights, read at the middle of the face at x.
    std::vector<uint32_t> Draw(const std::vector<CPGameObject*>& objects, const std::vector<LightRecord>& lights) {
        // The post passes leave fog off: the default states again before each frame, and the ambient.
        render_->RestoreRenderStates();
        render_->SetAmbient(0xFF334D1A, kAmbient[0], kAmbient[1], kAmbient[2]);
        for (const LightRecord& l : lights) render_->AddLight(l);
        render_->ApplyLights(); // as the sky does
        for (CPGameObject* o : objects) block_->AddObject(o);
        return Frame();
    }
    uint32_t FaceAt(const std::vector<uint32_t>& p, float x) {
        float sx, sy;
        Project(*camera_, Vec3(x, 0, 290), sx, sy);
        return At(p, int(std::lround(sx)), int(std::lround(sy)));
    }
    // The texture times the light of each channel, fogged linearly from 50 to 692.
    static ::testing::AssertionResult Lit(uint32_t pixel, const float light[3]) {
        const float fog = (692.0f - 290.0f) / (692.0f - 50.0f);
        int c[3];
        for (int i = 0; i < 3; ++i)
            c[i] = int(std::lround((kTexture[i] * std::min(light[i], 1.0f) * fog + kFogColour[i] * (1 - fog)) * 255));
        return Near(pixel, c[0], c[1], c[2], 2);
    }

    static constexpr float kAngle = 0.52359878f; // 30 degrees
    CPRefPtr<CPPerspectiveCamera> camera_;
    LightRecord sun_;
};

TEST_F(SharedLitTest, TheLightFactorScalesTheSunAndTheAmbientOfTheSharedLitEffectOnly) {
    CPGameObject* lit = Crate("lit_vertex.fx,shared", -15);
    CPGameObject* fixed = Crate("simple.fx", 15);
    ASSERT_NE(GetEffectManager()->GetSharedEffect(), nullptr);
    for (float k : {1.0f, 0.5f, 0.25f}) {
        render_->SetLightCoeff(k);
        auto p = Draw({lit, fixed}, {sun_});
        const float cosine = std::cos(kAngle);
        float scaled[3], whole[3];
        for (int i = 0; i < 3; ++i) {
            scaled[i] = kAmbient[i] * k + kSun[i] * k * cosine;
            whole[i] = kAmbient[i] + kSun[i] * cosine;
        }
        EXPECT_TRUE(Lit(FaceAt(p, -15), scaled)) << k;
        EXPECT_TRUE(Lit(FaceAt(p, 15), whole)) << k;
    }
}

TEST_F(SharedLitTest, LampsAndTheSunsOwnAmbientPartLightTheSharedLitEffectUnscaled) {
    CPGameObject* lit = Crate("lit_vertex.fx,shared", 0);
    // The gloom's kind of cold cast on the sun's record, and a lamp 10 in front of the face: each
    // corner 17.32 from it, N.L = 10 / 17.32, attenuation d * d / 300 = 1.
    const float cast[3] = {0.05f, 0.08f, 0.3f};
    const float lampColour[3] = {0.3f, 0.2f, 0.1f};
    sun_.Ambient = {cast[0], cast[1], cast[2], 1};
    LightRecord lamp;
    lamp.Type = 1;
    lamp.Diffuse = {lampColour[0], lampColour[1], lampColour[2], 1};
    lamp.Position = {0, 0, 280};
    lamp.Range = 50;
    lamp.Attenuation2 = 1.0f / 300.0f;
    const float k = 0.5f;
    render_->SetLightCoeff(k);
    auto p = Draw({lit}, {sun_, lamp});
    const float lampCosine = 10.0f / std::sqrt(300.0f);
    float light[3];
    for (int i = 0; i < 3; ++i)
        light[i] = kAmbient[i] * k + cast[i] + kSun[i] * k * std::cos(kAngle) + lampColour[i] * lampCosine;
    EXPECT_TRUE(Lit(FaceAt(p, 0), light));
}

TEST_F(SharedLitTest, WithoutTheSharedOptionNothingIsSetAndTheEffectKeepsItsOwnValues) {
    // Not pooled, so no effect carries the frame's values: the file's own, a whole ambient and no
    // sun, whatever the factor.
    CPGameObject* lit = Crate("lit_vertex.fx", 0);
    EXPECT_EQ(GetEffectManager()->GetSharedEffect(), nullptr);
    for (float k : {1.0f, 0.5f}) {
        render_->SetLightCoeff(k);
        auto p = Draw({lit}, {sun_});
        const float own[3] = {1, 1, 1};
        EXPECT_TRUE(Lit(FaceAt(p, 0), own)) << k;
    }
}

TEST_F(RenderSceneTest, ASpriteAndAScreenQuadCoverTheirComputedRectangles) {
    // A texture whose column x has red 4x: texel-exact sampling shows it pixel for pixel.
    std::vector<uint32_t> columns(64 * 64);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            columns[static_cast<size_t>(y) * 64 + x] = 0xFF000000u | uint32_t(x * 4) << 16 | 0x40;
    root_->Put("Data/Textures/columns.tga", RenderSupport::MakeTga(64, 64, columns));
    auto camera = LayerCamera(20);
    CurrentCamera = camera;
    auto sprite = Sprite("s", Material(20, "flat.fx"), Vec3(0, 0, 20), 2.0f, 0xFF00FF00);
    auto screen = ScreenRect("r", Material(200, "screen.fx", {"columns.tga"}), 100, 50, 164, 114);
    block_->AddObject(sprite.Get());
    block_->AddObject(screen.Get());
    auto p = Frame();
    // The sprite faces the camera: a square of half size 2 at distance 20.
    float x0, y0, x1, y1;
    Project(*camera, Vec3(-2, -2, 20), x0, y0);
    Project(*camera, Vec3(2, 2, 20), x1, y1);
    EXPECT_TRUE(Near(At(p, int(std::ceil(x0 + 1)), int(std::ceil(y1 + 1))), 0, 255, 0));
    EXPECT_TRUE(Near(At(p, int(std::floor(x1 - 1)), int(std::floor(y0 - 1))), 0, 255, 0));
    EXPECT_TRUE(Near(At(p, int(std::floor(x0 - 2)), H / 2), 0, 0, 0));
    EXPECT_TRUE(Near(At(p, int(std::ceil(x1 + 2)), H / 2), 0, 0, 0));
    // The screen quad covers exactly [100, 164) x [50, 114), one texel per pixel.
    for (int k : {0, 1, 31, 63}) EXPECT_TRUE(Near(At(p, 100 + k, 60), k * 4, 0, 0x40, 0)) << k;
    EXPECT_TRUE(Near(At(p, 99, 60), 0, 0, 0, 0));
    EXPECT_TRUE(Near(At(p, 164, 60), 0, 0, 0, 0));
    EXPECT_TRUE(Near(At(p, 120, 49), 0, 0, 0, 0));
    EXPECT_TRUE(Near(At(p, 120, 50), 80, 0, 0x40, 0));
    EXPECT_TRUE(Near(At(p, 120, 113), 80, 0, 0x40, 0));
    EXPECT_TRUE(Near(At(p, 120, 114), 0, 0, 0, 0));
}

TEST_F(RenderSceneTest, TheQuadtreeDrawsExactlyTheLeavesItQueuesAndCulledOnesLeaveNoPixels) {
    // Looking along +y over a 6 x 6 grid of quads lying on the ground (z = -3), each its own colour.
    CPRefPtr<CPPerspectiveCamera> view(new CPPerspectiveCamera());
    view->eye = Vec3(0, 0, 0);
    view->lookAt = Vec3(0, 1, 0);
    view->up = Vec3(0, 0, 1);
    view->fov = ToRadian(60);
    view->nearPlane = 1;
    view->farPlane = 1000;
    view->viewDirty = view->projectionDirty = true;
    view->Recalculate();
    render_->SetLayerCamera(20, view.Get());
    auto material = Material(20, "flat.fx");
    std::vector<CPGameObject*> grid;
    for (int i = 0; i < 6; ++i)
        for (int j = 0; j < 6; ++j) {
            const uint32_t colour = 0xFF000000u | uint32_t(40 + i * 40) << 16 | uint32_t(40 + j * 40) << 8;
            auto o = Panel("q", material, Vec3(-25 + 10.0f * i, 5 + 10.0f * j, -3), Vec3(0, 0, 1), 1, 1, colour);
            CPOrientedBox box(Vec3(), Vec3(1, 1, 0.1f));
            o->SetBoundingBox(box);
            o->MarkDirty();
            o->UpdateTransform();
            grid.push_back(Keep(o));
        }
    // One quad per leaf; leaves whose centre lies 30 or more from the eye queue nothing.
    g_quadlevels = 3;
    g_distance = 30;
    CPQuadTreeNode root;
    root.SetBox(Vec3(-0.001f, 30, -3), Vec3(30, 30, 5));
    root.Build(objects_, 0);
    root.Cull(*view, block_);
    std::set<CPGameObject*> queued;
    if (CPIVBlock* iv = block_->FindBlock(material.Get()))
        for (const auto& r : iv->renderables) queued.insert(dynamic_cast<CPRenderObject*>(r.Get())->GetOwner());
    auto p = Frame();
    const float half = std::atan(std::tan(ToRadian(30)) * W / H);
    int seen = 0, hidden = 0;
    for (CPGameObject* o : grid) {
        const Vec3 pos = o->GetPosition();
        const bool inView = std::fabs(std::atan2(pos.x, pos.y)) < half - 0.05f;
        const bool nearEnough = LengthSq(pos) < 30.0f * 30.0f;
        // The quadtree queues exactly what is in view and near enough.
        if (std::fabs(std::atan2(pos.x, pos.y)) < half + 0.05f && std::fabs(LengthSq(pos) - 900.0f) > 1.0f) {
            EXPECT_EQ(queued.count(o) == 1, inView && nearEnough) << pos.x << "," << pos.y;
        }
        if (!inView) continue;
        float x, y;
        Project(*view, pos, x, y);
        const auto* part = dynamic_cast<CPRenderObject*>(o->GetRenderPart().Get());
        const uint32_t colour = part->vertices[0].diffuse;
        const uint32_t pixel = At(p, int(std::lround(x)), int(std::lround(y)));
        if (nearEnough) {
            EXPECT_TRUE(Near(pixel, Channel(colour, 16), Channel(colour, 8), 0, 1)) << pos.x << "," << pos.y;
            ++seen;
        } else {
            EXPECT_TRUE(Near(pixel, 0, 0, 0, 0)) << pos.x << "," << pos.y;
            ++hidden;
        }
    }
    EXPECT_GT(seen, 3);
    EXPECT_GT(hidden, 3);
}

} // namespace

namespace {

// The demo scene through the real queue at 1024 x 768, from four places on the camera's orbit.
// The frames go to build/test-output/ as PNG.
class DemoSceneTest : public ::testing::Test {
protected:
    void SetUp() override {
        (void)g_videoDriverChosen;
        CPSettingsManager::ResetDefaults();
        g_screenWidth = 1024;
        g_screenHeight = 768;
        FrameCounter = 0;
        root_ = std::make_unique<RenderSupport::ScopedGameRoot>();
        const std::filesystem::path data = std::filesystem::path(VASTREL_SOURCE_DIR) / "data" / "Data" / "Effects";
        for (const auto& e : std::filesystem::directory_iterator(data)) {
            std::ifstream in(e.path(), std::ios::binary);
            root_->Put("Data/Effects/" + e.path().filename().string(),
                       std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()));
        }
        const std::string mkdata = std::string(VASTREL_BINARY_DIR) + "/bin/mkdata .";
        ASSERT_EQ(std::system(mkdata.c_str()), 0);
        InvalidatePathCache();
        materials_ = std::make_unique<CPMaterialManager>();
        render_ = CPRefPtr<CPRender>(new CPRender());
        render_->SetBackend(CreateGlBackend());
        if (!render_->Start()) GTEST_SKIP() << "no OpenGL 3.3 context can be made here";
        scene_ = std::make_unique<DemoScene>(*render_, *materials_);
    }
    void TearDown() override {
        scene_.reset();
        CurrentCamera.Reset();
        if (render_ && render_->GetDevice()) render_->Stop();
        render_.Reset();
        CPManagedObject::CollectGarbage();
        materials_.reset();
        CPManagedObject::CollectGarbage();
        root_.reset();
        CPSettingsManager::ResetDefaults();
    }
    std::vector<uint32_t> Frame() {
        ++FrameCounter;
        scene_->Queue();
        render_->Update();
        std::vector<uint32_t> pixels;
        int w = 0, h = 0;
        EXPECT_EQ(render_->GetDevice()->ReadBackBuffer(pixels, w, h), DeviceResult::Ok);
        return pixels;
    }
    uint32_t At(const std::vector<uint32_t>& p, const Vec3& world) const {
        const Vec3 clip = Vec3TransformCoord(world, scene_->camera->viewProjection);
        const int x = int(std::lround((clip.x + 1) * 0.5f * 1024 - 0.5f));
        const int y = int(std::lround((1 - clip.y) * 0.5f * 768 - 0.5f));
        return p[static_cast<size_t>(std::clamp(y, 0, 767)) * 1024 + std::clamp(x, 0, 1023)];
    }
    std::unique_ptr<RenderSupport::ScopedGameRoot> root_;
    std::unique_ptr<CPMaterialManager> materials_;
    CPRefPtr<CPRender> render_;
    std::unique_ptr<DemoScene> scene_;
};

TEST_F(DemoSceneTest, TheSceneLooksRightFromEveryPlaceOnTheOrbit) {
    const std::filesystem::path out = std::filesystem::path(VASTREL_BINARY_DIR) / "test-output";
    for (int step = 0; step < 4; ++step) {
        const float angle = 1.5707963f * static_cast<float>(step) + 0.3f;
        scene_->SetOrbit(angle);
        auto p = Frame();
        PngWriter::Write(out / ("scene-" + std::to_string(step) + ".png"), p, 1024, 768);
        // The screen frame's border, one texel per 16 x 12 pixels, in its own colour.
        for (auto [x, y] : {std::pair{8, 8}, std::pair{1015, 760}, std::pair{512, 40}})
            EXPECT_TRUE(Near(p[static_cast<size_t>(y) * 1024 + x], 26, 153, 255, 1)) << step << ": " << x << "," << y;
        // A crate between the camera and the middle of the yard: its top in wood colours.
        const Vec3 eye = scene_->camera->eye;
        const float half = (DemoScene::kGrid - 1) * DemoScene::kSpacing * 0.5f;
        auto snap = [&](float v) {
            const float i = std::round((v + half) / DemoScene::kSpacing);
            return -half + DemoScene::kSpacing * std::clamp(i, 0.0f, float(DemoScene::kGrid - 1));
        };
        const Vec3 top(snap(eye.x * 0.2f), snap(eye.y * 0.2f), 2 * DemoScene::kCrateHalf);
        const uint32_t wood = At(p, top);
        EXPECT_GT(Channel(wood, 16), Channel(wood, 8)) << step;
        EXPECT_GT(Channel(wood, 8), Channel(wood, 0)) << step;
        EXPECT_GT(Channel(wood, 16) - Channel(wood, 0), 40) << step;
    }
    // The ground between four crates, seen past them: grey asphalt, lit.
    scene_->SetOrbit(0);
    auto p = Frame();
    const uint32_t ground = At(p, Vec3(0, 0, 0));
    EXPECT_LT(std::abs(Channel(ground, 16) - Channel(ground, 8)), 24);
    EXPECT_GT(Channel(ground, 8), 40);
    // The translucent panel blends over whatever the same frame shows without it.
    const Vec3 onPanel(0, -10, 12);
    scene_->panel->SetVisible(false);
    const uint32_t behind = At(Frame(), onPanel);
    scene_->panel->SetVisible(true);
    const uint32_t blended = At(Frame(), onPanel);
    const float a = 0x60 / 255.0f;
    EXPECT_TRUE(Near(blended, int(std::lround(a * 0x40 + (1 - a) * Channel(behind, 16))),
                     int(std::lround(a * 0xA0 + (1 - a) * Channel(behind, 8))),
                     int(std::lround(a * 0xFF + (1 - a) * Channel(behind, 0))), 3));
}

} // namespace
