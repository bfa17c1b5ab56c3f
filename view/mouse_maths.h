// What the mouse does to the view and the pose, as plain functions: drags that turn, spin and
// pan, wheel turns that zoom, scale or change the colours, the legend corner, and the ray
// through a pointer position.
#pragma once

#include "surface/matrix4.h"

// The corner of the view over the colour bar, in window pixels from the top-left corner:
// clicks there change the colour map, the wheel there the colour gain or offset.
bool in_legend_area(int x, int y);

// The colour map after a click on the legend: the next of the seven, the first after the last.
int next_colour_map(int colour_map);

// The factor of a wheel turn of `rotation` with `delta` per notch, where one notch changes by
// 1 / notch_divisor: 1 + |r| / (notch_divisor d) towards the user (r < 0), its reciprocal form
// 1 / (1 + r / (notch_divisor d)) away. 1 for no turn or a delta that is not positive.
double wheel_factor(int rotation, int delta, double notch_divisor);

// The mouse buttons held during a drag that move something.
struct DragButtons {
    bool left = false;   // turn about the axis across the drag
    bool middle = false; // spin about the view axis
    bool right = false;  // pan in the screen plane
};

// The rotation by `degrees` about `axis` (right-handed); the identity for a zero axis.
Matrix4 rotation_about_axis(double degrees, const Point3& axis);

// A drag step of (dx, dy) window pixels (y down), composed from the identity: with the left
// button a turn by sqrt(dx^2 + dy^2) degrees about (dy, dx, 0), then with the middle button a
// spin by dx + dy degrees about (0, 0, 1), then with the right button a pan by (dx, -dy, 0) /
// zoom millimetres. The identity when none of them is held.
Matrix4 drag_transform(double dx, double dy, const DragButtons& buttons, double zoom);

// The view rotation after a drag: T_v drag R_v, with T_v and R_v the translation and the
// linear part of view_rotation, so the view turns about its own centre in screen axes.
Matrix4 view_rotation_after_drag(const Matrix4& view_rotation, const Matrix4& drag);

// The pose after a drag of the LR surface: T_c R_v^-1 drag R_v T_c^-1 pose, with T_c the
// translation part of the pose (the LR centroid in the HR frame), so the surface turns about its
// centroid in screen axes and moves in the screen plane.
Matrix4 pose_after_drag(const Matrix4& pose, const Matrix4& view_rotation, const Matrix4& drag);

// The ray under window pixel (x, y) (origin top-left) in HR file coordinates: the points at the
// near (depth 0) and far (depth 1) planes of the view's orthographic projection, for the
// model-view view_matrix(width, height, zoom, view_rotation) x hr_to_centred. False when the
// view has no area or the mapping cannot be inverted.
bool pick_ray(int width, int height, double zoom, const Matrix4& view_rotation,
              const Matrix4& hr_to_centred, int x, int y, Point3& near_point, Point3& far_point);
