#include "Physics/TriangleTree.h"

namespace Physics {

void TriangleTree::Query(WorkArray<TriangleTreeNode*>& out, const Vector4& min, const Vector4& max, int32_t depth) {
    QueryNode(root, out, min, max, depth);
}

void TriangleTree::QueryNode(TriangleTreeNode& node, WorkArray<TriangleTreeNode*>& out, const Vector4& min,
                             const Vector4& max, int32_t depth) {
    if (min.y > node.max[1] || max.y < node.min[1] || min.x > node.max[0] || max.x < node.min[0] ||
        min.z > node.max[2] || max.z < node.min[2]) {
        return;
    }
    if (node.triangles.empty()) {
        // A child index outside the node vector, or a chain deeper than the tree has nodes (a
        // loop), is never followed.
        if (depth > static_cast<int32_t>(nodes.size())) {
            return;
        }
        for (const int32_t child : node.children) {
            if (child >= 0 && child < static_cast<int32_t>(nodes.size())) {
                QueryNode(nodes[static_cast<std::size_t>(child)], out, min, max, depth + 1);
            }
        }
        return;
    }
    out.Append(&node);
}

} // namespace Physics
