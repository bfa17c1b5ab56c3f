// The head-neck junction: of the closed curvature contours, one lying wholly on the head's side
// of the bone and high up along it, tilted little against the third natural axis, and the
// longest such.
#include "analysis/femur_analyser.h"
#include "analysis/point_sets.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// Sorted ascending; the middle score, or the mean of the two middle ones. Needs one score.
double median_of(std::vector<double> scores)
{
    std::sort(scores.begin(), scores.end());
    const std::size_t half = scores.size() / 2;
    return scores.size() % 2 == 1 ? scores[half] : 0.5 * (scores[half - 1] + scores[half]);
}

} // namespace

void FemurAnalyser::find_head_neck_boundary(Surface& bone)
{
    const Point3& v = frame.v;
    const Eigen::Vector3d w = to_eigen(frame.w);

    std::vector<const std::vector<Point3>*> passing;
    for (const std::vector<Point3>& contour : contours) {
        if (contour.size() <= 2)
            continue;
        const bool on_head_side =
            std::none_of(contour.begin(), contour.end(),
                         [&](const Point3& p) { return dot(p - frame.origin, v) < 0.0; });
        if (on_head_side && dot(mean_point(contour), frame.u) > dot(bone.centroid, frame.u))
            passing.push_back(&contour);
    }

    std::vector<double> scores;
    for (const auto* contour : passing)
        scores.push_back(std::fabs(scatter_axes(*contour).eigenvectors().col(0).dot(w)));
    const std::vector<Point3>* chosen = nullptr;
    if (!passing.empty()) {
        const double median = median_of(scores);
        for (std::size_t i = 0; i < passing.size(); ++i) {
            if (scores[i] <= median && (chosen == nullptr || passing[i]->size() > chosen->size()))
                chosen = passing[i];
        }
    }
    if (chosen == nullptr) {
        reject_head_neck_boundary();
        return;
    }
    head_contour = *chosen;
    head_neck_boundary = fit_plane_ellipse(head_contour);
}

void FemurAnalyser::reject_head_neck_boundary()
{
    boundary_failed = true;
    lesser_trochanter_failed = true;
    head_contour.clear();
    head_neck_boundary.resize(0, 3);
    lesser_trochanter.resize(0, 3);
    shaft_slice.resize(0, 3);
    std::fputs("Failed to find boundary of FH\n", stderr);
}
