#pragma once
// The vertex animations shared by name.
class CPAnimationManager {
public:
    CPAnimationManager();
    virtual ~CPAnimationManager();
};

CPAnimationManager* GetAnimationManager();
