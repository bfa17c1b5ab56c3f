// The analysis every loaded surface gets once: bounding box, centroid, centring transforms and
// radii, then rims and natural axes, smoothed Gaussian curvature and femur recognition.
#pragma once

#include "app/working_state.h"
#include "surface/surface.h"

#include <string>

// Bounding box, centroid, from_centred / to_centred and the two radii of the shown positions.
// A surface without vertices keeps centroid and radii at 0 (the box stays at its empty start,
// min 1e10 and max -1e10).
void compute_bounds_and_radii(Surface& surface);

// The whole analysis, in this order: compute_bounds_and_radii, find_rims_and_natural_axes,
// compute_gaussian_curvature, femur recognition from the name (is_femur, and for a femur
// estimate_femur_side); a proximal femur that holds none of the femur analysis's items gets them
// from a FemurAnalyser, on the side its name gives, else on its geometric side.
// Requires what a successful read leaves: positions, triangles, normals, per-vertex arrays,
// annotations and the name, with the shown positions as read and an empty rim_band.
// The loader runs it on the LR surface first, then on the HR surface.
// A femur whose name declares the side its shape contradicts gets no item placed by side; what
// the femur analysis left out is kept in femur_analysis_note.
void analyse_surface_geometry(WorkingState& state, Surface& surface);

// What a load has to say about a femur: the side its name declares against the one its shape
// has (side_disagreement_message), and what the femur analysis left out and why, as one text
// naming the surface; "" when there is nothing to say.
std::string femur_message(const Surface& surface);
