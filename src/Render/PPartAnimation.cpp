#include "Render/PPartAnimation.h"

#include <algorithm>

#include "Core/PGameObject.h"
#include "Core/PGlobalTimer.h"

int CPPartAnimation::PassEndKey() const {
    const int n = static_cast<int>(std::min(keyDurations.size(), keyMatrices.size()));
    return std::max(n - 2, 1);
}

Mat4 CPPartAnimation::CurrentKeyMatrix() const {
    const int n = static_cast<int>(std::min(keyDurations.size(), keyMatrices.size()));
    if (n == 0) return MatIdentity();
    const int k = std::clamp(currentKey, 0, n - 1);
    if (k + 1 >= n) return keyMatrices[static_cast<size_t>(k)];
    const float duration = keyDurations[static_cast<size_t>(k)];
    const float f = duration > 0.0f ? elapsed / duration : 0.0f;
    const Mat4& a = keyMatrices[static_cast<size_t>(k)];
    const Mat4& b = keyMatrices[static_cast<size_t>(k + 1)];
    Mat4 out;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) out.m[r][c] = a.m[r][c] + f * (b.m[r][c] - a.m[r][c]);
    return out;
}

void CPPartAnimation::Update() {
    const int n = static_cast<int>(std::min(keyDurations.size(), keyMatrices.size()));
    if (n == 0) return;
    elapsed += FrameDelta;
    const int end = PassEndKey();
    // A pass that takes no time would start again for ever within one frame.
    float passLength = 0.0f;
    for (int k = 0; k < end && k < n; ++k) passLength += std::max(keyDurations[static_cast<size_t>(k)], 0.0f);
    CPGameObject* target = GetTarget();
    while (currentKey < n - 1 && elapsed > keyDurations[static_cast<size_t>(currentKey)]) {
        // A key of no length (or a negative one) is passed at once and takes nothing off.
        elapsed -= std::max(keyDurations[static_cast<size_t>(currentKey)], 0.0f);
        ++currentKey;
        if (currentKey != end) continue;
        if (loop) {
            currentKey = 0;
            if (target) target->OnAnimationEnd();
            if (passLength > 0.0f) continue;
            elapsed = 0.0f;
            break;
        }
        if (target) target->OnAnimationEnd();
        Stop();
        break;
    }
    if (!target) return;
    target->SetBaseMatrix(CurrentKeyMatrix());
    target->MarkDirty();
    target->UpdateTransform();
}
