#include "view/ray_picking.h"

#include "surface/barycentric.h"

#include <algorithm>
#include <cmath>

namespace {

// Tolerance on the barycentric weights, so points on edges and corners count.
constexpr double edge_tolerance = 1e-12;
// A triangle whose two edges from its first corner are both shorter than this fraction of that
// corner's distance from the line cannot reach the line.
constexpr double reach_fraction = 0.99;

bool names_vertices(const Triangle& triangle, std::size_t count)
{
    return std::all_of(triangle.vertex.begin(), triangle.vertex.end(), [&](std::int64_t v) {
        return v >= 0 && static_cast<std::size_t>(v) < count;
    });
}

// Index (0, 1, 2) of the corner nearest to x; ties go to the later corner.
int nearest_corner(const std::array<Point3, 3>& corners, const Point3& x)
{
    int best = 0;
    for (int k = 1; k < 3; ++k)
        if (squared_distance(corners[static_cast<std::size_t>(k)], x) <=
            squared_distance(corners[static_cast<std::size_t>(best)], x))
            best = k;
    return best;
}

} // namespace

PickTargets pick_targets(ShadingMode mode, bool hr_ticked, bool lr_ticked, bool hr_has_data_list,
                         bool lr_data_loaded)
{
    PickTargets targets;
    switch (mode) {
    case shading_plain:
    case shading_gaussian_curvature:
        targets.hr = hr_ticked;
        targets.lr = lr_ticked;
        break;
    case shading_surface_data:
        targets.hr = hr_ticked && hr_has_data_list;
        targets.lr = lr_ticked && lr_data_loaded;
        break;
    case shading_registration_error:
        targets.lr = lr_ticked;
        targets.lr_needs_matches = true;
        break;
    case shading_signed_data_error:
    case shading_absolute_data_error:
        targets.lr = lr_ticked && lr_data_loaded && hr_has_data_list;
        targets.lr_needs_matches = true;
        break;
    }
    return targets;
}

void append_ray_hits(const Surface& surface, PickedSurface which, const Matrix4& placement,
                     const Point3& near_point, const Point3& far_point, std::vector<PickHit>& hits)
{
    const std::vector<Point3>& shown = surface.shown_positions();
    const std::size_t count = std::min(shown.size(), surface.positions.size());
    Point3 u;
    normalized(u, far_point - near_point);
    const double ray_length = std::sqrt(squared_distance(far_point, near_point));
    for (const Triangle& triangle : surface.triangles) {
        if (!names_vertices(triangle, count))
            continue;
        std::array<Point3, 3> corner;
        for (std::size_t k = 0; k < 3; ++k)
            corner[k] = transformed(placement, shown[static_cast<std::size_t>(triangle.vertex[k])]);
        const Point3& a = corner[0];
        const Point3 e1 = corner[1] - a;
        const Point3 e2 = corner[2] - a;
        const Point3 w = near_point - a;
        const Point3 off_line = w - dot(u, w) * u;
        const double reach2 = reach_fraction * dot(off_line, off_line);
        if (dot(e1, e1) < reach2 && dot(e2, e2) < reach2)
            continue;
        const Point3 n = cross(e1, e2);
        if (dot(n, n) == 0.0 || dot(u, n) == 0.0)
            continue;
        const double t = -dot(w, n) / dot(u, n);
        const Point3 x = near_point + t * u;
        const double uu = dot(e1, e1);
        const double vv = dot(e2, e2);
        const double uv = dot(e1, e2);
        const double wu = dot(x - a, e1);
        const double wv = dot(x - a, e2);
        const double d = uv * uv - uu * vv;
        const double s = (uv * wv - vv * wu) / d;
        const double q = (uv * wu - uu * wv) / d;
        // Written so that NaN weights fail too.
        if (!(s >= -edge_tolerance && s <= 1.0 + edge_tolerance && q >= -edge_tolerance &&
              s + q <= 1.0 + edge_tolerance))
            continue;

        PickHit hit;
        hit.distance = t * ray_length;
        hit.nearest_vertex = triangle.vertex[static_cast<std::size_t>(nearest_corner(corner, x))];
        hit.surface = which;
        hit.triangle = triangle.vertex;
        hit.weights = {s, q};
        const std::array<double, 3> corner_weights{1.0 - s - q, s, q};
        for (std::size_t k = 0; k < 3; ++k)
            hit.position =
                hit.position +
                corner_weights[k] * surface.positions[static_cast<std::size_t>(triangle.vertex[k])];
        hits.push_back(std::move(hit));
    }
}

void order_hits_by_distance(std::vector<PickHit>& hits)
{
    std::stable_sort(hits.begin(), hits.end(),
                     [](const PickHit& a, const PickHit& b) { return a.distance < b.distance; });
}

double interpolate_at_hit(const PickHit& hit, const std::array<double, 3>& corner_values)
{
    return barycentric(hit.weights, corner_values[0], corner_values[1], corner_values[2]);
}
