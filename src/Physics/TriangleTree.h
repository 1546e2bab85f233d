#pragma once

#include "Physics/CollisionTriangle.h"

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
class TriangleTree {
public:
    TriangleTree() { root.tree = this; }
    void Clear()
    {
        vertices.clear();
        triangles.clear();
        nodes.clear();
        root = TriangleTreeNode();
        root.tree = this;
    }

    std::vector<float> vertices;
    std::vector<CollisionTriangle> triangles;
    std::vector<TriangleTreeNode> nodes;
    TriangleTreeNode root;
};

} // namespace Physics
