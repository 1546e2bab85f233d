#include "Render/RenderStates.h"

#include <bit>

#include "Render/DeviceCheck.h"

using namespace Platform;

namespace {

const DeviceStateValue kDefaults[] = {
    StateOf(RenderState::SpecularEnable, 0),
    StateOf(RenderState::Lighting, 1),
    StateOf(RenderState::AlphaBlendEnable, 0),
    StateOf(RenderState::ZEnable, 1),
    StateOf(RenderState::ZWriteEnable, 1),
    StateOf(RenderState::SrcBlend, BlendSrcAlpha),
    StateOf(RenderState::DestBlend, BlendInvSrcAlpha),
    // Stage 0 modulates the texture by the vertex colour; its alpha stays off.
    StateOf(0, StageState::ColorOp, OpModulate),
    StateOf(0, StageState::ColorArg1, ArgTexture),
    StateOf(0, StageState::ColorArg2, ArgDiffuse),
    StateOf(0, SamplerState::AddressU, AddressWrap),
    StateOf(0, SamplerState::AddressV, AddressWrap),
    StateOf(0, StageState::AlphaOp, OpDisable),
    StateOf(0, StageState::AlphaArg1, ArgTexture),
    StateOf(0, StageState::AlphaArg2, ArgDiffuse),
    StateOf(RenderState::ZFunc, CmpLessEqual),
    StateOf(RenderState::DitherEnable, 0),
    StateOf(RenderState::Clipping, 1),
    StateOf(RenderState::CullMode, CullCCW),
    VertexFormatOf(kFvfVertex),
    // Stages 1 and 2 off until a material turns them on; stage 1 clamps.
    StateOf(1, StageState::ColorOp, OpDisable),
    StateOf(1, StageState::AlphaOp, OpDisable),
    StateOf(1, StageState::ColorArg1, ArgTexture),
    StateOf(1, StageState::ColorArg2, ArgCurrent),
    StateOf(1, StageState::AlphaArg1, ArgTexture),
    StateOf(1, StageState::AlphaArg2, ArgCurrent),
    StateOf(1, SamplerState::AddressU, AddressClamp),
    StateOf(1, SamplerState::AddressV, AddressClamp),
    StateOf(2, StageState::ColorOp, OpDisable),
    StateOf(2, StageState::AlphaOp, OpDisable),
    StateOf(RenderState::DiffuseMaterialSource, SourceMaterial),
    StateOf(RenderState::SpecularMaterialSource, SourceMaterial),
    StateOf(RenderState::AmbientMaterialSource, SourceMaterial),
    StateOf(RenderState::FogEnable, 1),
    StateOf(RenderState::FogVertexMode, FogLinear),
    StateOf(RenderState::FogDensity, std::bit_cast<uint32_t>(0.0f)),
    StateOf(RenderState::FogStart, std::bit_cast<uint32_t>(50.0f)),
    StateOf(RenderState::FogEnd, std::bit_cast<uint32_t>(692.0f)),
};

const DeviceStateValue kScreenQuad[] = {
    StateOf(RenderState::ZEnable, 0),   StateOf(RenderState::ZWriteEnable, 0),    StateOf(RenderState::Lighting, 0),
    StateOf(RenderState::FogEnable, 0), StateOf(RenderState::CullMode, CullNone), VertexFormatOf(kFvfScreen),
};

void Apply(Device& device, const DeviceStateValue& s) {
    switch (s.kind) {
    case DeviceStateValue::Render:
        DEVICE_CHECK(device.SetRenderState(static_cast<RenderState>(s.state), s.value));
        break;
    case DeviceStateValue::Stage:
        DEVICE_CHECK(device.SetTextureStageState(s.slot, static_cast<StageState>(s.state), s.value));
        break;
    case DeviceStateValue::Sampler:
        DEVICE_CHECK(device.SetSamplerState(s.slot, static_cast<SamplerState>(s.state), s.value));
        break;
    case DeviceStateValue::VertexFormat: DEVICE_CHECK(device.SetFVF(s.value)); break;
    }
}

} // namespace

const DeviceStateTable kDefaultStates = kDefaults;
const DeviceStateTable kScreenQuadStates = kScreenQuad;

void ApplyStates(Device& device, DeviceStateTable table) {
    for (const DeviceStateValue& s : table) Apply(device, s);
}

void RestoreDefaultStates(Device& device, DeviceStateTable table) {
    for (const DeviceStateValue& s : table)
        for (const DeviceStateValue& d : kDefaultStates)
            if (d.SameState(s)) {
                Apply(device, d);
                break;
            }
}
