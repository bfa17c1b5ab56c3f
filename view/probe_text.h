// What the status line says about a picked place: the vertex, or the value the shading shows
// there (data, curvature, registration error, data error), interpolated over the hit triangle.
#pragma once

#include "view/ray_picking.h"
#include "view/shading_mode.h"

#include <string>

// The text of a hit in shading mode. range2 is the squared search range in square millimetres
// (a corner matched no nearer counts as unmatched); data_units follow data values. Every text
// ends with the nearest corner's vertex number.
std::string probe_text(const PickHit& hit, const Surface& lr, const Surface& hr, ShadingMode mode,
                       double range2, const std::string& data_units);

// A value as "%#.3g" without a trailing point ("12.0", "100", "0.00123"), whatever the locale.
std::string probe_number(double value);
