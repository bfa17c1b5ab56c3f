#include "analysis/bone_side.h"

#include "analysis/gaussian_curvature.h"
#include "analysis/rims_and_natural_axes.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <utility>

namespace {

// Reference surfaces kept beside the surfaces to be registered, by their exact names.
const std::array<std::pair<const char*, BoneSide>, 19> canonical_sides = {{
    {"canonical_femur_5580", bone_right},
    {"canonical_5580", bone_right},
    {"canonical_affine2", bone_right},
    {"canonical_affine3", bone_right},
    {"canonical_capitate_5415", bone_right},
    {"canonical_hamate_5347", bone_right},
    {"canonical_lunate_3442", bone_right},
    {"canonical_scaphoid_4988", bone_right},
    {"canonical_trapezium_4184", bone_right},
    {"canonical_triquetrum_2859", bone_right},
    {"canonical_mc1_5785", bone_right},
    {"canonical_mc2_7386", bone_right},
    {"canonical_mc3_6756", bone_right},
    {"canonical_mc3_7087", bone_right},
    {"canonical_mc4_5079", bone_right},
    {"canonical_mc5_4991", bone_right},
    {"canonical_tibia_5458", bone_right},
    {"canonical_js_2370", bone_right},
    {"canonical_talus_7000", bone_left},
}};

// Side words in the order they are tested: lower case first, so it wins over capitalised.
const std::array<std::pair<const char*, BoneSide>, 6> side_words = {{
    {"right", bone_right},
    {"left", bone_left},
    {"Right", bone_right},
    {"Left", bone_left},
    {"RIGHT", bone_right},
    {"LEFT", bone_left},
}};

bool contains(const wxString& text, const char* part) { return text.Contains(part); }

const char* side_word(int side) { return side == bone_left ? "left" : "right"; }

// The scale (mm) of the curvature the side estimate weighs: about that of the surface's own
// smoothed curvature on a scan of 2 mm edges, but in millimetres, so that it does not change
// with the triangulation.
constexpr double side_curvature_radius_mm = 5.0;

} // namespace

BoneSide side_from_name(const wxString& name)
{
    for (const auto& [canonical, side] : canonical_sides) {
        if (name == canonical)
            return side;
    }
    for (const auto& [word, side] : side_words) {
        if (contains(name, word))
            return side;
    }
    if (name.EndsWith("L"))
        return bone_left;
    if (name.EndsWith("R"))
        return bone_right;
    return bone_undetermined;
}

bool is_femur_name(const wxString& name)
{
    return contains(name, "femur") || contains(name, "Femur") || contains(name, "FEMUR") ||
           name == "canonical_5580" ||
           (contains(name, "ZIDI") && (contains(name, "siemens") || contains(name, "xtreme")));
}

bool is_proximal_name(const wxString& name)
{
    return contains(name, "proximal") || contains(name, "Proximal") || contains(name, "PROXIMAL");
}

void estimate_femur_side(Surface& surface)
{
    if (surface.positions.empty()) {
        surface.geometric_side = 1;
        return;
    }
    estimate_femur_side(surface, surface_curvature(surface));
}

void estimate_femur_side(Surface& surface, const SurfaceCurvature& curvature)
{
    if (surface.positions.empty()) {
        surface.geometric_side = 1;
        return;
    }
    const Matrix4& axes = surface.natural_axes;
    const Point3 u{axes[0], axes[1], axes[2]};
    const Point3 w{axes[8], axes[9], axes[10]};
    double lowest = 1e10;
    double highest = -1e10;
    for (const Point3& p : surface.positions) {
        lowest = std::min(lowest, dot(p, w));
        highest = std::max(highest, dot(p, w));
    }
    const double width = highest - lowest;
    const double limit = surface.axial_extent - width;

    const CurvatureMeasure& measure = curvature.measure;
    const std::vector<double> kappa =
        patch_curvature(curvature.mesh, surface.positions, measure, side_curvature_radius_mm);
    double left_sum = 0.0;
    double right_sum = 0.0;
    for (std::size_t v = 0; v < surface.positions.size(); ++v) {
        const Point3 offset = surface.positions[v] - surface.centroid;
        if (dot(offset, u) < limit && kappa[v] > 0.0) {
            const double weight = kappa[v] * measure.incident_area[v] / 3.0;
            if (dot(offset, w) < 0.0)
                left_sum += weight;
            else
                right_sum += weight;
        }
    }
    surface.geometric_side = right_sum >= left_sum ? 1 : 0;
}

bool side_contradicts_shape(const Surface& surface)
{
    const BoneSide named = side_from_name(wxString::FromUTF8(surface.name));
    return surface.is_femur && has_natural_frame(surface) && named != bone_undetermined &&
           named != surface.geometric_side;
}

std::string side_disagreement_message(const Surface& surface)
{
    if (!side_contradicts_shape(surface))
        return {};
    const BoneSide named = side_from_name(wxString::FromUTF8(surface.name));
    return "The name of " + surface.name + " says " + side_word(named) +
           " but its shape is that of a " + side_word(surface.geometric_side) +
           " femur; the side from the name is used";
}
