// Polyhedron tests: boxes and convex hulls against hulls and mesh triangles, by a separating-axis
// search over face axes (climbing over adjacent faces) and edge pairs (walked on the Gauss map).
#include "Physics/ConvexCollision.h"

#include "Physics/MeshCollision.h"

#include <cmath>
#include <initializer_list>

namespace Physics {

namespace {

constexpr float kStartScore = -1000000.0f;

// Vertex k of a box: +x when bit 2 is set, +y for bit 1, +z for bit 0.
const Vector4 kBoxPlanes[6] = {{0, 1, 0, 0}, {0, -1, 0, 0}, {1, 0, 0, 0}, {-1, 0, 0, 0}, {0, 0, 1, 0}, {0, 0, -1, 0}};
const uint8_t kBoxFaceVertices[6][4] = {{2, 3, 6, 7}, {0, 1, 4, 5}, {4, 5, 6, 7},
                                        {0, 1, 2, 3}, {1, 3, 5, 7}, {0, 2, 4, 6}};
const uint8_t kBoxFaceAdjacent[6][4] = {{2, 3, 4, 5}, {2, 3, 4, 5}, {0, 1, 4, 5},
                                        {0, 1, 4, 5}, {0, 1, 2, 3}, {0, 1, 2, 3}};
const uint8_t kBoxFaceEdges[6][4] = {{0, 1, 2, 3},   {4, 5, 6, 7},  {0, 4, 8, 9},
                                     {1, 5, 10, 11}, {2, 8, 6, 10}, {3, 7, 9, 11}};
const ConvexHullEdge kBoxEdges[12] = {{{0, 2}, {6, 7}}, {{0, 3}, {2, 3}}, {{0, 4}, {3, 7}}, {{0, 5}, {2, 6}},
                                      {{1, 2}, {4, 5}}, {{1, 3}, {0, 1}}, {{1, 4}, {1, 5}}, {{1, 5}, {0, 4}},
                                      {{2, 4}, {5, 7}}, {{2, 5}, {4, 6}}, {{3, 4}, {1, 3}}, {{3, 5}, {0, 2}}};
const uint8_t kBoxVertexEdges[8][4] = {{5, 7, 11, 255}, {5, 6, 10, 255}, {1, 3, 11, 255}, {1, 2, 10, 255},
                                       {4, 7, 9, 255},  {4, 6, 8, 255},  {0, 3, 9, 255},  {0, 2, 8, 255}};
const ConvexHullFace kBoxFaces[6] = {
    {kBoxFaceAdjacent[0], kBoxFaceVertices[0], kBoxFaceEdges[0]},
    {kBoxFaceAdjacent[1], kBoxFaceVertices[1], kBoxFaceEdges[1]},
    {kBoxFaceAdjacent[2], kBoxFaceVertices[2], kBoxFaceEdges[2]},
    {kBoxFaceAdjacent[3], kBoxFaceVertices[3], kBoxFaceEdges[3]},
    {kBoxFaceAdjacent[4], kBoxFaceVertices[4], kBoxFaceEdges[4]},
    {kBoxFaceAdjacent[5], kBoxFaceVertices[5], kBoxFaceEdges[5]},
};
const uint8_t* const kBoxVertexEdgeLists[8] = {kBoxVertexEdges[0], kBoxVertexEdges[1], kBoxVertexEdges[2],
                                               kBoxVertexEdges[3], kBoxVertexEdges[4], kBoxVertexEdges[5],
                                               kBoxVertexEdges[6], kBoxVertexEdges[7]};

// Both faces of a triangle list its vertices and edges in order; nothing walks its faces.
const uint8_t kTriangleList[3] = {0, 1, 2};
const uint8_t kTriangleAdjacent[3] = {1, 1, 1};
const ConvexHullFace kTriangleFaces[2] = {{kTriangleAdjacent, kTriangleList, kTriangleList},
                                          {kTriangleAdjacent, kTriangleList, kTriangleList}};
const ConvexHullEdge kTriangleEdges[3] = {{{0, 1}, {0, 1}}, {{0, 1}, {1, 2}}, {{0, 1}, {2, 0}}};
const uint8_t kTriangleVertexEdges[3][3] = {{0, 2, 255}, {0, 1, 255}, {1, 2, 255}};
const uint8_t* const kTriangleVertexEdgeLists[3] = {kTriangleVertexEdges[0], kTriangleVertexEdges[1],
                                                    kTriangleVertexEdges[2]};

Vector4 Unit(const Vector4& v) {
    Vector4 n = Normalize(v);
    n.w = 0.0f;
    return n;
}

Vector4 Position(const Matrix4& m) { return {m.row[3].x, m.row[3].y, m.row[3].z, 0.0f}; }

// The centre the axis scores measure from. A box's is its origin; a hull's frame origin may lie
// outside it (or near a face), and a score measured from there takes overlapping shapes for
// separated ones, so a hull is measured from the mean of its vertices, which lies inside.
Vector4 Centre(const Geometry& g, const Matrix4& m) {
    if (g.type != kGeometryConvexHull) {
        return Position(m);
    }
    const ConvexHull* hull = g.hull;
    Vector4 sum{0.0f, 0.0f, 0.0f, 0.0f};
    for (int v = 0; v < hull->vertexCount; ++v) {
        sum = sum + hull->Vertices()[v];
    }
    Vector4 c = TransformPoint(sum * (1.0f / static_cast<float>(hull->vertexCount)), m);
    c.w = 0.0f;
    return c;
}

void BuildCorners(const Geometry& box, Vector4* corners) {
    for (int k = 0; k < 8; ++k) {
        corners[k] = {(k & 4) != 0 ? box.param[0] : -box.param[0], (k & 2) != 0 ? box.param[1] : -box.param[1],
                      (k & 1) != 0 ? box.param[2] : -box.param[2], 0.0f};
    }
}

void InitSide(ShapeSide& side, const Geometry& g, const Matrix4& transform, Vector4* corners) {
    side.isBox = g.type == kGeometryBox ? 1 : 0;
    if (side.isBox != 0) {
        BuildCorners(g, corners);
    }
    side.view.Init(g, corners);
    side.transform = &transform;
}

int SupportVertex(const ShapeSide& side, const AxisPlane& plane) {
    return side.isBox != 0 ? BoxSupportVertex(side, plane) : ClimbSupportVertex(side, plane);
}

// Face f of search.sideA against search.sideB's support vertex; records a better axis.
float ScoreFace(AxisSearch& search, int f, ConvexScratch& scratch, bool& improved) {
    const AxisPlane plane = search.sideA->WorldFacePlane(f);
    const int s = SupportVertex(*search.sideB, plane);
    AxisPlane offset;
    float score = OffsetAxisScore(plane, -search.sideB->WorldVertex(s), offset, scratch);
    // A face separates exactly when the support vertex lies in front of it (e < 0). The score's
    // sign says the same while both centres lie deeper inside their shapes than the fixed nudge
    // of G; in a thinner hull it would call an overlap a gap, so there the face ranks last (yet
    // above the start value, so a search always ends with a face).
    if (offset.e < 0.0f) {
        return score >= 0.0f ? score : 0.0f;
    }
    if (score >= 0.0f) {
        score = 0.5f * kStartScore;
    }
    // A tie moves on too: a hull's flat side is two coplanar triangles of one score, and a climb
    // that stopped at the first would never cross the side to the faces beyond.
    if (score >= search.score) {
        search.score = score;
        search.featureA = f;
        search.featureB = s;
        search.plane = offset;
        improved = true;
    }
    return score;
}

// Pushes the pair unless the stack holds the same two indexes in either order, or is full.
void Push(ConvexScratch& scratch, int a, int b) {
    for (int i = 0; i < scratch.stackSize; ++i) {
        const uint8_t* s = scratch.stack[i];
        if ((s[0] == a && s[1] == b) || (s[0] == b && s[1] == a)) {
            return;
        }
    }
    if (scratch.stackSize >= ConvexScratch::kStackCapacity) {
        return;
    }
    scratch.stack[scratch.stackSize][0] = static_cast<uint8_t>(a);
    scratch.stack[scratch.stackSize][1] = static_cast<uint8_t>(b);
    ++scratch.stackSize;
}

bool SearchEdges(AxisSearch& search, bool faceOfB, int i, int j, bool& found, ConvexScratch& scratch, bool triangle) {
    found = false;
    scratch.stackSize = 0;
    const ShapeSide& a = *search.sideA;
    const ShapeSide& b = *search.sideB;
    if (!faceOfB) {
        for (int k = 0; k < a.view.corners; ++k) {
            for (int m = 0; b.view.VertexEdge(j, m) != ConvexHull::kListEnd; ++m) {
                Push(scratch, a.view.FaceEdge(i, k), b.view.VertexEdge(j, m));
            }
        }
    } else {
        for (int m = 0; a.view.VertexEdge(i, m) != ConvexHull::kListEnd; ++m) {
            for (int k = 0; k < b.view.corners; ++k) {
                Push(scratch, a.view.VertexEdge(i, m), b.view.FaceEdge(j, k));
            }
        }
    }
    if (scratch.stackSize == 0) {
        return true;
    }
    const float tolerance = triangle ? 1e-6f : 0.0f;
    while (scratch.stackSize > 0) {
        --scratch.stackSize;
        const int ea = scratch.stack[scratch.stackSize][0];
        const int eb = scratch.stack[scratch.stackSize][1];
        const Vector4 na = a.WorldNormal(a.view.EdgeFace(ea, 0));
        const Vector4 nb = a.WorldNormal(a.view.EdgeFace(ea, 1));
        Vector4 nc = -b.WorldNormal(b.view.EdgeFace(eb, 0));
        Vector4 nd = -b.WorldNormal(b.view.EdgeFace(eb, 1));
        if (triangle) {
            // The triangle's two faces are opposite: nudge them towards the edge's side.
            const Vector4& side = scratch.triangleEdges[eb];
            nc = Unit(nc + side * 0.01f);
            nd = Unit(nd + side * 0.01f);
        }
        const float cba = TripleProduct(nc, nb, na);
        const float dba = TripleProduct(nd, nb, na);
        const float adc = TripleProduct(na, nd, nc);
        const float bdc = TripleProduct(nb, nd, nc);
        if (!(cba * dba < -tolerance && adc * bdc < -tolerance && cba * bdc > tolerance)) {
            continue;
        }
        const Vector4 pa0 = a.WorldVertex(a.view.EdgeVertexA(ea));
        const Vector4 pa1 = a.WorldVertex(a.view.EdgeVertexB(ea));
        const Vector4 pb0 = b.WorldVertex(b.view.EdgeVertexA(eb));
        const Vector4 pb1 = b.WorldVertex(b.view.EdgeVertexB(eb));
        Vector4 n = Cross(pa1 - pa0, pb1 - pb0);
        const float length = Length(n);
        if (!(length >= 1e-6f)) {
            continue;
        }
        n = n * (1.0f / length);
        AxisPlane plane{n, Dot(n, pa0 - pb0)};
        const float score = AxisScore(plane, scratch);
        if (score >= 0.0f) {
            return false;
        }
        if (!(score > search.score)) {
            continue;
        }
        search.score = score;
        search.featureA = ea;
        search.featureB = eb;
        search.plane = plane;
        found = true;
        for (int end : {b.view.EdgeVertexA(eb), b.view.EdgeVertexB(eb)}) {
            for (int m = 0; b.view.VertexEdge(end, m) != ConvexHull::kListEnd; ++m) {
                if (b.view.VertexEdge(end, m) != eb) {
                    Push(scratch, ea, b.view.VertexEdge(end, m));
                }
            }
        }
        for (int end : {a.view.EdgeVertexA(ea), a.view.EdgeVertexB(ea)}) {
            for (int m = 0; a.view.VertexEdge(end, m) != ConvexHull::kListEnd; ++m) {
                if (a.view.VertexEdge(end, m) != ea) {
                    Push(scratch, a.view.VertexEdge(end, m), eb);
                }
            }
        }
    }
    return true;
}

// The contact of the best face: A's face (support vertex on B) or B's face (support on A).
void FaceContact(const AxisSearch& best, bool faceOfB, Vector4& pointA, Vector4& pointB, Vector4& normal,
                 float& depth) {
    const Vector4& n = best.plane.n;
    depth = best.plane.e;
    if (!faceOfB) {
        normal = -n;
        pointB = best.sideB->WorldVertex(best.featureB);
        pointA = pointB + n * depth;
    } else {
        normal = n;
        pointA = best.sideB->WorldVertex(best.featureB);
        pointB = pointA + n * depth;
    }
    normal.w = pointA.w = pointB.w = 0.0f;
}

// The contact of the best edge pair, when its closest points lie inside both edges.
bool EdgeContact(const AxisSearch& best, Vector4& pointA, Vector4& pointB, Vector4& normal, float& depth) {
    const ShapeSide& a = *best.sideA;
    const ShapeSide& b = *best.sideB;
    if (!ClosestEdgePairPoints(a.WorldVertex(a.view.EdgeVertexA(best.featureA)),
                               a.WorldVertex(a.view.EdgeVertexB(best.featureA)),
                               b.WorldVertex(b.view.EdgeVertexA(best.featureB)),
                               b.WorldVertex(b.view.EdgeVertexB(best.featureB)), pointA, pointB)) {
        return false;
    }
    if (best.plane.e > 0.0f) {
        normal = -best.plane.n;
        depth = best.plane.e;
    } else {
        normal = best.plane.n;
        depth = -best.plane.e;
    }
    normal.w = pointA.w = pointB.w = 0.0f;
    return true;
}

} // namespace

void PolyhedronView::Init(const Geometry& geometry, const Vector4* cornerArray) {
    if (geometry.type == kGeometryBox) {
        faceCount = 6;
        vertexCount = 8;
        corners = 4;
        planes = kBoxPlanes;
        vertices = cornerArray;
        faces = kBoxFaces;
        vertexEdges = kBoxVertexEdgeLists;
        edges = kBoxEdges;
        return;
    }
    const ConvexHull* hull = geometry.hull;
    faceCount = hull->faceCount;
    vertexCount = hull->vertexCount;
    corners = 3;
    planes = hull->Planes();
    vertices = hull->Vertices();
    faces = hull->Faces();
    vertexEdges = hull->VertexEdges();
    edges = hull->Edges();
}

void PolyhedronView::InitTriangle(const Vector4* triangleVertices, const Vector4* trianglePlanes) {
    faceCount = 2;
    vertexCount = 3;
    corners = 3;
    planes = trianglePlanes;
    vertices = triangleVertices;
    faces = kTriangleFaces;
    vertexEdges = kTriangleVertexEdgeLists;
    edges = kTriangleEdges;
}

Vector4 ShapeSide::WorldNormal(int f) const {
    const Vector4& n = view.planes[f];
    const Matrix4& m = *transform;
    Vector4 w = m.row[0] * n.x + m.row[1] * n.y + m.row[2] * n.z;
    w.w = 0.0f;
    return w;
}

Vector4 ShapeSide::WorldVertex(int v) const {
    Vector4 p = TransformPoint(view.vertices[v], *transform);
    p.w = 0.0f;
    return p;
}

AxisPlane ShapeSide::WorldFacePlane(int f) const {
    const Vector4 n = WorldNormal(f);
    return {n, Dot(n, WorldVertex(view.FaceVertex(f, 0)))};
}

void ConvexScratch::SetOffset(const Vector4& offset) {
    g = {offset.x, offset.y, offset.z, 0.0f};
    const float sq = LengthSquared(g);
    // Centres that coincide (at the fixed nudge) would leave the scores 0/0.
    gLength = sq < 1e-6f ? 1e-3f : std::sqrt(sq);
}

float TripleProduct(const Vector4& a, const Vector4& b, const Vector4& c) { return Dot(a, Cross(b, c)); }

float AxisScore(const AxisPlane& plane, const ConvexScratch& scratch) {
    Vector4 n = plane.n;
    float x = plane.e;
    if (plane.e < 0.0f) {
        n = -n;
        x = -plane.e;
    }
    return -x / ((x - Dot(scratch.g, n)) * scratch.gLength);
}

float OffsetAxisScore(const AxisPlane& plane, const Vector4& offset, AxisPlane& out, const ConvexScratch& scratch) {
    out = plane;
    out.e += Dot(plane.n, offset);
    return AxisScore(out, scratch);
}

int BoxSupportVertex(const ShapeSide& side, const AxisPlane& plane) {
    const Matrix4& m = *side.transform;
    int k = 0;
    k |= -Dot(m.row[0], plane.n) >= 0.0f ? 4 : 0;
    k |= -Dot(m.row[1], plane.n) >= 0.0f ? 2 : 0;
    k |= -Dot(m.row[2], plane.n) >= 0.0f ? 1 : 0;
    return k;
}

int ClimbSupportVertex(const ShapeSide& side, const AxisPlane& plane) {
    const Matrix4& m = *side.transform;
    const Vector4 d{-Dot(m.row[0], plane.n), -Dot(m.row[1], plane.n), -Dot(m.row[2], plane.n), 0.0f};
    // Vertex 0 is not evaluated: the first neighbour always beats the start value.
    int v = 0;
    float best = kStartScore;
    bool moved = true;
    while (moved) {
        moved = false;
        for (int k = 0; side.view.VertexEdge(v, k) != ConvexHull::kListEnd; ++k) {
            const int e = side.view.VertexEdge(v, k);
            const int other = side.view.EdgeVertexA(e) == v ? side.view.EdgeVertexB(e) : side.view.EdgeVertexA(e);
            const float value = Dot(side.view.vertices[other], d);
            if (value > best) {
                v = other;
                best = value;
                moved = true;
                break;
            }
        }
    }
    return v;
}

bool SearchFaceAxes(AxisSearch& search, int start, ConvexScratch& scratch) {
    const PolyhedronView& view = search.sideA->view;
    for (int f = 0; f < view.faceCount; ++f) {
        scratch.visited[f] = 0;
    }
    bool improved = false;
    scratch.visited[start] = 1;
    if (ScoreFace(search, start, scratch, improved) >= 0.0f) {
        return false;
    }
    int current = start;
    for (;;) {
        improved = false;
        for (int k = 0; k < view.corners; ++k) {
            const int f = view.AdjacentFace(current, k);
            if (scratch.visited[f] != 0) {
                continue;
            }
            scratch.visited[f] = 1;
            if (ScoreFace(search, f, scratch, improved) >= 0.0f) {
                return false;
            }
        }
        if (!improved) {
            return true;
        }
        current = search.featureA;
    }
}

bool SearchEdgeAxes(AxisSearch& search, bool faceOfB, int i, int j, bool& found, ConvexScratch& scratch) {
    return SearchEdges(search, faceOfB, i, j, found, scratch, false);
}

bool SearchEdgeAxesTriangle(AxisSearch& search, bool faceOfB, int i, int j, bool& found, ConvexScratch& scratch) {
    return SearchEdges(search, faceOfB, i, j, found, scratch, true);
}

bool ClosestEdgePairPoints(const Vector4& p1, const Vector4& q1, const Vector4& p2, const Vector4& q2, Vector4& out1,
                           Vector4& out2) {
    const Vector4 d1 = q1 - p1;
    const Vector4 d2 = q2 - p2;
    const Vector4 r = p1 - p2;
    if (AllBelow(d2, 1e-6f) || AllBelow(d1, 1e-6f)) {
        return false;
    }
    const float a = Dot(d1, d1);
    const float e = Dot(d2, d2);
    const float b = Dot(d1, d2);
    const float c = Dot(d1, r);
    const float f = Dot(d2, r);
    const float den = a * e - b * b;
    if (std::fabs(den) < 1e-6f) {
        return false;
    }
    const float s = (b * f - c * e) / den;
    const float t = (b * s + f) / e;
    if (!(s >= 0.0f && s < 1.0f && t >= 0.0f && t < 1.0f)) {
        return false;
    }
    out1 = p1 + d1 * s;
    out2 = p2 + d2 * t;
    out1.w = out2.w = 0.0f;
    return true;
}

bool ConvexSeparatingAxes(ConstraintRow& p, const Geometry& a, const Matrix4& ta, const Geometry& b, const Matrix4& tb,
                          ConvexScratch& scratch) {
    p.found = 0;
    ShapeSide sideA;
    ShapeSide sideB;
    InitSide(sideA, a, ta, scratch.cornersA);
    InitSide(sideB, b, tb, scratch.cornersB);
    const Vector4 offset =
        (Centre(a, ta) + Vector4{0.1f, 0.1f, 0.1f, 0.0f}) - (Centre(b, tb) + Vector4{0.2f, 0.2f, 0.2f, 0.0f});
    scratch.SetOffset(offset);

    AxisSearch first;
    first.sideA = &sideA;
    first.sideB = &sideB;
    if (!SearchFaceAxes(first, 0, scratch)) {
        return false;
    }
    // B's faces climb by their own scores: starting from A's best, the climb stopped where no
    // face next to the start beat it, short of B's best face (a hull lying on a larger hull got a
    // side face's metre-deep contact). The two bests are compared afterwards as before.
    AxisSearch second;
    second.sideA = &sideB;
    second.sideB = &sideA;
    const int edge = sideB.view.VertexEdge(first.featureB, 0);
    const int start = edge != ConvexHull::kListEnd ? sideB.view.EdgeFace(edge, 0) : 0;
    scratch.SetOffset(-offset);
    const bool open = SearchFaceAxes(second, start, scratch);
    scratch.SetOffset(offset);
    if (!open) {
        return false;
    }
    const bool faceOfB = second.score > first.score;
    AxisSearch edges;
    edges.sideA = &sideA;
    edges.sideB = &sideB;
    edges.score = faceOfB ? second.score : first.score;
    bool found = false;
    if (!SearchEdgeAxes(edges, faceOfB, faceOfB ? second.featureB : first.featureA,
                        faceOfB ? second.featureA : first.featureB, found, scratch)) {
        return false;
    }
    // An edge pair whose closest points leave the edges falls back to the best face, as the mesh
    // test does: every axis overlapped, so the shapes touch.
    if (!found || !EdgeContact(edges, p.worldPointA, p.worldPointB, p.normal, p.depth)) {
        FaceContact(faceOfB ? second : first, faceOfB, p.worldPointA, p.worldPointB, p.normal, p.depth);
    }
    p.found = 1;
    return true;
}

void CollideConvexPair(ConstraintRow& row, const Geometry& a, const Matrix4& ta, const Geometry& b, const Matrix4& tb,
                       const Vector4& /*offset*/, ConvexScratch& scratch) {
    ConstraintRow p{};
    if (!ConvexSeparatingAxes(p, a, ta, b, tb, scratch)) {
        row.found = 0;
        return;
    }
    row.depth = p.depth;
    row.normal = p.normal;
    row.worldPointA = p.worldPointA;
    row.worldPointB = p.worldPointB;
    row.found = 1;
}

namespace {

// The triangle test, keeping besides what the mesh test needs: whether the contact is the
// triangle's own face contact, and that face contact (the triangle face against A's support vertex).
bool TriangleContact(PairContact& p, PairContact& face, bool& ownFace, const Geometry& a, const Matrix4& ta,
                     const Vector4& centreA, const Vector4& centroid, ConvexScratch& scratch) {
    p.found = false;
    p.edge = false;
    ownFace = false;
    const Matrix4 identity;
    ShapeSide sideA;
    ShapeSide sideB;
    InitSide(sideA, a, ta, scratch.cornersA);
    sideB.isBox = 0;
    sideB.view.InitTriangle(scratch.triangleVertices, scratch.trianglePlanes);
    sideB.transform = &identity;
    const Vector4 offset = (centreA + Vector4{0.1f, 0.1f, 0.1f, 0.0f}) - centroid;
    scratch.SetOffset(offset);

    AxisSearch first;
    first.sideA = &sideA;
    first.sideB = &sideB;
    if (!SearchFaceAxes(first, 0, scratch)) {
        return false;
    }
    // The triangle's two faces, scored directly against A's support vertex.
    AxisSearch second;
    second.sideA = &sideB;
    second.sideB = &sideA;
    scratch.SetOffset(-offset);
    bool improved = false;
    const bool open = ScoreFace(second, 0, scratch, improved) < 0.0f && ScoreFace(second, 1, scratch, improved) < 0.0f;
    scratch.SetOffset(offset);
    if (!open) {
        return false;
    }
    const bool faceOfB = second.score > first.score;
    AxisSearch edges;
    edges.sideA = &sideA;
    edges.sideB = &sideB;
    edges.score = faceOfB ? second.score : first.score;
    bool found = false;
    if (!SearchEdgeAxesTriangle(edges, faceOfB, faceOfB ? second.featureB : first.featureA,
                                faceOfB ? second.featureA : first.featureB, found, scratch)) {
        return false;
    }
    FaceContact(second, true, face.pointA, face.pointB, face.normal, face.depth);
    face.found = true;
    face.edge = false;
    if (found && EdgeContact(edges, p.pointA, p.pointB, p.normal, p.depth)) {
        p.edge = true;
    } else {
        FaceContact(faceOfB ? second : first, faceOfB, p.pointA, p.pointB, p.normal, p.depth);
        ownFace = faceOfB;
    }
    p.found = true;
    return true;
}

bool SamePoint(const Vector4& a, const Vector4& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

// Tested alone, a triangle takes its edges for rims, and its winning axis may tip the normal over
// one (an edge axis, or a face of A against the triangle's corner), pushing the hull sideways
// into the ground next to it. Where another listed triangle shares that edge, such a normal stands
// only when it points out of the neighbour too (over a ridge); on flat or folded-in ground the
// triangle's face contact does.
bool NormalFitsNeighbours(const Geometry& mesh, int self, const TriangleFrame& t, const Vector4& normal) {
    constexpr float kTolerance = 1e-3f;
    bool fits = true;
    int index = 0;
    ForEachTriangle(mesh, [&](const TriangleFrame& u) {
        if (index++ == self || !fits || u.IsDegenerate()) {
            return;
        }
        for (int k = 0; k < 3; ++k) {
            const Vector4& p0 = t.p[k];
            const Vector4& p1 = t.p[(k + 1) % 3];
            for (int j = 0; j < 3; ++j) {
                const Vector4& q0 = u.p[j];
                const Vector4& q1 = u.p[(j + 1) % 3];
                if ((SamePoint(q0, p0) && SamePoint(q1, p1)) || (SamePoint(q0, p1) && SamePoint(q1, p0))) {
                    // The neighbour's in-plane vector from the shared edge away from it.
                    const Vector4 out = -Unit(Cross(u.n, u.e[j]));
                    fits = fits && Dot(normal, out) >= -kTolerance;
                }
            }
        }
    });
    return fits;
}

void FillTriangleScratch(const TriangleFrame& t, ConvexScratch& scratch) {
    const float d = Dot(t.n, t.p[0]);
    for (int k = 0; k < 3; ++k) {
        scratch.triangleVertices[k] = {t.p[k].x, t.p[k].y, t.p[k].z, 0.0f};
        scratch.triangleEdges[k] = Unit(Cross(t.n, t.e[k]));
    }
    scratch.trianglePlanes[0] = {t.n.x, t.n.y, t.n.z, d};
    scratch.trianglePlanes[1] = {-t.n.x, -t.n.y, -t.n.z, -d};
}

} // namespace

bool CollideConvexTriangle(PairContact& p, const Geometry& a, const Matrix4& ta, const Vector4& centroid,
                           ConvexScratch& scratch) {
    PairContact face;
    bool ownFace = false;
    return TriangleContact(p, face, ownFace, a, ta, Centre(a, ta), centroid, scratch);
}

void CollideConvexMesh(ConstraintRow& row, const Geometry& a, const Matrix4& ta, const Geometry& mesh,
                       ConvexScratch& scratch) {
    row.found = 0;
    PairContact best;
    best.depth = kStartScore;
    bool any = false;
    int32_t material = 0;
    PairContact p;
    PairContact face;
    const Vector4 centreA = Centre(a, ta);
    int index = 0;
    ForEachTriangle(mesh, [&](const TriangleFrame& t) {
        const int self = index++;
        // A triangle without area has no faces to test.
        if (t.IsDegenerate()) {
            return;
        }
        FillTriangleScratch(t, scratch);
        Vector4 centroid = (t.p[0] + t.p[1] + t.p[2]) * 0.33333334f;
        centroid.w = 0.0f;
        bool ownFace = false;
        if (!TriangleContact(p, face, ownFace, a, ta, centreA, centroid, scratch)) {
            return;
        }
        // Lifting A off the triangle's plane parts them by the face contact's depth, so a deeper
        // contact (an axis the score preferred for a far centroid) never stands.
        if (!ownFace && (p.depth > face.depth || !NormalFitsNeighbours(mesh, self, t, p.normal))) {
            p = face;
        }
        if (p.depth > best.depth) {
            best = p;
            any = true;
            material = t.material;
        }
    });
    if (!any) {
        return;
    }
    row.depth = best.depth;
    row.normal = best.normal;
    row.worldPointA = best.pointA;
    row.worldPointB = best.pointB;
    row.materialB = material;
    row.found = 1;
}

} // namespace Physics
