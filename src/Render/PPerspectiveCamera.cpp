#include "Render/PPerspectiveCamera.h"

#include <cmath>

#include "Core/PLog.h"
#include "Core/PSettings.h"

CPRefPtr<CPPerspectiveCamera> CurrentCamera;

Plane CPPerspectiveCamera::PlaneFromPoints(const Vec3& p0, const Vec3& p1, const Vec3& p2) {
    const Vec3 n = Cross(p1 - p0, p2 - p0);
    return Plane{n.x, n.y, n.z, -Dot(n, p0)};
}

void CPPerspectiveCamera::Recalculate() {
    const bool wasDirty = viewDirty || projectionDirty;
    if (viewDirty) {
        view = MatLookAtLH(eye, lookAt, up);
        viewDirty = false;
        MatInverse(viewInverse, nullptr, view);
        rotationView = MatLookAtLH(Vec3(0, 0, 0), lookAt - eye, up);
        MatInverse(rotationViewInverse, nullptr, rotationView);
    }
    if (projectionDirty) {
        projectionDirty = false;
        const float aspect =
            g_screenHeight > 0 ? static_cast<float>(g_screenWidth) / static_cast<float>(g_screenHeight) : 1.0f;
        // A zero or flat field of view, or no depth between the planes, has no projection.
        const bool valid = std::isfinite(fov) && fov > 0.0f && fov < 3.1415926f && std::isfinite(nearPlane) &&
                           std::isfinite(farPlane) && nearPlane > 0.0f && farPlane > nearPlane &&
                           std::isfinite(aspect) && aspect > 0.0f;
        if (valid) {
            projection = MatPerspectiveFovLH(fov, aspect, nearPlane, farPlane);
            secondProjection = MatPerspectiveFovLH(fov, aspect, nearPlane, 1000.0f > nearPlane ? 1000.0f : farPlane);
        } else {
            GetLog().Write(0, "Camera: field of view %g with planes %g..%g has no projection\n",
                           static_cast<double>(fov), static_cast<double>(nearPlane), static_cast<double>(farPlane));
        }
    }
    if (!wasDirty) return;
    viewProjection = view * projection;
    secondViewProjection = rotationView * secondProjection;
    MatInverse(viewProjectionInverse, nullptr, viewProjection);

    static const Vec3 clip[8] = {{-1, -1, 0}, {1, -1, 0}, {-1, 1, 0}, {1, 1, 0},
                                 {-1, -1, 1}, {1, -1, 1}, {-1, 1, 1}, {1, 1, 1}};
    Vec3 c[8];
    for (int i = 0; i < 8; ++i) c[i] = Vec3TransformCoord(clip[i], viewProjectionInverse);
    planes[Near] = PlaneFromPoints(c[0], c[1], c[2]);
    planes[Far] = PlaneFromPoints(c[6], c[7], c[5]);
    planes[Left] = PlaneFromPoints(c[2], c[6], c[4]);
    planes[Right] = PlaneFromPoints(c[7], c[3], c[5]);
    planes[Top] = PlaneFromPoints(c[2], c[3], c[6]);
    planes[Bottom] = PlaneFromPoints(c[1], c[0], c[4]);
}

bool CPPerspectiveCamera::IsBoxVisible(const Vec3& min, const Vec3& max) const {
    for (const Plane& p : planes) {
        bool inside = false;
        for (int i = 0; i < 8 && !inside; ++i) {
            const Vec3 corner(i & 1 ? max.x : min.x, i & 2 ? max.y : min.y, i & 4 ? max.z : min.z);
            inside = p.a * corner.x + p.b * corner.y + p.c * corner.z + p.d > 0.0f;
        }
        if (!inside) return false;
    }
    return true;
}
