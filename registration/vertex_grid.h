// Bucket grid of HR vertex indices over the HR bounding box, the fixed order in which
// neighbouring cells are visited, and the search-range units that follow from the cell size.
// The walk over the grid, which only the nearest-vertex searches need, is in vertex_grid_walk.h.
#pragma once

#include "surface/point3.h"

#include <cstdint>
#include <string>
#include <vector>

struct Surface;
struct WorkingState;

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

// 100 x 100 x 100 cells; cell (i, j, k) covers [i c, (i + 1) c) x [j c, (j + 1) c) x
// [k c, (k + 1) c) from the HR bbox_min, c the cell size; points beyond a face go into the
// outermost cell on that side. A cell of few vertices holds its indices in ascending order; a
// crowded one is split into sub-cells of some tens of vertices, its indices grouped by sub-cell,
// ascending within each. Beside each index the grid keeps a copy of its HR shown position, as
// the HR surface stays as it was read until the grid is built anew.
struct VertexGrid {
    static constexpr int cells_per_axis = 100;
    static constexpr std::int64_t cell_count =
        std::int64_t{cells_per_axis} * cells_per_axis * cells_per_axis;

    // Cell (i, j, k) is number (i * 100 + j) * 100 + k; its indices are
    // vertex_indices[cell_start[cell] .. cell_start[cell + 1]). Both empty = an empty grid.
    // 32 bits suffice: 2^32 vertices would need some 200 GB for their positions alone.
    std::vector<std::uint32_t> cell_start;
    std::vector<std::int64_t> vertex_indices;
    // A crowded cell n, split into s slabs along each axis, has its sub-cells at
    // part_ends[part_start[n]]: s, then for each sub-cell (x, y, z) in the order
    // (x s + y) s + z the end of its run of indices, counted from the cell's first index; each
    // run begins where the one before ends, the first at 0. part_start[n] == part_start[n + 1]
    // for a cell kept whole. Both empty when no cell is split.
    std::vector<std::uint32_t> part_start;
    std::vector<std::uint32_t> part_ends;
    // The HR shown position of each entry of vertex_indices, so that a scan reads the
    // positions of a cell in a row rather than all over the surface.
    std::vector<Point3> cell_positions;
    // Where each HR vertex stands in vertex_indices and the cell it is filed in, so that a
    // vertex known beforehand (the previous match) is found in the grid at once.
    std::vector<std::uint32_t> vertex_entries;
    std::vector<std::uint32_t> vertex_cells;

    bool is_empty() const { return vertex_indices.empty(); }
    void clear()
    {
        std::vector<std::uint32_t>().swap(cell_start);
        std::vector<std::int64_t>().swap(vertex_indices);
        std::vector<std::uint32_t>().swap(part_start);
        std::vector<std::uint32_t>().swap(part_ends);
        std::vector<Point3>().swap(cell_positions);
        std::vector<std::uint32_t>().swap(vertex_entries);
        std::vector<std::uint32_t>().swap(vertex_cells);
    }

    // run(indices, positions, count) for entries first..last - 1.
    template <typename Run> void scan_run(std::int64_t first, std::int64_t last, Run& run) const
    {
        const auto i = static_cast<std::size_t>(first);
        run(vertex_indices.data() + i, cell_positions.data() + i,
            static_cast<std::size_t>(last - first));
    }

    // Visits the cells around the base cell of point (the truncated, not clamped, cell of
    // point, so a point outside the box walks from a cell outside the grid). visit(row)
    // receives a GridWalkRow per table row and returns false to stop the walk; best is the
    // visitor's best squared distance so far, which it lowers as it goes, and the walk stops
    // by itself at the first row whose bound2 exceeds it. Rows come in table
    // order, except within the 27 rows of bound 0: the base cell's own row comes first (a
    // near vertex at once), and of the others only those of cells in the grid and not farther
    // than best. No walk can stop within those rows, so a visitor that skips the cells farther
    // than best and lets the lower rank win among equally near vertices gets the answer of the
    // table order. When no row can reach a cell of the grid (or the grid is empty) nothing is
    // visited, since nothing could be found.
    template <typename Visit>
    void walk(const Point3& origin, double cell_size, const Point3& point, const double& best,
              Visit&& visit) const;

    // The same walk, calling start(WalkStart) once the base cell is known, before the first
    // row: there the visitor may look up a vertex known beforehand and lower best to it.
    template <typename Start, typename Visit>
    void walk(const Point3& origin, double cell_size, const Point3& point, const double& best,
              Start&& start, Visit&& visit) const;
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
