#include "Render/PAnimatedObject.h"

#include "Core/PGameObject.h"
#include "Core/PGlobalTimer.h"

void CPAnimatedObject::StartAnimation(const AnimationRequest& request, bool restart) {
    if (!restart && currentName == request.name) return;
    const auto* animation = animations.Find(request.name);
    if (!animation) return;
    currentName = request.name;
    currentAnimation = *animation;
    startTime = TotalTime + request.timeOffset;
    playCount = request.playCount;
    reportFrame = request.reportFrame;
    speed = request.speed;
    listener = request.listener;
    passCounter = 0;
    reportedFrame = -1;
    currentFrame = -1;
    stopped = false;
    for (const auto& effect : vertexEffects)
        if (effect) effect->Reset();
}
