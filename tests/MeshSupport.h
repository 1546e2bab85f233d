#pragma once
// Mesh files' nodes built in code, for the tests and the benches alike (so no test framework here).
#include <string>

#include "Render/MeshFile.h"

namespace MeshSupport {

// A node of one box between two corners: its eight corners as vertices, its six faces as twelve
// triangles.
inline MeshFile::Node BoxNode(const std::string& name, const Vec3& lo, const Vec3& hi) {
    MeshFile::Node node;
    node.name = name;
    for (int i = 0; i < 8; ++i) {
        CPVertex v;
        v.position = {i & 1 ? hi.x : lo.x, i & 2 ? hi.y : lo.y, i & 4 ? hi.z : lo.z};
        node.vertices.push_back(v);
    }
    node.indices = {0, 1, 3, 0, 3, 2, 4, 6, 7, 4, 7, 5, 0, 4, 5, 0, 5, 1,
                    2, 3, 7, 2, 7, 6, 0, 2, 6, 0, 6, 4, 1, 5, 7, 1, 7, 3};
    return node;
}

} // namespace MeshSupport
