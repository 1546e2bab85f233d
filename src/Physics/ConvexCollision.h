#pragma once

#include "Physics/ConstraintRow.h"
#include "Physics/ConvexHull.h"
#include "Physics/Geometry.h"
#include "Physics/Matrix4.h"
#include "Physics/ShapeCollision.h"

#include <cstdint>

namespace Physics {

// An axis with an offset: a face plane (unit outward normal, e = n · point) or an edge-pair axis.
struct AxisPlane {
    Vector4 n;
    float e = 0.0f;
};

// A box, a hull or a single triangle seen through the hull block's lists.
struct PolyhedronView {
    int faceCount = 0;
    int vertexCount = 0;
    int corners = 0; // per face
    const Vector4* planes = nullptr;
    const Vector4* vertices = nullptr;
    const ConvexHullFace* faces = nullptr;
    const uint8_t* const* vertexEdges = nullptr;
    const ConvexHullEdge* edges = nullptr;

    // A box (corner array: its 8 corners in its own frame) or a hull.
    void Init(const Geometry& geometry, const Vector4* cornerArray);
    // The mesh test's triangle: 3 world vertices and its two face planes (n, -n).
    void InitTriangle(const Vector4* triangleVertices, const Vector4* trianglePlanes);

    int FaceVertex(int f, int k) const { return faces[f].vertices[k]; }
    int AdjacentFace(int f, int k) const { return faces[f].adjacent[k]; }
    int FaceEdge(int f, int k) const { return faces[f].edges[k]; }
    // ConvexHull::kListEnd after the last.
    int VertexEdge(int v, int k) const { return vertexEdges[v][k]; }
    int EdgeVertexA(int e) const { return edges[e].vertex[0]; }
    int EdgeVertexB(int e) const { return edges[e].vertex[1]; }
    int EdgeFace(int e, int side) const { return edges[e].face[side]; }
};

// One shape of a polyhedron test, placed by its world transform.
struct ShapeSide {
    int32_t isBox = 0;
    PolyhedronView view;
    const Matrix4* transform = nullptr;

    AxisPlane WorldFacePlane(int f) const;
    Vector4 WorldNormal(int f) const;
    Vector4 WorldVertex(int v) const;
};

// The working state of one separating-axis search.
struct AxisSearch {
    const ShapeSide* sideA = nullptr;
    int featureA = 0; // a face, or an edge in the edge search
    const ShapeSide* sideB = nullptr;
    int featureB = 0; // the support vertex, or an edge
    AxisPlane plane;
    float score = -1000000.0f;
};

// Scratch shared by the polyhedron tests; the Simulator owns one, so tests never allocate.
struct ConvexScratch {
    static constexpr int kStackCapacity = 200;
    uint8_t visited[ConvexHull::kMaxFaces] = {};
    uint8_t stack[kStackCapacity][2] = {};
    int stackSize = 0;
    Vector4 cornersA[8];
    Vector4 cornersB[8];
    Vector4 g;            // the reference offset between the two shapes
    float gLength = 0.0f; // |g|, never 0
    Vector4 triangleVertices[3];
    Vector4 trianglePlanes[2];
    Vector4 triangleEdges[3]; // in-plane unit vectors normalise(n × edge k)

    void SetOffset(const Vector4& offset);
};

float TripleProduct(const Vector4& a, const Vector4& b, const Vector4& c);
float AxisScore(const AxisPlane& plane, const ConvexScratch& scratch);
float OffsetAxisScore(const AxisPlane& plane, const Vector4& offset, AxisPlane& out, const ConvexScratch& scratch);
// The side's vertex farthest along minus the plane's axis.
int BoxSupportVertex(const ShapeSide& side, const AxisPlane& plane);
int ClimbSupportVertex(const ShapeSide& side, const AxisPlane& plane);
// False when a face axis of search.sideA separates the shapes.
bool SearchFaceAxes(AxisSearch& search, int start, ConvexScratch& scratch);
// False when an edge axis separates; found tells whether an edge pair beat search.score.
bool SearchEdgeAxes(AxisSearch& search, bool faceOfB, int i, int j, bool& found, ConvexScratch& scratch);
bool SearchEdgeAxesTriangle(AxisSearch& search, bool faceOfB, int i, int j, bool& found, ConvexScratch& scratch);
// Closest points of two segments, true when both lie inside their segments (0 <= s, t < 1).
bool ClosestEdgePairPoints(const Vector4& p1, const Vector4& q1, const Vector4& p2, const Vector4& q2, Vector4& out1,
                           Vector4& out2);

// A box or hull A against a hull (or a box after a hull) B: the contact in the scratch row.
bool ConvexSeparatingAxes(ConstraintRow& p, const Geometry& a, const Matrix4& ta, const Geometry& b, const Matrix4& tb,
                          ConvexScratch& scratch);
void CollideConvexPair(ConstraintRow& row, const Geometry& a, const Matrix4& ta, const Geometry& b, const Matrix4& tb,
                       const Vector4& offset, ConvexScratch& scratch);
// A hull against the listed triangles of a mesh, whatever their test mode; with materialB.
void CollideConvexMesh(ConstraintRow& row, const Geometry& a, const Matrix4& ta, const Geometry& mesh,
                       ConvexScratch& scratch);
// A against the triangle in the scratch, referenced at its centroid.
bool CollideConvexTriangle(PairContact& p, const Geometry& a, const Matrix4& ta, const Vector4& centroid,
                           ConvexScratch& scratch);

} // namespace Physics
