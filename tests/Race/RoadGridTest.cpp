// The road grid: square-triangle overlap, every triangle in every cell it overlaps (against brute
// force), the gathering around a body's box with its truncation, and bad road meshes.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "Race/PRoadGrid.h"

namespace {

TEST(RoadGridTest, SquareTriangleOverlapForBothWindings) {
    struct Case {
        const char* what;
        Vec3 a, b, c;
        bool overlaps;
    };
    // The square is [0, 7] x [0, 7].
    const Case cases[] = {
        {"vertex inside", {3, 3, 0}, {20, 3, 0}, {20, 20, 0}, true},
        {"square inside a big triangle", {-50, -50, 0}, {100, -50, 0}, {-50, 100, 0}, true},
        {"edges cross, no corner in the other", {-2, 3, 0}, {9, 3, 0}, {3.5f, -20, 0}, true},
        {"vertex on the square's edge", {7, 3, 0}, {20, 3, 0}, {20, 10, 0}, true},
        {"miss beside", {8, 0, 0}, {15, 0, 0}, {15, 7, 0}, false},
        {"corner inside across the diagonal", {8, 0, 0}, {0, 8, 0}, {8, 8, 0}, true},
        {"miss beyond the corner", {7.6f, 7.6f, 0}, {20, 7.6f, 0}, {7.6f, 20, 0}, false},
        {"thin sliver crossing", {-5, 3.5f, 0}, {12, 3.6f, 0}, {12, 3.4f, 0}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(CPRoadGrid::SquareOverlapsTriangle(0, 0, 7, 7, c.a, c.b, c.c), c.overlaps);
        EXPECT_EQ(CPRoadGrid::SquareOverlapsTriangle(0, 0, 7, 7, c.a, c.c, c.b), c.overlaps); // other winding
    }
}

// A road of random triangles: each must sit in exactly the cells whose square it overlaps.
TEST(RoadGridTest, EveryTriangleIsInEveryCellItOverlaps) {
    std::mt19937 random(11);
    std::uniform_real_distribution<float> x(5, 300), y(5, 60), size(-12, 12), z(-1, 3);
    std::vector<Vec3> positions;
    std::vector<uint16_t> indices;
    for (int t = 0; t < 400; ++t) {
        const Vec3 centre{x(random), y(random), z(random)};
        for (int k = 0; k < 3; ++k) {
            positions.push_back({centre.x + size(random), centre.y + size(random), centre.z});
            indices.push_back(uint16_t(positions.size() - 1));
        }
    }
    const Mat4 world = MatTranslation(-40, -10, 0);
    CPRoadGrid grid;
    ASSERT_TRUE(grid.Build(positions, indices, world));
    EXPECT_LE(grid.GetOrigin().x, 0.0f);
    for (int t = 0; t < grid.GetTriangleCount(); ++t) {
        const auto& record = grid.GetTriangles()[t];
        const Vec3 a = grid.GetVertex(record.vertex[0]), b = grid.GetVertex(record.vertex[1]),
                   c = grid.GetVertex(record.vertex[2]);
        for (int i = 0; i < grid.GetColumns(); ++i) {
            for (int j = 0; j < grid.GetRows(); ++j) {
                const float sx = grid.GetOrigin().x + 7.0f * i, sy = grid.GetOrigin().y + 7.0f * j;
                const bool expected = CPRoadGrid::SquareOverlapsTriangle(sx, sy, sx + 7, sy + 7, a, b, c);
                ASSERT_EQ(grid.CellHasTriangle(t, {i, j}), expected) << t << " " << i << " " << j;
            }
        }
    }
}

TEST(RoadGridTest, CellsClampToTheGridAndOriginStaysAtZero) {
    // All vertices at positive x and y: the origin is (0, 0), the far triangle sits in the last column.
    const std::vector<Vec3> positions = {{10, 10, 0}, {69, 10, 0}, {69, 13.5f, 0}, {64, 13, 1}};
    const std::vector<uint16_t> indices = {0, 1, 2, 1, 3, 2};
    CPRoadGrid grid;
    ASSERT_TRUE(grid.Build(positions, indices, MatIdentity()));
    EXPECT_EQ(grid.GetOrigin(), Vec3(0, 0, 0));
    EXPECT_EQ(grid.GetColumns(), 10); // ceil(69 / 7)
    EXPECT_EQ(grid.GetRows(), 2);     // ceil(13.5 / 7)
    EXPECT_EQ(grid.GetRoadCell({-100, -100, 0}), (CPRoadGrid::Cell{0, 0}));
    EXPECT_EQ(grid.GetRoadCell({1000, 1000, 0}), (CPRoadGrid::Cell{9, 1}));
    EXPECT_EQ(grid.GetRoadCell({13.99f, 7.0f, 0}), (CPRoadGrid::Cell{1, 1}));
    EXPECT_TRUE(grid.CellHasTriangle(1, {9, 1}));
    int32_t gathered[CPRoadGrid::kGatherCapacity];
    const int n = grid.Gather({66, 11, 0}, {68, 12, 2}, gathered);
    bool found = false;
    for (int i = 0; i < n; ++i) found |= gathered[i] == 1;
    EXPECT_TRUE(found);
}

TEST(RoadGridTest, TruncationKeepsTheCellsUnderTheBody) {
    // A fine mesh of 1 m quads: about 100 triangles per 7 m cell, so the 3 x 3 block around a car
    // does not fit in one gathering; the cells under the car must still be handed over.
    std::vector<Vec3> positions;
    std::vector<uint16_t> indices;
    const int n = 70;
    for (int i = 0; i <= n; ++i)
        for (int j = 0; j <= 40; ++j) positions.push_back({float(i), float(j), 0});
    auto at = [](int i, int j) { return uint16_t(i * 41 + j); };
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < 40; ++j)
            indices.insert(indices.end(),
                           {at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j), at(i + 1, j + 1), at(i, j + 1)});
    CPRoadGrid grid;
    ASSERT_TRUE(grid.Build(positions, indices, MatIdentity()));
    int32_t gathered[CPRoadGrid::kGatherCapacity];
    const Vec3 min{30, 20, 0}, max{34, 22, 1.5f};
    const int count = grid.Gather(min, max, gathered);
    EXPECT_LT(count, CPRoadGrid::kGatherCapacity);
    EXPECT_GT(count, 0);
    // Every triangle of the cell under the car's centre is among them.
    const CPRoadGrid::Cell under = grid.GetRoadCell((min + max) * 0.5f);
    for (int32_t t : grid.GetCellTriangles(under)) {
        bool found = false;
        for (int i = 0; i < count && !found; ++i) found = gathered[i] == t;
        EXPECT_TRUE(found) << t;
    }
}

TEST(RoadGridTest, BadRoadMeshesAndBoxesAreRefusedOrSkipped) {
    CPRoadGrid grid;
    // An index past the vertices and a trailing partial triangle: the good triangle stays.
    const std::vector<Vec3> positions = {{0, 0, 0}, {10, 0, 0}, {10, 10, 0}};
    ASSERT_TRUE(grid.Build(positions, {0, 1, 2, 0, 1, 9, 2, 1}, MatIdentity()));
    EXPECT_EQ(grid.GetTriangleCount(), 2);
    for (int i = 0; i < grid.GetColumns(); ++i)
        for (int j = 0; j < grid.GetRows(); ++j) EXPECT_FALSE(grid.CellHasTriangle(1, {i, j}));
    EXPECT_TRUE(grid.CellHasTriangle(0, {1, 0}));
    // A non-finite box gathers nothing.
    int32_t gathered[CPRoadGrid::kGatherCapacity];
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(grid.Gather({nan, 0, 0}, {1, 1, 1}, gathered), 0);
    EXPECT_EQ(grid.Gather({0, 0, 0}, {std::numeric_limits<float>::infinity(), 1, 1}, gathered), 0);
    // An extent of more than four million cells is refused.
    EXPECT_FALSE(grid.Build({{0, 0, 0}, {20000, 0, 0}, {20000, 20000, 0}}, {0, 1, 2}, MatIdentity()));
    EXPECT_TRUE(grid.IsEmpty());
    EXPECT_EQ(grid.Gather({0, 0, 0}, {1, 1, 1}, gathered), 0);
}

TEST(RoadGridTest, AFullCellDropsFurtherTriangles) {
    // 1,200 triangles stacked in one cell: the cell keeps 1,000.
    std::vector<Vec3> positions = {{1, 1, 0}, {3, 1, 0}, {1, 3, 0}};
    std::vector<uint16_t> indices;
    for (int t = 0; t < 1200; ++t) indices.insert(indices.end(), {0, 1, 2});
    CPRoadGrid grid;
    ASSERT_TRUE(grid.Build(positions, indices, MatIdentity()));
    EXPECT_EQ(grid.GetCellTriangles({0, 0}).size(), size_t(CPRoadGrid::kCellCapacity));
    int32_t gathered[CPRoadGrid::kGatherCapacity];
    EXPECT_EQ(grid.Gather({1, 1, 0}, {2, 2, 1}, gathered), 0); // one full cell never fits below 1000
}

} // namespace
