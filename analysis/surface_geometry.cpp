#include "analysis/surface_geometry.h"

#include "analysis/bone_side.h"
#include "analysis/femur_analyser.h"
#include "analysis/gaussian_curvature.h"
#include "analysis/rims_and_natural_axes.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace {

bool holds_femur_items(const Surface& surface)
{
    for (const Landmark& landmark : surface.landmarks) {
        if (landmark.name == crest_landmark_name || landmark.name == fossa_landmark_name ||
            landmark.name == fovea_landmark_name)
            return true;
    }
    for (const Landcurve& curve : surface.landcurves) {
        if (curve.name == shaft_landcurve_name || curve.name == head_neck_landcurve_name ||
            curve.name == lesser_trochanter_landcurve_name)
            return true;
    }
    return false;
}

} // namespace

void compute_bounds_and_radii(Surface& surface)
{
    const std::vector<Point3>& positions = surface.shown_positions();
    surface.bbox_min = {1e10, 1e10, 1e10};
    surface.bbox_max = {-1e10, -1e10, -1e10};
    Point3 sum;
    for (const Point3& p : positions) {
        surface.bbox_min = {std::min(surface.bbox_min.x, p.x), std::min(surface.bbox_min.y, p.y),
                            std::min(surface.bbox_min.z, p.z)};
        surface.bbox_max = {std::max(surface.bbox_max.x, p.x), std::max(surface.bbox_max.y, p.y),
                            std::max(surface.bbox_max.z, p.z)};
        sum = sum + p;
    }
    surface.centroid =
        positions.empty() ? Point3{} : (1.0 / static_cast<double>(positions.size())) * sum;
    const Point3& c = surface.centroid;
    make_translation(surface.from_centred, c.x, c.y, c.z);
    make_inverse_translation(surface.to_centred, c.x, c.y, c.z);

    float largest = 0.0f;
    float squares = 0.0f;
    for (const Point3& p : positions) {
        const auto square = static_cast<float>(squared_distance(p, c));
        largest = std::max(largest, square);
        squares += square;
    }
    surface.max_radius = std::sqrt(largest);
    surface.rms_radius =
        positions.empty() ? 0.0f : std::sqrt(squares / static_cast<float>(positions.size()));
}

std::string femur_message(const Surface& surface)
{
    std::string text = side_disagreement_message(surface);
    const std::string& note = surface.femur_analysis_note;
    if (note.empty())
        return text;
    return text.empty() ? "The femur analysis of " + surface.name + ": " + note
                        : text + "; " + note;
}

void analyse_surface_geometry(Surface& surface)
{
    compute_bounds_and_radii(surface);
    find_rims_and_natural_axes(surface);

    const wxString name = wxString::FromUTF8(surface.name);
    surface.femur_analysis_note.clear();
    surface.is_femur = is_femur_name(name);
    if (!surface.is_femur) {
        compute_gaussian_curvature(surface);
        return;
    }
    // The side estimate and the femur analysis read the same mesh and measure as the
    // curvature: they are built once for all three.
    const SurfaceCurvature curvature = surface_curvature(surface);
    compute_gaussian_curvature(surface, curvature);
    estimate_femur_side(surface, curvature);
    if (holds_femur_items(surface) || !is_proximal_name(name))
        return;
    const BoneSide named = side_from_name(name);
    const std::uint8_t side =
        named == bone_undetermined ? surface.geometric_side : static_cast<std::uint8_t>(named);
    // A side word that the bone's own shape contradicts stays the surface's side, but the
    // items placed by side would then be looked for on the wrong half of the bone.
    const bool contradicted = side_contradicts_shape(surface);
    FemurAnalyser analyser;
    analyser.analyse_proximal_femur(surface, side, contradicted, curvature);
    surface.femur_analysis_note = analyser.left_out_note();
}
