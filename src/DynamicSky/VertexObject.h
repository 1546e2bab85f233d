#pragma once
// The drawable base of every part of the sky: a vertex list that fills the object's own device
// buffers, a working copy its owner edits, 16-bit triangle indices, one texture and two effects
// (the first, and the light effect of the dome's second pass). SkyRenderer draws it.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Core/Math/Mat4.h"
#include "Core/PResult.h"
#include "Platform/Device.h"
#include "Render/PDeviceListener.h"
#include "Render/PEffectObject.h"
#include "Render/PVertex.h"

class VertexObject : public CPDeviceListener {
public:
    // Every sky part owns buffers of these sizes, made once at its first upload.
    static constexpr uint32_t kVertexBufferBytes = 960000;
    static constexpr uint32_t kIndexBufferBytes = 120000;
    static constexpr int kMaxVertices = static_cast<int>(kVertexBufferBytes / sizeof(CPVertex));
    static constexpr int kMaxIndices = static_cast<int>(kIndexBufferBytes / sizeof(CPIndex));

    VertexObject() = default;
    ~VertexObject() override;

    // A file that cannot be read leaves the texture as it was and answers E_FAIL.
    HRESULT LoadTexture(const std::string& file);
    // The effect (or the light effect) from an effect file; without it the object has none.
    HRESULT LoadEffect(const std::string& file);
    HRESULT LoadLightEffect(const std::string& file);
    // The vertex list's positions become the working list's positions through the matrix.
    void TransformVertices(const Mat4& matrix);
    // The working and index lists become the given ones, and the vertex list too unless kept (it
    // then keeps its transformed positions); the buffers receive the vertex and index lists.
    HRESULT Upload(const std::vector<CPVertex>& vertices, const std::vector<CPIndex>& indices, bool keep);
    HRESULT Draw();

    // Effects and the managed textures and buffers survive a reset in GL.
    void OnLostDevice() override {}
    void OnResetDevice() override {}

    const std::vector<CPVertex>& GetVertices() const { return vertices_; }
    const std::vector<CPVertex>& GetWorkingVertices() const { return working_; }
    const std::vector<CPIndex>& GetIndices() const { return indices_; }
    Platform::Texture* GetTexture() const { return texture_.get(); }
    CPEffectObject* GetEffect() const { return effect_.get(); }
    CPEffectObject* GetLightEffect() const { return lightEffect_.get(); }
    Platform::VertexBuffer* GetVertexBuffer() const { return vertexBuffer_.get(); }
    Platform::IndexBuffer* GetIndexBuffer() const { return indexBuffer_.get(); }
    bool UsesLightEffect() const { return useLightEffect_; }
    void SetUseLightEffect(bool use) { useLightEffect_ = use; }
    // The number of vertices and indices the buffers hold (the lists cut to the buffers' sizes).
    int GetBufferedVertexCount() const { return bufferedVertices_; }
    int GetBufferedIndexCount() const { return bufferedIndices_; }

protected:
    std::vector<CPVertex> vertices_;
    std::vector<CPVertex> working_;
    std::vector<CPIndex> indices_;
    Mat4 world_ = MatIdentity();
    bool dirty_ = true;

private:
    HRESULT ReadEffect(const std::string& file, std::unique_ptr<CPEffectObject>& out);

    std::unique_ptr<Platform::Texture> texture_;
    std::unique_ptr<CPEffectObject> effect_;
    std::unique_ptr<CPEffectObject> lightEffect_;
    bool useLightEffect_ = false;
    std::unique_ptr<Platform::VertexBuffer> vertexBuffer_;
    std::unique_ptr<Platform::IndexBuffer> indexBuffer_;
    int bufferedVertices_ = 0;
    int bufferedIndices_ = 0;
};

// The sky's device holder: the renderer hands it the device when it starts (and null when the
// device goes).
class SkyRenderer {
public:
    static void SetDevice(Platform::Device* device);
    static Platform::Device* GetDevice();
    // Draws the object with its effect's passes; E_FAIL without a device, buffers or (for the light
    // pass) light effect.
    static HRESULT Draw(VertexObject& object);
    // Clears the depth buffer alone, so the sky never hides the scene.
    static void ClearDepth();
};
