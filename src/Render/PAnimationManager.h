#pragma once
#include "Core/PSingleton.h"
// The vertex animations shared by name.
class CPAnimationManager : public CPSingleton<CPAnimationManager> {
public:
    CPAnimationManager();
    virtual ~CPAnimationManager();
};

inline CPAnimationManager* GetAnimationManager() { return CPSingleton<CPAnimationManager>::Instance(); }
