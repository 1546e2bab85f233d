#pragma once
// Cameras as holders of a view and a projection matrix. The perspective camera builds them from an
// eye, a look-at point and an up vector, keeps their inverses and the six planes of its frustum,
// and answers whether an axis-aligned box can be seen.
#include "Core/Math/Mat4.h"
#include "Core/Math/Plane.h"
#include "Core/Math/Vector.h"
#include "Core/PManagedObject.h"

class CPBaseCamera : public CPManagedObject {
public:
    int GetObjectSize() const override { return sizeof(*this); }
    const char* GetTypeName() const override { return "CPBaseCamera"; }

    void SetView(const Mat4& m) { view = m; }
    void SetProjection(const Mat4& m) { projection = m; }
    const Mat4& GetView() const { return view; }
    const Mat4& GetProjection() const { return projection; }

    Mat4 view = MatIdentity();
    Mat4 projection = MatIdentity();
    Mat4 secondProjection = MatIdentity();
    Mat4 rotationView = MatIdentity(); // from the origin along the camera's direction
    Mat4 rotationViewInverse = MatIdentity();
};

class CPPerspectiveCamera : public CPBaseCamera {
public:
    enum PlaneIndex { Near, Far, Left, Right, Top, Bottom };

    int GetObjectSize() const override { return sizeof(*this); }
    const char* GetTypeName() const override { return "CPPerspectiveCamera"; }

    // Rebuilds what the dirty flags name, then the products, inverses and planes. A field of view
    // outside (0, pi) or near and far planes with no depth between them keep the last projection.
    void Recalculate();
    // False only when all eight corners of the box lie on the outer side of one plane.
    bool IsBoxVisible(const Vec3& min, const Vec3& max) const;
    // (a, b, c) = (p1 - p0) x (p2 - p0), not normalised; d = -(a, b, c) . p0.
    static Plane PlaneFromPoints(const Vec3& p0, const Vec3& p1, const Vec3& p2);

    Plane planes[6];
    Vec3 lookAt;
    Vec3 eye;
    Vec3 up = Vec3(0, 0, 1);
    float fov = 1.0471976f;
    float nearPlane = 1.0f;
    float farPlane = 1000.0f;
    bool projectionDirty = false;
    bool viewDirty = false;
    Mat4 viewProjection = MatIdentity();
    Mat4 viewInverse = MatIdentity();
    Mat4 viewProjectionInverse = MatIdentity();
    Mat4 secondViewProjection = MatIdentity();
};

// The perspective camera of the running race, published by the race camera; null in menus. Held
// with a reference so that whoever reads it can rely on it for the frame.
extern CPRefPtr<CPPerspectiveCamera> CurrentCamera;
