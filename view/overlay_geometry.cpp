#include "view/overlay_geometry.h"

#include "registration/match_range.h"
#include "surface/barycentric.h"

#include <algorithm>
#include <cmath>

namespace {

Point3 unit_or_zero(const Point3& d)
{
    const double length = std::sqrt(dot(d, d));
    return length > 0.0 ? (1.0 / length) * d : d;
}

} // namespace

bool overlay_position(const Surface& surface, const Landmark& point, const Matrix4& transform,
                      const TpsWarp* warp, Point3& result)
{
    Point3 on_surface;
    if (warp != nullptr)
        on_surface = evaluate_tps(*warp, point.position);
    else if (!interpolate_at_triangle(surface.shown_positions(), point, on_surface))
        return false;
    result = transformed(transform, on_surface);
    return true;
}

const std::vector<Landmark>& drawn_curve_points(const Landcurve& curve)
{
    return curve.points.empty() ? curve.control_points : curve.points;
}

std::vector<Point3> curve_marker_directions(const std::vector<Point3>& points, bool closed)
{
    const std::size_t n = points.size();
    std::vector<Point3> directions(n);
    for (std::size_t i = 0; i < n; ++i) {
        Point3 d;
        if (closed)
            d = points[(i + 1) % n] - points[(i + n - 1) % n];
        else if (n == 1)
            d = {};
        else if (i == 0)
            d = points[1] - points[0];
        else if (i == n - 1)
            d = points[i] - points[i - 1];
        else
            d = points[i + 1] - points[i - 1];
        directions[i] = unit_or_zero(d);
    }
    return directions;
}

MarkerTurn marker_turn(const Point3& d)
{
    MarkerTurn t;
    const double pi = std::acos(-1.0);
    // Rounding may put a unit z component just beyond 1, where acos has no value.
    t.angle = std::acos(std::clamp(d.z, -1.0, 1.0)) * 180.0 / pi;
    t.axis = {-d.y, d.x, 0.0};
    t.turn = std::fabs(t.angle) > 1.0 && dot(t.axis, t.axis) > 0.0;
    return t;
}

std::vector<OverlayLine> match_lines(const Surface& lr, const Surface& hr, const Matrix4& lr_to_hr,
                                     double range2)
{
    std::vector<OverlayLine> lines;
    const std::vector<Point3>& from = lr.shown_positions();
    const std::vector<Point3>& to = hr.shown_positions();
    const std::size_t n = std::min({from.size(), lr.match_distance2.size(), lr.match_index.size()});
    for (std::size_t i = 0; i < n; ++i) {
        const std::int64_t j = partner_within_range(lr, i, range2);
        if (j < 0 || static_cast<std::uint64_t>(j) >= to.size())
            continue;
        const bool fussy = i < lr.fussy.size() && lr.fussy[i] != 0;
        lines.push_back({transformed(lr_to_hr, from[i]), to[static_cast<std::size_t>(j)], fussy});
    }
    return lines;
}

std::vector<OverlayLine> displacement_lines(const Surface& lr, const std::vector<float>* mean)
{
    const std::vector<Point3>& shown = lr.shown_positions();
    const std::size_t n = std::min(shown.size(), lr.positions.size());
    const bool from_mean = mean != nullptr && mean->size() >= 3 * shown.size();
    std::vector<OverlayLine> lines;
    lines.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        const Point3 start = from_mean
                                 ? Point3{(*mean)[3 * i], (*mean)[3 * i + 1], (*mean)[3 * i + 2]}
                                 : lr.positions[i];
        lines.push_back({start, shown[i], false});
    }
    return lines;
}
