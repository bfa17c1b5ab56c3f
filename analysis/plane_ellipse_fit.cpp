// Best-fit plane by the scatter matrix, then an algebraic conic fit in that plane under the
// Bookstein constraint (k1^2 + k2^2 / 2 + k3^2 = 1, invariant under rotation and translation of
// the plane coordinates), solved through the QR factor of the design matrix.
#include "analysis/femur_analyser.h"
#include "analysis/point_sets.h"

#include <array>
#include <cmath>
#include <cstddef>

namespace {

constexpr double sqrt2 = 1.4142135623730951;
constexpr double inverse_sqrt2 = 0.7071067811865475;
constexpr int sample_count = 31;

// 30 equal steps round the ellipse; the last angle is exactly 2 pi so the loop closes.
std::array<double, sample_count> sample_angles()
{
    std::array<double, sample_count> angles{};
    for (int k = 0; k < sample_count - 1; ++k)
        angles[static_cast<std::size_t>(k)] = k * 0.20943951023931953;
    angles[sample_count - 1] = 6.283185307179586;
    return angles;
}

PointMatrix as_rows(const std::vector<Point3>& points)
{
    PointMatrix rows(static_cast<Eigen::Index>(points.size()), 3);
    for (std::size_t i = 0; i < points.size(); ++i)
        rows.row(static_cast<Eigen::Index>(i)) = to_eigen(points[i]).transpose();
    return rows;
}

void normalise(Eigen::Vector3d& v)
{
    const double length = v.norm();
    if (length != 0.0)
        v /= length;
}

} // namespace

PointMatrix FemurAnalyser::fit_plane_ellipse(const std::vector<Point3>& points)
{
    // A conic has six coefficients: fewer points leave it undetermined, and the points stand.
    const auto count = static_cast<Eigen::Index>(points.size());
    if (count < 6)
        return as_rows(points);

    const Eigen::Vector3d c = to_eigen(mean_point(points));
    const auto plane = scatter_axes(points);
    const Eigen::Vector3d n = plane.eigenvectors().col(0);
    Eigen::Vector3d e1 = plane.eigenvectors().col(1);
    Eigen::Vector3d e2 = n.cross(e1);
    normalise(e1);
    normalise(e2);

    Eigen::MatrixXd design(count, 6);
    for (Eigen::Index i = 0; i < count; ++i) {
        const Eigen::Vector3d p = to_eigen(points[static_cast<std::size_t>(i)]);
        const Eigen::Vector3d q = p - (p - c).dot(n) * n;
        const double u = (q - c).dot(e1);
        const double v = (q - c).dot(e2);
        design.row(i) << u, v, 1.0, u * u, sqrt2 * u * v, v * v;
    }
    const Eigen::HouseholderQR<Eigen::MatrixXd> qr(design);
    const Eigen::MatrixXd r = qr.matrixQR().triangularView<Eigen::Upper>();
    const Eigen::Matrix3d r11 = r.block(0, 0, 3, 3);
    const Eigen::Matrix3d r12 = r.block(0, 3, 3, 3);
    const Eigen::Matrix3d r22 = r.block(3, 3, 3, 3);
    // Collinear plane coordinates leave the linear block singular: no conic to speak of.
    if (r11.determinant() == 0.0)
        return as_rows(points);
    const Eigen::JacobiSVD<Eigen::Matrix3d, Eigen::ColPivHouseholderQRPreconditioner> svd(
        r22, Eigen::ComputeFullU | Eigen::ComputeFullV);
    const Eigen::Vector3d w = svd.matrixV().col(2);
    const Eigen::Vector3d t = -(r11.inverse() * r12) * w;

    Eigen::Matrix2d quadratic;
    quadratic << w(0), w(1) * inverse_sqrt2, w(1) * inverse_sqrt2, w(2);
    const Eigen::Vector2d linear(t(0), t(1));
    const double constant = t(2);
    const Eigen::SelfAdjointEigenSolver<Eigen::Matrix2d> conic(quadratic);
    const double lambda0 = conic.eigenvalues()(0);
    const double lambda1 = conic.eigenvalues()(1);
    // Hyperbola, parabola or a pair of lines (NaN included).
    if (!(lambda0 * lambda1 > 0.0))
        return as_rows(points);

    const Eigen::Vector2d centre = -0.5 * quadratic.inverse() * linear;
    const double h = centre.dot(quadratic * centre) + linear.dot(centre) + constant;
    const double a = std::sqrt(-h / lambda0);
    const double b = std::sqrt(-h / lambda1);
    // An ellipse with no real points has imaginary semi-axes.
    if (!std::isfinite(a) || !std::isfinite(b))
        return as_rows(points);
    const Eigen::Vector2d g0 = conic.eigenvectors().col(0);
    const double alpha = std::atan2(g0.y(), g0.x());
    const double cos_alpha = std::cos(alpha);
    const double sin_alpha = std::sin(alpha);

    PointMatrix ellipse(sample_count, 3);
    const auto angles = sample_angles();
    for (int k = 0; k < sample_count; ++k) {
        const double theta = angles[static_cast<std::size_t>(k)];
        const double x =
            centre.x() + cos_alpha * a * std::cos(theta) - sin_alpha * b * std::sin(theta);
        const double y =
            centre.y() + sin_alpha * a * std::cos(theta) + cos_alpha * b * std::sin(theta);
        ellipse.row(k) = (c + x * e1 + y * e2).transpose();
    }
    if (!ellipse.allFinite())
        return as_rows(points);
    return ellipse;
}
