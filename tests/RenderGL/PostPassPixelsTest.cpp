// The post passes and the animated parts on the real device, read back: the bloom adds its processed
// copy and lays the noise by its alpha, the speed blur hands its effect the speed values of the
// pass it runs in, a device reset changes nothing, the data set's bloom matches a reference
// computed here, and an animated mesh moves from frame to frame.
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
#include "Core/PSettings.h"
#include "Platform/Device.h"
#include "Platform/GlDevice.h"
#include "Render/MeshFile.h"
#include "Render/PAnimatedObject.h"
#include "Render/PAnimationManager.h"
#include "Render/PBloom.h"
#include "Render/PMaterialManager.h"
#include "Render/PRender.h"
#include "Render/PRenderBlock.h"
#include "Render/RenderTestSupport.h"
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

::testing::AssertionResult Near(uint32_t actual, double r, double g, double b, int tolerance) {
    const int ar = Channel(actual, 16), ag = Channel(actual, 8), ab = Channel(actual, 0);
    if (std::abs(ar - r) <= tolerance && std::abs(ag - g) <= tolerance && std::abs(ab - b) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "pixel (" << ar << ", " << ag << ", " << ab << ") expected (" << r << ", "
                                         << g << ", " << b << ") within " << tolerance;
}

// Unlit vertex colour, for the scene the passes work on.
const char* kFlat = "technique T { pass P { fixed; Lighting = false; FogEnable = false; CullMode = None; "
                    "Stage[0].ColorOp = SelectArg2; Stage[0].ColorArg2 = Diffuse; "
                    "Stage[0].AlphaOp = SelectArg2; Stage[0].AlphaArg2 = Diffuse; } }";

// Post effects of known math, on the screen quad.
std::string PostEffect(const std::string& params, const std::string& body) {
    return params +
           "vertex V { out vec2 uv; void main() { uv = aTex0; gl_Position = VsScreenToClip(aPosition); } }\n"
           "fragment F { in vec2 uv; out vec4 outColor; void main() { " +
           body + " } }\ntechnique T { pass P { vertex = V; fragment = F; FogEnable = false; } }\n";
}
// Halves the copy, whatever the parameter is called.
const std::string kHalve =
    PostEffect("param texture2D picture;\n", "outColor = vec4(texture(picture, uv).rgb * 0.5, 1.0);");
const std::string kKeep = PostEffect("param texture2D other;\n", "outColor = vec4(texture(other, uv).rgb, 1.0);");
const std::string kBlack = PostEffect("param texture2D picture;\n", "outColor = vec4(0.0, 0.0, 0.0, 1.0);");
// Shows the speed values as a colour.
const std::string kShowSpeed =
    PostEffect("param texture2D tex0;\nparam texture2D tex1;\nparam float SpeedRatio;\nparam int Forward;\n"
               "param float fx;\nparam float fy;\n",
               "outColor = vec4(SpeedRatio / 10.0, fx * 0.5 + 0.5, fy * 0.5 + 0.5, Forward == 1 ? 1.0 : 0.0);");

Vec3 g_velocity;
bool Velocity(Vec3& v) {
    v = g_velocity;
    return true;
}

class PostPassPixelsTest : public ::testing::Test {
protected:
    void SetUp() override {
        (void)g_videoDriverChosen;
        CPSettingsManager::ResetDefaults();
        g_screenWidth = W;
        g_screenHeight = H;
        g_fullScreen = 0;
        FrameCounter = 0;
        root_ = std::make_unique<RenderSupport::ScopedGameRoot>();
        Put("Data/Effects/flat.fx", kFlat);
        root_->Put("Data/Textures/error.tga", RenderSupport::SolidTga(2, 2, 0xFFFF00FF));
        root_->Put("Data/Textures/blurmask.tga", RenderSupport::SolidTga(4, 4, 0xFFFFFFFF));
    }
    void TearDown() override {
        SetPlayerVelocitySource(nullptr);
        objects_.clear();
        if (render_ && render_->GetDevice()) render_->Stop();
        render_.Reset();
        CPManagedObject::CollectGarbage();
        materials_.reset();
        CPManagedObject::CollectGarbage();
        root_.reset();
        CPSettingsManager::ResetDefaults();
        TotalTime = 0;
    }
    void Put(const std::string& path, const std::string& text) {
        root_->Put(path, std::vector<uint8_t>(text.begin(), text.end()));
    }
    void PutDataEffect(const std::string& name) {
        const std::filesystem::path p = std::filesystem::path(VASTREL_SOURCE_DIR) / "data" / "Data" / "Effects" / name;
        std::ifstream in(p, std::ios::binary);
        root_->Put("Data/Effects/" + name,
                   std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()));
    }
    // Starts the renderer once the files are in place; false (and the test skipped) without GL.
    bool Start() {
        materials_ = std::make_unique<CPMaterialManager>();
        render_ = CPRefPtr<CPRender>(new CPRender());
        render_->SetBackend(CreateGlBackend());
        if (!render_->Start()) return false;
        block_ = render_->GetDynamicRenderBlock().Get();
        return true;
    }
    // Layer `layer` drawn in screen pixels, as layer 195 is.
    void ScreenLayer(int layer) {
        CPRefPtr<CPBaseCamera> screen(new CPBaseCamera());
        screen->SetView(MatOrthoOffCenterLH(0, W, H, 0, 0, 1));
        render_->SetLayerCamera(layer, screen.Get());
    }
    CPGameObject* Rect(int layer, float x0, float y0, float x1, float y1, uint32_t colour) {
        objects_.push_back(ScreenRect("rect", materials_->GetMaterial(layer, "flat.fx", {}), x0, y0, x1, y1, colour));
        return objects_.back().Get();
    }
    std::vector<uint32_t> Frame() {
        ++FrameCounter;
        for (const auto& o : objects_) block_->DrawDynamicObject(o.Get());
        render_->Update();
        std::vector<uint32_t> pixels;
        int w = 0, h = 0;
        EXPECT_EQ(render_->GetDevice()->ReadBackBuffer(pixels, w, h), DeviceResult::Ok);
        return pixels;
    }
    static uint32_t At(const std::vector<uint32_t>& p, int x, int y) { return p[static_cast<size_t>(y) * W + x]; }

    std::unique_ptr<RenderSupport::ScopedGameRoot> root_;
    std::unique_ptr<CPMaterialManager> materials_;
    CPRefPtr<CPRender> render_;
    CPRenderBlock* block_ = nullptr;
    std::vector<CPRefPtr<CPGameObject>> objects_;
};

TEST_F(PostPassPixelsTest, BloomAddsItsProcessedCopyAndTheNoiseBlendsByItsAlpha) {
    Put("Data/Effects/bloom.fx", kHalve);
    Put("Data/Effects/bloom2.fx", kKeep);
    root_->Put("Data/Textures/noise.tga", RenderSupport::SolidTga(4, 4, 0x40C80064));
    if (!Start()) GTEST_SKIP() << "no OpenGL 3.3 context can be made here";
    // The left half coloured in layer 120; the bloom runs before layer 195.
    ScreenLayer(120);
    Rect(120, 0, 0, W / 2, H, 0xFF643C14);
    const double a = 0x40 / 255.0;
    auto noisy = [&](double c, double n) { return a * n + (1 - a) * c; };

    g_bloom = 0;
    auto plain = Frame();
    EXPECT_TRUE(Near(At(plain, 100, 240), 100, 60, 20, 0));
    EXPECT_TRUE(Near(At(plain, 600, 240), 0, 0, 0, 0));

    g_bloom = 1;
    for (int blur : {1, 0}) {
        SCOPED_TRACE(blur);
        g_blur = blur;
        auto p = Frame();
        // Inside: the colour plus half of it, then the noise over it.
        EXPECT_TRUE(Near(At(p, 100, 240), noisy(150, 200), noisy(90, 0), noisy(30, 100), 2));
        // Far from the colour the copy adds nothing; the noise is there all the same.
        EXPECT_TRUE(Near(At(p, 600, 240), noisy(0, 200), noisy(0, 0), noisy(0, 100), 2));
    }
}

TEST_F(PostPassPixelsTest, TheBlurSeesTheSpeedOfItsPassAndAResetChangesNothing) {
    Put("Data/Effects/blur.fx", kShowSpeed);
    Put("Data/Effects/bloom.fx", kBlack);
    Put("Data/Effects/bloom2.fx", kKeep);
    if (!Start()) GTEST_SKIP() << "no OpenGL 3.3 context can be made here";
    g_bloom = 1;
    g_blur = 1;
    auto speedColour = [&](float ratio, float fx, float fy) {
        return std::vector<double>{std::round(ratio / 10 * 255), std::round((fx * 0.5 + 0.5) * 255),
                                   std::round((fy * 0.5 + 0.5) * 255)};
    };
    auto expect = [&](const std::vector<uint32_t>& p, const std::vector<double>& c) {
        for (auto [x, y] : {std::pair{10, 10}, std::pair{320, 240}, std::pair{630, 470}})
            EXPECT_TRUE(Near(At(p, x, y), c[0], c[1], c[2], 1)) << x << "," << y;
    };
    // No level: 0 whatever the amount.
    expect(Frame(), speedColour(0, 0, 0));
    // Layer 195 is the first of 119..199: the 5.0 pass.
    SetPlayerVelocitySource(Velocity);
    g_velocity = Vec3(10, 0, 0);
    expect(Frame(), speedColour(0.4f * 5.0f, 1, 0));
    g_velocity = Vec3(0, 3, -20);
    const float len = std::sqrt(409.0f);
    expect(Frame(), speedColour(std::min(len * 0.04f, 1.0f) * 5.0f, 0, -20 / len));
    // After a layer 120 the pass before 195 is the 0.5 one, and the bloom (black here) adds nothing.
    ScreenLayer(120);
    g_velocity = Vec3(10, 0, 0);
    auto before = Frame();
    expect(before, speedColour(0.4f * 0.5f, 1, 0));
    render_->ResetDevice();
    auto after = Frame();
    EXPECT_EQ(before, after);
}

TEST_F(PostPassPixelsTest, TheDemoBloomMatchesItsReferenceOnABrightSquare) {
    for (const char* name : {"bloom.fx", "bloom2.fx", "blur.fx"}) PutDataEffect(name);
    // A grey noise of known alpha, so the reference can include it.
    root_->Put("Data/Textures/noise.tga", RenderSupport::SolidTga(4, 4, 0x0A808080));
    if (!Start()) GTEST_SKIP() << "no OpenGL 3.3 context can be made here";
    ScreenLayer(120);
    Rect(120, 170, 90, 470, 390, 0xFFB4AAA0);
    g_bloom = 1;
    auto p = Frame();
    // Inside, far from the edges: every weight of both blurs falls on the square, so the bloom adds
    // gain x (colour - threshold) wherever the colour is above it.
    const double threshold = 0.6, gain = 0.9, a = 10 / 255.0;
    auto reference = [&](double c, double background) {
        const double lit = std::min(1.0, c / 255 + gain * std::max(0.0, c / 255 - threshold)) * 255;
        (void)background;
        return a * 128 + (1 - a) * lit;
    };
    EXPECT_TRUE(Near(At(p, 320, 240), reference(0xB4, 0), reference(0xAA, 0), reference(0xA0, 0), 3));
    // Far outside: black with the noise over it.
    EXPECT_TRUE(Near(At(p, 20, 20), a * 128, a * 128, a * 128, 3));
    // Just outside the square the glow spills over.
    EXPECT_GT(Channel(At(p, 471, 240), 16), static_cast<int>(a * 128) + 3);
}

// Two frames of a quad: the left half of the screen, then the right half.
MeshFile::VertexAnimation Hop() {
    MeshFile::VertexAnimation block;
    block.frameTime = 240;
    for (int k = 0; k < 2; ++k) {
        MeshFile::Frame frame;
        const float x0 = k == 0 ? 0.0f : W / 2.0f, x1 = x0 + W / 2.0f;
        const float corners[4][2] = {{x0, 0}, {x1, 0}, {x1, H}, {x0, H}};
        for (const auto& c : corners) {
            CPVertex v{};
            v.position = Vec3(c[0], c[1], 0.5f);
            frame.vertices.push_back(v);
        }
        frame.indices = {0, 1, 2, 0, 2, 3};
        block.frames.push_back(frame);
    }
    return block;
}

TEST_F(PostPassPixelsTest, AnAnimatedMeshMovesWithTheClock) {
    if (!Start()) GTEST_SKIP() << "no OpenGL 3.3 context can be made here";
    g_bloom = 0;
    CPAnimationManager animations;
    ScreenLayer(130);
    CPRefPtr<CPGameObject> hopper(new CPGameObject("hopper"));
    CPRefPtr<CPAnimatedObject> part(new CPAnimatedObject(hopper.Get()));
    part->SetMaterial(materials_->GetMaterial(130, "flat.fx", {}));
    part->AddAnimation("hop", animations.Get("hopper&hop.amf", Hop()));
    hopper->SetRenderType(CPGameObject::RenderAnimatedMesh);
    hopper->SetRenderPart(part);
    hopper->UpdateTransform();
    objects_.push_back(hopper);
    struct Case {
        double time;
        bool left;
    };
    for (const Case c : {Case{0.05, true}, Case{0.15, false}, Case{0.25, true}, Case{0.35, false}}) {
        SCOPED_TRACE(c.time);
        TotalTime = c.time;
        auto p = Frame();
        EXPECT_TRUE(Near(At(p, 100, 240), c.left ? 255 : 0, c.left ? 255 : 0, c.left ? 255 : 0, 0));
        EXPECT_TRUE(Near(At(p, 540, 240), c.left ? 0 : 255, c.left ? 0 : 255, c.left ? 0 : 255, 0));
    }
    // Moved by its owner: drawn where the owner is.
    hopper->SetPosition(Vec3(-W / 2.0f, 0, 0));
    hopper->UpdateTransform();
    TotalTime = 0.15;
    auto p = Frame();
    EXPECT_TRUE(Near(At(p, 100, 240), 255, 255, 255, 0));
    EXPECT_TRUE(Near(At(p, 540, 240), 0, 0, 0, 0));
}

} // namespace
