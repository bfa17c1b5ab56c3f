#include "registration/projection.h"

#include "registration/vertex_grid.h"
#include "surface/ply_surface_writer.h"

#include <algorithm>
#include <cmath>

LineHit nearest_line_hit(const std::vector<Point3>& corners, const std::vector<Triangle>& triangles,
                         const Point3& p, const Point3& d)
{
    LineHit best;
    Point3 u;
    normalized(u, d);
    const double d_length = std::sqrt(dot(d, d));
    const auto count = static_cast<std::int64_t>(corners.size());
    for (const Triangle& triangle : triangles) {
        const auto [a, b, c] = triangle.vertex;
        if (a < 0 || b < 0 || c < 0 || a >= count || b >= count || c >= count)
            continue;
        const Point3& A = corners[static_cast<std::size_t>(a)];
        const Point3 e1 = corners[static_cast<std::size_t>(b)] - A;
        const Point3 e2 = corners[static_cast<std::size_t>(c)] - A;
        const Point3 q = p - A;
        const Point3 off_line = q - dot(q, u) * u;
        const double D2 = dot(off_line, off_line);
        if (dot(e1, e1) < 0.99 * D2 && dot(e2, e2) < 0.99 * D2)
            continue;
        const Point3 n = cross(e1, e2);
        const double dn = dot(d, n);
        if (dot(n, n) == 0.0 || dn == 0.0)
            continue;
        const double t = -dot(q, n) / dn;
        const Point3 X = p + t * d;
        const Point3 r = X - A;
        const double P = dot(e1, e2);
        const double R = dot(e1, e1);
        const double W = dot(e2, e2);
        const double den = P * P - R * W;
        const double s = (P * dot(e2, r) - W * dot(e1, r)) / den;
        const double w = (P * dot(e1, r) - R * dot(e2, r)) / den;
        if (!(s >= -1e-12 && s <= 1.000000000001 && w >= -1e-12 && s + w <= 1.000000000001))
            continue;
        const double distance = std::fabs(t) * d_length;
        if (!best.found || distance < best.distance) {
            best.found = true;
            best.distance = distance;
            best.point = X;
            best.triangle = {a, b, c};
            best.weights = {s, w};
        }
    }
    return best;
}

void tangent_frame(const Point3& normal, Point3& tangent1, Point3& tangent2)
{
    const double nx = normal.x, ny = normal.y, nz = normal.z;
    if (std::fabs(nz) > std::max(std::fabs(nx), std::fabs(ny)))
        tangent1 = {0.0, -nz, ny};
    else
        tangent1 = {ny, -nx, 0.0};
    normalized(tangent1, tangent1);
    normalized(tangent2, cross(normal, tangent1));
}

Landmark project_onto_surface(const WorkingState& state, const Surface& surface,
                              const Point3& point)
{
    Landmark result;
    result.position = point;
    if (surface.positions.empty())
        return result;
    const auto vertex = static_cast<std::int64_t>(find_closest_vertex(state, surface, point));
    // The HR search runs over the shown shape; its answer must still index the positions.
    const std::size_t e = static_cast<std::size_t>(vertex) < surface.positions.size()
                              ? static_cast<std::size_t>(vertex)
                              : 0;
    const Point3 vertex_normal = e < surface.normals.size() ? surface.normals[e] : Point3{};
    const Point3 direction = static_cast<double>(surface.max_radius) * vertex_normal;
    const LineHit hit = nearest_line_hit(surface.positions, surface.triangles, point, direction);

    Point3 normal;
    // NaN distances compare false, so a point that is not finite lands on a vertex.
    if (hit.found && std::sqrt(squared_distance(point, surface.positions[e])) > hit.distance) {
        result.position = hit.point;
        result.triangle = hit.triangle;
        result.weights = hit.weights;
        interpolate_at_triangle(surface.normals, result, normal);
        normalized(normal, normal);
    } else {
        const auto corner = static_cast<std::int64_t>(e);
        result.position = surface.positions[e];
        result.triangle = {corner, corner, corner};
        result.weights = {0.0, 0.0};
        normal = vertex_normal;
    }
    tangent_frame(normal, result.tangent1, result.tangent2);
    return result;
}
