#pragma once

#include "Physics/Body.h"

namespace Physics {

// A body placed by its owner and never integrated; other bodies collide with it.
class AnimatedBody : public Body {
public:
    AnimatedBody() { kind = kBodyAnimated; }

    void SetPosition(const Vector4& position);
    void SetOrientation(const Vector4& q);
    const Matrix4& GetMatrix() const { return matrix; }
    bool IsMoved() const { return moved != 0; }

    void Reset();

    Matrix4 matrix;
    int32_t moved = 0;

    AnimatedBody* next = nullptr;
    AnimatedBody* prev = nullptr;
    uint8_t inUse = 0;
};

} // namespace Physics
