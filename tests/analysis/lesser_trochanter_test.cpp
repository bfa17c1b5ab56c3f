// Choosing the lesser-trochanter contour, slicing the shaft at its height, and the sort by
// distance along w.
#include "analysis/point_sets.h"
#include "tests/analysis/femur_steps_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

namespace {

// With the file axes as natural axes the head-neck centre sits at x = 10: contours must lie at
// x <= 10, and on the side's half of w = z. An ellipse about (x, y, z) in a plane normal to z
// whose circularity score |1 - l2 / l1| is `score`.
std::vector<Point3> contour(double y, double z, double score, int count, double x = 0.0)
{
    return ellipse_contour({x, y, z}, {0, 1, 0}, {1, 0, 0}, 2.0 * std::sqrt(1.0 + score), 2.0,
                           count);
}

struct Case {
    const char* why;
    std::uint8_t side;
    std::size_t head_contour_length;
    std::vector<std::vector<Point3>> contours;
    int chosen; // -1 for failure
};

} // namespace

TEST(LesserTrochanter, ChoosesTheLongestRoundContourOnTheSidesHalfBelowTheHead)
{
    const Case cases[] = {
        {"right femur: positive side of w",
         1,
         10,
         {contour(0, -5, 0, 20), contour(10, 5, 0, 12)},
         1},
        {"left femur: negative side of w",
         0,
         10,
         {contour(0, -5, 0, 12), contour(10, 5, 0, 20)},
         0},
        {"everything on the wrong side", 0, 10, {contour(10, 5, 0, 20)}, -1},
        // Semi-axis 2 along x about x = 8 reaches x = 10, the head-neck centre, exactly.
        {"up to the head-neck centre", 1, 10, {contour(0, 5, 0, 12, 8.0)}, 0},
        {"a hair above it", 1, 10, {contour(0, 5, 0, 12, 8.0 + 1e-9)}, -1},
        {"length threshold 10.4", 1, 52, {contour(0, 5, 0, 10), contour(10, 5, 0.5, 11)}, 1},
        {"none reaches the threshold", 1, 52, {contour(0, 5, 0.5, 10), contour(10, 5, 0, 8)}, 1},
        {"mean score 0.4 of 0.1, 0.2, 0.9",
         1,
         10,
         {contour(0, 5, 0.1, 20), contour(10, 5, 0.2, 30), contour(20, 5, 0.9, 40)},
         1},
        {"equal lengths: the first", 1, 10, {contour(0, 5, 0.1, 30), contour(10, 5, 0.1, 30)}, 0},
    };
    for (const Case& c : cases) {
        Surface surface = bare_surface({});
        FemurAnalyser analyser;
        bind(analyser, surface, c.side);
        analyser.head_neck_boundary = rows_of({{10, 0, 0}});
        analyser.head_contour.resize(c.head_contour_length);
        analyser.contours = c.contours;
        testing::internal::CaptureStderr();
        analyser.find_lesser_trochanter(surface);
        SCOPED_TRACE(c.why);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_EQ(analyser.lesser_trochanter_failed, c.chosen < 0);
        if (c.chosen < 0) {
            EXPECT_EQ(analyser.lesser_trochanter.rows(), 0);
            continue;
        }
        const auto& expected = c.contours[static_cast<std::size_t>(c.chosen)];
        const Point3 centre = mean_point(expected);
        ASSERT_EQ(analyser.lesser_trochanter.rows(), 31);
        EXPECT_NEAR(mean_row(analyser.lesser_trochanter).y, centre.y, 0.5);
        // Its centre and height, not just its place in the list: the fit of that contour.
        EXPECT_NEAR(analyser.lesser_trochanter(0, 2), centre.z, 1e-9);
    }
}

TEST(LesserTrochanter, TheShaftSliceTakesVerticesStrictlyWithinOneMillimetre)
{
    Surface surface = bare_surface(
        {{1.0, 0, 0}, {0.999, 1, 0}, {-0.999, 2, 0}, {-1.0, 3, 0}, {0.5, 4, 0}, {7, 5, 0}});
    FemurAnalyser analyser;
    bind(analyser, surface);
    analyser.lesser_trochanter = rows_of({{0.5, 9, 9}, {-0.5, 9, 9}}); // mean height 0 along u
    analyser.slice_shaft_at_lesser_trochanter(surface);
    // Three vertices are too few for an ellipse: they come back as they are, in index order.
    ASSERT_EQ(analyser.shaft_slice.rows(), 3);
    EXPECT_EQ(analyser.shaft_slice(0, 1), 1.0);
    EXPECT_EQ(analyser.shaft_slice(1, 1), 2.0);
    EXPECT_EQ(analyser.shaft_slice(2, 1), 4.0);

    analyser.lesser_trochanter = rows_of({{3, 0, 0}});
    analyser.shaft_slice.resize(0, 3);
    analyser.slice_shaft_at_lesser_trochanter(surface);
    EXPECT_EQ(analyser.shaft_slice.rows(), 0);
}

TEST(LesserTrochanter, SortsVerticesByDistanceFromItsCentreAlongW)
{
    // Distances 3, 1 and 2 along w (here z) from the centre at z = 4.
    Surface surface = bare_surface({{9, 9, 7}, {-9, 0, 5}, {0, 9, 2}});
    FemurAnalyser analyser;
    bind(analyser, surface);
    analyser.lesser_trochanter = rows_of({{0, 0, 3}, {0, 0, 5}});
    std::vector<std::int64_t> order(3);
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), compare_axis2_distance);
    EXPECT_EQ(order, (std::vector<std::int64_t>{1, 2, 0}));
}
