// Rims of open surfaces and the natural axis frame of the longest closed one.
#include "analysis/rims_and_natural_axes.h"

#include "surface/ply_surface_reader.h"
#include "surface/ply_surface_writer.h"
#include "tests/fixtures/generated_surfaces.h"
#include "tests/fixtures/proximal_femur.h"
#include "tests/fixtures/ply_files.h"
#include "tests/fixtures/temp_files.h"
#include "tests/fixtures/thread_count.h"

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
std::string find_rims(Surface& surface)
{
    testing::internal::CaptureStderr();
    find_rims_and_natural_axes(surface);
    return testing::internal::GetCapturedStderr();
}

// The same on a surface filled from the mesh first.
std::string find_rims(Surface& surface, const Mesh& mesh)
{
    fill_with_centroid(surface, mesh);
    return find_rims(surface);
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
    // A closed sphere has no boundary edge. A triangle naming one of its vertices twice adds
    // the single boundary edge from that vertex to itself: flagged, then unflagged, since one
    // edge never makes a chain.
    Mesh with_one_boundary_edge = icosphere(2, 5.0);
    const Triangle& any = with_one_boundary_edge.triangles[0];
    with_one_boundary_edge.triangles.push_back(
        triangle(any.vertex[0], any.vertex[0], any.vertex[1]));
    for (const Mesh& mesh : {icosphere(2, 5.0), with_one_boundary_edge}) {
        Surface sphere;
        fill_with_centroid(sphere, mesh);
        // Left over from an earlier analysis of the record: the search starts afresh.
        sphere.natural_axes[4] = 3.0;
        sphere.mirror = identity_matrix();
        sphere.axial_extent = 7.0;
        sphere.rim_centroid = {4.0, 5.0, 6.0};
        EXPECT_EQ(find_rims(sphere), "");
        EXPECT_EQ(sphere.rim_centroid.x, 0.0);
        EXPECT_EQ(sphere.rim_centroid.y, 0.0);
        EXPECT_EQ(sphere.rim_centroid.z, 0.0);
        EXPECT_EQ(rim_flag_count(sphere), 0);
        EXPECT_TRUE(sphere.rim_band.empty());
        EXPECT_TRUE(sphere.landcurves.empty());
        EXPECT_EQ(sphere.rim_vertex_count, 0);
        expect_no_frame(sphere);
    }
}

TEST(RimsAndNaturalAxes, CapHasOneClosedRimWithTangentDirections)
{
    // A cap reaching 10 degrees past the equator: 20 rings of 5 degrees, the last one the rim.
    const int segments = 32;
    Surface cap;
    EXPECT_EQ(find_rims(cap, spherical_cap(10.0, 100.0, 20, segments)), "");

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
    Surface tube_surface;
    fill_with_centroid(tube_surface, tube(5.0, 30.0, 7, segments));
    // A curve of the first rim's name is already there (a surface saved after an analysis):
    // that chain adds none, the second still does.
    Landcurve saved;
    saved.name = "auto-detected rim 0";
    tube_surface.landcurves.push_back(saved);

    EXPECT_EQ(find_rims(tube_surface), "");
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
    Surface surface;
    EXPECT_EQ(find_rims(surface, mesh), "");
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
    const auto flipped =
        std::find_if(mesh.triangles.begin(), mesh.triangles.end(), [&](const Triangle& t) {
            return t.vertex[1] >= first_rim_vertex && t.vertex[2] >= first_rim_vertex;
        });
    ASSERT_NE(flipped, mesh.triangles.end());
    std::swap(flipped->vertex[1], flipped->vertex[2]);

    Surface cap;
    EXPECT_EQ(find_rims(cap, mesh), open_rim_warning);
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
    const double poses[][6] = {{0, 0, 0, 0, 0, 0},       {5, -20, 40, 30, -50, 70},
                               {0, 0, 0, 0, 0, 180},     {0, 0, 0, 0, 90, 0},
                               {1, 2, 3, 135, 20, -100}, {0, 0, 0, -90, 45, 45}};
    const Mesh upright = open_procedural_bone(0);
    for (const auto& parameters : poses) {
        Matrix4 pose;
        make_transform(pose, parameters[0], parameters[1], parameters[2], parameters[3],
                       parameters[4], parameters[5]);
        Surface surface;
        EXPECT_EQ(find_rims(surface, transformed_mesh(upright, pose)), "");

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

TEST(RimsAndNaturalAxes, LongestLoopGivesTheFrameWhicheverIsChainedFirst)
{
    // Two separate caps in one surface, rims of 40 and 60 vertices, in either order: the rims are
    // numbered in mesh order, and the 60-vertex loop always gives rim_band.
    const Mesh small = spherical_cap(10.0, 100.0, 8, 40);
    Matrix4 shift;
    make_translation(shift, 50.0, 0.0, 0.0);
    const Mesh large = transformed_mesh(spherical_cap(10.0, 100.0, 8, 60), shift);
    for (const bool large_first : {false, true}) {
        const Mesh& first = large_first ? large : small;
        Mesh both = first;
        const auto offset = static_cast<std::int64_t>(first.positions.size());
        const Mesh& second = large_first ? small : large;
        both.positions.insert(both.positions.end(), second.positions.begin(),
                              second.positions.end());
        for (const Triangle& t : second.triangles)
            both.triangles.push_back(
                triangle(t.vertex[0] + offset, t.vertex[1] + offset, t.vertex[2] + offset));

        Surface surface;
        EXPECT_EQ(find_rims(surface, both), "");
        ASSERT_EQ(surface.landcurves.size(), 2u);
        EXPECT_EQ(surface.landcurves[0].name, "auto-detected rim 0");
        EXPECT_EQ(surface.landcurves[0].points.size(), large_first ? 60u : 40u);
        EXPECT_EQ(surface.landcurves[1].name, "auto-detected rim 1");
        EXPECT_EQ(surface.landcurves[1].points.size(), large_first ? 40u : 60u);
        EXPECT_EQ(rim_flag_count(surface), 100);

        ASSERT_GE(surface.rim_band.size(), 60u);
        for (std::size_t i = 0; i < 60; ++i) {
            const bool in_large =
                large_first ? surface.rim_band[i] < offset : surface.rim_band[i] >= offset;
            EXPECT_TRUE(in_large) << "loop entry " << i << (large_first ? ", large first" : "");
        }
        EXPECT_NEAR(surface.rim_centroid.x, 50.0, 1e-6);
    }
}

TEST(RimsAndNaturalAxes, ChainsThatGiveNoCurveStillTakeANumber)
{
    // Two triangles sharing an edge in the same direction (inconsistent winding) leave two open
    // chains of three entries, numbered 0 and 1, too short for a curve; a separate triangle then
    // gives the closed chain numbered 2, the longest, which makes the frame.
    Mesh mesh;
    mesh.positions = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {5, 0, 0}, {6, 0, 0}, {5, 1, 0}};
    mesh.triangles = {triangle(0, 1, 2), triangle(2, 0, 3), triangle(4, 5, 6)};
    Surface surface;
    EXPECT_EQ(find_rims(surface, mesh), "");
    ASSERT_EQ(surface.landcurves.size(), 1u);
    EXPECT_EQ(surface.landcurves[0].name, "auto-detected rim 2");
    EXPECT_EQ(surface.landcurves[0].points.size(), 3u);
    EXPECT_EQ(surface.rim_band, (std::vector<std::int64_t>{4, 5, 6}));
    // Every chained entry but each chain's last gets a direction: 2 + 2 + 3.
    EXPECT_EQ(surface.rim_vertex_count, 7);
    EXPECT_EQ(rim_flag_count(surface), 7);
}

TEST(RimsAndNaturalAxes, SavedRimCurvesAreNotAddedAgainOnTheNextLoad)
{
    // A cap with one rim, analysed, then written with its annotations as the surface writers do
    // and read back: the rim curve comes from the file, and the second analysis adds no copy.
    const Mesh mesh = spherical_cap(10.0, 100.0, 6, 16);
    Surface analysed;
    ASSERT_EQ(find_rims(analysed, mesh), "");
    const std::vector<std::string> comments =
        annotation_comments(analysed, [](const Landmark& point, Point3& position, Point3& normal) {
            position = point.position;
            normal = {};
        });

    TempDirectory directory;
    const std::string path = directory.file("cap.ply");
    ASSERT_TRUE(write_ply_file(path, mesh, comments));
    Surface reloaded;
    ASSERT_TRUE(parse_ply_file(path, reloaded));
    ASSERT_EQ(reloaded.landcurves.size(), 1u);
    reloaded.centroid = analysed.centroid;
    EXPECT_EQ(find_rims(reloaded), "");
    ASSERT_EQ(reloaded.landcurves.size(), 1u);
    EXPECT_EQ(reloaded.landcurves[0].name, "auto-detected rim 0");
    EXPECT_TRUE(reloaded.landcurves[0].closed);
    EXPECT_EQ(reloaded.landcurves[0].control_points.size(), 16u);
    EXPECT_EQ(reloaded.rim_vertex_count, 16);
}

// The threads file the sides by ranges of their lower corner; a tube with a ring of triangles
// removed, whose rims run through every range and whose shuffled triangles put the rim sides
// out of vertex order, gives the same chains, band, directions and frame on every thread count.
TEST(RimsAndNaturalAxes, EveryThreadCountFindsTheSameRims)
{
    Mesh mesh = tube(5.0, 30.0, 40, 48);
    mesh.triangles.erase(mesh.triangles.begin() + 960, mesh.triangles.begin() + 1056);
    std::reverse(mesh.triangles.begin(), mesh.triangles.begin() + 700);
    std::vector<Surface> found(3);
    for (std::size_t k = 0; k < found.size(); ++k) {
        const ThreadCount count(k == 0 ? 1 : 4 * static_cast<int>(k));
        EXPECT_EQ(find_rims(found[k], mesh), "");
    }
    ASSERT_EQ(found[0].landcurves.size(), 4u);
    for (std::size_t k = 1; k < found.size(); ++k) {
        EXPECT_EQ(found[k].on_rim, found[0].on_rim);
        EXPECT_EQ(found[k].rim_band, found[0].rim_band);
        EXPECT_TRUE(same_points(found[k].rim_direction, found[0].rim_direction));
        EXPECT_EQ(found[k].natural_axes.m, found[0].natural_axes.m);
        ASSERT_EQ(found[k].landcurves.size(), found[0].landcurves.size());
        for (std::size_t c = 0; c < found[0].landcurves.size(); ++c) {
            const auto positions = [](const Landcurve& curve) {
                std::vector<Point3> points;
                for (const Landmark& point : curve.points)
                    points.push_back(point.position);
                return points;
            };
            EXPECT_TRUE(
                same_points(positions(found[k].landcurves[c]), positions(found[0].landcurves[c])));
        }
    }
}

TEST(RimsAndNaturalAxes, AFemurLeaning45DegreesKeepsItsShaftAxis)
{
    // The generated femur stands along z; here it leans 45 degrees towards every quarter. Where
    // its start axis (from the rim normals) has a negative x, atan(y / x) lost the azimuth's
    // quadrant, the fit started 90 degrees off and settled on an axis across the bone.
    const Mesh upright = proximal_femur();
    for (const double azimuth : {0.0, 90.0, 135.0, 180.0, 225.0, 270.0, 315.0}) {
        Matrix4 pose;
        make_transform(pose, 0, 0, 0, azimuth, 45, 0);
        Surface surface;
        EXPECT_EQ(find_rims(surface, transformed_mesh(upright, pose)), "");
        EXPECT_NEAR(dot(column(surface.natural_axes, 0), transformed(pose, {0, 0, 1})), 1.0, 1e-3)
            << "leaning towards azimuth " << azimuth;
    }
}
