#include "Core/PBoundingBox.h"

#include <cmath>

#include "Core/POrientedBox.h"

namespace {

void Grow(Vec3& min, Vec3& max, const Vec3& lo, const Vec3& hi) {
    if (lo.x < min.x) min.x = lo.x;
    if (lo.y < min.y) min.y = lo.y;
    if (lo.z < min.z) min.z = lo.z;
    if (hi.x > max.x) max.x = hi.x;
    if (hi.y > max.y) max.y = hi.y;
    if (hi.z > max.z) max.z = hi.z;
}

} // namespace

void CPBoundingBox::SetEmpty() {
    min = Vec3(kEmptyExtent, kEmptyExtent, kEmptyExtent);
    max = Vec3(-kEmptyExtent, -kEmptyExtent, -kEmptyExtent);
    // Negative half-extents make every segment and point test fail.
    halfExtents = max;
    centre = Vec3();
}

void CPBoundingBox::SetFromOrientedBox(const CPOrientedBox& box) {
    min = box.min;
    max = box.max;
    halfExtents = (max - min) / 2.0f;
    centre = min + halfExtents;
}

void CPBoundingBox::SetFromBoxes(const std::vector<CPOrientedBox>& boxes) {
    if (boxes.empty()) {
        // The derived values are reset too, so a test never reads those of an earlier extent.
        SetEmpty();
        return;
    }
    min = boxes.front().min;
    max = boxes.front().max;
    for (const CPOrientedBox& b : boxes) Grow(min, max, b.min, b.max);
    UpdateCentre();
}

void CPBoundingBox::Merge(const CPBoundingBox& other) {
    Grow(min, max, other.min, other.max);
    UpdateCentre();
}

void CPBoundingBox::Include(const CPBoundingBox& other) {
    Grow(min, max, other.min, other.max);
    halfExtents = (max - min) / 2.0f;
    centre = min + halfExtents;
}

void CPBoundingBox::UpdateCentre() {
    centre = (min + max) / 2.0f;
    halfExtents = (max - min) / 2.0f;
}

void CPBoundingBox::ExtendByTransform(const Mat4& m) {
    // The corners of an empty extent are not a box; growing by them would invent one.
    if (IsEmpty()) return;
    const Vec3 lo = min, hi = max;
    for (int k = 0; k < 8; ++k) {
        const Vec3 corner(k & 1 ? hi.x : lo.x, k & 2 ? hi.y : lo.y, k & 4 ? hi.z : lo.z);
        const Vec4 h = Vec3Transform(corner, m);
        if (h.w == 0.0f) continue;
        const Vec3 p(h.x / h.w, h.y / h.w, h.z / h.w);
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) continue;
        Grow(min, max, p, p);
    }
}

bool CPBoundingBox::IntersectsSegment(const Vec3& o, const Vec3& r, float length) const {
    const float h = length / 2.0f;
    const Vec3 m = o + r * h;
    const Vec3 d = centre - m;
    const Vec3& e = halfExtents;
    const Vec3 a(std::fabs(r.x), std::fabs(r.y), std::fabs(r.z));
    if (std::fabs(d.x) > e.x + h * a.x) return false;
    if (std::fabs(d.y) > e.y + h * a.y) return false;
    if (std::fabs(d.z) > e.z + h * a.z) return false;
    if (std::fabs(d.y * r.z - d.z * r.y) > e.y * a.z + e.z * a.y) return false;
    if (std::fabs(d.z * r.x - d.x * r.z) > e.x * a.z + e.z * a.x) return false;
    if (std::fabs(d.x * r.y - d.y * r.x) > e.x * a.y + e.y * a.x) return false;
    return true;
}

bool CPBoundingBox::ContainsPoint(const Vec3& p) const {
    return std::fabs(centre.x - p.x) < halfExtents.x && std::fabs(centre.y - p.y) < halfExtents.y &&
           std::fabs(centre.z - p.z) < halfExtents.z;
}

bool CPBoundingBox::IntersectsSphere(const Vec3& p, float radius) const {
    float dist = 0.0f;
    const float pv[3] = {p.x, p.y, p.z};
    const float lo[3] = {min.x, min.y, min.z};
    const float hi[3] = {max.x, max.y, max.z};
    for (int i = 0; i < 3; ++i) {
        float s = 0.0f;
        if (pv[i] < lo[i]) s = lo[i] - pv[i];
        else if (pv[i] > hi[i]) s = pv[i] - hi[i];
        dist += s * s;
    }
    return dist <= radius * radius;
}
