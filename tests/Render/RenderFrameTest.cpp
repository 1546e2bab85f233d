// The renderer's frame, lights, fade, loading screen and device reset on the null device.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Core/PGlobalTimer.h"
#include "Core/PSettings.h"
#include "Platform/GlDevice.h"
#include "Platform/NullDevice.h"
#include "Render/PDeviceListener.h"
#include "Render/PMaterialManager.h"
#include "Render/PRender.h"
#include "Render/RenderTestSupport.h"

using namespace Platform;

namespace {

struct ScreenVertex {
    float x, y, z, rhw;
    uint32_t color;
    float u, v;
};
static_assert(sizeof(ScreenVertex) == 28);

std::vector<ScreenVertex> Vertices(const std::vector<uint8_t>& bytes) {
    std::vector<ScreenVertex> out(bytes.size() / sizeof(ScreenVertex));
    std::memcpy(out.data(), bytes.data(), out.size() * sizeof(ScreenVertex));
    return out;
}

class RenderTest : public ::testing::Test {
protected:
    void SetUp() override {
        CPSettingsManager::ResetDefaults();
        g_screenWidth = 640;
        g_screenHeight = 480;
        g_fullScreen = 0;
        // The post passes between the layers have tests of their own (PostPassTest).
        g_bloom = 0;
        render_ = CPRefPtr<CPRender>(new CPRender());
        auto backend = std::make_unique<NullBackend>();
        backend_ = backend.get();
        render_->SetBackend(std::move(backend));
    }
    void TearDown() override {
        if (render_ && render_->GetDevice()) render_->Stop();
        render_.Reset();
        CPManagedObject::CollectGarbage();
        CPSettingsManager::ResetDefaults();
    }
    void StartRender() {
        ASSERT_TRUE(render_->Start());
        ASSERT_NE(backend_->lastDevice, nullptr);
        Device().calls.clear();
    }
    NullDevice& Device() { return *backend_->lastDevice; }
    int Index(const std::string& call) const {
        const auto& calls = backend_->lastDevice->calls;
        auto it = std::find(calls.begin(), calls.end(), call);
        return it == calls.end() ? -1 : static_cast<int>(it - calls.begin());
    }

    CPRefPtr<CPRender> render_;
    NullBackend* backend_ = nullptr;
};

// Records the frame's block operations into the device's call list, so their order against the
// device calls is visible.
class RecordingBlock : public CPRenderBlock {
public:
    explicit RecordingBlock(NullDevice& device) : device_(device) {}
    bool Fill() override {
        device_.calls.push_back("Fill");
        return true;
    }
    void ResetFrame() override { device_.calls.push_back("ResetFrame"); }

private:
    NullDevice& device_;
};

LightRecord MakeLight(int type, float tag) {
    LightRecord l;
    l.Type = type;
    l.Diffuse = {tag, 0, 0, 1};
    l.Direction = {0, 0, -1};
    return l;
}

TEST_F(RenderTest, StartDrawsOneBlackFrameAndSetsTheSingleton) {
    ASSERT_TRUE(render_->Start());
    EXPECT_EQ(GetRender(), render_.Get());
    NullDevice& d = Device();
    const int clear =
        static_cast<int>(std::find(d.calls.begin(), d.calls.end(), "Clear 3 ff000000 1 0") - d.calls.begin());
    ASSERT_LT(clear, static_cast<int>(d.calls.size()));
    ASSERT_GE(static_cast<int>(d.calls.size()), clear + 4);
    EXPECT_EQ(d.calls[clear + 1], "BeginScene");
    EXPECT_EQ(d.calls[clear + 2], "EndScene");
    EXPECT_EQ(d.calls[clear + 3], "Present");
    EXPECT_EQ(render_->GetVertexProcessing(), CPRender::kVertexProcessingHardware);
    EXPECT_EQ(render_->GetMaxAnisotropy(), 16);
    EXPECT_TRUE(render_->HasAnisotropicMin());
    ASSERT_TRUE(render_->GetDynamicRenderBlock());
    EXPECT_EQ(render_->GetDynamicRenderBlock()->GetRingSize(), 4);
    EXPECT_FALSE(render_->GetStaticBlock());
    EXPECT_EQ(d.GetPresentParameters().BackBufferWidth, 640);
    EXPECT_EQ(d.GetPresentParameters().BackBufferFormat, Format::A8R8G8B8);
    EXPECT_TRUE(d.GetPresentParameters().EnableAutoDepthStencil);
}

TEST_F(RenderTest, StartIsRefusedWhenNoDeviceCanBeMade) {
    backend_->createFails = true;
    EXPECT_FALSE(render_->Start());
    EXPECT_EQ(render_->GetDevice(), nullptr);
    EXPECT_FALSE(render_->IsRunning());
    // Without a device every operation is harmless.
    render_->Update();
    render_->DrawLoadingScreen(50);
    render_->ResetDevice();
    render_->RestoreRenderStates();
}

TEST_F(RenderTest, StaticSettingHalvesTheBufferRing) {
    g_static = 1;
    ASSERT_TRUE(render_->Start());
    EXPECT_EQ(render_->GetDynamicRenderBlock()->GetRingSize(), 2);
}

TEST_F(RenderTest, FullScreenFormatFollowsScreenBppAndFallsBackWhenUnsupported) {
    struct Case {
        int bpp;
        std::vector<Format> accepted;
        Format expected;
    };
    const Case cases[] = {
        {32, {Format::A8R8G8B8, Format::X8R8G8B8}, Format::A8R8G8B8},
        {32, {Format::X8R8G8B8}, Format::X8R8G8B8},
        {16, {Format::A1R5G5B5, Format::A8R8G8B8}, Format::A1R5G5B5},
        // No 16-bit mode: the 32-bit format rather than a failed device.
        {16, {Format::A8R8G8B8}, Format::A8R8G8B8},
        {32, {Format::A1R5G5B5}, Format::A1R5G5B5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bpp);
        TearDown();
        SetUp();
        g_fullScreen = 1;
        g_screenBPP = c.bpp;
        backend_->fullScreenFormats = c.accepted;
        ASSERT_TRUE(render_->Start());
        const PresentParameters& p = Device().GetPresentParameters();
        EXPECT_EQ(p.BackBufferFormat, c.expected);
        EXPECT_FALSE(p.Windowed);
        EXPECT_TRUE(p.DiscardDepthStencil);
        EXPECT_EQ(Device().GetState().Get(RenderState::MultisampleAntialias), 0u);
    }
}

TEST_F(RenderTest, FrameFillsBeforeTestingTheDeviceAndPresentsOnce) {
    StartRender();
    CPRefPtr<CPRenderBlock> extra(new RecordingBlock(Device()));
    render_->QueueBlock(extra.Get());
    render_->Update();
    const int fill = Index("Fill"), test = Index("TestCooperativeLevel"), begin = Index("BeginScene");
    const int clear = Index("Clear 3 00000000 1 0"), present = Index("Present"), end = Index("EndScene");
    ASSERT_GE(fill, 0);
    EXPECT_LT(fill, test);
    EXPECT_LT(test, begin);
    EXPECT_LT(begin, clear);
    // The scene's vertex format is set after the clear, before the queue is drawn.
    const int format = Index("SetFVF 2d2");
    EXPECT_LT(clear, format);
    EXPECT_LT(format, end);
    EXPECT_LT(end, present);
    EXPECT_EQ(Device().CountCalls("Present"), 1);
    // The default fade level draws no quad.
    EXPECT_EQ(Device().CountCalls("DrawPrimitiveUP"), 0);
    EXPECT_FALSE(Device().inScene);
    EXPECT_EQ(render_->GetDynamicRenderBlock()->GetFrameStamp(), FrameCounter);
    // The submitted list is emptied by the frame: the block is filled once.
    Device().calls.clear();
    render_->Update();
    EXPECT_EQ(Device().CountCalls("Fill"), 0);
}

TEST_F(RenderTest, LostDeviceSkipsTheFrameAndDropsItsLights) {
    StartRender();
    Device().cooperativeLevel = DeviceResult::DeviceLost;
    for (int i = 0; i < 5; ++i) render_->AddLight(MakeLight(LightPoint, 1));
    CPRefPtr<CPRenderBlock> extra(new RecordingBlock(Device()));
    render_->QueueBlock(extra.Get());
    render_->SetFade(0.0f);
    render_->Update();
    EXPECT_GE(Index("Fill"), 0);
    EXPECT_EQ(Device().CountCalls("BeginScene"), 0);
    EXPECT_EQ(Device().CountCalls("Clear"), 0);
    EXPECT_EQ(Device().CountCalls("Present"), 0);
    EXPECT_EQ(Device().CountCalls("DrawPrimitiveUP"), 0);
    EXPECT_EQ(render_->GetLightCount(), 0);
}

TEST_F(RenderTest, LightQueueKeepsThirtyAndDisablesTheRest) {
    StartRender();
    for (int i = 0; i < 31; ++i) render_->AddLight(MakeLight(i == 30 ? LightDirectional : LightPoint, float(i)));
    EXPECT_EQ(render_->GetLightCount(), 30);
    render_->ApplyLights();
    EXPECT_EQ(render_->GetLightCount(), 0);
    EXPECT_EQ(Device().CountCalls("SetLight "), 30);
    for (int i = 0; i < 30; ++i) {
        EXPECT_TRUE(Device().GetState().lightEnabled[i]) << i;
        EXPECT_EQ(Device().GetState().lights[i].Diffuse.r, float(i));
    }
    // The 31st was the only directional light: it was dropped, so nothing was kept.
    EXPECT_EQ(render_->GetDirectionalLight().Diffuse.r, 0.0f);

    // Fewer lights the next frame: the slots above them go dark; the last directional one is kept.
    render_->AddLight(MakeLight(LightDirectional, 7));
    render_->AddLight(MakeLight(LightPoint, 8));
    render_->AddLight(MakeLight(LightDirectional, 9));
    render_->ApplyLights();
    for (int i = 0; i < 30; ++i) EXPECT_EQ(Device().GetState().lightEnabled[i], i < 3) << i;
    EXPECT_EQ(render_->GetDirectionalLight().Diffuse.r, 9.0f);
}

TEST_F(RenderTest, FadeClampsAndSetsTheQuadAlpha) {
    struct Case {
        float level;
        float fade;
        bool drawn;
        uint32_t alpha;
    };
    const Case cases[] = {
        {1.0f, 256.0f, false, 0},  {0.0f, 0.0f, true, 255},   {-3.0f, 0.0f, true, 255},
        {7.0f, 256.0f, false, 0},  {0.5f, 128.0f, true, 127}, {255.5f / 256.0f, 255.5f, true, 0},
        {0.25f, 64.0f, true, 191},
    };
    StartRender();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.level);
        render_->SetFade(c.level);
        EXPECT_FLOAT_EQ(render_->GetFadeLevel(), c.fade);
        Device().calls.clear();
        Device().lastUserVertices.clear();
        render_->Update();
        EXPECT_EQ(Device().CountCalls("DrawPrimitiveUP"), c.drawn ? 1 : 0);
        if (!c.drawn) continue;
        const auto quad = Vertices(Device().lastUserVertices);
        ASSERT_EQ(quad.size(), 4u);
        for (const ScreenVertex& v : quad) EXPECT_EQ(v.color, c.alpha << 24);
        EXPECT_FLOAT_EQ(quad[0].x, 639.5f);
        EXPECT_FLOAT_EQ(quad[0].y, -0.5f);
        EXPECT_FLOAT_EQ(quad[3].x, -0.5f);
        EXPECT_FLOAT_EQ(quad[3].y, 479.5f);
        // The quad is drawn between the scene's begin and end, and the states are put back.
        EXPECT_LT(Index("DrawPrimitiveUP 5 2 28"), Index("EndScene"));
        const DeviceState& s = Device().GetState();
        EXPECT_EQ(s.Get(RenderState::ZEnable), 1u);
        EXPECT_EQ(s.Get(RenderState::FogEnable), 1u);
        EXPECT_EQ(s.Get(RenderState::Lighting), 1u);
        EXPECT_EQ(s.Get(RenderState::ZWriteEnable), 1u);
        EXPECT_EQ(s.Get(RenderState::AlphaBlendEnable), 0u);
        EXPECT_EQ(s.Get(RenderState::CullMode), static_cast<uint32_t>(CullCCW));
        EXPECT_EQ(s.Get(0, StageState::ColorOp), static_cast<uint32_t>(OpModulate));
        EXPECT_EQ(s.Get(0, StageState::AlphaOp), static_cast<uint32_t>(OpDisable));
        EXPECT_EQ(s.fvf, kFvfVertex);
    }
    // Not a number leaves the fade alone.
    render_->SetFade(0.5f);
    render_->SetFade(std::nanf(""));
    EXPECT_FLOAT_EQ(render_->GetFadeLevel(), 128.0f);
}

TEST_F(RenderTest, LoadingScreenBarEndsAtThePercentAndMissingImagesAreRetried) {
    RenderSupport::ScopedGameRoot root;
    StartRender();
    render_->DrawLoadingScreen(45);
    // No files: both quads still drawn and presented, without textures.
    EXPECT_EQ(Device().CountCalls("DrawPrimitiveUP 5 2 28"), 2);
    EXPECT_EQ(Device().CountCalls("Present"), 1);
    EXPECT_EQ(Device().CountCalls("CreateTextureFromMemory"), 0);
    EXPECT_EQ(Device().CountCalls("SetTexture 0 set"), 0);
    const auto bar = Vertices(Device().lastUserVertices);
    ASSERT_EQ(bar.size(), 4u);
    EXPECT_FLOAT_EQ(bar[0].x, 640 * 45 * 0.01f);
    EXPECT_FLOAT_EQ(bar[2].x, 0.0f);
    EXPECT_FLOAT_EQ(bar[0].y, 480 * 0.9869792f);
    EXPECT_FLOAT_EQ(bar[1].y, 480.0f);
    EXPECT_EQ(bar[0].color, 0xFFFFFFFFu);

    // A corrupt background fails to become a texture and is tried again; the bar loads once.
    root.Put("data/textures/publisher.jpg", {1, 2, 3, 4, 5});
    root.Put("data/textures/load.tga", RenderSupport::SolidTga(2, 2, 0xFFFFFF00));
    Device().calls.clear();
    render_->DrawLoadingScreen(50);
    EXPECT_EQ(Device().CountCalls("CreateTextureFromMemory"), 2);
    EXPECT_EQ(Device().CountCalls("SetTexture 0 set"), 1);
    EXPECT_EQ(Device().CountCalls("Present"), 1);
    Device().calls.clear();
    render_->DrawLoadingScreen(60);
    EXPECT_EQ(Device().CountCalls("CreateTextureFromMemory"), 1);

    // Once it is readable the background loads and is kept.
    root.Put("data/textures/publisher.jpg", RenderSupport::SolidTga(4, 4, 0xFF0000FF));
    Device().calls.clear();
    render_->DrawLoadingScreen(70);
    render_->DrawLoadingScreen(75);
    EXPECT_EQ(Device().CountCalls("CreateTextureFromMemory"), 1);
    EXPECT_EQ(Device().CountCalls("SetTexture 0 set"), 4);
    const DeviceState& s = Device().GetState();
    EXPECT_EQ(s.Get(RenderState::Lighting), 0u);
    EXPECT_EQ(s.Get(RenderState::ZEnable), 0u);
    EXPECT_EQ(s.fvf, kFvfScreen);
}

TEST_F(RenderTest, RestoreRenderStatesSetsEveryDefaultWhateverWasThere) {
    StartRender();
    render_->SetStoredAmbient(0xFF203040, 0.125f, 0.25f, 0.375f, 1.0f);
    render_->SetFogColor(0xFF506070);
    const std::pair<RenderState, uint32_t> states[] = {
        {RenderState::SpecularEnable, 0},
        {RenderState::Lighting, 1},
        {RenderState::AlphaBlendEnable, 0},
        {RenderState::ZEnable, 1},
        {RenderState::ZWriteEnable, 1},
        {RenderState::SrcBlend, BlendSrcAlpha},
        {RenderState::DestBlend, BlendInvSrcAlpha},
        {RenderState::ZFunc, CmpLessEqual},
        {RenderState::DitherEnable, 0},
        {RenderState::Clipping, 1},
        {RenderState::CullMode, CullCCW},
        {RenderState::Ambient, 0xFF203040},
        {RenderState::DiffuseMaterialSource, SourceMaterial},
        {RenderState::SpecularMaterialSource, SourceMaterial},
        {RenderState::AmbientMaterialSource, SourceMaterial},
        {RenderState::FogEnable, 1},
        {RenderState::FogVertexMode, FogLinear},
        {RenderState::FogDensity, FloatBits(0.0f)},
        {RenderState::FogStart, FloatBits(50.0f)},
        {RenderState::FogEnd, FloatBits(692.0f)},
        {RenderState::FogColor, 0xFF506070},
    };
    struct Stage {
        int stage;
        StageState state;
        uint32_t value;
    };
    const Stage stages[] = {
        {0, StageState::ColorOp, OpModulate},   {0, StageState::ColorArg1, ArgTexture},
        {0, StageState::ColorArg2, ArgDiffuse}, {0, StageState::AlphaOp, OpDisable},
        {0, StageState::AlphaArg1, ArgTexture}, {0, StageState::AlphaArg2, ArgDiffuse},
        {1, StageState::ColorOp, OpDisable},    {1, StageState::AlphaOp, OpDisable},
        {1, StageState::ColorArg1, ArgTexture}, {1, StageState::ColorArg2, ArgCurrent},
        {1, StageState::AlphaArg1, ArgTexture}, {1, StageState::AlphaArg2, ArgCurrent},
        {2, StageState::ColorOp, OpDisable},    {2, StageState::AlphaOp, OpDisable},
    };
    struct Sampler {
        int sampler;
        SamplerState state;
        uint32_t value;
    };
    const Sampler samplers[] = {
        {0, SamplerState::AddressU, AddressWrap},
        {0, SamplerState::AddressV, AddressWrap},
        {1, SamplerState::AddressU, AddressClamp},
        {1, SamplerState::AddressV, AddressClamp},
    };

    // Whatever an effect or a post pass left behind is overwritten.
    NullDevice& d = Device();
    constexpr uint32_t kJunk = 0x5A5A5A5A;
    for (const auto& [state, value] : states) d.SetRenderState(state, kJunk);
    for (const Stage& st : stages) d.SetTextureStageState(st.stage, st.state, kJunk);
    for (const Sampler& sa : samplers) d.SetSamplerState(sa.sampler, sa.state, kJunk);
    d.SetFVF(kFvfScreen);
    d.SetMaterial(Material{});
    Matrix junk;
    junk(0, 0) = 9.0f;
    d.SetTransform(TransformType::View, junk);
    d.SetTransform(TransformType::Projection, junk);

    render_->RestoreRenderStates();
    const DeviceState& st = d.GetState();
    for (const auto& [state, value] : states)
        EXPECT_EQ(st.Get(state), value) << "render state " << static_cast<int>(state);
    for (const Stage& s2 : stages)
        EXPECT_EQ(st.Get(s2.stage, s2.state), s2.value)
            << "stage " << s2.stage << " state " << static_cast<int>(s2.state);
    for (const Sampler& sa : samplers)
        EXPECT_EQ(st.Get(sa.sampler, sa.state), sa.value)
            << "sampler " << sa.sampler << " state " << static_cast<int>(sa.state);
    EXPECT_EQ(st.fvf, kFvfVertex);

    const Material& m = st.material;
    EXPECT_EQ((std::vector<float>{m.Diffuse.r, m.Diffuse.g, m.Diffuse.b, m.Diffuse.a}),
              (std::vector<float>{1, 1, 1, 1}));
    EXPECT_EQ((std::vector<float>{m.Ambient.r, m.Ambient.g, m.Ambient.b, m.Ambient.a}),
              (std::vector<float>{1, 1, 1, 1}));
    EXPECT_EQ((std::vector<float>{m.Specular.r, m.Specular.g, m.Specular.b, m.Specular.a}),
              (std::vector<float>{0.3f, 0.3f, 0.3f, 1}));
    EXPECT_EQ((std::vector<float>{m.Emissive.r, m.Emissive.g, m.Emissive.b, m.Emissive.a}),
              (std::vector<float>{0, 0, 0, 0}));
    EXPECT_FLOAT_EQ(m.Power, 10.0f);

    // The view looks from (0, 0, 14.5) at the origin; the projection is 1.0995574 rad over 0.1..1000
    // with the desktop's integer aspect (1024 x 768: 1).
    const Matrix& view = st.Transform(TransformType::View);
    EXPECT_FLOAT_EQ(view(2, 2), -1.0f);
    EXPECT_FLOAT_EQ(view(3, 2), 14.5f);
    const Matrix& projection = st.Transform(TransformType::Projection);
    const float yScale = 1.0f / std::tan(1.0995574f * 0.5f);
    EXPECT_FLOAT_EQ(projection(1, 1), yScale);
    EXPECT_FLOAT_EQ(projection(0, 0), yScale);
    EXPECT_FLOAT_EQ(projection(2, 2), 1000.0f / (1000.0f - 0.1f));
    EXPECT_FLOAT_EQ(projection(3, 2), -0.1f * 1000.0f / (1000.0f - 0.1f));
    EXPECT_FLOAT_EQ(projection(2, 3), 1.0f);
}

TEST_F(RenderTest, LoadingScreenShowsTheTopOfTheBackgroundWithoutLightZOrFog) {
    RenderSupport::ScopedGameRoot root;
    StartRender();
    std::vector<std::vector<uint8_t>> draws;
    Device().lastUserVertices.clear();
    // A draw keeps its vertices once its call has been recorded: take them at the next call.
    Device().onCall = [&](const std::string&) {
        if (Device().lastUserVertices.empty()) return;
        draws.push_back(Device().lastUserVertices);
        Device().lastUserVertices.clear();
    };
    render_->DrawLoadingScreen(30);
    Device().onCall = nullptr;
    ASSERT_EQ(draws.size(), 2u);
    const auto background = Vertices(draws[0]);
    ASSERT_EQ(background.size(), 4u);
    const float expected[4][4] = {
        {639.5f, -0.5f, 1, 0}, {639.5f, 479.5f, 1, 0.75f}, {-0.5f, -0.5f, 0, 0}, {-0.5f, 479.5f, 0, 0.75f}};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_FLOAT_EQ(background[i].x, expected[i][0]);
        EXPECT_FLOAT_EQ(background[i].y, expected[i][1]);
        EXPECT_FLOAT_EQ(background[i].u, expected[i][2]);
        EXPECT_FLOAT_EQ(background[i].v, expected[i][3]);
        EXPECT_EQ(background[i].color, 0u);
        EXPECT_FLOAT_EQ(background[i].z, 1.0f);
        EXPECT_FLOAT_EQ(background[i].rhw, 1.0f);
    }
    EXPECT_FLOAT_EQ(Vertices(draws[1])[0].x, 640 * 30 * 0.01f);

    // Cleared to opaque black before the scene; the states it sets stay behind.
    EXPECT_LT(Index("Clear 3 ff000000 1 0"), Index("BeginScene"));
    const DeviceState& s = Device().GetState();
    const std::pair<RenderState, uint32_t> states[] = {
        {RenderState::ZWriteEnable, 0},    {RenderState::ZEnable, 0},          {RenderState::Lighting, 0},
        {RenderState::CullMode, CullNone}, {RenderState::AlphaBlendEnable, 0}, {RenderState::FogEnable, 0},
    };
    for (const auto& [state, value] : states) EXPECT_EQ(s.Get(state), value) << static_cast<int>(state);
    EXPECT_EQ(s.Get(0, StageState::ColorOp), static_cast<uint32_t>(OpSelectArg1));
    EXPECT_EQ(s.Get(0, StageState::ColorArg1), static_cast<uint32_t>(ArgTexture));
    for (TransformType t : {TransformType::World, TransformType::View, TransformType::Projection})
        for (int i = 0; i < 16; ++i) EXPECT_EQ(s.Transform(t).m[i], Matrix::Identity().m[i]);
}

// Logs listener calls into a shared list together with the device's own calls.
class RecordingListener : public CPDeviceListener {
public:
    RecordingListener(std::vector<std::string>& log, std::string name) : log_(log), name_(std::move(name)) {}
    void OnLostDevice() override {
        log_.push_back("lost " + name_);
        if (onLost) onLost();
    }
    void OnResetDevice() override { log_.push_back("reset " + name_); }
    std::function<void()> onLost;

private:
    std::vector<std::string>& log_;
    std::string name_;
};

TEST_F(RenderTest, ResetTellsEveryListenerBeforeAndAfterInConstructionOrder) {
    StartRender();
    std::vector<std::string>& log = Device().calls;
    const int before = DeviceListenerCount();
    {
        RecordingListener a(log, "a"), b(log, "b"), c(log, "c");
        std::unique_ptr<RecordingListener> late;
        // A listener made while the others are told is appended and told as well.
        b.onLost = [&] {
            if (!late) late = std::make_unique<RecordingListener>(log, "late");
        };
        log.clear();
        render_->ResetDevice();
        std::vector<std::string> seen;
        for (const std::string& entry : log)
            if (entry.rfind("lost ", 0) == 0 || entry.rfind("reset ", 0) == 0 || entry == "Reset")
                seen.push_back(entry);
        const std::vector<std::string> expected = {"lost a",  "lost b",  "lost c",  "lost late", "Reset",
                                                   "reset a", "reset b", "reset c", "reset late"};
        EXPECT_EQ(seen, expected);
        // The default states are back after the reset.
        EXPECT_EQ(Device().GetState().Get(RenderState::FogEnable), 1u);
        EXPECT_EQ(Device().GetState().GetFloat(RenderState::FogEnd), 692.0f);
        EXPECT_EQ(DeviceListenerCount(), before + 4);
    }
    EXPECT_EQ(DeviceListenerCount(), before);
}

TEST_F(RenderTest, ListenerDestroyedWhileBeingToldIsSkippedSafely) {
    StartRender();
    std::vector<std::string> log;
    auto a = std::make_unique<RecordingListener>(log, "a");
    auto b = std::make_unique<RecordingListener>(log, "b");
    RecordingListener c(log, "c");
    a->onLost = [&] { a.reset(); };
    b->onLost = [&] { b.reset(); };
    NotifyLostDevice();
    EXPECT_EQ(log, (std::vector<std::string>{"lost a", "lost b", "lost c"}));
}

TEST_F(RenderTest, FailedResetSkipsFramesUntilALaterResetSucceeds) {
    StartRender();
    std::vector<std::string> log;
    RecordingListener listener(log, "x");
    Device().cooperativeLevel = DeviceResult::DeviceNotReset;
    Device().resetAnswer = DeviceResult::Fail;
    render_->AddLight(MakeLight(LightPoint, 1));
    render_->ResetDevice();
    EXPECT_EQ(log, (std::vector<std::string>{"lost x"}));
    EXPECT_EQ(render_->GetLightCount(), 0);
    Device().calls.clear();
    render_->Update();
    render_->Update();
    EXPECT_EQ(Device().CountCalls("Present"), 0);

    Device().resetAnswer = DeviceResult::Ok;
    render_->ResetDevice();
    EXPECT_EQ(log, (std::vector<std::string>{"lost x", "lost x", "reset x"}));
    Device().calls.clear();
    render_->Update();
    EXPECT_EQ(Device().CountCalls("Present"), 1);
}

TEST_F(RenderTest, DebugLinesCarryTheColourAndLastOneFrame) {
    StartRender();
    render_->DrawLine(0xFF00FF00, Vec3(1, 2, 3), Vec3(4, 5, 6));
    ASSERT_EQ(render_->GetDebugLines().size(), 2u);
    const CPVertex& a = render_->GetDebugLines()[0];
    const CPVertex& b = render_->GetDebugLines()[1];
    EXPECT_EQ(a.position, Vec3(1, 2, 3));
    EXPECT_EQ(b.position, Vec3(4, 5, 6));
    EXPECT_EQ(a.diffuse, 0xFF00FF00u);
    EXPECT_EQ(a.specular, 0u);
    EXPECT_EQ(a.normal, Vec3());
    EXPECT_TRUE(render_->HasDebugLines());
    render_->Update();
    EXPECT_TRUE(render_->GetDebugLines().empty());
}

TEST_F(RenderTest, FiltersFollowTheAnisoSetting) {
    StartRender();
    for (float aniso : {0.0f, 4.0f}) {
        g_aniso = aniso;
        render_->SetFilters();
        for (int s = 0; s < 2; ++s) {
            const DeviceState& st = Device().GetState();
            const uint32_t expected = aniso > 0 ? FilterAnisotropic : FilterLinear;
            EXPECT_EQ(st.Get(s, SamplerState::MinFilter), expected);
            EXPECT_EQ(st.Get(s, SamplerState::MagFilter), expected);
            EXPECT_EQ(st.Get(s, SamplerState::MipFilter), static_cast<uint32_t>(FilterLinear));
        }
    }
    EXPECT_EQ(Device().GetState().Get(1, SamplerState::MaxAnisotropy), 16u);
}

TEST_F(RenderTest, DesktopAspectIsTheIntegerQuotientAndStaysUsableOnPortraitScreens) {
    struct Case {
        int w, h;
        float aspect;
    };
    for (const Case& c :
         {Case{1280, 1024, 1.0f}, Case{1920, 1080, 1.0f}, Case{3840, 1080, 3.0f}, Case{1080, 1920, 0.5625f}}) {
        TearDown();
        SetUp();
        backend_->desktopWidth = c.w;
        backend_->desktopHeight = c.h;
        ASSERT_TRUE(render_->Start());
        EXPECT_FLOAT_EQ(render_->DesktopAspect(), c.aspect) << c.w << "x" << c.h;
        Matrix projection;
        Device().GetTransform(TransformType::Projection, projection);
        EXPECT_FLOAT_EQ(projection(1, 1) / projection(0, 0), c.aspect);
    }
}

TEST_F(RenderTest, DeviceValuesOfTheOtherSubsystems) {
    StartRender();
    EXPECT_EQ(render_->GetByteSetting(), 255);
    render_->SetByteSetting(150);
    EXPECT_EQ(render_->GetByteSetting(), 150);
    // The gloom view's strength is a real: 0.3 is on.
    render_->SetScreenEffect(0.3f);
    EXPECT_TRUE(render_->IsMotionBlurOn());
    EXPECT_FLOAT_EQ(render_->GetMotionBlurAmount(), 0.3f);
    render_->SetScreenEffect(0);
    EXPECT_FALSE(render_->IsMotionBlurOn());
    EXPECT_EQ(render_->GetMotionBlurAmount(), 0.0f);
    EXPECT_EQ(render_->GetTuningIndex(), 0);
    render_->AddDrawnObjects(4);
    render_->AddDrawnObjects(5);
    render_->Update();
    EXPECT_EQ(render_->GetDrawnObjectCount(), 9);
    render_->Update();
    EXPECT_EQ(render_->GetDrawnObjectCount(), 0);
    EXPECT_FLOAT_EQ(render_->GetLightCoeff(), 2.0f);
    render_->SetAmbient(0xFF102030, 0.25f, 0.5f, 0.75f);
    EXPECT_EQ(Device().GetState().Get(RenderState::Ambient), 0xFF102030u);
    EXPECT_FLOAT_EQ(render_->GetAmbientFloats()[1], 0.5f);
    EXPECT_FLOAT_EQ(render_->GetAmbientFloats()[3], 1.0f);
}

// The device the sky was last given, through the renderer's hook.
Device* g_skyDevice = nullptr;
void SetSkyDevice(Device* device) { g_skyDevice = device; }

// The game started again in one process: the first run's renderer is stopped with its run but only
// collected once the second run's renderer has handed its device out. Going then, it takes nothing
// back from the new materials or the sky.
TEST(RenderRestartTest, ARendererCollectedAfterTheNextOneStartedLeavesItsDeviceInPlace) {
    CPSettingsManager::ResetDefaults();
    g_bloom = 0;
    auto start = [](std::unique_ptr<CPMaterialManager>& materials, NullBackend*& backend) {
        materials = std::make_unique<CPMaterialManager>();
        CPRefPtr<CPRender> render(new CPRender());
        auto made = std::make_unique<NullBackend>();
        backend = made.get();
        render->SetBackend(std::move(made));
        render->SetSkyHooks(SkyHooks{nullptr, nullptr, &SetSkyDevice});
        EXPECT_TRUE(render->Start());
        return render;
    };
    std::unique_ptr<CPMaterialManager> materials;
    NullBackend* backend = nullptr;
    CPRefPtr<CPRender> first = start(materials, backend);
    first->Stop();
    materials.reset();
    // Released, not yet collected.
    first.Reset();
    CPRefPtr<CPRender> second = start(materials, backend);
    Device* device = second->GetDevice();
    ASSERT_NE(device, nullptr);
    ASSERT_EQ(materials->GetEffectManager().GetDevice(), device);
    ASSERT_EQ(g_skyDevice, device);
    CPManagedObject::CollectGarbage();
    EXPECT_EQ(GetRender(), second.Get());
    EXPECT_EQ(materials->GetEffectManager().GetDevice(), device);
    EXPECT_EQ(materials->GetTextureManager().GetDevice(), device);
    EXPECT_EQ(g_skyDevice, device);
    // The second one stopping takes its device back from both.
    second->Stop();
    EXPECT_EQ(materials->GetEffectManager().GetDevice(), nullptr);
    EXPECT_EQ(g_skyDevice, nullptr);
    second.Reset();
    CPManagedObject::CollectGarbage();
    materials.reset();
    CPSettingsManager::ResetDefaults();
}

} // namespace

namespace {

TEST(RenderStartTest, WithoutAVideoSystemTheRendererRefusesToStartAndSaysWhy) {
    CPSettingsManager::ResetDefaults();
    const char* previous = std::getenv("SDL_VIDEODRIVER");
    const std::string saved = previous ? previous : "";
    setenv("SDL_VIDEODRIVER", "no-such-driver", 1);
    {
        CPRefPtr<CPRender> render(new CPRender());
        ::testing::internal::CaptureStderr();
        render->SetBackend(CreateGlBackend());
        EXPECT_FALSE(render->Start());
        const std::string said = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find("video system cannot start"), std::string::npos) << said;
        EXPECT_EQ(render->GetDevice(), nullptr);
        EXPECT_FALSE(render->IsRunning());
        render->Update();
        render->DrawLoadingScreen(10);
    }
    if (previous) setenv("SDL_VIDEODRIVER", saved.c_str(), 1);
    else unsetenv("SDL_VIDEODRIVER");
    CPManagedObject::CollectGarbage();
}

} // namespace
