// Smoothed angle-deficit curvature on generated surfaces with known curvature, and on the
// degenerate meshes that must not poison it.
#include "analysis/gaussian_curvature.h"

#include "tests/fixtures/generated_surfaces.h"
#include "tests/fixtures/thread_count.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

std::vector<std::int64_t> listed(const VertexLists::List& list)
{
    return {list.begin(), list.end()};
}

constexpr double pi = 3.141592653589793;

} // namespace

// The estimate divides twice the angle deficit by the whole area of the incident triangles, so
// on a sphere of radius R it gives 2 / (3 R^2), two thirds of the true 1 / R^2.
TEST(GaussianCurvature, SphereIsUniformAndScalesWithTheRadius)
{
    for (const double radius : {1.0, 10.0}) {
        Surface sphere;
        fill_surface(sphere, icosphere(3, radius));
        compute_gaussian_curvature(sphere);
        ASSERT_EQ(sphere.curvature.size(), sphere.positions.size());
        const double expected = 2.0 / (3.0 * radius * radius);
        for (const double k : sphere.curvature)
            ASSERT_NEAR(k, expected, 0.03 * expected) << "radius " << radius;
    }
}

TEST(GaussianCurvature, FlatGridIsZeroInsideAndRimVerticesStartAtZero)
{
    // A plane's interior has no deficit; its border vertices do (a deficit of pi or 3 pi / 2),
    // unless they are rim vertices, which start the filtering at 0.
    Surface grid;
    fill_surface(grid, flat_grid(10.0, 11));
    const CurvatureMesh mesh = build_curvature_mesh(grid.positions, grid.triangles);
    std::vector<double> raw =
        raw_gaussian_curvature(mesh, grid.positions, grid.triangles, grid.on_rim);
    EXPECT_GT(raw[0], 1.0); // corner (0, 0)
    EXPECT_NEAR(raw[5 * 11 + 5], 0.0, 1e-12);

    for (std::size_t v = 0; v < grid.on_rim.size(); ++v) {
        const Point3& p = grid.positions[v];
        grid.on_rim[v] = p.x == 0.0 || p.y == 0.0 || p.x == 10.0 || p.y == 10.0;
    }
    raw = raw_gaussian_curvature(mesh, grid.positions, grid.triangles, grid.on_rim);
    for (const double k : raw)
        EXPECT_NEAR(k, 0.0, 1e-12);
    compute_gaussian_curvature(grid);
    for (const double k : grid.curvature)
        EXPECT_NEAR(k, 0.0, 1e-12);
}

TEST(GaussianCurvature, NeighbourhoodsListTheVertexFirstThenNeighboursInFirstAppearance)
{
    // A fan of three triangles about vertex 0, and vertex 4 used by none.
    const std::vector<Point3> positions = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {-1, 0, 0}, {5, 5, 5}};
    const std::vector<Triangle> triangles = {triangle(0, 1, 2), triangle(3, 0, 2)};
    const CurvatureMesh mesh = build_curvature_mesh(positions, triangles);
    EXPECT_EQ(listed(mesh.neighbourhoods[0]), (std::vector<std::int64_t>{0, 1, 2, 3}));
    EXPECT_EQ(listed(mesh.neighbourhoods[2]), (std::vector<std::int64_t>{2, 0, 1, 3}));
    EXPECT_EQ(listed(mesh.neighbourhoods[4]), (std::vector<std::int64_t>{4}));
    EXPECT_EQ(listed(mesh.incident[0]), (std::vector<std::int64_t>{0, 1}));
    const std::array<double, 3> sides = side_lengths(positions, triangles[0]);
    EXPECT_NEAR(triangle_corner_angle(sides, 0), pi / 2, 1e-12);
    EXPECT_NEAR(triangle_corner_angle(sides, 1), pi / 4, 1e-12);
    EXPECT_NEAR(triangle_area(sides), 0.5, 1e-12);

    // Median of four values is the mean of the middle two; of three, the middle one.
    const std::vector<double> values = {4.0, 1.0, 10.0, 2.0, 7.0};
    std::vector<double> out;
    median_filter_pass(mesh, values, out);
    EXPECT_DOUBLE_EQ(out[0], 3.0); // {4, 1, 10, 2}
    EXPECT_DOUBLE_EQ(out[1], 4.0); // {1, 4, 10}
    EXPECT_DOUBLE_EQ(out[4], 7.0); // itself alone
    mean_filter_pass(mesh, values, out);
    EXPECT_DOUBLE_EQ(out[0], 17.0 / 4.0);
    EXPECT_DOUBLE_EQ(out[4], 7.0);
}

TEST(GaussianCurvature, DegenerateTrianglesAndUnusedVerticesStayFinite)
{
    // A proper triangle, a collinear sliver whose Heron product rounds to about -6e-17, a
    // triangle with a zero-length edge, and vertex 4 used by no triangle.
    Mesh mesh;
    mesh.positions = {{0, 0, 0}, {1, 0, 1}, {0.1, 0, 0.1}, {0, 1, 0}, {100, 100, 100}};
    mesh.triangles = {triangle(0, 1, 3), triangle(0, 1, 2), triangle(3, 3, 1)};

    const auto sides = [&mesh](std::size_t t) {
        return side_lengths(mesh.positions, mesh.triangles[t]);
    };
    EXPECT_EQ(triangle_area(sides(1)), 0.0);
    for (const std::size_t corner : {0, 1, 2}) {
        EXPECT_TRUE(std::isfinite(triangle_corner_angle(sides(1), corner)));
        EXPECT_EQ(triangle_corner_angle(sides(2), corner), 0.0);
    }
    EXPECT_GT(triangle_area(sides(0)), 0.0);

    Surface surface;
    fill_surface(surface, mesh);
    compute_gaussian_curvature(surface);
    for (const double k : surface.curvature)
        EXPECT_TRUE(std::isfinite(k));
    EXPECT_EQ(surface.curvature[4], 0.0);
}

// A hub with more triangles than a short search serves, listed out of order and with a
// degenerate triangle naming the hub twice, on top of a sphere: the hub's neighbourhood keeps
// the first appearance of each vertex, and the mesh and the smoothed curvature are the same bits
// on one thread and on eight.
TEST(GaussianCurvature, HugeFansKeepFirstAppearanceAndEveryThreadCountGivesTheSameBits)
{
    Mesh mesh = icosphere(4);
    const auto hub = static_cast<std::int64_t>(mesh.positions.size());
    mesh.positions.push_back({0.0, 0.0, 2.0});
    constexpr std::int64_t fan = 40;
    for (std::int64_t k = 0; k < fan; ++k) {
        const std::int64_t i = (k * 7) % fan; // 0, 7, 14, ...: not in ring order
        mesh.triangles.push_back(triangle(hub, i, (i + 1) % fan));
    }
    mesh.triangles.push_back(triangle(3, hub, hub));

    std::vector<std::int64_t> expected = {hub};
    for (const Triangle& t : mesh.triangles)
        for (const std::int64_t corner : t.vertex)
            if (std::find(t.vertex.begin(), t.vertex.end(), hub) != t.vertex.end() &&
                std::find(expected.begin(), expected.end(), corner) == expected.end())
                expected.push_back(corner);

    std::vector<CurvatureMesh> built;
    std::vector<std::vector<double>> curvature;
    for (const int threads : {1, 8}) {
        const ThreadCount count(threads);
        built.push_back(build_curvature_mesh(mesh.positions, mesh.triangles));
        Surface surface;
        fill_surface(surface, mesh);
        compute_gaussian_curvature(surface);
        curvature.push_back(surface.curvature);
    }
    EXPECT_EQ(listed(built[0].neighbourhoods[static_cast<std::size_t>(hub)]), expected);
    const auto same = [](const auto& a, const auto& b) {
        return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof a[0]) == 0;
    };
    EXPECT_TRUE(same(built[0].incident.start, built[1].incident.start));
    EXPECT_TRUE(same(built[0].incident.items, built[1].incident.items));
    EXPECT_TRUE(same(built[0].neighbourhoods.start, built[1].neighbourhoods.start));
    EXPECT_TRUE(same(built[0].neighbourhoods.items, built[1].neighbourhoods.items));
    EXPECT_TRUE(same(curvature[0], curvature[1]));
}
