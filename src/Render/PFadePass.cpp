#include "Render/PFadePass.h"

#include <cmath>

#include "Core/PSettings.h"
#include "Render/DeviceCheck.h"
#include "Render/RenderStates.h"
#include "Render/ScreenQuad.h"

using namespace Platform;

namespace {

// Black of the quad's vertex colour, its alpha blended over the scene.
const DeviceStateValue kFadeStates[] = {
    StateOf(0, StageState::ColorArg2, ArgDiffuse),     StateOf(0, StageState::AlphaArg2, ArgDiffuse),
    StateOf(0, StageState::AlphaOp, OpSelectArg2),     StateOf(0, StageState::ColorOp, OpSelectArg2),
    StateOf(RenderState::AlphaBlendEnable, 1),         StateOf(RenderState::SrcBlend, BlendSrcAlpha),
    StateOf(RenderState::DestBlend, BlendInvSrcAlpha),
};

} // namespace

void CPFadePass::SetFade(float level) {
    if (std::isnan(level)) return;
    level = level < 0.0f ? 0.0f : level > 1.0f ? 1.0f : level;
    const float fade = static_cast<float>(maximum_) * level;
    level_ = fade < 0.0f ? 0.0f : fade > 256.0f ? 256.0f : fade;
}

void CPFadePass::Draw(Device& device) {
    if (level_ < static_cast<float>(maximum_)) DrawQuad(device);
}

void CPFadePass::DrawQuad(Device& device) {
    ApplyStates(device, kScreenQuadStates);
    ApplyStates(device, kFadeStates);

    const int alpha = static_cast<int>(255.0f - level_);
    const uint32_t color = static_cast<uint32_t>(alpha < 0 ? 0 : alpha > 255 ? 255 : alpha) << 24;
    const ScreenQuad quad =
        FullScreenQuad(static_cast<float>(g_screenWidth), static_cast<float>(g_screenHeight), color, 1.0f);
    DEVICE_CHECK(device.DrawPrimitiveUP(PrimitiveType::TriangleStrip, 2, quad.data(), sizeof(ScreenVertex)));

    RestoreDefaultStates(device, kScreenQuadStates);
    RestoreDefaultStates(device, kFadeStates);
}
