#include "Render/PSky.h"

#include "Core/PGlobalTimer.h"
#include "Render/DeviceCheck.h"
#include "Render/DeviceMatrix.h"
#include "Render/PPerspectiveCamera.h"
#include "Render/PRender.h"

void CPSkyPass::Draw(Platform::Device& device) {
    drew_ = false;
    // Without a camera the frame has no sky view or projection to draw with.
    if (!hooks_.levelExists || !hooks_.levelExists() || !CurrentCamera.Get()) return;
    CPRender* render = GetRender();
    DEVICE_CHECK(device.SetTransform(Platform::TransformType::World, ToDeviceMatrix(MatIdentity())));
    DEVICE_CHECK(device.SetTransform(Platform::TransformType::View, ToDeviceMatrix(SkyViewMatrix)));
    if (render)
        DEVICE_CHECK(
            device.SetTransform(Platform::TransformType::Projection, ToDeviceMatrix(render->GetSkyProjection())));
    if (!sky_) return;
    sky_->Render(FrameDelta);
    drew_ = true;
}
