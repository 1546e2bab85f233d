#pragma once

#include "Physics/Body.h"
#include "Physics/CollisionTriangle.h"
#include "Physics/Geometry.h"
#include "Physics/Quaternion.h"

#include <cmath>
#include <cstdint>
#include <vector>

namespace PhysicsTest {

// Triangles as the game hands them over: a vertex array of four floats per vertex, a table of
// CollisionTriangle records and the list of indexes to test.
struct TriangleSoup {
    std::vector<float> vertices;
    std::vector<Physics::CollisionTriangle> triangles;
    std::vector<int32_t> indexes;

    int32_t AddVertex(const Physics::Vector4& p) {
        vertices.insert(vertices.end(), {p.x, p.y, p.z, 1.0f});
        return static_cast<int32_t>(vertices.size() / 4 - 1);
    }

    // Adds the triangle to the table and to the index list; returns its table index.
    int32_t Add(const Physics::Vector4& p0, const Physics::Vector4& p1, const Physics::Vector4& p2,
                int32_t material = 0, int32_t testMode = 0) {
        const int32_t a = AddVertex(p0);
        const int32_t b = AddVertex(p1);
        const int32_t c = AddVertex(p2);
        triangles.push_back({{a, b, c}, material, testMode, 0});
        const auto index = static_cast<int32_t>(triangles.size() - 1);
        indexes.push_back(index);
        return index;
    }

    // A flat square at height z, centred on (cx, cy), as two triangles wound counter-clockwise
    // seen from above (normal +z), split along the diagonal from (-,-) to (+,+).
    void AddQuad(float cx, float cy, float half, float z, int32_t material = 0, int32_t material2 = -1) {
        const Physics::Vector4 a{cx - half, cy - half, z};
        const Physics::Vector4 b{cx + half, cy - half, z};
        const Physics::Vector4 c{cx + half, cy + half, z};
        const Physics::Vector4 d{cx - half, cy + half, z};
        Add(a, b, c, material);
        Add(a, c, d, material2 < 0 ? material : material2);
    }

    Physics::Geometry Mesh() const {
        Physics::Geometry g;
        g.Reset();
        g.SetMesh(indexes.data(), static_cast<int32_t>(indexes.size()), triangles.data(),
                  static_cast<int32_t>(triangles.size()), vertices.data());
        return g;
    }
};

inline Physics::Matrix4 Pose(float x, float y, float z, const Physics::Vector4& q = {0.0f, 0.0f, 0.0f, 1.0f}) {
    return Physics::Matrix4::FromRotationAndPosition(Physics::QuatToRows(q), {x, y, z, 0.0f});
}

inline Physics::Vector4 AxisAngle(float x, float y, float z, float angle) {
    const float s = std::sin(angle * 0.5f);
    return {x * s, y * s, z * s, std::cos(angle * 0.5f)};
}

} // namespace PhysicsTest
