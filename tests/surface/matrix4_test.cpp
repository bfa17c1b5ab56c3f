#include "surface/matrix4.h"
#include "tests/fixtures/expect_near.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

struct Pose {
    double tx, ty, tz, a, b, c;
};

} // namespace

TEST(Matrix4, ZeroAnglesGiveTheTranslation)
{
    Matrix4 t, expected;
    make_transform(t, 1, 2, 3, 0, 0, 0);
    make_translation(expected, 1, 2, 3);
    expect_matrix_near(t, expected, 0.0);
    Matrix4 inverse;
    make_inverse_translation(inverse, 1, 2, 3);
    expect_matrix_near(product(t, inverse), identity_matrix(), 0.0);
}

TEST(Matrix4, RotationOrderIsZThenYThenX)
{
    // Rx(90) takes y to z, then Rz(90) takes z to z: (0,1,0) -> (0,0,1).
    Matrix4 t;
    make_transform(t, 0, 0, 0, 90, 0, 90);
    const Point3 p = transformed(t, {0, 1, 0});
    EXPECT_NEAR(p.x, 0.0, 1e-15);
    EXPECT_NEAR(p.y, 0.0, 1e-15);
    EXPECT_NEAR(p.z, 1.0, 1e-15);
    // Rx(90) takes x to x, then Rz(90) takes x to y.
    const Point3 q = transformed(t, {1, 0, 0});
    EXPECT_NEAR(q.y, 1.0, 1e-15);
}

TEST(Matrix4, ParametersRoundTrip)
{
    const Pose poses[] = {
        {1, 2, 3, 10, 20, 30},   {-5, 0, 7, -170, 45, 120},     {0, 0, 0, 180, 0, 0},
        {0, 0, 0, 0, 0, 180},    {4, 4, 4, 179.5, -89.9, -0.5}, {0, 0, 0, -45, 89.9, 45},
        {0, 0, 0, 90, -30, -90},
    };
    for (const Pose& pose : poses) {
        Matrix4 t;
        make_transform(t, pose.tx, pose.ty, pose.tz, pose.a, pose.b, pose.c);
        double tx, ty, tz, a, b, c;
        decompose_transform(t, tx, ty, tz, a, b, c);
        EXPECT_DOUBLE_EQ(tx, pose.tx);
        EXPECT_DOUBLE_EQ(ty, pose.ty);
        EXPECT_DOUBLE_EQ(tz, pose.tz);
        EXPECT_NEAR(a, pose.a, 1e-6) << pose.a << " " << pose.b << " " << pose.c;
        EXPECT_NEAR(b, pose.b, 1e-6);
        EXPECT_NEAR(c, pose.c, 1e-6);
    }
}

TEST(Matrix4, GimbalCasesPutTheWholeRotationIntoC)
{
    // At b = +-90 degrees only a - c (b = 90) or a + c (b = -90) is determined.
    const Pose poses[] = {{0, 0, 0, 30, 90, 10},   {0, 0, 0, 0, 90, -60}, {0, 0, 0, 20, -90, 30},
                          {0, 0, 0, 0, -90, -120}, {0, 0, 0, 0, 90, 0},   {0, 0, 0, 0, -90, 180}};
    for (const Pose& pose : poses) {
        Matrix4 t;
        make_transform(t, 0, 0, 0, pose.a, pose.b, pose.c);
        double tx, ty, tz, a, b, c;
        decompose_transform(t, tx, ty, tz, a, b, c);
        EXPECT_FALSE(std::isnan(c));
        EXPECT_EQ(a, 0.0);
        EXPECT_EQ(b, pose.b);
        Matrix4 rebuilt;
        make_transform(rebuilt, 0, 0, 0, a, b, c);
        expect_matrix_near(rebuilt, t, 1e-7);
    }
}

TEST(Matrix4, GimbalCosineOutsideTheUnitRangeIsClamped)
{
    Matrix4 t;
    make_transform(t, 0, 0, 0, 0, 90, 0);
    t[8] = 1.0000000000000002; // rounding just past 1
    double tx, ty, tz, a, b, c;
    decompose_transform(t, tx, ty, tz, a, b, c);
    EXPECT_EQ(c, 0.0);
    t[2] = 1.0;
    t[5] = -1.0000000000000002;
    decompose_transform(t, tx, ty, tz, a, b, c);
    EXPECT_EQ(b, -90.0);
    EXPECT_NEAR(std::abs(c), 180.0, 1e-12);
}

TEST(Matrix4, RigidInverseAndProducts)
{
    Matrix4 t, inverse;
    make_transform(t, 3, -4, 5, 33, -21, 77);
    invert_rigid(inverse, t);
    expect_matrix_near(product(inverse, t), identity_matrix(), 1e-14);
    expect_matrix_near(product(t, inverse), identity_matrix(), 1e-14);

    // The product ignores the inputs' last rows and forces 0 0 0 1.
    Matrix4 odd = t;
    odd[3] = 7;
    odd[15] = 9;
    Matrix4 forced = t;
    expect_matrix_near(product(odd, identity_matrix()), forced, 0.0);

    // Aliasing the result with an input is allowed.
    Matrix4 a = t;
    multiply(a, a, inverse);
    expect_matrix_near(a, identity_matrix(), 1e-14);

    // (A B) p = A (B p).
    Matrix4 b;
    make_transform(b, -1, 2, 0.5, -10, 60, 5);
    const Point3 p{0.3, -1.7, 2.2};
    const Point3 left = transformed(product(t, b), p);
    const Point3 right = transformed(t, transformed(b, p));
    EXPECT_NEAR(left.x, right.x, 1e-13);
    EXPECT_NEAR(left.y, right.y, 1e-13);
    EXPECT_NEAR(left.z, right.z, 1e-13);
}

TEST(Matrix4, DeterminantMarksReflections)
{
    Matrix4 t;
    make_transform(t, 1, 1, 1, 12, 34, 56);
    EXPECT_NEAR(linear_determinant(t), 1.0, 1e-14);
    t[0] = -t[0];
    t[1] = -t[1];
    t[2] = -t[2];
    EXPECT_NEAR(linear_determinant(t), -1.0, 1e-14);
    Matrix4 scale = identity_matrix();
    scale[0] = 2;
    scale[5] = 3;
    scale[10] = 4;
    EXPECT_EQ(linear_determinant(scale), 24.0);
}

TEST(Point3, NormalizingLeavesTheZeroVector)
{
    Point3 r;
    normalized(r, {0, 0, 0});
    EXPECT_EQ(r.x, 0.0);
    EXPECT_EQ(r.y, 0.0);
    EXPECT_EQ(r.z, 0.0);
    normalized(r, {3, 0, 4});
    EXPECT_DOUBLE_EQ(r.x, 0.6);
    EXPECT_DOUBLE_EQ(r.z, 0.8);
}
