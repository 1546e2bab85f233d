#pragma once
// Minimal key-frame animation task of one game object: what the object copies and adds to the
// kernel. Key frames, their playback and the end-of-pass call come with the renderer's animation.
#include <vector>

#include "Core/Math/Mat4.h"
#include "Core/PGameObjectParts.h"

class CPGameObject;

class CPPartAnimation : public CPObjectAnimation {
public:
    void Update() override {}
    int GetTaskKind() const override { return KindLevel; }
    int GetObjectSize() const override { return sizeof(*this); }
    const char* GetTypeName() const override { return "CPPartAnimation"; }

    virtual void CopyFrom(const CPPartAnimation& source) {
        keyMatrices = source.keyMatrices;
        keyDurations = source.keyDurations;
        loop = source.loop;
    }

    CPRefPtr<CPObjectAnimation> CopyForTarget(CPGameObject* target) override {
        CPRefPtr<CPPartAnimation> copy(new CPPartAnimation());
        copy->CopyFrom(*this);
        copy->SetTarget(target);
        return copy;
    }

    // One matrix and one duration (seconds) per key, in file order.
    std::vector<Mat4> keyMatrices;
    std::vector<float> keyDurations;
};
