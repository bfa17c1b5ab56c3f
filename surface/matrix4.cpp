#include "surface/matrix4.h"

#include <algorithm>
#include <cmath>

Matrix4& set_zero(Matrix4& result)
{
    result.m.fill(0.0);
    return result;
}

Matrix4& set_identity(Matrix4& result)
{
    set_zero(result);
    result[0] = result[5] = result[10] = result[15] = 1.0;
    return result;
}

Matrix4& make_translation(Matrix4& result, double tx, double ty, double tz)
{
    set_identity(result);
    result[12] = tx;
    result[13] = ty;
    result[14] = tz;
    return result;
}

Matrix4& make_inverse_translation(Matrix4& result, double tx, double ty, double tz)
{
    return make_translation(result, -tx, -ty, -tz);
}

Matrix4& make_transform(Matrix4& result, double tx, double ty, double tz, double a, double b,
                        double c)
{
    const double ca = std::cos(a * degrees_to_radians), sa = std::sin(a * degrees_to_radians);
    const double cb = std::cos(b * degrees_to_radians), sb = std::sin(b * degrees_to_radians);
    const double cc = std::cos(c * degrees_to_radians), sc = std::sin(c * degrees_to_radians);
    result[0] = ca * cb;
    result[1] = sa * cb;
    result[2] = -sb;
    result[3] = 0.0;
    result[4] = ca * sb * sc - sa * cc;
    result[5] = sa * sb * sc + ca * cc;
    result[6] = cb * sc;
    result[7] = 0.0;
    result[8] = ca * sb * cc + sa * sc;
    result[9] = sa * sb * cc - ca * sc;
    result[10] = cb * cc;
    result[11] = 0.0;
    result[12] = tx;
    result[13] = ty;
    result[14] = tz;
    result[15] = 1.0;
    return result;
}

namespace {

// acos with the argument clamped to [-1, 1]: at exactly 90 degrees rounding can push a cosine
// just outside, where acos would give NaN.
double clamped_acos(double x) { return std::acos(std::clamp(x, -1.0, 1.0)); }

// Angle in [0, pi] from its cosine, with the ends taken exactly.
double angle_from_cosine(double x)
{
    if (x <= -1.0)
        return 3.141592653589793;
    if (x >= 1.0)
        return 0.0;
    return std::acos(x);
}

} // namespace

void decompose_transform(const Matrix4& t, double& tx, double& ty, double& tz, double& a, double& b,
                         double& c)
{
    tx = t[12];
    ty = t[13];
    tz = t[14];
    if (t[2] < -0.99999999) {
        b = 90.0;
        a = 0.0;
        c = clamped_acos(t[8]) * radians_to_degrees;
        if (!(t[4] > 0.0))
            c = -c;
        return;
    }
    if (t[2] > 0.99999999) {
        b = -90.0;
        a = 0.0;
        c = clamped_acos(t[5]) * radians_to_degrees;
        if (t[4] > 0.0)
            c = -c;
        return;
    }
    const double b_rad = std::asin(-t[2]);
    const double cb = std::cos(b_rad);
    double a_rad = angle_from_cosine(t[0] / cb);
    if ((std::sin(a_rad) * cb > 0.0) != (t[1] > 0.0))
        a_rad = -a_rad;
    double c_rad = angle_from_cosine(t[10] / cb);
    if ((cb * std::sin(c_rad) > 0.0) != (t[6] > 0.0))
        c_rad = -c_rad;
    a = a_rad * radians_to_degrees;
    b = b_rad * radians_to_degrees;
    c = c_rad * radians_to_degrees;
}

Matrix4& invert_rigid(Matrix4& result, const Matrix4& t)
{
    const Matrix4 s = t;
    set_identity(result);
    for (int r = 0; r < 3; ++r)
        for (int col = 0; col < 3; ++col)
            result[4 * col + r] = s[4 * r + col];
    result[12] = -(s[0] * s[12] + s[1] * s[13] + s[2] * s[14]);
    result[13] = -(s[4] * s[12] + s[5] * s[13] + s[6] * s[14]);
    result[14] = -(s[8] * s[12] + s[9] * s[13] + s[10] * s[14]);
    return result;
}

Matrix4& multiply(Matrix4& result, const Matrix4& a, const Matrix4& b)
{
    Matrix4 p;
    for (int col = 0; col < 4; ++col) {
        for (int r = 0; r < 3; ++r) {
            double sum = a[r] * b[4 * col] + a[4 + r] * b[4 * col + 1] + a[8 + r] * b[4 * col + 2];
            if (col == 3)
                sum += a[12 + r];
            p[4 * col + r] = sum;
        }
    }
    p[15] = 1.0;
    result = p;
    return result;
}

Matrix4 identity_matrix()
{
    Matrix4 t;
    return set_identity(t);
}

Matrix4 product(const Matrix4& a, const Matrix4& b)
{
    Matrix4 t;
    return multiply(t, a, b);
}

double linear_determinant(const Matrix4& t)
{
    return t[0] * (t[5] * t[10] - t[6] * t[9]) - t[4] * (t[1] * t[10] - t[2] * t[9]) +
           t[8] * (t[1] * t[6] - t[2] * t[5]);
}

Point3& normalized(Point3& result, const Point3& v)
{
    const double length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    if (length != 0.0)
        result = {v.x / length, v.y / length, v.z / length};
    else
        result = v;
    return result;
}
