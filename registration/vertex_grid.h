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
// outermost cell on that side. Indices stand in ascending order within a cell. The grid refers
// to the HR positions by index and never copies them.
struct VertexGrid {
    static constexpr int cells_per_axis = 100;
    static constexpr std::int64_t cell_count =
        std::int64_t{cells_per_axis} * cells_per_axis * cells_per_axis;

    // Cell (i, j, k) is number (i * 100 + j) * 100 + k; its indices are
    // vertex_indices[cell_start[cell] .. cell_start[cell + 1]). Both empty = an empty grid.
    std::vector<std::int64_t> cell_start;
    std::vector<std::int64_t> vertex_indices;

    bool is_empty() const { return vertex_indices.empty(); }
    void clear()
    {
        std::vector<std::int64_t>().swap(cell_start);
        std::vector<std::int64_t>().swap(vertex_indices);
    }

    // Visits the cells around the base cell of point in the order of cell_offset_table(). For
    // every row, visit(D, begin, end) receives the squared bound D = (d c)^2 in square
    // millimetres and the row's indices (an empty range for a cell outside the grid or empty),
    // and returns false to stop the walk. The base cell is the truncated (not clamped) cell
    // of point, so a point outside the box walks from a cell outside the grid; when no row can
    // reach a cell of the grid (or the grid is empty) nothing is visited, since nothing could
    // be found.
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
} // namespace vertex_grid_detail

template <typename Visit>
void VertexGrid::walk(const Point3& origin, double cell_size, const Point3& point,
                      Visit&& visit) const
{
    std::array<std::int64_t, 3> base{};
    if (is_empty() || !vertex_grid_detail::base_cell(origin, cell_size, point, base))
        return;
    const std::vector<CellOffset>& table = cell_offset_table();
    const std::int64_t* const none = nullptr;
    const std::vector<std::int64_t>& steps = vertex_grid_detail::cell_offset_steps();
    const std::int64_t base_number = (base[0] * cells_per_axis + base[1]) * cells_per_axis + base[2];
    // When the whole 31-cell cube lies inside the grid no row needs a bounds check.
    const bool inside = base[0] >= 15 && base[0] < cells_per_axis - 15 && base[1] >= 15 &&
                        base[1] < cells_per_axis - 15 && base[2] >= 15 &&
                        base[2] < cells_per_axis - 15;
    const std::int64_t* const starts = cell_start.data();
    const std::int64_t* const indices = vertex_indices.data();
    const std::size_t rows = table.size();
    for (std::size_t r = 0; r < rows; ++r) {
        const CellOffset& row = table[r];
        const double bound = row.d * cell_size;
        const std::int64_t* begin = none;
        const std::int64_t* end = none;
        if (inside || (static_cast<std::uint64_t>(base[0] + row.dx) < cells_per_axis &&
                       static_cast<std::uint64_t>(base[1] + row.dy) < cells_per_axis &&
                       static_cast<std::uint64_t>(base[2] + row.dz) < cells_per_axis)) {
            const std::int64_t cell = base_number + steps[r];
            begin = indices + starts[cell];
            end = indices + starts[cell + 1];
        }
        if (!visit(bound * bound, begin, end))
            return;
    }
}
