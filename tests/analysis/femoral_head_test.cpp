// Head sphere and fovea, crest point and fossa point on hand-made vertex sets.
#include "analysis/point_sets.h"
#include "tests/analysis/femur_steps_fixture.h"

#include <gtest/gtest.h>

namespace {

// A boundary circle of 31 rows in the plane z = 0 about the origin; with v = z the head lies
// above it.
PointMatrix boundary_in_z0()
{
    std::vector<Point3> points = ellipse_contour({}, {1, 0, 0}, {0, 1, 0}, 5, 5, 30);
    points.push_back(points.front());
    return rows_of(points);
}

} // namespace

TEST(FemoralHead, KeepsTheFarthestSixTenthsAboveTheBoundaryAsHeadPoints)
{
    struct Case {
        int above;
        std::size_t kept;
    } cases[] = {{10, 6}, {11, 7}, {1, 1}};
    for (const Case& c : cases) {
        std::vector<Point3> positions = {{0, 0, -3}, {0, 0, 0}}; // below and on the plane
        for (int k = 1; k <= c.above; ++k)
            positions.push_back({0.1 * k, 0, static_cast<double>(k)});
        Surface surface = bare_surface(positions);
        set_axes(surface, {1, 0, 0}, {0, 0, 1});
        FemurAnalyser analyser;
        bind(analyser, surface);
        analyser.head_neck_boundary = boundary_in_z0();
        analyser.fit_femoral_head(surface);
        ASSERT_EQ(analyser.head_points.size(), c.kept) << c.above;
        EXPECT_EQ(analyser.head_points.front().z, c.above); // the farthest first
        EXPECT_EQ(analyser.head_points.back().z, c.above + 1 - static_cast<double>(c.kept));
        EXPECT_FALSE(analyser.head_fit_failed);
        EXPECT_TRUE(std::isfinite(analyser.head_radius));
        EXPECT_TRUE(std::isfinite(analyser.head_centre.x));
    }
    // A single head point is its own fovea (and its own sphere of radius 0).
    Surface one = bare_surface({{2, 1, 4}});
    set_axes(one, {1, 0, 0}, {0, 0, 1});
    FemurAnalyser analyser;
    bind(analyser, one);
    analyser.head_neck_boundary = boundary_in_z0();
    analyser.fit_femoral_head(one);
    EXPECT_EQ(analyser.fovea.z, 4.0);
    EXPECT_EQ(analyser.head_radius, 0.0);
}

TEST(FemoralHead, FitsTheSphereAndTakesTheDeepestPitAsFovea)
{
    // Rings of a sphere of radius 10 about (1, 2, 30), one point 0.8 inside it; the boundary
    // plane cuts the sphere 8 below its centre.
    const Point3 centre{1, 2, 30};
    std::vector<Point3> positions;
    for (int j = 1; j < 12; ++j)
        for (int i = 0; i < 12; ++i) {
            const double theta = 0.2617993877991494 * j, phi = 0.5235987755982988 * i;
            positions.push_back(centre + 10.0 * Point3{std::sin(theta) * std::cos(phi),
                                                       std::sin(theta) * std::sin(phi),
                                                       std::cos(theta)});
        }
    const std::size_t pit = 12 + 5;
    positions[pit] = centre + 0.92 * (positions[pit] - centre);
    Surface surface = bare_surface(positions);
    set_axes(surface, {1, 0, 0}, {0, 0, 1});
    FemurAnalyser analyser;
    bind(analyser, surface);
    analyser.head_neck_boundary = boundary_in_z0();
    for (Eigen::Index r = 0; r < 31; ++r)
        analyser.head_neck_boundary(r, 2) = 22.0;
    analyser.fit_femoral_head(surface);
    ASSERT_EQ(analyser.head_points.size(), 65u); // 60 % of the 108 points above the plane
    EXPECT_NEAR(analyser.head_radius, 10.0, 0.1);
    EXPECT_NEAR(analyser.head_centre.z, 30.0, 0.2);
    EXPECT_EQ(analyser.fovea.x, positions[pit].x);
    EXPECT_EQ(analyser.fovea.z, positions[pit].z);
}

TEST(FemoralHead, ABoundaryThatIsNoFittedEllipseGivesNoHead)
{
    Surface surface = bare_surface({{0, 0, 5}});
    FemurAnalyser analyser;
    bind(analyser, surface);
    analyser.head_neck_boundary = rows_of({{1, 0, 0}, {0, 1, 0}, {-1, 0, 0}, {0, -1, 0}});
    analyser.fit_femoral_head(surface);
    EXPECT_TRUE(analyser.head_fit_failed);
    EXPECT_TRUE(analyser.head_points.empty());
}

TEST(FemoralHead, ALoneCrestCandidateBypassesTheCurvatureFilter)
{
    // File axes as natural axes (v = y), heights along z; boundary from z = -5 to 5 with its
    // top row at the origin's y; lesser trochanter at the origin. Vertex 2 alone is curved
    // above four times the mean of the positive curvatures.
    Surface surface = bare_surface({{-1, 0, 1},
                                    {-2, -1, 2},
                                    {-3, -2, 3},
                                    {-1, -3, 1},
                                    {-2, 0, 0},
                                    {1, -1, 1},
                                    {2, -1, 1},
                                    {3, -1, 1},
                                    {4, -1, 1}});
    FemurAnalyser analyser;
    bind(analyser, surface);
    analyser.frame.u = {0, 0, 1};
    analyser.head_neck_boundary = rows_of({{0, 0, -5}, {0, 0, 5}, {0, 5, 0}});
    analyser.lesser_trochanter = rows_of({{0, 0, 0}});
    const std::vector<double> kappa = {1, 1, 100, 1, -50, 1, 1, 1, 1};
    analyser.smoothed_curvature = kappa.data();
    testing::internal::CaptureStdout();
    analyser.find_crest_point(surface);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "bypassing curvature filter\n");
    EXPECT_FALSE(analyser.crest_failed);
    EXPECT_EQ(analyser.crest_point.z, 3.0);
    EXPECT_TRUE(analyser.crest_candidates.empty());

    // The strongly curved vertex lies below the boundary's lowest point: no crest.
    const std::vector<double> low = {1, 1, 1, 1, 100, 1, 1, 1, 1};
    analyser.head_neck_boundary = rows_of({{0, 0, 0.5}, {0, 0, 5}});
    analyser.smoothed_curvature = low.data();
    testing::internal::CaptureStdout();
    analyser.find_crest_point(surface);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_TRUE(analyser.crest_failed);
}

TEST(FemoralHead, TheFossaLiesOnTheSidesHalfOfWFromTheCrest)
{
    // Candidates about the crest at the origin, on both sides of w = z, facing v = y; twenty
    // flat vertices far away fill the lower half of the curvature order.
    std::vector<Point3> positions;
    std::vector<double> kappa;
    for (int x = 0; x < 10; ++x)
        for (const int z : {-3, -2, -1, 1, 2, 3}) {
            positions.push_back({static_cast<double>(x), 0, static_cast<double>(z)});
            kappa.push_back(10.0 + 0.1 * x + 0.01 * std::abs(z));
        }
    for (int k = 0; k < 60; ++k) {
        positions.push_back({-50, 0, static_cast<double>(k)});
        kappa.push_back(-1.0);
    }
    for (const std::uint8_t side : {std::uint8_t{1}, std::uint8_t{0}}) {
        Surface surface = bare_surface(positions);
        surface.normals.assign(positions.size(), Point3{0, 1, 0});
        FemurAnalyser analyser;
        bind(analyser, surface, side);
        analyser.head_neck_boundary = rows_of({{0, 100, 0}});
        analyser.lesser_trochanter = rows_of({{-10, 0, 0}});
        analyser.crest_point = {};
        analyser.smoothed_curvature = kappa.data();
        analyser.find_fossa_point(surface);
        EXPECT_EQ(analyser.fossa_reference.x, -4.0);
        ASSERT_FALSE(analyser.fossa_points.empty()) << int(side);
        for (const Point3& p : analyser.fossa_points)
            EXPECT_LT(side == 1 ? p.z : -p.z, 0.0) << int(side);
    }
}

TEST(FemoralHead, TheBoundaryMustRingTheFittedHeadOnTheShaftSide)
{
    // A head of radius 20 about the origin, its axis along v = z; the boundary a ring of 31
    // rows about the axis, 12 below the centre with radius 16 (so on the sphere); the fovea
    // 1.5 deep.
    struct Case {
        const char* why;
        Point3 ring_centre;
        double ring_radius;
        Point3 fovea;
        bool head_found;
        bool rings;
    } cases[] = {
        {"a head-neck junction", {0, 0, -12}, 16, {0, 0, 18.5}, true, true},
        {"off the head's axis", {11, 0, -12}, 16, {0, 0, 18.5}, true, false},
        {"down the shaft", {0, 0, -40}, 16, {0, 0, 18.5}, true, false},
        {"a small ring on the head", {0, 0, -19}, 6, {0, 0, 18.5}, true, false},
        {"beyond the head's centre", {0, 0, 12}, 16, {0, 0, 18.5}, true, false},
        {"a fovea deep in the head", {0, 0, -12}, 16, {0, 0, 14}, true, false},
        {"a fovea standing off the head", {0, 0, -12}, 16, {0, 0, 26}, true, false},
        {"no fitted head", {0, 0, -12}, 16, {0, 0, 18.5}, false, false},
    };
    for (const Case& c : cases) {
        Surface surface = bare_surface({});
        set_axes(surface, {1, 0, 0}, {0, 0, 1});
        FemurAnalyser analyser;
        bind(analyser, surface);
        std::vector<Point3> ring =
            ellipse_contour(c.ring_centre, {1, 0, 0}, {0, 1, 0}, c.ring_radius, c.ring_radius, 30);
        ring.push_back(ring.front());
        analyser.head_neck_boundary = rows_of(ring);
        analyser.head_centre = {};
        analyser.head_radius = 20.0;
        analyser.fovea = c.fovea;
        analyser.head_fit_failed = !c.head_found;
        EXPECT_EQ(analyser.boundary_rings_fitted_head(), c.rings) << c.why;
    }
    // An unfitted boundary (fewer than 21 rows) gives no head-neck normal to check by.
    Surface surface = bare_surface({});
    FemurAnalyser analyser;
    bind(analyser, surface);
    analyser.head_neck_boundary = rows_of({{16, 0, -12}, {0, 16, -12}, {-16, 0, -12}});
    analyser.head_radius = 20.0;
    EXPECT_FALSE(analyser.boundary_rings_fitted_head());
}
