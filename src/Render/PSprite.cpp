#include "Render/PSprite.h"

#include <algorithm>
#include <cmath>

#include "Core/PGameObject.h"
#include "Render/PPerspectiveCamera.h"
#include "Render/PRenderQueue.h"

const CPBaseCamera* CPSprite::FallbackCamera(int layer) {
    CPRenderQueue* queue = GetRenderQueue();
    const CPBaseCamera* camera = queue ? queue->GetCameraInEffect(layer) : nullptr;
    if (!camera) return nullptr;
    // A look-at view has orthonormal rows; a screen (orthographic) view is scaled.
    const Mat4& v = camera->view;
    for (int r = 0; r < 3; ++r) {
        const float len = std::sqrt(v.m[r][0] * v.m[r][0] + v.m[r][1] * v.m[r][1] + v.m[r][2] * v.m[r][2]);
        if (std::fabs(len - 1.0f) > 1e-3f) return nullptr;
    }
    return camera;
}

CPRefPtr<CPManagedObject> CPSprite::CloneForOwner(CPGameObject* owner) {
    CPRefPtr<CPSprite> copy(new CPSprite(halfEdge_));
    copy->SetMaterial(material_);
    copy->SetOwner(owner);
    copy->SetDirection(direction, angleLimit);
    copy->angle = angle;
    copy->colour = colour;
    for (int i = 0; i < 4; ++i) copy->texRect[i] = texRect[i];
    copy->hasVertexEffects = hasVertexEffects;
    for (const auto& effect : vertexEffects)
        if (effect) copy->vertexEffects.push_back(effect->Clone());
    return copy;
}

bool CPSprite::UpdateVisibility() {
    // Without a camera there is no direction to it: the limit cannot be judged.
    if (angleLimit == 0.0f || !CurrentCamera || !owner_) {
        visible_ = true;
        return true;
    }
    const Mat4& w = owner_->GetWorldMatrix();
    Vec3 b = CurrentCamera->eye - Vec3(w.m[3][0], w.m[3][1], w.m[3][2]);
    b.z = 0.0f;
    const CPGameObject* top = owner_;
    while (top->GetParentPointer()) top = top->GetParentPointer();
    Vec3 a = Vec3TransformNormal(direction, MatRotationQuaternion(top->GetRotation()));
    a = Normalize(a);
    b = Normalize(b);
    const float d = std::fabs(std::acos(std::clamp(Dot(a, b), -1.0f, 1.0f)));
    if (d > angleLimit) {
        visible_ = false;
        return false;
    }
    const uint32_t g = static_cast<uint32_t>((1.0f - (d / angleLimit) * 0.7f) * 255.0f) & 0xFF;
    colour = g << 24 | g << 16 | g << 8 | g;
    visible_ = true;
    return true;
}

void CPSprite::Fill(CPVertex* vertices, CPIndex* indices, uint16_t base, int) {
    if (!UpdateVisibility()) return;
    Mat4 basis = MatIdentity();
    if (CurrentCamera) {
        basis = CurrentCamera->viewInverse;
    } else if (const CPBaseCamera* camera = FallbackCamera(material_ ? material_->GetType() : 0)) {
        // Menus have no race camera: face the layer's own camera.
        MatInverse(basis, nullptr, camera->view);
    }
    if (owner_) {
        const Mat4& w = owner_->GetWorldMatrix();
        basis.m[3][0] = w.m[3][0];
        basis.m[3][1] = w.m[3][1];
        basis.m[3][2] = w.m[3][2];
    }
    basis = MatRotationZ(angle) * basis;
    const float s = halfEdge_;
    const Vec3 corners[4] = {{-s, -s, 0}, {s, -s, 0}, {s, s, 0}, {-s, s, 0}};
    const float uv[4][2] = {
        {texRect[0], texRect[1]}, {texRect[2], texRect[1]}, {texRect[2], texRect[3]}, {texRect[0], texRect[3]}};
    CPVertex quad[4];
    for (int i = 0; i < 4; ++i) {
        quad[i] = CPVertex{};
        quad[i].position = Vec3TransformCoord(corners[i], basis);
        quad[i].diffuse = colour;
        quad[i].tu = uv[i][0];
        quad[i].tv = uv[i][1];
    }
    for (const CPRefPtr<CPVertexEffect>& effect : vertexEffects)
        if (effect) effect->Apply(quad, quad, 4);
    std::copy_n(quad, 4, vertices);
    const CPIndex order[6] = {0, 2, 1, 0, 3, 2};
    for (int i = 0; i < 6; ++i) indices[i] = static_cast<CPIndex>(base + order[i]);
}
