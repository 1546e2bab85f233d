#include "Physics/Sensor.h"

#include "Physics/AnimatedBody.h"

#include <cmath>

namespace Physics {

void Sensor::SetRay(const Vector4& o, const Vector4& d) {
    origin = o;
    direction = d;
    const float sq = LengthSquared(d);
    if (sq < 1e-6f) {
        unitDirection = Vector4();
        length = 0.0f;
    } else {
        length = std::sqrt(sq);
        unitDirection = d * (1.0f / length);
    }
}

AnimatedBody* Sensor::GetHitAnimatedBody() const {
    if (hitBody == nullptr || hitBody->kind != kBodyAnimated) {
        return nullptr;
    }
    return static_cast<AnimatedBody*>(hitBody);
}

void Sensor::Reset() {
    Sensor* keepNext = next;
    Sensor* keepPrev = prev;
    const uint8_t keepInUse = inUse;
    *this = Sensor();
    next = keepNext;
    prev = keepPrev;
    inUse = keepInUse;
}

} // namespace Physics
