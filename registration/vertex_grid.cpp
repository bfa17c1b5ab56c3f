#include "registration/vertex_grid.h"

#include "app/working_state.h"
#include "surface/c_locale.h"

#include <algorithm>
#include <limits>
#include <tuple>

namespace {

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

// Cell index along one axis for filling: truncated towards zero, clamped to 0..99.
std::int64_t clamped_cell(double offset_in_cells)
{
    if (!(offset_in_cells >= 1.0))
        return 0; // also negative offsets and NaN
    if (offset_in_cells >= VertexGrid::cells_per_axis - 1)
        return VertexGrid::cells_per_axis - 1;
    return static_cast<std::int64_t>(offset_in_cells);
}

} // namespace

const std::vector<CellOffset>& cell_offset_table()
{
    static const std::vector<CellOffset> table = make_cell_offset_table();
    return table;
}

namespace vertex_grid_detail {

const std::vector<std::int64_t>& cell_offset_steps()
{
    static const std::vector<std::int64_t> steps = [] {
        std::vector<std::int64_t> result;
        for (const CellOffset& row : cell_offset_table())
            result.push_back((row.dx * VertexGrid::cells_per_axis + row.dy) *
                                 VertexGrid::cells_per_axis +
                             row.dz);
        return result;
    }();
    return steps;
}

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

void axis_gaps(const Point3& origin, double cell_size, const Point3& point,
               const std::array<std::int64_t, 3>& base, std::int64_t reach, AxisGaps& gaps)
{
    const double origins[3] = {origin.x, origin.y, origin.z};
    const double coordinates[3] = {point.x, point.y, point.z};
    constexpr double infinity = std::numeric_limits<double>::infinity();
    constexpr std::int64_t last = VertexGrid::cells_per_axis - 1;
    for (std::size_t axis = 0; axis < 3; ++axis) {
        const double o = origins[axis];
        const double p = coordinates[axis];
        // Filing and this bound round differently; 1e-9 of the magnitudes involved is far
        // more than either rounding and far less than any cell that matters.
        const double margin = 1e-9 * (std::fabs(o) + std::fabs(p) + 101.0 * cell_size);
        for (std::int64_t offset = -reach; offset <= reach; ++offset) {
            const std::int64_t cell = base[axis] + offset;
            double gap = 0.0;
            if (cell >= 0 && cell <= last) {
                const double low =
                    cell == 0 ? -infinity : o + static_cast<double>(cell) * cell_size;
                const double high =
                    cell == last ? infinity : o + static_cast<double>(cell + 1) * cell_size;
                gap = std::max({low - p, p - high, 0.0});
                gap = std::max(gap - margin, 0.0);
            }
            gaps[axis][static_cast<std::size_t>(offset + table_reach)] = gap * gap;
        }
    }
}

} // namespace vertex_grid_detail

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

    VertexGrid& grid = state.vertex_grid;
    const std::vector<Point3>& positions = hr.shown_positions();
    const auto vertex_count = static_cast<std::int64_t>(positions.size());
    std::vector<std::int64_t> cell_of(positions.size());
    grid.cell_start.assign(static_cast<std::size_t>(VertexGrid::cell_count + 1), 0);
    for (std::int64_t v = 0; v < vertex_count; ++v) {
        const Point3& p = positions[static_cast<std::size_t>(v)];
        const std::int64_t i = clamped_cell((p.x - low.x) / cell_size);
        const std::int64_t j = clamped_cell((p.y - low.y) / cell_size);
        const std::int64_t k = clamped_cell((p.z - low.z) / cell_size);
        const std::int64_t cell =
            (i * VertexGrid::cells_per_axis + j) * VertexGrid::cells_per_axis + k;
        cell_of[static_cast<std::size_t>(v)] = cell;
        ++grid.cell_start[static_cast<std::size_t>(cell + 1)];
    }
    for (std::size_t c = 1; c < grid.cell_start.size(); ++c)
        grid.cell_start[c] += grid.cell_start[c - 1];
    grid.vertex_indices.assign(positions.size(), 0);
    std::vector<std::int64_t> next(grid.cell_start.begin(), grid.cell_start.end() - 1);
    for (std::int64_t v = 0; v < vertex_count; ++v) {
        std::int64_t& slot = next[static_cast<std::size_t>(cell_of[static_cast<std::size_t>(v)])];
        grid.vertex_indices[static_cast<std::size_t>(slot++)] = v;
    }
    if (grid.vertex_indices.empty())
        grid.clear();
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
    const std::vector<Point3>& positions = surface.shown_positions();
    WalkOrderTie best_place;
    state.vertex_grid.walk(
        surface.bbox_min, state.grid_cell_size, point, [&](const GridWalkRow& row) {
            if (row.bound2 > best)
                return false;
            if (row.cell_distance2 > best)
                return true; // nothing nearer in this cell
            for (const std::int64_t* k = row.begin; k != row.end; ++k) {
                const double s = squared_distance(point, positions[static_cast<std::size_t>(*k)]);
                if (s < best || (s == best && best_place.is_after(row.rank, *k))) {
                    best = s;
                    best_place = {row.rank, *k};
                    result = *k;
                }
            }
            return true;
        });
    return static_cast<std::int32_t>(result);
}
