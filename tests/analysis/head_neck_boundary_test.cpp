// Choosing the head-neck contour: side, height, tilt against w, then length.
#include "analysis/point_sets.h"
#include "tests/analysis/femur_steps_fixture.h"

#include <gtest/gtest.h>

namespace {

// A circle of `count` points about (x, 10, 10), on the positive side of v = y and above the
// centroid, in a plane whose normal makes |n . w| = tilt with w = z.
std::vector<Point3> tilted_circle(double x, double tilt, int count)
{
    const double c = std::sqrt(1.0 - tilt * tilt);
    return ellipse_contour({x, 10, 10}, {-tilt, 0, c}, {0, 1, 0}, 3, 3, count);
}

struct Case {
    const char* why;
    std::vector<std::vector<Point3>> contours;
    int chosen; // index of the contour taken; -1 for failure
};

std::vector<Point3> nudged(std::vector<Point3> contour, double y)
{
    contour[3].y = y;
    return contour;
}

} // namespace

TEST(HeadNeckBoundary, ChoosesTheLongestOfTheLeastTiltedContoursOnTheHeadSide)
{
    const Case cases[] = {
        {"median of 0.2 and 0.6 is 0.4",
         {tilted_circle(0, 0.2, 10), tilted_circle(20, 0.6, 50)},
         0},
        {"median 0.5 of three",
         {tilted_circle(0, 0.1, 40), tilted_circle(20, 0.5, 60), tilted_circle(40, 0.9, 90)},
         1},
        {"equal lengths: the first", {tilted_circle(0, 0.3, 30), tilted_circle(20, 0.3, 30)}, 0},
        {"one point a hair behind v",
         {nudged(tilted_circle(0, 0.1, 80), -1e-12), tilted_circle(20, 0.1, 20)},
         1},
        {"one point on the plane of v",
         {nudged(tilted_circle(0, 0.1, 80), 0.0), tilted_circle(20, 0.1, 20)},
         0},
        {"three points are enough", {tilted_circle(0, 0.1, 3)}, 0},
        {"two points are not", {tilted_circle(0, 0.1, 2)}, -1},
        {"mean on the centroid's height",
         {ellipse_contour({0, 10, 0}, {1, 0, 0}, {0, 1, 0}, 3, 3, 12)},
         -1},
        {"no contour at all", {}, -1},
    };
    for (const Case& c : cases) {
        Surface surface = bare_surface({});
        FemurAnalyser analyser;
        bind(analyser, surface);
        analyser.contours = c.contours;
        testing::internal::CaptureStderr();
        analyser.find_head_neck_boundary(surface);
        const std::string error = testing::internal::GetCapturedStderr();
        SCOPED_TRACE(c.why);
        EXPECT_EQ(analyser.boundary_failed, c.chosen < 0);
        EXPECT_EQ(analyser.lesser_trochanter_failed, c.chosen < 0);
        if (c.chosen < 0) {
            EXPECT_EQ(error, "Failed to find boundary of FH\n");
            EXPECT_TRUE(analyser.head_contour.empty());
            EXPECT_EQ(analyser.head_neck_boundary.rows(), 0);
            continue;
        }
        EXPECT_EQ(error, "");
        const auto& expected = c.contours[static_cast<std::size_t>(c.chosen)];
        ASSERT_EQ(analyser.head_contour.size(), expected.size());
        EXPECT_EQ(analyser.head_contour.front().x, expected.front().x);
        EXPECT_EQ(analyser.head_neck_boundary.rows(), expected.size() >= 6 ? 31 : 3);
    }
}
