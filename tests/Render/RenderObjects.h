#pragma once
// Game objects with render parts for the renderer's tests.
#include <string>

#include "Core/PGameObject.h"
#include "Render/PLight.h"
#include "Render/PRenderObject.h"
#include "Render/PSprite.h"

namespace RenderSupport {

// A square of the given half size in the object's xy plane facing -z (towards a camera looking
// along +z), with `extra` further vertices that no index uses.
inline CPRefPtr<CPRenderObject> SquareMesh(CPGameObject* owner, const CPRefPtr<CPMaterial>& material, float half,
                                           uint32_t colour = 0xFFFFFFFF, int extra = 0) {
    CPRefPtr<CPRenderObject> mesh(new CPRenderObject(owner));
    const float c[4][2] = {{-half, -half}, {-half, half}, {half, half}, {half, -half}};
    for (int i = 0; i < 4; ++i) {
        CPVertex v{};
        v.position = Vec3(c[i][0], c[i][1], 0);
        v.normal = Vec3(0, 0, -1);
        v.diffuse = colour;
        v.tu = c[i][0] > 0 ? 1.0f : 0.0f;
        v.tv = c[i][1] > 0 ? 0.0f : 1.0f;
        mesh->vertices.push_back(v);
    }
    for (int i = 0; i < extra; ++i) mesh->vertices.push_back(mesh->vertices[0]);
    mesh->indices = {0, 1, 2, 0, 2, 3};
    mesh->SetMaterial(material);
    return mesh;
}

inline CPRefPtr<CPGameObject> MeshObject(const std::string& name, const CPRefPtr<CPMaterial>& material,
                                         const Vec3& position, float half = 0.5f, uint32_t colour = 0xFFFFFFFF,
                                         int extra = 0) {
    CPRefPtr<CPGameObject> o(new CPGameObject(name));
    o->SetRenderType(CPGameObject::RenderMesh);
    o->SetRenderPart(SquareMesh(o.Get(), material, half, colour, extra));
    o->SetPosition(position);
    o->UpdateTransform();
    return o;
}

inline CPRefPtr<CPGameObject> LightObject(const std::string& name, const Vec3& position, float red) {
    CPRefPtr<CPGameObject> o(new CPGameObject(name));
    CPRefPtr<CPLight> light(new CPLight(o.Get()));
    light->light.Type = 1;
    light->light.Diffuse = {red, 0, 0, 1};
    light->light.Range = 10;
    light->light.Attenuation0 = 1;
    o->SetRenderType(CPGameObject::RenderLight);
    o->SetRenderPart(light);
    o->SetPosition(position);
    o->UpdateTransform();
    return o;
}

inline CPRefPtr<CPGameObject> SpriteObject(const std::string& name, const CPRefPtr<CPMaterial>& material,
                                           const Vec3& position, float half) {
    CPRefPtr<CPGameObject> o(new CPGameObject(name));
    CPRefPtr<CPSprite> sprite(new CPSprite(half));
    sprite->SetOwner(o.Get());
    sprite->SetMaterial(material);
    o->SetRenderType(CPGameObject::RenderSprite);
    o->SetRenderPart(sprite);
    o->SetPosition(position);
    o->UpdateTransform();
    return o;
}

} // namespace RenderSupport
