// Which bone a surface is and which side it comes from: femur recognition from the surface name,
// the side from the name, and the side of a femur from its geometry.
#pragma once

#include "analysis/gaussian_curvature.h"
#include "surface/surface.h"

#include <wx/string.h>

#include <string>

// The side of a bone; a surface's name is its file name without the extension.
enum BoneSide : int { bone_left = 0, bone_right = 1, bone_undetermined = 2 };

// The side a name declares, first rule that applies: a canonical reference surface by its exact
// name; "right", "left", "Right", "Left", "RIGHT", "LEFT" contained, tested in this order; a
// final "L" (left) or "R" (right); otherwise undetermined. Case-sensitive.
BoneSide side_from_name(const wxString& name);

// A femur by name: contains "femur", "Femur" or "FEMUR", is exactly "canonical_5580", or
// contains "ZIDI" together with "siemens" or "xtreme". Case-sensitive.
bool is_femur_name(const wxString& name);

// A proximal part by name: contains "proximal", "Proximal" or "PROXIMAL".
bool is_proximal_name(const wxString& name);

// Sets geometric_side (1 right, 0 left) of a femur by comparing the positive curvature on either
// side of the plane of the first two natural axes, over the vertices lying more than the bone's
// width along the third axis short of its axial extent. The curvature is weighed as the surface
// holds it, by area: each vertex adds its positive patch_curvature (over 5 mm) times its share
// of the area, so a finer triangulation of the same bone, whose extra vertices would each count
// once more, gives the same side. Equal sums give right, and so does a surface without vertices.
// Requires positions, triangles, on_rim, centroid, natural_axes and axial_extent to be current;
// the second form takes the surface's curvature data as surface_curvature built it.
void estimate_femur_side(Surface& surface);
void estimate_femur_side(Surface& surface, const SurfaceCurvature& curvature);

// Whether the surface is a femur with a natural frame whose name declares one side while its
// shape is that of the other.
bool side_contradicts_shape(const Surface& surface);

// For a femur whose name declares one side while its shape is that of the other: a status text
// naming the surface and both sides (the side from the name is the one used). "" when they
// agree, when the name declares no side, for a surface that is no femur, and for one without
// a natural frame (no closed longest rim), whose shape gives no side to compare.
std::string side_disagreement_message(const Surface& surface);
