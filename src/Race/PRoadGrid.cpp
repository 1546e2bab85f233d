#include "Race/PRoadGrid.h"

#include <algorithm>
#include <cmath>

#include "Core/PLog.h"

namespace {

constexpr float kInverseCell = 1.0f / CPRoadGrid::kCellSize;

bool Finite(const Vec3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

// On the same side of all three directed edges (edges included), whichever way the triangle is
// wound: a square lying wholly inside a large triangle of either winding overlaps it.
bool CornerInTriangle(float x, float y, const Vec3& a, const Vec3& b, const Vec3& c) {
    const Vec3* corners[3] = {&a, &b, &c};
    bool anyAbove = false, anyBelow = false;
    for (int i = 0; i < 3; ++i) {
        const Vec3& start = *corners[i];
        const Vec3& end = *corners[(i + 1) % 3];
        const float dx = end.x - start.x, dy = end.y - start.y;
        const float vx = x - start.x, vy = y - start.y;
        const float side = vy * dx - dy * vx;
        anyAbove |= side > 0.0f;
        anyBelow |= side < 0.0f;
    }
    return !(anyAbove && anyBelow);
}

bool SegmentsCross(float p1x, float p1y, float p2x, float p2y, float q1x, float q1y, float q2x, float q2y) {
    if (std::max(p1x, p2x) < std::min(q1x, q2x) || std::max(q1x, q2x) < std::min(p1x, p2x)) return false;
    if (std::max(p1y, p2y) < std::min(q1y, q2y) || std::max(q1y, q2y) < std::min(p1y, p2y)) return false;
    const float ax = p2x - p1x, ay = p2y - p1y;
    const float bx = q1x - q2x, by = q1y - q2y;
    const float cx = p1x - q1x, cy = p1y - q1y;
    const float denominator = ay * bx - ax * by;
    if (denominator == 0.0f) return false;
    const float alpha = by * cx - bx * cy;
    const float beta = ax * cy - ay * cx;
    if (denominator > 0.0f) return alpha >= 0.0f && alpha <= denominator && beta >= 0.0f && beta <= denominator;
    return alpha <= 0.0f && alpha >= denominator && beta <= 0.0f && beta >= denominator;
}

int ClampCell(float coordinate, float origin, int count) {
    const float f = (coordinate - origin) * kInverseCell;
    // Truncation toward zero, clamped; a huge value saturates before the conversion.
    if (!(f > 0.0f)) return 0;
    if (f >= float(count)) return count - 1;
    return std::min(static_cast<int>(f), count - 1);
}

} // namespace

bool CPRoadGrid::SquareOverlapsTriangle(float x0, float y0, float x1, float y1, const Vec3& a, const Vec3& b,
                                        const Vec3& c) {
    for (const Vec3* v : {&a, &b, &c})
        if (x0 <= v->x && v->x <= x1 && y0 <= v->y && v->y <= y1) return true;
    const float corners[4][2] = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
    for (const auto& corner : corners)
        if (CornerInTriangle(corner[0], corner[1], a, b, c)) return true;
    const Vec3* triangle[3] = {&a, &b, &c};
    for (int s = 0; s < 4; ++s) {
        const float* p1 = corners[s];
        const float* p2 = corners[(s + 1) % 4];
        for (int e = 0; e < 3; ++e) {
            const Vec3& q1 = *triangle[e];
            const Vec3& q2 = *triangle[(e + 1) % 3];
            if (SegmentsCross(p1[0], p1[1], p2[0], p2[1], q1.x, q1.y, q2.x, q2.y)) return true;
        }
    }
    return false;
}

void CPRoadGrid::Clear() {
    origin_ = {};
    columns_ = rows_ = 0;
    cells_.clear();
    vertices_.clear();
    triangles_.clear();
}

bool CPRoadGrid::Build(const std::vector<Vec3>& positions, const std::vector<uint16_t>& indices, const Mat4& world) {
    Clear();
    Vec3 low{0, 0, 0}, high{0, 0, 0}; // the grid always reaches the origin
    vertices_.reserve(positions.size() * 4);
    for (const Vec3& position : positions) {
        const Vec3 p = Vec3TransformCoord(position, world);
        vertices_.insert(vertices_.end(), {p.x, p.y, p.z, 0.0f});
        if (!Finite(p)) continue;
        low = {std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z)};
        high = {std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z)};
    }
    if (indices.size() % 3 != 0)
        GetLog().Write(1, "road grid: %zu indices are not whole triangles; the rest is dropped\n", indices.size());
    const size_t triangleCount = indices.size() / 3;
    triangles_.resize(triangleCount);
    for (size_t t = 0; t < triangleCount; ++t)
        triangles_[t] = {{indices[3 * t], indices[3 * t + 1], indices[3 * t + 2]}, 0, 0, 0};

    const double columns = std::ceil((double(high.x) - low.x) / kCellSize);
    const double rows = std::ceil((double(high.y) - low.y) / kCellSize);
    if (columns * rows > double(kMaxCells)) {
        GetLog().Write(1, "road grid: %.0f x %.0f cells is too large; no road\n", columns, rows);
        Clear();
        return false;
    }
    origin_ = low;
    columns_ = static_cast<int>(columns);
    rows_ = static_cast<int>(rows);
    cells_.assign(size_t(columns_) * size_t(rows_), {});
    if (IsEmpty()) return true;

    int dropped = 0, skipped = 0;
    const int vertexCount = GetVertexCount();
    for (size_t t = 0; t < triangleCount; ++t) {
        const auto& record = triangles_[t];
        if (record.vertex[0] >= vertexCount || record.vertex[1] >= vertexCount || record.vertex[2] >= vertexCount) {
            ++skipped;
            continue;
        }
        const Vec3 a = GetVertex(record.vertex[0]), b = GetVertex(record.vertex[1]), c = GetVertex(record.vertex[2]);
        if (!Finite(a) || !Finite(b) || !Finite(c)) {
            ++skipped;
            continue;
        }
        const Cell ca = GetRoadCell(a), cb = GetRoadCell(b), cc = GetRoadCell(c);
        const int x0 = std::max(0, std::min({ca.x, cb.x, cc.x}) - 1);
        const int x1 = std::min(columns_ - 1, std::max({ca.x, cb.x, cc.x}) + 1);
        const int y0 = std::max(0, std::min({ca.y, cb.y, cc.y}) - 1);
        const int y1 = std::min(rows_ - 1, std::max({ca.y, cb.y, cc.y}) + 1);
        for (int i = x0; i <= x1; ++i) {
            for (int j = y0; j <= y1; ++j) {
                const Cell cell{i, j};
                if (CellHasTriangle(int32_t(t), cell)) continue;
                const float sx = origin_.x + kCellSize * float(i), sy = origin_.y + kCellSize * float(j);
                if (!SquareOverlapsTriangle(sx, sy, sx + kCellSize, sy + kCellSize, a, b, c)) continue;
                std::vector<int32_t>& list = CellAt(cell);
                if (int(list.size()) >= kCellCapacity) {
                    ++dropped;
                    continue;
                }
                list.push_back(int32_t(t));
            }
        }
    }
    if (skipped) GetLog().Write(1, "road grid: %d triangles with bad corners left out\n", skipped);
    if (dropped) GetLog().Write(1, "road grid: %d triangle entries past full cells dropped\n", dropped);
    return true;
}

CPRoadGrid::Cell CPRoadGrid::GetRoadCell(const Vec3& point) const {
    if (IsEmpty()) return {};
    return {ClampCell(point.x, origin_.x, columns_), ClampCell(point.y, origin_.y, rows_)};
}

const std::vector<int32_t>& CPRoadGrid::GetCellTriangles(const Cell& cell) const {
    static const std::vector<int32_t> none;
    if (cell.x < 0 || cell.x >= columns_ || cell.y < 0 || cell.y >= rows_) return none;
    return CellAt(cell);
}

bool CPRoadGrid::CellHasTriangle(int32_t triangle, const Cell& cell) const {
    const std::vector<int32_t>& list = GetCellTriangles(cell);
    return std::find(list.begin(), list.end(), triangle) != list.end();
}

int CPRoadGrid::Gather(const Vec3& min, const Vec3& max, int32_t* out) const {
    if (IsEmpty() || !Finite(min) || !Finite(max)) return 0;
    Cell order[64];
    int cells = 0;
    auto add = [&](const Cell& cell) {
        for (int i = 0; i < cells; ++i)
            if (order[i] == cell) return;
        order[cells++] = cell;
    };
    const Vec3 centre = (min + max) * 0.5f;
    const Vec3 points[5] = {min, max, {min.x, max.y, 0}, {max.x, min.y, 0}, centre};
    for (const Vec3& p : points) add(GetRoadCell(p));
    int x0 = order[0].x, x1 = order[0].x, y0 = order[0].y, y1 = order[0].y;
    for (int i = 1; i < cells; ++i) {
        x0 = std::min(x0, order[i].x), x1 = std::max(x1, order[i].x);
        y0 = std::min(y0, order[i].y), y1 = std::max(y1, order[i].y);
    }
    x0 = std::max(0, x0 - 1), x1 = std::min(columns_ - 1, x1 + 1);
    y0 = std::max(0, y0 - 1), y1 = std::min(rows_ - 1, y1 + 1);

    int count = 0;
    auto append = [&](const Cell& cell) {
        const std::vector<int32_t>& list = CellAt(cell);
        if (count + int(list.size()) >= kGatherCapacity) return false;
        std::copy(list.begin(), list.end(), out + count);
        count += int(list.size());
        return true;
    };
    for (int i = 0; i < cells; ++i)
        if (!append(order[i])) return count;
    for (int i = x0; i <= x1; ++i) {
        for (int j = y0; j <= y1; ++j) {
            const Cell cell{i, j};
            bool sampled = false;
            for (int k = 0; k < cells && !sampled; ++k) sampled = order[k] == cell;
            if (!sampled && !append(cell)) return count;
        }
    }
    return count;
}
