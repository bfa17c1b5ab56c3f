// Bucket grid of HR vertex indices over the HR bounding box, the fixed order in which
// neighbouring cells are visited, and the search-range units that follow from the cell size.
#pragma once

#include "surface/point3.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

struct Surface;
struct WorkingState;
struct VertexGrid;

// One row of the cell visiting order: a cell offset and a lower bound d, in cell sizes, on the
// distance between a point of the base cell and any point of the offset cell.
struct CellOffset {
    std::int64_t dx = 0;
    std::int64_t dy = 0;
    std::int64_t dz = 0;
    double d = 0.0;
};

// Every offset with components in -15..15 (29,791 rows), ascending in d (rounded to 6 decimal
// places), rows of equal d in ascending dx, dy, dz. Built once on first use.
const std::vector<CellOffset>& cell_offset_table();

// A run of a crowded cell's vertex indices that lie in one sub-cell: the cell split into
// `divisions` slabs along each axis, sub-cell (x, y, z). The run ends `end` indices after the
// cell's first index and begins where the cell's previous part ends (the first at 0).
struct GridCellPart {
    std::uint8_t x = 0;
    std::uint8_t y = 0;
    std::uint8_t z = 0;
    std::uint8_t divisions = 1;
    std::uint32_t end = 0;
};

namespace vertex_grid_detail {
// What a walk's distance bounds need: the grid origin, the queried point and the cell size,
// and per axis a margin far above rounding by which every bound is shortened.
struct WalkGeometry {
    std::array<double, 3> origin{};
    std::array<double, 3> point{};
    double cell_size = 0.0;
    std::array<double, 3> margin{};
};
// A cell of more vertices than this is split into sub-cells.
constexpr std::int64_t most_whole = 24;
// Most slabs a crowded cell is split into along an axis.
constexpr int most_divisions = 32;
// For each axis and each slab of a cell split into `divisions` slabs, the squared gap between
// the point and that slab, shortened as the cell gaps are; slabs on the faces of the grid
// reach to infinity, as the vertices beyond the faces are filed there.
using PartGaps = std::array<std::array<double, most_divisions>, 3>;
void part_gaps(const WalkGeometry& geometry, const std::array<std::int64_t, 3>& cell, int divisions,
               PartGaps& gaps);
} // namespace vertex_grid_detail

// One row of a walk over the grid, as handed to the visitor.
struct GridWalkRow {
    double bound2 = 0.0;         // (d c)^2 in mm^2: the table's bound, which decides the stop
    double cell_distance2 = 0.0; // no vertex of this cell is nearer (squared, mm^2)
    std::size_t rank = 0;        // the row's position in the table
    // The grid and the number of the row's cell (none for a cell outside the grid), and the
    // walk's geometry, for for_each_vertex.
    const VertexGrid* grid = nullptr;
    std::int64_t cell = -1;
    const vertex_grid_detail::WalkGeometry* geometry = nullptr;

    // Calls scan(k) for each vertex index k of the cell that may lie no farther (squared)
    // than best, which scan may lower as it goes: a cell kept whole in ascending index order, a
    // crowded cell's parts nearest first, then the others whose bound is not above best.
    // Vertices of a part come in ascending index order; a visitor that lets the lower index win
    // among equally near vertices of the row gets the same answer as from a scan of the whole cell
    // in index order.
    template <typename Scan> void for_each_vertex(const double& best, Scan&& scan) const;

private:
    // The crowded cell's part of for_each_vertex, kept out of the walk's loop; begin: the
    // cell's first index.
    template <typename Scan>
    [[gnu::noinline]] void scan_parts(const std::int64_t* begin, const double& best,
                                      Scan& scan) const;
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

// 100 x 100 x 100 cells; cell (i, j, k) covers [i c, (i + 1) c) x [j c, (j + 1) c) x
// [k c, (k + 1) c) from the HR bbox_min, c the cell size; points beyond a face go into the
// outermost cell on that side. A cell of few vertices holds its indices in ascending order; a
// crowded one is split into sub-cells about as small as a few vertices, its indices grouped
// by sub-cell, ascending within each. The grid refers to the HR positions by index and never
// copies them.
struct VertexGrid {
    static constexpr int cells_per_axis = 100;
    static constexpr std::int64_t cell_count =
        std::int64_t{cells_per_axis} * cells_per_axis * cells_per_axis;

    // Cell (i, j, k) is number (i * 100 + j) * 100 + k; its indices are
    // vertex_indices[cell_start[cell] .. cell_start[cell + 1]). Both empty = an empty grid.
    std::vector<std::int64_t> cell_start;
    std::vector<std::int64_t> vertex_indices;
    // The parts of cell n are parts[part_start[n] .. part_start[n + 1]), none for a cell kept
    // whole. Empty when no cell is split.
    std::vector<std::uint32_t> part_start;
    std::vector<GridCellPart> parts;

    bool is_empty() const { return vertex_indices.empty(); }
    void clear()
    {
        std::vector<std::int64_t>().swap(cell_start);
        std::vector<std::int64_t>().swap(vertex_indices);
        std::vector<std::uint32_t>().swap(part_start);
        std::vector<GridCellPart>().swap(parts);
    }

    // Visits the cells around the base cell of point (the truncated, not clamped, cell of
    // point, so a point outside the box walks from a cell outside the grid). visit(row)
    // receives a GridWalkRow per table row and returns false to stop the walk. Rows come in
    // table order, except that the base cell's own row comes first among the 27 rows of bound
    // 0: no walk can stop within those rows, so a visitor that lets the lower rank win among
    // equally near vertices gets the answer of the table order, and a near vertex at once.
    // When no row can reach a cell of the grid (or the grid is empty) nothing is visited, since
    // nothing could be found.
    template <typename Visit>
    void walk(const Point3& origin, double cell_size, const Point3& point, Visit&& visit) const;
};

// Search-range slider units, maximum and label for a grid cell size.
struct SearchRangeScale {
    double units = 10.0; // slider units per millimetre, a power of ten
    int exponent = 1;    // units = 10^exponent
    int maximum = 0;     // the slider's new maximum, 60..999
};

// Cell sizes below this (an HR surface of zero extent) are raised to it, so that the grid and
// the search-range units stay finite.
constexpr double smallest_grid_cell_size = 1e-6;

// Units for cell size c (> 0): e = 24.289916 c; the power of ten u for which trunc(e u) lies
// in 60..999, starting from u = 10.
SearchRangeScale search_range_scale(double cell_size);

// "Search range (x0.1 mm)" and its siblings for exponent n.
std::string search_range_label(int exponent);

// Fills state.vertex_grid from the HR shown positions, sets state.grid_cell_size (the largest
// HR bounding-box extent / 100, at least smallest_grid_cell_size) and state.range_units, and
// returns the slider scale for the caller to apply. Replaces any previous grid.
SearchRangeScale build_vertex_grid(WorkingState& state);

// Index of the vertex of surface nearest to point (in that surface's file coordinates). The
// LR record is searched by brute force over its positions as read; the HR record through the
// grid over its shown positions, never farther than 15 cells along an axis. Ties go to the
// first met: the lower index (LR), the earlier table row and then the lower index (HR).
// 0 when nothing is found.
std::int32_t find_closest_vertex(const WorkingState& state, const Surface& surface,
                                 const Point3& point);

// --- implementation of the walk ---

namespace vertex_grid_detail {
// Linear cell number offset of each table row, for the walk.
const std::vector<std::int64_t>& cell_offset_steps();
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
void axis_gaps(const WalkGeometry& geometry, const std::array<std::int64_t, 3>& base,
               std::int64_t from, std::int64_t to, AxisGaps& gaps);
// The largest offset component, along any axis, of each table row.
const std::vector<std::uint8_t>& cell_offset_reaches();
// Rank of the table row of offset (0, 0, 0).
constexpr std::size_t base_rank = 13;
} // namespace vertex_grid_detail

template <typename Visit>
void VertexGrid::walk(const Point3& origin, double cell_size, const Point3& point,
                      Visit&& visit) const
{
    std::array<std::int64_t, 3> base{};
    if (is_empty() || !vertex_grid_detail::base_cell(origin, cell_size, point, base))
        return;
    const vertex_grid_detail::WalkGeometry geometry =
        vertex_grid_detail::walk_geometry(origin, cell_size, point);
    // Most walks end within the block around the base cell: the other gaps only when needed.
    vertex_grid_detail::AxisGaps gaps;
    std::int64_t reach = 1;
    vertex_grid_detail::axis_gaps(geometry, base, 0, reach, gaps);
    const std::uint8_t* const reaches = vertex_grid_detail::cell_offset_reaches().data();
    const std::vector<CellOffset>& table = cell_offset_table();
    const std::vector<std::int64_t>& steps = vertex_grid_detail::cell_offset_steps();
    const std::int64_t base_number =
        (base[0] * cells_per_axis + base[1]) * cells_per_axis + base[2];
    // When the whole 31-cell cube lies inside the grid no row needs a bounds check.
    const bool inside = base[0] >= 15 && base[0] < cells_per_axis - 15 && base[1] >= 15 &&
                        base[1] < cells_per_axis - 15 && base[2] >= 15 &&
                        base[2] < cells_per_axis - 15;
    const std::size_t rows = table.size();
    using vertex_grid_detail::base_rank;
    for (std::size_t step = 0; step < rows; ++step) {
        // The base cell's row first, then the others in table order.
        const std::size_t r = step == 0 ? base_rank : step <= base_rank ? step - 1 : step;
        const CellOffset& row = table[r];
        GridWalkRow visited;
        const double bound = row.d * cell_size;
        visited.bound2 = bound * bound;
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
        if (!visit(visited))
            return;
    }
}

template <typename Scan> void GridWalkRow::for_each_vertex(const double& best, Scan&& scan) const
{
    if (grid == nullptr)
        return;
    const auto c = static_cast<std::size_t>(cell);
    const std::int64_t* const begin = grid->vertex_indices.data() + grid->cell_start[c];
    const std::int64_t* const end = grid->vertex_indices.data() + grid->cell_start[c + 1];
    if (end - begin <= vertex_grid_detail::most_whole || grid->part_start.empty()) {
        for (const std::int64_t* k = begin; k != end; ++k)
            scan(*k);
        return;
    }
    scan_parts(begin, best, scan);
}

template <typename Scan>
void GridWalkRow::scan_parts(const std::int64_t* begin, const double& best, Scan& scan) const
{
    const auto c = static_cast<std::size_t>(cell);
    const GridCellPart* const parts_begin = grid->parts.data() + grid->part_start[c];
    const GridCellPart* const parts_end = grid->parts.data() + grid->part_start[c + 1];
    constexpr std::int64_t n = VertexGrid::cells_per_axis;
    vertex_grid_detail::PartGaps gaps;
    vertex_grid_detail::part_gaps(*geometry, {cell / (n * n), cell / n % n, cell % n},
                                  parts_begin->divisions, gaps);
    const auto bound = [&gaps](const GridCellPart& part) {
        return gaps[0][part.x] + gaps[1][part.y] + gaps[2][part.z];
    };
    const auto scan_part = [&](const GridCellPart* part) {
        const std::int64_t* k = begin + (part == parts_begin ? 0 : part[-1].end);
        for (const std::int64_t* const last = begin + part->end; k != last; ++k)
            scan(*k);
    };
    const GridCellPart* nearest = parts_begin;
    double nearest_bound = bound(*nearest);
    for (const GridCellPart* part = parts_begin + 1; part != parts_end; ++part) {
        const double b = bound(*part);
        if (b < nearest_bound) {
            nearest_bound = b;
            nearest = part;
        }
    }
    if (nearest_bound > best)
        return;
    scan_part(nearest);
    for (const GridCellPart* part = parts_begin; part != parts_end; ++part)
        if (part != nearest && !(bound(*part) > best))
            scan_part(part);
}
