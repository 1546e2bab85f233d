#include "Render/PAnimationManager.h"

namespace {
CPAnimationManager* g_animations = nullptr;
}

CPAnimationManager* GetAnimationManager() { return g_animations; }

CPAnimationManager::CPAnimationManager() { g_animations = this; }

CPAnimationManager::~CPAnimationManager() {
    if (g_animations == this) g_animations = nullptr;
}
