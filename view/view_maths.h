// The view's geometry as plain functions: the scene is drawn in window pixels, the model-view
// mapping millimetres to pixels with the origin at the window centre.
#pragma once

#include "surface/matrix4.h"

// Near and far planes of the orthographic projection, in pixels along the view direction.
constexpr double view_depth = 10000.0;

// Translation to the window centre, then a uniform scale by `zoom` (pixels per millimetre),
// then the view rotation.
Matrix4 view_matrix(int width, int height, double zoom, const Matrix4& view_rotation);

// The zoom that fits a pair of surfaces: half the smaller window side over the larger of the
// two radii; 1 when both radii are 0 (or not positive) or the window has no area.
double fit_zoom(double lr_max_radius, double hr_max_radius, int width, int height);

// The view rotation at load: the inverse of the HR natural axes, turned so that the HR main
// axis points up the view (`axis_up`, for femurs and surfaces with rims) or lies across it.
Matrix4 loading_view_rotation(const Matrix4& hr_natural_axes, bool axis_up);

// The rotation that a review job with this review value puts in front of the view rotation at
// load: values 1 to 6 (sign ignored) pick six views of the pair; above 6 the turn of the loading
// view (the same turn `axis_up` selects) is applied once more.
Matrix4 review_view_preset(int review_value, bool axis_up);
