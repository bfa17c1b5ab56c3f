// The femur analysis driver: two-scale curvature, contours, the anatomical steps in order, and
// the hand-over of what they found to the surface.
#include "analysis/femur_analyser.h"

#include "analysis/femur_smoothing.h"
#include "analysis/gaussian_curvature.h"
#include "analysis/point_sets.h"
#include "analysis/rims_and_natural_axes.h"
#include "analysis/zero_crossing_contours.h"

#include <array>
#include <cmath>
#include <cstddef>

FemurAnalyser* current_analyser = nullptr;

namespace {

double mean_edge_length(const Surface& surface)
{
    double sum = 0.0;
    for (const Triangle& triangle : surface.triangles) {
        const std::array<double, 3> lengths = side_lengths(surface.positions, triangle);
        sum += lengths[0] + lengths[1] + lengths[2];
    }
    return sum / (3.0 * static_cast<double>(surface.triangles.size()));
}

Landmark named_point(const std::string& name, const Point3& position)
{
    Landmark point;
    point.name = name;
    point.position = position;
    return point;
}

// Rows 0 to N-2 of a fitted curve as a closed landcurve: its last row repeats the first.
void add_closed_curve(Surface& surface, const char* name, const PointMatrix& rows)
{
    if (rows.rows() < 2)
        return;
    Landcurve curve;
    curve.name = name;
    curve.closed = true;
    for (Eigen::Index r = 0; r + 1 < rows.rows(); ++r)
        curve.points.push_back(named_point("", {rows(r, 0), rows(r, 1), rows(r, 2)}));
    curve.control_points = curve.points;
    surface.landcurves.push_back(std::move(curve));
}

const Point3& vertex_position(const Surface& surface, std::int64_t vertex)
{
    return surface.positions[static_cast<std::size_t>(vertex)];
}

} // namespace

void FemurAnalyser::analyse_proximal_femur(Surface& surface_to_analyse, std::uint8_t bone_side,
                                           bool contradicted)
{
    analyse_proximal_femur(surface_to_analyse, bone_side, contradicted,
                           surface_curvature(surface_to_analyse));
}

void FemurAnalyser::analyse_proximal_femur(Surface& surface_to_analyse, std::uint8_t bone_side,
                                           bool contradicted, const SurfaceCurvature& curvature)
{
    *this = FemurAnalyser();
    surface = &surface_to_analyse;
    side = bone_side;
    frame = femur_frame(surface_to_analyse);
    side_contradicted = contradicted;
    current_analyser = this;
    run_femur_analysis(surface_to_analyse, curvature);
    // A standing boundary has a fitted head (boundary_rings_fitted_head), which the rest is
    // checked against.
    if (!boundary_failed)
        check_items_against_head();

    Surface& s = surface_to_analyse;
    if (!boundary_failed)
        add_closed_curve(s, head_neck_landcurve_name, head_neck_boundary);
    if (!boundary_failed && !head_fit_failed)
        s.landmarks.push_back(named_point(fovea_landmark_name, fovea));
    if (!lesser_trochanter_failed) {
        if (!implausible.lesser_trochanter)
            add_closed_curve(s, lesser_trochanter_landcurve_name, lesser_trochanter);
        if (!implausible.shaft_slice)
            add_closed_curve(s, shaft_landcurve_name, shaft_slice);
    }
    // The crest step runs only after the lesser trochanter was found; without it crest_failed
    // is never set, and a crest landmark would sit at the origin.
    if (!lesser_trochanter_failed && !crest_failed) {
        if (!implausible.crest)
            s.landmarks.push_back(named_point(crest_landmark_name, crest_point));
        if (!fossa_points.empty() && !implausible.fossa)
            s.landmarks.push_back(named_point(fossa_landmark_name, fossa_point));
    }
}

void FemurAnalyser::run_femur_analysis(Surface& analysed, const SurfaceCurvature& curvature)
{
    const CurvatureMesh& mesh = curvature.mesh;
    const FemurSmoothingPasses passes = femur_smoothing_passes(mean_edge_length(analysed));
    // Vertices that add nothing to the shape (a finer triangulation of the same surface) must
    // not change the contours or the landmarks.
    std::vector<double> raw =
        refinement_invariant_curvature(mesh, curvature.measure, analysed.on_rim);
    // Coordinates near the limit of doubles overflow the triangle geometry into NaN, which
    // would break the median's sort and every sort order of the analysis; such a vertex counts
    // as flat.
    for (double& k : raw) {
        if (!std::isfinite(k))
            k = 0.0;
    }

    const std::vector<double> coarse = smooth_curvature(mesh, raw, passes.coarse);
    smoothed_curvature = coarse.data();
    for (const auto& contour : zero_crossing_contours(mesh, analysed.triangles, coarse)) {
        std::vector<Point3> points;
        for (const std::int64_t vertex : contour)
            points.push_back(vertex_position(analysed, vertex));
        contours.push_back(std::move(points));
    }
    find_head_neck_boundary(analysed);
    if (!boundary_failed) {
        if (side_contradicted)
            lesser_trochanter_failed = true;
        else
            find_lesser_trochanter(analysed);
    }
    if (!boundary_failed && !lesser_trochanter_failed)
        slice_shaft_at_lesser_trochanter(analysed);

    const std::vector<double> fine = smooth_curvature(mesh, raw, passes.fine);
    smoothed_curvature = fine.data();
    if (!boundary_failed) {
        fit_femoral_head(analysed);
        // A contour that is no head-neck junction still gets a boundary and a "head" above it;
        // checked against each other, they give it away, and nothing built on it is kept.
        if (!boundary_rings_fitted_head())
            reject_head_neck_boundary();
    }
    if (!boundary_failed && !lesser_trochanter_failed) {
        find_crest_point(analysed);
        if (!crest_failed)
            find_fossa_point(analysed);
    }
    smoothed_curvature = nullptr;
}

FemurFrame femur_frame(const Surface& surface)
{
    FemurFrame frame;
    if (has_natural_frame(surface)) {
        frame.u = axis_column(surface.natural_axes, 0);
        frame.v = axis_column(surface.natural_axes, 1);
        frame.w = axis_column(surface.natural_axes, 2);
        frame.origin = surface.rim_centroid;
    } else {
        frame.origin = surface.centroid;
    }
    return frame;
}

Point3 proximal_direction(const Surface& surface) { return femur_frame(surface).u; }

bool compare_height(std::int64_t a, std::int64_t b)
{
    const FemurAnalyser& analyser = *current_analyser;
    return dot(vertex_position(*analyser.surface, a), analyser.frame.u) >
           dot(vertex_position(*analyser.surface, b), analyser.frame.u);
}

bool compare_axis0_offset(std::int64_t a, std::int64_t b)
{
    const FemurAnalyser& analyser = *current_analyser;
    const Point3& u = analyser.frame.u;
    return dot(vertex_position(*analyser.surface, a) - analyser.crest_point, u) <
           dot(vertex_position(*analyser.surface, b) - analyser.crest_point, u);
}

bool compare_smoothed_curvature(std::int64_t a, std::int64_t b)
{
    const double* kappa = current_analyser->smoothed_curvature;
    return kappa[a] > kappa[b];
}
