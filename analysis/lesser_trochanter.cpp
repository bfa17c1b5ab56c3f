// The lesser trochanter: of the closed curvature contours, one on the bone side's half of the
// shaft below the head-neck centre, not short beside the head contour, roughly round, and the
// longest such; then the shaft cut at its height.
#include "analysis/femur_analyser.h"
#include "analysis/point_sets.h"

#include <algorithm>
#include <cmath>

void FemurAnalyser::find_lesser_trochanter(Surface& /*bone*/)
{
    const Point3& u = frame.u;
    const Point3& w = frame.w;
    const double sigma = side == 1 ? 1.0 : -1.0;
    const Point3 head_neck_centre = mean_row(head_neck_boundary);

    std::vector<const std::vector<Point3>*> candidates;
    for (const std::vector<Point3>& contour : contours) {
        if (contour.size() <= 2)
            continue;
        const bool rejected = std::any_of(contour.begin(), contour.end(), [&](const Point3& p) {
            return sigma * dot(p - frame.origin, w) < 0.0 || dot(p - head_neck_centre, u) > 0.0;
        });
        if (!rejected)
            candidates.push_back(&contour);
    }

    const double threshold = 0.2 * static_cast<double>(head_contour.size());
    std::vector<const std::vector<Point3>*> passing;
    for (const auto* contour : candidates) {
        if (static_cast<double>(contour->size()) >= threshold)
            passing.push_back(contour);
    }
    if (passing.empty())
        passing = candidates;

    // |1 - l2 / l1|: 0 for a contour spread alike in both directions of its plane.
    std::vector<double> scores;
    double score_sum = 0.0;
    for (const auto* contour : passing) {
        const Eigen::Vector3d lambda = scatter_axes(*contour).eigenvalues();
        const double total = lambda.sum();
        scores.push_back(std::fabs(1.0 - (lambda(2) / total) / (lambda(1) / total)));
        score_sum += scores.back();
    }
    const double mean_score = score_sum / static_cast<double>(scores.size());
    const std::vector<Point3>* chosen = nullptr;
    for (std::size_t i = 0; i < passing.size(); ++i) {
        if (scores[i] <= mean_score && (chosen == nullptr || passing[i]->size() > chosen->size()))
            chosen = passing[i];
    }
    if (chosen == nullptr) {
        lesser_trochanter_failed = true;
        return;
    }
    lesser_trochanter = fit_plane_ellipse(*chosen);
}

void FemurAnalyser::slice_shaft_at_lesser_trochanter(Surface& bone)
{
    const Point3& u = frame.u;
    const double height = dot(mean_row(lesser_trochanter), u);
    std::vector<Point3> slice;
    for (const Point3& p : bone.positions) {
        if (std::fabs(dot(p, u) - height) < 1.0)
            slice.push_back(p);
    }
    if (!slice.empty())
        shaft_slice = fit_plane_ellipse(slice);
}

bool compare_axis2_distance(std::int64_t a, std::int64_t b)
{
    const FemurAnalyser& analyser = *current_analyser;
    const Point3 c = mean_row(analyser.lesser_trochanter);
    const Point3& w = analyser.frame.w;
    const std::vector<Point3>& p = analyser.surface->positions;
    return std::fabs(dot(p[static_cast<std::size_t>(a)] - c, w)) <
           std::fabs(dot(p[static_cast<std::size_t>(b)] - c, w));
}
