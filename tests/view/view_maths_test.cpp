#include "view/view_maths.h"

#include <gtest/gtest.h>

namespace {

void expect_point(const Point3& p, double x, double y, double z)
{
    EXPECT_NEAR(p.x, x, 1e-12);
    EXPECT_NEAR(p.y, y, 1e-12);
    EXPECT_NEAR(p.z, z, 1e-12);
}

} // namespace

TEST(ViewMaths, ViewMatrixCentresScalesThenRotates)
{
    Matrix4 quarter_turn; // 90 degrees about z: x -> y
    make_transform(quarter_turn, 0, 0, 0, 90, 0, 0);
    const Matrix4 v = view_matrix(200, 100, 2.0, quarter_turn);
    expect_point(transformed(v, {0, 0, 0}), 100, 50, 0);
    expect_point(transformed(v, {10, 0, 0}), 100, 70, 0);
    expect_point(transformed(v, {0, 0, 3}), 100, 50, 6);
}

TEST(ViewMaths, FitZoomUsesTheLargerRadiusAndTheSmallerSide)
{
    EXPECT_DOUBLE_EQ(fit_zoom(10.0, 25.0, 640, 400), 8.0);
    EXPECT_DOUBLE_EQ(fit_zoom(25.0, 10.0, 400, 640), 8.0);
    EXPECT_DOUBLE_EQ(fit_zoom(0.0, 0.0, 640, 400), 1.0);
    EXPECT_DOUBLE_EQ(fit_zoom(10.0, 25.0, 0, 400), 1.0); // no client area yet
}

TEST(ViewMaths, LoadingViewTurnsTheMainAxis)
{
    Matrix4 axes; // natural axes: the main axis along file (0, 0, 1)
    make_transform(axes, 5, 6, 7, 0, -90, 0);
    Point3 main_axis;
    transform_point(main_axis, axes, {1, 0, 0});
    const Point3 origin = transformed(axes, {0, 0, 0});
    const Point3 file_axis = main_axis - origin;

    const Matrix4 up = loading_view_rotation(axes, true);
    const Matrix4 across = loading_view_rotation(axes, false);
    const Point3 o_up = transformed(up, origin);
    const Point3 o_across = transformed(across, origin);
    expect_point(transformed(up, origin + file_axis) - o_up, 0, 1, 0);
    expect_point(transformed(across, origin + file_axis) - o_across, -1, 0, 0);
}

TEST(ViewMaths, ReviewPresetsAreSixDistinctRotations)
{
    for (int value = 1; value <= 6; ++value) {
        const Matrix4 r = review_view_preset(value, true);
        EXPECT_DOUBLE_EQ(linear_determinant(r), 1.0) << value;
        EXPECT_EQ(r.m, review_view_preset(-value, true).m) << value;
        for (int other = 1; other < value; ++other)
            EXPECT_NE(r.m, review_view_preset(other, true).m) << value << " " << other;
    }
    expect_point(transformed(review_view_preset(2, true), {1, 0, 0}), 0, 0, 1);
    // Above 6 the loading turn is applied once more.
    expect_point(transformed(review_view_preset(7, true), {1, 0, 0}), 0, 1, 0);
    expect_point(transformed(review_view_preset(9, false), {1, 0, 0}), -1, 0, 0);
}
