// Geometry break-off: a strong sideways contact impulse detaches a breakable geometry into a
// body of its own.
#include "Physics/CollisionDrivers.h"
#include "Physics/Quaternion.h"
#include "Physics/Simulator.h"

#include <cmath>

namespace Physics {

bool Geometry::SetBreakOff(int32_t mode, const Vector4& axis, float threshold, float fraction, float mass,
                           const Vector4& inertia) {
    if (!IsFinite(axis) || !std::isfinite(threshold) || threshold < 0.0f || !(fraction >= 0.0f && fraction <= 1.0f) ||
        !std::isfinite(mass) || !(mass > 0.0f) || !IsFinite(inertia)) {
        return false;
    }
    breakMode = mode;
    breakAxis = {axis.x, axis.y, axis.z, 0.0f};
    breakThreshold = threshold;
    pieceFraction = fraction;
    breakMass = mass;
    pieceInertia = {inertia.x, inertia.y, inertia.z, 0.0f};
    return true;
}

int32_t Simulator::TestBreakOff(Body* body, Geometry* geometry, const Vector4& point, Vector4& impulse) {
    const Matrix4 world = GeometryWorldTransform(*geometry, body->GetWorldTransform());
    const Vector4& a = geometry->breakAxis;
    Vector4 d = world.row[0] * a.x + world.row[1] * a.y + world.row[2] * a.z;
    d.w = 0.0f;
    const float along = Dot(impulse, d);
    Vector4 sideways = impulse - d * along;
    sideways.w = 0.0f;
    const float sq = LengthSquared(sideways);
    const float size = sq < 1e-6f ? 0.0f : std::sqrt(sq);
    // No sideways push is no break, also against a threshold of 0 (where the split would be 0/0).
    if (size < geometry->breakThreshold || size == 0.0f) {
        return 0;
    }
    const float q = geometry->breakThreshold / size;
    const Vector4 piece = sideways * (geometry->pieceFraction * q);
    impulse = d * along + sideways * ((1.0f - geometry->pieceFraction) * q);
    const int32_t code = body->kind == kBodyRigid ? 1 : 2;
    RigidBody* made = nullptr;
    if (geometry->breakMode == 1 || geometry->breakMode == 4) {
        made = BreakOffGeometry(geometry, body);
        if (made != nullptr) {
            made->ApplyImpulse(piece, point - made->position);
        }
    }
    if (code == 2) {
        impulse = piece;
    }
    if (made == nullptr) {
        return 0;
    }
    if (breakOffCallback_ != nullptr) {
        breakOffCallback_(body, code, geometry, made);
    }
    return 1;
}

RigidBody* Simulator::BreakOffGeometry(Geometry* geometry, Body* body) {
    if (RigidBody* rigid = RigidSide(body)) {
        rigid->Unpark();
    }
    int count = 0;
    bool onBody = false;
    for (const Geometry* g = body->geometries.head; g != nullptr; g = g->next) {
        ++count;
        onBody = onBody || g == geometry;
    }
    if (count < 2 || !onBody) {
        return nullptr;
    }
    RigidBody* piece = CreateRigidBody();
    if (piece == nullptr) {
        return nullptr;
    }
    piece->SetMass(geometry->breakMass);
    piece->SetInertia(geometry->pieceInertia);
    geometry->breakMode = 0; // it never breaks again

    const Matrix4 world = GeometryWorldTransform(*geometry, body->GetWorldTransform());
    piece->rotation = world.Rotation();
    piece->position = {world.row[3].x, world.row[3].y, world.row[3].z, 0.0f};
    piece->orientation = RowsToQuat(piece->rotation);

    body->geometries.Unlink(geometry);
    if (body->geometries.count == 0) {
        if (body->enabled != 0 && body->broadphaseEntry != nullptr) {
            broadphase_.Remove(body);
        }
    } else if (body->geometries.count == 1) {
        body->UpdateBounds();
    }
    geometry->local = Matrix4::Identity();
    piece->geometries.Append(geometry);
    piece->UpdateBounds();
    piece->UpdateWorldBox();
    broadphase_.Insert(piece, body);
    return piece;
}

} // namespace Physics
