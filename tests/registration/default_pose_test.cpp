#include "registration/default_pose.h"

#include "surface/surface.h"
#include "tests/fixtures/expect_near.h"

#include <gtest/gtest.h>

namespace {

Matrix4 turn(double a, double b, double c)
{
    Matrix4 m;
    return make_transform(m, 0, 0, 0, a, b, c);
}

} // namespace

TEST(ComputeDefaultPose, FemurAxesAndMirroring)
{
    Surface lr, hr;
    bool batch_running = false;
    lr.name = "a";
    hr.name = "b";
    expect_matrix_near(compute_default_pose(lr, hr, batch_running), identity_matrix(), 0.0);

    // Femurs: the LR axes are turned onto the HR axes and moved along the HR main axis by the
    // difference of the axial extents.
    lr.is_femur = hr.is_femur = true;
    lr.natural_axes = turn(0, 0, 30);
    hr.natural_axes = turn(0, 90, 0);
    lr.axial_extent = 40;
    hr.axial_extent = 45;
    lr.geometric_side = hr.geometric_side = 1;
    lr.mirror = identity_matrix();
    lr.mirror[0] = -1;
    Matrix4 lr_inverse;
    invert_rigid(lr_inverse, lr.natural_axes);
    Matrix4 expected = product(hr.natural_axes, lr_inverse);
    expected[12] = 5 * hr.natural_axes[0];
    expected[13] = 5 * hr.natural_axes[1];
    expected[14] = 5 * hr.natural_axes[2];
    expect_matrix_near(compute_default_pose(lr, hr, batch_running), expected, 1e-12);

    // Sides undetermined by name and different geometric sides: mirrored, except in a batch.
    hr.geometric_side = 0;
    expect_matrix_near(compute_default_pose(lr, hr, batch_running), product(expected, lr.mirror),
                       1e-12);
    batch_running = true;
    expect_matrix_near(compute_default_pose(lr, hr, batch_running), expected, 1e-12);

    // A left and a right bone by name are mirrored whatever they are; two lefts are not.
    batch_running = false;
    lr.is_femur = hr.is_femur = false;
    lr.name = "radius_L";
    hr.name = "radius_R";
    expect_matrix_near(compute_default_pose(lr, hr, batch_running), lr.mirror, 0.0);
    hr.name = "radius_L";
    expect_matrix_near(compute_default_pose(lr, hr, batch_running), identity_matrix(), 0.0);
}
