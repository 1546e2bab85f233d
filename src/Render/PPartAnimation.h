#pragma once
// The key-frame animation task of one game object: key matrices with their durations, played with
// the frame time. The interpolated key becomes the target's base matrix, so the target's world
// matrix is rotation x translation x key x parent. At the end of every pass the target hears of it;
// a looping animation starts again at the first key, another one stops.
#include <vector>

#include "Core/Math/Mat4.h"
#include "Core/PGameObjectParts.h"

class CPGameObject;

class CPPartAnimation : public CPObjectAnimation {
public:
    void Update() override;
    int GetTaskKind() const override { return KindLevel; }
    int GetObjectSize() const override { return sizeof(*this); }
    const char* GetTypeName() const override { return "CPPartAnimation"; }

    // Keys and the loop flag; not the target, the time or the current key.
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

    // The key where a pass ends: the second-to-last, at least the second.
    int PassEndKey() const;
    // The key matrix between the current key and the next one at the elapsed part of its duration
    // (entry by entry); the last key holds.
    Mat4 CurrentKeyMatrix() const;

    // One matrix and one duration (seconds) per key, in file order.
    std::vector<Mat4> keyMatrices;
    std::vector<float> keyDurations;
    float elapsed = 0.0f; // in the current key
    int currentKey = 0;
};
