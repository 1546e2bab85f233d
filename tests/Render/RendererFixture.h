#pragma once
// A renderer world on the null device for the renderer's unit tests: a game root with the effects
// and textures a test writes, the material manager and a render queue.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "Core/PGlobalTimer.h"
#include "Core/PManagedObject.h"
#include "Core/PSettings.h"
#include "Platform/NullDevice.h"
#include "Render/PMaterialManager.h"
#include "Render/PPerspectiveCamera.h"
#include "Render/PRenderQueue.h"
#include "Render/RenderTestSupport.h"

namespace RenderSupport {

inline std::vector<uint8_t> Bytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

// The two stand-ins every data set carries.
inline const char* kSimpleFx = "technique Fixed { pass P0 { fixed; } }\n";
inline const char* kErrorFx = "technique Error { pass P0 { fixed; Stage[0].ColorOp = SelectArg2; } }\n";

class RendererWorld : public ::testing::Test {
protected:
    void SetUp() override {
        CPSettingsManager::ResetDefaults();
        g_screenWidth = 640;
        g_screenHeight = 480;
        FrameCounter = 0;
        Platform::PresentParameters params;
        params.BackBufferWidth = 640;
        params.BackBufferHeight = 480;
        params.BackBufferFormat = Platform::Format::A8R8G8B8;
        device_ = std::make_unique<Platform::NullDevice>(params, Platform::DeviceCaps{});
        root_.Put("Data/Effects/simple.fx", Bytes(kSimpleFx));
        root_.Put("Data/Effects/error.fx", Bytes(kErrorFx));
        root_.Put("Data/Textures/error.tga", SolidTga(2, 2, 0xFFFF00FF));
        materials_ = std::make_unique<CPMaterialManager>();
        materials_->SetDevice(device_.get());
        queue_ = std::make_unique<CPRenderQueue>();
    }
    void TearDown() override {
        CurrentCamera.Reset();
        queue_.reset();
        CPManagedObject::CollectGarbage();
        materials_.reset();
        CPManagedObject::CollectGarbage();
        device_.reset();
        CPSettingsManager::ResetDefaults();
        FrameCounter = 0;
    }
    void PutEffect(const std::string& name, const std::string& text) { root_.Put("Data/Effects/" + name, Bytes(text)); }
    void PutTexture(const std::string& name, uint32_t argb, int w = 4, int h = 4) {
        root_.Put("Data/Textures/" + name, SolidTga(w, h, argb));
    }

    ScopedGameRoot root_;
    std::unique_ptr<Platform::NullDevice> device_;
    std::unique_ptr<CPMaterialManager> materials_;
    std::unique_ptr<CPRenderQueue> queue_;
};

} // namespace RenderSupport
