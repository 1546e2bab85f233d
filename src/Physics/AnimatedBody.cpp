#include "Physics/AnimatedBody.h"

#include "Physics/Quaternion.h"
#include "Physics/RigidBody.h"

namespace Physics {

void AnimatedBody::Reset() {
    ResetCommon();
    kind = kBodyAnimated;
    matrix = Matrix4::Identity();
    moved = 0;
}

void AnimatedBody::SetPosition(const Vector4& p) {
    UnparkSupported();
    matrix.row[3] = {p.x, p.y, p.z, 1.0f};
    UpdateWorldBox();
    moved = 1;
}

void AnimatedBody::SetOrientation(const Vector4& q) {
    UnparkSupported();
    moved = 1;
    const Matrix3 r = QuatToRows(q);
    for (int i = 0; i < 3; ++i) {
        matrix.row[i] = r.row[i];
        matrix.row[i].w = 0.0f;
    }
}

} // namespace Physics
