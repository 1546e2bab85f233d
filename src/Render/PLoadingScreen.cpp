#include "Render/PLoadingScreen.h"

#include "Core/PFileReader.h"
#include "Core/PSettings.h"
#include "Render/DeviceCheck.h"
#include "Render/RenderStates.h"
#include "Render/ScreenQuad.h"

using namespace Platform;

namespace {

// The texture alone, opaque.
const DeviceStateValue kLoadingScreenStates[] = {
    StateOf(0, StageState::ColorOp, OpSelectArg1),
    StateOf(0, StageState::ColorArg1, ArgTexture),
    StateOf(RenderState::AlphaBlendEnable, 0),
};

} // namespace

void CPLoadingScreen::Load(Device& device, std::unique_ptr<Texture>& texture, const char* path) {
    CPFileReader reader(path);
    if (FAILED(reader.Load()) || reader.GetLength() <= 0) return;
    TextureOptions options;
    options.Mipmaps = true;
    DEVICE_CHECK(
        device.CreateTextureFromMemory(reader.GetData(), static_cast<size_t>(reader.GetLength()), options, texture));
}

void CPLoadingScreen::Draw(Device& device, int percent) {
    if (!background_) Load(device, background_, "data\\textures\\publisher.jpg");
    if (!bar_) Load(device, bar_, "data\\textures\\load.tga");

    DEVICE_CHECK(device.Clear(ClearTarget | ClearZBuffer, 0xFF000000, 1.0f, 0));
    DEVICE_CHECK(device.BeginScene());
    DEVICE_CHECK(device.SetTransform(TransformType::World, Matrix::Identity()));
    DEVICE_CHECK(device.SetTransform(TransformType::Projection, Matrix::Identity()));
    DEVICE_CHECK(device.SetTransform(TransformType::View, Matrix::Identity()));
    ApplyStates(device, kLoadingScreenStates);
    ApplyStates(device, kScreenQuadStates);

    const float w = static_cast<float>(g_screenWidth), h = static_cast<float>(g_screenHeight);
    // Only the top three quarters of the background image are shown.
    const ScreenQuad background = FullScreenQuad(w, h, 0, 0.75f);
    DEVICE_CHECK(device.SetTexture(0, background_.get()));
    DEVICE_CHECK(device.DrawPrimitiveUP(PrimitiveType::TriangleStrip, 2, background.data(), sizeof(ScreenVertex)));

    const float x = w * static_cast<float>(percent) * 0.01f;
    const float y = h * 0.9869792f;
    const ScreenVertex bar[4] = {
        {x, y, 1, 1, 0xFFFFFFFF, 1, 0},
        {x, h, 1, 1, 0xFFFFFFFF, 1, 1},
        {0, y, 1, 1, 0xFFFFFFFF, 0, 0},
        {0, h, 1, 1, 0xFFFFFFFF, 0, 1},
    };
    DEVICE_CHECK(device.SetTexture(0, bar_.get()));
    DEVICE_CHECK(device.DrawPrimitiveUP(PrimitiveType::TriangleStrip, 2, bar, sizeof(ScreenVertex)));

    DEVICE_CHECK(device.EndScene());
    DEVICE_CHECK(device.Present());
}
