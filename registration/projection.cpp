#include "registration/projection.h"

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
        const Point3 r = (p + t * d) - A;
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
