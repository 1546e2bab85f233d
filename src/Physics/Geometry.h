#pragma once

#include "Physics/CollisionTriangle.h"
#include "Physics/Matrix4.h"

#include <cstdint>

namespace Physics {

struct ConvexHull;
struct PreparedTriangle;

enum GeometryType : int32_t {
    kGeometrySingleTriangle = 2,
    kGeometryBox = 3,
    kGeometrySphere = 4,
    kGeometryCapsule = 5,
    kGeometryTriangleMesh = 6,
    kGeometryPointSet = 7,
    kGeometryConvexHull = 8,
};

// One shape of a body, placed by a local transform in the body's frame.
class Geometry {
public:
    void SetBox(float x, float y, float z);
    void SetBoxSize(const Vector4& size);
    void SetCapsule(float diameter, float length);
    void SetLocalMatrix(const Matrix4& local);
    void SetMesh(const int32_t* triangleIndexes, int32_t indexCount, const CollisionTriangle* triangles,
                 int32_t triangleCount, const float* vertices);
    // A sphere about the local translation. A radius that is not positive and finite is ignored.
    void SetSphere(float radius);
    // One triangle of a vertex array (four floats per vertex) in the geometry's frame; the array
    // is lent, not copied. Ignored when an index lies outside 0..vertexCount - 1.
    void SetTriangle(const int32_t indexes[3], const float* vertices, int32_t vertexCount);
    // A convex hull block (see ConvexHull.h), lent, not copied. False, and the shape stays, when
    // the block's counts, indexes or lists run out of range.
    bool SetConvexHull(const ConvexHull* hull);
    // Makes the geometry breakable: mode 1 or 4 detaches it, any other non-zero mode only limits
    // the sideways impulse, 0 ends it. axis: in the geometry's frame; threshold: the sideways
    // impulse it takes; fraction: the piece's share of it; mass and inertia: the piece's. False,
    // with nothing changed, for non-finite values, a negative threshold, a fraction outside 0..1
    // or a mass that is not positive.
    bool SetBreakOff(int32_t mode, const Vector4& axis, float threshold, float fraction, float mass,
                     const Vector4& inertia);
    // Indexes past the material table are ignored.
    void SetMaterial(int32_t index);
    int32_t GetMaterial() const { return material; }
    int32_t GetType() const { return type; }
    const Matrix4& GetLocalMatrix() const { return local; }

    // The shape's box in the body frame; shapes without a box leave min and max as they are.
    void GetLocalBox(Vector4& min, Vector4& max) const;
    // The box of `count` vertices (in the shape's frame) through the local matrix.
    template <class F>
    void VertexBox(Vector4& min, Vector4& max, F&& vertex, int count) const;

    void Reset();

    // Shape parameters. Box: half extents. Capsule: radius, radius squared, half length along
    // the local y axis. Sphere: radius.
    Vector4 HalfExtents() const { return {param[0], param[1], param[2], 0.0f}; }
    float Radius() const { return param[0]; }
    float RadiusSquared() const { return param[1]; }
    float HalfLength() const { return param[2]; }

    float param[3] = {0.5f, 0.5f, 0.5f};
    // Triangle mesh (static world only): the triangles to test and the arrays they index.
    const int32_t* meshIndexes = nullptr;
    int32_t meshIndexCount = 0;
    const CollisionTriangle* meshTriangles = nullptr;
    int32_t meshTriangleCount = 0;
    const float* meshVertices = nullptr;
    // When set, the listed triangles already in working form, in list order (invalid ones left
    // out); the shape tests read them instead of rebuilding each triangle.
    const PreparedTriangle* meshPrepared = nullptr;
    // The same as pointers, read in preference to meshPrepared; they may repeat a triangle.
    const PreparedTriangle* const* meshPreparedList = nullptr;
    int32_t meshPreparedCount = 0;

    // Single triangle: indexes into meshVertices; its vertex count.
    int32_t triangleVertex[3] = {0, 0, 0};
    int32_t triangleVertexCount = 0;
    // Convex hull: the block, its vertices and their count.
    const ConvexHull* hull = nullptr;
    const float* hullVertices = nullptr;
    int32_t hullVertexCount = 0;

    Matrix4 local;
    float boundingValue = 0.0f; // |half extents|, kept for the box; nothing reads it
    float pointSetScale = 0.0f; // point-set shape only
    int32_t type = kGeometryBox;
    int32_t material = 0;
    int32_t reserved = 0;

    // Break-off properties of the geometry.
    Vector4 pieceInertia{2.0f / 3.0f, 2.0f / 3.0f, 2.0f / 3.0f, 0.0f};
    Vector4 breakAxis;
    float breakMass = 1.0f;
    float breakThreshold = 0.0f;
    float pieceFraction = 0.5f;
    float breakReserved = 0.0f;
    int32_t breakMode = 0;

    // Pool links; while owned they chain the body's geometry list.
    Geometry* next = nullptr;
    Geometry* prev = nullptr;
    uint8_t inUse = 0;
};

} // namespace Physics
