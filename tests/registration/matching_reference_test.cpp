// Matching against a plain reference: the walk over the whole cell table in its order, every
// cell's vertices in index order, each candidate tested as the rules state, nothing skipped
// that the rules do not skip. The grid's shortcuts (sub-cells, gaps, the previous match as a
// first bound, runs scanned at once) must give the very same matches, distances and flags on
// inputs chosen to trip them: equal distances, duplicates, queries outside the grid or far
// from every vertex, empty cells, a range of 0, every vertex in one cell, stale previous
// matches.
#include "registration/family_transform.h"
#include "registration/matching.h"
#include "registration/registration_type.h"
#include "registration/vertex_grid.h"
#include "state/working_state.h"
#include "surface/matrix4.h"
#include "tests/registration/pair_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

struct Matches {
    std::vector<std::int64_t> index;
    std::vector<double> distance2;
    std::vector<std::uint8_t> fussy;
};

// The HR vertex indices of every cell, each list in index order, as filing lays them out:
// cell n holds vertices[start[n] .. start[n + 1]).
struct ReferenceCells {
    std::vector<std::size_t> start;
    std::vector<std::int64_t> vertices;
};

ReferenceCells reference_cells(const WorkingState& state)
{
    const Surface& hr = *state.hr_surface;
    const double c = state.grid_cell_size;
    const auto slab = [c](double v, double low) -> std::size_t {
        const double q = (v - low) / c;
        if (!(q >= 1.0))
            return 0;
        return q >= 99.0 ? 99 : static_cast<std::size_t>(q);
    };
    const std::vector<Point3>& positions = hr.shown_positions();
    std::vector<std::size_t> cell_of(positions.size());
    ReferenceCells cells;
    cells.start.assign(100 * 100 * 100 + 1, 0);
    for (std::size_t k = 0; k < positions.size(); ++k) {
        const Point3& p = positions[k];
        cell_of[k] = (slab(p.x, hr.bbox_min.x) * 100 + slab(p.y, hr.bbox_min.y)) * 100 +
                     slab(p.z, hr.bbox_min.z);
        ++cells.start[cell_of[k] + 1];
    }
    for (std::size_t n = 1; n < cells.start.size(); ++n)
        cells.start[n] += cells.start[n - 1];
    std::vector<std::size_t> next(cells.start.begin(), cells.start.end() - 1);
    cells.vertices.resize(positions.size());
    for (std::size_t k = 0; k < positions.size(); ++k)
        cells.vertices[next[cell_of[k]]++] = static_cast<std::int64_t>(k);
    return cells;
}

// One matching as the rules describe it, from the state before the call.
Matches reference_matching(const WorkingState& state, const ReferenceCells& cells, int pass,
                           const MatchControls& controls)
{
    const Surface& lr = *state.lr_surface;
    const Surface& hr = *state.hr_surface;
    Matches out{lr.match_index, lr.match_distance2, lr.fussy};
    const double range = controls.search_range / state.range_units;
    const double r2 = range * range;
    const double c = state.grid_cell_size;
    const Matrix4 t = lr_to_hr_file_transform(lr, hr, state.current_transform);
    const std::vector<Point3>& hr_positions = hr.shown_positions();
    const std::vector<Point3>& hr_normals = hr.shown_normals();
    for (std::size_t i = 0; i < lr.positions.size(); ++i) {
        const Point3 p = transformed(t, lr.shown_positions()[i]);
        const Point3 n =
            normalized(linear_part_applied(state.current_transform, lr.shown_normals()[i]));
        const Point3 rim =
            normalized(linear_part_applied(state.current_transform, lr.rim_direction[i]));
        const bool tested = pass == 1 || lr.fussy[i] != 0;
        const double abs_curvature = std::fabs(lr.curvature[i]);
        const auto normal_test = [&](std::size_t k, double v) {
            if (!(dot(hr_normals[k], n) > 0.707))
                return false;
            return v < 9.0 || std::fabs(std::fabs(hr.curvature[k]) - abs_curvature) < 0.025;
        };
        // The value with which HR vertex k is accepted, or false.
        const auto accepts = [&](std::size_t k, double best, double& value) {
            const Point3 g = p - hr_positions[k];
            const double s = dot(g, g);
            const Point3 u = normalized(g);
            if (controls.rim_mode == rims_to_rims && lr.on_rim[i]) {
                const double e = hr.on_rim[k] ? s : 1e10;
                if (!(e < best))
                    return false;
                if (tested) {
                    const Point3& hr_rim = hr.rim_direction[k];
                    if (e > 1.0 && std::fabs(dot(u, rim)) > 0.707 &&
                        std::fabs(dot(u, hr_rim)) > 0.707)
                        return false;
                    if (std::fabs(dot(hr_rim, rim)) < 0.707 || !normal_test(k, e))
                        return false;
                }
                value = e;
                return true;
            }
            if (!(s < best))
                return false;
            if (tested) {
                if (s >= 1.0 &&
                    !(std::fabs(dot(u, n)) > 0.707 || std::fabs(dot(u, hr_normals[k])) > 0.707))
                    return false;
                if (!normal_test(k, s))
                    return false;
            }
            value = s;
            return true;
        };
        double best = 1e10;
        out.distance2[i] = 1e10;
        const double q[3] = {(p.x - hr.bbox_min.x) / c, (p.y - hr.bbox_min.y) / c,
                             (p.z - hr.bbox_min.z) / c};
        // Far enough out no row reaches the grid; the bound only keeps the conversion defined.
        if (!std::all_of(q, q + 3, [](double v) { return std::fabs(v) < 1e6; }))
            continue;
        const auto bi = static_cast<std::int64_t>(q[0]), bj = static_cast<std::int64_t>(q[1]),
                   bk = static_cast<std::int64_t>(q[2]);
        for (const CellOffset& row : cell_offset_table()) {
            const double bound = row.d * c;
            const double d2 = bound * bound;
            if (d2 > r2) {
                if (best > d2)
                    best = out.distance2[i] = 1e10;
                break;
            }
            if (d2 > best)
                break;
            const std::int64_t x = bi + row.dx, y = bj + row.dy, z = bk + row.dz;
            if (x < 0 || x > 99 || y < 0 || y > 99 || z < 0 || z > 99)
                continue;
            const auto cell = static_cast<std::size_t>((x * 100 + y) * 100 + z);
            for (std::size_t e = cells.start[cell]; e < cells.start[cell + 1]; ++e) {
                const std::int64_t k = cells.vertices[e];
                double value = 0.0;
                if (accepts(static_cast<std::size_t>(k), best, value)) {
                    best = out.distance2[i] = value;
                    out.index[i] = k;
                }
            }
        }
        if (controls.rim_mode == rims_no && r2 > best && out.index[i] >= 0 &&
            out.index[i] < hr.vertex_count && hr.on_rim[static_cast<std::size_t>(out.index[i])])
            best = out.distance2[i] = 1e10;
    }
    // The flags by the percentile of the matched distances.
    const int f = controls.fussy_percent;
    std::vector<double> matched;
    for (const double d2 : out.distance2)
        if (d2 < 1e10)
            matched.push_back(d2);
    std::sort(matched.begin(), matched.end());
    // At 0 and 100 every flag is set alike; between them P = L[floor((100 - f) |L| / 100)].
    const bool alike = f == 0 || f == 100;
    const double percentile =
        alike || matched.empty()
            ? 0.0
            : matched[static_cast<std::size_t>((100 - f) *
                                               static_cast<std::int64_t>(matched.size()) / 100)];
    for (std::size_t i = 0; i < out.fussy.size(); ++i)
        out.fussy[i] = alike ? f == 100 : out.distance2[i] > percentile;
    return out;
}

// Normals, rims and curvatures drawn from a few values each, so that the tests meet their
// thresholds both ways and equal distances stay common.
void decorate(Surface& surface, std::mt19937& random)
{
    const Point3 directions[] = {{0, 0, 1}, {0, 0, -1}, {1, 0, 0}, {0.6, 0.8, 0}, {0, 0, 0}};
    std::uniform_int_distribution<int> pick(0, 4);
    const auto n = static_cast<std::size_t>(surface.vertex_count);
    surface.normals.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        surface.normals[i] = directions[pick(random) % 4];
        surface.on_rim[i] = pick(random) == 0;
        surface.rim_direction[i] = directions[pick(random)];
        surface.curvature[i] = 0.01 * pick(random) - 0.02;
    }
    surface.deformed_normals = surface.normals;
}

struct Scene {
    const char* name;
    std::function<std::vector<Point3>(std::mt19937&)> hr;
    std::function<std::vector<Point3>(std::mt19937&)> lr;
};

// Points on a lattice of step `step` from `low`, `count` of them, with some repeated.
std::vector<Point3> lattice_points(std::mt19937& random, double low, double step, int steps,
                                   int count)
{
    std::uniform_int_distribution<int> at(0, steps);
    std::vector<Point3> points;
    for (int v = 0; v < count; ++v)
        points.push_back(
            {low + step * at(random), low + step * at(random), low + step * at(random)});
    for (int v = 0; v < count / 10; ++v)
        points.push_back(points[static_cast<std::size_t>(v * 7 % count)]);
    return points;
}

std::vector<Point3> with_corners(std::vector<Point3> points, double low, double high)
{
    points.push_back({low, low, low});
    points.push_back({high, high, high});
    return points;
}

} // namespace

TEST(MatchVertices, AgreesWithTheReferenceWalkOnHostileInputs)
{
    const Scene scenes[] = {
        // Box 0..50, cell 0.5 mm; queries on and half-way between the lattice, a fifth of them
        // beyond the box, and some far out and not finite.
        {"lattice with duplicates",
         [](std::mt19937& r) { return with_corners(lattice_points(r, 0, 0.25, 200, 2000), 0, 50); },
         [](std::mt19937& r) {
             std::vector<Point3> points = lattice_points(r, -10, 0.125, 560, 200);
             points.push_back({500, 25, 25});
             points.push_back({25, 25, -200});
             points.push_back({NAN, 25, 25});
             points.push_back({1e300, 0, 0});
             return points;
         }},
        // Thousands of vertices in one cell of a 1 mm grid, which is split into sub-cells.
        {"one crowded cell",
         [](std::mt19937& r) {
             return with_corners(lattice_points(r, 50, 1.0 / 16, 16, 600), 0, 100);
         },
         [](std::mt19937& r) { return lattice_points(r, 49, 1.0 / 32, 96, 200); }},
        // Every HR vertex at one point: the smallest cell, all vertices in cell 0.
        {"one point",
         [](std::mt19937&) {
             return std::vector<Point3>(50, Point3{3, 4, 5});
         },
         [](std::mt19937& r) {
             std::vector<Point3> points = lattice_points(r, 3, 1e-7, 40, 300);
             points.push_back({3, 4, 5});
             points.push_back({3, 4, 6});
             return points;
         }},
        // Few vertices in a large box: most cells empty, most walks long.
        {"sparse",
         [](std::mt19937& r) { return with_corners(lattice_points(r, 0, 2.5, 40, 150), 0, 100); },
         [](std::mt19937& r) { return lattice_points(r, -5, 1.25, 88, 100); }},
    };
    for (const Scene& scene : scenes) {
        SCOPED_TRACE(scene.name);
        std::mt19937 random(1234);
        WorkingState state;
        Mesh hr, lr;
        hr.positions = scene.hr(random);
        lr.positions = scene.lr(random);
        load_pair(state, lr, hr);
        Surface& lr_surface = *state.lr_surface;
        // No centring, so that the LR points far out or not finite move only themselves.
        lr_surface.to_centred = identity_matrix();
        state.hr_surface->from_centred = identity_matrix();
        decorate(lr_surface, random);
        decorate(*state.hr_surface, random);
        // Previous matches that are stale or out of range serve only as hints.
        std::uniform_int_distribution<std::int64_t> stale(-3, state.hr_surface->vertex_count + 3);
        for (std::int64_t& k : lr_surface.match_index)
            k = stale(random);
        const ReferenceCells cells = reference_cells(state);
        const int largest = search_range_scale(state.grid_cell_size).maximum;
        int compared = 0;
        for (const int rim_mode : {rims_yes, rims_no, rims_to_rims})
            for (const int range : {0, largest / 8, largest})
                for (const int fussy : {0, 10, 100}) {
                    SCOPED_TRACE(testing::Message() << "rims " << rim_mode << " range " << range
                                                    << " fussy " << fussy);
                    const MatchControls controls{fussy, rim_mode, range};
                    // A pose that moves a little between the matchings, as iterations do,
                    // so that each starts from the matches of the one before.
                    for (int step = 0; step < 2; ++step) {
                        make_transform(state.current_transform, 0.01 * step, -0.02 * step,
                                       0.015 * step, 0.1 * step, 0.0, -0.05 * step);
                        for (const int pass : {1, 0}) {
                            const Matches expected =
                                reference_matching(state, cells, pass, controls);
                            match_vertices(state, pass, controls);
                            ASSERT_EQ(lr_surface.match_index, expected.index);
                            ASSERT_EQ(0, std::memcmp(lr_surface.match_distance2.data(),
                                                     expected.distance2.data(),
                                                     expected.distance2.size() * sizeof(double)));
                            ASSERT_EQ(lr_surface.fussy, expected.fussy);
                            ++compared;
                        }
                    }
                }
        EXPECT_EQ(compared, 3 * 3 * 3 * 2 * 2);
    }
}

// The table's bounds are rounded to 6 places, some of them up: a vertex can lie nearer than
// the bound of its row. The walk then stops before that row once it holds a vertex nearer than
// the bound, even one farther than the vertex beyond it; a previous match in such a row must
// not stand in for the walk.
TEST(MatchVertices, APreviousMatchNearerThanItsRowsRoundedBoundIsNoShortcut)
{
    // Cell 1 mm. From q, vertex p lies in offset (2, 2, 0), whose bound sqrt(2) is rounded up
    // to 1.414214, and vertex c in offset (2, 0, 0) of bound 1, a little farther than p but
    // nearer than the rounded bound.
    const Point3 q{50.9999999999, 50.9999999999, 50.5};
    const Point3 p{52, 52, 50.5};
    const Point3 c{q.x + std::sqrt(2.0000005), q.y, q.z};
    const auto row =
        std::find_if(cell_offset_table().begin(), cell_offset_table().end(),
                     [](const CellOffset& r) { return r.dx == 2 && r.dy == 2 && r.dz == 0; });
    const double bound2 = row->d * row->d;
    ASSERT_LT(squared_distance(q, p), squared_distance(q, c));
    ASSERT_LT(squared_distance(q, c), bound2);
    WorkingState state;
    Mesh lr, hr;
    lr.positions = {q};
    hr.positions = {{0, 0, 0}, {100, 100, 100}, p, c};
    load_pair(state, lr, hr);
    state.lr_surface->to_centred = identity_matrix();
    state.hr_surface->from_centred = identity_matrix();
    ASSERT_EQ(state.grid_cell_size, 1.0);
    state.lr_surface->match_index[0] = 2; // p, as if matched before
    match_vertices(state, 0, MatchControls{0, rims_yes, 100});
    EXPECT_EQ(state.lr_surface->match_index[0], 3);
    EXPECT_EQ(state.lr_surface->match_distance2[0], squared_distance(q, c));
}
