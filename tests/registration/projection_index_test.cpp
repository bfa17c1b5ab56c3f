// The projection indexes against the scans they replace: the same hit of every line with a
// surface's triangles, the same nearest vertex, on random queries and on queries made to tie.
#include "registration/projection_index.h"

#include "registration/projection.h"
#include "state/working_state.h"
#include "tests/registration/pair_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace {

// Bit for bit the same place (the point named by point), triangle and weights.
template <typename Place>
void expect_same_place(const Place& indexed, const Place& scanned, Point3 Place::*point,
                       const std::string& where)
{
    EXPECT_EQ((indexed.*point).x, (scanned.*point).x) << where;
    EXPECT_EQ((indexed.*point).y, (scanned.*point).y) << where;
    EXPECT_EQ((indexed.*point).z, (scanned.*point).z) << where;
    EXPECT_EQ(indexed.triangle, scanned.triangle) << where;
    EXPECT_EQ(indexed.weights, scanned.weights) << where;
}

// Bit for bit the same hit: found, distance, point, triangle and weights.
void expect_same_hit(const LineHit& indexed, const LineHit& scanned, const std::string& where)
{
    EXPECT_EQ(indexed.found, scanned.found) << where;
    EXPECT_EQ(indexed.distance, scanned.distance) << where;
    expect_same_place(indexed, scanned, &LineHit::point, where);
}

// The same place of a projected point.
void expect_same_projection(const Landmark& indexed, const Landmark& scanned,
                            const std::string& where)
{
    expect_same_place(indexed, scanned, &Landmark::position, where);
}

Point3 random_direction(std::mt19937& random)
{
    std::normal_distribution<double> normal(0.0, 1.0);
    return {normal(random), normal(random), normal(random)};
}

// A unit square lattice in z = 0 with every triangle twice (so every hit ties with a later
// copy), three thin slivers hovering above it at z = 1 (too thin to file, met first by the
// lines dropped through them), a degenerate triangle and one whose corner lies outside the
// positions: lines through lattice points and along the axes meet edges and corners shared by
// several triangles at exactly the same distance.
Mesh tie_lattice()
{
    Mesh mesh = flat_grid(6.0, 7);
    const std::size_t count = mesh.triangles.size();
    for (std::size_t t = 0; t < count; ++t)
        mesh.triangles.push_back(mesh.triangles[t]);
    for (std::int64_t k = 0; k < 3; ++k) {
        const auto first = static_cast<std::int64_t>(mesh.positions.size());
        const double x = 2.0 * static_cast<double>(k);
        for (const Point3& p :
             {Point3{x, 0.2, 1.0}, Point3{x + 2.0, 0.2, 1.0}, Point3{x + 0.5, 0.2 + 1e-5, 1.0}})
            mesh.positions.push_back(p);
        mesh.triangles.push_back(triangle(first, first + 1, first + 2));
    }
    mesh.triangles.push_back(triangle(3, 3, 10));
    mesh.triangles.push_back(triangle(3, 4, 1000));
    return mesh;
}

// Two copies of the lattice, at z = 0 (first in triangle order) and z = 2: a line from
// z = 1 meets both at the same distance, one ahead and one behind, and the walk that goes out
// from the point must still reach the earlier one whichever side it lies on.
Mesh two_sheets()
{
    Mesh mesh = flat_grid(6.0, 7);
    const auto offset = static_cast<std::int64_t>(mesh.positions.size());
    const std::size_t count = mesh.triangles.size();
    for (std::size_t v = 0; v < static_cast<std::size_t>(offset); ++v)
        mesh.positions.push_back(mesh.positions[v] + Point3{0.0, 0.0, 2.0});
    for (std::size_t t = 0; t < count; ++t) {
        const auto [a, b, c] = mesh.triangles[t].vertex;
        mesh.triangles.push_back(triangle(a + offset, b + offset, c + offset));
    }
    return mesh;
}

// A fine lattice 100 wide with one triangle over nearly all of it at z = 0.5, which spans
// far more cells along an axis than most triangles do.
Mesh wide_over_fine()
{
    Mesh mesh = flat_grid(100.0, 301);
    const auto first = static_cast<std::int64_t>(mesh.positions.size());
    for (const Point3& p :
         {Point3{-1.0, -1.0, 0.5}, Point3{101.0, 2.0, 0.5}, Point3{3.0, 99.0, 0.5}})
        mesh.positions.push_back(p);
    mesh.triangles.push_back(triangle(first, first + 1, first + 2));
    return mesh;
}

TEST(TriangleGrid, FindsTheScansHitOnRandomAndOnTyingLines)
{
    struct Case {
        const char* surface;
        Mesh mesh;
    };
    const Case cases[] = {
        {"open bone", open_procedural_bone(1)},
        {"tying lattice", tie_lattice()},
        {"sphere, off the origin", icosphere(3, 20.0, {300.0, -40.0, 12.0})},
        {"two sheets", two_sheets()},
        {"fine lattice under a triangle across hundreds of cells", wide_over_fine()},
    };
    std::mt19937 random(17);
    for (const Case& c : cases) {
        const TriangleGrid grid = build_triangle_grid(c.mesh.positions, c.mesh.triangles);
        ASSERT_TRUE(grid.is_usable) << c.surface;
        std::vector<std::pair<Point3, Point3>> lines;
        std::uniform_int_distribution<std::size_t> vertex(0, c.mesh.positions.size() - 1);
        std::normal_distribution<double> offset(0.0, 2.0);
        for (int k = 0; k < 300; ++k) {
            const Point3 near = c.mesh.positions[vertex(random)] +
                                Point3{offset(random), offset(random), offset(random)};
            lines.emplace_back(near, 30.0 * random_direction(random));
        }
        // Lines through lattice points, edge midpoints and cell centres along the axes and the
        // diagonals, from above, below and beside the surface.
        for (int i = -1; i <= 13; ++i)
            for (const Point3& d : {Point3{0, 0, 4}, Point3{0, 0, -4}, Point3{1, 1, 1},
                                    Point3{1, 0, 0}, Point3{0, 2, 0}})
                for (const double z : {3.0, 1.0})
                    lines.emplace_back(Point3{0.5 * i, 0.25 * i, z}, d);
        // Down through each sliver, which lies nearer than the lattice below it.
        for (int k = 0; k < 3; ++k)
            lines.emplace_back(Point3{2.0 * k + 1.0, 0.2 + 3e-6, 3.0}, Point3{0, 0, -4});
        // Far away, along the normal of nothing in particular, and a zero direction.
        lines.emplace_back(Point3{1e4, -2e4, 3e3}, Point3{-1, 2, -0.3});
        lines.emplace_back(c.mesh.positions[0], Point3{});
        for (std::size_t k = 0; k < lines.size(); ++k) {
            const auto& [p, d] = lines[k];
            expect_same_hit(nearest_line_hit(grid, c.mesh.positions, c.mesh.triangles, p, d),
                            nearest_line_hit(c.mesh.positions, c.mesh.triangles, p, d),
                            std::string(c.surface) + ", line " + std::to_string(k));
        }
    }
}

TEST(TriangleGrid, HandsEveryLineToTheTrianglesItCannotFileAndLeavesNeverHitOnesOut)
{
    const Mesh mesh = tie_lattice();
    const TriangleGrid grid = build_triangle_grid(mesh.positions, mesh.triangles);
    // The three slivers; the degenerate triangle and the one with a missing corner go nowhere.
    const auto slivers = static_cast<std::uint32_t>(mesh.triangles.size() - 5);
    EXPECT_EQ(grid.every_line, (std::vector<std::uint32_t>{slivers, slivers + 1, slivers + 2}));
    // So the line through a sliver finds it, not the lattice below.
    const LineHit hit =
        nearest_line_hit(grid, mesh.positions, mesh.triangles, {3.0, 0.2 + 3e-6, 3.0}, {0, 0, -4});
    EXPECT_EQ(hit.triangle, mesh.triangles[slivers + 1].vertex);
    std::vector<int> seen(mesh.triangles.size(), 0);
    ASSERT_TRUE(grid.for_each_candidate({3.0, 3.0, 1.0}, {0.0, 0.0, -1.0},
                                        [&](std::uint32_t t) { ++seen[t]; }));
    EXPECT_EQ(seen[mesh.triangles.size() - 2], 0);
    EXPECT_EQ(seen[mesh.triangles.size() - 1], 0);
    EXPECT_FALSE(
        grid.for_each_candidate({std::nan(""), 0.0, 0.0}, {0.0, 0.0, 1.0}, [](std::uint32_t) {}));
}

TEST(PointGrid, FindsTheScansNearestVertexWithTiesToTheLowerIndex)
{
    // Integer lattice points, each position twice (the later copy must never win), a point that
    // is not finite and one far out; queries on half-integer spots lie equally far from two,
    // four or eight vertices.
    std::vector<Point3> positions;
    for (int x = 0; x < 6; ++x)
        for (int y = 0; y < 5; ++y)
            for (int z = 0; z < 3; ++z)
                positions.push_back({double(x), double(y), double(z)});
    const std::size_t lattice = positions.size();
    for (std::size_t i = 0; i < lattice; i += 3)
        positions.push_back(positions[i]);
    positions.push_back({std::numeric_limits<double>::infinity(), 0.0, 0.0});
    positions.push_back({std::nan(""), 1.0, 1.0});
    positions.push_back({40.0, -30.0, 20.0});

    std::vector<Point3> queries;
    for (int x = -2; x <= 13; ++x)
        for (int y = -1; y <= 10; y += 3)
            for (int z = -2; z <= 6; z += 2)
                queries.push_back({0.5 * x, 0.5 * y, 0.5 * z});
    std::mt19937 random(5);
    std::uniform_real_distribution<double> anywhere(-20.0, 60.0);
    for (int k = 0; k < 200; ++k)
        queries.push_back({anywhere(random), anywhere(random), anywhere(random)});
    // Beyond sqrt(1e10) from everything: no vertex at all; not finite: none either.
    queries.push_back({2e5, 0.0, 0.0});
    queries.push_back({std::nan(""), 0.0, 0.0});
    queries.push_back({0.0, -std::numeric_limits<double>::infinity(), 0.0});

    const PointGrid grid = build_point_grid(positions);
    ASSERT_TRUE(grid.is_usable);
    for (const Point3& q : queries)
        EXPECT_EQ(grid.nearest(positions, q), nearest_by_scan(positions, q))
            << q.x << " " << q.y << " " << q.z;
    EXPECT_EQ(build_point_grid({}).nearest({}, {1.0, 2.0, 3.0}), 0);
}

TEST(ProjectionIndexes, FollowTheRecordsFromOneLoadToTheNext)
{
    // The HR record goes through its index; a copy of it outside the working state is projected
    // by the scans alone. A second pair loaded into the same state must not meet the index of
    // the first.
    WorkingState state;
    std::mt19937 random(3);
    std::normal_distribution<double> offset(0.0, 1.5);
    Matrix4 turn;
    make_transform(turn, 0.5, -1.0, 2.0, 4.0, -3.0, 5.0);
    for (const Mesh& hr :
         {open_procedural_bone(2), transformed_mesh(open_procedural_bone(2), turn)}) {
        load_pair(state, open_procedural_bone(1), hr);
        const Surface copy = *state.hr_surface;
        std::uniform_int_distribution<std::size_t> vertex(0, copy.positions.size() - 1);
        for (int k = 0; k < 100; ++k) {
            const Point3 p = copy.positions[vertex(random)] +
                             Point3{offset(random), offset(random), offset(random)};
            expect_same_projection(project_onto_surface(state, *state.hr_surface, p),
                                   project_onto_surface(state, copy, p), std::to_string(k));
        }
    }
}

TEST(ProjectionIndexes, PutPointsByTheRimOnDenseAndOnVerticesWhereTheScansPutThem)
{
    // A cap whose rings crowd towards the pole, loaded as both surfaces: points beyond its rim
    // (where the line along the normal misses the surface or meets it farther than the
    // vertex), points on its vertices, and points around the crowded pole.
    const int rings = 30, segments = 300;
    const Mesh cap = spherical_cap(20.0, 80.0, rings, segments);
    WorkingState state;
    load_pair(state, cap, cap);
    std::vector<Point3> queries;
    for (int s = 0; s < segments; s += 7) {
        const Point3& rim = cap.positions[static_cast<std::size_t>(1 + (rings - 1) * segments + s)];
        const Point3 outward{rim.x, rim.y, 0.0};
        for (const double step : {0.0, 1e-3, 0.05, 0.5, 3.0})
            for (const double z : {-0.5, 0.0, 0.3})
                queries.push_back(rim + step / 20.0 * outward + Point3{0.0, 0.0, z});
    }
    for (std::size_t v = 0; v < 3 * segments; v += 5) {
        queries.push_back(cap.positions[v]);
        queries.push_back(1.0001 * cap.positions[v]);
        queries.push_back(0.999 * cap.positions[v] + Point3{1e-3, 0.0, 0.0});
    }
    for (const Surface* surface : {state.lr_surface, state.hr_surface}) {
        const Surface copy = *surface;
        for (std::size_t k = 0; k < queries.size(); ++k) {
            expect_same_projection(project_onto_surface(state, *surface, queries[k]),
                                   project_onto_surface(state, copy, queries[k]),
                                   (surface == state.lr_surface ? "LR " : "HR ") +
                                       std::to_string(k));
        }
    }
}

} // namespace
