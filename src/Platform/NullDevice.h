#pragma once
// A device that draws nothing: it keeps the full device state, records every call as one line of
// text, and can be told to be lost, to fail its reset or to refuse its creation. For tests.
#include <functional>
#include <string>
#include <vector>

#include "Platform/DeviceState.h"

namespace Platform {

class NullDevice final : public Device {
public:
    explicit NullDevice(const PresentParameters& params, const DeviceCaps& caps);

    // What TestCooperativeLevel answers; Reset succeeds or fails by ResetAnswer and, when it
    // succeeds, makes the device answer Ok again.
    DeviceResult cooperativeLevel = DeviceResult::Ok;
    DeviceResult resetAnswer = DeviceResult::Ok;

    std::vector<std::string> calls;
    // Called with each call's line as it is recorded, so a test can look at the world around it.
    std::function<void(const std::string& call)> onCall;
    // The bytes of the last DrawPrimitiveUP.
    std::vector<uint8_t> lastUserVertices;
    const DeviceState& GetState() const { return state_; }
    // Count of recorded calls starting with the given text.
    int CountCalls(const std::string& prefix) const;
    bool inScene = false;
    // When set, CreateProgram fails as a driver would on GLSL it cannot compile.
    bool failPrograms = false;

    const DeviceCaps& GetDeviceCaps() const override { return caps_; }
    DeviceResult TestCooperativeLevel() override;
    DeviceResult Reset(const PresentParameters& params) override;
    const PresentParameters& GetPresentParameters() const override { return params_; }
    DeviceResult Clear(uint32_t flags, uint32_t color, float z, uint32_t stencil) override;
    DeviceResult BeginScene() override;
    DeviceResult EndScene() override;
    DeviceResult Present() override;
    DeviceResult SetTransform(TransformType type, const Matrix& matrix) override;
    DeviceResult GetTransform(TransformType type, Matrix& matrix) const override;
    DeviceResult SetLight(int index, const Light& light) override;
    DeviceResult LightEnable(int index, bool enable) override;
    DeviceResult SetMaterial(const Material& material) override;
    DeviceResult SetRenderState(RenderState state, uint32_t value) override;
    uint32_t GetRenderState(RenderState state) const override { return state_.Get(state); }
    DeviceResult SetTextureStageState(int stage, StageState state, uint32_t value) override;
    uint32_t GetTextureStageState(int stage, StageState state) const override { return state_.Get(stage, state); }
    DeviceResult SetSamplerState(int sampler, SamplerState state, uint32_t value) override;
    uint32_t GetSamplerState(int sampler, SamplerState state) const override { return state_.Get(sampler, state); }
    DeviceResult SetTexture(int stage, Texture* texture) override;
    Texture* GetTexture(int stage) const override { return state_.GetTexture(stage); }
    DeviceResult SetFVF(uint32_t fvf) override;
    DeviceResult CreateVertexBuffer(uint32_t length, bool dynamic, std::unique_ptr<VertexBuffer>& out) override;
    DeviceResult CreateIndexBuffer(uint32_t length, bool dynamic, std::unique_ptr<IndexBuffer>& out) override;
    DeviceResult SetStreamSource(VertexBuffer* buffer, uint32_t stride) override;
    DeviceResult SetIndices(IndexBuffer* buffer) override;
    DeviceResult DrawPrimitiveUP(PrimitiveType type, uint32_t primitiveCount, const void* vertices,
                                 uint32_t stride) override;
    DeviceResult DrawIndexedPrimitive(PrimitiveType type, int baseVertexIndex, uint32_t minIndex, uint32_t numVertices,
                                      uint32_t startIndex, uint32_t primitiveCount) override;
    DeviceResult CreateTextureFromMemory(const void* data, size_t size, const TextureOptions& options,
                                         std::unique_ptr<Texture>& out) override;
    DeviceResult CreateRenderTarget(int width, int height, std::unique_ptr<Texture>& out) override;
    DeviceResult SetRenderTarget(Texture* target) override;
    DeviceResult StretchRect(Texture* source, Texture* destination) override;
    DeviceResult CreateProgram(const std::string& vertexSource, const std::string& fragmentSource,
                               std::unique_ptr<Program>& out, std::string* errors) override;
    DeviceResult SetProgram(Program* program) override;
    DeviceResult ReadBackBuffer(std::vector<uint32_t>& pixels, int& width, int& height) override;

private:
    void Record(std::string line) {
        calls.push_back(std::move(line));
        if (onCall) onCall(calls.back());
    }

    PresentParameters params_;
    DeviceCaps caps_;
    DeviceState state_;
};

class NullBackend final : public DeviceBackend {
public:
    int desktopWidth = 1024;
    int desktopHeight = 768;
    DeviceCaps caps;
    bool createFails = false;
    // Formats CheckDeviceType accepts in full screen.
    std::vector<Format> fullScreenFormats{Format::A8R8G8B8, Format::X8R8G8B8};
    // The last device made; owned by whoever asked for it.
    NullDevice* lastDevice = nullptr;

    NullBackend();
    const char* GetName() const override { return "null"; }
    bool GetDesktopSize(int& width, int& height) override;
    DeviceCaps GetAdapterCaps() override { return caps; }
    bool CheckDeviceType(Format format, bool windowed) override;
    DeviceResult CreateDevice(const PresentParameters& params, std::unique_ptr<Device>& out) override;
};

} // namespace Platform
