// Where the overlays of the view go: the landmark, semilandmark and landcurve markers, the
// match lines between the surfaces and the displacement lines of the LR vertices. All in
// millimetres; the GL code only draws what these return.
#pragma once

#include "registration/tps_warp.h"
#include "surface/matrix4.h"
#include "surface/surface.h"

#include <vector>

// Marker sizes as fractions of the LR surface's max_radius.
constexpr double landmark_radius_fraction = 0.01;
constexpr double semilandmark_radius_fraction = 0.005;
constexpr double curve_marker_radius_fraction = 0.0025;
constexpr double curve_marker_length_fraction = 0.01;

// The drawn position of a point of `surface`: its triangle and barycentric weights over the
// shown positions, or, when `warp` is given, the warp of its stored position; then
// `transform`. False when the point's triangle names no vertex of the surface.
bool overlay_position(const Surface& surface, const Landmark& point, const Matrix4& transform,
                      const TpsWarp* warp, Point3& result);

// The points a landcurve is drawn through: its working points, or its control points while it
// has none.
const std::vector<Landmark>& drawn_curve_points(const Landcurve& curve);

// The direction of the marker at each point of a curve: next minus previous point (wrapping
// round a closed curve; one-sided at the ends of an open one), unit length unless zero.
std::vector<Point3> curve_marker_directions(const std::vector<Point3>& points, bool closed);

// The turn that lays the z axis along direction d: `angle` degrees about `axis`. No turn
// (`turn` false) within 1 degree of z, or when d has no direction across z to turn about.
struct MarkerTurn {
    bool turn = false;
    double angle = 0.0;
    Point3 axis;
};
MarkerTurn marker_turn(const Point3& d);

struct OverlayLine {
    Point3 from;
    Point3 to;
    bool fussy = false; // a match flagged by "Fussy %"
};

// One line per LR vertex matched nearer than range2 (squared millimetres): from the vertex's
// shown position under lr_to_hr to the shown position of its HR match. Vertices whose match
// names no HR vertex are left out.
std::vector<OverlayLine> match_lines(const Surface& lr, const Surface& hr, const Matrix4& lr_to_hr,
                                     double range2);

// One line per LR vertex, from its start point to its shown position: the start is its
// position as read, or its place in the shape model's mean when `mean` is given (x y z per
// vertex) and holds every vertex.
std::vector<OverlayLine> displacement_lines(const Surface& lr, const std::vector<float>* mean);
