// Landmarks and landcurves defined with the mouse: the point a pick defines, the collection of
// a landcurve's points on one surface, and the curve made from them.
#pragma once

#include "view/ray_picking.h"

#include <cstdint>
#include <string>
#include <vector>

struct WorkingState;

// After a naming dialog, whose event loop lets a batch go on: true while the surfaces are still
// those of `generation` (WorkingState::surfaces_generation when the dialog opened); otherwise
// logs that the item ("Landmark" or "Landcurve") named in it was dropped.
bool same_surfaces(const WorkingState& state, std::uint64_t generation, const std::string& item);

// Values of WorkingState::landcurve_state.
constexpr std::int32_t landcurve_not_defining = 0;
constexpr std::int32_t landcurve_on_lr = 1; // also while no point has been picked yet
constexpr std::int32_t landcurve_on_hr = 2;

// The point at a hit: its position in the surface's file coordinates, zero tangents, the hit's
// triangle and weights, no vertex of its own (vertex_index -1) and no partner.
Landmark picked_point(const PickHit& hit, const std::string& name);

// Adds the hit to the landcurve being defined. The first point decides the surface (state 1 on
// LR, 2 on HR); a later point on the other surface is ignored. Returns true when it was added.
bool collect_landcurve_point(WorkingState& state, const PickHit& hit);

// A landcurve whose control points and working points are both the picked points.
Landcurve picked_landcurve(const std::string& name, bool closed,
                           const std::vector<Landmark>& points);

// The message of the landcurve naming dialog: "LR " (state 1) or "HR " (otherwise), "open" or
// "closed", " landcurve name".
std::string landcurve_name_prompt(std::int32_t landcurve_state, bool closed);
