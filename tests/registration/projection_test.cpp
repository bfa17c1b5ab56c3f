// Putting points onto a surface along the normal at their nearest vertex, the tangent frame of
// the place they land, snapping onto curves and the re-projection of a surface's annotations.
#include "registration/projection.h"
#include "registration/reprojection.h"

#include "analysis/surface_geometry.h"
#include "state/working_state.h"
#include "surface/barycentric.h"
#include "tests/fixtures/expect_near.h"
#include "tests/registration/pair_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace {

constexpr double tolerance = 1e-12;

// The square grid from (0, 0) to (4, 4) in z = 0 with unit spacing as LR surface: vertex
// (i, j) is number 5 i + j, every normal is +z, cell (i, j) holds triangles 8 i + 2 j
// (corners (i, j), (i + 1, j), (i + 1, j + 1)) and 8 i + 2 j + 1 (corners (i, j),
// (i + 1, j + 1), (i, j + 1)). Its max_radius is set to 4, so that distances along the normal
// come out exact and a hit as near as the vertex is a tie.
class FlatGrid : public testing::Test {
protected:
    void SetUp() override
    {
        fill_surface(surface, flat_grid(4.0, 5));
        compute_bounds_and_radii(surface);
        surface.max_radius = 4.0f;
    }

    WorkingState state;
    Surface& surface = *state.lr_surface;
};

TEST_F(FlatGrid, PointsLandOnTheNearestHitOrOnTheirVertex)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* why;
        Point3 query;
        Point3 position;
        std::array<std::int64_t, 3> triangle;
        std::array<double, 2> weights;
    };
    const Case cases[] = {
        {"on a vertex: no hit is nearer", {1, 1, 0}, {1, 1, 0}, {6, 6, 6}, {0, 0}},
        {"straight above a vertex: the hit is as near as the vertex",
         {1, 1, 2},
         {1, 1, 0},
         {6, 6, 6},
         {0, 0}},
        {"above a triangle", {1.25, 1.5, 2}, {1.25, 1.5, 0}, {6, 12, 7}, {0.25, 0.25}},
        {"below it: the line counts both ways",
         {1.25, 1.5, -2},
         {1.25, 1.5, 0},
         {6, 12, 7},
         {0.25, 0.25}},
        {"on a shared edge: the first of the two triangles",
         {1.5, 1.5, 1},
         {1.5, 1.5, 0},
         {6, 11, 12},
         {0, 0.5}},
        {"beside the surface: the line misses every triangle",
         {6, 2, 1},
         {4, 2, 0},
         {22, 22, 22},
         {0, 0}},
        {"not a number: vertex 0, nothing spreads", {nan, 1, 1}, {0, 0, 0}, {0, 0, 0}, {0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        const Landmark result = project_onto_surface(state, surface, c.query);
        expect_point_near(result.position, c.position, tolerance);
        EXPECT_EQ(result.triangle, c.triangle);
        EXPECT_NEAR(result.weights[0], c.weights[0], tolerance);
        EXPECT_NEAR(result.weights[1], c.weights[1], tolerance);
        expect_point_near(result.tangent1, {0, -1, 0}, tolerance);
        expect_point_near(result.tangent2, {1, 0, 0}, tolerance);
        EXPECT_TRUE(result.name.empty());
        EXPECT_EQ(result.vertex_index, -1);
        EXPECT_EQ(result.partner, -1);
    }
}

TEST(TangentFrame, SpansThePlaneAcrossTheDominantAxis)
{
    struct Case {
        Point3 normal, tangent1, tangent2;
    };
    const Case cases[] = {
        {{0, 0, 1}, {0, -1, 0}, {1, 0, 0}},
        {{0, 0, -1}, {0, 1, 0}, {1, 0, 0}},
        {{1, 0, 0}, {0, -1, 0}, {0, 0, -1}},
        {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}},
    };
    for (const Case& c : cases) {
        Point3 tangent1{9, 9, 9}, tangent2{9, 9, 9};
        tangent_frame(c.normal, tangent1, tangent2);
        expect_point_near(tangent1, c.tangent1, tolerance);
        expect_point_near(tangent2, c.tangent2, tolerance);
    }
}

// The HR surface is searched through the vertex grid: points near a sphere land on it on their
// side, inside a triangle or, where a vertex is nearer than every hit, on that vertex.
TEST(Projection, PointsNearTheHrSphereLandOnItOnTheirSide)
{
    WorkingState state;
    load_pair(state, icosphere(1, 10.0), icosphere(2, 10.0));
    const Surface& hr = *state.hr_surface;
    std::mt19937 random(7);
    std::uniform_real_distribution<double> coordinate(-1.0, 1.0), radius(8.0, 12.0);
    int inside_triangles = 0;
    for (int i = 0; i < 50; ++i) {
        Point3 query{coordinate(random), coordinate(random), coordinate(random)};
        normalized(query, query);
        query = radius(random) * query;
        const Landmark result = project_onto_surface(state, hr, query);
        const auto [a, b, c] = result.triangle;
        if (a != b || b != c)
            ++inside_triangles;
        Point3 on_triangle;
        ASSERT_TRUE(interpolate_at_triangle(hr.positions, result, on_triangle));
        expect_point_near(result.position, on_triangle, 1e-9);
        EXPECT_GE(result.weights[0], -1e-12);
        EXPECT_GE(result.weights[1], -1e-12);
        EXPECT_LE(result.weights[0] + result.weights[1], 1.000000000001);
        const double landed = std::sqrt(dot(result.position, result.position));
        EXPECT_GT(landed, 9.5);
        EXPECT_LE(landed, 10.0 + 1e-9);
        EXPECT_LT(squared_distance(result.position, query), 3.0 * 3.0);
        EXPECT_NEAR(dot(result.tangent1, result.tangent1), 1.0, 1e-12);
        EXPECT_NEAR(dot(result.tangent1, result.tangent2), 0.0, 1e-12);
    }
    EXPECT_GT(inside_triangles, 10);
}

TEST(Projection, ASurfaceWithoutVerticesLeavesThePointAlone)
{
    WorkingState state;
    const Landmark result = project_onto_surface(state, *state.hr_surface, {1, 2, 3});
    expect_point_near(result.position, {1, 2, 3}, tolerance);
    expect_point_near(result.tangent1, {}, tolerance);
}

std::vector<Landmark> curve(const std::vector<Point3>& positions)
{
    std::vector<Landmark> points(positions.size());
    for (std::size_t i = 0; i < positions.size(); ++i)
        points[i].position = positions[i];
    return points;
}

TEST(ClosestPointOnCurve, EndsOfOpenCurvesExtendAndClosedCurvesWrap)
{
    const std::vector<Point3> segment{{0, 0, 0}, {2, 0, 0}};
    const std::vector<Point3> bend{{0, 0, 0}, {2, 0, 0}, {2, 2, 0}};
    const std::vector<Point3> triangle{{0, 0, 0}, {2, 0, 0}, {0, 2, 0}};
    struct Case {
        const char* why;
        std::vector<Point3> points;
        bool closed;
        Point3 query, expected;
    };
    const Case cases[] = {
        {"one segment: clamped beyond its end", segment, false, {3, 1, 0}, {2, 0, 0}},
        {"one segment: clamped before its start", segment, false, {-1, 1, 0}, {0, 0, 0}},
        {"inside a segment", segment, false, {1, 5, 0}, {1, 0, 0}},
        {"the first segment extends backwards", bend, false, {-1, 1, 0}, {-1, 0, 0}},
        {"the last segment extends forwards", bend, false, {3, 4, 0}, {2, 4, 0}},
        {"the inner ends are clamped", bend, false, {3, -1, 0}, {2, 0, 0}},
        {"open: the extended first segment is nearest", triangle, false, {-1, 1, 0}, {-1, 0, 0}},
        {"closed: the segment back to the first point", triangle, true, {-1, 1, 0}, {0, 1, 0}},
        {"no points: the origin", {}, true, {5, 5, 5}, {0, 0, 0}},
        {"coincident points: that point", {{1, 1, 1}, {1, 1, 1}}, false, {4, 4, 4}, {1, 1, 1}},
        {"a single point: that point", {{1, 2, 3}}, false, {4, 4, 4}, {1, 2, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        const Landmark result = find_closest_point_on_curve(curve(c.points), c.closed, c.query);
        expect_point_near(result.position, c.expected, tolerance);
        expect_point_near(result.tangent1, {}, tolerance);
        EXPECT_TRUE(result.name.empty());
    }
}

// Curves too short for a neighbour on each side: no reading past either end.
TEST(CurveTangents, ShortCurvesTakeWhatNeighboursTheyHave)
{
    const double r = std::sqrt(0.5);
    struct Case {
        std::vector<Point3> points;
        bool closed;
        std::vector<Point3> tangents;
    };
    const Case cases[] = {
        {{{1, 2, 3}}, false, {{0, 0, 0}}},
        {{{1, 2, 3}}, true, {{0, 0, 0}}},
        {{{0, 0, 0}, {2, 2, 0}}, false, {{r, r, 0}, {r, r, 0}}},
        {{{0, 0, 0}, {2, 2, 0}}, true, {{0, 0, 0}, {0, 0, 0}}},
    };
    for (const Case& c : cases) {
        std::vector<Landmark> points = curve(c.points);
        for (Landmark& point : points)
            point.tangent2 = {1, 1, 1};
        set_curve_tangents(points, c.closed);
        for (std::size_t i = 0; i < points.size(); ++i) {
            expect_point_near(points[i].tangent1, c.tangents[i], tolerance);
            expect_point_near(points[i].tangent2, {}, tolerance);
        }
    }
}

TEST_F(FlatGrid, ReprojectionPutsEveryAnnotationOnTheSurfaceWithItsTangents)
{
    Landmark landmark;
    landmark.name = "tip";
    landmark.partner = 3;
    landmark.position = {1.25, 1.5, 3};
    landmark.tangent1 = landmark.tangent2 = {1, 1, 1};
    surface.landmarks = {landmark};
    surface.semilandmarks = curve({{2.5, 2.25, -1}});

    Landcurve open;
    open.control_points = curve({{0.5, 0.5, 1}, {3.5, 0.5, 1}, {3.5, 3.5, 1}});
    open.points = curve({{2, 3, 4}, {1, 0, 7}});
    Landcurve closed;
    closed.closed = true;
    closed.control_points = curve({{1, 1, 1}, {3, 1, 1}, {3, 3, 1}, {1, 3, 1}});
    closed.points = closed.control_points;
    for (Landmark& point : closed.points)
        point.tangent2 = {5, 5, 5};
    surface.landcurves = {open, closed};

    reproject_landmarks(state, surface);

    const Landmark& tip = surface.landmarks[0];
    expect_point_near(tip.position, {1.25, 1.5, 0}, tolerance);
    EXPECT_EQ(tip.triangle, (std::array<std::int64_t, 3>{6, 12, 7}));
    expect_point_near(tip.tangent1, {}, tolerance);
    expect_point_near(tip.tangent2, {}, tolerance);
    EXPECT_EQ(tip.name, "tip");
    EXPECT_EQ(tip.partner, 3);

    const Landmark& semilandmark = surface.semilandmarks[0];
    expect_point_near(semilandmark.position, {2.5, 2.25, 0}, tolerance);
    EXPECT_EQ(semilandmark.triangle, (std::array<std::int64_t, 3>{12, 17, 18}));
    expect_point_near(semilandmark.tangent1, {0, -1, 0}, tolerance);
    expect_point_near(semilandmark.tangent2, {1, 0, 0}, tolerance);

    const double r = std::sqrt(0.5);
    const Landcurve& o = surface.landcurves[0];
    // Control points straight onto the surface; working points onto the polyline first.
    const Point3 control[] = {{0.5, 0.5, 0}, {3.5, 0.5, 0}, {3.5, 3.5, 0}};
    const Point3 control_tangents[] = {{1, 0, 0}, {r, r, 0}, {0, 1, 0}};
    for (std::size_t i = 0; i < 3; ++i) {
        expect_point_near(o.control_points[i].position, control[i], tolerance);
        expect_point_near(o.control_points[i].tangent1, control_tangents[i], tolerance);
    }
    expect_point_near(o.points[0].position, {3.5, 3, 0}, tolerance);
    expect_point_near(o.points[1].position, {1, 0.5, 0}, tolerance);
    for (const Landmark& point : o.points) {
        Point3 on_triangle;
        ASSERT_TRUE(interpolate_at_triangle(surface.positions, point, on_triangle));
        expect_point_near(on_triangle, point.position, tolerance);
        expect_point_near(point.tangent1, {-r, -r, 0}, tolerance);
    }

    const Landcurve& c = surface.landcurves[1];
    const Point3 wrapped_tangents[] = {{r, -r, 0}, {r, r, 0}, {-r, r, 0}, {-r, -r, 0}};
    for (const auto* points : {&c.control_points, &c.points}) {
        for (std::size_t i = 0; i < 4; ++i) {
            expect_point_near((*points)[i].position,
                              {c.control_points[i].position.x, c.control_points[i].position.y, 0},
                              tolerance);
            expect_point_near((*points)[i].tangent1, wrapped_tangents[i], tolerance);
            expect_point_near((*points)[i].tangent2, {}, tolerance);
        }
    }
}

} // namespace
