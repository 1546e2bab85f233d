// The renderer's frame with its render queue on the null device: what Start makes, the order of a
// frame that draws, the shared values it sets, and what a lost frame leaves behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "Core/PGlobalTimer.h"
#include "Core/PSettings.h"
#include "Platform/NullDevice.h"
#include "Render/PEffectManager.h"
#include "Render/PMaterialManager.h"
#include "Render/PRender.h"
#include "Render/PRenderBlock.h"
#include "Render/RenderObjects.h"
#include "Render/RendererFixture.h"

using namespace Platform;
using namespace RenderSupport;

namespace {

class RenderFrameQueueTest : public ::testing::Test {
protected:
    void SetUp() override {
        CPSettingsManager::ResetDefaults();
        g_screenWidth = 640;
        g_screenHeight = 480;
        FrameCounter = 0;
        root_.Put("Data/Effects/simple.fx", Bytes(kSimpleFx));
        root_.Put("Data/Effects/error.fx", Bytes(kErrorFx));
        root_.Put("Data/Effects/shad2.fx", Bytes("technique S { pass P { fixed; ZWriteEnable = false; } }"));
        root_.Put("Data/Effects/carrier.fx",
                  Bytes("param float4x4 g_mViewInv shared;\nparam float4 g_vLight shared;\n"
                        "param float4 g_vLightColor shared;\nparam float4 g_vAmbient shared;\n"
                        "param float4 g_vCameraPos shared;\ntechnique T { pass P { fixed; } }\n"));
        materials_ = std::make_unique<CPMaterialManager>();
    }
    void TearDown() override {
        CurrentCamera.Reset();
        if (render_ && render_->GetDevice()) render_->Stop();
        render_.Reset();
        CPManagedObject::CollectGarbage();
        materials_.reset();
        CPManagedObject::CollectGarbage();
        CPSettingsManager::ResetDefaults();
    }
    void Start() {
        render_ = CPRefPtr<CPRender>(new CPRender());
        auto backend = std::make_unique<NullBackend>();
        backend_ = backend.get();
        render_->SetBackend(std::move(backend));
        ASSERT_TRUE(render_->Start());
    }
    NullDevice& Device() { return *backend_->lastDevice; }

    ScopedGameRoot root_;
    std::unique_ptr<CPMaterialManager> materials_;
    CPRefPtr<CPRender> render_;
    NullBackend* backend_ = nullptr;
};

TEST_F(RenderFrameQueueTest, StartMakesTheStaticBlockTheShadowMaterialAndTheScreenCameras) {
    g_static = 1;
    Start();
    ASSERT_TRUE(render_->GetStaticBlock());
    EXPECT_TRUE(render_->GetStaticBlock()->IsStatic());
    EXPECT_EQ(render_->GetStaticBlock()->GetRingSize(), 1);
    EXPECT_EQ(render_->GetDynamicRenderBlock()->GetRingSize(), 2);
    ASSERT_TRUE(render_->GetShadowMaterial());
    EXPECT_EQ(render_->GetShadowMaterial()->GetType(), 16);
    EXPECT_EQ(render_->GetShadowMaterial()->GetEffect()->GetName(), "shad2.fx");
    ASSERT_NE(render_->GetRenderQueue().GetLayerCamera(195), nullptr);
    ASSERT_NE(render_->GetRenderQueue().GetLayerCamera(225), nullptr);
    render_->Stop();
    render_.Reset();
    g_static = 0;
    Start();
    EXPECT_FALSE(render_->GetStaticBlock()); // its users skip the static path
    EXPECT_EQ(render_->GetDynamicRenderBlock()->GetRingSize(), 4);
}

TEST_F(RenderFrameQueueTest, AFrameFillsBeforeItDrawsAndSetsTheSharedValuesWithACamera) {
    Start();
    auto carrier = materials_->GetMaterial(20, "carrier.fx,shared", {});
    auto o = MeshObject("o", carrier, Vec3());
    render_->GetDynamicRenderBlock()->AddObject(o.Get());
    LightRecord sun;
    sun.Type = 3;
    sun.Diffuse = {0.5f, 0.25f, 1, 1};
    sun.Direction = {0, 0, -1};
    render_->AddLight(sun);
    render_->ApplyLights();
    render_->SetAmbient(0, 0.1f, 0.2f, 0.3f);
    CPRefPtr<CPPerspectiveCamera> camera(new CPPerspectiveCamera());
    camera->eye = Vec3(1, 2, 3);
    camera->lookAt = Vec3(1, 3, 3);
    camera->viewDirty = camera->projectionDirty = true;
    camera->Recalculate();
    CurrentCamera = camera;
    Device().calls.clear();
    ++FrameCounter;
    render_->Update();
    const auto& calls = Device().calls;
    auto index = [&](const std::string& prefix) {
        auto it =
            std::find_if(calls.begin(), calls.end(), [&](const std::string& c) { return c.rfind(prefix, 0) == 0; });
        return it == calls.end() ? -1 : static_cast<int>(it - calls.begin());
    };
    EXPECT_LT(index("TestCooperativeLevel"), index("BeginScene"));
    EXPECT_LT(index("Clear"), index("DrawIndexedPrimitive"));
    EXPECT_LT(index("DrawIndexedPrimitive"), index("EndScene"));
    EXPECT_LT(index("EndScene"), index("Present"));
    CPEffectObject* fx = GetEffectManager()->GetSharedEffect();
    ASSERT_NE(fx, nullptr);
    float v[16];
    fx->GetValue(GetEffectManager()->GetSharedHandle(CPEffectManager::LightColor), v);
    EXPECT_FLOAT_EQ(v[0], 1.0f); // 2 x 0.5
    EXPECT_FLOAT_EQ(v[3], 2.0f);
    fx->GetValue(GetEffectManager()->GetSharedHandle(CPEffectManager::Ambient), v);
    EXPECT_FLOAT_EQ(v[2], 0.6f);
    fx->GetValue(GetEffectManager()->GetSharedHandle(CPEffectManager::CameraPos), v);
    EXPECT_FLOAT_EQ(v[1], 2.0f);
    fx->GetValue(GetEffectManager()->GetSharedHandle(CPEffectManager::ViewInverse), v);
    EXPECT_FLOAT_EQ(v[14], 3.0f); // the eye is the inverse view's translation
    // The sky looks from the origin along the camera's direction (+y).
    EXPECT_NEAR(SkyViewMatrix.m[1][2], 1.0f, 1e-6);
}

TEST_F(RenderFrameQueueTest, ALostFrameDrawsNothingAndLeavesNoBlocksBehind) {
    Start();
    auto material = materials_->GetMaterial(20, "simple.fx", {});
    auto o = MeshObject("o", material, Vec3());
    render_->GetDynamicRenderBlock()->AddObject(o.Get());
    Device().cooperativeLevel = DeviceResult::DeviceLost;
    Device().calls.clear();
    render_->Update();
    EXPECT_EQ(Device().CountCalls("DrawIndexedPrimitive"), 0);
    EXPECT_EQ(Device().CountCalls("Present"), 0);
    EXPECT_TRUE(material->GetBlocks().empty());
    EXPECT_TRUE(render_->GetDynamicRenderBlock()->GetFrameBlocks().empty());
}

} // namespace
