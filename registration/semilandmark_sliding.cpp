#include "registration/semilandmark_sliding.h"

#include "registration/family_transform.h"
#include "registration/ffd_grid.h"
#include "registration/registration_type.h"
#include "registration/reprojection.h"
#include "registration/tps_counterparts.h"
#include "state/working_state.h"
#include "surface/status_log.h"

#include <Eigen/Dense>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>

const char* const repeated_landmarks_message = "Repeated LR landmarks";
const char* const degenerate_configuration_message = "Degenerate landmark configuration";

namespace {

// The corresponding points of one step, row by row: landmarks, curve points, semilandmarks.
struct CorrespondenceRows {
    std::vector<Point3> lr;                        // X, LR file coordinates
    std::vector<Point3> hr;                        // Z, HR file coordinates
    std::vector<std::array<Point3, 2>> directions; // sliding directions (zero for landmarks)
    std::vector<Landmark*> sliding;                // HR points of the rows from landmark_rows on
    std::size_t landmark_rows = 0;
    std::size_t curve_rows = 0;
    std::size_t semilandmark_rows = 0;

    void add(const Point3& x, Landmark& z, const Point3& d1, const Point3& d2, bool slides)
    {
        lr.push_back(x);
        hr.push_back(z.position);
        directions.push_back({d1, d2});
        if (slides)
            sliding.push_back(&z);
    }
};

// Rows only for points that exist on both sides: an LR curve whose HR partner has fewer working
// points, or more LR than HR semilandmarks, must not reach past the HR lists.
CorrespondenceRows correspondence_rows(Surface& lr, Surface& hr)
{
    CorrespondenceRows rows;
    for (const Landmark& landmark : lr.landmarks) {
        if (landmark.partner < 0 ||
            static_cast<std::size_t>(landmark.partner) >= hr.landmarks.size())
            continue;
        rows.add(landmark.position, hr.landmarks[static_cast<std::size_t>(landmark.partner)], {},
                 {}, false);
        ++rows.landmark_rows;
    }
    for (const Landcurve& curve : lr.landcurves) {
        if (curve.partner < 0 || static_cast<std::size_t>(curve.partner) >= hr.landcurves.size())
            continue;
        Landcurve& partner = hr.landcurves[static_cast<std::size_t>(curve.partner)];
        const std::size_t count = std::min(curve.points.size(), partner.points.size());
        for (std::size_t j = 0; j < count; ++j)
            rows.add(curve.points[j].position, partner.points[j], partner.points[j].tangent1, {},
                     true);
        rows.curve_rows += count;
    }
    const std::size_t count = std::min(lr.semilandmarks.size(), hr.semilandmarks.size());
    for (std::size_t j = 0; j < count; ++j)
        rows.add(lr.semilandmarks[j].position, hr.semilandmarks[j], hr.semilandmarks[j].tangent1,
                 hr.semilandmarks[j].tangent2, true);
    rows.semilandmark_rows = count;
    return rows;
}

bool has_repeated_point(const std::vector<Point3>& points)
{
    constexpr double limit2 = repeated_point_distance * repeated_point_distance;
    for (std::size_t i = 0; i < points.size(); ++i)
        for (std::size_t j = i + 1; j < points.size(); ++j)
            if (squared_distance(points[i], points[j]) < limit2)
                return true;
    return false;
}

// Points that all lie in one plane (or on a line) leave the affine part of the spline
// undetermined: its system has no inverse, and solving it anyway gives rounding noise. Points
// stored as floats or written with six decimals are never exactly flat, so the thinness (least
// over largest spread) must stay well above that rounding to catch them.
bool spans_volume(const std::vector<Point3>& points)
{
    Eigen::MatrixXd centred(static_cast<Eigen::Index>(points.size()), 3);
    Point3 mean;
    for (const Point3& p : points)
        mean = mean + (1.0 / static_cast<double>(points.size())) * p;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const Point3 p = points[i] - mean;
        centred.row(static_cast<Eigen::Index>(i)) << p.x, p.y, p.z;
    }
    const Eigen::Vector3d singular = Eigen::JacobiSVD<Eigen::MatrixXd>(centred).singularValues();
    return singular(0) > 0.0 && singular(2) > flat_set_thinness * singular(0);
}

// L = [[K, P], [P^T, 0]] with K_lm = |X_l - X_m| and P = [1, X]; its inverse.
Eigen::MatrixXd inverse_spline_system(const std::vector<Point3>& x)
{
    const auto n = static_cast<Eigen::Index>(x.size());
    Eigen::MatrixXd l = Eigen::MatrixXd::Zero(n + 4, n + 4);
    for (Eigen::Index i = 0; i < n; ++i) {
        const Point3& p = x[static_cast<std::size_t>(i)];
        for (Eigen::Index j = 0; j < n; ++j)
            l(i, j) = std::sqrt(squared_distance(p, x[static_cast<std::size_t>(j)]));
        const double affine[4] = {1.0, p.x, p.y, p.z};
        for (Eigen::Index c = 0; c < 4; ++c) {
            l(i, n + c) = affine[c];
            l(n + c, i) = affine[c];
        }
    }
    return l.partialPivLu().inverse();
}

Eigen::Vector3d vector(const Point3& p) { return {p.x, p.y, p.z}; }

// The slide parameters t of least bending energy z^T Be3 z for z + U t. U has one non-zero
// direction per column, in the rows of one point, so U^T Be3 U and U^T Be3 z reduce to the
// bending matrix Be at those points times the dot products of the directions.
Eigen::VectorXd optimal_slide(const Eigen::MatrixXd& be, const CorrespondenceRows& rows,
                              std::vector<std::size_t>& column_row,
                              std::vector<Point3>& column_direction)
{
    const std::size_t sliding = rows.curve_rows + rows.semilandmark_rows;
    for (std::size_t k = 0; k < sliding; ++k) {
        column_row.push_back(rows.landmark_rows + k);
        column_direction.push_back(rows.directions[rows.landmark_rows + k][0]);
    }
    for (std::size_t k = rows.curve_rows; k < sliding; ++k) {
        column_row.push_back(rows.landmark_rows + k);
        column_direction.push_back(rows.directions[rows.landmark_rows + k][1]);
    }
    const auto n = static_cast<Eigen::Index>(rows.hr.size());
    Eigen::MatrixXd z(n, 3);
    for (Eigen::Index i = 0; i < n; ++i)
        z.row(i) = vector(rows.hr[static_cast<std::size_t>(i)]).transpose();
    const Eigen::MatrixXd be_z = be * z;

    const auto m = static_cast<Eigen::Index>(column_row.size());
    Eigen::MatrixXd normal(m, m);
    Eigen::VectorXd right(m);
    for (Eigen::Index a = 0; a < m; ++a) {
        const auto ra = static_cast<Eigen::Index>(column_row[static_cast<std::size_t>(a)]);
        const Eigen::Vector3d da = vector(column_direction[static_cast<std::size_t>(a)]);
        for (Eigen::Index b = 0; b < m; ++b) {
            const auto rb = static_cast<Eigen::Index>(column_row[static_cast<std::size_t>(b)]);
            normal(a, b) =
                be(ra, rb) * da.dot(vector(column_direction[static_cast<std::size_t>(b)]));
        }
        right(a) = -da.dot(be_z.row(ra).transpose());
    }
    return normal.ldlt().solve(right);
}

Matrix4 inverse(const Matrix4& t)
{
    Matrix4 result;
    Eigen::Map<Eigen::Matrix4d>(result.m.data()) =
        Eigen::Map<const Eigen::Matrix4d>(t.m.data()).inverse();
    return result;
}

bool refuse(const char* message)
{
    log_status(message);
    return false;
}

} // namespace

bool slide_HR_semilandmarks(WorkingState& state)
{
    Surface& lr = *state.lr_surface;
    Surface& hr = *state.hr_surface;
    CorrespondenceRows rows = correspondence_rows(lr, hr);
    const std::size_t n = rows.lr.size();
    if (n <= 2)
        return true;

    if (lr.landmarks_changed) {
        lr.landmarks_changed = false;
        lr.landmarks_repeated = has_repeated_point(rows.lr);
    }
    if (lr.landmarks_repeated)
        return refuse(repeated_landmarks_message);

    const Matrix4 lr_to_hr = lr_to_hr_file_transform(lr, hr, state.current_transform);
    const Matrix4 hr_to_lr = inverse(lr_to_hr);
    if (!spans_volume(rows.lr) || !is_finite_transform(hr_to_lr))
        return refuse(degenerate_configuration_message);
    const Eigen::MatrixXd l_inverse = inverse_spline_system(rows.lr);
    if (!l_inverse.allFinite())
        return refuse(degenerate_configuration_message);

    // Slides, warp and shape are worked out first and kept only when the warp is sound: a
    // refused step leaves the HR points, the slide step, the warp and the shape as they were.
    const auto size = static_cast<Eigen::Index>(n);
    const bool slides = rows.curve_rows + rows.semilandmark_rows > 4;
    if (slides) {
        std::vector<std::size_t> column_row;
        std::vector<Point3> column_direction;
        const Eigen::VectorXd t =
            optimal_slide(l_inverse.topLeftCorner(size, size), rows, column_row, column_direction);
        if (!std::isfinite(t.norm()) || t.cwiseAbs().maxCoeff() > hr.max_radius)
            return refuse(degenerate_configuration_message);
        for (std::size_t c = 0; c < column_row.size(); ++c)
            rows.hr[column_row[c]] =
                rows.hr[column_row[c]] +
                (state.slide_step * t(static_cast<Eigen::Index>(c))) * column_direction[c];
    }

    // The similarity pose stays on top of the warp: the warp ends in LR file coordinates.
    Eigen::MatrixXd targets = Eigen::MatrixXd::Zero(size + 4, 3);
    for (Eigen::Index i = 0; i < size; ++i)
        targets.row(i) =
            vector(transformed(hr_to_lr, rows.hr[static_cast<std::size_t>(i)])).transpose();
    const Eigen::MatrixXd w = l_inverse * targets;
    TpsWarp warp;
    warp.control_points = rows.lr;
    warp.coefficients.resize(n + 4);
    for (Eigen::Index i = 0; i < size + 4; ++i)
        warp.coefficients[static_cast<std::size_t>(i)] = {w(i, 0), w(i, 1), w(i, 2)};

    // A warp that carries a vertex further than the HR surface reaches from its centre is no
    // registration but the blow-up of a nearly flat set; moves are measured on the HR side.
    std::vector<Point3> warped(lr.positions.size());
    const double limit2 = static_cast<double>(hr.max_radius) * hr.max_radius;
    for (std::size_t i = 0; i < lr.positions.size(); ++i) {
        warped[i] = evaluate_tps(warp, lr.positions[i]);
        const double moved2 = squared_distance(transformed(lr_to_hr, warped[i]),
                                               transformed(lr_to_hr, lr.positions[i]));
        if (!(moved2 <= limit2))
            return refuse(degenerate_configuration_message);
    }

    if (slides) {
        state.slide_step = std::min(1.0, state.slide_step + 0.25);
        for (std::size_t k = 0; k < rows.sliding.size(); ++k)
            rows.sliding[k]->position = rows.hr[rows.landmark_rows + k];
    }
    state.tps_warp = std::move(warp);
    lr.sim_tps_positions = std::move(warped);
    return true;
}

bool run_tps_step(WorkingState& state)
{
    const bool curves = resample_paired_landcurves(state, true);
    const bool semilandmarks = transfer_semilandmarks(state, true);
    if (curves || semilandmarks)
        reproject_landmarks(state, *state.hr_surface);
    if (!slide_HR_semilandmarks(state))
        return false;
    reproject_landmarks(state, *state.hr_surface);
    update_deformed_positions(state, similarity_tps);
    mark_lr_shape_lists_out_of_date(state.list_dirty);
    return true;
}
