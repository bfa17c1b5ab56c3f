// Putting every annotation of a surface back onto it: landmarks, landcurve points (snapped onto
// the polyline of their curve first) and semilandmarks, each with the triangle and weights that
// hold it and the tangents it slides along.
#pragma once

#include "surface/surface.h"

#include <vector>

struct WorkingState;

// The point of the polyline through the positions of points nearest to point, as a Landmark
// with only its position set. A closed curve runs back from the last point to the first; an
// open one extends beyond its first and last points along its end segments, unless it is a
// single segment, which is clamped at both ends. Segments of zero length are passed over; when
// no segment is left, the nearest of the points (none: the origin).
Landmark find_closest_point_on_curve(const std::vector<Landmark>& points, bool closed,
                                     const Point3& point);

// tangent1 of every point := the unit difference of its neighbours, next minus previous (the
// end points of an open curve take the difference with their one neighbour; a closed curve
// wraps around); zero differences stay zero. tangent2 := zero.
void set_curve_tangents(std::vector<Landmark>& points, bool closed);

// Projects every landmark, landcurve point and semilandmark of surface onto it
// (project_onto_surface). Landmarks get zero tangents, curve points the tangents along their
// curve, semilandmarks the tangent frame of the projection. Working points of a curve are first
// snapped onto the polyline through its freshly projected control points.
void reproject_landmarks(const WorkingState& state, Surface& surface);
