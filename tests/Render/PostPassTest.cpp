// The speed blur and bloom on the null device: when the queue runs them, what the blur hands its
// effect, the states each pass leaves, the targets across a device reset, and the speed-blur grid.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "Core/PGlobalTimer.h"
#include "Core/PPath.h"
#include "Core/PSettings.h"
#include "Platform/NullDevice.h"
#include "Render/PBloom.h"
#include "Render/PRender.h"
#include "Render/RenderTestSupport.h"

using namespace Platform;

namespace {

Vec3 g_velocity;
bool g_levelRuns = false;
bool Velocity(Vec3& v) {
    v = g_velocity;
    return g_levelRuns;
}

const char* kBlurEffect = "param texture2D tex0;\nparam texture2D tex1;\nparam float SpeedRatio;\nparam int Forward;\n"
                          "param float fx;\nparam float fy;\n"
                          "technique T { pass P0 { fixed; FogEnable = false; } pass P1 { fixed; } }\n";
const char* kBloomEffect = "param float4 gain = 1, 1, 1, 1;\nparam texture2D first;\nparam texture2D second;\n"
                           "technique T { pass P0 { fixed; FogEnable = false; } }\n";

class PostPassTest : public ::testing::Test {
protected:
    void SetUp() override {
        CPSettingsManager::ResetDefaults();
        g_screenWidth = 640;
        g_screenHeight = 480;
        g_fullScreen = 0;
        root_ = std::make_unique<RenderSupport::ScopedGameRoot>();
        Put("Data/Effects/blur.fx", kBlurEffect);
        Put("Data/Effects/bloom.fx", kBloomEffect);
        Put("Data/Effects/bloom2.fx", kBloomEffect);
        root_->Put("Data/Textures/blurmask.tga", RenderSupport::SolidTga(4, 4, 0xFFFFFFFF));
        root_->Put("Data/Textures/noise.tga", RenderSupport::SolidTga(4, 4, 0x20808080));
        g_levelRuns = false;
        g_velocity = Vec3();
        SetPlayerVelocitySource(Velocity);
        render_ = CPRefPtr<CPRender>(new CPRender());
        auto backend = std::make_unique<NullBackend>();
        backend_ = backend.get();
        render_->SetBackend(std::move(backend));
    }
    void TearDown() override {
        SetPlayerVelocitySource(nullptr);
        if (render_ && render_->GetDevice()) render_->Stop();
        render_.Reset();
        CPManagedObject::CollectGarbage();
        root_.reset();
        CPSettingsManager::ResetDefaults();
    }
    void Put(const std::string& path, const std::string& text) {
        root_->Put(path, std::vector<uint8_t>(text.begin(), text.end()));
    }
    void Start() {
        ASSERT_TRUE(render_->Start());
        Device().calls.clear();
    }
    NullDevice& Device() { return *backend_->lastDevice; }
    float BlurValue(const char* name) {
        CPEffectObject* fx = render_->GetBloom().GetBlurEffect();
        float v[16] = {};
        fx->GetValue(fx->GetParameterByName(name), v);
        return v[0];
    }

    std::unique_ptr<RenderSupport::ScopedGameRoot> root_;
    CPRefPtr<CPRender> render_;
    NullBackend* backend_ = nullptr;
};

TEST_F(PostPassTest, TheQueueRunsThePassesOnlyWhileBloomIsOn) {
    CPRefPtr<CPBaseCamera> camera(new CPBaseCamera());
    struct Case {
        int bloom, blur;
        bool layer120;
        int copies; // back-buffer copies: one per working blur, one per bloom
        int blurs;  // blur effect runs
    };
    // Cases without layer 120 first: a released layer stays until it has not been drawn for a while.
    const Case cases[] = {
        // Only 195 (and the screen layers above) up, as in menus: the 5.0 blur and no bloom.
        {1, 1, false, 1, 1},
        {0, 1, true, 0, 0},
        {0, 0, true, 0, 0},
        {1, 1, true, 3, 2},
        // "blur" 0: the blur calls only change states, the bloom still runs.
        {1, 0, true, 1, 0},
    };
    Start();
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "bloom " << c.bloom << " blur " << c.blur << " layer 120 " << c.layer120);
        g_bloom = c.bloom;
        g_blur = c.blur;
        if (c.layer120) render_->SetLayerCamera(120, camera.Get());
        Device().calls.clear();
        render_->Update();
        EXPECT_EQ(Device().CountCalls("StretchRect"), c.copies);
        // A blur draws its two passes and the composite; a bloom its two effects' passes, the
        // composite and the noise.
        EXPECT_EQ(Device().CountCalls("DrawPrimitiveUP"), c.blurs * 3 + (c.copies - c.blurs) * 4);
        // Whatever ran, the frame goes on with fog off, wrapping sampler 0 and the scene's format.
        if (c.copies > 0 || (c.bloom && !c.blur)) {
            EXPECT_EQ(Device().GetState().Get(RenderState::FogEnable), 0u);
            EXPECT_EQ(Device().GetState().Get(0, SamplerState::AddressU), static_cast<uint32_t>(AddressWrap));
            EXPECT_EQ(Device().GetState().Get(RenderState::ZEnable), 1u);
            EXPECT_EQ(Device().GetState().Get(RenderState::Lighting), 1u);
            EXPECT_EQ(Device().GetState().Get(0, StageState::AlphaOp), static_cast<uint32_t>(OpDisable));
        }
        if (c.layer120) render_->ReleaseLayer(120);
        render_->Update();
    }
}

TEST_F(PostPassTest, EveryPassDrawsInThePostPassState) {
    g_bloom = 1;
    Start();
    CPRefPtr<CPBaseCamera> camera(new CPBaseCamera());
    render_->SetLayerCamera(120, camera.Get());
    int draws = 0;
    Device().onCall = [&](const std::string& call) {
        if (call.rfind("DrawPrimitiveUP", 0) != 0) return;
        ++draws;
        const DeviceState& s = Device().GetState();
        EXPECT_EQ(s.Get(RenderState::ZEnable), 0u);
        EXPECT_EQ(s.Get(RenderState::ZWriteEnable), 0u);
        EXPECT_EQ(s.Get(RenderState::FogEnable), 0u);
        EXPECT_EQ(s.Get(RenderState::Lighting), 0u);
        EXPECT_EQ(s.Get(RenderState::BlendOp), static_cast<uint32_t>(BlendOpAdd));
        EXPECT_EQ(s.Get(0, StageState::AlphaOp), static_cast<uint32_t>(OpModulate));
        EXPECT_EQ(s.fvf, kFvfScreen);
        EXPECT_EQ(s.Get(0, SamplerState::AddressU), static_cast<uint32_t>(AddressClamp));
        EXPECT_EQ(s.Get(0, SamplerState::AddressV), static_cast<uint32_t>(AddressClamp));
        for (int sampler : {0, 1})
            for (SamplerState f : {SamplerState::MinFilter, SamplerState::MagFilter, SamplerState::MipFilter})
                EXPECT_EQ(s.Get(sampler, f), static_cast<uint32_t>(FilterLinear));
        EXPECT_EQ(s.Transform(TransformType::World).m[12], 0.0f);
    };
    render_->Update();
    Device().onCall = nullptr;
    // Two blurs of three draws, one bloom of four.
    EXPECT_EQ(draws, 10);
    EXPECT_EQ(Device().GetState().fvf, kFvfVertex);
    EXPECT_EQ(Device().GetState().Get(RenderState::AlphaBlendEnable), 0u);
    render_->ReleaseLayer(120);
}

TEST_F(PostPassTest, TheBlurGetsTheSpeedFactorTimesItsAmount) {
    g_bloom = 1;
    Start();
    struct Case {
        bool level;
        Vec3 velocity;
        bool layer120;
        float ratio, fx, fy;
    };
    const float third = 1.0f / std::sqrt(3.0f);
    // Cases without layer 120 first: a released layer stays until it has not been drawn for a while.
    const Case cases[] = {
        {false, Vec3(30, 0, 0), false, 0, 0, 0},
        {true, Vec3(0, 0, 0), false, 0, 0, 0},
        {true, Vec3(10, 0, 0), false, 0.4f * 5.0f, 1, 0},
        // 25 units a second or more is the full factor.
        {true, Vec3(0, -25, 0), false, 5.0f, 0, 0},
        {true, Vec3(NAN, 1, 1), false, 0, 0, 0},
        {true, Vec3(10, 0, 0), true, 0.4f * 0.5f, 1, 0},
        // The direction is x and z of the normalised velocity.
        {true, Vec3(30, 30, 30), true, 0.5f, third, third},
    };
    CPRefPtr<CPBaseCamera> camera(new CPBaseCamera());
    ASSERT_NE(render_->GetBloom().GetBlurEffect(), nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.velocity.x << " " << c.velocity.y << " " << c.velocity.z);
        g_levelRuns = c.level;
        g_velocity = c.velocity;
        if (c.layer120) render_->SetLayerCamera(120, camera.Get());
        render_->Update();
        EXPECT_NEAR(BlurValue("SpeedRatio"), c.ratio, 1e-5f);
        EXPECT_NEAR(BlurValue("fx"), c.fx, 1e-5f);
        EXPECT_NEAR(BlurValue("fy"), c.fy, 1e-5f);
        EXPECT_EQ(BlurValue("Forward"), 1.0f);
        EXPECT_FALSE(std::isnan(BlurValue("fx")));
        if (c.layer120) render_->ReleaseLayer(120);
        render_->Update();
    }
    CPEffectObject* fx = render_->GetBloom().GetBlurEffect();
    EXPECT_EQ(fx->GetTexture(fx->GetParameterByName("tex1")), render_->GetBloom().GetBlurMask());
}

TEST_F(PostPassTest, TargetsFollowTheBackBufferAndAResetReloadsOnce) {
    g_bloom = 1;
    Start();
    CPBloom& bloom = render_->GetBloom();
    for (char t : {'A', 'B'}) {
        ASSERT_NE(bloom.GetTarget(t), nullptr);
        EXPECT_EQ(bloom.GetTarget(t)->GetWidth(), 256);
        EXPECT_EQ(bloom.GetTarget(t)->GetHeight(), 192);
    }
    for (char t : {'F', 'G'}) {
        ASSERT_NE(bloom.GetTarget(t), nullptr);
        EXPECT_EQ(bloom.GetTarget(t)->GetWidth(), 640);
        EXPECT_EQ(bloom.GetTarget(t)->GetHeight(), 480);
    }
    EXPECT_EQ(bloom.GetScreenQuad()[1].x, 639.5f);
    EXPECT_EQ(bloom.GetScreenQuad()[1].y, 479.5f);
    EXPECT_EQ(bloom.GetSmallQuad()[1].x, 255.5f);
    EXPECT_EQ(bloom.GetSmallQuad()[0].y, -0.5f);
    // The bloom effects' texture parameters, every one in order, whatever their names.
    EXPECT_EQ(bloom.GetBloomTextureParameters().size(), 2u);

    render_->ResetDevice();
    EXPECT_EQ(Device().CountCalls("CreateRenderTarget"), 4);
    EXPECT_NE(bloom.GetBloomEffect(), nullptr);
    EXPECT_NE(bloom.GetNoise(), nullptr);
    render_->Update();
    EXPECT_GT(Device().CountCalls("StretchRect"), 0);
}

TEST_F(PostPassTest, MissingFilesLeaveThePassesRunningWithWhatExists) {
    std::remove("Data/Effects/blur.fx");
    std::remove("Data/Effects/bloom.fx");
    std::remove("Data/Textures/noise.tga");
    InvalidatePathCache();
    g_bloom = 1;
    Start();
    CPRefPtr<CPBaseCamera> camera(new CPBaseCamera());
    render_->SetLayerCamera(120, camera.Get());
    EXPECT_EQ(render_->GetBloom().GetBlurEffect(), nullptr);
    EXPECT_NE(render_->GetBloom().GetBloom2Effect(), nullptr);
    render_->Update();
    // Two blur composites of the plain copy, one bloom pass and its composite; no noise.
    EXPECT_EQ(Device().CountCalls("StretchRect"), 3);
    EXPECT_EQ(Device().CountCalls("DrawPrimitiveUP"), 4);
    render_->ReleaseLayer(120);
}

TEST_F(PostPassTest, TheSpeedBlurGridAndItsRecentring) {
    g_screenWidth = 800;
    g_screenHeight = 600;
    Start();
    const CPRender::BlurGrid& grid = render_->GetBlurGrid();
    ASSERT_EQ(grid.vertices.size(), 25u);
    EXPECT_EQ(grid.vertexCount, 25);
    EXPECT_EQ(grid.radialBlur, 0.0f);
    // Corners pulled half a pixel in on the outer rows and columns.
    EXPECT_EQ(grid.vertices[0].x, -0.5f);
    EXPECT_EQ(grid.vertices[0].y, -0.5f);
    EXPECT_EQ(grid.vertices[6].x, 200.0f);
    EXPECT_EQ(grid.vertices[6].y, 150.0f);
    EXPECT_EQ(grid.vertices[24].x, 799.5f);
    EXPECT_EQ(grid.vertices[24].v, 1.0f);
    EXPECT_EQ(grid.vertices[7].u, 0.5f);
    ASSERT_EQ(grid.indices.size(), 96u);
    EXPECT_EQ((std::vector<uint16_t>(grid.indices.begin(), grid.indices.begin() + 6)),
              (std::vector<uint16_t>{0, 1, 5, 5, 1, 6}));
    EXPECT_EQ((std::vector<uint16_t>(grid.indices.end() - 6, grid.indices.end())),
              (std::vector<uint16_t>{18, 19, 23, 23, 19, 24}));
    // From the centre outwards; the centre itself has no direction.
    EXPECT_EQ(grid.directions[12].x, 0.0f);
    EXPECT_EQ(grid.directions[12].y, 0.0f);
    EXPECT_NEAR(grid.directions[14].x, 1.0f, 1e-6f);
    EXPECT_NEAR(grid.directions[2].y, -1.0f, 1e-6f);

    // Recentred on height 1: the centre moves down to (400, 600), below every vertex.
    render_->RecentreBlurGrid(1.0f);
    EXPECT_NEAR(grid.directions[12].y, -1.0f, 1e-6f);
    EXPECT_NEAR(grid.directions[22].y, -1.0f, 1e-6f);
    const float len = std::sqrt(400.5f * 400.5f + 600.5f * 600.5f);
    EXPECT_NEAR(grid.directions[0].x, -400.5f / len, 1e-6f);
    EXPECT_NEAR(grid.directions[0].y, -600.5f / len, 1e-6f);

    // "blur" 0: the recentre changes nothing, and a grid built then is empty.
    g_blur = 0;
    render_->RecentreBlurGrid(-1.0f);
    EXPECT_NEAR(grid.directions[12].y, -1.0f, 1e-6f);
    render_->BuildBlurGrid();
    EXPECT_EQ(grid.vertexCount, 0);
    EXPECT_EQ(grid.vertices.size(), 25u);
    EXPECT_EQ(grid.vertices[24].x, 0.0f);
}

} // namespace
