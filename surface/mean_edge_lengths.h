// Mean triangle edge lengths of the two surfaces, the LR one in its current pose.
#pragma once

#include "surface/matrix4.h"
#include "surface/surface.h"

// Sums |a - b|, |a - c| and |c - b| over the triangles of the HR shown positions and divides
// by three times the triangle count (an edge shared by two triangles counts twice); the same
// for the LR shown positions mapped by lr_transform (the current transform), so the LR mean
// follows the registration's scale. Returns false, writing nothing, when the HR surface has no
// triangles, and false after writing hr_mean when the LR surface has none.
bool compute_mean_edge_lengths(const Surface& hr, const Surface& lr, const Matrix4& lr_transform,
                               double& hr_mean, double& lr_mean);
