#include "registration/vertex_grid_walk.h"

#include "state/working_state.h"
#include "surface/c_locale.h"

#include <algorithm>
#include <limits>
#include <tuple>

namespace {

using vertex_grid_detail::slab_gap2;
constexpr int table_reach = 15;
constexpr double unreachable = 1e10;

std::vector<CellOffset> make_cell_offset_table()
{
    std::vector<CellOffset> table;
    table.reserve(31 * 31 * 31);
    const auto gap = [](std::int64_t offset) {
        const std::int64_t g = std::max<std::int64_t>(offset < 0 ? -offset - 1 : offset - 1, 0);
        return static_cast<double>(g * g);
    };
    for (std::int64_t dx = -table_reach; dx <= table_reach; ++dx)
        for (std::int64_t dy = -table_reach; dy <= table_reach; ++dy)
            for (std::int64_t dz = -table_reach; dz <= table_reach; ++dz) {
                const double d = std::sqrt(gap(dx) + gap(dy) + gap(dz));
                table.push_back({dx, dy, dz, std::round(d * 1e6) / 1e6});
            }
    std::sort(table.begin(), table.end(), [](const CellOffset& a, const CellOffset& b) {
        return std::tie(a.d, a.dx, a.dy, a.dz) < std::tie(b.d, b.dx, b.dy, b.dz);
    });
    return table;
}

// Slab index along one axis for filling: the offset in slabs truncated towards zero, clamped
// to 0..count - 1.
std::int64_t clamped_slab(double offset, std::int64_t count)
{
    if (!(offset >= 1.0))
        return 0; // also negative offsets and NaN
    if (offset >= static_cast<double>(count - 1))
        return count - 1;
    return static_cast<std::int64_t>(offset);
}

constexpr double infinity = std::numeric_limits<double>::infinity();
constexpr std::int64_t last_cell = VertexGrid::cells_per_axis - 1;

// Slabs per axis for a crowded cell of n vertices: on a surface about sqrt(n / 64) of them
// give sub-cells of some twenty to forty vertices, which measured fastest, as a run of vertices
// is scanned quickly and every sub-cell looked at costs its bound. Never more sub-cells than
// 8 n.
int divisions_for(std::int64_t n)
{
    auto s = std::clamp<std::int64_t>(std::llround(std::sqrt(static_cast<double>(n) / 64.0)), 2,
                                      vertex_grid_detail::most_divisions);
    while (s > 2 && s * s * s > 8 * n)
        --s;
    return static_cast<int>(s);
}

// Vertex v's offsets from the grid's origin, in cells.
struct CellOffsets {
    const std::vector<Point3>& positions;
    Point3 low;
    double cell_size;
    std::array<double, 3> operator()(std::int64_t v) const
    {
        const Point3& p = positions[static_cast<std::size_t>(v)];
        return {(p.x - low.x) / cell_size, (p.y - low.y) / cell_size, (p.z - low.z) / cell_size};
    }
};

// Groups the indices of each crowded cell by sub-cell, keeping their order within each, and
// records where each sub-cell's run ends. Without a crowded cell the sub-cell tables stay empty,
// sparing a table entry per cell.
void split_crowded_cells(VertexGrid& grid, const CellOffsets& offsets_of)
{
    bool crowded = false;
    for (std::size_t c = 0; c + 1 < grid.cell_start.size() && !crowded; ++c)
        crowded = grid.cell_start[c + 1] - grid.cell_start[c] > vertex_grid_detail::most_whole;
    if (!crowded) {
        grid.part_start.clear();
        return;
    }
    grid.part_start.assign(grid.cell_start.size(), 0);
    std::vector<std::uint32_t> counts;
    std::vector<std::int64_t> keys;
    std::vector<std::int64_t> grouped;
    for (std::int64_t cell = 0; cell < VertexGrid::cell_count; ++cell) {
        const auto c = static_cast<std::size_t>(cell);
        grid.part_start[c] = static_cast<std::uint32_t>(grid.part_ends.size());
        const std::int64_t first = grid.cell_start[c];
        const std::int64_t n = std::int64_t{grid.cell_start[c + 1]} - first;
        if (n <= vertex_grid_detail::most_whole)
            continue;
        const int s = divisions_for(n);
        const std::int64_t place[3] = {
            cell / (VertexGrid::cells_per_axis * VertexGrid::cells_per_axis),
            cell / VertexGrid::cells_per_axis % VertexGrid::cells_per_axis,
            cell % VertexGrid::cells_per_axis};
        std::int64_t* const indices = grid.vertex_indices.data() + first;
        // A counting sort by sub-cell keeps the index order within each.
        counts.assign(static_cast<std::size_t>(s * s * s) + 1, 0);
        keys.resize(static_cast<std::size_t>(n));
        for (std::int64_t i = 0; i < n; ++i) {
            const std::array<double, 3> f = offsets_of(indices[i]);
            std::int64_t key = 0;
            for (std::size_t axis = 0; axis < 3; ++axis)
                key = key * s + clamped_slab((f[axis] - static_cast<double>(place[axis])) * s, s);
            keys[static_cast<std::size_t>(i)] = key;
            ++counts[static_cast<std::size_t>(key) + 1];
        }
        for (std::size_t key = 1; key < counts.size(); ++key)
            counts[key] += counts[key - 1];
        grouped.resize(static_cast<std::size_t>(n));
        for (std::int64_t i = 0; i < n; ++i)
            grouped[counts[static_cast<std::size_t>(keys[static_cast<std::size_t>(i)])]++] =
                indices[i];
        std::copy(grouped.begin(), grouped.end(), indices);
        // counts[key] is now the end of sub-cell key's run.
        grid.part_ends.push_back(static_cast<std::uint32_t>(s));
        grid.part_ends.insert(grid.part_ends.end(), counts.begin(), counts.end() - 1);
    }
    grid.part_start.back() = static_cast<std::uint32_t>(grid.part_ends.size());
    if (grid.part_ends.empty())
        grid.part_start.clear();
}

} // namespace

const std::vector<CellOffset>& cell_offset_table()
{
    static const std::vector<CellOffset> table = make_cell_offset_table();
    return table;
}

namespace vertex_grid_detail {

bool base_cell(const Point3& origin, double cell_size, const Point3& point,
               std::array<std::int64_t, 3>& cell)
{
    const double offsets[3] = {(point.x - origin.x) / cell_size, (point.y - origin.y) / cell_size,
                               (point.z - origin.z) / cell_size};
    // trunc(q) lies in -15..114, the cells from which some row reaches the grid, exactly when
    // q lies in (-16, 115).
    constexpr double low = -table_reach - 1;
    constexpr double high = VertexGrid::cells_per_axis + table_reach;
    for (int axis = 0; axis < 3; ++axis) {
        if (!(offsets[axis] > low && offsets[axis] < high))
            return false;
        cell[static_cast<std::size_t>(axis)] = static_cast<std::int64_t>(offsets[axis]);
    }
    return true;
}

WalkGeometry walk_geometry(const Point3& origin, double cell_size, const Point3& point)
{
    WalkGeometry geometry;
    geometry.origin = {origin.x, origin.y, origin.z};
    geometry.point = {point.x, point.y, point.z};
    geometry.cell_size = cell_size;
    geometry.per_cell_size = 1.0 / cell_size;
    // Filing and the bounds round differently; 1e-9 of the magnitudes involved is far more
    // than either rounding and far less than any cell that matters.
    for (std::size_t axis = 0; axis < 3; ++axis)
        geometry.margin[axis] = 1e-9 * (std::fabs(geometry.origin[axis]) +
                                        std::fabs(geometry.point[axis]) + 101.0 * cell_size);
    return geometry;
}

const WalkTables& walk_tables()
{
    static const WalkTables tables = [] {
        WalkTables result;
        result.rows = &cell_offset_table();
        result.ranks.resize(result.rows->size());
        for (std::size_t r = 0; r < result.rows->size(); ++r) {
            const CellOffset& row = (*result.rows)[r];
            result.steps.push_back((row.dx * VertexGrid::cells_per_axis + row.dy) *
                                       VertexGrid::cells_per_axis +
                                   row.dz);
            result.reaches.push_back(static_cast<std::uint8_t>(
                std::max({std::abs(row.dx), std::abs(row.dy), std::abs(row.dz)})));
            result.ranks[static_cast<std::size_t>(
                ((row.dx + table_reach) * 31 + row.dy + table_reach) * 31 + row.dz + table_reach)] =
                static_cast<std::uint16_t>(r);
        }
        return result;
    }();
    return tables;
}

SubCellGaps::SubCellGaps(const WalkGeometry& geometry, std::int64_t cell, int s)
    : geometry_(geometry), s_(s), width_(1.0 / s)
{
    constexpr std::int64_t n = VertexGrid::cells_per_axis;
    cell_ = {cell / (n * n), cell / n % n, cell % n};
    for (std::size_t axis = 0; axis < 3; ++axis) {
        // The slab the point falls into, or the outermost on its side; then down the gaps to
        // the smallest, in case rounding put the point one slab off.
        const double t = ((geometry.point[axis] - geometry.origin[axis]) * geometry.per_cell_size -
                          static_cast<double>(cell_[axis])) *
                         s;
        int a = t >= static_cast<double>(s - 1) ? s - 1 : t > 0.0 ? static_cast<int>(t) : 0;
        low_[axis] = high_[axis] = a;
        gaps_[axis][static_cast<std::size_t>(a)] = work_out(axis, a);
        while (a > 0 && gap(axis, a - 1) < gap(axis, a))
            --a;
        while (a < s - 1 && gap(axis, a + 1) < gap(axis, a))
            ++a;
        nearest_[axis] = a;
    }
}

double SubCellGaps::work_out(std::size_t axis, int a) const
{
    const double c = geometry_.cell_size;
    const double o = geometry_.origin[axis];
    const auto i = static_cast<double>(cell_[axis]);
    const double low = cell_[axis] == 0 && a == 0 ? -infinity : o + (i + a * width_) * c;
    const double high =
        cell_[axis] == last_cell && a == s_ - 1 ? infinity : o + (i + (a + 1) * width_) * c;
    return slab_gap2(geometry_.point[axis], low, high, geometry_.margin[axis]);
}

} // namespace vertex_grid_detail

bool WalkStart::find(std::int64_t k, WalkPlace& place) const
{
    if (k < 0 || static_cast<std::size_t>(k) >= grid.vertex_cells.size())
        return false;
    constexpr std::int64_t n = VertexGrid::cells_per_axis;
    const std::int64_t cell = grid.vertex_cells[static_cast<std::size_t>(k)];
    const std::int64_t offsets[3] = {cell / (n * n) - base[0], cell / n % n - base[1],
                                     cell % n - base[2]};
    std::int64_t key = 0;
    for (const std::int64_t offset : offsets) {
        if (offset < -table_reach || offset > table_reach)
            return false;
        key = key * 31 + offset + table_reach;
    }
    const vertex_grid_detail::WalkTables& tables = vertex_grid_detail::walk_tables();
    place.rank = tables.ranks[static_cast<std::size_t>(key)];
    place.bound2 = place.rank < vertex_grid_detail::block_rows
                       ? 0.0
                       : vertex_grid_detail::row_bound2((*tables.rows)[place.rank], cell_size);
    place.position = &grid.cell_positions[grid.vertex_entries[static_cast<std::size_t>(k)]];
    return true;
}

SearchRangeScale search_range_scale(double cell_size)
{
    const double e = 24.289916 * cell_size;
    SearchRangeScale scale;
    double units = 10.0;
    int exponent = 1;
    double g = std::trunc(e * units);
    while (g < 60.0) {
        units *= 10.0;
        ++exponent;
        g = std::trunc(e * units);
    }
    while (g > 999.0) {
        units /= 10.0;
        --exponent;
        g = std::trunc(e * units);
    }
    scale.units = units;
    scale.exponent = exponent;
    scale.maximum = static_cast<int>(g);
    return scale;
}

std::string search_range_label(int exponent)
{
    switch (exponent) {
    case 2:
        return "Search range (x0.01 mm)";
    case 1:
        return "Search range (x0.1 mm)";
    case 0:
        return "Search range (mm)";
    case -1:
        return "Search range (x10 mm)";
    case -2:
        return "Search range (x100 mm)";
    default:
        if (exponent >= 3)
            return c_format("Search range (x10^-%d mm)", exponent);
        return c_format("Search range (x10^%d mm)", -exponent);
    }
}

SearchRangeScale build_vertex_grid(WorkingState& state)
{
    const Surface& hr = *state.hr_surface;
    const Point3& low = hr.bbox_min;
    const Point3& high = hr.bbox_max;
    const double extent = std::max({-1.0, high.x - low.x, high.y - low.y, high.z - low.z});
    double cell_size = extent / 100.0;
    if (!(cell_size >= smallest_grid_cell_size))
        cell_size = smallest_grid_cell_size;
    else if (!std::isfinite(cell_size))
        cell_size = std::numeric_limits<double>::max() / 100.0;
    state.grid_cell_size = cell_size;

    const SearchRangeScale scale = search_range_scale(cell_size);
    state.range_units = scale.units;

    // The grid's arrays are filled anew, keeping the memory of a previous grid.
    VertexGrid& grid = state.vertex_grid;
    grid.part_ends.clear();
    const std::vector<Point3>& positions = hr.shown_positions();
    const auto vertex_count = static_cast<std::int64_t>(positions.size());
    const CellOffsets offsets_of{positions, low, cell_size};
    const auto cell_of = [&offsets_of](std::int64_t v) {
        std::int64_t cell = 0;
        for (const double offset : offsets_of(v))
            cell = cell * VertexGrid::cells_per_axis +
                   clamped_slab(offset, VertexGrid::cells_per_axis);
        return static_cast<std::size_t>(cell);
    };
    // A counting sort in place: cell_start[c] counts cell c's vertices, then holds the end of
    // its run; filing the vertices from the last one down moves it to the run's start and keeps
    // each cell's indices ascending.
    grid.cell_start.assign(static_cast<std::size_t>(VertexGrid::cell_count + 1), 0);
    for (std::int64_t v = 0; v < vertex_count; ++v)
        ++grid.cell_start[cell_of(v)];
    for (std::size_t c = 1; c < grid.cell_start.size(); ++c)
        grid.cell_start[c] += grid.cell_start[c - 1];
    grid.vertex_indices.resize(positions.size());
    grid.vertex_cells.resize(positions.size());
    for (std::int64_t v = vertex_count - 1; v >= 0; --v) {
        const std::size_t cell = cell_of(v);
        grid.vertex_indices[--grid.cell_start[cell]] = v;
        grid.vertex_cells[static_cast<std::size_t>(v)] = static_cast<std::uint32_t>(cell);
    }
    if (grid.vertex_indices.empty()) {
        grid.clear();
        return scale;
    }
    split_crowded_cells(grid, offsets_of);
    grid.cell_positions.resize(grid.vertex_indices.size());
    grid.vertex_entries.resize(grid.vertex_indices.size());
    for (std::size_t i = 0; i < grid.vertex_indices.size(); ++i) {
        const auto v = static_cast<std::size_t>(grid.vertex_indices[i]);
        grid.cell_positions[i] = positions[v];
        grid.vertex_entries[v] = static_cast<std::uint32_t>(i);
    }
    return scale;
}

std::int32_t find_closest_vertex(const WorkingState& state, const Surface& surface,
                                 const Point3& point)
{
    double best = unreachable;
    std::int64_t result = 0;
    if (&surface == state.lr_surface) {
        const std::vector<Point3>& positions = surface.positions;
        for (std::size_t v = 0; v < positions.size(); ++v) {
            const double s = squared_distance(point, positions[v]);
            if (s < best) {
                best = s;
                result = static_cast<std::int64_t>(v);
            }
        }
        return static_cast<std::int32_t>(result);
    }
    WalkOrderTie best_place;
    state.vertex_grid.walk(
        surface.bbox_min, state.grid_cell_size, point, best, [&](const GridWalkRow& row) {
            if (row.cell_distance2 > best)
                return true; // nothing nearer in this cell
            row.for_each_run(
                best, [&](const std::int64_t* indices, const Point3* positions, std::size_t count) {
                    if (take_nearest_of_run(point, row.rank, indices, positions, count, best,
                                            best_place))
                        result = best_place.index;
                });
            return true;
        });
    return static_cast<std::int32_t>(result);
}
