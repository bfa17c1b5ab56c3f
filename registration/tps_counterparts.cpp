#include "registration/tps_counterparts.h"

#include "registration/family_transform.h"
#include "registration/projection.h"
#include "state/working_state.h"
#include "surface/barycentric.h"

#include <cmath>
#include <cstdint>
#include <limits>

Point3 shown_position(const Surface& surface, const Landmark& point)
{
    Point3 position = point.position;
    interpolate_at_triangle(surface.shown_positions(), point, position);
    return position;
}

std::vector<Point3> resample_polyline(const std::vector<Landmark>& control_points,
                                      std::size_t count)
{
    std::vector<Point3> points;
    if (control_points.empty() || count == 0)
        return points;
    double length = 0.0;
    for (std::size_t i = 0; i + 1 < control_points.size(); ++i)
        length +=
            std::sqrt(squared_distance(control_points[i].position, control_points[i + 1].position));
    // One point wanted: the first alone, the spacing beyond every segment.
    const double spacing = count > 1 ? length / static_cast<double>(count - 1)
                                     : std::numeric_limits<double>::infinity();
    double start = 0.0; // arc length at the start of the segment
    for (std::size_t i = 0; i + 1 < control_points.size() && points.size() < count; ++i) {
        const Point3& from = control_points[i].position;
        const Point3 along = control_points[i + 1].position - from;
        const double segment = std::sqrt(dot(along, along));
        const double end = start + segment;
        for (;;) {
            const std::size_t k = points.size();
            const double at = k == 0 ? 0.0 : static_cast<double>(k) * spacing;
            // A zero-length segment never passes this test (at >= start), so segment > 0 below.
            if (!(at < end) || k >= count)
                break;
            points.push_back(from + ((at - start) / segment) * along);
        }
        start = end;
    }
    if (points.size() < count)
        points.push_back(control_points.back().position);
    return points;
}

std::vector<std::size_t> aligned_order(const std::vector<Point3>& targets,
                                       const std::vector<Point3>& resampled, bool closed)
{
    const auto x = static_cast<std::int64_t>(resampled.size());
    std::vector<std::size_t> order;
    if (x == 0)
        return order;
    const auto index = [x](std::int64_t u, std::int64_t k, std::int64_t d) {
        return static_cast<std::size_t>(((u + k * d) % x + x) % x);
    };
    double best = std::numeric_limits<double>::infinity();
    std::int64_t best_u = 0, best_d = 1;
    for (const std::int64_t d : {-1, 1}) {
        // An open curve runs either from its first point forwards or from its last backwards.
        const std::int64_t first = closed ? 0 : (d < 0 ? x - 1 : 0);
        const std::int64_t last = closed ? x - 1 : first;
        for (std::int64_t u = first; u <= last; ++u) {
            double cost = 0.0;
            for (std::size_t k = 0; k < targets.size(); ++k)
                cost += std::sqrt(squared_distance(
                    targets[k], resampled[index(u, static_cast<std::int64_t>(k), d)]));
            if (cost < best) {
                best = cost;
                best_u = u;
                best_d = d;
            }
        }
    }
    for (std::int64_t k = 0; k < x; ++k)
        order.push_back(index(best_u, k, best_d));
    return order;
}

bool resample_paired_landcurves(WorkingState& state, bool only_changed)
{
    const Surface& lr = *state.lr_surface;
    Surface& hr = *state.hr_surface;
    const Matrix4 lr_to_hr = lr_to_hr_file_transform(lr, hr, state.current_transform);
    bool rebuilt = false;
    for (Landcurve& curve : hr.landcurves) {
        if (curve.partner < 0 || static_cast<std::size_t>(curve.partner) >= lr.landcurves.size())
            continue;
        const Landcurve& partner = lr.landcurves[static_cast<std::size_t>(curve.partner)];
        if (only_changed && curve.points.size() == partner.points.size())
            continue;
        const std::vector<Point3> resampled =
            resample_polyline(curve.control_points, partner.points.size());
        std::vector<Point3> targets;
        targets.reserve(partner.points.size());
        for (const Landmark& point : partner.points)
            targets.push_back(transformed(lr_to_hr, shown_position(lr, point)));
        curve.points.clear();
        for (const std::size_t i : aligned_order(targets, resampled, curve.closed)) {
            Landmark point;
            point.position = resampled[i];
            curve.points.push_back(point);
        }
        rebuilt = true;
    }
    hr.curve_point_pair_count = lr.curve_point_pair_count;
    return rebuilt;
}

bool transfer_semilandmarks(WorkingState& state, bool only_changed)
{
    const Surface& lr = *state.lr_surface;
    Surface& hr = *state.hr_surface;
    if (only_changed && hr.semilandmarks.size() == lr.semilandmarks.size())
        return false;
    const Matrix4 lr_to_hr = lr_to_hr_file_transform(lr, hr, state.current_transform);
    hr.semilandmarks.clear();
    for (const Landmark& semilandmark : lr.semilandmarks)
        hr.semilandmarks.push_back(project_onto_surface(
            state, hr, transformed(lr_to_hr, shown_position(lr, semilandmark))));
    return true;
}
