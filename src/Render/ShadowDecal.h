#pragma once
// The ground shadow decal: each frame the car's shadow object takes the road triangles listed near
// the car, whole and unclipped, in world space, with texture coordinates from the car's footprint
// grown by 0.1 on every side.
#include "Core/Math/Mat4.h"
#include "Core/Math/Vector.h"

class CPGameObject;

// The road the decal reads, as the physics side keeps it: the triangle indices gathered near the
// body in the last step, the static world's vertices (four floats each: x, y, z, unused) and its
// triangle table (six ints each: three vertex indices, then three not read).
struct DecalGround {
    static constexpr int kMaxTriangles = 1000;
    const int* triangles = nullptr;
    int triangleCount = 0;
    const float* vertices = nullptr;
    int vertexCount = 0;
    const int* table = nullptr;
    int tableCount = 0;
};

// Rebuilds the shadow object's mesh under the footprint of its own box placed by `world`.
void BuildShadowDecal(CPGameObject& shadow, const Mat4& world, const DecalGround& ground);
// Widens or repairs the frame O + s U + t V so that it covers P.
void FitDecalFrame(Vec2& origin, Vec2& u, Vec2& v, const Vec2& point);
// The mesh of the fitted frame; a singular frame leaves the previous mesh as it was.
void BuildDecalMesh(CPGameObject& shadow, const Vec2& origin, const Vec2& point, const Vec2& u, const Vec2& v,
                    const DecalGround& ground);
