#include "registration/projection_index.h"

#include "surface/thread_pool.h"

#include <algorithm>
#include <limits>

namespace {

// Squared distances from this on are no match at all.
constexpr double unreachable = 1e10;
// Coordinates beyond this are left to the scans: their squares overflow.
constexpr double largest_coordinate = 1e100;
constexpr std::uint64_t most_items = std::numeric_limits<std::uint32_t>::max();

// A triangle is filed only when the angle at its first corner is far from 0 and 180 degrees:
// |n|^2 >= thin_limit (|e1|^2 + |e2|^2)^2. Then rounding moves the barycentric weights of a hit
// by less than 1e-6, and its point by less than 2e-6 of the longest edge, which the widening of
// its box (box_widening of its diagonal) covers five times over.
constexpr double thin_limit = 1e-6;
constexpr double box_widening = 1e-5;
// Triangles are shaped and filed over the threads in blocks of this many.
constexpr std::size_t triangles_per_block = 4096;
constexpr std::size_t vertices_per_block = 8192;
// Cells of vertices are sorted over the threads in blocks of this many.
constexpr std::size_t cells_per_sorting_block = 2048;

double magnitude(const Point3& p)
{
    return std::max({std::fabs(p.x), std::fabs(p.y), std::fabs(p.z)});
}

Point3 lowest(const Point3& a, const Point3& b)
{
    return {std::min(a.x, b.x), std::min(a.y, b.y), std::min(a.z, b.z)};
}

Point3 highest(const Point3& a, const Point3& b)
{
    return {std::max(a.x, b.x), std::max(a.y, b.y), std::max(a.z, b.z)};
}

// The box around points, and their largest coordinate magnitude.
struct Bounds {
    Point3 low{std::numeric_limits<double>::max(), std::numeric_limits<double>::max(),
               std::numeric_limits<double>::max()};
    Point3 high = -1.0 * low;
    double scale = 0.0;

    void take(const Point3& p)
    {
        scale = std::max(scale, magnitude(p));
        low = lowest(low, p);
        high = highest(high, p);
    }
};

double cells_of(const std::array<double, 3>& extent, double c)
{
    double cells = 1.0;
    for (const double e : extent)
        cells *= std::floor(e / c) + 1.0;
    return cells;
}

// Lays cubic cells over the box from low to high: the finest edge, not below smallest, that
// keeps the number of cells at most most_cells.
void lay_cells(CellLists& cells, const Point3& low, const Point3& high, double most_cells,
               double smallest)
{
    const std::array<double, 3> extent{high.x - low.x, high.y - low.y, high.z - low.z};
    double c = std::max({extent[0], extent[1], extent[2], smallest});
    if (!(c > 0.0))
        c = 1.0;
    while (c / 1.25 >= smallest && cells_of(extent, c / 1.25) <= most_cells)
        c /= 1.25;
    cells.low = low;
    cells.cell_size = c;
    for (std::size_t axis = 0; axis < 3; ++axis)
        cells.counts[axis] = static_cast<std::int64_t>(std::floor(extent[axis] / c)) + 1;
    cells.cell_start.assign(
        static_cast<std::size_t>(cells.counts[0] * cells.counts[1] * cells.counts[2]) + 1, 0);
}

// With cell_start[n + 1] holding the number of entries of cell n: the starts summed up, room
// for the entries made, and where each cell's next entry goes.
std::vector<std::uint32_t> open_cells(CellLists& cells, std::size_t item_count)
{
    for (std::size_t n = 1; n < cells.cell_start.size(); ++n)
        cells.cell_start[n] += cells.cell_start[n - 1];
    cells.items.resize(item_count);
    return {cells.cell_start.begin(), cells.cell_start.end() - 1};
}

// What becomes of each triangle in the grid.
enum class Filing : std::uint8_t { never_hit, every_line, filed };

struct TriangleShape {
    Filing filing = Filing::never_hit;
    Point3 low, high; // the box, for a filed triangle
};

TriangleShape shape_of(const std::vector<Point3>& corners, const Triangle& triangle)
{
    TriangleShape shape;
    const auto count = static_cast<std::int64_t>(corners.size());
    const auto [a, b, c] = triangle.vertex;
    if (a < 0 || b < 0 || c < 0 || a >= count || b >= count || c >= count)
        return shape;
    const Point3& A = corners[static_cast<std::size_t>(a)];
    const Point3& B = corners[static_cast<std::size_t>(b)];
    const Point3& C = corners[static_cast<std::size_t>(c)];
    // The same edges and cross product as the hit test: a zero one there is never hit.
    const Point3 e1 = B - A;
    const Point3 e2 = C - A;
    const Point3 n = cross(e1, e2);
    const double n2 = dot(n, n);
    if (n2 == 0.0)
        return shape;
    const double spread = dot(e1, e1) + dot(e2, e2);
    if (!is_finite(A) || !is_finite(B) || !is_finite(C) || !(n2 >= thin_limit * spread * spread)) {
        shape.filing = Filing::every_line;
        return shape;
    }
    shape.filing = Filing::filed;
    shape.low = lowest(lowest(A, B), C);
    shape.high = highest(highest(A, B), C);
    return shape;
}

// The filed triangle's box widened by its own share and by rounding of coordinates of scale.
void widen(TriangleShape& shape, double scale)
{
    const Point3 diagonal = shape.high - shape.low;
    const double pad = box_widening * std::sqrt(dot(diagonal, diagonal)) + 1e-12 * scale;
    shape.low = shape.low - Point3{pad, pad, pad};
    shape.high = shape.high + Point3{pad, pad, pad};
}

// The cells that the box from low to high overlaps, first and last along each axis.
struct CellRange {
    std::array<std::uint32_t, 3> first{}, last{};
};

CellRange cell_range(const CellLists& cells, const Point3& low, const Point3& high)
{
    CellRange range;
    const std::array<double, 3> from{low.x, low.y, low.z};
    const std::array<double, 3> to{high.x, high.y, high.z};
    for (std::size_t axis = 0; axis < 3; ++axis) {
        range.first[axis] = static_cast<std::uint32_t>(cells.slab(axis, from[axis]));
        range.last[axis] = static_cast<std::uint32_t>(cells.slab(axis, to[axis]));
    }
    return range;
}

// Calls take(cell number) for each cell of range.
template <typename Take>
void for_each_cell(const CellLists& cells, const CellRange& range, Take&& take)
{
    for (std::int64_t x = range.first[0]; x <= range.last[0]; ++x)
        for (std::int64_t y = range.first[1]; y <= range.last[1]; ++y)
            for (std::int64_t z = range.first[2]; z <= range.last[2]; ++z)
                take(static_cast<std::size_t>(cells.number(x, y, z)));
}

// A cell range in a third of the room, for the many triangles that span few cells: the number
// of its first cell and how many cells further it reaches along each axis. One that reaches
// farther than a byte holds is marked wide and worked out again where it is needed.
struct ShortRange {
    std::uint32_t first = 0;
    std::array<std::uint8_t, 3> further{};
    bool is_wide = false;
};

ShortRange short_range(const CellLists& cells, const CellRange& range)
{
    ShortRange result;
    result.first =
        static_cast<std::uint32_t>(cells.number(range.first[0], range.first[1], range.first[2]));
    for (std::size_t axis = 0; axis < 3; ++axis) {
        const std::uint32_t further = range.last[axis] - range.first[axis];
        result.is_wide = result.is_wide || further > 255;
        result.further[axis] = static_cast<std::uint8_t>(std::min<std::uint32_t>(further, 255));
    }
    return result;
}

// Calls take(cell number) for each cell of a range that is not wide.
template <typename Take>
void for_each_cell(const CellLists& cells, const ShortRange& range, Take&& take)
{
    const auto row = static_cast<std::size_t>(cells.counts[2]);
    const auto sheet = static_cast<std::size_t>(cells.counts[1]) * row;
    for (std::size_t x = 0; x <= range.further[0]; ++x)
        for (std::size_t y = 0; y <= range.further[1]; ++y)
            for (std::size_t z = 0; z <= range.further[2]; ++z)
                take(range.first + x * sheet + y * row + z);
}

// The number of blocks of per_block items that hold count items.
std::size_t blocks_of(std::size_t count, std::size_t per_block)
{
    return (count + per_block - 1) / per_block;
}

// Calls take(block, item) for items 0..count - 1, block by block over the threads.
template <typename Take>
void for_each_in_blocks(std::size_t count, std::size_t per_block, Take&& take)
{
    parallel_for_each(blocks_of(count, per_block), 1, [&](std::size_t b) {
        const std::size_t end = std::min(count, (b + 1) * per_block);
        for (std::size_t i = b * per_block; i < end; ++i)
            take(b, i);
    });
}

} // namespace

std::int64_t CellLists::slab(std::size_t axis, double x) const
{
    const double origin = axis == 0 ? low.x : axis == 1 ? low.y : low.z;
    const double offset = std::floor((x - origin) / cell_size);
    if (!(offset > 0.0))
        return 0; // also NaN
    const std::int64_t last = counts[axis] - 1;
    return offset >= static_cast<double>(last) ? last : static_cast<std::int64_t>(offset);
}

TriangleGrid build_triangle_grid(const std::vector<Point3>& corners,
                                 const std::vector<Triangle>& triangles)
{
    TriangleGrid grid;
    if (triangles.size() >= most_items)
        return grid;
    // The shapes and the cells of the triangles are worked out block by block over the threads;
    // what the blocks gather is summed in block order, and the cells are filled in triangle
    // order on the caller, so the grid is the same for every thread count.
    const std::size_t block_count = blocks_of(triangles.size(), triangles_per_block);
    const auto for_each_block = [&](auto&& take) {
        for_each_in_blocks(triangles.size(), triangles_per_block, take);
    };
    struct Gathered {
        Bounds bounds;
        double size_sum = 0.0;
        double largest_diagonal = 0.0;
        std::size_t filed = 0;
    };
    std::vector<Filing> filings(triangles.size());
    std::vector<Gathered> blocks(block_count);
    for_each_block([&](std::size_t b, std::size_t t) {
        const TriangleShape shape = shape_of(corners, triangles[t]);
        filings[t] = shape.filing;
        if (shape.filing != Filing::filed)
            return;
        Gathered& block = blocks[b];
        block.bounds.take(shape.low);
        block.bounds.take(shape.high);
        const Point3 size = shape.high - shape.low;
        block.size_sum += std::max({size.x, size.y, size.z});
        block.largest_diagonal = std::max(block.largest_diagonal, std::sqrt(dot(size, size)));
        ++block.filed;
    });
    Gathered all;
    for (const Gathered& block : blocks) {
        if (block.filed == 0)
            continue;
        all.bounds.take(block.bounds.low);
        all.bounds.take(block.bounds.high);
        all.size_sum += block.size_sum;
        all.largest_diagonal = std::max(all.largest_diagonal, block.largest_diagonal);
        all.filed += block.filed;
    }
    blocks = {};
    for (std::size_t t = 0; t < triangles.size(); ++t)
        if (filings[t] == Filing::every_line)
            grid.every_line.push_back(static_cast<std::uint32_t>(t));
    grid.scale = all.bounds.scale;
    if (!(grid.scale <= largest_coordinate))
        return grid;
    grid.is_usable = true;
    if (all.filed == 0)
        return grid;
    // The union of the widened boxes.
    const double widest = box_widening * all.largest_diagonal + 1e-12 * grid.scale;
    const Point3 low = all.bounds.low - Point3{widest, widest, widest};
    const Point3 high = all.bounds.high + Point3{widest, widest, widest};
    // Cells about as wide as a triangle, and no more cells than triangles.
    lay_cells(grid.cells, low, high, static_cast<double>(all.filed),
              all.size_sum / static_cast<double>(all.filed));

    // The cells of each filed triangle's widened box.
    const auto range_of = [&](std::size_t t) {
        TriangleShape shape = shape_of(corners, triangles[t]);
        widen(shape, grid.scale);
        return cell_range(grid.cells, shape.low, shape.high);
    };
    std::vector<ShortRange> ranges(triangles.size());
    for_each_block([&](std::size_t, std::size_t t) {
        if (filings[t] == Filing::filed)
            ranges[t] = short_range(grid.cells, range_of(t));
    });
    const auto for_each_filing = [&](auto&& take) {
        for (std::size_t t = 0; t < triangles.size(); ++t) {
            if (filings[t] != Filing::filed)
                continue;
            const auto take_t = [&](std::size_t n) { take(t, n); };
            if (ranges[t].is_wide)
                for_each_cell(grid.cells, range_of(t), take_t);
            else
                for_each_cell(grid.cells, ranges[t], take_t);
        }
    };
    std::uint64_t items = 0;
    for_each_filing([&](std::size_t, std::size_t n) {
        ++grid.cells.cell_start[n + 1];
        ++items;
    });
    if (items >= most_items) {
        grid = TriangleGrid{};
        return grid;
    }
    std::vector<std::uint32_t> next = open_cells(grid.cells, static_cast<std::size_t>(items));
    for_each_filing([&](std::size_t t, std::size_t n) {
        grid.cells.items[next[n]++] = static_cast<std::uint32_t>(t);
    });
    return grid;
}

PointGrid build_point_grid(const std::vector<Point3>& positions)
{
    PointGrid grid;
    if (positions.size() >= most_items)
        return grid;
    // Gathered block by block over the threads; boxes and counts merge alike in any order.
    struct Gathered {
        Bounds bounds;
        std::size_t finite = 0;
    };
    const std::size_t block_count = blocks_of(positions.size(), vertices_per_block);
    const auto for_each_block = [&](auto&& take) {
        for_each_in_blocks(positions.size(), vertices_per_block, take);
    };
    std::vector<Gathered> blocks(block_count);
    for_each_block([&](std::size_t b, std::size_t v) {
        if (is_finite(positions[v])) {
            blocks[b].bounds.take(positions[v]);
            ++blocks[b].finite;
        }
    });
    Bounds bounds;
    std::size_t finite = 0;
    for (const Gathered& block : blocks)
        if (block.finite > 0) {
            bounds.take(block.bounds.low);
            bounds.take(block.bounds.high);
            finite += block.finite;
        }
    grid.scale = bounds.scale;
    if (!(grid.scale <= largest_coordinate))
        return grid;
    grid.is_usable = true;
    if (finite == 0)
        return grid;
    const Point3 extent = bounds.high - bounds.low;
    lay_cells(grid.cells, bounds.low, bounds.high, static_cast<double>(finite),
              1e-9 * std::max({extent.x, extent.y, extent.z, grid.scale}) +
                  std::numeric_limits<double>::min());
    // The cell of each vertex over the threads; counted and filed in index order.
    constexpr std::uint32_t no_cell = std::numeric_limits<std::uint32_t>::max();
    std::vector<std::uint32_t> cell_of(positions.size());
    for_each_block([&](std::size_t, std::size_t v) {
        const Point3& p = positions[v];
        cell_of[v] =
            is_finite(p)
                ? static_cast<std::uint32_t>(grid.cells.number(
                      grid.cells.slab(0, p.x), grid.cells.slab(1, p.y), grid.cells.slab(2, p.z)))
                : no_cell;
    });
    for (const std::uint32_t n : cell_of)
        if (n != no_cell)
            ++grid.cells.cell_start[n + 1];
    std::vector<std::uint32_t> next = open_cells(grid.cells, finite);
    for (std::size_t v = 0; v < positions.size(); ++v)
        if (cell_of[v] != no_cell)
            grid.cells.items[next[cell_of[v]]++] = static_cast<std::uint32_t>(v);
    // Each cell's vertices by x, so that a search passes over those too far along x without
    // looking at them: where a surface is dense, one cell may hold hundreds.
    CellLists& g = grid.cells;
    const std::size_t cell_count = g.cell_start.size() - 1;
    parallel_for_each(
        (cell_count + cells_per_sorting_block - 1) / cells_per_sorting_block, 1,
        [&](std::size_t b) {
            const std::size_t end = std::min(cell_count, (b + 1) * cells_per_sorting_block);
            for (std::size_t n = b * cells_per_sorting_block; n < end; ++n)
                std::sort(g.items.begin() + g.cell_start[n], g.items.begin() + g.cell_start[n + 1],
                          [&positions](std::uint32_t v, std::uint32_t w) {
                              const double x = positions[v].x;
                              const double y = positions[w].x;
                              return x < y || (x == y && v < w);
                          });
        });
    return grid;
}

std::int64_t nearest_by_scan(const std::vector<Point3>& positions, const Point3& point)
{
    double best = unreachable;
    std::int64_t result = 0;
    for (std::size_t v = 0; v < positions.size(); ++v) {
        const double s = squared_distance(point, positions[v]);
        if (s < best) {
            best = s;
            result = static_cast<std::int64_t>(v);
        }
    }
    return result;
}

std::int64_t PointGrid::nearest(const std::vector<Point3>& positions, const Point3& point) const
{
    if (!is_usable)
        return nearest_by_scan(positions, point);
    // A point that is not finite is at no finite distance from anything.
    if (!is_finite(point) || cells.is_empty())
        return 0;
    const CellLists& g = cells;
    const std::array<std::int64_t, 3> base{g.slab(0, point.x), g.slab(1, point.y),
                                           g.slab(2, point.z)};
    // Filing and the base cell may each round a coordinate into the next cell.
    const double margin = 1e-9 * (scale + magnitude(point));
    double best = unreachable;
    std::int64_t result = 0;
    bool found = false;
    const std::array<double, 3> p{point.x, point.y, point.z};
    const std::array<double, 3> low{g.low.x, g.low.y, g.low.z};
    const auto take = [&](std::uint32_t v, double s) {
        // The lower index wins a tie, as in a scan in index order.
        if (s < best || (found && s == best && v < result)) {
            best = s;
            result = v;
            found = true;
        }
    };
    const auto scan_cell = [&](std::int64_t x, std::int64_t y, std::int64_t z) {
        // Not at all when the cell lies farther away than the nearest one yet.
        const std::array<std::int64_t, 3> cell{x, y, z};
        double gap2 = 0.0;
        for (std::size_t axis = 0; axis < 3; ++axis) {
            const double from = low[axis] + static_cast<double>(cell[axis]) * g.cell_size;
            const double gap =
                std::max({from - p[axis], p[axis] - (from + g.cell_size), 0.0}) - margin;
            if (gap > 0.0)
                gap2 += gap * gap;
        }
        if (gap2 > best)
            return;
        // Out from x along the cell's vertices sorted by x, on each side as far as the square
        // of the x difference alone (never above the squared distance) does not exceed the best.
        const auto n = static_cast<std::size_t>(g.number(x, y, z));
        const auto first = g.items.begin() + g.cell_start[n];
        const auto last = g.items.begin() + g.cell_start[n + 1];
        const auto middle = std::partition_point(
            first, last, [&](std::uint32_t v) { return positions[v].x < point.x; });
        for (auto e = middle; e != last; ++e) {
            const double dx = positions[*e].x - point.x;
            if (dx * dx > best)
                break;
            take(*e, squared_distance(point, positions[*e]));
        }
        for (auto e = middle; e != first;) {
            --e;
            const double dx = positions[*e].x - point.x;
            if (dx * dx > best)
                break;
            take(*e, squared_distance(point, positions[*e]));
        }
    };
    // Shells of cells r cells around the base cell; every vertex filed in shell r or beyond
    // lies at least (r - 1) cells away.
    for (std::int64_t r = 0;; ++r) {
        const double bound = std::max(0.0, static_cast<double>(r - 1) * g.cell_size - margin);
        if (bound * bound > best)
            break;
        std::array<std::int64_t, 3> first{}, last{};
        bool covers_grid = true;
        for (std::size_t axis = 0; axis < 3; ++axis) {
            first[axis] = std::max<std::int64_t>(0, base[axis] - r);
            last[axis] = std::min<std::int64_t>(g.counts[axis] - 1, base[axis] + r);
            covers_grid =
                covers_grid && base[axis] - r <= 0 && base[axis] + r >= g.counts[axis] - 1;
        }
        for (std::int64_t x = first[0]; x <= last[0]; ++x)
            for (std::int64_t y = first[1]; y <= last[1]; ++y) {
                const bool on_face =
                    x == base[0] - r || x == base[0] + r || y == base[1] - r || y == base[1] + r;
                if (on_face) {
                    for (std::int64_t z = first[2]; z <= last[2]; ++z)
                        scan_cell(x, y, z);
                    continue;
                }
                if (base[2] - r >= 0)
                    scan_cell(x, y, base[2] - r);
                if (r > 0 && base[2] + r < g.counts[2])
                    scan_cell(x, y, base[2] + r);
            }
        if (covers_grid)
            break;
    }
    return result;
}

ProjectionIndex& ProjectionIndexes::entry(std::size_t record, const Surface& surface) const
{
    ProjectionIndex& index = indexes_[record];
    if (index.positions != surface.positions.data() ||
        index.vertex_count != surface.positions.size() ||
        index.triangles != surface.triangles.data() ||
        index.triangle_count != surface.triangles.size()) {
        index = ProjectionIndex{};
        index.positions = surface.positions.data();
        index.vertex_count = surface.positions.size();
        index.triangles = surface.triangles.data();
        index.triangle_count = surface.triangles.size();
    }
    return index;
}

const TriangleGrid& ProjectionIndexes::triangle_grid(std::size_t record,
                                                     const Surface& surface) const
{
    ProjectionIndex& index = entry(record, surface);
    if (!index.triangle_grid)
        index.triangle_grid = std::make_unique<TriangleGrid>(
            build_triangle_grid(surface.positions, surface.triangles));
    return *index.triangle_grid;
}

const PointGrid& ProjectionIndexes::point_grid(std::size_t record, const Surface& surface) const
{
    ProjectionIndex& index = entry(record, surface);
    if (!index.point_grid)
        index.point_grid = std::make_unique<PointGrid>(build_point_grid(surface.positions));
    return *index.point_grid;
}

void ProjectionIndexes::clear()
{
    for (ProjectionIndex& index : indexes_)
        index = ProjectionIndex{};
}
