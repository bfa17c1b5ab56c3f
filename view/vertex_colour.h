// The colour of every vertex of a coloured display list: a value per vertex (data, curvature,
// registration error, data error) scaled into [0, 1] and looked up in a colour map.
#pragma once

#include "view/colour_map.h"
#include "view/display_list_kind.h"

#include <vector>

// Alpha of every per-vertex colour and of the surface materials.
constexpr float surface_alpha = 0.5f;
// Curvature that reaches an end of the ramp at gain 1 (per square millimetre).
constexpr double curvature_ramp_limit = 0.04;

// What colouring reads besides the surfaces.
struct ColourSettings {
    int colour_map = default_data_colour_map;
    double gain = 1.0;
    double offset = 0.0;
    double data_min = 0.0;
    double data_max = 6.0;
    double range2 = 0.0; // squared search range in square millimetres
};

// Grey of an LR vertex without a match within the search range in the data-error colourings.
constexpr Rgba unmatched_colour{0.25f, 0.25f, 0.25f, surface_alpha};

// Vertex i of the surface has a data value (its sigma is not the missing-value marker).
bool vertex_has_data(const Surface& surface, std::size_t i);

// The HR vertex matched to LR vertex i, or -1 when the stored index names no HR vertex.
std::int64_t matched_hr_vertex(const Surface& lr, const Surface& hr, std::size_t i);

// One colour per vertex of the surface that `kind` draws (`lr` for the LR kinds, `hr` for the
// HR kinds; the data-error kinds read the HR data of each LR vertex's match). A vertex without
// data, or whose value is not finite, gets the map's no-data colour; the data-error kinds give
// vertices matched no nearer than the search range the unmatched grey. Empty for the plain
// kinds.
std::vector<Rgba> vertex_colours(DisplayListKind kind, const Surface& lr, const Surface& hr,
                                 const ColourSettings& settings);
