#include "surface/mean_edge_lengths.h"
#include "surface/vertex_normals.h"

#include "tests/fixtures/generated_surfaces.h"
#include "tests/fixtures/thread_count.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace {

double length(const Point3& p) { return std::sqrt(dot(p, p)); }

// The largest angle, in radians, between the computed normals and analytic(p) at every vertex.
template <typename Analytic> double worst_angle(const Mesh& mesh, Analytic analytic)
{
    Surface surface;
    fill_surface(surface, mesh);
    compute_vertex_normals(surface);
    double worst = 0.0;
    for (std::size_t v = 0; v < mesh.positions.size(); ++v) {
        Point3 expected;
        normalized(expected, analytic(mesh.positions[v]));
        const Point3& n = surface.deformed_normals[v];
        EXPECT_NEAR(length(n), 1.0, 1e-12);
        worst = std::max(worst, std::acos(std::min(1.0, dot(n, expected))));
    }
    return worst;
}

} // namespace

// Generated solids whose normals are known in closed form; the tolerances shrink with the mesh.
TEST(VertexNormals, MatchAnalyticNormalsOfSolids)
{
    EXPECT_LT(worst_angle(icosphere(3, 5.0), [](const Point3& p) { return p; }), 0.01);
    EXPECT_LT(worst_angle(icosphere(3, 2.0, {1, -4, 7}),
                          [](const Point3& p) {
                              return p - Point3{1, -4, 7};
                          }),
              0.01);
    // Ellipsoid x^2/a^2 + y^2/b^2 + z^2/c^2 = 1: the gradient (x/a^2, y/b^2, z/c^2).
    EXPECT_LT(worst_angle(ellipsoid(4, 3.0, 2.0, 1.0),
                          [](const Point3& p) {
                              return Point3{p.x / 9.0, p.y / 4.0, p.z / 1.0};
                          }),
              0.03);
    // A regular octahedron: every vertex normal points along its own axis exactly.
    EXPECT_LT(worst_angle(octahedron(3.0), [](const Point3& p) { return p; }), 1e-12);
}

TEST(VertexNormals, InnerRingsOfATubeAreRadial)
{
    const int rings = 6, segments = 24;
    Surface surface;
    fill_surface(surface, tube(4.0, 10.0, rings, segments));
    for (int v = segments; v < (rings - 1) * segments; ++v) {
        const Point3& p = surface.positions[static_cast<std::size_t>(v)];
        const Point3& n = surface.normals[static_cast<std::size_t>(v)];
        EXPECT_NEAR(n.z, 0.0, 1e-12);
        EXPECT_NEAR(dot(n, Point3{p.x, p.y, 0.0}), 4.0, 0.02);
    }
}

// Every incident triangle weighs the same, whatever its size; the stored winding decides the
// side.
TEST(VertexNormals, TrianglesWeighEquallyAndWindingDecides)
{
    Surface surface;
    Mesh mesh;
    // Vertex 0 lies in a large triangle facing +z and a tiny one facing +y.
    mesh.positions = {{0, 0, 0}, {100, 0, 0}, {0, 100, 0}, {0.01, 0, 0}, {0, 0, 0.01}};
    mesh.triangles = {triangle(0, 1, 2), triangle(0, 4, 3)};
    fill_surface(surface, mesh);
    EXPECT_NEAR(surface.normals[0].y, std::sqrt(0.5), 1e-12);
    EXPECT_NEAR(surface.normals[0].z, std::sqrt(0.5), 1e-12);
    // A flat quadrilateral cut into two unequal triangles: one normal for all four vertices.
    mesh.positions = {{0, 0, 0}, {10, 0, 0}, {10, 1, 0}, {0, 3, 0}};
    mesh.triangles = {triangle(0, 1, 2), triangle(0, 2, 3)};
    fill_surface(surface, mesh);
    for (const Point3& n : surface.normals)
        EXPECT_EQ(n.z, 1.0);
    // Reversed winding turns every normal of a tetrahedron inwards.
    mesh = tetrahedron();
    for (Triangle& t : mesh.triangles)
        std::swap(t.vertex[1], t.vertex[2]);
    fill_surface(surface, mesh);
    for (std::size_t v = 0; v < 4; ++v)
        EXPECT_NEAR(dot(surface.normals[v], mesh.positions[v]), -std::sqrt(3.0), 1e-12);
}

// The threads split the vertices, so triangles whose corners lie in different shares, and a
// degenerate one, must still sum in triangle order: the bits are those of one thread.
TEST(VertexNormals, EveryThreadCountGivesTheSameBits)
{
    Mesh mesh = icosphere(4);
    std::reverse(mesh.triangles.begin() + 100, mesh.triangles.end());
    mesh.triangles.push_back(triangle(0, 0, 2000));
    std::vector<std::vector<Point3>> normals;
    for (const int threads : {1, 3, 8}) {
        const ThreadCount count(threads);
        Surface surface;
        fill_surface(surface, mesh);
        compute_vertex_normals(surface);
        normals.push_back(surface.deformed_normals);
    }
    for (const auto& other : {normals[1], normals[2]}) {
        ASSERT_EQ(other.size(), normals[0].size());
        EXPECT_EQ(std::memcmp(other.data(), normals[0].data(), other.size() * sizeof(Point3)), 0);
    }
}

TEST(VertexNormals, VerticesWithoutAUsableTriangleGetZero)
{
    Surface surface;
    Mesh mesh;
    // Vertex 3 is in no triangle; vertices 4 and 5 only in a degenerate one (4 appears twice);
    // vertex 6 only in two triangles that cancel.
    mesh.positions = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {5, 5, 5}, {2, 2, 2}, {3, 3, 3}, {9, 0, 0}};
    mesh.triangles = {triangle(0, 1, 2), triangle(4, 4, 5), triangle(6, 1, 2), triangle(6, 2, 1)};
    fill_surface(surface, mesh);
    for (const std::size_t v : {3u, 4u, 5u, 6u}) {
        EXPECT_EQ(surface.normals[v].x, 0.0) << v;
        EXPECT_EQ(surface.normals[v].y, 0.0) << v;
        EXPECT_EQ(surface.normals[v].z, 0.0) << v;
    }
    EXPECT_EQ(surface.normals[0].z, 1.0);
    // normals is the readers' copy; recomputing touches only deformed_normals.
    surface.deformed_positions[0] = {0, 0, 1};
    compute_vertex_normals(surface);
    EXPECT_EQ(surface.normals[0].z, 1.0);
    EXPECT_LT(surface.deformed_normals[0].z, 1.0);
}

TEST(MeanEdgeLengths, FollowTheLrPose)
{
    Surface hr, lr;
    double hr_mean = -1.0, lr_mean = -1.0;
    // Without HR triangles nothing is written.
    EXPECT_FALSE(compute_mean_edge_lengths(hr, lr, identity_matrix(), hr_mean, lr_mean));
    EXPECT_EQ(hr_mean, -1.0);
    EXPECT_EQ(lr_mean, -1.0);
    // A grid of spacing h has sides h, h and h sqrt(2) in every triangle.
    fill_surface(hr, flat_grid(12.0, 5));
    const double h = 3.0;
    EXPECT_FALSE(compute_mean_edge_lengths(hr, lr, identity_matrix(), hr_mean, lr_mean));
    EXPECT_NEAR(hr_mean, h * (2.0 + std::sqrt(2.0)) / 3.0, 1e-12);
    EXPECT_EQ(lr_mean, -1.0);
    // The LR surface is measured as shown and mapped by the transform.
    fill_surface(lr, flat_grid(12.0, 5));
    for (Point3& p : lr.deformed_positions)
        p = 0.5 * p;
    lr.shown = ShownShape::deformed;
    Matrix4 transform = identity_matrix();
    for (const int i : {0, 5, 10})
        transform[i] = 4.0;
    transform[12] = 100.0;
    ASSERT_TRUE(compute_mean_edge_lengths(hr, lr, transform, hr_mean, lr_mean));
    EXPECT_NEAR(lr_mean, 2.0 * hr_mean, 1e-12);
    EXPECT_NEAR(hr_mean, h * (2.0 + std::sqrt(2.0)) / 3.0, 1e-12);
}
