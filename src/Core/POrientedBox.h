#pragma once
// An oriented collision box: a box in its own local frame, placed by its local matrix relative to an
// owner and by the owner's world matrix. Update turns it into world corners, outward face planes and
// a world extent; rays are tested face by face against those.
#include "Core/Math/Mat4.h"
#include "Core/Math/Plane.h"
#include "Core/Math/Vector.h"

class CPOrientedBox {
public:
    // Smallest half-extent a box keeps, so it never collapses into a plane.
    static constexpr float kMinHalfExtent = 0.001f;

    CPOrientedBox() : CPOrientedBox(Vec3{}, Vec3{}) {}
    // Both matrices identity; min/max from centre and half-extents. Corners and planes wait for Update.
    CPOrientedBox(const Vec3& centre, const Vec3& halfExtents);
    CPOrientedBox(const CPOrientedBox& other) = default;
    CPOrientedBox& operator=(const CPOrientedBox& other) = default;
    virtual ~CPOrientedBox() = default;

    // Clamps the half-extents, then rebuilds corners, face planes and extent from the world matrix.
    void Update();

    // Nearest entry of the ray through a face seen from outside. On a hit nearer than distance,
    // distance becomes the hit distance and plane the face's plane. A ray starting inside a box whose
    // matrix mirrors (every plane then faces inward) is a hit at distance 0, plane untouched.
    bool IntersectsRay(const Vec3& origin, const Vec3& direction, float& distance, Plane& plane) const;

    Vec3 centre;
    Vec3 halfExtents;
    // World corners, the signs of the half-extents in the order
    // (−,−,−) (+,−,−) (+,+,−) (−,+,−) (−,−,+) (+,−,+) (+,+,+) (−,+,+).
    Vec3 corners[8];
    // z−, x+, y+, x−, y−, z+; not normalised.
    Plane planes[6];
    Vec3 min;
    Vec3 max;
    Mat4 worldMatrix = MatIdentity();
    Mat4 localMatrix = MatIdentity();
};
