#include "tests/fixtures/expect_near.h"
#include "view/overlay_geometry.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// Three LR vertices on the x axis, two HR vertices; every array sized as loading leaves it.
struct Pair {
    Surface lr;
    Surface hr;
    Pair()
    {
        lr.positions = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}};
        lr.vertex_count = 3;
        lr.allocate_vertex_arrays();
        hr.positions = {{0, 5, 0}, {1, 5, 0}};
        hr.vertex_count = 2;
        hr.allocate_vertex_arrays();
    }
};

Matrix4 translation_matrix(double x, double y, double z)
{
    Matrix4 m;
    return make_translation(m, x, y, z);
}

} // namespace

TEST(OverlayGeometry, PointsSitOnTheirTriangleOrFollowTheWarp)
{
    Surface s;
    s.positions = {{0, 0, 0}, {4, 0, 0}, {0, 8, 0}};
    Landmark point;
    point.triangle = {0, 1, 2};
    point.weights = {0.25, 0.5};
    point.position = {100, 100, 100};
    const Matrix4 shift = translation_matrix(1.0, 2.0, 3.0);
    Point3 at;
    ASSERT_TRUE(overlay_position(s, point, shift, nullptr, at));
    expect_point_near(at, {2.0, 6.0, 3.0}, 1e-12);

    // The deformed shape when the surface shows it.
    s.deformed_positions = {{0, 0, 1}, {4, 0, 1}, {0, 8, 1}};
    s.shown = ShownShape::deformed;
    ASSERT_TRUE(overlay_position(s, point, identity_matrix(), nullptr, at));
    expect_point_near(at, {1.0, 4.0, 1.0}, 1e-12);

    // A warp without control points leaves the stored position where it is.
    const TpsWarp identity_warp;
    ASSERT_TRUE(overlay_position(s, point, shift, &identity_warp, at));
    expect_point_near(at, {101.0, 102.0, 103.0}, 1e-12);

    // A triangle that names no vertex of the surface places nothing.
    point.triangle = {0, 1, 3};
    at = {7, 7, 7};
    EXPECT_FALSE(overlay_position(s, point, shift, nullptr, at));
    expect_point_near(at, {7, 7, 7}, 1e-12);
    point.triangle = {-1, 1, 2};
    EXPECT_FALSE(overlay_position(s, point, shift, nullptr, at));
}

TEST(OverlayGeometry, CurveDrawnThroughWorkingPointsOrElseControlPoints)
{
    Landcurve curve;
    curve.control_points.resize(4);
    EXPECT_EQ(&drawn_curve_points(curve), &curve.control_points);
    curve.points.resize(7);
    EXPECT_EQ(&drawn_curve_points(curve), &curve.points);
}

TEST(OverlayGeometry, CurveMarkerDirections)
{
    const std::vector<Point3> open = {{0, 0, 0}, {2, 0, 0}, {2, 2, 0}};
    const std::vector<Point3> d = curve_marker_directions(open, false);
    ASSERT_EQ(d.size(), 3u);
    expect_point_near(d[0], {1, 0, 0}, 1e-12);
    expect_point_near(d[1], {std::sqrt(0.5), std::sqrt(0.5), 0}, 1e-12);
    expect_point_near(d[2], {0, 1, 0}, 1e-12);

    // A closed curve wraps round: the first point looks from the last to the second.
    const std::vector<Point3> c = curve_marker_directions(open, true);
    expect_point_near(c[0], {0, -1, 0}, 1e-12);
    expect_point_near(c[2], {-1, 0, 0}, 1e-12);

    // Coincident points and a lone point give no direction, never NaN.
    for (const Point3& p : curve_marker_directions({{1, 1, 1}, {1, 1, 1}}, false))
        expect_point_near(p, {0, 0, 0}, 1e-12);
    expect_point_near(curve_marker_directions({{1, 1, 1}}, true)[0], {0, 0, 0}, 1e-12);
    EXPECT_TRUE(curve_marker_directions({}, true).empty());
}

TEST(OverlayGeometry, MarkerTurnLaysZAlongTheDirection)
{
    const double pi = std::acos(-1.0);
    struct Case {
        Point3 d;
        bool turn;
        double angle;
    };
    const Case cases[] = {
        {{1, 0, 0}, true, 90.0},
        {{0, 0, 1}, false, 0.0},
        {{std::sin(0.5 * pi / 180), 0, std::cos(0.5 * pi / 180)}, false, 0.5}, // within 1 degree
        {{0, 0, -1}, false, 180.0}, // no axis across z: the symmetric marker needs no turn
        {{0, 0, 0}, false, 90.0},   // no direction at all
        {{0, 0, 1.0000000000000002}, false, 0.0}, // rounding just past 1
    };
    for (const Case& c : cases) {
        const MarkerTurn t = marker_turn(c.d);
        EXPECT_EQ(t.turn, c.turn) << c.d.x << " " << c.d.z;
        EXPECT_NEAR(t.angle, c.angle, 1e-9);
    }
    const MarkerTurn x = marker_turn({1, 0, 0});
    expect_point_near(x.axis, {0, 1, 0}, 1e-12);
}

TEST(OverlayGeometry, MatchLinesWithinTheRangeOnly)
{
    Pair p;
    p.lr.match_index = {1, 0, 5};
    p.lr.match_distance2 = {3.9, 4.0, 1.0}; // at the range; beyond the HR vertices
    p.lr.fussy = {1, 0, 0};
    const std::vector<OverlayLine> lines =
        match_lines(p.lr, p.hr, translation_matrix(0, 0, 10), 4.0);
    ASSERT_EQ(lines.size(), 1u);
    expect_point_near(lines[0].from, {0, 0, 10}, 1e-12);
    expect_point_near(lines[0].to, {1, 5, 0}, 1e-12);
    EXPECT_TRUE(lines[0].fussy);

    p.lr.match_distance2 = {missing_value, 1.0, 2.0};
    p.lr.match_index = {0, 0, -1};
    p.lr.fussy = {0, 0, 0};
    const std::vector<OverlayLine> plain = match_lines(p.lr, p.hr, identity_matrix(), 4.0);
    ASSERT_EQ(plain.size(), 1u);
    expect_point_near(plain[0].from, {1, 0, 0}, 1e-12);
    EXPECT_FALSE(plain[0].fussy);

    // Nothing matched yet: empty arrays draw nothing.
    Surface empty;
    EXPECT_TRUE(match_lines(empty, p.hr, identity_matrix(), 4.0).empty());
}

TEST(OverlayGeometry, DisplacementsStartAsReadOrAtTheModelMean)
{
    Pair p;
    p.lr.deformed_positions = {{0, 1, 0}, {1, 1, 0}, {2, 1, 0}};
    p.lr.shown = ShownShape::deformed;
    std::vector<OverlayLine> lines = displacement_lines(p.lr, nullptr);
    ASSERT_EQ(lines.size(), 3u);
    expect_point_near(lines[2].from, {2, 0, 0}, 1e-12);
    expect_point_near(lines[2].to, {2, 1, 0}, 1e-12);

    const std::vector<float> mean = {0, 0, 7, 1, 0, 7, 2, 0, 7};
    lines = displacement_lines(p.lr, &mean);
    expect_point_near(lines[1].from, {1, 0, 7}, 1e-12);
    expect_point_near(lines[1].to, {1, 1, 0}, 1e-12);

    // A mean that does not cover every vertex is not read past its end.
    const std::vector<float> short_mean = {0, 0, 7};
    lines = displacement_lines(p.lr, &short_mean);
    ASSERT_EQ(lines.size(), 3u);
    expect_point_near(lines[0].from, {0, 0, 0}, 1e-12);
}
