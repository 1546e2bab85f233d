#pragma once
// The render queue: render layers by ascending number, within a layer one bucket per effect,
// within an effect one bucket per texture block holding the one material of that triple. Layers
// may carry their own camera and world matrix. The frame walks it once: each layer's camera and
// world, each effect begun once per layer, each texture block set once, each IV block drawn with
// every pass. Buckets left without use are removed after more than 10 frames.
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "Core/Math/Mat4.h"
#include "Core/PManagedObject.h"
#include "Platform/Device.h"
#include "Render/PEffect.h"
#include "Render/PMaterial.h"
#include "Render/PPerspectiveCamera.h"
#include "Render/PTextureManager.h"

class CPIVBlock;

class CPQueueBucket {
public:
    virtual ~CPQueueBucket() = default;
    // Called as the bucket is removed.
    virtual void OnRemove() {}
    int lastDrawnFrame = -1;
    int userCount = 0;
};

class CPMaterialBucket : public CPQueueBucket {
public:
    void OnRemove() override {
        if (material) material->SetRegistered(false);
    }
    CPRefPtr<CPTextureBlock> textures;
    CPRefPtr<CPMaterial> material;
};

class CPEffectBucket : public CPQueueBucket {
public:
    CPEffect* effect = nullptr; // the material holds the reference
    std::vector<std::pair<CPTextureBlock*, std::unique_ptr<CPMaterialBucket>>> materials;
};

class CPRenderLayer : public CPQueueBucket {
public:
    int number = 0;
    CPRefPtr<CPBaseCamera> camera;
    bool hasWorld = false;
    Mat4 world = MatIdentity();
    std::vector<std::pair<CPEffect*, std::unique_ptr<CPEffectBucket>>> effects;
};

// The post passes the walk runs between layers; the renderer's blur and bloom implement them.
class CPPostPasses {
public:
    virtual ~CPPostPasses() = default;
    virtual void SpeedBlur(float amount) = 0;
    virtual void Bloom() = 0;
};

class CPRenderQueue {
public:
    // The first queue made becomes the one materials register with.
    CPRenderQueue();
    ~CPRenderQueue();
    CPRenderQueue(const CPRenderQueue&) = delete;
    CPRenderQueue& operator=(const CPRenderQueue&) = delete;

    void RegisterMaterial(CPMaterial* material);
    void SetLayerCamera(int layer, CPBaseCamera* camera);
    void ReleaseLayer(int layer);
    void SetLayerTransform(const Mat4& matrix, int layer);
    // Layer 195: the screen camera of width x height pixels; layer 225: the fixed showroom camera.
    void InitLayerCameras(int width, int height);

    // Draws every layer in ascending order (frame step 7). Post passes run only when bloom is on.
    void Draw(Platform::Device& device, CPPostPasses* post, bool bloom);
    void ForgetBoundBuffers() {
        boundVertices_ = nullptr;
        boundIndices_ = nullptr;
    }

    const std::map<int, std::unique_ptr<CPRenderLayer>>& GetLayers() const { return layers_; }
    CPRenderLayer* FindLayer(int layer) const;
    const CPBaseCamera* GetLayerCamera(int layer) const;
    // The camera the walk has set when it reaches this layer: that of the nearest layer at or below
    // it that has one and is in use (a layer without a camera keeps the view and projection before it).
    const CPBaseCamera* GetCameraInEffect(int layer) const;
    // Draw calls of the last walk (dynamic and static).
    int GetDrawCount() const { return drawCount_; }

private:
    CPRenderLayer& Layer(int layer);
    void DrawBlock(Platform::Device& device, CPRenderLayer& layer, CPEffectObject& effect, int passes,
                   CPIVBlock& block);
    void Bind(Platform::Device& device, Platform::VertexBuffer* vb, Platform::IndexBuffer* ib);

    std::map<int, std::unique_ptr<CPRenderLayer>> layers_;
    Platform::VertexBuffer* boundVertices_ = nullptr;
    Platform::IndexBuffer* boundIndices_ = nullptr;
    bool worldDirty_ = false;
    int drawCount_ = 0;
};

CPRenderQueue* GetRenderQueue();
