// What the GL device really draws, read back from the back buffer: the loading screen, the fade,
// fixed-function lighting, culling and pre-transformed quads.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "Core/Math/Math.h"
#include "Core/PSettings.h"
#include "Platform/Device.h"
#include "Platform/GlDevice.h"
#include "Render/DeviceMatrix.h"
#include "Render/PRender.h"
#include "Render/RenderTestSupport.h"

using namespace Platform;

namespace {

// Without a display the tests use SDL's offscreen driver (a real GL context through EGL).
const bool g_videoDriverChosen = [] {
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) setenv("SDL_VIDEODRIVER", "offscreen", 0);
    return true;
}();

constexpr int W = 640, H = 480;

struct ScreenVertex {
    float x, y, z, rhw;
    uint32_t color;
    float u, v;
};

int Channel(uint32_t argb, int shift) { return static_cast<int>((argb >> shift) & 0xFF); }

::testing::AssertionResult Near(uint32_t actual, int r, int g, int b, int tolerance) {
    const int ar = Channel(actual, 16), ag = Channel(actual, 8), ab = Channel(actual, 0);
    if (std::abs(ar - r) <= tolerance && std::abs(ag - g) <= tolerance && std::abs(ab - b) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "pixel (" << ar << ", " << ag << ", " << ab << ") expected (" << r << ", "
                                         << g << ", " << b << ") within " << tolerance;
}

class RenderPixelsTest : public ::testing::Test {
protected:
    void SetUp() override {
        (void)g_videoDriverChosen;
        CPSettingsManager::ResetDefaults();
        g_screenWidth = W;
        g_screenHeight = H;
        g_fullScreen = 0;
        render_ = CPRefPtr<CPRender>(new CPRender());
        render_->SetBackend(CreateGlBackend());
        if (!render_->Start()) GTEST_SKIP() << "no OpenGL 3.3 context can be made here";
        device_ = render_->GetDevice();
    }
    void TearDown() override {
        if (render_ && render_->GetDevice()) render_->Stop();
        render_.Reset();
        CPManagedObject::CollectGarbage();
        CPSettingsManager::ResetDefaults();
    }
    std::vector<uint32_t> Read() {
        std::vector<uint32_t> pixels;
        int w = 0, h = 0;
        EXPECT_EQ(device_->ReadBackBuffer(pixels, w, h), DeviceResult::Ok);
        EXPECT_EQ(w, W);
        EXPECT_EQ(h, H);
        return pixels;
    }
    static uint32_t At(const std::vector<uint32_t>& p, int x, int y) { return p[static_cast<size_t>(y) * W + x]; }

    CPRefPtr<CPRender> render_;
    Device* device_ = nullptr;
};

TEST_F(RenderPixelsTest, LoadingScreenShowsTheBackgroundAndTheBarUpToItsPercent) {
    RenderSupport::ScopedGameRoot root;
    // Background: left half red, right half green, its bottom quarter blue (never shown). The
    // decoder goes by the content, so a TGA stands in for the JPEG.
    std::vector<uint32_t> bg(64);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) bg[y * 8 + x] = y >= 6 ? 0xFF0000FF : x < 4 ? 0xFFFF0000 : 0xFF00FF00;
    root.Put("data/textures/publisher.jpg", RenderSupport::MakeTga(8, 8, bg));
    root.Put("data/textures/load.tga", RenderSupport::SolidTga(2, 2, 0xFFFFFF00));

    render_->DrawLoadingScreen(45);
    const auto p = Read();
    EXPECT_TRUE(Near(At(p, 160, 240), 255, 0, 0, 2));
    EXPECT_TRUE(Near(At(p, 480, 240), 0, 255, 0, 2));
    // The bar spans x from 0 to 640 x 45 % = 288 and y from 480 x 0.9869792 = 473.75 down.
    const int right = static_cast<int>(W * 45 * 0.01f);
    const int top = static_cast<int>(std::ceil(H * 0.9869792f));
    for (int y : {top, H - 1}) {
        EXPECT_TRUE(Near(At(p, 0, y), 255, 255, 0, 1)) << y;
        EXPECT_TRUE(Near(At(p, right - 1, y), 255, 255, 0, 1)) << y;
        EXPECT_FALSE(Near(At(p, right, y), 255, 255, 0, 60)) << y;
    }
    EXPECT_FALSE(Near(At(p, 100, top - 1), 255, 255, 0, 60));
    // Nothing of the blue quarter reaches the middle of the screen.
    EXPECT_LT(Channel(At(p, 160, 400), 0), 8);
}

TEST_F(RenderPixelsTest, HalfFadeDarkensByTheQuadAlpha) {
    ASSERT_EQ(device_->Clear(ClearTarget | ClearZBuffer, 0xFFC08040, 1.0f, 0), DeviceResult::Ok);
    ASSERT_EQ(device_->BeginScene(), DeviceResult::Ok);
    render_->SetFade(0.5f);
    render_->DrawFadeQuad();
    ASSERT_EQ(device_->EndScene(), DeviceResult::Ok);
    const auto p = Read();
    // Level 128 gives alpha 255 - 128 = 127 over the colour: c x (1 - 127 / 255).
    const float keep = 1.0f - 127.0f / 255.0f;
    const int r = static_cast<int>(std::lround(0xC0 * keep)), g = static_cast<int>(std::lround(0x80 * keep)),
              b = static_cast<int>(std::lround(0x40 * keep));
    for (auto [x, y] : {std::pair{0, 0}, std::pair{W - 1, H - 1}, std::pair{320, 240}})
        EXPECT_TRUE(Near(At(p, x, y), r, g, b, 1)) << x << "," << y;
}

// A 2 x 2 quad in the z = 0 plane facing a camera at z = -5, wound clockwise on screen.
std::vector<CPVertex> Quad(bool clockwise) {
    auto v = [](float x, float y) {
        CPVertex out{};
        out.position = Vec3(x, y, 0);
        out.normal = Vec3(0, 0, -1);
        out.diffuse = 0xFF00FF00; // must not show: the material is the colour source
        return out;
    };
    std::vector<CPVertex> cw = {v(-1, 1), v(1, 1), v(-1, -1), v(1, 1), v(1, -1), v(-1, -1)};
    if (!clockwise) {
        std::swap(cw[1], cw[2]);
        std::swap(cw[4], cw[5]);
    }
    return cw;
}

void SetCamera(Device& d) {
    d.SetTransform(TransformType::World, ToDeviceMatrix(MatIdentity()));
    d.SetTransform(TransformType::View, ToDeviceMatrix(MatLookAtLH(Vec3(0, 0, -5), Vec3(0, 0, 0), Vec3(0, 1, 0))));
    d.SetTransform(TransformType::Projection,
                   ToDeviceMatrix(MatPerspectiveFovLH(MathPi / 3, float(W) / H, 0.1f, 100.0f)));
}

TEST_F(RenderPixelsTest, DirectionalLightFollowsTheFixedFunctionEquation) {
    // Global ambient, one directional light with an ambient part, the renderer's default material.
    const uint32_t globalAmbient = 0xFF331A00;
    render_->SetAmbient(globalAmbient, 0.2f, 0.1f, 0.0f);
    LightRecord light;
    light.Type = LightDirectional;
    light.Diffuse = {0.6f, 0.5f, 0.4f, 1};
    light.Ambient = {0.1f, 0.1f, 0.1f, 1};
    light.Specular = {1, 1, 1, 1};
    light.Direction = Vec3(0, -0.6f, 0.8f);
    render_->AddLight(light);
    render_->ApplyLights();
    SetCamera(*device_);

    ASSERT_EQ(device_->Clear(ClearTarget | ClearZBuffer, 0xFF000000, 1.0f, 0), DeviceResult::Ok);
    ASSERT_EQ(device_->BeginScene(), DeviceResult::Ok);
    const auto quad = Quad(true);
    ASSERT_EQ(device_->DrawPrimitiveUP(PrimitiveType::TriangleList, 2, quad.data(), sizeof(CPVertex)),
              DeviceResult::Ok);
    ASSERT_EQ(device_->EndScene(), DeviceResult::Ok);
    const auto p = Read();

    // colour = emissive + Ma x (Ga + La) + Md x Ld x max(0, N . -dir); specular is off.
    const Vec3 n(0, 0, -1);
    const float nDotL = std::max(0.0f, Dot(n, -Normalize(light.Direction)));
    const float ga[3] = {0x33 / 255.0f, 0x1A / 255.0f, 0};
    const float la[3] = {light.Ambient.r, light.Ambient.g, light.Ambient.b};
    const float ld[3] = {light.Diffuse.r, light.Diffuse.g, light.Diffuse.b};
    int expected[3];
    for (int i = 0; i < 3; ++i)
        expected[i] = static_cast<int>(std::lround(std::min(1.0f, ga[i] + la[i] + ld[i] * nDotL) * 255));
    EXPECT_TRUE(Near(At(p, W / 2, H / 2), expected[0], expected[1], expected[2], 2));
    // Outside the quad only the clear colour.
    EXPECT_TRUE(Near(At(p, 5, 5), 0, 0, 0, 0));
}

TEST_F(RenderPixelsTest, PointLightsAttenuateAndStopAtTheirRange) {
    // Lighting is per vertex: every corner of the quad is the same distance from a light on the
    // axis, so the whole quad takes one colour.
    struct Case {
        const char* name;
        float range, a0, a1, a2;
        uint32_t diffuseSource;
    };
    const Case cases[] = {
        {"linear attenuation", 100, 0, 0.5f, 0, SourceMaterial},
        {"constant and quadratic", 100, 1, 0, 0.25f, SourceMaterial},
        {"out of range", 3.0f, 1, 0, 0, SourceMaterial},
        {"vertex colour as diffuse", 100, 1, 0, 0, SourceColor1},
    };
    const float ga[3] = {0x20 / 255.0f, 0x20 / 255.0f, 0x20 / 255.0f};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        render_->RestoreRenderStates();
        render_->SetAmbient(0xFF202020, ga[0], ga[1], ga[2]);
        device_->SetRenderState(RenderState::DiffuseMaterialSource, c.diffuseSource);
        LightRecord light;
        light.Type = LightPoint;
        light.Diffuse = {0.9f, 0.6f, 0.3f, 1};
        light.Ambient = {0.05f, 0.05f, 0.05f, 1};
        light.Position = Vec3(0, 0, -3);
        light.Range = c.range;
        light.Attenuation0 = c.a0;
        light.Attenuation1 = c.a1;
        light.Attenuation2 = c.a2;
        render_->AddLight(light);
        render_->ApplyLights();
        SetCamera(*device_);
        ASSERT_EQ(device_->Clear(ClearTarget | ClearZBuffer, 0xFF000000, 1.0f, 0), DeviceResult::Ok);
        const auto quad = Quad(true);
        ASSERT_EQ(device_->DrawPrimitiveUP(PrimitiveType::TriangleList, 2, quad.data(), sizeof(CPVertex)),
                  DeviceResult::Ok);
        const auto p = Read();

        const Vec3 corner(1, 1, 0);
        const Vec3 toLight = light.Position - corner;
        const float d = Length(toLight);
        const float nDotL = std::max(0.0f, Dot(Vec3(0, 0, -1), toLight / d));
        const float atten = d > c.range ? 0.0f : 1.0f / (c.a0 + c.a1 * d + c.a2 * d * d);
        // The vertex colour is green: with it as the diffuse source only green is lit diffusely.
        const float md[3] = {c.diffuseSource == SourceColor1 ? 0.0f : 1.0f, 1.0f,
                             c.diffuseSource == SourceColor1 ? 0.0f : 1.0f};
        const float la[3] = {0.05f, 0.05f, 0.05f}, ld[3] = {0.9f, 0.6f, 0.3f};
        int expected[3];
        for (int i = 0; i < 3; ++i)
            expected[i] = static_cast<int>(
                std::lround(std::min(1.0f, ga[i] + atten * la[i] + md[i] * atten * ld[i] * nDotL) * 255));
        EXPECT_TRUE(Near(At(p, W / 2, H / 2), expected[0], expected[1], expected[2], 2));
    }
}

TEST_F(RenderPixelsTest, LinearFogMixesTowardsTheFogColourByViewDepth) {
    device_->SetRenderState(RenderState::Lighting, 0);
    device_->SetRenderState(RenderState::FogStart, FloatBits(0.0f));
    device_->SetRenderState(RenderState::FogEnd, FloatBits(10.0f));
    device_->SetRenderState(RenderState::FogColor, 0xFF0000FF);
    SetCamera(*device_); // the quad lies 5 units in front of the eye: half way into the fog
    ASSERT_EQ(device_->Clear(ClearTarget | ClearZBuffer, 0xFF000000, 1.0f, 0), DeviceResult::Ok);
    const auto quad = Quad(true);
    ASSERT_EQ(device_->DrawPrimitiveUP(PrimitiveType::TriangleList, 2, quad.data(), sizeof(CPVertex)),
              DeviceResult::Ok);
    auto p = Read();
    EXPECT_TRUE(Near(At(p, W / 2, H / 2), 0, 128, 128, 2));
    // Fog off: the vertex colour alone.
    device_->SetRenderState(RenderState::FogEnable, 0);
    ASSERT_EQ(device_->DrawPrimitiveUP(PrimitiveType::TriangleList, 2, quad.data(), sizeof(CPVertex)),
              DeviceResult::Ok);
    p = Read();
    EXPECT_TRUE(Near(At(p, W / 2, H / 2), 0, 255, 0, 0));
}

TEST_F(RenderPixelsTest, CounterClockwiseTrianglesAreCulledByDefault) {
    SetCamera(*device_);
    device_->SetRenderState(RenderState::Lighting, 0);
    for (bool clockwise : {true, false}) {
        ASSERT_EQ(device_->Clear(ClearTarget | ClearZBuffer, 0xFF000000, 1.0f, 0), DeviceResult::Ok);
        const auto quad = Quad(clockwise);
        ASSERT_EQ(device_->DrawPrimitiveUP(PrimitiveType::TriangleList, 2, quad.data(), sizeof(CPVertex)),
                  DeviceResult::Ok);
        const auto p = Read();
        // Unlit, the vertex colour shows.
        if (clockwise) EXPECT_TRUE(Near(At(p, W / 2, H / 2), 0, 255, 0, 0));
        else EXPECT_TRUE(Near(At(p, W / 2, H / 2), 0, 0, 0, 0));
    }
}

TEST_F(RenderPixelsTest, PreTransformedQuadCoversExactlyItsPixels) {
    const int left = 10, top = 30, right = 20, bottom = 45; // pixels [left, right) x [top, bottom)
    device_->SetRenderState(RenderState::ZEnable, 0);
    device_->SetRenderState(RenderState::CullMode, CullNone);
    device_->SetFVF(kFvfScreen);
    const float l = left - 0.5f, t = top - 0.5f, r = right - 0.5f, b = bottom - 0.5f;
    const ScreenVertex quad[4] = {{r, t, 0.5f, 1, 0xFFFFFFFF, 1, 0},
                                  {r, b, 0.5f, 1, 0xFFFFFFFF, 1, 1},
                                  {l, t, 0.5f, 1, 0xFFFFFFFF, 0, 0},
                                  {l, b, 0.5f, 1, 0xFFFFFFFF, 0, 1}};
    ASSERT_EQ(device_->Clear(ClearTarget | ClearZBuffer, 0xFF000000, 1.0f, 0), DeviceResult::Ok);
    ASSERT_EQ(device_->DrawPrimitiveUP(PrimitiveType::TriangleStrip, 2, quad, sizeof(ScreenVertex)), DeviceResult::Ok);
    const auto p = Read();
    int wrong = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 40; ++x) {
            const bool inside = x >= left && x < right && y >= top && y < bottom;
            if (At(p, x, y) != (inside ? 0xFFFFFFFFu : 0xFF000000u)) ++wrong;
        }
    EXPECT_EQ(wrong, 0);
}

TEST_F(RenderPixelsTest, FramesGoOnAfterAReset) {
    render_->ResetDevice();
    render_->SetFade(0.0f);
    ASSERT_EQ(device_->Clear(ClearTarget, 0xFFFFFFFF, 1.0f, 0), DeviceResult::Ok);
    render_->Update();
    const auto p = Read();
    // The frame cleared to transparent black and the full fade kept it black.
    EXPECT_TRUE(Near(At(p, 320, 240), 0, 0, 0, 0));
    EXPECT_EQ(device_->TestCooperativeLevel(), DeviceResult::Ok);
}

} // namespace
