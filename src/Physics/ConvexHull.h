#pragma once

#include "Physics/Vector4.h"

#include <cstddef>
#include <cstdint>

namespace Physics {

// One face of a hull: three byte lists with one entry per corner. Corner i pairs with edge i
// (from vertex i to vertex i + 1) and with the face across that edge.
struct ConvexHullFace {
    const uint8_t* adjacent;
    const uint8_t* vertices;
    const uint8_t* edges;
};

// An edge of a hull: the faces on its two sides and its two end points.
struct ConvexHullEdge {
    uint8_t face[2];
    uint8_t vertex[2];
};

// A closed convex polyhedron with triangular faces, as one contiguous block: this header, then F
// face planes (unit outward normal, fourth value unused), V vertices (four floats), F face
// records, V vertex records (each an incident-edge byte list ended by kListEnd), E edges and the
// byte lists the records point into. Every index is a byte, so a hull has fewer than 255 faces,
// vertices and edges; the collision scratch holds 100 faces, so a hull has at most 100.
struct ConvexHull {
    static constexpr uint8_t kListEnd = 255;
    static constexpr int kMaxFaces = 100;

    int32_t faceCount;
    int32_t vertexCount;
    int32_t edgeCount; // read only by the block checks
    int32_t listBytes; // the length of the byte-list area, likewise

    const Vector4* Planes() const { return reinterpret_cast<const Vector4*>(this + 1); }
    const Vector4* Vertices() const { return Planes() + faceCount; }
    const ConvexHullFace* Faces() const { return reinterpret_cast<const ConvexHullFace*>(Vertices() + vertexCount); }
    const uint8_t* const* VertexEdges() const { return reinterpret_cast<const uint8_t* const*>(Faces() + faceCount); }
    const ConvexHullEdge* Edges() const { return reinterpret_cast<const ConvexHullEdge*>(VertexEdges() + vertexCount); }
    const uint8_t* Lists() const { return reinterpret_cast<const uint8_t*>(Edges() + edgeCount); }

    // Bytes of a block with these counts.
    static std::size_t BlockSize(int faces, int vertices, int edges, int listBytes);
    // True when every count, index and list of the block stays in range.
    static bool IsValid(const ConvexHull* hull);
};

static_assert(sizeof(ConvexHull) == 16);

class SimulatorAllocator;

// Builds the hull of a point cloud into a block taken from the allocator; null, with the reason
// in `error`, for fewer than 4 points, non-finite points, points that are all coplanar or
// collinear, or a hull of more than 100 faces. Duplicate points are merged.
ConvexHull* BuildConvexHull(const Vector4* points, int count, SimulatorAllocator* allocator, const char** error);

} // namespace Physics
