#include "DynamicSky/VertexObject.h"

#include <algorithm>
#include <cstring>

#include "Core/PFileReader.h"
#include "Core/PLog.h"
#include "Render/DeviceCheck.h"

using namespace Platform;

namespace {

Device* g_skyDevice = nullptr;

} // namespace

VertexObject::~VertexObject() = default;

HRESULT VertexObject::LoadTexture(const std::string& file) {
    Device* device = SkyRenderer::GetDevice();
    CPFileReader reader(file);
    if (reader.Load() != S_OK) {
        GetLog().Write(1, "sky: cannot read texture %s", file.c_str());
        return E_FAIL;
    }
    texture_.reset();
    dirty_ = true;
    if (!device) return E_FAIL;
    TextureOptions options;
    options.Mipmaps = true;
    std::unique_ptr<Texture> texture;
    if (!DEVICE_CHECK(device->CreateTextureFromMemory(reader.GetData(), static_cast<size_t>(reader.GetLength()),
                                                      options, texture)))
        return E_FAIL;
    texture_ = std::move(texture);
    return S_OK;
}

HRESULT VertexObject::ReadEffect(const std::string& file, std::unique_ptr<CPEffectObject>& out) {
    out.reset();
    dirty_ = true;
    CPFileReader reader(file);
    if (reader.Load() != S_OK) {
        GetLog().Write(1, "sky: cannot read effect %s", file.c_str());
        return E_FAIL;
    }
    Device* device = SkyRenderer::GetDevice();
    if (!device) return E_FAIL;
    const std::string_view text(reinterpret_cast<const char*>(reader.GetData()),
                                static_cast<size_t>(reader.GetLength()));
    EffectFile parsed;
    std::string errors;
    if (!ReadEffectFile(text, parsed, errors)) {
        GetLog().Write(1, "sky: %s: %s", file.c_str(), errors.c_str());
        return E_FAIL;
    }
    out = CPEffectObject::Create(*device, parsed, nullptr, errors);
    if (!out) {
        GetLog().Write(1, "sky: %s: %s", file.c_str(), errors.c_str());
        return E_FAIL;
    }
    return S_OK;
}

HRESULT VertexObject::LoadEffect(const std::string& file) { return ReadEffect(file, effect_); }

HRESULT VertexObject::LoadLightEffect(const std::string& file) { return ReadEffect(file, lightEffect_); }

void VertexObject::TransformVertices(const Mat4& matrix) {
    const size_t n = std::min(vertices_.size(), working_.size());
    for (size_t i = 0; i < n; ++i) vertices_[i].position = Vec3TransformCoord(working_[i].position, matrix);
}

HRESULT VertexObject::Upload(const std::vector<CPVertex>& vertices, const std::vector<CPIndex>& indices, bool keep) {
    working_ = vertices;
    indices_ = indices;
    if (!keep || vertices_.size() != working_.size()) vertices_ = vertices;
    Device* device = SkyRenderer::GetDevice();
    if (!device) return S_OK;
    if (!vertexBuffer_ || !indexBuffer_) {
        if (!DEVICE_CHECK(device->CreateVertexBuffer(kVertexBufferBytes, false, vertexBuffer_)) ||
            !DEVICE_CHECK(device->CreateIndexBuffer(kIndexBufferBytes, false, indexBuffer_))) {
            vertexBuffer_.reset();
            indexBuffer_.reset();
            return S_OK;
        }
    }
    // More than the buffers hold is cut off rather than written past them.
    const int vertexCount = std::min(static_cast<int>(working_.size()), kMaxVertices);
    int indexCount = std::min(static_cast<int>(indices_.size()), kMaxIndices);
    indexCount -= indexCount % 3;
    if (vertexCount < static_cast<int>(working_.size()) || indexCount < static_cast<int>(indices_.size()))
        GetLog().Write(1, "sky: %zu vertices and %zu indices cut to the buffers' %d and %d", working_.size(),
                       indices_.size(), vertexCount, indexCount);
    void* data = nullptr;
    const uint32_t vertexBytes = static_cast<uint32_t>(vertexCount) * sizeof(CPVertex);
    if (vertexBytes > 0 && DEVICE_CHECK(vertexBuffer_->Lock(0, vertexBytes, &data, LockNone))) {
        std::memcpy(data, vertices_.data(), vertexBytes);
        DEVICE_CHECK(vertexBuffer_->Unlock());
    }
    const uint32_t indexBytes = static_cast<uint32_t>(indexCount) * sizeof(CPIndex);
    if (indexBytes > 0 && DEVICE_CHECK(indexBuffer_->Lock(0, indexBytes, &data, LockNone))) {
        std::memcpy(data, indices_.data(), indexBytes);
        DEVICE_CHECK(indexBuffer_->Unlock());
    }
    bufferedVertices_ = vertexCount;
    bufferedIndices_ = indexCount;
    return S_OK;
}

HRESULT VertexObject::Draw() { return SkyRenderer::Draw(*this); }

void SkyRenderer::SetDevice(Device* device) { g_skyDevice = device; }

Device* SkyRenderer::GetDevice() { return g_skyDevice; }

HRESULT SkyRenderer::Draw(VertexObject& object) {
    Device* device = g_skyDevice;
    if (!device || !object.GetVertexBuffer() || !object.GetIndexBuffer()) return E_FAIL;
    DEVICE_CHECK(device->SetFVF(kFvfVertex));
    DEVICE_CHECK(device->SetIndices(object.GetIndexBuffer()));
    DEVICE_CHECK(device->SetStreamSource(object.GetVertexBuffer(), sizeof(CPVertex)));
    const uint32_t vertices = static_cast<uint32_t>(object.GetBufferedVertexCount());
    const uint32_t triangles = static_cast<uint32_t>(object.GetBufferedIndexCount() / 3);
    auto drawOnce = [&]() -> HRESULT {
        if (triangles == 0) return S_OK;
        return DEVICE_CHECK(device->DrawIndexedPrimitive(PrimitiveType::TriangleList, 0, 0, vertices, 0, triangles))
                   ? S_OK
                   : E_FAIL;
    };
    CPEffectObject* effect = object.UsesLightEffect() ? object.GetLightEffect() : object.GetEffect();
    if (!effect) {
        if (object.UsesLightEffect()) return E_FAIL;
        device->SetTexture(0, object.GetTexture());
        return drawOnce();
    }
    effect->SetTexture(effect->GetParameterByName("tex0"), object.GetTexture());
    int passes = 0;
    if (!effect->Begin(*device, passes)) return E_FAIL;
    HRESULT result = E_FAIL;
    for (int p = 0; p < passes; ++p) {
        if (!effect->BeginPass(p)) continue;
        result = drawOnce();
        effect->EndPass();
    }
    effect->End();
    return result;
}

void SkyRenderer::ClearDepth() {
    if (g_skyDevice) DEVICE_CHECK(g_skyDevice->Clear(ClearZBuffer, 0, 1.0f, 0));
}
