#include "Physics/Geometry.h"

#include "Physics/ConvexHull.h"
#include "Physics/Inertia.h"

#include <cmath>

namespace Physics {

void Geometry::SetBox(float x, float y, float z) {
    type = kGeometryBox;
    param[0] = x * 0.5f;
    param[1] = y * 0.5f;
    param[2] = z * 0.5f;
    const float sq = param[0] * param[0] + param[1] * param[1] + param[2] * param[2];
    boundingValue = sq < 1e-6f ? 0.0f : std::sqrt(sq);
    pointSetScale = 0.0f;
}

void Geometry::SetBoxSize(const Vector4& size) { SetBox(size.x, size.y, size.z); }

void Geometry::SetCapsule(float diameter, float length) {
    type = kGeometryCapsule;
    param[0] = diameter * 0.5f;
    param[1] = param[0] * param[0];
    param[2] = length * 0.5f;
}

void Geometry::SetLocalMatrix(const Matrix4& m) { local = m; }

void Geometry::SetMesh(const int32_t* triangleIndexes, int32_t indexCount, const CollisionTriangle* triangles,
                       int32_t triangleCount, const float* vertices) {
    type = kGeometryTriangleMesh;
    meshIndexes = triangleIndexes;
    meshIndexCount = indexCount;
    meshTriangles = triangles;
    meshTriangleCount = triangleCount;
    meshVertices = vertices;
    meshPrepared = nullptr;
    meshPreparedList = nullptr;
    meshPreparedCount = 0;
}

void Geometry::SetSphere(float radius) {
    if (!(radius > 0.0f) || !std::isfinite(radius)) {
        return;
    }
    type = kGeometrySphere;
    param[0] = radius;
    param[1] = radius * radius;
    param[2] = 0.0f;
}

void Geometry::SetTriangle(const int32_t indexes[3], const float* vertices, int32_t vertexCount) {
    if (indexes == nullptr || vertices == nullptr) {
        return;
    }
    for (int k = 0; k < 3; ++k) {
        if (indexes[k] < 0 || indexes[k] >= vertexCount) {
            return;
        }
    }
    type = kGeometrySingleTriangle;
    for (int k = 0; k < 3; ++k) {
        triangleVertex[k] = indexes[k];
    }
    meshVertices = vertices;
    triangleVertexCount = vertexCount;
}

bool Geometry::SetConvexHull(const ConvexHull* block) {
    if (!ConvexHull::IsValid(block)) {
        return false;
    }
    type = kGeometryConvexHull;
    hull = block;
    hullVertices = reinterpret_cast<const float*>(block->Vertices());
    hullVertexCount = block->vertexCount;
    return true;
}

void Geometry::SetMaterial(int32_t index) {
    if (index < 0 || index > 255) {
        return;
    }
    material = index;
}

template <class F>
void Geometry::VertexBox(Vector4& min, Vector4& max, F&& vertex, int count) const {
    for (int i = 0; i < 3; ++i) {
        min[i] = 1e30f;
        max[i] = -1e30f;
    }
    for (int k = 0; k < count; ++k) {
        const Vector4 p = TransformPoint(vertex(k), local);
        for (int i = 0; i < 3; ++i) {
            min[i] = std::fmin(min[i], p[i]);
            max[i] = std::fmax(max[i], p[i]);
        }
    }
}

void Geometry::GetLocalBox(Vector4& min, Vector4& max) const {
    const Vector4& t = local.row[3];
    switch (type) {
    case kGeometryBox:
        for (int i = 0; i < 3; ++i) {
            float extent = 0.0f;
            for (int r = 0; r < 3; ++r) {
                extent += std::fabs(local.row[r][i]) * param[r];
            }
            min[i] = t[i] - extent;
            max[i] = t[i] + extent;
        }
        break;
    case kGeometryCapsule: {
        const float a = Radius();
        const float l = HalfLength();
        for (int i = 0; i < 3; ++i) {
            const float extent =
                (l + a) * std::fabs(local.row[1][i]) + a * (std::fabs(local.row[0][i]) + std::fabs(local.row[2][i]));
            min[i] = t[i] - extent;
            max[i] = t[i] + extent;
        }
        break;
    }
    case kGeometrySphere:
        for (int i = 0; i < 3; ++i) {
            min[i] = t[i] - Radius();
            max[i] = t[i] + Radius();
        }
        break;
    case kGeometrySingleTriangle:
        // The vertices through the local matrix, so a body of one triangle gets a real box.
        if (meshVertices != nullptr) {
            VertexBox(
                min, max, [this](int k) { return Vertex(meshVertices, triangleVertex[k]); }, 3);
        }
        break;
    case kGeometryConvexHull:
        if (hullVertices != nullptr && hullVertexCount > 0) {
            VertexBox(
                min, max, [this](int k) { return Vertex(hullVertices, k); }, hullVertexCount);
        }
        break;
    default:
        // Meshes and point sets contribute no box here.
        break;
    }
}

void Geometry::Reset() {
    SetBox(1.0f, 1.0f, 1.0f);
    local = Matrix4::Identity();
    material = 0;
    reserved = 0;
    meshIndexes = nullptr;
    meshIndexCount = 0;
    meshTriangles = nullptr;
    meshTriangleCount = 0;
    meshVertices = nullptr;
    meshPrepared = nullptr;
    meshPreparedList = nullptr;
    meshPreparedCount = 0;
    triangleVertex[0] = triangleVertex[1] = triangleVertex[2] = 0;
    triangleVertexCount = 0;
    hull = nullptr;
    hullVertices = nullptr;
    hullVertexCount = 0;
    pieceInertia = BoxInertia({1.0f, 1.0f, 1.0f, 0.0f}, 1.0f);
    breakAxis = Vector4();
    breakMass = 1.0f;
    breakThreshold = 0.0f;
    pieceFraction = 0.5f;
    breakReserved = 0.0f;
    breakMode = 0;
}

} // namespace Physics
