#include "Render/PRender.h"

#include <cmath>

#include "Core/Math/Mat4.h"
#include "Core/PFileReader.h"
#include "Core/PLog.h"
#include "Core/PSettings.h"
#include "Platform/GlDevice.h"
#include "Render/DeviceMatrix.h"

using namespace Platform;

namespace {

CPRender* g_render = nullptr;

// A pre-transformed vertex of format 0x144: pixels with y down, rhw, colour, one texture pair.
struct ScreenVertex {
    float x, y, z, rhw;
    uint32_t color;
    float u, v;
};
static_assert(sizeof(ScreenVertex) == 28);

const char* Describe(DeviceResult r) {
    switch (r) {
    case DeviceResult::Ok: return "The call succeeded.";
    case DeviceResult::InvalidCall: return "The call is invalid: a parameter or the device state is wrong.";
    case DeviceResult::OutOfMemory: return "Not enough memory for the call.";
    case DeviceResult::DeviceLost: return "The device is lost and cannot be reset yet.";
    case DeviceResult::DeviceNotReset: return "The device is lost and can be reset now.";
    case DeviceResult::NotAvailable: return "The device or the requested feature is not available.";
    case DeviceResult::Fail: break;
    }
    return "The device call failed.";
}

} // namespace

#define DEVICE_CHECK(call) Check((call), #call, __LINE__)

CPRender* GetRender() { return g_render; }

CPRender::CPRender() { g_render = this; }

CPRender::~CPRender() {
    ReleaseDevice();
    submittedBlocks_.clear();
    dynamicBlock_.Reset();
    if (g_render == this) g_render = nullptr;
}

void CPRender::SetBackend(std::unique_ptr<DeviceBackend> backend) { backend_ = std::move(backend); }

bool CPRender::Check(DeviceResult result, const char* call, int line) {
    if (DeviceOk(result)) return true;
    GetLog().Write(0, "DXError if %s on line %d\n%s\n%s\n", call, line, DeviceResultName(result), Describe(result));
    return false;
}

float CPRender::DesktopAspect() const {
    if (desktopWidth_ <= 0 || desktopHeight_ <= 0) return 1.0f;
    const int quotient = desktopWidth_ / desktopHeight_;
    // A desktop higher than wide has a quotient of 0, which builds no projection: use its real shape.
    if (quotient == 0) return static_cast<float>(desktopWidth_) / static_cast<float>(desktopHeight_);
    return static_cast<float>(quotient);
}

bool CPRender::Start() {
    if (!CPTask::Start()) return false;
    if (!backend_) backend_ = CreateGlBackend();
    if (!backend_) {
        running_ = false;
        return false;
    }
    if (!backend_->GetDesktopSize(desktopWidth_, desktopHeight_)) {
        desktopWidth_ = g_screenWidth;
        desktopHeight_ = g_screenHeight;
    }
    if (FAILED(CreateDevice())) {
        running_ = false;
        return false;
    }

    dynamicBlock_ = CPRefPtr<CPRenderBlock>(new CPRenderBlock());
    dynamicBlock_->Init(false, g_static ? 2 : 4);

    const DeviceCaps& caps = device_->GetDeviceCaps();
    maxAnisotropy_ = static_cast<int>(caps.MaxAnisotropy);
    anisoMin_ = anisoMag_ = caps.TextureFilterCaps != 0;

    RestoreRenderStates();
    InitLayerCameras();
    AcquireShadowMaterial();

    DEVICE_CHECK(device_->Clear(ClearTarget | ClearZBuffer, 0xFF000000, 1.0f, 0));
    DEVICE_CHECK(device_->BeginScene());
    DEVICE_CHECK(device_->EndScene());
    DEVICE_CHECK(device_->Present());

    BuildBlurGrid();
    AttachSky();
    BloomInit();
    return true;
}

HRESULT CPRender::CreateDevice() {
    if (!backend_) return E_FAIL;
    presentParams_ = PresentParameters{};
    presentParams_.EnableAutoDepthStencil = true;
    presentParams_.AutoDepthStencilFormat = Format::D16;
    presentParams_.BackBufferCount = 1;

    vertexProcessing_ =
        backend_->GetAdapterCaps().HardwareTransformAndLight ? kVertexProcessingHardware : kVertexProcessingSoftware;
    presentParams_.DeviceWindow = deviceWindow_;
    presentParams_.BackBufferWidth = g_screenWidth;
    presentParams_.BackBufferHeight = g_screenHeight;
    presentParams_.PresentImmediate = true;

    if (!g_fullScreen) {
        presentParams_.Windowed = true;
        presentParams_.BackBufferFormat = Format::A8R8G8B8;
    } else {
        format16_ = backend_->CheckDeviceType(Format::A1R5G5B5, false) ? Format::A1R5G5B5 : Format::Unknown;
        if (backend_->CheckDeviceType(Format::A8R8G8B8, false)) format32_ = Format::A8R8G8B8;
        else if (backend_->CheckDeviceType(Format::X8R8G8B8, false)) format32_ = Format::X8R8G8B8;
        else format32_ = format16_;
        presentParams_.BackBufferFormat = g_screenBPP == 16 ? format16_ : format32_;
        // A 16-bit request on a device without 16-bit modes takes the 32-bit format rather than
        // failing, and the other way round.
        if (presentParams_.BackBufferFormat == Format::Unknown)
            presentParams_.BackBufferFormat = g_screenBPP == 16 ? format32_ : format16_;
        presentParams_.Multisample = false;
        presentParams_.Windowed = false;
        presentParams_.DiscardDepthStencil = true;
        presentParams_.RefreshRate = 0;
    }

    const DeviceResult result = backend_->CreateDevice(presentParams_, device_);
    if (!DEVICE_CHECK(result)) {
        device_.reset();
        return E_FAIL;
    }
    if (!presentParams_.Windowed) DEVICE_CHECK(device_->SetRenderState(RenderState::MultisampleAntialias, 0));
    return S_OK;
}

void CPRender::ReleaseDevice() {
    // The loading-screen textures live on the device, so they go first.
    loadingBackground_.reset();
    loadingBar_.reset();
    ForgetBoundBuffers();
    device_.reset();
}

void CPRender::Stop() {
    ReleaseDevice();
    backend_.reset();
    BloomRelease();
    CPTask::Stop();
}

void CPRender::QueueBlock(CPRenderBlock* block) {
    if (block) submittedBlocks_.emplace_back(block);
}

void CPRender::AddLight(const LightRecord& light) {
    if (lightCount_ < kMaxLights) lights_[lightCount_++] = light;
}

void CPRender::ApplyLights() {
    for (int i = 0; i < lightCount_; ++i) {
        if (device_) {
            DEVICE_CHECK(device_->SetLight(i, ToDeviceLight(lights_[i])));
            DEVICE_CHECK(device_->LightEnable(i, true));
        }
        if (lights_[i].Type == LightDirectional) directionalLight_ = lights_[i];
    }
    if (device_)
        for (int i = lightCount_; i < kMaxLights; ++i) DEVICE_CHECK(device_->LightEnable(i, false));
    EmptyLightQueue();
}

void CPRender::SetAmbient(uint32_t color, float r, float g, float b) {
    if (device_) DEVICE_CHECK(device_->SetRenderState(RenderState::Ambient, color));
    ambient_[0] = r;
    ambient_[1] = g;
    ambient_[2] = b;
    ambient_[3] = 1.0f;
}

void CPRender::SetStoredAmbient(uint32_t color, float r, float g, float b, float a) {
    ambientColor_ = color;
    ambient_[0] = r;
    ambient_[1] = g;
    ambient_[2] = b;
    ambient_[3] = a;
}

void CPRender::SetFade(float level) {
    if (std::isnan(level)) return;
    level = level < 0.0f ? 0.0f : level > 1.0f ? 1.0f : level;
    float fade = static_cast<float>(fadeMaximum_) * level;
    fadeLevel_ = fade < 0.0f ? 0.0f : fade > 256.0f ? 256.0f : fade;
}

void CPRender::DrawLine(uint32_t color, const Vec3& from, const Vec3& to) {
    CPVertex a{};
    a.position = from;
    a.diffuse = color;
    CPVertex b{};
    b.position = to;
    b.diffuse = color;
    debugLineList_.push_back(a);
    debugLineList_.push_back(b);
    debugLines_ = true;
}

void CPRender::RestoreRenderStates() {
    if (!device_) return;
    Device& d = *device_;
    const float aspect = DesktopAspect();
    const Mat4 view = MatLookAtLH(Vec3(0, 0, 14.5f), Vec3(0, 0, 0), Vec3(0, 0, 1));
    const Mat4 projection = MatPerspectiveFovLH(1.0995574f, aspect, 0.1f, 1000.0f);
    DEVICE_CHECK(d.SetTransform(TransformType::View, ToDeviceMatrix(view)));
    DEVICE_CHECK(d.SetTransform(TransformType::Projection, ToDeviceMatrix(projection)));

    DEVICE_CHECK(d.SetRenderState(RenderState::SpecularEnable, 0));
    DEVICE_CHECK(d.SetRenderState(RenderState::Lighting, 1));
    DEVICE_CHECK(d.SetRenderState(RenderState::AlphaBlendEnable, 0));
    DEVICE_CHECK(d.SetRenderState(RenderState::ZEnable, 1));
    DEVICE_CHECK(d.SetRenderState(RenderState::ZWriteEnable, 1));
    DEVICE_CHECK(d.SetRenderState(RenderState::SrcBlend, BlendSrcAlpha));
    DEVICE_CHECK(d.SetRenderState(RenderState::DestBlend, BlendInvSrcAlpha));

    SetFilters();

    DEVICE_CHECK(d.SetTextureStageState(0, StageState::ColorOp, OpModulate));
    DEVICE_CHECK(d.SetTextureStageState(0, StageState::ColorArg1, ArgTexture));
    DEVICE_CHECK(d.SetTextureStageState(0, StageState::ColorArg2, ArgDiffuse));
    DEVICE_CHECK(d.SetSamplerState(0, SamplerState::AddressU, AddressWrap));
    DEVICE_CHECK(d.SetSamplerState(0, SamplerState::AddressV, AddressWrap));
    DEVICE_CHECK(d.SetTextureStageState(0, StageState::AlphaOp, OpDisable));
    DEVICE_CHECK(d.SetTextureStageState(0, StageState::AlphaArg1, ArgTexture));
    DEVICE_CHECK(d.SetTextureStageState(0, StageState::AlphaArg2, ArgDiffuse));

    DEVICE_CHECK(d.SetRenderState(RenderState::ZFunc, CmpLessEqual));
    DEVICE_CHECK(d.SetRenderState(RenderState::DitherEnable, 0));
    DEVICE_CHECK(d.SetRenderState(RenderState::Clipping, 1));
    DEVICE_CHECK(d.SetRenderState(RenderState::CullMode, CullCCW));
    DEVICE_CHECK(d.SetRenderState(RenderState::Ambient, ambientColor_));
    DEVICE_CHECK(d.SetFVF(kFvfVertex));

    DEVICE_CHECK(d.SetTextureStageState(1, StageState::ColorOp, OpDisable));
    DEVICE_CHECK(d.SetTextureStageState(1, StageState::AlphaOp, OpDisable));
    DEVICE_CHECK(d.SetTextureStageState(1, StageState::ColorArg1, ArgTexture));
    DEVICE_CHECK(d.SetTextureStageState(1, StageState::ColorArg2, ArgCurrent));
    DEVICE_CHECK(d.SetTextureStageState(1, StageState::AlphaArg1, ArgTexture));
    DEVICE_CHECK(d.SetTextureStageState(1, StageState::AlphaArg2, ArgCurrent));
    DEVICE_CHECK(d.SetSamplerState(1, SamplerState::AddressU, AddressClamp));
    DEVICE_CHECK(d.SetSamplerState(1, SamplerState::AddressV, AddressClamp));
    DEVICE_CHECK(d.SetTextureStageState(2, StageState::ColorOp, OpDisable));
    DEVICE_CHECK(d.SetTextureStageState(2, StageState::AlphaOp, OpDisable));

    Material material;
    material.Diffuse = {1, 1, 1, 1};
    material.Ambient = {1, 1, 1, 1};
    material.Specular = {0.3f, 0.3f, 0.3f, 1};
    material.Emissive = {0, 0, 0, 0};
    material.Power = 10.0f;
    DEVICE_CHECK(d.SetMaterial(material));
    DEVICE_CHECK(d.SetRenderState(RenderState::DiffuseMaterialSource, SourceMaterial));
    DEVICE_CHECK(d.SetRenderState(RenderState::SpecularMaterialSource, SourceMaterial));
    DEVICE_CHECK(d.SetRenderState(RenderState::AmbientMaterialSource, SourceMaterial));

    DEVICE_CHECK(d.SetRenderState(RenderState::FogEnable, 1));
    DEVICE_CHECK(d.SetRenderState(RenderState::FogVertexMode, FogLinear));
    DEVICE_CHECK(d.SetRenderState(RenderState::FogDensity, FloatBits(0.0f)));
    DEVICE_CHECK(d.SetRenderState(RenderState::FogStart, FloatBits(50.0f)));
    DEVICE_CHECK(d.SetRenderState(RenderState::FogEnd, FloatBits(692.0f)));
    DEVICE_CHECK(d.SetRenderState(RenderState::FogColor, fogColor_));
}

void CPRender::SetFilters() {
    if (!device_) return;
    for (int s = 0; s < 2; ++s) {
        if (g_aniso > 0.0f) {
            DEVICE_CHECK(
                device_->SetSamplerState(s, SamplerState::MinFilter, anisoMin_ ? FilterAnisotropic : FilterLinear));
            DEVICE_CHECK(
                device_->SetSamplerState(s, SamplerState::MagFilter, anisoMag_ ? FilterAnisotropic : FilterLinear));
            DEVICE_CHECK(device_->SetSamplerState(s, SamplerState::MipFilter, FilterLinear));
            DEVICE_CHECK(
                device_->SetSamplerState(s, SamplerState::MaxAnisotropy, static_cast<uint32_t>(maxAnisotropy_)));
        } else {
            DEVICE_CHECK(device_->SetSamplerState(s, SamplerState::MinFilter, FilterLinear));
            DEVICE_CHECK(device_->SetSamplerState(s, SamplerState::MagFilter, FilterLinear));
            DEVICE_CHECK(device_->SetSamplerState(s, SamplerState::MipFilter, FilterLinear));
        }
    }
}

void CPRender::Update() {
    // 1-2: queue the dynamic block and fill every submitted block.
    if (dynamicBlock_) dynamicBlock_->Submit();
    std::vector<CPRefPtr<CPRenderBlock>> blocks;
    blocks.swap(submittedBlocks_);
    for (const CPRefPtr<CPRenderBlock>& block : blocks) block->Fill();
    blocks.clear();

    // 3: a device that cannot draw skips the frame; this turn's queued items are dropped.
    if (!device_ || device_->TestCooperativeLevel() != DeviceResult::Ok) {
        if (dynamicBlock_) dynamicBlock_->ResetFrame();
        EmptyLightQueue();
        debugLineList_.clear();
        lastDrawnObjects_ = drawnObjects_;
        drawnObjects_ = 0;
        return;
    }

    // 4
    ForgetBoundBuffers();
    DEVICE_CHECK(device_->BeginScene());
    BloomFrameStart();
    DEVICE_CHECK(device_->Clear(ClearTarget | ClearZBuffer, 0x00000000, 1.0f, 0));
    // 5-7
    SetCameraValues();
    DrawSkyPass();
    DEVICE_CHECK(device_->SetFVF(kFvfVertex));
    DrawRenderQueue();
    // 8
    ForgetBoundBuffers();
    EmptyLightQueue();
    // 9
    if (fadeLevel_ < static_cast<float>(fadeMaximum_)) DrawFadeQuad();
    // 10
    DEVICE_CHECK(device_->EndScene());
    DEVICE_CHECK(device_->Present());
    if (dynamicBlock_) dynamicBlock_->ResetFrame();

    // Nothing draws the debug lines; keeping them only for one frame bounds the list.
    debugLineList_.clear();
    lastDrawnObjects_ = drawnObjects_;
    drawnObjects_ = 0;
}

void CPRender::DrawFadeQuad() {
    if (!device_) return;
    Device& d = *device_;
    DEVICE_CHECK(d.SetTextureStageState(0, StageState::ColorArg2, ArgDiffuse));
    DEVICE_CHECK(d.SetTextureStageState(0, StageState::AlphaArg2, ArgDiffuse));
    DEVICE_CHECK(d.SetTextureStageState(0, StageState::AlphaOp, OpSelectArg2));
    DEVICE_CHECK(d.SetRenderState(RenderState::ZEnable, 0));
    DEVICE_CHECK(d.SetRenderState(RenderState::FogEnable, 0));
    DEVICE_CHECK(d.SetRenderState(RenderState::Lighting, 0));
    DEVICE_CHECK(d.SetRenderState(RenderState::ZWriteEnable, 0));
    DEVICE_CHECK(d.SetFVF(kFvfScreen));
    DEVICE_CHECK(d.SetTextureStageState(0, StageState::ColorOp, OpSelectArg2));
    DEVICE_CHECK(d.SetRenderState(RenderState::CullMode, CullNone));
    DEVICE_CHECK(d.SetRenderState(RenderState::AlphaBlendEnable, 1));
    DEVICE_CHECK(d.SetRenderState(RenderState::SrcBlend, BlendSrcAlpha));
    DEVICE_CHECK(d.SetRenderState(RenderState::DestBlend, BlendInvSrcAlpha));

    const int alpha = static_cast<int>(255.0f - fadeLevel_);
    const uint32_t c = static_cast<uint32_t>(alpha < 0 ? 0 : alpha > 255 ? 255 : alpha) << 24;
    const float w = static_cast<float>(g_screenWidth), h = static_cast<float>(g_screenHeight);
    const ScreenVertex quad[4] = {
        {w - 0.5f, -0.5f, 1, 1, c, 1, 0},
        {w - 0.5f, h - 0.5f, 1, 1, c, 1, 1},
        {-0.5f, -0.5f, 1, 1, c, 0, 0},
        {-0.5f, h - 0.5f, 1, 1, c, 0, 1},
    };
    DEVICE_CHECK(d.DrawPrimitiveUP(PrimitiveType::TriangleStrip, 2, quad, sizeof(ScreenVertex)));

    DEVICE_CHECK(d.SetRenderState(RenderState::ZEnable, 1));
    DEVICE_CHECK(d.SetRenderState(RenderState::FogEnable, 1));
    DEVICE_CHECK(d.SetRenderState(RenderState::Lighting, 1));
    DEVICE_CHECK(d.SetRenderState(RenderState::ZWriteEnable, 1));
    DEVICE_CHECK(d.SetFVF(kFvfVertex));
    DEVICE_CHECK(d.SetTextureStageState(0, StageState::AlphaOp, OpDisable));
    DEVICE_CHECK(d.SetTextureStageState(0, StageState::ColorOp, OpModulate));
    DEVICE_CHECK(d.SetRenderState(RenderState::AlphaBlendEnable, 0));
    DEVICE_CHECK(d.SetRenderState(RenderState::CullMode, CullCCW));
}

void CPRender::LoadScreenTexture(std::unique_ptr<Texture>& texture, const char* path) {
    CPFileReader reader(path);
    // An unreadable file leaves the texture empty; the next call tries again.
    if (FAILED(reader.Load()) || reader.GetLength() <= 0) return;
    TextureOptions options;
    options.Mipmaps = true;
    DEVICE_CHECK(
        device_->CreateTextureFromMemory(reader.GetData(), static_cast<size_t>(reader.GetLength()), options, texture));
}

void CPRender::DrawLoadingScreen(int percent) {
    if (!device_) return;
    Device& d = *device_;
    if (!loadingBackground_) LoadScreenTexture(loadingBackground_, "data\\textures\\publisher.jpg");
    if (!loadingBar_) LoadScreenTexture(loadingBar_, "data\\textures\\load.tga");

    DEVICE_CHECK(d.Clear(ClearTarget | ClearZBuffer, 0xFF000000, 1.0f, 0));
    DEVICE_CHECK(d.BeginScene());
    DEVICE_CHECK(d.SetTransform(TransformType::World, Matrix::Identity()));
    DEVICE_CHECK(d.SetTransform(TransformType::Projection, Matrix::Identity()));
    DEVICE_CHECK(d.SetTransform(TransformType::View, Matrix::Identity()));

    DEVICE_CHECK(d.SetTextureStageState(0, StageState::ColorOp, OpSelectArg1));
    DEVICE_CHECK(d.SetTextureStageState(0, StageState::ColorArg1, ArgTexture));
    DEVICE_CHECK(d.SetRenderState(RenderState::ZWriteEnable, 0));
    DEVICE_CHECK(d.SetRenderState(RenderState::ZEnable, 0));
    DEVICE_CHECK(d.SetRenderState(RenderState::Lighting, 0));
    DEVICE_CHECK(d.SetRenderState(RenderState::CullMode, CullNone));
    DEVICE_CHECK(d.SetRenderState(RenderState::AlphaBlendEnable, 0));
    DEVICE_CHECK(d.SetRenderState(RenderState::FogEnable, 0));
    DEVICE_CHECK(d.SetFVF(kFvfScreen));

    const float w = static_cast<float>(g_screenWidth), h = static_cast<float>(g_screenHeight);
    // Only the top three quarters of the background image are shown.
    const ScreenVertex background[4] = {
        {w - 0.5f, -0.5f, 1, 1, 0, 1, 0},
        {w - 0.5f, h - 0.5f, 1, 1, 0, 1, 0.75f},
        {-0.5f, -0.5f, 1, 1, 0, 0, 0},
        {-0.5f, h - 0.5f, 1, 1, 0, 0, 0.75f},
    };
    DEVICE_CHECK(d.SetTexture(0, loadingBackground_.get()));
    DEVICE_CHECK(d.DrawPrimitiveUP(PrimitiveType::TriangleStrip, 2, background, sizeof(ScreenVertex)));

    const float x = w * static_cast<float>(percent) * 0.01f;
    const float y = h * 0.9869792f;
    const ScreenVertex bar[4] = {
        {x, y, 1, 1, 0xFFFFFFFF, 1, 0},
        {x, h, 1, 1, 0xFFFFFFFF, 1, 1},
        {0, y, 1, 1, 0xFFFFFFFF, 0, 0},
        {0, h, 1, 1, 0xFFFFFFFF, 0, 1},
    };
    DEVICE_CHECK(d.SetTexture(0, loadingBar_.get()));
    DEVICE_CHECK(d.DrawPrimitiveUP(PrimitiveType::TriangleStrip, 2, bar, sizeof(ScreenVertex)));

    DEVICE_CHECK(d.EndScene());
    DEVICE_CHECK(d.Present());
}

void CPRender::ResetDevice() {
    NotifyLostDevice();
    BloomReleaseTargets();
    if (!device_) return;
    ForgetBoundBuffers();
    const DeviceResult result = device_->Reset(presentParams_);
    if (!DEVICE_CHECK(result)) {
        // Listeners stay lost; frames are skipped until a later reset succeeds.
        if (dynamicBlock_) dynamicBlock_->ResetFrame();
        EmptyLightQueue();
        return;
    }
    NotifyResetDevice();
    RestoreRenderStates();
    BloomInit();
}
