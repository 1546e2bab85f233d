#pragma once
// Device states as tables: the renderer's defaults, and the states a pass changes from them. A pass
// applies its table, draws, and puts back the defaults of exactly the states its table changed.
#include <cstdint>
#include <span>

#include "Platform/Device.h"

// One state and its value: a render state, a texture-stage state, a sampler state or the vertex
// format.
struct DeviceStateValue {
    enum Kind : uint8_t { Render, Stage, Sampler, VertexFormat };
    Kind kind;
    int slot; // the stage or sampler
    int state;
    uint32_t value;

    bool SameState(const DeviceStateValue& other) const {
        return kind == other.kind && slot == other.slot && state == other.state;
    }
};

using DeviceStateTable = std::span<const DeviceStateValue>;

constexpr DeviceStateValue StateOf(Platform::RenderState state, uint32_t value) {
    return {DeviceStateValue::Render, 0, static_cast<int>(state), value};
}
constexpr DeviceStateValue StateOf(int stage, Platform::StageState state, uint32_t value) {
    return {DeviceStateValue::Stage, stage, static_cast<int>(state), value};
}
constexpr DeviceStateValue StateOf(int sampler, Platform::SamplerState state, uint32_t value) {
    return {DeviceStateValue::Sampler, sampler, static_cast<int>(state), value};
}
constexpr DeviceStateValue VertexFormatOf(uint32_t fvf) { return {DeviceStateValue::VertexFormat, 0, 0, fvf}; }

// The renderer's default device state, apart from what depends on the renderer's own values (the
// transforms, texture filters, ambient and fog colours and the material).
extern const DeviceStateTable kDefaultStates;
// Pre-transformed screen quads: no depth test or write, no lighting, fog or culling.
extern const DeviceStateTable kScreenQuadStates;

void ApplyStates(Platform::Device& device, DeviceStateTable table);
// Sets every state of the table back to its default.
void RestoreDefaultStates(Platform::Device& device, DeviceStateTable table);
