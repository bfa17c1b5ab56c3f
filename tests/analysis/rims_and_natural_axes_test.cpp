// Rims of open surfaces and the natural axis frame of the longest closed one.
#include "analysis/rims_and_natural_axes.h"

#include "tests/fixtures/generated_surfaces.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <string>

namespace {

// A surface as read, with the centroid that the analysis computes before the rim search.
void fill_with_centroid(Surface& surface, const Mesh& mesh)
{
    fill_surface(surface, mesh);
    surface.centroid = (1.0 / static_cast<double>(mesh.positions.size())) *
                       std::accumulate(mesh.positions.begin(), mesh.positions.end(), Point3{});
}

// Runs the rim search and returns what it wrote on standard error.
std::string find_rims(WorkingState& state, Surface& surface)
{
    testing::internal::CaptureStderr();
    find_rims_and_natural_axes(state, surface);
    return testing::internal::GetCapturedStderr();
}

Point3 column(const Matrix4& m, int c) { return {m[4 * c], m[4 * c + 1], m[4 * c + 2]}; }

long rim_flag_count(const Surface& surface)
{
    return std::count(surface.on_rim.begin(), surface.on_rim.end(), 1);
}

void expect_no_frame(const Surface& surface)
{
    EXPECT_EQ(surface.natural_axes.m, identity_matrix().m);
    Matrix4 mirror = identity_matrix();
    mirror[0] = -1.0;
    EXPECT_EQ(surface.mirror.m, mirror.m);
    EXPECT_EQ(surface.axial_extent, 0.0);
}

constexpr const char* open_rim_warning = "WARNING: open rim found in find_rims_and_natural_axes\n";

} // namespace

TEST(RimsAndNaturalAxes, ClosedSolidHasNoRim)
{
    WorkingState state;
    Surface sphere;
    fill_with_centroid(sphere, icosphere(2, 5.0));
    EXPECT_EQ(find_rims(state, sphere), "");
    EXPECT_EQ(rim_flag_count(sphere), 0);
    EXPECT_TRUE(sphere.rim_band.empty());
    EXPECT_TRUE(sphere.landcurves.empty());
    EXPECT_EQ(sphere.rim_vertex_count, 0);
    expect_no_frame(sphere);
}

TEST(RimsAndNaturalAxes, CapHasOneClosedRimWithTangentDirections)
{
    // A cap reaching 10 degrees past the equator: 20 rings of 5 degrees, the last one the rim.
    const int segments = 32;
    WorkingState state;
    Surface cap;
    fill_with_centroid(cap, spherical_cap(10.0, 100.0, 20, segments));
    EXPECT_EQ(find_rims(state, cap), "");

    // The last ring is the rim: flagged, one closed landcurve of its vertices, each with a unit
    // direction along the rim circle.
    const std::size_t first_rim_vertex = cap.positions.size() - segments;
    EXPECT_EQ(rim_flag_count(cap), segments);
    for (std::size_t v = first_rim_vertex; v < cap.positions.size(); ++v) {
        ASSERT_EQ(cap.on_rim[v], 1);
        const Point3& p = cap.positions[v];
        const Point3& d = cap.rim_direction[v];
        EXPECT_NEAR(dot(d, d), 1.0, 1e-12);
        EXPECT_NEAR(std::fabs(d.x * -p.y + d.y * p.x) / std::hypot(p.x, p.y), 1.0, 1e-12);
    }
    EXPECT_EQ(cap.rim_vertex_count, segments);
    ASSERT_EQ(cap.landcurves.size(), 1u);
    const Landcurve& rim = cap.landcurves[0];
    EXPECT_EQ(rim.name, "auto-detected rim 0");
    EXPECT_TRUE(rim.closed);
    EXPECT_EQ(rim.partner, -1);
    EXPECT_EQ(rim.points.size(), static_cast<std::size_t>(segments));
    EXPECT_EQ(rim.control_points.size(), rim.points.size());
    for (const Landmark& point : rim.points)
        EXPECT_NEAR(point.position.z, 10.0 * std::cos(100.0 * 3.141592653589793 / 180.0), 1e-9);

    // The rim, then its two-ring band. Around the rim the normals are nearly horizontal, so the
    // axis is z; the far vertex, on the equator above the band's centroid, makes it +z.
    EXPECT_EQ(cap.rim_band.size(), 3u * segments);
    for (int i = 0; i < segments; ++i)
        EXPECT_GE(cap.rim_band[static_cast<std::size_t>(i)], static_cast<long>(first_rim_vertex));
    EXPECT_NEAR(cap.natural_axes[2], 1.0, 1e-6);
    EXPECT_NEAR(cap.rim_centroid.x, 0.0, 1e-9);
}

TEST(RimsAndNaturalAxes, TubeHasTwoRimsNumberedInChainingOrder)
{
    const int segments = 24;
    WorkingState state;
    Surface tube_surface;
    fill_with_centroid(tube_surface, tube(5.0, 30.0, 7, segments));
    // A curve of the first rim's name is already there (a surface saved after an analysis):
    // that chain adds none, the second still does.
    Landcurve saved;
    saved.name = "auto-detected rim 0";
    tube_surface.landcurves.push_back(saved);

    EXPECT_EQ(find_rims(state, tube_surface), "");
    EXPECT_EQ(rim_flag_count(tube_surface), 2 * segments);
    EXPECT_EQ(tube_surface.rim_vertex_count, 2 * segments);
    ASSERT_EQ(tube_surface.landcurves.size(), 2u);
    EXPECT_TRUE(tube_surface.landcurves[0].points.empty());
    EXPECT_EQ(tube_surface.landcurves[1].name, "auto-detected rim 1");
    EXPECT_EQ(tube_surface.landcurves[1].points.size(), static_cast<std::size_t>(segments));

    // Equal loops: the first chained (the ring at z = 0) gives the band and the axis.
    for (int i = 0; i < segments; ++i)
        EXPECT_LT(tube_surface.rim_band[static_cast<std::size_t>(i)], segments);
    EXPECT_EQ(tube_surface.rim_band.size(), 3u * segments);
    EXPECT_NEAR(std::fabs(tube_surface.natural_axes[2]), 1.0, 1e-6);
}

TEST(RimsAndNaturalAxes, TriangularHoleGivesAThreePointCurve)
{
    Mesh mesh = icosphere(1, 5.0);
    mesh.triangles.erase(mesh.triangles.begin() + 7);
    WorkingState state;
    Surface surface;
    fill_with_centroid(surface, mesh);
    EXPECT_EQ(find_rims(state, surface), "");
    ASSERT_EQ(surface.landcurves.size(), 1u);
    EXPECT_EQ(surface.landcurves[0].points.size(), 3u);
    EXPECT_EQ(rim_flag_count(surface), 3);
    EXPECT_NEAR(linear_determinant(surface.mirror), -1.0, 1e-9);
}

TEST(RimsAndNaturalAxes, InconsistentWindingLeavesAnOpenRim)
{
    // Reversing one triangle at the border turns its rim edge against the others, so the rim
    // no longer chains into a loop.
    Mesh mesh = spherical_cap(10.0, 60.0, 6, 20);
    const auto first_rim_vertex = static_cast<std::int64_t>(mesh.positions.size()) - 20;
    const auto flipped = std::find_if(
        mesh.triangles.begin(), mesh.triangles.end(), [&](const Triangle& t) {
            return t.vertex[1] >= first_rim_vertex && t.vertex[2] >= first_rim_vertex;
        });
    ASSERT_NE(flipped, mesh.triangles.end());
    std::swap(flipped->vertex[1], flipped->vertex[2]);

    WorkingState state;
    Surface cap;
    fill_with_centroid(cap, mesh);
    EXPECT_EQ(find_rims(state, cap), open_rim_warning);
    EXPECT_EQ(rim_flag_count(cap), 0);
    ASSERT_FALSE(cap.rim_band.empty());
    EXPECT_NE(cap.rim_band.front(), cap.rim_band.back());
    EXPECT_GT(cap.rim_vertex_count, 0);
    ASSERT_FALSE(cap.landcurves.empty()); // the open chain still gives a closed curve
    EXPECT_TRUE(cap.landcurves[0].closed);
    expect_no_frame(cap);
}

TEST(RimsAndNaturalAxes, ElongatedBoneGetsItsShaftAxisAndHeadDirection)
{
    // The open procedural bone stands along z with its rim at z = 0 and its head towards +x:
    // u = z, v = x, w = y. Moved by a rigid transform, the frame moves with it; the poses turn
    // the shaft every way, so that the fit meets both signs of the axis.
    const double poses[][6] = {{0, 0, 0, 0, 0, 0},        {5, -20, 40, 30, -50, 70},
                               {0, 0, 0, 0, 0, 180},      {0, 0, 0, 0, 90, 0},
                               {1, 2, 3, 135, 20, -100},  {0, 0, 0, -90, 45, 45}};
    const Mesh upright = open_procedural_bone(0);
    for (const auto& parameters : poses) {
        Matrix4 pose;
        make_transform(pose, parameters[0], parameters[1], parameters[2], parameters[3],
                       parameters[4], parameters[5]);
        WorkingState state;
        Surface surface;
        fill_with_centroid(surface, transformed_mesh(upright, pose));
        EXPECT_EQ(find_rims(state, surface), "");
        EXPECT_EQ(state.axis_fit_surface, &surface);

        const Point3 origin = transformed(pose, {});
        const Point3 expected[3] = {transformed(pose, {0, 0, 1}) - origin,
                                    transformed(pose, {1, 0, 0}) - origin,
                                    transformed(pose, {0, 1, 0}) - origin};
        for (int c = 0; c < 3; ++c) {
            EXPECT_NEAR(dot(column(surface.natural_axes, c), expected[c]), 1.0, 1e-4)
                << "column " << c << ", pose angles " << parameters[3] << " " << parameters[4]
                << " " << parameters[5];
        }
        const Point3 u = column(surface.natural_axes, 0);
        const Point3 w = column(surface.natural_axes, 2);
        EXPECT_NEAR(dot(u, column(surface.natural_axes, 1)), 0.0, 1e-12);

        // The axial extent is the reach along u beyond the centroid.
        double reach = -1e10;
        for (const Point3& p : surface.positions)
            reach = std::max(reach, dot(p - surface.centroid, u));
        EXPECT_NEAR(surface.axial_extent, reach, 1e-9);

        // The mirror reflects w and keeps the plane of u and v.
        EXPECT_NEAR(linear_determinant(surface.mirror), -1.0, 1e-12);
        EXPECT_NEAR(dot(transformed(surface.mirror, w), w), -1.0, 1e-12);
        EXPECT_NEAR(dot(transformed(surface.mirror, u), u), 1.0, 1e-12);
    }
}
