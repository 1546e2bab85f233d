#include "Platform/DeviceState.h"

namespace Platform {

Light DefaultLight() {
    Light l;
    l.Type = LightDirectional;
    l.Diffuse = {1, 1, 1, 0};
    l.Direction = {0, 0, 1};
    return l;
}

void DeviceState::SetDefaults() {
    for (Matrix& m : transforms) m = Matrix::Identity();
    for (int i = 0; i < kMaxLights; ++i) {
        lights[i] = DefaultLight();
        lightEnabled[i] = false;
    }
    material = Material{};
    auto rs = [this](RenderState s, uint32_t v) { renderStates[static_cast<int>(s)] = v; };
    rs(RenderState::ZEnable, 1);
    rs(RenderState::ZWriteEnable, 1);
    rs(RenderState::ZFunc, CmpLessEqual);
    rs(RenderState::AlphaBlendEnable, 0);
    rs(RenderState::SrcBlend, BlendOne);
    rs(RenderState::DestBlend, BlendZero);
    rs(RenderState::BlendOp, BlendOpAdd);
    rs(RenderState::AlphaTestEnable, 0);
    rs(RenderState::AlphaRef, 0);
    rs(RenderState::AlphaFunc, CmpAlways);
    rs(RenderState::CullMode, CullCCW);
    rs(RenderState::Lighting, 1);
    rs(RenderState::SpecularEnable, 0);
    rs(RenderState::Ambient, 0);
    rs(RenderState::NormalizeNormals, 0);
    rs(RenderState::ColorVertex, 1);
    rs(RenderState::FogEnable, 0);
    rs(RenderState::FogVertexMode, FogNone);
    rs(RenderState::FogColor, 0);
    rs(RenderState::FogStart, FloatBits(0.0f));
    rs(RenderState::FogEnd, FloatBits(1.0f));
    rs(RenderState::FogDensity, FloatBits(1.0f));
    rs(RenderState::DitherEnable, 0);
    rs(RenderState::Clipping, 1);
    rs(RenderState::MultisampleAntialias, 1);
    rs(RenderState::ColorWriteEnable, 0xF);
    rs(RenderState::DiffuseMaterialSource, SourceColor1);
    rs(RenderState::SpecularMaterialSource, SourceColor2);
    rs(RenderState::AmbientMaterialSource, SourceMaterial);
    rs(RenderState::EmissiveMaterialSource, SourceMaterial);
    rs(RenderState::TextureFactor, 0xFFFFFFFF);
    for (int s = 0; s < kMaxStages; ++s) {
        uint32_t* st = stageStates[s];
        st[static_cast<int>(StageState::ColorOp)] = s == 0 ? OpModulate : OpDisable;
        st[static_cast<int>(StageState::ColorArg1)] = ArgTexture;
        st[static_cast<int>(StageState::ColorArg2)] = ArgCurrent;
        st[static_cast<int>(StageState::AlphaOp)] = s == 0 ? OpSelectArg1 : OpDisable;
        st[static_cast<int>(StageState::AlphaArg1)] = ArgTexture;
        st[static_cast<int>(StageState::AlphaArg2)] = ArgCurrent;
        st[static_cast<int>(StageState::TexCoordIndex)] = static_cast<uint32_t>(s);
        textures[s] = nullptr;
    }
    for (auto& sampler : samplerStates) {
        sampler[static_cast<int>(SamplerState::AddressU)] = AddressWrap;
        sampler[static_cast<int>(SamplerState::AddressV)] = AddressWrap;
        sampler[static_cast<int>(SamplerState::AddressW)] = AddressWrap;
        sampler[static_cast<int>(SamplerState::MagFilter)] = FilterPoint;
        sampler[static_cast<int>(SamplerState::MinFilter)] = FilterPoint;
        sampler[static_cast<int>(SamplerState::MipFilter)] = FilterNone;
        sampler[static_cast<int>(SamplerState::MaxAnisotropy)] = 1;
    }
    fvf = 0;
}

bool DeviceState::SetTransform(TransformType t, const Matrix& m) {
    const int i = static_cast<int>(t);
    if (i < 0 || i > 2) return false;
    transforms[i] = m;
    return true;
}

bool DeviceState::SetLight(int index, const Light& light) {
    if (index < 0 || index >= kMaxLights) return false;
    lights[index] = light;
    return true;
}

bool DeviceState::LightEnable(int index, bool enable) {
    if (index < 0 || index >= kMaxLights) return false;
    lightEnabled[index] = enable;
    return true;
}

bool DeviceState::SetRenderState(RenderState s, uint32_t value) {
    const int i = static_cast<int>(s);
    if (i < 0 || i >= static_cast<int>(RenderState::Count)) return false;
    renderStates[i] = value;
    return true;
}

bool DeviceState::SetStageState(int stage, StageState s, uint32_t value) {
    const int i = static_cast<int>(s);
    if (stage < 0 || stage >= kMaxStages || i < 0 || i >= static_cast<int>(StageState::Count)) return false;
    stageStates[stage][i] = value;
    return true;
}

bool DeviceState::SetSamplerState(int sampler, SamplerState s, uint32_t value) {
    const int i = static_cast<int>(s);
    if (sampler < 0 || sampler >= kMaxSamplers || i < 0 || i >= static_cast<int>(SamplerState::Count)) return false;
    samplerStates[sampler][i] = value;
    return true;
}

bool DeviceState::SetTexture(int stage, Texture* texture) {
    if (stage < 0 || stage >= kMaxStages) return false;
    textures[stage] = texture;
    return true;
}

} // namespace Platform
