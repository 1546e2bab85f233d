#pragma once

#include "Physics/CollisionTriangle.h"
#include "Physics/Vector4.h"
#include "Physics/WorkArray.h"

#include <cstdint>
#include <vector>

namespace Physics {

class TriangleTree;

struct TriangleTreeNode {
    TriangleTree* tree = nullptr;
    int32_t children[4] = {-1, -1, -1, -1};
    float min[3] = {0.0f, 0.0f, 0.0f};
    float max[3] = {0.0f, 0.0f, 0.0f};
    std::vector<int32_t> triangles; // a node with triangles is a leaf
};

// The simulator's own index of static triangles, used when no triangle callback is installed.
// Nothing in the engine fills it; its fields are open so that a tool can.
class TriangleTree {
public:
    TriangleTree() { root.tree = this; }
    ~TriangleTree() { Clear(); }
    TriangleTree(const TriangleTree&) = delete;
    TriangleTree& operator=(const TriangleTree&) = delete;

    void Clear() {
        vertices.clear();
        triangles.clear();
        nodes.clear();
        root = TriangleTreeNode();
        root.tree = this;
    }

    // Appends every leaf whose box overlaps [min, max] (touching counts), from the root down.
    void Query(WorkArray<TriangleTreeNode*>& out, const Vector4& min, const Vector4& max, int32_t depth);

    // Number of whole vertices in the vertex array (four floats each).
    int32_t VertexCount() const { return static_cast<int32_t>(vertices.size() / 4); }

    std::vector<float> vertices;
    std::vector<CollisionTriangle> triangles;
    std::vector<TriangleTreeNode> nodes;
    TriangleTreeNode root;

private:
    void QueryNode(TriangleTreeNode& node, WorkArray<TriangleTreeNode*>& out, const Vector4& min, const Vector4& max,
                   int32_t depth);
};

} // namespace Physics
