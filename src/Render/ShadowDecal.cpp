#include "Render/ShadowDecal.h"

#include <algorithm>
#include <cstdint>

#include "Core/PGameObject.h"
#include "Render/PRenderObject.h"

namespace {

constexpr float kDegenerate = 1e-30f;

float Cross(const Vec2& a, const Vec2& b) { return a.x * b.y - a.y * b.x; }
float Dot2(const Vec2& a, const Vec2& b) { return a.x * b.x + a.y * b.y; }
Vec2 Sub(const Vec2& a, const Vec2& b) { return {a.x - b.x, a.y - b.y}; }
Vec2 Add(const Vec2& a, const Vec2& b) { return {a.x + b.x, a.y + b.y}; }
Vec2 Scale(const Vec2& a, float s) { return {a.x * s, a.y * s}; }

// The triangles already used in one call, by their sorted vertex indices: an open-addressing table
// big enough for the longest list at most half full.
class TriangleSet {
public:
    // False when the triangle was there already.
    bool Insert(int a, int b, int c) {
        if (a > b) std::swap(a, b);
        if (b > c) std::swap(b, c);
        if (a > b) std::swap(a, b);
        uint32_t h = (static_cast<uint32_t>(a) * 73856093u) ^ (static_cast<uint32_t>(b) * 19349663u) ^
                     (static_cast<uint32_t>(c) * 83492791u);
        for (;; ++h) {
            Slot& slot = slots_[h & (kSlots - 1)];
            if (!slot.used) {
                slot = {a, b, c, true};
                return true;
            }
            if (slot.a == a && slot.b == b && slot.c == c) return false;
        }
    }

private:
    static constexpr uint32_t kSlots = 2048;
    struct Slot {
        int a, b, c;
        bool used;
    };
    Slot slots_[kSlots] = {};
};

} // namespace

void FitDecalFrame(Vec2& origin, Vec2& u, Vec2& v, const Vec2& point) {
    const float det = Cross(u, v);
    if (det != 0.0f) {
        auto frame = [&](const Vec2& p) {
            const Vec2 d = Sub(p, origin);
            return Vec2(Cross(d, v) / det, Cross(u, d) / det);
        };
        const Vec2 mapped[3] = {frame(point), frame(Add(point, u)), frame(Add(point, v))};
        float smin = 0.0f, smax = 1.0f, tmin = 0.0f, tmax = 1.0f;
        for (const Vec2& m : mapped) {
            smin = std::min(smin, m.x);
            smax = std::max(smax, m.x);
            tmin = std::min(tmin, m.y);
            tmax = std::max(tmax, m.y);
        }
        auto back = [&](float s, float t) { return Add(origin, Add(Scale(u, s), Scale(v, t))); };
        const Vec2 o = back(smin, tmin);
        const Vec2 newU = Sub(back(smax, tmin), o);
        const Vec2 newV = Sub(back(smin, tmax), o);
        origin = o;
        u = newU;
        v = newV;
        return;
    }
    if (Dot2(u, u) <= kDegenerate) {
        u = Sub(point, origin);
    } else if (Dot2(v, v) <= kDegenerate) {
        v = Sub(point, origin);
    } else {
        const float k = Dot2(u, v) / Dot2(u, u);
        Vec2 q = point;
        if (k < 0.0f) {
            origin = Add(origin, Scale(u, k));
            q = Add(q, Scale(u, k));
            u = Scale(u, 1.0f - k);
        }
        if (k > 1.0f) u = v;
        v = Sub(q, origin);
    }
}

void BuildDecalMesh(CPGameObject& shadow, const Vec2& originIn, const Vec2& point, const Vec2& uIn, const Vec2& vIn,
                    const DecalGround& ground) {
    Vec2 o = originIn, u = uIn, v = vIn;
    FitDecalFrame(o, u, v, point);
    const Mat4 frame = {u.x, u.y, 0, 0, v.x, v.y, 0, 0, 0, 0, 1, 0, o.x - u.x, o.y - u.y, 0, 1};
    Mat4 inverse;
    if (!MatInverse(inverse, nullptr, frame)) return;

    auto* mesh = dynamic_cast<CPRenderObject*>(shadow.GetRenderPart().Get());
    if (mesh == nullptr) return;
    mesh->vertices.clear();
    mesh->worldVertices.clear();
    mesh->indices.clear();

    TriangleSet used;
    const int listed = std::min(ground.triangleCount, DecalGround::kMaxTriangles);
    for (int i = 0; i < listed; ++i) {
        const int triangle = ground.triangles[i];
        if (triangle < 0 || triangle >= ground.tableCount) continue;
        const int* corners = ground.table + 6 * static_cast<size_t>(triangle);
        bool inside = true;
        for (int k = 0; k < 3; ++k) inside = inside && corners[k] >= 0 && corners[k] < ground.vertexCount;
        if (!inside || !used.Insert(corners[0], corners[1], corners[2])) continue;
        for (int k = 0; k < 3; ++k) {
            const float* p = ground.vertices + 4 * static_cast<size_t>(corners[k]);
            const Vec3 uv = Vec3TransformCoord(Vec3(p[0], p[1], 0.0f), inverse);
            CPVertex vertex;
            vertex.position = {p[0], p[1], p[2] + 0.03f};
            vertex.normal = {0.0f, 0.0f, 1.0f};
            vertex.diffuse = 0xFFFFFFFFu;
            vertex.specular = 0;
            vertex.tu = uv.x - 1.0f;
            vertex.tv = uv.y;
            vertex.tu2 = 0.0f;
            vertex.tv2 = 0.0f;
            mesh->indices.push_back(static_cast<CPIndex>(mesh->vertices.size()));
            mesh->vertices.push_back(vertex);
        }
    }
    // Already in world space.
    mesh->worldVertices = mesh->vertices;
}

void BuildShadowDecal(CPGameObject& shadow, const Mat4& world, const DecalGround& ground) {
    const Vec3& half = shadow.GetOwnBox().halfExtents;
    const float d = 0.1f;
    const Vec3 a = Vec3TransformCoord(Vec3(-half.x - d, -half.y - d, -half.z), world);
    const Vec3 b = Vec3TransformCoord(Vec3(half.x + d, -half.y - d, -half.z), world);
    const Vec3 e = Vec3TransformCoord(Vec3(-half.x - d, d - half.y, -half.z), world);
    const Vec3 p = Vec3TransformCoord(Vec3(-half.x - d, half.y - d, -half.z), world);
    const Vec2 origin(a.x, a.y);
    BuildDecalMesh(shadow, origin, Vec2(p.x, p.y), Vec2(b.x - a.x, b.y - a.y), Vec2(e.x - a.x, e.y - a.y), ground);
}
