#include "Render/PAnimationManager.h"

CPAnimationManager::CPAnimationManager() = default;

CPAnimationManager::~CPAnimationManager() = default;
