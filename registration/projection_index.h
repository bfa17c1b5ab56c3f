// What projection searches on a surface, by place instead of one by one: its triangles, for the
// triangles a line may pass through, and its vertices as read, for the nearest vertex. Both
// answer exactly as the scan over every triangle or vertex that they replace: they only narrow
// down which ones the same tests are run on, and ties go the same way.
#pragma once

#include "surface/surface.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

// Cubic cells over a box; cell (i, j, k) is number (i * counts[1] + j) * counts[2] + k and holds
// the entries items[cell_start[n] .. cell_start[n + 1]).
struct CellLists {
    Point3 low;
    double cell_size = 1.0;
    std::array<std::int64_t, 3> counts{0, 0, 0};
    std::vector<std::uint32_t> cell_start;
    std::vector<std::uint32_t> items;

    bool is_empty() const { return cell_start.empty(); }
    // The cell along axis of coordinate x, clamped to the grid.
    std::int64_t slab(std::size_t axis, double x) const;
    std::int64_t number(std::int64_t i, std::int64_t j, std::int64_t k) const
    {
        return (i * counts[1] + j) * counts[2] + k;
    }
};

// The triangles of a surface filed by their boxes. Each box is widened by far more than any
// rounding of a hit test can move a hit off its triangle; the few triangles so thin that rounding
// could put a hit anywhere (and those with corners that are not finite) are not filed but handed
// to every line. Refers to nothing: the corners and triangles are passed to each query.
struct TriangleGrid {
    CellLists cells;
    std::vector<std::uint32_t> every_line; // handed to every line
    double scale = 0.0;                    // largest coordinate magnitude of the corners
    bool is_usable = false;                // false: the callers test every triangle

    // Calls visit(t) for every triangle t that the line through point along the unit direction
    // may meet, in no particular order and possibly more than once. False, having visited
    // nothing, when the grid cannot answer (no grid, or a point or direction that is not
    // finite).
    template <typename Visit> bool for_each_candidate(const Point3& point, const Point3& direction,
                                                      Visit&& visit) const;
};

// Files the triangles whose corners lie in corners; triangles with a corner outside corners
// and degenerate ones (a zero cross product of their edges) can never be hit and are left out.
TriangleGrid build_triangle_grid(const std::vector<Point3>& corners,
                                 const std::vector<Triangle>& triangles);

// The vertices of a surface filed by place, each cell's in ascending index order.
struct PointGrid {
    CellLists cells;
    double scale = 0.0;     // largest coordinate magnitude of the finite positions
    bool is_usable = false; // false: nearest scans every position

    // The index of the first of the positions nearest to point (squared distance below 1e10),
    // as a scan in index order that takes only strictly nearer ones finds it; 0 when none is
    // that near. positions are the ones the grid was built from.
    std::int64_t nearest(const std::vector<Point3>& positions, const Point3& point) const;
};

PointGrid build_point_grid(const std::vector<Point3>& positions);

// The first position strictly nearest to point, by a scan in index order; 0 when none lies
// within a squared distance of 1e10.
std::int64_t nearest_by_scan(const std::vector<Point3>& positions, const Point3& point);

// The indexes of one surface record: the triangle grid over its positions as read, and for the
// LR surface the grid of those positions.
struct ProjectionIndex {
    const Point3* positions = nullptr; // what it was built from, to know when it is stale
    std::size_t vertex_count = 0;
    const Triangle* triangles = nullptr;
    std::size_t triangle_count = 0;
    std::unique_ptr<TriangleGrid> triangle_grid;
    std::unique_ptr<PointGrid> point_grid;
};

// The indexes of the two surface records of a working state, each part built the first time a
// projection needs it and kept until cleared: the positions as read and the triangles of a record
// change only when a reader fills it anew, after the working state was cleared (whoever fills a
// record otherwise clears these too). Built on the thread that projects.
class ProjectionIndexes {
public:
    // The index of record (0 or 1) holding surface; built anew when the record's arrays are
    // not the ones it was built from.
    const TriangleGrid& triangle_grid(std::size_t record, const Surface& surface) const;
    const PointGrid& point_grid(std::size_t record, const Surface& surface) const;
    void clear();

private:
    ProjectionIndex& entry(std::size_t record, const Surface& surface) const;
    mutable std::array<ProjectionIndex, 2> indexes_;
};

// --- implementation of the line walk ---

template <typename Visit>
bool TriangleGrid::for_each_candidate(const Point3& point, const Point3& direction,
                                      Visit&& visit) const
{
    const std::array<double, 3> p{point.x, point.y, point.z};
    const std::array<double, 3> u{direction.x, direction.y, direction.z};
    double reach = 0.0;
    std::size_t along = 0;
    for (std::size_t axis = 0; axis < 3; ++axis) {
        if (!std::isfinite(p[axis]) || !std::isfinite(u[axis]))
            return false;
        reach = std::max(reach, std::fabs(p[axis]));
        if (std::fabs(u[axis]) > std::fabs(u[along]))
            along = axis;
    }
    if (!is_usable || u[along] == 0.0)
        return false;
    for (const std::uint32_t t : every_line)
        visit(t);
    if (cells.is_empty())
        return true;
    // Hits lie on the line up to rounding far below this, whatever the point's distance.
    const double pad = 1e-12 * (scale + reach);
    const std::array<double, 3> low{cells.low.x, cells.low.y, cells.low.z};
    const double c = cells.cell_size;
    // Slab by slab along the axis the line runs most along, the cells across it that the line
    // (widened by pad) passes through.
    for (std::int64_t i = 0; i < cells.counts[along]; ++i) {
        const double from = low[along] + static_cast<double>(i) * c - pad;
        const double to = low[along] + static_cast<double>(i + 1) * c + pad;
        const double s0 = (from - p[along]) / u[along];
        const double s1 = (to - p[along]) / u[along];
        std::array<std::int64_t, 3> first{}, last{};
        first[along] = last[along] = i;
        bool crosses = true;
        for (std::size_t axis = 0; axis < 3 && crosses; ++axis) {
            if (axis == along)
                continue;
            const double a = p[axis] + u[axis] * s0;
            const double b = p[axis] + u[axis] * s1;
            const double lowest = std::min(a, b) - pad;
            const double highest = std::max(a, b) + pad;
            const double grid_high =
                low[axis] + static_cast<double>(cells.counts[axis]) * c;
            crosses = highest >= low[axis] && lowest <= grid_high;
            first[axis] = cells.slab(axis, lowest);
            last[axis] = cells.slab(axis, highest);
        }
        if (!crosses)
            continue;
        for (std::int64_t x = first[0]; x <= last[0]; ++x)
            for (std::int64_t y = first[1]; y <= last[1]; ++y)
                for (std::int64_t z = first[2]; z <= last[2]; ++z) {
                    const auto n = static_cast<std::size_t>(cells.number(x, y, z));
                    for (std::uint32_t e = cells.cell_start[n]; e < cells.cell_start[n + 1]; ++e)
                        visit(cells.items[e]);
                }
    }
    return true;
}
