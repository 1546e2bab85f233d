#pragma once
// The level's road as the physics engine sees it: world-space vertices, a triangle table and a grid
// of 7-unit cells in x and y, each listing the triangles whose x-y projection overlaps it. The
// engine asks for the triangles near one body's box; only those cells are handed over.
#include <cstdint>
#include <vector>

#include "Core/Math/Mat4.h"
#include "Core/Math/Vector.h"
#include "Physics/CollisionTriangle.h"

class CPRoadGrid {
public:
    static constexpr float kCellSize = 7.0f;
    // Indices a cell holds; further triangles of a full cell are dropped (with a log line).
    static constexpr int kCellCapacity = 1000;
    // Indices one gathering hands the engine: it stops before reaching this many.
    static constexpr int kGatherCapacity = 1000;
    // A road spanning more cells than this is refused.
    static constexpr int64_t kMaxCells = 4'000'000;

    struct Cell {
        int x = 0, y = 0;
        bool operator==(const Cell&) const = default;
    };

    // Replaces the grid with one built from positions placed by `world` and 16-bit indices, three
    // per triangle. Trailing indices short of a triangle are dropped; a triangle naming a vertex past
    // the positions, or with a non-finite corner, enters no cell. False (and an empty grid) when the
    // extent would need more than kMaxCells cells.
    bool Build(const std::vector<Vec3>& positions, const std::vector<uint16_t>& indices, const Mat4& world);
    void Clear();

    // The cell holding the point's x and y, clamped to the grid.
    Cell GetRoadCell(const Vec3& point) const;
    const std::vector<int32_t>& GetCellTriangles(const Cell& cell) const;
    bool CellHasTriangle(int32_t triangle, const Cell& cell) const;

    // Gathers into `out` (room for kGatherCapacity) the triangle indices of the cells around the
    // box: first the cells of its corners (min, max, the two mixed ones) and centre, then every
    // other cell from one below to one above their range. A cell that would bring the count to
    // kGatherCapacity ends the gathering, so the cells under the body come first. A non-finite box
    // gathers nothing.
    int Gather(const Vec3& min, const Vec3& max, int32_t* out) const;

    // The square [x0, x1] x [y0, y1] against the triangle's x-y projection.
    static bool SquareOverlapsTriangle(float x0, float y0, float x1, float y1, const Vec3& a, const Vec3& b,
                                       const Vec3& c);

    bool IsEmpty() const { return columns_ == 0 || rows_ == 0; }
    int GetColumns() const { return columns_; }
    int GetRows() const { return rows_; }
    const Vec3& GetOrigin() const { return origin_; }
    int GetTriangleCount() const { return static_cast<int>(triangles_.size()); }
    int GetVertexCount() const { return static_cast<int>(vertices_.size() / 4); }
    // Four floats per vertex (x, y, z, unused), world space; the renderer's decal clips against it.
    const std::vector<float>& GetVertices() const { return vertices_; }
    const std::vector<Physics::CollisionTriangle>& GetTriangles() const { return triangles_; }
    Vec3 GetVertex(int32_t index) const {
        return {vertices_[4 * size_t(index)], vertices_[4 * size_t(index) + 1], vertices_[4 * size_t(index) + 2]};
    }

private:
    std::vector<int32_t>& CellAt(const Cell& cell) { return cells_[size_t(cell.x) * size_t(rows_) + size_t(cell.y)]; }
    const std::vector<int32_t>& CellAt(const Cell& cell) const {
        return cells_[size_t(cell.x) * size_t(rows_) + size_t(cell.y)];
    }

    Vec3 origin_;
    int columns_ = 0;
    int rows_ = 0;
    std::vector<std::vector<int32_t>> cells_; // column by column: column x holds rows_ cells
    std::vector<float> vertices_;
    std::vector<Physics::CollisionTriangle> triangles_;
};
