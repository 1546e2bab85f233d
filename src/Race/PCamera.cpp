#include "Race/PCamera.h"

#include <algorithm>
#include <cmath>

#include "Core/Math/Mat4.h"
#include "Core/PGlobalTimer.h"
#include "Core/PSettings.h"
#include "Render/PRender.h"
#include "Sound/NAudio.h"

namespace {

constexpr float kTwoPi = 6.2831855f;
constexpr float kDegree = 0.0174532924f;

CarHeightQuery g_carHeight = nullptr;

void SetUp(CPPerspectiveCamera& camera, float farPlane) {
    camera.fov = 90.0f * kDegree;
    camera.nearPlane = 1.0f;
    camera.farPlane = farPlane;
    camera.up = Vec3(0, 0, 1);
    camera.projectionDirty = true;
    camera.viewDirty = true;
}

} // namespace

void SetCarHeightQuery(CarHeightQuery query) { g_carHeight = query; }

CPCamera::CPCamera() : main_(new CPPerspectiveCamera), second_(new CPPerspectiveCamera) {
    SetUp(*main_, static_cast<float>(g_distance));
    SetUp(*second_, 2000.0f);
    CurrentCamera = main_;
}

CPCamera::~CPCamera() {
    if (CurrentCamera.Get() == main_.Get()) CurrentCamera = CPRefPtr<CPPerspectiveCamera>();
}

void CPCamera::BindMainCamera(int layer) {
    if (CPRender* render = GetRender()) render->SetLayerCamera(layer, main_.Get());
}

void CPCamera::BindSecondCamera(int layer) {
    if (CPRender* render = GetRender()) render->SetLayerCamera(layer, second_.Get());
}

void CPCamera::ReleaseLayer(int layer) {
    if (CPRender* render = GetRender()) render->ReleaseLayer(layer);
}

void CPCamera::SmoothDistance(float target) {
    followDistance += (target - followDistance) * FrameDelta * 3.0f;
    changed = true;
}

void CPCamera::SetFieldOfView(float degrees) {
    changed = true;
    for (CPPerspectiveCamera* camera : {main_.Get(), second_.Get()}) {
        camera->fov = degrees * kDegree;
        camera->projectionDirty = true;
    }
}

void CPCamera::Update() {
    if (fixedView) {
        if (changed) {
            for (CPPerspectiveCamera* camera : {main_.Get(), second_.Get()}) {
                camera->eye = fixedEye;
                camera->lookAt = fixedLookAt;
                camera->up = fixedUp;
                camera->viewDirty = true;
                camera->Recalculate();
            }
        }
    } else if (changed || zAngle != targetZAngle) {
        FollowView();
    }
    HandToListener();
}

void CPCamera::FollowView() {
    const float dt = std::min(FrameDelta, 0.1f);
    // The shortest way round to the target angle.
    float d = targetZAngle - zAngle;
    for (float candidate : {targetZAngle - zAngle - kTwoPi, targetZAngle - zAngle + kTwoPi})
        if (std::fabs(candidate) < std::fabs(d)) d = candidate;
    zAngle += dt * zVelocity;
    zVelocity += 25.0f * static_cast<float>(g_camSpeed) * d * dt - 15.7f * (dt * zVelocity);

    const float ground = g_carHeight ? g_carHeight() : 0.0f;
    heightOffset += (ground - heightOffset) * dt * 3.0f;
    heightOffset = std::clamp(heightOffset, 0.0f, 5.0f);
    lookAhead += (followDistance * 0.3f / (2.0f * impact + 1.0f) - lookAhead) * dt;
    if (impact > 0.0f) impact = std::max(impact - dt, 0.0f);

    const Vec3 target(lookAt.x + lookAhead, lookAt.y, lookAt.z - heightOffset);
    // The pitch is taken as radians (the race update writes speed / angle_div + the preset angle).
    const Mat4 turn = MatRotationY(pitch - 1.5707964f) * MatRotationZ(-1.3089969f);
    Vec3 offset = Vec3TransformNormal(Vec3(0, 0, 1), turn) * followDistance;
    if (std::fabs(offset.z) > 7.0f) offset.z = std::copysign(7.0f, offset.z);
    const Vec3 up = Vec3TransformNormal(Vec3(1, 0, 0), turn);
    for (CPPerspectiveCamera* camera : {main_.Get(), second_.Get()}) {
        camera->lookAt = target;
        camera->eye = lookAt + offset;
        camera->up = up;
        camera->viewDirty = true;
        camera->Recalculate();
    }
}

void CPCamera::HandToListener() const {
    CNAudio* audio = GetSoundManager();
    if (!audio) return;
    const Vec3 front = Normalize(main_->lookAt - main_->eye);
    const float position[3] = {main_->eye.x, main_->eye.y, main_->eye.z};
    const float forward[3] = {front.x, front.y, front.z};
    const float top[3] = {main_->up.x, main_->up.y, main_->up.z};
    audio->UpdateListener(position, forward, top);
}
