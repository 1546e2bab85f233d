// Convex hull blocks: their size and checks, and building one from a point cloud.
#include "Physics/ConvexHull.h"

#include "Physics/SimulatorAllocator.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <map>
#include <utility>
#include <vector>

namespace Physics {

namespace {

using Point = std::array<double, 3>;

Point Sub(const Point& a, const Point& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
Point CrossD(const Point& a, const Point& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
double DotD(const Point& a, const Point& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
double LengthD(const Point& a) { return std::sqrt(DotD(a, a)); }

struct Face {
    int v[3];
    Point n; // unit outward normal
    double d;
    bool alive;
};

bool MakeFace(const std::vector<Point>& p, int a, int b, int c, Face& f) {
    f.v[0] = a;
    f.v[1] = b;
    f.v[2] = c;
    const Point n = CrossD(Sub(p[b], p[a]), Sub(p[c], p[a]));
    const double len = LengthD(n);
    if (!(len > 0.0)) {
        return false;
    }
    f.n = {n[0] / len, n[1] / len, n[2] / len};
    f.d = DotD(f.n, p[a]);
    f.alive = true;
    return true;
}

template <class T>
bool InBlock(const T* p, const uint8_t* lo, const uint8_t* hi, std::size_t count) {
    const auto* b = reinterpret_cast<const uint8_t*>(p);
    return b >= lo && b + count <= hi;
}

} // namespace

std::size_t ConvexHull::BlockSize(int faces, int vertices, int edges, int listBytes) {
    return sizeof(ConvexHull) + sizeof(Vector4) * static_cast<std::size_t>(faces + vertices) +
           sizeof(ConvexHullFace) * static_cast<std::size_t>(faces) +
           sizeof(const uint8_t*) * static_cast<std::size_t>(vertices) +
           sizeof(ConvexHullEdge) * static_cast<std::size_t>(edges) + static_cast<std::size_t>(listBytes);
}

bool ConvexHull::IsValid(const ConvexHull* hull) {
    if (hull == nullptr) {
        return false;
    }
    const int f = hull->faceCount;
    const int v = hull->vertexCount;
    const int e = hull->edgeCount;
    if (f < 4 || f > kMaxFaces || v < 4 || v >= kListEnd || e < 6 || e >= kListEnd || hull->listBytes < 0) {
        return false;
    }
    const uint8_t* lo = hull->Lists();
    const uint8_t* hi = lo + hull->listBytes;
    for (int i = 0; i < f; ++i) {
        if (!IsFinite(hull->Planes()[i])) {
            return false;
        }
        const ConvexHullFace& face = hull->Faces()[i];
        if (!InBlock(face.adjacent, lo, hi, 3) || !InBlock(face.vertices, lo, hi, 3) ||
            !InBlock(face.edges, lo, hi, 3)) {
            return false;
        }
        for (int k = 0; k < 3; ++k) {
            if (face.adjacent[k] >= f || face.vertices[k] >= v || face.edges[k] >= e) {
                return false;
            }
        }
    }
    for (int i = 0; i < v; ++i) {
        if (!IsFinite(hull->Vertices()[i])) {
            return false;
        }
        const uint8_t* list = hull->VertexEdges()[i];
        if (!InBlock(list, lo, hi, 1)) {
            return false;
        }
        int n = 0;
        for (; list + n < hi && list[n] != kListEnd; ++n) {
            if (list[n] >= e || n > e) {
                return false;
            }
        }
        if (list + n >= hi || n == 0) {
            return false; // unended, or a vertex on no edge
        }
    }
    for (int i = 0; i < e; ++i) {
        const ConvexHullEdge& edge = hull->Edges()[i];
        if (edge.face[0] >= f || edge.face[1] >= f || edge.vertex[0] >= v || edge.vertex[1] >= v) {
            return false;
        }
    }
    return true;
}

ConvexHull* BuildConvexHull(const Vector4* points, int count, SimulatorAllocator* allocator, const char** error) {
    const auto fail = [error](const char* why) {
        if (error != nullptr) {
            *error = why;
        }
        return nullptr;
    };
    if (points == nullptr || count < 4) {
        return fail("Cannot build a ConvexHull from fewer than 4 points.\n");
    }
    std::vector<Point> p;
    p.reserve(static_cast<std::size_t>(count));
    double scale = 0.0;
    for (int i = 0; i < count; ++i) {
        if (!IsFinite(points[i])) {
            return fail("Cannot build a ConvexHull from points that are not finite.\n");
        }
        p.push_back({points[i].x, points[i].y, points[i].z});
        for (int k = 0; k < 3; ++k) {
            scale = std::max(scale, std::fabs(p.back()[k]));
        }
    }
    const double eps = std::max(scale, 1e-3) * 1e-5;
    // Duplicates (within eps) are merged, keeping the first.
    std::vector<Point> unique;
    for (const Point& q : p) {
        bool seen = false;
        for (const Point& u : unique) {
            if (LengthD(Sub(q, u)) <= eps) {
                seen = true;
                break;
            }
        }
        if (!seen) {
            unique.push_back(q);
        }
    }
    p.swap(unique);
    if (p.size() < 4) {
        return fail("Cannot build a ConvexHull from fewer than 4 points.\n");
    }

    // The first tetrahedron: two far-apart points, the point farthest from their line, the point
    // farthest from their plane.
    const int n = static_cast<int>(p.size());
    int i0 = 0;
    for (int i = 1; i < n; ++i) {
        if (p[i][0] < p[i0][0]) {
            i0 = i;
        }
    }
    int i1 = -1;
    double best = 0.0;
    for (int i = 0; i < n; ++i) {
        const double d = LengthD(Sub(p[i], p[i0]));
        if (d > best) {
            best = d;
            i1 = i;
        }
    }
    const Point axis = Sub(p[i1], p[i0]);
    int i2 = -1;
    best = 0.0;
    for (int i = 0; i < n; ++i) {
        const double d = LengthD(CrossD(axis, Sub(p[i], p[i0]))) / LengthD(axis);
        if (d > best) {
            best = d;
            i2 = i;
        }
    }
    if (i2 < 0 || best <= eps * 10.0) {
        return fail("Cannot build a ConvexHull from points that are all collinear or coplanar.\n");
    }
    Point normal = CrossD(axis, Sub(p[i2], p[i0]));
    const double normalLength = LengthD(normal);
    normal = {normal[0] / normalLength, normal[1] / normalLength, normal[2] / normalLength};
    int i3 = -1;
    best = 0.0;
    for (int i = 0; i < n; ++i) {
        const double d = std::fabs(DotD(normal, Sub(p[i], p[i0])));
        if (d > best) {
            best = d;
            i3 = i;
        }
    }
    if (i3 < 0 || best <= eps * 10.0) {
        return fail("Cannot build a ConvexHull from points that are all collinear or coplanar.\n");
    }
    std::vector<Face> faces;
    {
        const int t[4] = {i0, i1, i2, i3};
        const int corner[4][3] = {{0, 1, 2}, {0, 3, 1}, {1, 3, 2}, {0, 2, 3}};
        Point centre{0, 0, 0};
        for (int k : t) {
            for (int c = 0; c < 3; ++c) {
                centre[c] += p[k][c] * 0.25;
            }
        }
        for (const auto& c : corner) {
            Face f{};
            if (!MakeFace(p, t[c[0]], t[c[1]], t[c[2]], f)) {
                return fail("Cannot build a ConvexHull from points that are all collinear or coplanar.\n");
            }
            if (DotD(f.n, centre) - f.d > 0.0) {
                MakeFace(p, t[c[0]], t[c[2]], t[c[1]], f);
            }
            faces.push_back(f);
        }
    }
    // Every other point, in order: the faces it sees go, the horizon gets new faces to it.
    for (int i = 0; i < n; ++i) {
        if (i == i0 || i == i1 || i == i2 || i == i3) {
            continue;
        }
        std::vector<int> visible;
        for (int f = 0; f < static_cast<int>(faces.size()); ++f) {
            if (faces[f].alive && DotD(faces[f].n, p[i]) - faces[f].d > eps) {
                visible.push_back(f);
            }
        }
        if (visible.empty()) {
            continue;
        }
        std::map<std::pair<int, int>, int> seen; // directed edges of the visible faces
        for (int f : visible) {
            for (int k = 0; k < 3; ++k) {
                seen[{faces[f].v[k], faces[f].v[(k + 1) % 3]}] = f;
            }
        }
        std::vector<std::pair<int, int>> horizon;
        for (int f : visible) {
            for (int k = 0; k < 3; ++k) {
                const int a = faces[f].v[k];
                const int b = faces[f].v[(k + 1) % 3];
                if (seen.find({b, a}) == seen.end()) {
                    horizon.emplace_back(a, b);
                }
            }
            faces[f].alive = false;
        }
        for (const auto& [a, b] : horizon) {
            Face f{};
            if (MakeFace(p, a, b, i, f)) {
                faces.push_back(f);
            }
        }
    }
    std::vector<Face> kept;
    for (const Face& f : faces) {
        if (f.alive) {
            kept.push_back(f);
        }
    }
    if (static_cast<int>(kept.size()) > ConvexHull::kMaxFaces) {
        return fail("Cannot build a ConvexHull of more than 100 faces.\n");
    }
    // Vertices in the order the faces first name them.
    std::vector<int> remap(p.size(), -1);
    std::vector<int> order;
    for (Face& f : kept) {
        for (int& v : f.v) {
            if (remap[v] < 0) {
                remap[v] = static_cast<int>(order.size());
                order.push_back(v);
            }
            v = remap[v];
        }
    }
    const int faceCount = static_cast<int>(kept.size());
    const int vertexCount = static_cast<int>(order.size());
    // Edges: corner k of a face runs from its vertex k to vertex k + 1.
    std::map<std::pair<int, int>, int> edgeIndex;
    std::vector<ConvexHullEdge> edges;
    std::vector<std::array<int, 3>> faceEdges(kept.size());
    for (int f = 0; f < faceCount; ++f) {
        for (int k = 0; k < 3; ++k) {
            const int a = kept[f].v[k];
            const int b = kept[f].v[(k + 1) % 3];
            const std::pair<int, int> key{std::min(a, b), std::max(a, b)};
            auto it = edgeIndex.find(key);
            if (it == edgeIndex.end()) {
                it = edgeIndex.emplace(key, static_cast<int>(edges.size())).first;
                edges.push_back({{static_cast<uint8_t>(f), static_cast<uint8_t>(f)},
                                 {static_cast<uint8_t>(a), static_cast<uint8_t>(b)}});
            } else {
                edges[it->second].face[1] = static_cast<uint8_t>(f);
            }
            faceEdges[f][k] = it->second;
        }
    }
    const int edgeCount = static_cast<int>(edges.size());
    if (vertexCount >= ConvexHull::kListEnd || edgeCount >= ConvexHull::kListEnd) {
        return fail("Cannot build a ConvexHull of more than 100 faces.\n");
    }
    bool closed = edgeCount * 2 == faceCount * 3;
    for (const ConvexHullEdge& e : edges) {
        closed = closed && e.face[0] != e.face[1];
    }
    if (!closed) {
        return fail("Cannot build a closed ConvexHull from these points.\n");
    }
    std::vector<std::vector<uint8_t>> incident(static_cast<std::size_t>(vertexCount));
    for (int e = 0; e < edgeCount; ++e) {
        incident[edges[e].vertex[0]].push_back(static_cast<uint8_t>(e));
        incident[edges[e].vertex[1]].push_back(static_cast<uint8_t>(e));
    }
    int listBytes = 9 * faceCount;
    for (const auto& list : incident) {
        listBytes += static_cast<int>(list.size()) + 1;
    }

    const std::size_t size = ConvexHull::BlockSize(faceCount, vertexCount, edgeCount, listBytes);
    void* block = allocator->Alloc(size, 0);
    if (block == nullptr) {
        return fail("Failed to allocate memory.\n");
    }
    std::memset(block, 0, size);
    auto* hull = static_cast<ConvexHull*>(block);
    hull->faceCount = faceCount;
    hull->vertexCount = vertexCount;
    hull->edgeCount = edgeCount;
    hull->listBytes = listBytes;
    auto* planes = const_cast<Vector4*>(hull->Planes());
    auto* vertices = const_cast<Vector4*>(hull->Vertices());
    auto* faceRecords = const_cast<ConvexHullFace*>(hull->Faces());
    auto* vertexRecords = const_cast<const uint8_t**>(hull->VertexEdges());
    auto* edgeRecords = const_cast<ConvexHullEdge*>(hull->Edges());
    auto* lists = const_cast<uint8_t*>(hull->Lists());
    for (int v = 0; v < vertexCount; ++v) {
        const Point& q = p[order[v]];
        vertices[v] = {static_cast<float>(q[0]), static_cast<float>(q[1]), static_cast<float>(q[2]), 1.0f};
    }
    for (int f = 0; f < faceCount; ++f) {
        const Face& face = kept[f];
        planes[f] = {static_cast<float>(face.n[0]), static_cast<float>(face.n[1]), static_cast<float>(face.n[2]),
                     static_cast<float>(face.d)};
        uint8_t* adjacent = lists;
        uint8_t* corners = lists + 3;
        uint8_t* own = lists + 6;
        lists += 9;
        for (int k = 0; k < 3; ++k) {
            const ConvexHullEdge& e = edges[faceEdges[f][k]];
            adjacent[k] = e.face[0] == f ? e.face[1] : e.face[0];
            corners[k] = static_cast<uint8_t>(face.v[k]);
            own[k] = static_cast<uint8_t>(faceEdges[f][k]);
        }
        faceRecords[f] = {adjacent, corners, own};
    }
    for (int v = 0; v < vertexCount; ++v) {
        vertexRecords[v] = lists;
        for (uint8_t e : incident[v]) {
            *lists++ = e;
        }
        *lists++ = ConvexHull::kListEnd;
    }
    for (int e = 0; e < edgeCount; ++e) {
        edgeRecords[e] = edges[e];
    }
    return hull;
}

} // namespace Physics
