#pragma once
// The renderer: the device and the frame driver. One kernel turn draws one frame, after every other
// task of the turn, from what the turn queued into the dynamic render block; the frame's drawing is
// done by its passes (Render/PRenderPass.h), the renderer keeps their order.
#include <cstdint>
#include <memory>
#include <vector>

#include "Core/Math/Vector.h"
#include "Core/PResult.h"
#include "Core/PSingleton.h"
#include "Core/PTask.h"
#include "Platform/Device.h"
#include "Render/PBloom.h"
#include "Render/PFadePass.h"
#include "Render/PLight.h"
#include "Render/PLoadingScreen.h"
#include "Render/PMaterial.h"
#include "Render/PQueuePass.h"
#include "Render/PRenderBlock.h"
#include "Render/PRenderPass.h"
#include "Render/PRenderQueue.h"
#include "Render/PSky.h"
#include "Render/PVertex.h"
#include "Render/StaticMeshCache.h"

class CPRender : public CPTask, public CPSingleton<CPRender> {
public:
    static constexpr int kMaxLights = 30;
    static constexpr int kFadeMaximum = CPFadePass::kFadeMaximum;
    static constexpr int kVertexProcessingHardware = 64;
    static constexpr int kVertexProcessingSoftware = 32;

    CPRender();
    ~CPRender() override;

    int GetObjectSize() const override { return sizeof(*this); }
    const char* GetTypeName() const override { return "CPRender"; }
    int GetTaskKind() const override { return KindSystem; }

    // Creates the device; false refuses the task.
    bool Start() override;
    // One frame.
    void Update() override;
    // Releases the device and the backend.
    void Stop() override;
    void Suspend() override {}
    void Resume() override {}

    // The backend devices are made with, given by whoever composes the program before Start;
    // without one the renderer cannot start.
    void SetBackend(std::unique_ptr<Platform::DeviceBackend> backend);
    Platform::DeviceBackend* GetBackend() const { return backend_.get(); }
    // The window the device presents into (an SDL_Window* for the GL backend), set by the
    // application before Start; without one the device draws into a hidden window of its own.
    void SetDeviceWindow(void* window) { deviceWindow_ = window; }
    Platform::Device* GetDevice() const { return device_.get(); }
    const Platform::PresentParameters& GetPresentParameters() const { return presentParams_; }

    HRESULT CreateDevice();
    void QueueBlock(CPRenderBlock* block);
    // Copies the light into this frame's queue; beyond 30 lights a frame it is dropped.
    void AddLight(const LightRecord& light);
    // Hands the queued lights to the device, disables the other slots and empties the queue.
    void ApplyLights();
    void SetAmbient(uint32_t color, float r, float g, float b);
    void SetFade(float level) { fade_.SetFade(level); }
    void DrawLoadingScreen(int percent);
    void ResetDevice();
    void RestoreRenderStates();
    void SetFilters();
    void DrawLine(uint32_t color, const Vec3& from, const Vec3& to);
    // Draws the fade quad over the current target at the current fade level.
    void DrawFadeQuad();

    // The static-mesh cache (scenery drawn from buffers filled once), on this renderer's device.
    StaticMeshEntry* CreateStaticMesh(const std::string& name, const CPVertex* vertices, const CPIndex* indices,
                                      int vertexCount, int indexCount) {
        return staticMeshes_.Create(device_.get(), name, vertices, indices, vertexCount, indexCount);
    }
    void PurgeLevelMeshes() { staticMeshes_.PurgeLevelMeshes(); }
    // Buffers made once stay valid across device resets in GL; nothing to evict.
    void EvictManagedResources() {}
    CPStaticMeshCache& GetStaticMeshes() { return staticMeshes_; }

    const CPRefPtr<CPRenderBlock>& GetDynamicRenderBlock() const { return dynamicBlock_; }
    // The block the level's static path appends to: made at Start (static, one slot) when the
    // "static" setting is on; otherwise empty and its users skip the path.
    CPRefPtr<CPRenderBlock> GetStaticBlock() const { return staticBlock_; }

    // The render queue (layers, their cameras and world matrices).
    CPRenderQueue& GetRenderQueue() { return queue_; }
    void RegisterMaterial(CPMaterial* material) { queue_.RegisterMaterial(material); }
    void SetLayerCamera(int layer, CPBaseCamera* camera) { queue_.SetLayerCamera(layer, camera); }
    void ReleaseLayer(int layer) { queue_.ReleaseLayer(layer); }
    void SetLayerTransform(const Mat4& matrix, int layer) { queue_.SetLayerTransform(matrix, layer); }
    // Layer 195's screen camera and layer 225's showroom camera, from the screen size.
    void InitLayerCameras();
    // The blur and bloom the queue's walk runs between layers.
    void SetPostPasses(CPPostPasses* post) { queuePass_.SetPostPasses(post); }
    // The layer-16 "shad2.fx" material held for the renderer's life.
    const CPRefPtr<CPMaterial>& GetShadowMaterial() const { return shadowMaterial_; }
    // The sky: the hooks that make it (installed by the program's composition), the level's sky
    // from "skyscape<number>.txt" replacing any other, and its removal.
    void SetSkyHooks(const SkyHooks& hooks) { skyPass_.SetHooks(hooks); }
    void CreateSky(int number);
    void DeleteSky() { skyPass_.SetSky(nullptr); }
    CPSky* GetSky() const { return skyPass_.GetSky(); }
    const CPSkyPass& GetSkyPass() const { return skyPass_; }
    // The sky's projection of the last frame with a current camera.
    const Mat4& GetSkyProjection() const { return skyProjection_; }

    int GetLightCount() const { return lightCount_; }
    const LightRecord& GetQueuedLight(int i) const { return lights_[i]; }
    const LightRecord& GetDirectionalLight() const { return directionalLight_; }
    float GetFadeLevel() const { return fade_.GetLevel(); }
    int GetFadeMaximum() const { return fade_.GetMaximum(); }
    float GetLightCoeff() const { return lightCoeff_; }
    void SetLightCoeff(float k) { lightCoeff_ = k; }
    uint32_t GetAmbientColor() const { return ambientColor_; }
    const float* GetAmbientFloats() const { return ambient_; }
    // The stored ambient colour that RestoreRenderStates applies (written by InitSky).
    void SetStoredAmbient(uint32_t color, float r, float g, float b, float a);
    uint32_t GetFogColor() const { return fogColor_; }
    void SetFogColor(uint32_t color) { fogColor_ = color; }
    int GetDesktopWidth() const { return desktopWidth_; }
    int GetDesktopHeight() const { return desktopHeight_; }
    int GetVertexProcessing() const { return vertexProcessing_; }
    int GetMaxAnisotropy() const { return maxAnisotropy_; }
    bool HasAnisotropicMin() const { return anisoMin_; }
    bool HasAnisotropicMag() const { return anisoMag_; }
    Platform::Format GetFormat16() const { return format16_; }
    Platform::Format GetFormat32() const { return format32_; }
    bool HasDebugLines() const { return debugLines_; }
    const std::vector<CPVertex>& GetDebugLines() const { return debugLineList_; }

    // The motion blur: a non-zero amount switches it on with that amount, 0 off with amount 0. The
    // gloom view's full-screen effect is the same switch. No pass draws it.
    void SetMotionBlur(float amount) {
        motionBlur_ = amount != 0.0f;
        motionBlurAmount_ = motionBlur_ ? amount : 0.0f;
    }
    void SetScreenEffect(float strength) { SetMotionBlur(strength); }
    bool IsMotionBlurOn() const { return motionBlur_; }
    float GetMotionBlurAmount() const { return motionBlurAmount_; }
    void SetRadialBlur(float amount) { blurGrid_.radialBlur = amount; }
    float GetRadialBlur() const { return blurGrid_.radialBlur; }

    // The speed-blur grid: 5 x 5 screen vertices with their unit directions from the screen's centre
    // and the indices of its 4 x 4 cells. Built at Start (filled only while "blur" is on); no pass
    // draws it.
    struct BlurGrid {
        static constexpr int kColumns = 4, kRows = 4;
        std::vector<ScreenVertex> vertices, vertices2;
        std::vector<Vec2> directions;
        std::vector<uint16_t> indices;
        int vertexCount = 0;
        float radialBlur = 0.0f;
    };
    const BlurGrid& GetBlurGrid() const { return blurGrid_; }
    void BuildBlurGrid();
    // While "blur" is on, turns every grid direction away from (width / 2, (h + 1) x height / 2).
    void RecentreBlurGrid(float h);
    // The speed blur and bloom the queue runs between layers.
    CPBloom& GetBloom() { return bloom_; }
    void SetByteSetting(uint8_t value) { byteSetting_ = value; }
    uint8_t GetByteSetting() const { return byteSetting_; }
    // Raised and lowered by script functions; the renderer itself never reads it.
    void SetTuningIndex(int index) { tuningIndex_ = index; }
    int GetTuningIndex() const { return tuningIndex_; }
    // Visible leaves of the level's tree add their object counts during the turn; the count of
    // the last drawn frame is kept when the frame ends.
    void AddDrawnObjects(int count) { drawnObjects_ += count; }
    int GetDrawnObjectCount() const { return lastDrawnObjects_; }

    // Default view and projection aspect: the desktop's integer width-to-height quotient.
    float DesktopAspect() const;

private:
    // Draws the passes of one stage of the frame, in the order they were added.
    void DrawStage(CPRenderPass::Stage stage);
    // Frame step 5, with a current camera: the sky's view and projection and the shared effect
    // parameters.
    void SetCameraValues();
    void EmptyLightQueue() { lightCount_ = 0; }
    void ForgetBoundBuffers() {
        boundVertexBuffer_ = nullptr;
        boundIndexBuffer_ = nullptr;
    }
    void ReleaseDevice();

    float lightCoeff_ = 2.0f;
    std::vector<CPRefPtr<CPRenderBlock>> submittedBlocks_;
    bool debugLines_ = false;
    std::vector<CPVertex> debugLineList_;
    LightRecord lights_[kMaxLights];
    int lightCount_ = 0;
    Platform::VertexBuffer* boundVertexBuffer_ = nullptr;
    Platform::IndexBuffer* boundIndexBuffer_ = nullptr;
    Platform::PresentParameters presentParams_;
    std::unique_ptr<Platform::DeviceBackend> backend_;
    void* deviceWindow_ = nullptr;
    std::unique_ptr<Platform::Device> device_;
    Platform::Format format16_ = Platform::Format::Unknown;
    Platform::Format format32_ = Platform::Format::Unknown;
    int vertexProcessing_ = kVertexProcessingSoftware;
    CPRefPtr<CPRenderBlock> dynamicBlock_;
    CPRefPtr<CPRenderBlock> staticBlock_;
    uint32_t ambientColor_ = 0;
    float ambient_[4] = {0, 0, 0, 1};
    bool motionBlur_ = false;
    float motionBlurAmount_ = 0.0f;
    uint8_t byteSetting_ = 255;
    int maxAnisotropy_ = 1;
    bool anisoMin_ = false;
    bool anisoMag_ = false;
    LightRecord directionalLight_;
    CPLoadingScreen loadingScreen_;
    CPFadePass fade_;
    CPBloom bloom_{this};
    BlurGrid blurGrid_;
    // The frame's passes; a pass not built yet is simply not here.
    CPRenderQueue queue_;
    CPQueuePass queuePass_{queue_};
    CPSkyPass skyPass_;
    std::vector<CPRenderPass*> passes_{&skyPass_, &queuePass_, &fade_};
    CPRefPtr<CPMaterial> shadowMaterial_;
    Mat4 skyProjection_ = MatIdentity();
    int desktopWidth_ = 0;
    int desktopHeight_ = 0;
    uint32_t fogColor_ = 0;
    int tuningIndex_ = 0;
    int drawnObjects_ = 0;
    int lastDrawnObjects_ = 0;
    CPStaticMeshCache staticMeshes_;
};

inline CPRender* GetRender() { return CPSingleton<CPRender>::Instance(); }

// The sky's view of the current frame (a look-at from the origin along the camera's direction) and
// its inverse; the sky's clouds read them.
extern Mat4 SkyViewMatrix;
extern Mat4 SkyViewInverse;
