// The walk over the vertex grid: the rows handed to a visitor, the runs of a crowded cell's
// sub-cells, the tie rule of the table order, and the walk's implementation.
#pragma once

#include "registration/vertex_grid.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace vertex_grid_detail {
// What a walk's distance bounds need: the grid origin, the queried point and the cell size,
// and per axis a margin far above rounding by which every bound is shortened.
struct WalkGeometry {
    std::array<double, 3> origin{};
    std::array<double, 3> point{};
    double cell_size = 0.0;
    double per_cell_size = 0.0; // 1 / cell_size, for estimates only
    std::array<double, 3> margin{};
};
// A cell of more vertices than this is split into sub-cells.
constexpr std::int64_t most_whole = 128;
// Most slabs a crowded cell is split into along an axis.
constexpr int most_divisions = 32;
// Squared gap between coordinate p and the slab [low, high] (0 inside it), shortened by margin.
inline double slab_gap2(double p, double low, double high, double margin)
{
    const double outside = p < low ? low - p : p > high ? p - high : 0.0;
    const double gap = outside > margin ? outside - margin : 0.0;
    return gap * gap;
}
// The squared gaps between the walk's point and the slabs of a crowded cell split into s
// slabs along each axis, shortened as the cell gaps are; slabs on the faces of the grid reach
// to infinity, as the vertices beyond the faces are filed there. A scan starts at the slab
// nearest the point and moves outwards, so the gaps are worked out as it reaches them.
class SubCellGaps {
public:
    SubCellGaps(const WalkGeometry& geometry, std::int64_t cell, int s);
    // The slab nearest the point along axis.
    int nearest(std::size_t axis) const { return nearest_[axis]; }
    // The gap of slab a, 0 <= a < s.
    double gap(std::size_t axis, int a)
    {
        while (a < low_[axis]) {
            --low_[axis];
            gaps_[axis][static_cast<std::size_t>(low_[axis])] = work_out(axis, low_[axis]);
        }
        while (a > high_[axis]) {
            ++high_[axis];
            gaps_[axis][static_cast<std::size_t>(high_[axis])] = work_out(axis, high_[axis]);
        }
        return gaps_[axis][static_cast<std::size_t>(a)];
    }
    // The gap of a slab already reached.
    double reached(std::size_t axis, int a) const
    {
        return gaps_[axis][static_cast<std::size_t>(a)];
    }

private:
    double work_out(std::size_t axis, int a) const;

    const WalkGeometry& geometry_;
    std::array<std::int64_t, 3> cell_{};
    int s_ = 1;
    double width_ = 1.0;
    std::array<int, 3> nearest_{}, low_{}, high_{};
    std::array<std::array<double, most_divisions>, 3> gaps_;
};
} // namespace vertex_grid_detail

// One row of a walk over the grid, as handed to the visitor.
struct GridWalkRow {
    double bound2 = 0.0;         // (d c)^2 in mm^2: the table's bound, which decides the stop
    double cell_distance2 = 0.0; // no vertex of this cell is nearer (squared, mm^2)
    std::size_t rank = 0;        // the row's position in the table
    // The grid and the number of the row's cell (none for a cell outside the grid), and the
    // walk's geometry, for for_each_run.
    const VertexGrid* grid = nullptr;
    std::int64_t cell = -1;
    const vertex_grid_detail::WalkGeometry* geometry = nullptr;

    // Calls run(indices, positions, count) for runs of the cell's vertices (their indices and
    // positions) that may lie no farther (squared) than best, which run may lower as it goes: a
    // cell kept whole as one run, a crowded cell's sub-cells nearest first, then the others
    // whose bound is not above best. A run's vertices come in ascending index order; a visitor
    // that lets the lower index win among equally near vertices of the row gets the same answer
    // as from a scan of the whole cell in index order.
    template <typename Run> void for_each_run(const double& best, Run&& run) const;

private:
    // The crowded cell's part of for_each_run, kept out of the walk's loop; first: where the
    // cell's indices begin.
    template <typename Scan>
    [[gnu::noinline]] void scan_parts(std::int64_t first, const double& best, Scan& scan) const;
};

// Where a walk meets a vertex: the rank of its cell's row, the bound2 the walk hands with that
// row (0 within the block around the base cell), and the vertex's position as the grid holds
// it.
struct WalkPlace {
    std::size_t rank = 0;
    double bound2 = 0.0;
    const Point3* position = nullptr;
};

// What a walk hands its visitor's start once the base cell is known.
struct WalkStart {
    const VertexGrid& grid;
    std::array<std::int64_t, 3> base;
    double cell_size;

    // Where the walk meets HR vertex k; false when k is not in the grid or its cell lies
    // beyond the table's reach from the base cell, so that the walk never meets it.
    bool find(std::int64_t k, WalkPlace& place) const;
};

// Where the best vertex so far was met in the walk's table order: its row's rank and its index.
// Of equally near vertices the one met first in table order wins: the earlier row, then the
// lower index. A fresh one comes after nothing.
struct WalkOrderTie {
    std::size_t rank = 0;
    std::int64_t index = -1;

    // Whether vertex k of the row of rank r comes before this place.
    bool is_after(std::size_t r, std::int64_t k) const
    {
        return r < rank || (r == rank && k < index);
    }
};

namespace vertex_grid_detail {
// Most positions of a run whose distances a scan holds at once.
constexpr std::size_t scan_piece = 128;
// Writes the squared distances between point and positions[0 .. count - 1] to distances and
// returns the smallest (infinity for none, a NaN distance passed over). Two distances at a
// time, each worked out as squared_distance works it out, and two minima of two kept apart,
// so that no comparison waits for the one before: the smallest of distances does not depend on
// the order in which they are compared.
inline double squared_distances(const Point3& point, const Point3* positions, std::size_t count,
                                double* distances)
{
    typedef double Pair __attribute__((vector_size(16)));
    constexpr double none = std::numeric_limits<double>::infinity();
    const Pair px = {point.x, point.x}, py = {point.y, point.y}, pz = {point.z, point.z};
    const auto pair_at = [&](std::size_t i) {
        const Point3& a = positions[i];
        const Point3& b = positions[i + 1];
        const Pair dx = px - Pair{a.x, b.x}, dy = py - Pair{a.y, b.y}, dz = pz - Pair{a.z, b.z};
        return dx * dx + dy * dy + dz * dz;
    };
    Pair m0 = {none, none}, m1 = {none, none};
    std::size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const Pair d0 = pair_at(i), d1 = pair_at(i + 2);
        distances[i] = d0[0];
        distances[i + 1] = d0[1];
        distances[i + 2] = d1[0];
        distances[i + 3] = d1[1];
        m0 = d0 < m0 ? d0 : m0;
        m1 = d1 < m1 ? d1 : m1;
    }
    double nearest = std::min(std::min(m0[0], m0[1]), std::min(m1[0], m1[1]));
    for (; i != count; ++i) {
        distances[i] = squared_distance(point, positions[i]);
        nearest = std::min(nearest, distances[i]);
    }
    return nearest;
}
} // namespace vertex_grid_detail

// Calls each(j) for the positions j of positions[0 .. count - 1] whose squared distance from
// point is not above best, which each may lower as it goes, in ascending order of j; the
// distances are worked out a piece at a time without a branch, so that a run is looked
// through quickly.
template <typename Each>
void for_each_no_farther(const Point3& point, const Point3* positions, std::size_t count,
                         const double& best, Each&& each)
{
    using namespace vertex_grid_detail;
    double distances[scan_piece];
    for (std::size_t from = 0; from < count; from += scan_piece) {
        const std::size_t n = std::min(scan_piece, count - from);
        if (!(squared_distances(point, positions + from, n, distances) <= best))
            continue;
        for (std::size_t j = 0; j != n; ++j)
            if (distances[j] <= best)
                each(from + j);
    }
}

// A plain nearest-vertex search offered a run of vertices of the row of rank `rank`, their
// indices ascending: the run's nearest vertex (the lower index of equally near ones) replaces
// best and place when it is nearer, or as near and earlier in the table's walk order. Returns
// whether it did. The distances are worked out once, without a branch, and then looked up.
inline bool take_nearest_of_run(const Point3& point, std::size_t rank, const std::int64_t* indices,
                                const Point3* positions, std::size_t count, double& best,
                                WalkOrderTie& place)
{
    using namespace vertex_grid_detail;
    bool taken = false;
    double distances[scan_piece];
    for (std::size_t from = 0; from < count; from += scan_piece) {
        const std::size_t n = std::min(scan_piece, count - from);
        const double nearest = squared_distances(point, positions + from, n, distances);
        if (!(nearest <= best))
            continue;
        std::size_t i = 0;
        while (distances[i] != nearest)
            ++i;
        const std::int64_t k = indices[from + i];
        if (!(nearest < best || place.is_after(rank, k)))
            continue;
        best = nearest;
        place = {rank, k};
        taken = true;
    }
    return taken;
}

// --- implementation of the walk ---

namespace vertex_grid_detail {
// The cell table and what a walk derives from it, made once: per row the linear cell number
// offset and the largest offset component along any axis, and the rank of each offset at
// ((dx + 15) 31 + dy + 15) 31 + dz + 15.
struct WalkTables {
    const std::vector<CellOffset>* rows = nullptr;
    std::vector<std::int64_t> steps;
    std::vector<std::uint8_t> reaches;
    std::vector<std::uint16_t> ranks;
};
const WalkTables& walk_tables();
// Base cell of point, or false when it is so far outside the grid (or not finite) that no
// table row reaches a cell of the grid.
bool base_cell(const Point3& origin, double cell_size, const Point3& point,
               std::array<std::int64_t, 3>& cell);
// The geometry of a walk from point.
WalkGeometry walk_geometry(const Point3& origin, double cell_size, const Point3& point);
// For each axis and each offset -reach..reach from the base cell, the squared gap between point
// and that slab of cells (0 inside it), shortened by a margin far above rounding so that it
// never exceeds the distance to a vertex filed in the slab; the outermost slabs reach to
// infinity, as the vertices beyond the faces are filed there. Index offset + 15; filled for
// the offsets from - to to - from and from from to to.
using AxisGaps = std::array<std::array<double, 31>, 3>;
inline void axis_gaps(const WalkGeometry& geometry, const std::array<std::int64_t, 3>& base,
                      std::int64_t from, std::int64_t to, AxisGaps& gaps)
{
    constexpr double infinity = std::numeric_limits<double>::infinity();
    constexpr std::int64_t last = VertexGrid::cells_per_axis - 1;
    const double c = geometry.cell_size;
    for (std::size_t axis = 0; axis < 3; ++axis) {
        const double o = geometry.origin[axis];
        const double p = geometry.point[axis];
        const double margin = geometry.margin[axis];
        const auto gap2 = [&](std::int64_t cell) {
            if (cell < 0 || cell > last)
                return 0.0;
            const double low = cell == 0 ? -infinity : o + static_cast<double>(cell) * c;
            const double high = cell == last ? infinity : o + static_cast<double>(cell + 1) * c;
            return slab_gap2(p, low, high, margin);
        };
        double* const row = gaps[axis].data() + 15;
        const std::int64_t b = base[axis];
        std::int64_t k = from;
        if (k == 0)
            row[k++] = gap2(b);
        for (; k <= to; ++k) {
            row[-k] = gap2(b - k);
            row[k] = gap2(b + k);
        }
    }
}
// Rank of the table row of offset (0, 0, 0), and the number of rows of the block of bound 0
// around it, which come first, offset (dx, dy, dz) at rank 9 (dx + 1) + 3 (dy + 1) + dz + 1.
constexpr std::size_t base_rank = 13;
constexpr std::size_t block_rows = 27;
// The bound2 a walk hands with a row past the block, (d c)^2.
inline double row_bound2(const CellOffset& row, double cell_size)
{
    const double bound = row.d * cell_size;
    return bound * bound;
}
} // namespace vertex_grid_detail

template <typename Visit>
void VertexGrid::walk(const Point3& origin, double cell_size, const Point3& point,
                      const double& best, Visit&& visit) const
{
    walk(
        origin, cell_size, point, best, [](const WalkStart&) {}, visit);
}

template <typename Start, typename Visit>
void VertexGrid::walk(const Point3& origin, double cell_size, const Point3& point,
                      const double& best, Start&& start, Visit&& visit) const
{
    std::array<std::int64_t, 3> base{};
    if (is_empty() || !vertex_grid_detail::base_cell(origin, cell_size, point, base))
        return;
    start(WalkStart{*this, base, cell_size});
    const vertex_grid_detail::WalkGeometry geometry =
        vertex_grid_detail::walk_geometry(origin, cell_size, point);
    // Most walks end within the block around the base cell: the other gaps only when needed.
    vertex_grid_detail::AxisGaps gaps;
    std::int64_t reach = 1;
    vertex_grid_detail::axis_gaps(geometry, base, 0, reach, gaps);
    const vertex_grid_detail::WalkTables& tables = vertex_grid_detail::walk_tables();
    const std::uint8_t* const reaches = tables.reaches.data();
    const std::vector<CellOffset>& table = *tables.rows;
    const std::int64_t* const steps = tables.steps.data();
    const std::int64_t base_number =
        (base[0] * cells_per_axis + base[1]) * cells_per_axis + base[2];
    // When the whole 31-cell cube lies inside the grid no row needs a bounds check.
    const bool inside = base[0] >= 15 && base[0] < cells_per_axis - 15 && base[1] >= 15 &&
                        base[1] < cells_per_axis - 15 && base[2] >= 15 &&
                        base[2] < cells_per_axis - 15;
    const auto visit_row = [&](std::size_t r, double bound2) __attribute__((always_inline))
    {
        const CellOffset& row = table[r];
        GridWalkRow visited;
        visited.bound2 = bound2;
        visited.rank = r;
        if (inside || (static_cast<std::uint64_t>(base[0] + row.dx) < cells_per_axis &&
                       static_cast<std::uint64_t>(base[1] + row.dy) < cells_per_axis &&
                       static_cast<std::uint64_t>(base[2] + row.dz) < cells_per_axis)) {
            visited.grid = this;
            visited.cell = base_number + steps[r];
            visited.geometry = &geometry;
            if (reaches[r] > reach) {
                vertex_grid_detail::axis_gaps(geometry, base, reach + 1, reaches[r], gaps);
                reach = reaches[r];
            }
            visited.cell_distance2 = gaps[0][static_cast<std::size_t>(row.dx + 15)] +
                                     gaps[1][static_cast<std::size_t>(row.dy + 15)] +
                                     gaps[2][static_cast<std::size_t>(row.dz + 15)];
        }
        return visit(visited);
    };
    // The block of bound 0 around the base cell, the base cell first: no walk stops within
    // it, so its order does not matter, and a cell of the block that lies outside the grid or
    // farther than best holds nothing for the visitor.
    using vertex_grid_detail::base_rank;
    if (!visit_row(base_rank, 0.0))
        return;
    for (std::int64_t dx = -1; dx <= 1; ++dx) {
        const double gx = gaps[0][static_cast<std::size_t>(dx + 15)];
        if (gx > best || static_cast<std::uint64_t>(base[0] + dx) >= cells_per_axis)
            continue;
        for (std::int64_t dy = -1; dy <= 1; ++dy) {
            const double gxy = gx + gaps[1][static_cast<std::size_t>(dy + 15)];
            if (gxy > best || static_cast<std::uint64_t>(base[1] + dy) >= cells_per_axis)
                continue;
            for (std::int64_t dz = -1; dz <= 1; ++dz) {
                const auto r = static_cast<std::size_t>(9 * (dx + 1) + 3 * (dy + 1) + dz + 1);
                if (r == base_rank || gxy + gaps[2][static_cast<std::size_t>(dz + 15)] > best ||
                    static_cast<std::uint64_t>(base[2] + dz) >= cells_per_axis)
                    continue;
                if (!visit_row(r, 0.0))
                    return;
            }
        }
    }
    // Past the block the walk ends at the first row whose bound exceeds best, before the
    // row's gaps are worked out.
    const std::size_t rows = table.size();
    for (std::size_t r = vertex_grid_detail::block_rows; r < rows; ++r) {
        const double bound2 = vertex_grid_detail::row_bound2(table[r], cell_size);
        if (bound2 > best || !visit_row(r, bound2))
            return;
    }
}

template <typename Run> void GridWalkRow::for_each_run(const double& best, Run&& run) const
{
    if (grid == nullptr)
        return;
    const auto c = static_cast<std::size_t>(cell);
    const std::int64_t first = grid->cell_start[c];
    if (grid->part_start.empty() || grid->part_start[c] == grid->part_start[c + 1]) {
        grid->scan_run(first, grid->cell_start[c + 1], run);
        return;
    }
    scan_parts(first, best, run);
}

template <typename Scan>
void GridWalkRow::scan_parts(std::int64_t first, const double& best, Scan& scan) const
{
    const auto c = static_cast<std::size_t>(cell);
    const std::uint32_t* const header = grid->part_ends.data() + grid->part_start[c];
    const int s = static_cast<int>(header[0]);
    const std::uint32_t* const ends = header + 1;
    vertex_grid_detail::SubCellGaps gaps(*geometry, cell, s);
    // Sub-cell key's run: from run_start(key) to ends[key], counted from the cell's first index.
    const auto run_start = [ends](int key) { return key == 0 ? 0 : ends[key - 1]; };
    const auto is_empty = [&](int key) { return run_start(key) == ends[key]; };
    const auto scan_part = [&](int key) __attribute__((always_inline))
    {
        grid->scan_run(first + run_start(key), first + ends[key], scan);
    };
    // The sub-cell nearest the point first. A vertex there usually leaves best so low that
    // one pass over the few sub-cells around it ends the scan; otherwise shells of sub-cells
    // around it, each nearest first.
    const std::array<int, 3> centre{gaps.nearest(0), gaps.nearest(1), gaps.nearest(2)};
    if (gaps.reached(0, centre[0]) + gaps.reached(1, centre[1]) + gaps.reached(2, centre[2]) > best)
        return;
    const int centre_key = (centre[0] * s + centre[1]) * s + centre[2];
    const bool centre_held = !is_empty(centre_key);
    if (centre_held)
        scan_part(centre_key);
    // The gaps grow away from the centre, so the slabs within best form a run around it on
    // each axis; low and high: that run, at most reach slabs from the centre. Whether it
    // reaches that far on some axis.
    std::array<int, 3> low{}, high{};
    const auto window = [&](int reach) __attribute__((always_inline))
    {
        bool reached = false;
        for (std::size_t axis = 0; axis < 3; ++axis) {
            const int middle = centre[axis];
            low[axis] = high[axis] = middle;
            while (low[axis] > std::max(0, middle - reach) &&
                   !(gaps.gap(axis, low[axis] - 1) > best))
                --low[axis];
            while (high[axis] < std::min(s - 1, middle + reach) &&
                   !(gaps.gap(axis, high[axis] + 1) > best))
                ++high[axis];
            reached = reached || low[axis] == middle - reach || high[axis] == middle + reach;
        }
        return reached;
    };
    // visit(key, bound) for each sub-cell of the window but the centre that holds something
    // and whose bound is not above best; with a shell, only those of that shell around the
    // centre.
    const auto for_each_in_window = [&](int shell, auto&& visit) __attribute__((always_inline))
    {
        for (int x = low[0]; x <= high[0]; ++x) {
            const double gx = gaps.reached(0, x);
            const bool x_face = shell < 0 || x == centre[0] - shell || x == centre[0] + shell;
            for (int y = low[1]; y <= high[1]; ++y) {
                const double gxy = gx + gaps.reached(1, y);
                if (gxy > best)
                    continue;
                const bool face = x_face || y == centre[1] - shell || y == centre[1] + shell;
                // Off the shell's x and y faces only its two z faces belong to it.
                const int z_step = face ? 1 : 2 * shell;
                for (int z = face ? low[2] : centre[2] - shell; z <= high[2]; z += z_step) {
                    if (z < low[2])
                        continue;
                    const int key = (x * s + y) * s + z;
                    const double bound = gxy + gaps.reached(2, z);
                    if (!(bound > best) && key != centre_key && !is_empty(key))
                        visit(key, bound);
                }
            }
        }
    };
    if (centre_held) {
        window(s);
        for_each_in_window(-1, [&](int key, double) { scan_part(key); });
        return;
    }
    for (int shell = 1; shell < s && window(shell); ++shell) {
        int nearest = -1;
        double nearest_bound = 0.0;
        for_each_in_window(shell, [&](int key, double bound) {
            if (nearest < 0 || bound < nearest_bound) {
                nearest = key;
                nearest_bound = bound;
            }
        });
        if (nearest < 0)
            continue;
        scan_part(nearest);
        for_each_in_window(shell, [&](int key, double) {
            if (key != nearest)
                scan_part(key);
        });
    }
}
