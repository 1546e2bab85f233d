#include "Render/PBloom.h"

#include <algorithm>
#include <cmath>
#include <string_view>

#include "Core/PFileReader.h"
#include "Core/PGlobalTimer.h"
#include "Core/PLog.h"
#include "Core/PSettings.h"
#include "Render/DeviceCheck.h"
#include "Render/PRender.h"

using namespace Platform;

namespace {

PlayerVelocitySource g_velocitySource = nullptr;
bool g_copyBackBuffer = false;
bool g_blurComposite = false;

ScreenQuad Quad(float right, float bottom) {
    return {{
        {right, -0.5f, 1, 1, 0xFFFFFFFFu, 1, 0},
        {right, bottom, 1, 1, 0xFFFFFFFFu, 1, 1},
        {-0.5f, -0.5f, 1, 1, 0xFFFFFFFFu, 0, 0},
        {-0.5f, bottom, 1, 1, 0xFFFFFFFFu, 0, 1},
    }};
}

} // namespace

void SetPlayerVelocitySource(PlayerVelocitySource source) { g_velocitySource = source; }
void CPBloom::SetCopyBackBuffer(bool copy) { g_copyBackBuffer = copy; }
void CPBloom::SetBlurComposite(bool composite) { g_blurComposite = composite; }
PlayerVelocitySource GetPlayerVelocitySource() { return g_velocitySource; }

SpeedBlurValues ComputeSpeedBlur() {
    SpeedBlurValues out;
    Vec3 v;
    if (!g_velocitySource || !g_velocitySource(v)) return out;
    const float length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    // Nothing moves (or the value is no number): no smear and no direction.
    if (!(length > 0.0f) || !std::isfinite(length)) return out;
    out.factor = std::clamp(length * 0.04f, 0.0f, 1.0f);
    out.fx = v.x / length;
    out.fy = v.z / length;
    return out;
}

CPBloom::CPBloom(CPRender* render)
    : render_(render), smallQuad_(Quad(kSmallWidth - 0.5f, kSmallHeight - 0.5f)), screenQuad_(Quad(1023.5f, 767.5f)) {}

CPBloom::~CPBloom() { Release(); }

bool CPBloom::Init(Device* device) {
    // A second Init (after a device reset) must not stack a new set on the old one.
    Release();
    if (!device) return false;
    device_ = device;
    LoadEffect("data/effects/bloom.fx", bloom_);
    LoadEffect("data/effects/bloom2.fx", bloom2_);
    blurMask_ = LoadTexture("data/TEXTUREs/blurmask.tga");
    LoadEffect("data/effects/blur.fx", blur_);
    noise_ = LoadTexture("data/TEXTUREs/noise.tga");
    if (CPEffectObject* fx = blur_.effect.get()) {
        tex0_ = fx->GetParameterByName("tex0");
        tex1_ = fx->GetParameterByName("tex1");
        speedRatio_ = fx->GetParameterByName("SpeedRatio");
        forward_ = fx->GetParameterByName("Forward");
        fx_ = fx->GetParameterByName("fx");
        fy_ = fx->GetParameterByName("fy");
    }
    CreateTargets();
    return true;
}

void CPBloom::LoadEffect(const char* path, Effect& out) {
    out.effect.reset();
    out.textures.clear();
    CPFileReader reader(path);
    if (FAILED(reader.Load())) {
        GetLog().Write(0, "Bloom: cannot read %s\n", path);
        return;
    }
    EffectFile file;
    std::string error;
    const std::string_view text(reinterpret_cast<const char*>(reader.GetData()),
                                static_cast<size_t>(reader.GetLength()));
    if (!ReadEffectFile(text, file, error)) {
        GetLog().Write(0, "Bloom: %s: %s\n", path, error.c_str());
        return;
    }
    out.effect = CPEffectObject::Create(*device_, file, nullptr, error);
    if (!out.effect) {
        GetLog().Write(0, "Bloom: %s: no valid technique\n%s\n", path, error.c_str());
        return;
    }
    out.textures = out.effect->GetParametersByType(EffectParamType::Texture2D);
}

std::unique_ptr<Texture> CPBloom::LoadTexture(const char* path) {
    std::unique_ptr<Texture> texture;
    CPFileReader reader(path);
    if (FAILED(reader.Load())) {
        GetLog().Write(0, "Bloom: cannot read %s\n", path);
        return texture;
    }
    const DeviceResult r = device_->CreateTextureFromMemory(reader.GetData(), static_cast<size_t>(reader.GetLength()),
                                                            TextureOptions{}, texture);
    if (!DeviceOk(r)) {
        GetLog().Write(0, "Bloom: cannot create the texture %s: %s\n", path, DeviceResultName(r));
        texture.reset();
    }
    return texture;
}

void CPBloom::CreateTargets() {
    ReleaseTargets();
    if (!device_) return;
    const PresentParameters& p = device_->GetPresentParameters();
    right_ = static_cast<float>(p.BackBufferWidth) - 0.5f;
    bottom_ = static_cast<float>(p.BackBufferHeight) - 0.5f;
    screenQuad_ = Quad(right_, bottom_);
    // A target that cannot be made stays empty; the passes skip what needs it.
    auto make = [&](int w, int h, std::unique_ptr<Texture>& out) {
        if (!DEVICE_CHECK(device_->CreateRenderTarget(w, h, out))) out.reset();
    };
    make(kSmallWidth, kSmallHeight, targetA_);
    make(kSmallWidth, kSmallHeight, targetB_);
    make(p.BackBufferWidth, p.BackBufferHeight, targetF_);
    make(p.BackBufferWidth, p.BackBufferHeight, targetG_);
}

void CPBloom::ReleaseTargets() {
    if (device_) {
        // Nothing may keep drawing into or sampling a target that is going.
        for (int s = 0; s < kMaxStages; ++s) {
            Texture* t = device_->GetTexture(s);
            if (t && (t == targetA_.get() || t == targetB_.get() || t == targetF_.get() || t == targetG_.get()))
                device_->SetTexture(s, nullptr);
        }
        device_->SetRenderTarget(nullptr);
    }
    targetA_.reset();
    targetB_.reset();
    targetF_.reset();
    targetG_.reset();
}

void CPBloom::Release() {
    ReleaseTargets();
    if (device_)
        for (int s = 0; s < kMaxStages; ++s) {
            Texture* t = device_->GetTexture(s);
            if (t && (t == blurMask_.get() || t == noise_.get())) device_->SetTexture(s, nullptr);
        }
    blurMask_.reset();
    noise_.reset();
    bloom_ = Effect{};
    bloom2_ = Effect{};
    blur_ = Effect{};
    tex0_ = tex1_ = speedRatio_ = forward_ = fx_ = fy_ = -1;
    device_ = nullptr;
}

Texture* CPBloom::GetTarget(char which) const {
    switch (which) {
    case 'A': return targetA_.get();
    case 'B': return targetB_.get();
    case 'F': return targetF_.get();
    case 'G': return targetG_.get();
    }
    return nullptr;
}

void CPBloom::PostPassState() {
    Device& d = *device_;
    d.SetTextureStageState(0, StageState::AlphaOp, OpModulate);
    d.SetRenderState(RenderState::ZEnable, 0);
    d.SetRenderState(RenderState::FogEnable, 0);
    d.SetRenderState(RenderState::BlendOp, BlendOpAdd);
    d.SetRenderState(RenderState::Lighting, 0);
    d.SetRenderState(RenderState::ZWriteEnable, 0);
    for (int s = 0; s < 2; ++s) {
        d.SetSamplerState(s, SamplerState::MinFilter, FilterLinear);
        d.SetSamplerState(s, SamplerState::MagFilter, FilterLinear);
        d.SetSamplerState(s, SamplerState::MipFilter, FilterLinear);
    }
    d.SetFVF(kFvfScreen);
    d.SetSamplerState(0, SamplerState::AddressU, AddressClamp);
    d.SetSamplerState(0, SamplerState::AddressV, AddressClamp);
    d.SetTransform(TransformType::World, Matrix::Identity());
}

void CPBloom::PostPassEnd() {
    Device& d = *device_;
    d.SetSamplerState(0, SamplerState::AddressU, AddressWrap);
    d.SetSamplerState(0, SamplerState::AddressV, AddressWrap);
    d.SetRenderState(RenderState::AlphaBlendEnable, 0);
    d.SetRenderState(RenderState::ZEnable, 1);
    // Fog stays off: only the default states and the fade's clean-up turn it on again.
    d.SetRenderState(RenderState::FogEnable, 0);
    d.SetRenderState(RenderState::Lighting, 1);
    d.SetRenderState(RenderState::ZWriteEnable, 1);
    d.SetTextureStageState(0, StageState::AlphaOp, OpDisable);
    d.SetFVF(kFvfVertex);
    if (render_) render_->SetFilters();
    d.SetTransform(TransformType::World, Matrix::Identity());
}

void CPBloom::DrawQuad(const ScreenQuad& quad) {
    DEVICE_CHECK(device_->DrawPrimitiveUP(PrimitiveType::TriangleStrip, 2, quad.data(), sizeof(ScreenVertex)));
}

Texture* CPBloom::RunPasses(Effect& effect, Texture* source, Texture* first, Texture* second, const ScreenQuad& quad,
                            bool allTextures) {
    CPEffectObject* fx = effect.effect.get();
    int passes = 0;
    if (!fx || !first || !fx->Begin(*device_, passes)) return source;
    // A second pass of an effect that read the back buffer needs a target of its own to go on with.
    if (passes > 1 && (!second || second == first)) {
        fx->End();
        return source;
    }
    Texture* other = first;
    for (int p = 0; p < passes; ++p) {
        if (allTextures)
            for (CPEffectObject::Handle h : effect.textures) fx->SetTexture(h, source);
        else fx->SetTexture(tex0_, source);
        device_->SetRenderTarget(other);
        if (fx->BeginPass(p)) {
            DrawQuad(quad);
            fx->EndPass();
            CountFill(other);
        }
        source = other;
        other = other == first ? second : first;
    }
    fx->End();
    return source;
}

void CPBloom::CountFill(const Texture* target) {
    const PresentParameters& p = device_->GetPresentParameters();
    const double screen = static_cast<double>(p.BackBufferWidth) * p.BackBufferHeight;
    if (screen <= 0) return;
    const double area = target ? static_cast<double>(target->GetWidth()) * target->GetHeight() : screen;
    fills_.quads += area / screen;
}

void CPBloom::CountCopy(const Texture* target) {
    const PresentParameters& p = device_->GetPresentParameters();
    const double screen = static_cast<double>(p.BackBufferWidth) * p.BackBufferHeight;
    if (screen > 0 && target) fills_.copies += static_cast<double>(target->GetWidth()) * target->GetHeight() / screen;
}

void CPBloom::SpeedBlur(float amount) {
    if (!device_) return;
    PostPassState();
    if (g_blur == 0) {
        PostPassEnd();
        return;
    }
    blurClock_ += FrameDelta;
    Texture* result = nullptr;
    // The picture so far: the back buffer itself where the device lets effects sample it, else a
    // copy of it in F.
    Texture* back = g_copyBackBuffer ? nullptr : device_->GetBackBufferTexture();
    if (targetF_ || back) {
        Texture* source = back;
        if (!source) {
            MarkFramePass("blur_copy");
            DEVICE_CHECK(device_->StretchRect(nullptr, targetF_.get()));
            CountCopy(targetF_.get());
            source = targetF_.get();
        }
        const SpeedBlurValues speed = ComputeSpeedBlur();
        if (CPEffectObject* fx = blur_.effect.get()) {
            fx->SetTexture(tex0_, source);
            fx->SetTexture(tex1_, blurMask_.get());
            fx->SetFloat(speedRatio_, speed.factor * amount);
            fx->SetInt(forward_, 1);
            fx->SetFloat(fx_, speed.fx);
            fx->SetFloat(fy_, speed.fy);
        }
        MarkFramePass("blur");
        // A blur of one pass from the copy draws straight onto the screen, laid by its alpha as the
        // composite below would lay its picture: the same pixels, one full-screen fill fewer.
        if (!back && !g_blurComposite && BlurOntoScreen()) {
            PostPassEnd();
            return;
        }
        result = RunPasses(blur_, source, targetG_.get(), back ? targetF_.get() : source, screenQuad_, false);
        // Nothing drawn: the back buffer stays as it is.
        if (result == back) result = nullptr;
    }
    device_->SetRenderTarget(nullptr);
    if (result) {
        MarkFramePass("blur_composite");
        device_->SetRenderState(RenderState::AlphaBlendEnable, 1);
        device_->SetTexture(0, result);
        DrawQuad(screenQuad_);
        CountFill(nullptr);
    }
    PostPassEnd();
}

bool CPBloom::BlurOntoScreen() {
    CPEffectObject* fx = blur_.effect.get();
    int passes = 0;
    if (!fx || !fx->Begin(*device_, passes)) return false;
    if (passes != 1) {
        fx->End();
        return false;
    }
    device_->SetRenderTarget(nullptr);
    if (fx->BeginPass(0)) {
        device_->SetRenderState(RenderState::AlphaBlendEnable, 1);
        DrawQuad(screenQuad_);
        fx->EndPass();
        CountFill(nullptr);
    }
    fx->End();
    return true;
}

void CPBloom::Bloom() {
    if (!device_) return;
    PostPassState();
    Texture* result = nullptr;
    if (targetA_) {
        MarkFramePass("bloom_copy");
        DEVICE_CHECK(device_->StretchRect(nullptr, targetA_.get()));
        CountCopy(targetA_.get());
        Texture* other = targetB_ ? targetB_.get() : nullptr;
        MarkFramePass("bloom");
        result = RunPasses(bloom_, targetA_.get(), other, targetA_.get(), smallQuad_, true);
        other = result == targetA_.get() ? targetB_.get() : targetA_.get();
        MarkFramePass("bloom2");
        result = RunPasses(bloom2_, result, other, result, smallQuad_, true);
    }
    device_->SetRenderTarget(nullptr);
    device_->SetRenderState(RenderState::AlphaBlendEnable, 1);
    if (result) {
        MarkFramePass("bloom_composite");
        device_->SetRenderState(RenderState::SrcBlend, BlendOne);
        device_->SetRenderState(RenderState::DestBlend, BlendOne);
        device_->SetTexture(0, result);
        DrawQuad(screenQuad_);
        CountFill(nullptr);
    }
    device_->SetRenderState(RenderState::AlphaBlendEnable, 0);
    device_->SetRenderState(RenderState::AlphaBlendEnable, 1);
    device_->SetRenderState(RenderState::SrcBlend, BlendSrcAlpha);
    device_->SetRenderState(RenderState::DestBlend, BlendInvSrcAlpha);
    if (noise_) {
        MarkFramePass("noise");
        device_->SetTexture(0, noise_.get());
        DrawQuad(Quad(right_, bottom_));
        CountFill(nullptr);
    }
    PostPassEnd();
}
