#include "Render/PLight.h"

#include "Core/PGameObject.h"

const LightRecord& CPLight::GetLightRecord() {
    if (owner_) {
        const Mat4& w = owner_->GetWorldMatrix();
        light.Position = Vec3(w.m[3][0], w.m[3][1], w.m[3][2]);
    }
    return light;
}
