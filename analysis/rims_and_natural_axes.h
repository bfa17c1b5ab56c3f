// Rims (boundary loops) of an open surface and the natural axis frame that the longest closed
// rim gives it.
#pragma once

#include "surface/surface.h"

#include <cstdint>

// Finds the rims from the triangle list: flags their vertices in on_rim, gives every chained rim
// vertex its direction along the rim (rim_direction, rim_vertex_count), appends every chain of
// more than three entries as the closed landcurve "auto-detected rim <k>" unless the surface
// has one of that name already, and keeps the longest chain in rim_band.
// When the longest chain is a closed loop, rim_band becomes the loop followed by its two-ring
// band, and the natural axes follow: u, the axis most nearly perpendicular to the band's normals
// (least squares), pointing towards the vertex farthest from the axis line; v, towards that
// vertex; w = u x v. natural_axes holds them as columns, rim_centroid is the band's mean,
// axial_extent is how far the surface reaches along u beyond its centroid and mirror reflects
// across the plane of u and v.
// Otherwise on_rim is all 0, natural_axes the identity, mirror diag(-1, 1, 1) and axial_extent 0;
// an open longest chain also writes "WARNING: open rim found in find_rims_and_natural_axes" on
// standard error.
// Requires positions, normals (of the positions as read), triangles, the per-vertex arrays, the
// centroid and an empty rim_band.
void find_rims_and_natural_axes(Surface& surface);

// Whether the natural axes are the bone's own frame: the surface has a closed longest rim (its
// rim flags are set); otherwise they are the identity.
bool has_natural_frame(const Surface& surface);

// Residuals of the axis fit: for the angles x = (theta, phi) of
// u = (sin theta cos phi, sin theta sin phi, cos theta), u . normal of every rim_band vertex of
// the surface that context points at. Returns 0.
int natural_axis_residuals(void* context, int m, int n, const double* x, double* fvec, int iflag);
