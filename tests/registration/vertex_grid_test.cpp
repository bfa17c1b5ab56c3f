#include "registration/vertex_grid.h"

#include "state/working_state.h"
#include "tests/registration/pair_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <tuple>

namespace {

// An HR surface made of loose points only (no triangles).
void load_hr_points(WorkingState& state, const std::vector<Point3>& points)
{
    Mesh mesh;
    mesh.positions = points;
    load_pair(state, mesh, mesh);
}

// The grid's own answer by brute force: the smallest squared distance, ties broken by the table
// row of the vertex's cell seen from the query's base cell, then by the lower index.
std::int64_t oracle_closest(const WorkingState& state, const Point3& q)
{
    const Surface& hr = *state.hr_surface;
    const double c = state.grid_cell_size;
    static const auto row_of = [] {
        std::map<std::tuple<std::int64_t, std::int64_t, std::int64_t>, std::size_t> rows;
        const std::vector<CellOffset>& table = cell_offset_table();
        for (std::size_t r = 0; r < table.size(); ++r)
            rows[{table[r].dx, table[r].dy, table[r].dz}] = r;
        return rows;
    }();
    const auto cell = [&](double v, double low, bool clamp) {
        auto k = static_cast<std::int64_t>((v - low) / c);
        return clamp ? std::clamp<std::int64_t>(k, 0, 99) : k;
    };
    const std::int64_t bi = cell(q.x, hr.bbox_min.x, false), bj = cell(q.y, hr.bbox_min.y, false),
                       bk = cell(q.z, hr.bbox_min.z, false);
    std::tuple<double, std::size_t, std::int64_t> best{1e10, 0, 0};
    for (std::size_t v = 0; v < hr.positions.size(); ++v) {
        const Point3& p = hr.positions[v];
        const auto row =
            row_of.find({cell(p.x, hr.bbox_min.x, true) - bi, cell(p.y, hr.bbox_min.y, true) - bj,
                         cell(p.z, hr.bbox_min.z, true) - bk});
        if (row == row_of.end())
            continue;
        best = std::min(best, {squared_distance(q, p), row->second, static_cast<std::int64_t>(v)});
    }
    return std::get<0>(best) < 1e10 ? std::get<2>(best) : 0;
}

} // namespace

TEST(CellOffsetTable, HoldsEveryOffsetOnceInBoundOrder)
{
    const std::vector<CellOffset>& table = cell_offset_table();
    ASSERT_EQ(table.size(), 29791u);
    std::set<std::tuple<std::int64_t, std::int64_t, std::int64_t>> offsets;
    std::set<double> bounds;
    for (std::size_t r = 0; r < table.size(); ++r) {
        offsets.insert({table[r].dx, table[r].dy, table[r].dz});
        bounds.insert(table[r].d);
        if (r > 0) {
            EXPECT_LT(std::tie(table[r - 1].d, table[r - 1].dx, table[r - 1].dy, table[r - 1].dz),
                      std::tie(table[r].d, table[r].dx, table[r].dy, table[r].dz));
        }
    }
    EXPECT_EQ(offsets.size(), 29791u);
    EXPECT_EQ(bounds.size(), 347u);
    // The 3 x 3 x 3 block first, in lexicographic order, all at bound 0.
    std::size_t r = 0;
    for (int dx = -1; dx <= 1; ++dx)
        for (int dy = -1; dy <= 1; ++dy)
            for (int dz = -1; dz <= 1; ++dz, ++r) {
                EXPECT_EQ(std::tie(table[r].dx, table[r].dy, table[r].dz),
                          std::make_tuple(std::int64_t{dx}, std::int64_t{dy}, std::int64_t{dz}));
                EXPECT_EQ(table[r].d, 0.0);
            }
    EXPECT_EQ(std::tie(table[27].dx, table[27].dy, table[27].dz),
              std::make_tuple(std::int64_t{-2}, std::int64_t{-1}, std::int64_t{-1}));
    EXPECT_EQ(table[27].d, 1.0);
    const std::int64_t corners[8][3] = {{-15, -15, -15}, {-15, -15, 15}, {-15, 15, -15},
                                        {-15, 15, 15},   {15, -15, -15}, {15, -15, 15},
                                        {15, 15, -15},   {15, 15, 15}};
    for (int k = 0; k < 8; ++k) {
        const CellOffset& row = table[table.size() - 8 + static_cast<std::size_t>(k)];
        EXPECT_EQ(std::tie(row.dx, row.dy, row.dz),
                  std::tie(corners[k][0], corners[k][1], corners[k][2]));
        EXPECT_EQ(row.d, 24.248711);
    }
}

TEST(SearchRangeScale, PowerOfTenPutsTheMaximumIn60To999)
{
    struct Case {
        double largest_extent; // mm
        double units;
        int maximum;
        const char* label;
    };
    const Case cases[] = {
        {100.0, 10.0, 242, "Search range (x0.1 mm)"}, // e = 24.29 mm
        {30.0, 10.0, 72, "Search range (x0.1 mm)"},
        {10.0, 100.0, 242, "Search range (x0.01 mm)"}, // ten times smaller
        {1.0, 1000.0, 242, "Search range (x10^-3 mm)"},
        {0.1, 1e4, 242, "Search range (x10^-4 mm)"}, // a thousand times smaller
        {1000.0, 1.0, 242, "Search range (mm)"},
        {10000.0, 0.1, 242, "Search range (x10 mm)"}, // 100 times larger
        {100000.0, 0.01, 242, "Search range (x100 mm)"},
        {1e6, 0.001, 242, "Search range (x10^3 mm)"},
        {0.0, 1e7, 242, "Search range (x10^-7 mm)"}, // one point: the smallest cell
    };
    for (const Case& c : cases) {
        WorkingState state;
        load_hr_points(state, {{0, 0, 0}, {c.largest_extent, c.largest_extent / 2, 0}});
        const SearchRangeScale scale = build_vertex_grid(state);
        EXPECT_NEAR(state.range_units, c.units, c.units * 1e-12) << c.largest_extent;
        EXPECT_EQ(scale.maximum, c.maximum) << c.largest_extent;
        EXPECT_EQ(search_range_label(scale.exponent), c.label) << c.largest_extent;
        EXPECT_GT(state.grid_cell_size, 0.0);
    }
}

TEST(VertexGrid, FillsCellsInIndexOrderClampedAtTheFaces)
{
    WorkingState state;
    // Box 0..100 on x (cell 1 mm); the vertex on the maximum face lands in cell 99.
    load_hr_points(state, {{100, 0, 0}, {0.5, 0.5, 0.5}, {99.999, 0, 0}, {0.0, 0.1, 0.0}});
    const VertexGrid& grid = state.vertex_grid;
    const auto cell = [&](std::int64_t i, std::int64_t j, std::int64_t k) {
        const std::int64_t n = (i * 100 + j) * 100 + k;
        return std::vector<std::int64_t>(
            grid.vertex_indices.begin() + grid.cell_start[static_cast<std::size_t>(n)],
            grid.vertex_indices.begin() + grid.cell_start[static_cast<std::size_t>(n + 1)]);
    };
    EXPECT_EQ(state.grid_cell_size, 1.0);
    EXPECT_EQ(cell(99, 0, 0), (std::vector<std::int64_t>{0, 2}));
    EXPECT_EQ(cell(0, 0, 0), (std::vector<std::int64_t>{1, 3}));
    EXPECT_EQ(grid.vertex_indices.size(), 4u);
}

TEST(FindClosestVertex, AgreesWithBruteForceIncludingTies)
{
    // Points on a lattice, many of them repeated, so that equal distances are common; queries on
    // the same lattice and half-way between, also beyond the points. Two corners fix the box
    // at 0..50 (cell 0.5 mm). Sparse: a 0.25 mm lattice over the box. Dense: a 1/16 mm lattice
    // over 20..21, about 350 points to a cell, split into sub-cells whose faces hold lattice
    // points. Crowded: a 1/64 mm lattice over 49..50, about 400 points to a cell, in the
    // grid's top corner, its last points on the box's faces.
    struct Case {
        const char* name;
        double low;
        double step;
        int steps;
        bool split; // some cell is split into sub-cells
    };
    const Case cases[] = {{"sparse", 0.0, 0.25, 200, false},
                          {"dense", 20.0, 0.0625, 16, true},
                          {"crowded", 49.0, 1.0 / 64, 64, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WorkingState state;
        std::mt19937 random(12345);
        std::uniform_int_distribution<int> lattice(0, c.steps);
        std::uniform_int_distribution<int> beyond(0, c.steps + c.steps / 5);
        const auto on_lattice = [&] { return c.low + c.step * lattice(random); };
        std::vector<Point3> points;
        for (int v = 0; v < 3000; ++v)
            points.push_back({on_lattice(), on_lattice(), on_lattice()});
        for (int v = 0; v < 300; ++v)
            points.push_back(points[static_cast<std::size_t>(v * 7)]); // duplicates, later index
        points.push_back({0, 0, 0});
        points.push_back({50, 50, 50});
        load_hr_points(state, points);
        ASSERT_EQ(state.grid_cell_size, 0.5);
        EXPECT_EQ(!state.vertex_grid.part_ends.empty(), c.split);
        int ties = 0;
        const double from = c.low - c.step * (c.steps / 10);
        const auto beyond_lattice = [&] { return from + c.step * beyond(random); };
        for (int q = 0; q < 2000; ++q) {
            const Point3 query{beyond_lattice() + (q % 2) * c.step / 2, beyond_lattice(),
                               beyond_lattice()};
            const std::int64_t expected = oracle_closest(state, query);
            const std::int32_t found = find_closest_vertex(state, *state.hr_surface, query);
            ASSERT_EQ(found, expected) << query.x << " " << query.y << " " << query.z;
            const double d = squared_distance(query, points[static_cast<std::size_t>(found)]);
            ties += std::count_if(points.begin(), points.end(), [&](const Point3& p) {
                        return squared_distance(query, p) == d;
                    }) > 1;
        }
        EXPECT_GT(ties, 100); // the ties were really exercised
    }
}

TEST(FindClosestVertex, TieBreaksByTableRowThenIndex)
{
    WorkingState state;
    // Cell size 1 mm. From (5.5, 5.5, 5.5) the vertices at 4.5 and 6.5 on x are equally far;
    // the one at 4.5 lies in offset (-1, 0, 0), a table row before (1, 0, 0), even though its
    // index is higher. Two copies of one point: the lower index wins.
    load_hr_points(
        state,
        {{0, 0, 0}, {6.5, 5.5, 5.5}, {4.5, 5.5, 5.5}, {100, 100, 100}, {20, 20, 20}, {20, 20, 20}});
    EXPECT_EQ(find_closest_vertex(state, *state.hr_surface, {5.5, 5.5, 5.5}), 2);
    EXPECT_EQ(find_closest_vertex(state, *state.hr_surface, {20.2, 20, 20}), 4);
}

TEST(FindClosestVertex, ReachAndTheLrSurface)
{
    WorkingState state;
    load_hr_points(state, {{0, 0, 0}, {100, 100, 100}, {50, 50, 50}});
    Surface& hr = *state.hr_surface;
    // Within 15 cells of the query's cell only vertex 2 can be found; one farther is not.
    EXPECT_EQ(find_closest_vertex(state, hr, {60, 50, 50}), 2);
    EXPECT_EQ(find_closest_vertex(state, hr, {50, 50, 67.5}), 0); // 17 cells away: nothing
    EXPECT_EQ(find_closest_vertex(state, hr, {5000, 0, 0}), 0);   // far outside the grid
    EXPECT_EQ(find_closest_vertex(state, hr, {NAN, 0, 0}), 0);
    // The LR record is searched over its positions as read, whatever it shows.
    Surface& lr = *state.lr_surface;
    lr.deformed_positions = {{100, 100, 100}, {0, 0, 0}, {50, 50, 50}};
    lr.shown = ShownShape::deformed;
    EXPECT_EQ(find_closest_vertex(state, lr, {99, 99, 99}), 1);
    EXPECT_EQ(find_closest_vertex(state, lr, {1e6, 0, 0}), 0); // beyond 1e10 squared: none
}
