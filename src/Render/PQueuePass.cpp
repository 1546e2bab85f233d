#include "Render/PQueuePass.h"

#include "Core/PSettings.h"

void CPQueuePass::Draw(Platform::Device& device) {
    queue_.ForgetBoundBuffers();
    queue_.Draw(device, post_, g_bloom != 0);
    queue_.ForgetBoundBuffers();
}
