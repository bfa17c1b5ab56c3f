#include "view/mouse_maths.h"

#include "tests/fixtures/expect_near.h"
#include "view/colour_map.h"
#include "view/view_maths.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// The image of a direction (no translation).
Point3 turned(const Matrix4& m, const Point3& v)
{
    return transformed(m, v) - transformed(m, {0, 0, 0});
}

} // namespace

TEST(MouseMaths, DragStepsTurnSpinAndPan)
{
    // 3 pixels right and 4 down with the left button: 5 degrees about (4, 3, 0).
    const Matrix4 turn = drag_transform(3, 4, {true, false, false}, 2.0);
    expect_point_near(turned(turn, {0.8, 0.6, 0}), {0.8, 0.6, 0}, 1e-9);
    const double c = std::cos(5 * degrees_to_radians);
    const double s = std::sin(5 * degrees_to_radians);
    // (0, 0, 1) is perpendicular to the axis; it turns towards axis x (0, 0, 1) = (0.6, -0.8, 0).
    expect_point_near(turned(turn, {0, 0, 1}), {0.6 * s, -0.8 * s, c}, 1e-9);
    expect_point_near(transformed(turn, {0, 0, 0}), {0, 0, 0}, 1e-9);

    // The middle button spins by dx + dy = 7 degrees about the view axis.
    const Matrix4 spin = drag_transform(3, 4, {false, true, false}, 2.0);
    expect_point_near(turned(spin, {1, 0, 0}),
                      {std::cos(7 * degrees_to_radians), std::sin(7 * degrees_to_radians), 0},
                      1e-9);

    // The right button pans by (dx, -dy) / zoom: window y points down, the view's up.
    expect_point_near(transformed(drag_transform(3, 4, {false, false, true}, 2.0), {0, 0, 0}),
                      {1.5, -2, 0}, 1e-9);
    // No moving button, or no movement: the identity.
    EXPECT_EQ(drag_transform(3, 4, {}, 2.0).m, identity_matrix().m);
    EXPECT_EQ(drag_transform(0, 0, {true, true, false}, 2.0).m, identity_matrix().m);
}

TEST(MouseMaths, ViewTurnsAboutItsOwnCentre)
{
    Matrix4 view;
    make_transform(view, 10, 20, 30, 40, 50, 60);
    const Matrix4 step = drag_transform(3, 4, {true, true, false}, 1.0);
    const Matrix4 after = view_rotation_after_drag(view, step);
    // The translation stays; the turn comes after the old rotation, in screen axes.
    expect_point_near(transformed(after, {0, 0, 0}), {10, 20, 30}, 1e-9);
    for (const Point3& v : {Point3{1, 0, 0}, Point3{0, 1, 0}, Point3{0, 0, 1}})
        expect_point_near(turned(after, v), turned(step, turned(view, v)), 1e-9);
}

TEST(MouseMaths, LrSurfaceTurnsAboutItsCentroidInScreenAxesAndPansInTheScreenPlane)
{
    Matrix4 view;
    make_transform(view, 5, 6, 7, 30, -20, 10);
    Matrix4 pose;
    make_transform(pose, 11, -12, 13, 15, 25, -35);
    pose[0] *= 1.2; // not rigid: a similarity or affine pose
    const Point3 centroid = transformed(pose, {0, 0, 0});
    const Point3 p{3, -4, 5};

    const Matrix4 turn = drag_transform(3, 4, {true, false, false}, 2.0);
    const Matrix4 turned_pose = pose_after_drag(pose, view, turn);
    expect_point_near(transformed(turned_pose, {0, 0, 0}), centroid, 1e-9);
    // Seen in screen axes, the point about the centroid turns by the drag's turn.
    expect_point_near(turned(view, transformed(turned_pose, p) - centroid),
                      turned(turn, turned(view, transformed(pose, p) - centroid)), 1e-9);

    const Matrix4 panned_pose =
        pose_after_drag(pose, view, drag_transform(3, 4, {false, false, true}, 2.0));
    expect_point_near(turned(view, transformed(panned_pose, p) - transformed(pose, p)),
                      {1.5, -2, 0}, 1e-9);
}

TEST(MouseMaths, WheelNotchesChangeByAFixedStep)
{
    struct Case {
        int rotation, delta;
        double divisor, factor;
    } cases[] = {
        {-120, 120, 20, 1.05},    // one notch towards the user: zoom in
        {120, 120, 20, 1 / 1.05}, // one notch away: zoom out by the same step
        {-240, 120, 20, 1.10},    // two notches at once
        {-120, 120, 10, 1.1},     // the colour gain's step
        {120, 120, 10, 1 / 1.1},  {-60, 120, 20, 1.025}, // half a notch of a fine-grained wheel
        {0, 120, 20, 1.0},                               // no turn
        {-120, 0, 20, 1.0}, // an event without a notch size changes nothing
    };
    for (const Case& c : cases)
        EXPECT_NEAR(wheel_factor(c.rotation, c.delta, c.divisor), c.factor, 1e-15)
            << c.rotation << " " << c.delta << " " << c.divisor;
}

TEST(MouseMaths, LegendCornerAndColourMapCycle)
{
    EXPECT_TRUE(in_legend_area(0, 0));
    EXPECT_TRUE(in_legend_area(19, 149));
    EXPECT_FALSE(in_legend_area(20, 0));
    EXPECT_FALSE(in_legend_area(0, 150));

    int map = default_data_colour_map;
    for (int click = 1; click <= colour_map_count; ++click) {
        map = next_colour_map(map);
        EXPECT_GE(map, 0);
        EXPECT_LT(map, colour_map_count);
        EXPECT_EQ(map == default_data_colour_map, click == colour_map_count) << click;
    }
    EXPECT_EQ(next_colour_map(6), 0);
}

TEST(MouseMaths, PickRayRunsFromTheNearToTheFarPlaneUnderThePointer)
{
    Matrix4 to_centred;
    make_inverse_translation(to_centred, 100, 200, 300); // HR centroid (100, 200, 300)
    Point3 near_point, far_point;
    // The window centre looks at the centroid along -z, from one end of the depth to the other.
    ASSERT_TRUE(
        pick_ray(200, 100, 2.0, identity_matrix(), to_centred, 100, 50, near_point, far_point));
    expect_point_near(near_point, {100, 200, 300 + view_depth / 2}, 1e-9);
    expect_point_near(far_point, {100, 200, 300 - view_depth / 2}, 1e-9);

    // 20 pixels right and 20 up (window y points down), at 2 pixels per millimetre, in a view
    // turned a quarter about z.
    Matrix4 quarter;
    make_transform(quarter, 0, 0, 0, 90, 0, 0);
    ASSERT_TRUE(pick_ray(200, 100, 2.0, quarter, to_centred, 120, 30, near_point, far_point));
    expect_point_near(near_point, {100 + 10, 200 - 10, 300 + view_depth / 2}, 1e-7);

    EXPECT_FALSE(pick_ray(0, 100, 2.0, identity_matrix(), to_centred, 0, 0, near_point, far_point));
    EXPECT_FALSE(
        pick_ray(200, 100, 0.0, identity_matrix(), to_centred, 0, 0, near_point, far_point));
}
