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
#include <limits>
#include <memory>
#include <utility>
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
    template <typename Visit>
    bool for_each_candidate(const Point3& point, const Point3& direction, Visit&& visit) const
    {
        return for_each_candidate(point, direction, visit,
                                  [] { return std::numeric_limits<double>::infinity(); });
    }
    // The same, but leaving out triangles the line can meet only farther from point than
    // reach() (asked again after each visit), rounding allowed for: the cells nearest along the
    // line come first, and the walk stops where they lie beyond it.
    template <typename Visit, typename Reach>
    bool for_each_candidate(const Point3& point, const Point3& direction, Visit&& visit,
                            Reach&& reach) const;
};

// Files the triangles whose corners lie in corners; triangles with a corner outside corners
// and degenerate ones (a zero cross product of their edges) can never be hit and are left out.
TriangleGrid build_triangle_grid(const std::vector<Point3>& corners,
                                 const std::vector<Triangle>& triangles);

// The vertices of a surface filed by place, each cell's in ascending order of x, then index.
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

template <typename Visit, typename Reach>
bool TriangleGrid::for_each_candidate(const Point3& point, const Point3& direction, Visit&& visit,
                                      Reach&& reach) const
{
    const std::array<double, 3> p{point.x, point.y, point.z};
    const std::array<double, 3> u{direction.x, direction.y, direction.z};
    double magnitude = 0.0;
    std::size_t along = 0;
    for (std::size_t axis = 0; axis < 3; ++axis) {
        if (!std::isfinite(p[axis]) || !std::isfinite(u[axis]))
            return false;
        magnitude = std::max(magnitude, std::fabs(p[axis]));
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
    const double pad = 1e-12 * (scale + magnitude);
    const std::array<double, 3> low{cells.low.x, cells.low.y, cells.low.z};
    const double c = cells.cell_size;
    // The stretch of the line (as distances along it from point) within slab i of the axis
    // it runs most along, widened by pad.
    const auto stretch = [&](std::int64_t i) {
        const double from = low[along] + static_cast<double>(i) * c - pad;
        const double to = low[along] + static_cast<double>(i + 1) * c + pad;
        return std::pair((from - p[along]) / u[along], (to - p[along]) / u[along]);
    };
    // How near to point the line comes within slab i; a hit's distance, computed from its own
    // line parameter, may be rounded below this by far less than the margin taken off.
    const auto nearest_in = [&](std::int64_t i) {
        const auto [s0, s1] = stretch(i);
        if ((s0 <= 0.0 && s1 >= 0.0) || (s1 <= 0.0 && s0 >= 0.0))
            return 0.0;
        const double near = std::min(std::fabs(s0), std::fabs(s1));
        return near * (1.0 - 1e-9) - pad;
    };
    // The cells across slab i that the line (widened by pad) passes through.
    const auto visit_slab = [&](std::int64_t i) {
        const auto [s0, s1] = stretch(i);
        std::array<std::int64_t, 3> first{}, last{};
        first[along] = last[along] = i;
        for (std::size_t axis = 0; axis < 3; ++axis) {
            if (axis == along)
                continue;
            const double a = p[axis] + u[axis] * s0;
            const double b = p[axis] + u[axis] * s1;
            const double lowest = std::min(a, b) - pad;
            const double highest = std::max(a, b) + pad;
            const double grid_high = low[axis] + static_cast<double>(cells.counts[axis]) * c;
            if (!(highest >= low[axis] && lowest <= grid_high))
                return;
            first[axis] = cells.slab(axis, lowest);
            last[axis] = cells.slab(axis, highest);
        }
        for (std::int64_t x = first[0]; x <= last[0]; ++x)
            for (std::int64_t y = first[1]; y <= last[1]; ++y)
                for (std::int64_t z = first[2]; z <= last[2]; ++z) {
                    const auto n = static_cast<std::size_t>(cells.number(x, y, z));
                    for (std::uint32_t e = cells.cell_start[n]; e < cells.cell_start[n + 1]; ++e)
                        visit(cells.items[e]);
                }
    };
    // Outwards from the slab of point, on either side the nearer slab first; beyond the first
    // slab out of reach on a side, the ones further out are farther still.
    std::int64_t up = cells.slab(along, p[along]);
    std::int64_t down = up - 1;
    const std::int64_t count = cells.counts[along];
    while (up < count || down >= 0) {
        const double up_near = up < count ? nearest_in(up) : HUGE_VAL;
        const double down_near = down >= 0 ? nearest_in(down) : HUGE_VAL;
        const bool take_up = up_near <= down_near;
        if (std::min(up_near, down_near) > reach())
            break;
        if (take_up)
            visit_slab(up++);
        else
            visit_slab(down--);
    }
    return true;
}
