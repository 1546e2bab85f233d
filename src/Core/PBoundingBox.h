#pragma once
// An axis-aligned box in world space. Centre and half-extents are derived from min and max and are
// refreshed only by the operations that say so; the segment and point tests read them.
#include <vector>

#include "Core/Math/Mat4.h"
#include "Core/Math/Vector.h"

class CPOrientedBox;

class CPBoundingBox {
public:
    // Coordinates of the empty (inverted) extent: anything merged into it replaces it.
    static constexpr float kEmptyExtent = 1e6f;

    // Starts empty: nothing hits it and it merges away.
    CPBoundingBox() { SetEmpty(); }

    void SetEmpty();
    // min/max of the box's world extent; centre and half-extents from them.
    void SetFromOrientedBox(const CPOrientedBox& box);
    // Encloses every box's world extent; an empty list gives the empty extent.
    void SetFromBoxes(const std::vector<CPOrientedBox>& boxes);
    // Grows to enclose other, then refreshes centre and half-extents.
    void Merge(const CPBoundingBox& other);
    // The same growth as Merge, centre and half-extents refreshed the same way.
    void Include(const CPBoundingBox& other);
    void UpdateCentre();
    // Grows to enclose the eight corners transformed by m (with the divide by w); centre and
    // half-extents are left as they were. Corners that land at w = 0 have no image and are skipped.
    void ExtendByTransform(const Mat4& m);

    // The segment origin + direction·[0, length] against the box; touching counts as crossing.
    bool IntersectsSegment(const Vec3& origin, const Vec3& direction, float length) const;
    // Strictly inside: a point on a face is outside.
    bool ContainsPoint(const Vec3& point) const;
    // Touching counts as intersecting.
    bool IntersectsSphere(const Vec3& point, float radius) const;

    bool IsEmpty() const { return min.x > max.x || min.y > max.y || min.z > max.z; }
    const Vec3& GetCentre() const { return centre; }

    Vec3 min;
    Vec3 max;
    Vec3 halfExtents;
    Vec3 centre;
};
