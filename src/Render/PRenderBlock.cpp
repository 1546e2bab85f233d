#include "Render/PRenderBlock.h"

#include "Core/PGlobalTimer.h"
#include "Render/PRender.h"

bool CPRenderBlock::Init(bool isStatic, int ringSize) {
    if (ringSize <= 0) return false;
    static_ = isStatic;
    ringSize_ = ringSize;
    return true;
}

void CPRenderBlock::Submit() {
    frameStamp_ = FrameCounter;
    if (CPRender* render = GetRender()) render->QueueBlock(this);
}
