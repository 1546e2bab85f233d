#include "Core/PCoordFrame.h"

void CPCoordFrame::Reset() {
    direction_ = Vec3(0, 1, 0);
    side_ = Perpendicular(direction_);
    up_ = Vec3(0, 0, 1);
    origin_ = Vec3();
}

Vec3 CPCoordFrame::WorldToLocalDirection(const Vec3& v) const {
    return {Dot(side_, v), Dot(direction_, v), Dot(up_, v)};
}

Vec3 CPCoordFrame::WorldToLocal(const Vec3& point) const { return WorldToLocalDirection(point - origin_); }

Vec3 CPCoordFrame::LocalToWorld(const Vec3& point) const { return LocalToWorldDirection(point) + origin_; }

Vec3 CPCoordFrame::LocalToWorldDirection(const Vec3& v) const { return side_ * v.x + direction_ * v.y + up_ * v.z; }

Vec3 CPCoordFrame::RebuildSide() {
    side_ = IsRightHanded() ? Cross(direction_, up_) : Cross(up_, direction_);
    if (Length(side_) > 0.0f) side_ = Normalize(side_);
    return side_;
}

void CPCoordFrame::SetForward(const Vec3& direction) {
    direction_ = direction;
    RebuildSide();
    up_ = IsRightHanded() ? Cross(side_, direction_) : Cross(direction_, side_);
}

void CPCoordFrame::SetForwardUp(const Vec3& direction, const Vec3& up) {
    up_ = up;
    SetForwardNormalised(direction);
}

void CPCoordFrame::SetForwardNormalised(const Vec3& direction) {
    SetForward(Length(direction) > 0.0f ? Normalize(direction) : direction);
}

Vec3 CPCoordFrame::Perpendicular(const Vec3& v) const {
    return IsRightHanded() ? Vec3(-v.y, v.x, v.z) : Vec3(v.y, v.x, v.z);
}

Vec3 CPCoordFrame::QuarterTurn(const Vec3& v) const {
    return LocalToWorldDirection(Perpendicular(WorldToLocalDirection(v)));
}
