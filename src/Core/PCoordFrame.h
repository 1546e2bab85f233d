#pragma once
// A general coordinate frame: side, up and direction axes with an origin. Local coordinates of a
// world vector v are (side·v, direction·v, up·v).
#include "Core/Math/Vector.h"

class CPCoordFrame {
public:
    // Built in the reset state.
    CPCoordFrame() { CPCoordFrame::Reset(); }
    virtual ~CPCoordFrame() = default;

    virtual Vec3 GetSide() const { return side_; }
    virtual Vec3 SetSide(float x, float y, float z) { return side_ = Vec3(x, y, z); }
    virtual Vec3 GetUp() const { return up_; }
    virtual Vec3 SetUp(float x, float y, float z) { return up_ = Vec3(x, y, z); }
    virtual Vec3 GetDirection() const { return direction_; }
    virtual Vec3 SetDirection(float x, float y, float z) { return direction_ = Vec3(x, y, z); }
    virtual Vec3 GetOrigin() const { return origin_; }
    virtual Vec3 SetOrigin(float x, float y, float z) { return origin_ = Vec3(x, y, z); }
    virtual bool IsRightHanded() const { return true; }

    // direction (0, 1, 0), side = Perpendicular(direction) = (−1, 0, 0), up (0, 0, 1), origin 0.
    virtual void Reset();

    virtual Vec3 WorldToLocalDirection(const Vec3& v) const;
    virtual Vec3 WorldToLocal(const Vec3& point) const;
    virtual Vec3 LocalToWorld(const Vec3& point) const;
    virtual Vec3 LocalToWorldDirection(const Vec3& v) const;

    // side = direction × up (up × direction when left-handed), normalised unless zero.
    virtual Vec3 RebuildSide();
    // Takes the direction as given, rebuilds the side, then up from side and direction.
    virtual void SetForward(const Vec3& direction);
    // Sets up, then SetForwardNormalised(direction).
    virtual void SetForwardUp(const Vec3& direction, const Vec3& up);
    // The direction normalised (unless zero), then SetForward.
    virtual void SetForwardNormalised(const Vec3& direction);
    // (−v.y, v.x, v.z) in a right-handed frame, (v.y, v.x, v.z) otherwise.
    virtual Vec3 Perpendicular(const Vec3& v) const;
    // A quarter turn about the up axis, through the frame's local coordinates.
    virtual Vec3 QuarterTurn(const Vec3& v) const;

private:
    Vec3 side_;
    Vec3 up_;
    Vec3 direction_;
    Vec3 origin_;
};
