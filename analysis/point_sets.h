// Means and scatter of point sets, shared by the curve fits and contour tests of the femur
// analysis.
#pragma once

#include "surface/matrix4.h"
#include "surface/point3.h"

#include <Eigen/Dense>

#include <cmath>
#include <cstddef>
#include <vector>

inline Eigen::Vector3d to_eigen(const Point3& p) { return {p.x, p.y, p.z}; }
inline Point3 to_point(const Eigen::Vector3d& v) { return {v.x(), v.y(), v.z()}; }

// Column 0, 1 or 2 of a transform's linear part: for natural_axes the main, second and third
// natural axis.
inline Point3 axis_column(const Matrix4& axes, int column)
{
    return {axes[4 * column], axes[4 * column + 1], axes[4 * column + 2]};
}

// Mean of the points; (0, 0, 0) for none.
Point3 mean_point(const std::vector<Point3>& points);
// Mean of the rows of a three-column matrix, every row counted (the closing row of a fitted
// curve too); (0, 0, 0) for none.
Point3 mean_row(const Eigen::MatrixXd& rows);
// Sum over the points of (p - c)(p - c)^T, c their mean.
Eigen::Matrix3d scatter_matrix(const std::vector<Point3>& points);
// Eigenvalues (ascending) and unit eigenvectors of a point set's scatter matrix.
Eigen::SelfAdjointEigenSolver<Eigen::Matrix3d> scatter_axes(const std::vector<Point3>& points);
// The first ceil(fraction * size) entries (at least one of a non-empty list).
template <typename T> void keep_leading_fraction(std::vector<T>& items, double fraction)
{
    const double wanted = std::ceil(fraction * static_cast<double>(items.size()));
    if (wanted < static_cast<double>(items.size()))
        items.resize(static_cast<std::size_t>(wanted));
}
