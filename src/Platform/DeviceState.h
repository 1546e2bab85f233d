#pragma once
// The device state both backends keep: every transform, light slot, render state, texture-stage
// and sampler state the renderer can set, with the defaults a freshly created or reset device has.
#include "Platform/Device.h"

namespace Platform {

struct DeviceState {
    Matrix transforms[3]; // indexed by TransformType
    Light lights[kMaxLights];
    bool lightEnabled[kMaxLights] = {};
    Material material;
    uint32_t renderStates[static_cast<int>(RenderState::Count)] = {};
    uint32_t stageStates[kMaxStages][static_cast<int>(StageState::Count)] = {};
    uint32_t samplerStates[kMaxSamplers][static_cast<int>(SamplerState::Count)] = {};
    Texture* textures[kMaxStages] = {};
    uint32_t fvf = 0;

    DeviceState() { SetDefaults(); }
    void SetDefaults();

    uint32_t Get(RenderState s) const { return renderStates[static_cast<int>(s)]; }
    float GetFloat(RenderState s) const { return BitsFloat(Get(s)); }
    uint32_t Get(int stage, StageState s) const {
        return stage >= 0 && stage < kMaxStages && s < StageState::Count ? stageStates[stage][static_cast<int>(s)] : 0;
    }
    uint32_t Get(int sampler, SamplerState s) const {
        return sampler >= 0 && sampler < kMaxSamplers && s < SamplerState::Count
                   ? samplerStates[sampler][static_cast<int>(s)]
                   : 0;
    }
    Texture* GetTexture(int stage) const { return stage >= 0 && stage < kMaxStages ? textures[stage] : nullptr; }
    const Matrix& Transform(TransformType t) const { return transforms[static_cast<int>(t)]; }

    // Setters that check their index; false for a slot or state outside the device's range.
    bool SetTransform(TransformType t, const Matrix& m);
    bool SetLight(int index, const Light& light);
    bool LightEnable(int index, bool enable);
    bool SetRenderState(RenderState s, uint32_t value);
    bool SetStageState(int stage, StageState s, uint32_t value);
    bool SetSamplerState(int sampler, SamplerState s, uint32_t value);
    bool SetTexture(int stage, Texture* texture);
};

// The light a slot holds before anything was set: white, directional, pointing down +z.
Light DefaultLight();

} // namespace Platform
