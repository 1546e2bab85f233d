#include "Render/PRender.h"

#include <cmath>

#include "Core/Math/Mat4.h"
#include "Core/PSettings.h"
#include "Render/DeviceCheck.h"
#include "Render/DeviceMatrix.h"
#include "Render/PEffectManager.h"
#include "Render/PMaterialManager.h"
#include "Render/PPerspectiveCamera.h"
#include "Render/RenderStates.h"

using namespace Platform;

Mat4 SkyViewMatrix = MatIdentity();
Mat4 SkyViewInverse = MatIdentity();

namespace {
FramePassMark g_passMark = nullptr;
}

void SetFramePassMark(FramePassMark mark) { g_passMark = mark; }
void MarkFramePass(const char* pass) {
    if (g_passMark) g_passMark(pass);
}

CPRender::CPRender() = default;

CPRender::~CPRender() {
    ReleaseDevice();
    submittedBlocks_.clear();
    dynamicBlock_.Reset();
}

void CPRender::SetBackend(std::unique_ptr<DeviceBackend> backend) { backend_ = std::move(backend); }

float CPRender::DesktopAspect() const {
    if (desktopWidth_ <= 0 || desktopHeight_ <= 0) return 1.0f;
    const int quotient = desktopWidth_ / desktopHeight_;
    // A desktop higher than wide has a quotient of 0, which builds no projection: use its real shape.
    if (quotient == 0) return static_cast<float>(desktopWidth_) / static_cast<float>(desktopHeight_);
    return static_cast<float>(quotient);
}

bool CPRender::Start() {
    if (!CPTask::Start()) return false;
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

    // Textures and effects are made on this device from now on.
    if (CPMaterialManager* materials = GetMaterialManager()) materials->SetDevice(device_.get());
    dynamicBlock_ = CPRefPtr<CPRenderBlock>(new CPRenderBlock());
    dynamicBlock_->Init(device_.get(), false, g_static ? 2 : 4);
    // The level's static path writes into a block of its own, which must exist when it is on.
    if (g_static) {
        staticBlock_ = CPRefPtr<CPRenderBlock>(new CPRenderBlock());
        if (!staticBlock_->Init(device_.get(), true, 1)) staticBlock_.Reset();
    }

    const DeviceCaps& caps = device_->GetDeviceCaps();
    maxAnisotropy_ = static_cast<int>(caps.MaxAnisotropy);
    anisoMin_ = anisoMag_ = caps.TextureFilterCaps != 0;

    RestoreRenderStates();
    InitLayerCameras();
    if (skyPass_.GetHooks().setDevice) skyPass_.GetHooks().setDevice(device_.get());
    bloom_.Init(device_.get());
    queuePass_.SetPostPasses(&bloom_);
    BuildBlurGrid();
    if (CPMaterialManager* materials = GetMaterialManager())
        shadowMaterial_ = materials->GetMaterial(16, "shad2.fx", {});

    // One black frame, so the window shows no garbage before the first loading screen.
    DEVICE_CHECK(device_->Clear(ClearTarget | ClearZBuffer, 0xFF000000, 1.0f, 0));
    DEVICE_CHECK(device_->BeginScene());
    DEVICE_CHECK(device_->EndScene());
    DEVICE_CHECK(device_->Present());
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
    loadingScreen_.Release();
    // The sky's buffers and textures live on the device too.
    DeleteSky();
    // Only a renderer that still has its device takes it back from the sky and the materials: one
    // stopped before is collected later, when they may hold the next renderer's device.
    if (device_ && skyPass_.GetHooks().setDevice) skyPass_.GetHooks().setDevice(nullptr);
    bloom_.Release();
    // Static meshes hold device buffers; their records go with the device (the renderer stops).
    staticMeshes_.Clear();
    ForgetBoundBuffers();
    if (CPMaterialManager* materials = GetMaterialManager(); materials && device_) materials->SetDevice(nullptr);
    device_.reset();
}

void CPRender::Stop() {
    ReleaseDevice();
    backend_.reset();
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
    // The default camera looks down at the origin from 14.5 units above it.
    const Mat4 view = MatLookAtLH(Vec3(0, 0, 14.5f), Vec3(0, 0, 0), Vec3(0, 0, 1));
    const Mat4 projection = MatPerspectiveFovLH(1.0995574f, DesktopAspect(), 0.1f, 1000.0f);
    DEVICE_CHECK(d.SetTransform(TransformType::View, ToDeviceMatrix(view)));
    DEVICE_CHECK(d.SetTransform(TransformType::Projection, ToDeviceMatrix(projection)));

    ApplyStates(d, kDefaultStates);
    SetFilters();
    DEVICE_CHECK(d.SetRenderState(RenderState::Ambient, ambientColor_));
    DEVICE_CHECK(d.SetRenderState(RenderState::FogColor, fogColor_));

    Material material;
    material.Diffuse = {1, 1, 1, 1};
    material.Ambient = {1, 1, 1, 1};
    material.Specular = {0.3f, 0.3f, 0.3f, 1};
    material.Emissive = {0, 0, 0, 0};
    material.Power = 10.0f;
    DEVICE_CHECK(d.SetMaterial(material));
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
    // The turn's blocks: the dynamic one joins the submitted ones, and every one fills its buffers.
    if (dynamicBlock_) dynamicBlock_->Submit();
    std::vector<CPRefPtr<CPRenderBlock>> blocks;
    blocks.swap(submittedBlocks_);
    for (const CPRefPtr<CPRenderBlock>& block : blocks) block->Fill();
    blocks.clear();

    // A device that cannot draw skips the frame; this turn's queued items are dropped.
    if (!device_ || device_->TestCooperativeLevel() != DeviceResult::Ok) {
        if (dynamicBlock_) dynamicBlock_->ResetFrame();
        EmptyLightQueue();
        debugLineList_.clear();
        lastDrawnObjects_ = drawnObjects_;
        drawnObjects_ = 0;
        return;
    }

    ForgetBoundBuffers();
    DEVICE_CHECK(device_->BeginScene());
    bloom_.FrameStart();
    MarkFramePass("clear");
    DEVICE_CHECK(device_->Clear(ClearTarget | ClearZBuffer, 0x00000000, 1.0f, 0));
    SetCameraValues();
    MarkFramePass("sky");
    DrawStage(CPRenderPass::Stage::Background);
    // The sky bound buffers of its own.
    ForgetBoundBuffers();
    DEVICE_CHECK(device_->SetFVF(kFvfVertex));
    MarkFramePass("scene");
    DrawStage(CPRenderPass::Stage::Scene);
    // The scene's passes bound their own buffers and used up the frame's lights.
    ForgetBoundBuffers();
    EmptyLightQueue();
    MarkFramePass("overlay");
    DrawStage(CPRenderPass::Stage::Overlay);
    DEVICE_CHECK(device_->EndScene());
    MarkFramePass("present");
    DEVICE_CHECK(device_->Present());
    MarkFramePass("end");
    if (dynamicBlock_) dynamicBlock_->ResetFrame();

    // Nothing draws the debug lines; keeping them only for one frame bounds the list.
    debugLineList_.clear();
    lastDrawnObjects_ = drawnObjects_;
    drawnObjects_ = 0;
}

void CPRender::CreateSky(int number) {
    DeleteSky();
    if (skyPass_.GetHooks().make) skyPass_.SetSky(skyPass_.GetHooks().make(number));
}

void CPRender::InitLayerCameras() { queue_.InitLayerCameras(g_screenWidth, g_screenHeight); }

void CPRender::SetCameraValues() {
    const CPPerspectiveCamera* camera = CurrentCamera.Get();
    if (!camera) return;
    // The sky looks from the origin along the camera's direction.
    const Vec3 direction = Normalize(camera->lookAt - camera->eye);
    SkyViewMatrix = MatLookAtLH(Vec3(0, 0, 0), direction, camera->up);
    if (!MatInverse(SkyViewInverse, nullptr, SkyViewMatrix)) SkyViewInverse = MatIdentity();
    skyProjection_ = MatPerspectiveFovLH(1.0471976f, DesktopAspect(), 1.0f, 2000.0f);
    CPEffectManager* effects = GetEffectManager();
    if (!effects || !effects->GetSharedEffect()) return;
    const float k = lightCoeff_;
    const LightRecord& sun = directionalLight_;
    effects->SetSharedParameters(camera->viewInverse, Vec4(sun.Direction.x, sun.Direction.y, sun.Direction.z, 1.0f),
                                 Vec4(sun.Diffuse.r * k, sun.Diffuse.g * k, sun.Diffuse.b * k, k),
                                 Vec4(ambient_[0] * k, ambient_[1] * k, ambient_[2] * k, ambient_[3] * k),
                                 Vec4(camera->eye.x, camera->eye.y, camera->eye.z, 1.0f));
}

void CPRender::DrawStage(CPRenderPass::Stage stage) {
    for (CPRenderPass* pass : passes_)
        if (pass->GetStage() == stage) pass->Draw(*device_);
}

void CPRender::DrawFadeQuad() {
    if (device_) fade_.DrawQuad(*device_);
}

void CPRender::DrawLoadingScreen(int percent) {
    if (device_) loadingScreen_.Draw(*device_, percent);
}

void CPRender::ResetDevice() {
    NotifyLostDevice();
    if (!device_) return;
    ForgetBoundBuffers();
    bloom_.ReleaseTargets();
    const DeviceResult result = device_->Reset(presentParams_);
    if (!DEVICE_CHECK(result)) {
        // Listeners stay lost; frames are skipped until a later reset succeeds.
        if (dynamicBlock_) dynamicBlock_->ResetFrame();
        EmptyLightQueue();
        return;
    }
    NotifyResetDevice();
    RestoreRenderStates();
    bloom_.Init(device_.get());
}

void CPRender::BuildBlurGrid() {
    BlurGrid& g = blurGrid_;
    const size_t count = (BlurGrid::kColumns + 1) * (BlurGrid::kRows + 1);
    g.vertices.assign(count, ScreenVertex{});
    g.vertices2.assign(count, ScreenVertex{});
    g.directions.assign(count, Vec2());
    g.indices.assign(BlurGrid::kColumns * BlurGrid::kRows * 6, 0);
    g.vertexCount = 0;
    if (g_blur == 0) return;
    const float w = static_cast<float>(g_screenWidth), h = static_cast<float>(g_screenHeight);
    for (int j = 0; j <= BlurGrid::kRows; ++j)
        for (int i = 0; i <= BlurGrid::kColumns; ++i) {
            ScreenVertex& v = g.vertices[static_cast<size_t>(j * (BlurGrid::kColumns + 1) + i)];
            v.x = static_cast<float>(i) * w / BlurGrid::kColumns;
            v.y = static_cast<float>(j) * h / BlurGrid::kRows;
            if (i == 0 || i == BlurGrid::kColumns) v.x -= 0.5f;
            if (j == 0 || j == BlurGrid::kRows) v.y -= 0.5f;
            v.z = 1;
            v.rhw = 1;
            v.color = 0xFFFFFFFFu;
            v.u = static_cast<float>(i) / BlurGrid::kColumns;
            v.v = static_cast<float>(j) / BlurGrid::kRows;
        }
    size_t k = 0;
    for (int j = 0; j < BlurGrid::kRows; ++j)
        for (int i = 0; i < BlurGrid::kColumns; ++i) {
            const uint16_t a = static_cast<uint16_t>(j * (BlurGrid::kColumns + 1) + i);
            const uint16_t c = static_cast<uint16_t>(a + BlurGrid::kColumns + 1);
            for (uint16_t index :
                 {a, static_cast<uint16_t>(a + 1), c, c, static_cast<uint16_t>(a + 1), static_cast<uint16_t>(c + 1)})
                g.indices[k++] = index;
        }
    g.vertexCount = static_cast<int>(count);
    g.radialBlur = 0.0f;
    // The directions from the screen's centre, as a recentre on height 0 gives them.
    const Vec2 centre(w * 0.5f, h * 0.5f);
    for (size_t n = 0; n < count; ++n) {
        const Vec2 d(g.vertices[n].x - centre.x, g.vertices[n].y - centre.y);
        const float length = std::sqrt(d.x * d.x + d.y * d.y);
        g.directions[n] = length > 0.0f ? Vec2(d.x / length, d.y / length) : Vec2();
    }
}

void CPRender::RecentreBlurGrid(float h) {
    if (g_blur == 0) return;
    const float w = static_cast<float>(g_screenWidth), height = static_cast<float>(g_screenHeight);
    const Vec2 centre(w * 0.5f, (h + 1.0f) * height * 0.5f);
    BlurGrid& g = blurGrid_;
    for (size_t n = 0; n < g.vertices.size() && n < g.directions.size(); ++n) {
        const Vec2 d(g.vertices[n].x - centre.x, g.vertices[n].y - centre.y);
        const float length = std::sqrt(d.x * d.x + d.y * d.y);
        // A vertex at the centre has no direction (and no NaN).
        g.directions[n] = length > 0.0f ? Vec2(d.x / length, d.y / length) : Vec2();
    }
}
