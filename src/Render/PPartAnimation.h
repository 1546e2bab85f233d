#pragma once
// Minimal key-frame animation task of one game object: what the object copies and adds to the
// kernel. Key frames, their playback and the end-of-pass call come with the renderer's animation.
#include "Core/PTask.h"

class CPGameObject;

class CPPartAnimation : public CPTask {
public:
    void Update() override {}
    int GetTaskKind() const override { return KindLevel; }
    int GetObjectSize() const override { return sizeof(*this); }
    const char* GetTypeName() const override { return "CPPartAnimation"; }

    virtual void CopyFrom(const CPPartAnimation& source) { loop = source.loop; }

    CPGameObject* GetTarget() const { return target_; }
    void SetTarget(CPGameObject* target) { target_ = target; }

    bool loop = false;

private:
    CPGameObject* target_ = nullptr; // no reference: the object holds its animations
};
