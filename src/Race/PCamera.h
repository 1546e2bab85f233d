#pragma once
// The race camera: two perspective cameras looking at the same scene, the main one (planar-shadow
// layer, culling, picking, scripts) and a second one with a far plane of 2000 for the car shadows'
// layer. It follows the player's car from one fixed compass direction (the track runs along x) with
// a springy height and look-ahead, or takes a fixed view the race update computes (bonnet view).
#include "Core/Math/Vector.h"
#include "Core/PManagedObject.h"
#include "Render/PPerspectiveCamera.h"

class CPCamera : public CPManagedObject {
public:
    CPCamera();
    ~CPCamera() override;
    int GetObjectSize() const override { return sizeof(*this); }
    const char* GetTypeName() const override { return "CPCamera"; }

    void BindMainCamera(int layer);
    void BindSecondCamera(int layer);
    void ReleaseLayer(int layer);
    CPPerspectiveCamera* GetMainCamera() const { return main_.Get(); }
    CPPerspectiveCamera* GetSecondCamera() const { return second_.Get(); }

    // Moves the follow distance toward the target at 3 per second of FrameDelta.
    void SmoothDistance(float target);
    void SetZAngle(float angle) {
        zAngle = angle;
        changed = true;
    }
    void SetPitch(float angle) {
        pitch = angle;
        changed = true;
    }
    // Field of view in degrees for both cameras.
    void SetFieldOfView(float degrees);
    // The per-turn update: fixed view or follow view, then the listener follows the main camera.
    void Update();

    float followDistance = 0.0f;
    float zAngle = -1.5707964f;
    float targetZAngle = 0.0f;
    float zVelocity = 0.0f;
    float pitch = 0.0f;
    float tilt = 0.0f;
    bool changed = true;
    float fieldOfView = 90.0f;
    float referenceHeight = 0.0f;
    Vec3 lookAt;
    bool fixedView = false;
    float heightOffset = 0.0f;
    float lookAhead = 0.0f;
    Vec3 fixedLookAt, fixedEye, fixedUp{0, 0, 1};
    float impact = 0.0f;

private:
    void FollowView();
    void HandToListener() const;

    CPRefPtr<CPPerspectiveCamera> main_;
    CPRefPtr<CPPerspectiveCamera> second_;
};

// The height of the player's car above the road under it, for the follow view's height offset; the
// level answers it (0 without a level or player car).
using CarHeightQuery = float (*)();
void SetCarHeightQuery(CarHeightQuery query);
