#include "Platform/NullDevice.h"

#include <algorithm>
#include <cstdio>

#include "Platform/ImageDecoder.h"

namespace Platform {
namespace {

std::string Text(const char* fmt, auto... args) {
    char buf[160];
    std::snprintf(buf, sizeof buf, fmt, args...);
    return buf;
}

class NullBuffer final : public VertexBuffer, public IndexBuffer {
public:
    explicit NullBuffer(uint32_t length) : bytes_(length) {}
    uint32_t GetLength() const override { return static_cast<uint32_t>(bytes_.size()); }
    DeviceResult Lock(uint32_t offset, uint32_t size, void** data, uint32_t) override {
        if (!data || locked_ || offset > bytes_.size() || size > bytes_.size() - offset)
            return DeviceResult::InvalidCall;
        *data = bytes_.data() + offset;
        locked_ = true;
        return DeviceResult::Ok;
    }
    DeviceResult Unlock() override {
        if (!locked_) return DeviceResult::InvalidCall;
        locked_ = false;
        return DeviceResult::Ok;
    }

private:
    std::vector<uint8_t> bytes_;
    bool locked_ = false;
};

class NullTexture final : public Texture {
public:
    NullTexture(TextureKind kind, int w, int h, int levels) : kind_(kind), w_(w), h_(h), levels_(levels) {}
    TextureKind GetKind() const override { return kind_; }
    int GetWidth() const override { return w_; }
    int GetHeight() const override { return h_; }
    int GetLevelCount() const override { return levels_; }
    DeviceResult SetLOD(int level) override {
        lod_ = std::clamp(level, 0, std::max(levels_ - 1, 0));
        return DeviceResult::Ok;
    }
    int GetLOD() const override { return lod_; }

private:
    TextureKind kind_;
    int w_, h_, levels_;
    int lod_ = 0;
};

class NullProgram final : public Program {
public:
    bool HasParameter(const std::string&) const override { return false; }
    void SetFloat(const std::string&, float) override {}
    void SetInt(const std::string&, int) override {}
    void SetVector(const std::string&, const float[4]) override {}
    void SetMatrix(const std::string&, const Matrix&) override {}
    void SetTexture(const std::string&, Texture*) override {}
};

const char* TransformName(TransformType t) {
    switch (t) {
    case TransformType::World: return "World";
    case TransformType::View: return "View";
    case TransformType::Projection: return "Projection";
    }
    return "?";
}

} // namespace

NullDevice::NullDevice(const PresentParameters& params, const DeviceCaps& caps) : params_(params), caps_(caps) {}

int NullDevice::CountCalls(const std::string& prefix) const {
    return static_cast<int>(
        std::count_if(calls.begin(), calls.end(), [&](const std::string& c) { return c.rfind(prefix, 0) == 0; }));
}

DeviceResult NullDevice::TestCooperativeLevel() {
    Record("TestCooperativeLevel");
    return cooperativeLevel;
}

DeviceResult NullDevice::Reset(const PresentParameters& params) {
    Record("Reset");
    if (resetAnswer != DeviceResult::Ok) return resetAnswer;
    params_ = params;
    state_.SetDefaults();
    inScene = false;
    cooperativeLevel = DeviceResult::Ok;
    return DeviceResult::Ok;
}

DeviceResult NullDevice::Clear(uint32_t flags, uint32_t color, float z, uint32_t stencil) {
    Record(Text("Clear %u %08x %g %u", flags, color, z, stencil));
    return DeviceResult::Ok;
}

DeviceResult NullDevice::BeginScene() {
    Record("BeginScene");
    if (inScene) return DeviceResult::InvalidCall;
    inScene = true;
    return DeviceResult::Ok;
}

DeviceResult NullDevice::EndScene() {
    Record("EndScene");
    if (!inScene) return DeviceResult::InvalidCall;
    inScene = false;
    return DeviceResult::Ok;
}

DeviceResult NullDevice::Present() {
    Record("Present");
    return cooperativeLevel == DeviceResult::Ok ? DeviceResult::Ok : DeviceResult::DeviceLost;
}

DeviceResult NullDevice::SetTransform(TransformType type, const Matrix& matrix) {
    Record(Text("SetTransform %s", TransformName(type)));
    return state_.SetTransform(type, matrix) ? DeviceResult::Ok : DeviceResult::InvalidCall;
}

DeviceResult NullDevice::GetTransform(TransformType type, Matrix& matrix) const {
    matrix = state_.Transform(type);
    return DeviceResult::Ok;
}

DeviceResult NullDevice::SetLight(int index, const Light& light) {
    Record(Text("SetLight %d", index));
    return state_.SetLight(index, light) ? DeviceResult::Ok : DeviceResult::InvalidCall;
}

DeviceResult NullDevice::LightEnable(int index, bool enable) {
    Record(Text("LightEnable %d %d", index, enable ? 1 : 0));
    return state_.LightEnable(index, enable) ? DeviceResult::Ok : DeviceResult::InvalidCall;
}

DeviceResult NullDevice::SetMaterial(const Material& material) {
    Record("SetMaterial");
    state_.material = material;
    return DeviceResult::Ok;
}

DeviceResult NullDevice::SetRenderState(RenderState state, uint32_t value) {
    Record(Text("SetRenderState %d %u", static_cast<int>(state), value));
    return state_.SetRenderState(state, value) ? DeviceResult::Ok : DeviceResult::InvalidCall;
}

DeviceResult NullDevice::SetTextureStageState(int stage, StageState state, uint32_t value) {
    Record(Text("SetTextureStageState %d %d %u", stage, static_cast<int>(state), value));
    return state_.SetStageState(stage, state, value) ? DeviceResult::Ok : DeviceResult::InvalidCall;
}

DeviceResult NullDevice::SetSamplerState(int sampler, SamplerState state, uint32_t value) {
    Record(Text("SetSamplerState %d %d %u", sampler, static_cast<int>(state), value));
    return state_.SetSamplerState(sampler, state, value) ? DeviceResult::Ok : DeviceResult::InvalidCall;
}

DeviceResult NullDevice::SetTexture(int stage, Texture* texture) {
    Record(Text("SetTexture %d %s", stage, texture ? "set" : "null"));
    return state_.SetTexture(stage, texture) ? DeviceResult::Ok : DeviceResult::InvalidCall;
}

DeviceResult NullDevice::SetFVF(uint32_t fvf) {
    Record(Text("SetFVF %x", fvf));
    state_.fvf = fvf;
    return DeviceResult::Ok;
}

DeviceResult NullDevice::CreateVertexBuffer(uint32_t length, bool, std::unique_ptr<VertexBuffer>& out) {
    Record(Text("CreateVertexBuffer %u", length));
    if (length == 0) return DeviceResult::InvalidCall;
    out = std::make_unique<NullBuffer>(length);
    return DeviceResult::Ok;
}

DeviceResult NullDevice::CreateIndexBuffer(uint32_t length, bool, std::unique_ptr<IndexBuffer>& out) {
    Record(Text("CreateIndexBuffer %u", length));
    if (length == 0) return DeviceResult::InvalidCall;
    out = std::make_unique<NullBuffer>(length);
    return DeviceResult::Ok;
}

DeviceResult NullDevice::SetStreamSource(VertexBuffer* buffer, uint32_t stride) {
    Record(Text("SetStreamSource %s %u", buffer ? "set" : "null", stride));
    return DeviceResult::Ok;
}

DeviceResult NullDevice::SetIndices(IndexBuffer* buffer) {
    Record(Text("SetIndices %s", buffer ? "set" : "null"));
    return DeviceResult::Ok;
}

DeviceResult NullDevice::DrawPrimitiveUP(PrimitiveType type, uint32_t primitiveCount, const void* vertices,
                                         uint32_t stride) {
    Record(Text("DrawPrimitiveUP %d %u %u", static_cast<int>(type), primitiveCount, stride));
    if (!vertices || stride == 0) return DeviceResult::InvalidCall;
    const auto* bytes = static_cast<const uint8_t*>(vertices);
    lastUserVertices.assign(bytes, bytes + PrimitiveVertexCount(type, primitiveCount) * stride);
    return DeviceResult::Ok;
}

DeviceResult NullDevice::DrawIndexedPrimitive(PrimitiveType type, int baseVertexIndex, uint32_t minIndex,
                                              uint32_t numVertices, uint32_t startIndex, uint32_t primitiveCount) {
    Record(Text("DrawIndexedPrimitive %d %d %u %u %u %u", static_cast<int>(type), baseVertexIndex, minIndex,
                numVertices, startIndex, primitiveCount));
    return DeviceResult::Ok;
}

DeviceResult NullDevice::CreateTextureFromMemory(const void* data, size_t size, const TextureOptions& options,
                                                 std::unique_ptr<Texture>& out) {
    Record("CreateTextureFromMemory");
    Image image;
    if (!DecodeImage(data, size, image)) return DeviceResult::Fail;
    if (options.Cube && image.faces.size() != 6 && !SplitCubeStrip(image)) return DeviceResult::Fail;
    int levels = 1;
    if (options.Mipmaps)
        for (int e = std::max(image.width, image.height); e > 1; e /= 2) ++levels;
    out = std::make_unique<NullTexture>(image.faces.size() == 6 ? TextureKind::Cube : TextureKind::Plain, image.width,
                                        image.height, levels);
    return DeviceResult::Ok;
}

DeviceResult NullDevice::CreateRenderTarget(int width, int height, std::unique_ptr<Texture>& out) {
    Record(Text("CreateRenderTarget %d %d", width, height));
    if (width <= 0 || height <= 0) return DeviceResult::InvalidCall;
    out = std::make_unique<NullTexture>(TextureKind::RenderTarget, width, height, 1);
    return DeviceResult::Ok;
}

DeviceResult NullDevice::SetRenderTarget(Texture* target) {
    Record(Text("SetRenderTarget %s", target ? "texture" : "backbuffer"));
    return DeviceResult::Ok;
}

DeviceResult NullDevice::StretchRect(Texture*, Texture* destination) {
    Record("StretchRect");
    return destination ? DeviceResult::Ok : DeviceResult::InvalidCall;
}

DeviceResult NullDevice::CreateProgram(const std::string&, const std::string&, std::unique_ptr<Program>& out,
                                       std::string* errors) {
    Record("CreateProgram");
    if (failPrograms) {
        if (errors) *errors += "0:1(1): error: the null device refuses programs\n";
        return DeviceResult::Fail;
    }
    out = std::make_unique<NullProgram>();
    return DeviceResult::Ok;
}

DeviceResult NullDevice::SetProgram(Program* program) {
    Record(Text("SetProgram %s", program ? "set" : "null"));
    return DeviceResult::Ok;
}

DeviceResult NullDevice::ReadBackBuffer(std::vector<uint32_t>& pixels, int& width, int& height) {
    pixels.clear();
    width = height = 0;
    return DeviceResult::NotAvailable;
}

NullBackend::NullBackend() {
    caps.HardwareTransformAndLight = true;
    caps.MaxAnisotropy = 16;
    caps.TextureFilterCaps = 1;
}

bool NullBackend::GetDesktopSize(int& width, int& height) {
    width = desktopWidth;
    height = desktopHeight;
    return true;
}

bool NullBackend::CheckDeviceType(Format format, bool windowed) {
    if (windowed) return true;
    return std::find(fullScreenFormats.begin(), fullScreenFormats.end(), format) != fullScreenFormats.end();
}

DeviceResult NullBackend::CreateDevice(const PresentParameters& params, std::unique_ptr<Device>& out) {
    if (createFails || params.BackBufferWidth <= 0 || params.BackBufferHeight <= 0 ||
        params.BackBufferFormat == Format::Unknown)
        return DeviceResult::NotAvailable;
    auto device = std::make_unique<NullDevice>(params, caps);
    lastDevice = device.get();
    out = std::move(device);
    return DeviceResult::Ok;
}

} // namespace Platform
