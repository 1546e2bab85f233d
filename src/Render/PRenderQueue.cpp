#include "Render/PRenderQueue.h"

#include "Core/PGlobalTimer.h"
#include "Core/PLog.h"
#include "Render/DeviceMatrix.h"
#include "Render/PIVBlock.h"
#include "Render/PRenderPass.h"
#include "Render/StaticMeshCache.h"

using namespace Platform;

namespace {

CPRenderQueue* g_queue = nullptr;

// More than 10 frames since the last drawing, counted the way the frame counter wraps.
bool Expired(const CPQueueBucket& bucket) {
    return static_cast<unsigned>(FrameCounter) - static_cast<unsigned>(bucket.lastDrawnFrame) > 10u;
}

template <typename Key, typename Bucket>
Bucket& FindOrAdd(std::vector<std::pair<Key, std::unique_ptr<Bucket>>>& list, Key key) {
    for (auto& [k, b] : list)
        if (k == key) return *b;
    list.emplace_back(key, std::make_unique<Bucket>());
    return *list.back().second;
}

} // namespace

CPRenderQueue* GetRenderQueue() { return g_queue; }

CPRenderQueue::CPRenderQueue() {
    if (!g_queue) g_queue = this;
}

CPRenderQueue::~CPRenderQueue() {
    for (auto& [number, layer] : layers_)
        for (auto& [effect, eb] : layer->effects)
            for (auto& [block, mb] : eb->materials) mb->OnRemove();
    layers_.clear();
    if (g_queue == this) g_queue = nullptr;
}

CPRenderLayer& CPRenderQueue::Layer(int layer) {
    auto& slot = layers_[layer];
    if (!slot) slot = std::make_unique<CPRenderLayer>();
    return *slot;
}

CPRenderLayer* CPRenderQueue::FindLayer(int layer) const {
    auto it = layers_.find(layer);
    return it == layers_.end() ? nullptr : it->second.get();
}

const CPBaseCamera* CPRenderQueue::GetLayerCamera(int layer) const {
    const CPRenderLayer* l = FindLayer(layer);
    return l ? l->camera.Get() : nullptr;
}

const CPBaseCamera* CPRenderQueue::GetCameraInEffect(int layer) const {
    for (auto it = layers_.upper_bound(layer); it != layers_.begin();) {
        --it;
        const CPRenderLayer* l = it->second.get();
        if (l && l->camera && l->userCount >= 1) return l->camera.Get();
    }
    return nullptr;
}

void CPRenderQueue::RegisterMaterial(CPMaterial* material) {
    if (!material) return;
    CPRenderLayer& layer = Layer(material->GetType());
    ++layer.userCount;
    layer.number = material->GetType();
    CPEffectBucket& eb = FindOrAdd(layer.effects, material->GetEffect());
    if (++eb.userCount == 1) eb.effect = material->GetEffect();
    CPMaterialBucket& mb = FindOrAdd(eb.materials, material->GetTextureBlock());
    if (++mb.userCount == 1) {
        mb.textures = material->GetTextureBlock();
        mb.material = material;
    }
}

void CPRenderQueue::SetLayerCamera(int layer, CPBaseCamera* camera) {
    CPRenderLayer& l = Layer(layer);
    ++l.userCount;
    l.number = layer;
    l.camera = camera;
}

void CPRenderQueue::ReleaseLayer(int layer) {
    CPRenderLayer& l = Layer(layer);
    --l.userCount;
    l.number = layer;
}

void CPRenderQueue::SetLayerTransform(const Mat4& matrix, int layer) {
    CPRenderLayer& l = Layer(layer);
    ++l.userCount;
    l.hasWorld = true;
    l.world = matrix;
}

void CPRenderQueue::InitLayerCameras(int width, int height) {
    const float w = static_cast<float>(width), h = static_cast<float>(height);
    CPRefPtr<CPBaseCamera> screen(new CPBaseCamera());
    screen->SetView(MatOrthoOffCenterLH(0, w, h, 0, 0, 1));
    SetLayerCamera(195, screen.Get());
    CPRefPtr<CPBaseCamera> showroom(new CPBaseCamera());
    showroom->SetView(MatLookAtLH(Vec3(-6, 0, 1.8f), Vec3(0, 0, 1.3f), Vec3(0, 0, 1)));
    showroom->SetProjection(MatPerspectiveFovLH(1.0471976f, h > 0 ? w / h : 1.0f, 1.0f, 100.0f));
    SetLayerCamera(225, showroom.Get());
}

void CPRenderQueue::Bind(Device& device, VertexBuffer* vb, IndexBuffer* ib) {
    if (vb == boundVertices_ && ib == boundIndices_) return;
    device.SetStreamSource(vb, sizeof(CPVertex));
    device.SetIndices(ib);
    boundVertices_ = vb;
    boundIndices_ = ib;
}

void CPRenderQueue::DrawBlock(Device& device, CPRenderLayer& layer, CPEffectObject& effect, int passes,
                              CPIVBlock& block) {
    if (!block.filled) return;
    if (block.vertexCount > 0 && block.deviceVertices && block.deviceIndices) {
        if (worldDirty_) {
            device.SetTransform(TransformType::World, ToDeviceMatrix(layer.hasWorld ? layer.world : MatIdentity()));
            worldDirty_ = false;
        }
        Bind(device, block.deviceVertices, block.deviceIndices);
        for (int p = 0; p < passes; ++p) {
            if (!effect.BeginPass(p)) continue;
            const DeviceResult r = device.DrawIndexedPrimitive(
                PrimitiveType::TriangleList, 0, static_cast<uint32_t>(block.firstVertex),
                static_cast<uint32_t>(block.vertexCount), static_cast<uint32_t>(block.firstIndex),
                static_cast<uint32_t>(block.indexCount / 3));
            ++drawCount_;
            if (!DeviceOk(r))
                GetLog().Write(0, "DXError if %s on line %d\n%s\n%s\n", "DrawIndexedPrimitive", __LINE__,
                               DeviceResultName(r), "");
            effect.EndPass();
        }
    }
    if (block.staticItems.empty()) return;
    for (int p = 0; p < passes; ++p) {
        if (!effect.BeginPass(p)) continue;
        for (const CPRefPtr<CPRenderable>& item : block.staticItems) {
            StaticMeshEntry* mesh = item->GetStaticMesh();
            if (!mesh) continue;
            worldDirty_ = true;
            device.SetTransform(TransformType::World, ToDeviceMatrix(item->GetStaticWorldMatrix()));
            Bind(device, mesh->vertexBuffer.get(), mesh->indexBuffer.get());
            device.DrawIndexedPrimitive(PrimitiveType::TriangleList, 0, 0, static_cast<uint32_t>(mesh->vertexCount), 0,
                                        static_cast<uint32_t>(mesh->primitiveCount));
            ++drawCount_;
        }
        effect.EndPass();
    }
    block.staticItems.clear();
}

void CPRenderQueue::Draw(Device& device, CPPostPasses* post, bool bloom) {
    bool blurDone = false, bloomDone = false;
    // The device may still hold the world of the last frame's last static item (without a level no
    // sky pass sets identity): the frame's first dynamic block sets its layer's world.
    worldDirty_ = true;
    drawCount_ = 0;
    for (auto it = layers_.begin(); it != layers_.end();) {
        auto current = it++;
        CPRenderLayer& layer = *current->second;
        const int number = layer.number;
        if (number >= 119 && number <= 199 && !blurDone) {
            blurDone = true;
            if (bloom && post) post->SpeedBlur(5.0f);
            ForgetBoundBuffers();
            MarkFramePass("layers_119");
        } else if (number >= 195 && number <= 199 && !bloomDone) {
            bloomDone = true;
            if (bloom && post) {
                post->SpeedBlur(0.5f);
                post->Bloom();
            }
            ForgetBoundBuffers();
            MarkFramePass("layers_195");
            device.SetFVF(kFvfVertex);
        }
        if (layer.userCount < 1) {
            if (Expired(layer)) layers_.erase(current);
            continue;
        }
        if (number < 0) continue;
        if (layer.camera) {
            device.SetTransform(TransformType::View, ToDeviceMatrix(layer.camera->view));
            device.SetTransform(TransformType::Projection, ToDeviceMatrix(layer.camera->projection));
        }
        if (layer.hasWorld) {
            device.SetTransform(TransformType::World, ToDeviceMatrix(layer.world));
            worldDirty_ = false;
        }
        layer.lastDrawnFrame = FrameCounter;

        for (size_t e = 0; e < layer.effects.size();) {
            CPEffectBucket& eb = *layer.effects[e].second;
            if (eb.userCount < 1) {
                if (Expired(eb)) layer.effects.erase(layer.effects.begin() + static_cast<long>(e));
                else ++e;
                continue;
            }
            // An effect without an effect object cannot begin: its bucket is skipped.
            CPEffectObject* fx = eb.effect ? eb.effect->GetEffectObject() : nullptr;
            int passes = 0;
            if (!fx || !fx->Begin(device, passes)) {
                ++e;
                continue;
            }
            eb.lastDrawnFrame = FrameCounter;
            for (size_t m = 0; m < eb.materials.size();) {
                CPMaterialBucket& mb = *eb.materials[m].second;
                CPMaterial* material = mb.material.Get();
                if (!material || material->GetBlocks().empty()) {
                    if (Expired(mb)) {
                        mb.OnRemove();
                        eb.materials.erase(eb.materials.begin() + static_cast<long>(m));
                        --eb.userCount;
                        --layer.userCount;
                    } else {
                        ++m;
                    }
                    continue;
                }
                eb.effect->SetTextures(mb.textures.Get());
                mb.lastDrawnFrame = FrameCounter;
                for (CPIVBlock* block : material->GetBlocks()) DrawBlock(device, layer, *fx, passes, *block);
                material->ResetBlocks();
                ++m;
            }
            fx->End();
            ++e;
        }
    }
}
