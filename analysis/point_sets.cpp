#include "analysis/point_sets.h"

Point3 mean_point(const std::vector<Point3>& points)
{
    Point3 sum;
    for (const Point3& p : points)
        sum = sum + p;
    if (points.empty())
        return {};
    const auto count = static_cast<double>(points.size());
    return {sum.x / count, sum.y / count, sum.z / count};
}

Point3 mean_row(const Eigen::MatrixXd& rows)
{
    if (rows.rows() == 0)
        return {};
    return to_point(rows.colwise().mean().transpose());
}

Eigen::Matrix3d scatter_matrix(const std::vector<Point3>& points)
{
    const Eigen::Vector3d c = to_eigen(mean_point(points));
    Eigen::Matrix3d scatter = Eigen::Matrix3d::Zero();
    for (const Point3& p : points) {
        const Eigen::Vector3d d = to_eigen(p) - c;
        scatter += d * d.transpose();
    }
    return scatter;
}

Eigen::SelfAdjointEigenSolver<Eigen::Matrix3d> scatter_axes(const std::vector<Point3>& points)
{
    return Eigen::SelfAdjointEigenSolver<Eigen::Matrix3d>(scatter_matrix(points));
}
