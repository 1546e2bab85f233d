#pragma once
// Scenes drawn on the real device by the renderer's GL tests and the render benchmark: meshes built
// in code, effects written here, the demo scene of the data set.
#include <cmath>
#include <string>
#include <vector>

#include "Core/PGameObject.h"
#include "Render/PLight.h"
#include "Render/PRenderObject.h"
#include "Render/PSprite.h"

namespace SceneSupport {

// The faces of a box, each wound clockwise as seen from outside (front faces of the default
// culling), with outward normals and the whole texture on every face.
inline void AddFace(CPRenderObject& mesh, const Vec3& centre, const Vec3& normal, const Vec3& halfSize,
                    uint32_t colour) {
    const Vec3 forward = -normal;
    const Vec3 upHint = std::fabs(normal.z) > 0.5f ? Vec3(0, 1, 0) : Vec3(0, 0, 1);
    const Vec3 right = Normalize(Cross(upHint, forward));
    const Vec3 up = Cross(forward, right);
    const Vec3 scale = halfSize;
    auto along = [&](const Vec3& axis) { return Vec3(axis.x * scale.x, axis.y * scale.y, axis.z * scale.z); };
    const Vec3 c = centre + along(normal), r = along(right), u = along(up);
    const Vec3 corners[4] = {c - r - u, c - r + u, c + r + u, c + r - u};
    const float uv[4][2] = {{0, 1}, {0, 0}, {1, 0}, {1, 1}};
    const CPIndex base = static_cast<CPIndex>(mesh.vertices.size());
    for (int i = 0; i < 4; ++i) {
        CPVertex v{};
        v.position = corners[i];
        v.normal = normal;
        v.diffuse = colour;
        v.tu = uv[i][0];
        v.tv = uv[i][1];
        mesh.vertices.push_back(v);
    }
    for (CPIndex k : {0, 1, 2, 0, 2, 3}) mesh.indices.push_back(static_cast<CPIndex>(base + k));
}

inline CPRefPtr<CPGameObject> Box(const std::string& name, const CPRefPtr<CPMaterial>& material, const Vec3& position,
                                  const Vec3& halfSize, uint32_t colour = 0xFFFFFFFF) {
    CPRefPtr<CPGameObject> o(new CPGameObject(name));
    CPRefPtr<CPRenderObject> mesh(new CPRenderObject(o.Get()));
    const Vec3 normals[6] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
    for (const Vec3& n : normals) AddFace(*mesh, Vec3(), n, halfSize, colour);
    mesh->SetMaterial(material);
    o->SetRenderType(CPGameObject::RenderMesh);
    o->SetRenderPart(mesh);
    CPOrientedBox box(Vec3(), halfSize);
    o->SetBoundingBox(box);
    o->SetPosition(position);
    o->UpdateTransform();
    return o;
}

// One face: a rectangle through `centre` facing along `normal`, half sizes (w, h) on its right and up.
inline CPRefPtr<CPGameObject> Panel(const std::string& name, const CPRefPtr<CPMaterial>& material, const Vec3& centre,
                                    const Vec3& normal, float halfWidth, float halfHeight, uint32_t colour,
                                    float uvScale = 1.0f) {
    CPRefPtr<CPGameObject> o(new CPGameObject(name));
    CPRefPtr<CPRenderObject> mesh(new CPRenderObject(o.Get()));
    const Vec3 forward = -normal;
    const Vec3 upHint = std::fabs(normal.z) > 0.5f ? Vec3(0, 1, 0) : Vec3(0, 0, 1);
    const Vec3 right = Normalize(Cross(upHint, forward)) * halfWidth;
    const Vec3 up = Normalize(Cross(forward, Normalize(right))) * halfHeight;
    const Vec3 corners[4] = {-right - up, -right + up, right + up, right - up};
    const float uv[4][2] = {{0, 1}, {0, 0}, {1, 0}, {1, 1}};
    for (int i = 0; i < 4; ++i) {
        CPVertex v{};
        v.position = corners[i];
        v.normal = normal;
        v.diffuse = colour;
        v.tu = uv[i][0] * uvScale;
        v.tv = uv[i][1] * uvScale;
        mesh->vertices.push_back(v);
    }
    mesh->indices = {0, 1, 2, 0, 2, 3};
    mesh->SetMaterial(material);
    o->SetRenderType(CPGameObject::RenderMesh);
    o->SetRenderPart(mesh);
    o->SetPosition(centre);
    o->UpdateTransform();
    return o;
}

// A rectangle in screen pixels for the screen layers: x right, y down, [x0, x1) x [y0, y1).
inline CPRefPtr<CPGameObject> ScreenRect(const std::string& name, const CPRefPtr<CPMaterial>& material, float x0,
                                         float y0, float x1, float y1, uint32_t colour = 0xFFFFFFFF) {
    CPRefPtr<CPGameObject> o(new CPGameObject(name));
    CPRefPtr<CPRenderObject> mesh(new CPRenderObject(o.Get()));
    const float p[4][4] = {{x0, y0, 0, 0}, {x1, y0, 1, 0}, {x1, y1, 1, 1}, {x0, y1, 0, 1}};
    for (const auto& c : p) {
        CPVertex v{};
        v.position = Vec3(c[0], c[1], 0.5f);
        v.diffuse = colour;
        v.tu = c[2];
        v.tv = c[3];
        mesh->vertices.push_back(v);
    }
    mesh->indices = {0, 1, 2, 0, 2, 3};
    mesh->SetMaterial(material);
    o->SetRenderType(CPGameObject::RenderMesh);
    o->SetRenderPart(mesh);
    o->UpdateTransform();
    return o;
}

inline CPRefPtr<CPGameObject> Sprite(const std::string& name, const CPRefPtr<CPMaterial>& material,
                                     const Vec3& position, float half, uint32_t colour = 0xFFFFFFFF) {
    CPRefPtr<CPGameObject> o(new CPGameObject(name));
    CPRefPtr<CPSprite> sprite(new CPSprite(half));
    sprite->SetOwner(o.Get());
    sprite->SetMaterial(material);
    sprite->colour = colour;
    o->SetRenderType(CPGameObject::RenderSprite);
    o->SetRenderPart(sprite);
    o->SetPosition(position);
    o->UpdateTransform();
    return o;
}

inline CPRefPtr<CPGameObject> PointLight(const std::string& name, const Vec3& position, const Color& colour,
                                         float range) {
    CPRefPtr<CPGameObject> o(new CPGameObject(name));
    CPRefPtr<CPLight> light(new CPLight(o.Get()));
    light->light.Type = 1;
    light->light.Diffuse = colour;
    light->light.Range = range;
    light->light.Attenuation0 = 0.2f;
    light->light.Attenuation1 = 0.15f;
    o->SetRenderType(CPGameObject::RenderLight);
    o->SetRenderPart(light);
    o->SetPosition(position);
    o->UpdateTransform();
    return o;
}

} // namespace SceneSupport
