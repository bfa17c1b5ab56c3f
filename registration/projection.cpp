#include "registration/projection.h"

#include "registration/projection_index.h"
#include "registration/vertex_grid.h"
#include "state/working_state.h"
#include "surface/barycentric.h"

#include <algorithm>
#include <cmath>

namespace {

// The line p + t d, with what every triangle's test needs of it.
struct Line {
    Point3 p;
    Point3 d;
    Point3 u; // d as a unit vector (d itself when of zero length)
    double d_length = 0.0;
};

Line line_through(const Point3& p, const Point3& d)
{
    Line line{p, d, {}, std::sqrt(dot(d, d))};
    normalized(line.u, d);
    return line;
}

// The hit of the line with triangle t, when it has one: quick rejection of a triangle far from
// the line (both edges from the first corner shorter than 0.99 of its distance from the line),
// degenerate triangles and those parallel to the line skipped, points on edges and corners
// counted (tolerance 1e-12). It becomes best when it is the first hit, or nearer than best, or
// as near and of an earlier triangle: so the first strict minimum in triangle order wins,
// whichever order the triangles come in.
void test_triangle(const std::vector<Point3>& corners, const std::vector<Triangle>& triangles,
                   std::size_t t, const Line& line, LineHit& best, std::size_t& best_triangle)
{
    const auto count = static_cast<std::int64_t>(corners.size());
    const auto [a, b, c] = triangles[t].vertex;
    if (a < 0 || b < 0 || c < 0 || a >= count || b >= count || c >= count)
        return;
    const Point3& A = corners[static_cast<std::size_t>(a)];
    const Point3 e1 = corners[static_cast<std::size_t>(b)] - A;
    const Point3 e2 = corners[static_cast<std::size_t>(c)] - A;
    const Point3 q = line.p - A;
    const Point3 off_line = q - dot(q, line.u) * line.u;
    const double D2 = dot(off_line, off_line);
    if (dot(e1, e1) < 0.99 * D2 && dot(e2, e2) < 0.99 * D2)
        return;
    const Point3 n = cross(e1, e2);
    const double dn = dot(line.d, n);
    if (dot(n, n) == 0.0 || dn == 0.0)
        return;
    const double t_line = -dot(q, n) / dn;
    const Point3 X = line.p + t_line * line.d;
    const Point3 r = X - A;
    const double P = dot(e1, e2);
    const double R = dot(e1, e1);
    const double W = dot(e2, e2);
    const double den = P * P - R * W;
    const double s = (P * dot(e2, r) - W * dot(e1, r)) / den;
    const double w = (P * dot(e1, r) - R * dot(e2, r)) / den;
    if (!(s >= -1e-12 && s <= 1.000000000001 && w >= -1e-12 && s + w <= 1.000000000001))
        return;
    const double distance = std::fabs(t_line) * line.d_length;
    if (!best.found || distance < best.distance ||
        (distance == best.distance && t < best_triangle)) {
        best.found = true;
        best.distance = distance;
        best.point = X;
        best.triangle = {a, b, c};
        best.weights = {s, w};
        best_triangle = t;
    }
}

} // namespace

LineHit nearest_line_hit(const std::vector<Point3>& corners, const std::vector<Triangle>& triangles,
                         const Point3& p, const Point3& d)
{
    const Line line = line_through(p, d);
    LineHit best;
    std::size_t best_triangle = 0;
    for (std::size_t t = 0; t < triangles.size(); ++t)
        test_triangle(corners, triangles, t, line, best, best_triangle);
    return best;
}

LineHit nearest_line_hit(const TriangleGrid& grid, const std::vector<Point3>& corners,
                         const std::vector<Triangle>& triangles, const Point3& p, const Point3& d,
                         double within)
{
    // Also when within is not a number: no distance is nearer.
    if (!(within > 0.0))
        return {};
    const Line line = line_through(p, d);
    LineHit best;
    std::size_t best_triangle = 0;
    const bool answered = grid.for_each_candidate(
        line.p, line.u,
        [&](std::uint32_t t) { test_triangle(corners, triangles, t, line, best, best_triangle); },
        [&best, within] { return best.found ? std::min(best.distance, within) : within; });
    if (!answered)
        best = nearest_line_hit(corners, triangles, p, d);
    return best.found && best.distance < within ? best : LineHit{};
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

namespace {

// Which of the working state's two records surface is; -1 for a surface of its own.
int record_of(const WorkingState& state, const Surface& surface)
{
    for (std::size_t r = 0; r < state.surfaces.size(); ++r)
        if (&surface == &state.surfaces[r])
            return static_cast<int>(r);
    return -1;
}

} // namespace

Landmark project_onto_surface(const WorkingState& state, const Surface& surface,
                              const Point3& point)
{
    Landmark result;
    result.position = point;
    if (surface.positions.empty())
        return result;
    const int record = record_of(state, surface);
    const auto r = static_cast<std::size_t>(record);
    // The LR vertices are searched over the positions as read, the HR ones through the vertex
    // grid; the records' own indexes give the scans' answers without scanning.
    const std::int64_t vertex =
        record >= 0 && &surface == state.lr_surface
            ? state.projection_indexes.point_grid(r, surface).nearest(surface.positions, point)
            : find_closest_vertex(state, surface, point);
    // The HR search runs over the shown shape; its answer must still index the positions.
    const std::size_t e = static_cast<std::size_t>(vertex) < surface.positions.size()
                              ? static_cast<std::size_t>(vertex)
                              : 0;
    const Point3 vertex_normal = e < surface.normals.size() ? surface.normals[e] : Point3{};
    const Point3 direction = static_cast<double>(surface.max_radius) * vertex_normal;
    // Only a hit nearer than the vertex is taken, so the index need look no farther.
    const double vertex_distance = std::sqrt(squared_distance(point, surface.positions[e]));
    const LineHit hit =
        record >= 0 ? nearest_line_hit(state.projection_indexes.triangle_grid(r, surface),
                                       surface.positions, surface.triangles, point, direction,
                                       vertex_distance)
                    : nearest_line_hit(surface.positions, surface.triangles, point, direction);

    Point3 normal;
    // NaN distances compare false, so a point that is not finite lands on a vertex.
    if (hit.found && vertex_distance > hit.distance) {
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
