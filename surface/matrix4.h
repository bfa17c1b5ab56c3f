// 4 x 4 homogeneous transforms, column-major: element (row r, column c) is m[4c + r], the
// translation is m[12..14]. Rotation parameters are degrees, composed as R = Rz(a) Ry(b) Rx(c).
// Every operation reads the last row as 0 0 0 1 and writes the result into its first argument,
// which may alias an input.
#pragma once

#include "surface/point3.h"

#include <array>

struct Matrix4 {
    std::array<double, 16> m{};

    double& operator[](int i) { return m[static_cast<std::size_t>(i)]; }
    double operator[](int i) const { return m[static_cast<std::size_t>(i)]; }
};

constexpr double degrees_to_radians = 3.141592653589793 / 180.0;
constexpr double radians_to_degrees = 57.29577951308232;

Matrix4& set_zero(Matrix4& result);
Matrix4& set_identity(Matrix4& result);
Matrix4& make_translation(Matrix4& result, double tx, double ty, double tz);
Matrix4& make_inverse_translation(Matrix4& result, double tx, double ty, double tz);

// Rotation Rz(a) Ry(b) Rx(c) (degrees) followed by the translation (tx, ty, tz).
Matrix4& make_transform(Matrix4& result, double tx, double ty, double tz, double a, double b,
                        double c);

// The six parameters of make_transform, angles in degrees. Within 1e-8 of b = +-90 degrees the
// rotation is taken as a = 0 with c carrying the rest.
void decompose_transform(const Matrix4& matrix, double& tx, double& ty, double& tz, double& a,
                         double& b, double& c);

// Inverse of a rigid matrix: transposed linear part, translation -R^T t.
Matrix4& invert_rigid(Matrix4& result, const Matrix4& matrix);

// The product a b (affine matrices only).
Matrix4& multiply(Matrix4& result, const Matrix4& a, const Matrix4& b);

// R p + t, no homogeneous division.
inline Point3& transform_point(Point3& result, const Matrix4& t, const Point3& p)
{
    const Point3 q{t[0] * p.x + t[4] * p.y + t[8] * p.z + t[12],
                   t[1] * p.x + t[5] * p.y + t[9] * p.z + t[13],
                   t[2] * p.x + t[6] * p.y + t[10] * p.z + t[14]};
    result = q;
    return result;
}

// Value-returning forms for expressions.
inline Point3 transformed(const Matrix4& t, const Point3& p)
{
    Point3 q;
    return transform_point(q, t, p);
}
// R v: the linear part alone, as for a direction.
inline Point3 linear_part_applied(const Matrix4& t, const Point3& v)
{
    return {t[0] * v.x + t[4] * v.y + t[8] * v.z, t[1] * v.x + t[5] * v.y + t[9] * v.z,
            t[2] * v.x + t[6] * v.y + t[10] * v.z};
}
Matrix4 identity_matrix();
Matrix4 product(const Matrix4& a, const Matrix4& b);

// Determinant of the 3 x 3 linear part; negative for a pose that reflects.
double linear_determinant(const Matrix4& matrix);

// v / |v|; a zero vector is returned unchanged.
Point3& normalized(Point3& result, const Point3& v);
inline Point3 normalized(const Point3& v)
{
    Point3 result;
    return normalized(result, v);
}
