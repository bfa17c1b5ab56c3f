#include "registration/reprojection.h"

#include "registration/projection.h"

#include <cmath>
#include <cstddef>

Landmark find_closest_point_on_curve(const std::vector<Landmark>& points, bool closed,
                                     const Point3& point)
{
    Landmark result;
    const std::size_t n = points.size();
    const std::size_t segments = closed ? n : (n == 0 ? 0 : n - 1);
    double best = missing_value;
    bool found = false;
    for (std::size_t i = 0; i < segments; ++i) {
        const Point3& from = points[i].position;
        const Point3 along = points[(i + 1) % n].position - from;
        const double length2 = dot(along, along);
        if (length2 == 0.0)
            continue;
        double o = dot(point - from, along) / length2;
        // An open curve goes on beyond its two ends.
        const bool open_start = !closed && i == 0 && segments > 1;
        const bool open_end = !closed && i + 1 == segments && segments > 1;
        if (!open_start && o < 0.0)
            o = 0.0;
        if (!open_end && o > 1.0)
            o = 1.0;
        const Point3 candidate = from + o * along;
        const double distance = std::sqrt(squared_distance(point, candidate));
        if (distance < best) {
            best = distance;
            result.position = candidate;
            found = true;
        }
    }
    // Coincident points (a curve picked twice at one place) leave no segment: a working point
    // then goes to the nearest point rather than to the origin.
    if (!found) {
        for (const Landmark& p : points) {
            const double distance = std::sqrt(squared_distance(point, p.position));
            if (distance < best) {
                best = distance;
                result.position = p.position;
            }
        }
    }
    return result;
}

void set_curve_tangents(std::vector<Landmark>& points, bool closed)
{
    const std::size_t n = points.size();
    for (std::size_t i = 0; i < n; ++i) {
        // A closed curve wraps around; the ends of an open one look one point inwards.
        const std::size_t previous = closed ? (i + n - 1) % n : (i == 0 ? 0 : i - 1);
        const std::size_t next = closed ? (i + 1) % n : (i + 1 == n ? i : i + 1);
        normalized(points[i].tangent1, points[next].position - points[previous].position);
        points[i].tangent2 = {};
    }
}

namespace {

// Takes the place on the surface from a projection and leaves the point's other fields.
void place(Landmark& point, const Landmark& projected)
{
    point.position = projected.position;
    point.triangle = projected.triangle;
    point.weights = projected.weights;
}

} // namespace

void reproject_landmarks(const WorkingState& state, Surface& surface)
{
    for (Landmark& landmark : surface.landmarks) {
        place(landmark, project_onto_surface(state, surface, landmark.position));
        landmark.tangent1 = {};
        landmark.tangent2 = {};
    }
    for (Landcurve& curve : surface.landcurves) {
        for (Landmark& point : curve.control_points)
            place(point, project_onto_surface(state, surface, point.position));
        for (Landmark& point : curve.points)
            point.position =
                find_closest_point_on_curve(curve.control_points, curve.closed, point.position)
                    .position;
        for (Landmark& point : curve.points)
            place(point, project_onto_surface(state, surface, point.position));
        set_curve_tangents(curve.control_points, curve.closed);
        set_curve_tangents(curve.points, curve.closed);
    }
    for (Landmark& semilandmark : surface.semilandmarks) {
        const Landmark projected = project_onto_surface(state, surface, semilandmark.position);
        place(semilandmark, projected);
        semilandmark.tangent1 = projected.tangent1;
        semilandmark.tangent2 = projected.tangent2;
    }
}
