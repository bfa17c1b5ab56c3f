// Projection of points onto triangulated surfaces along a line: the triangle hit nearest to the
// query point, the projection rule that puts annotations back on their surface, and the tangent
// frame of a projected point.
#pragma once

#include "surface/surface.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

struct TriangleGrid;
struct WorkingState;

struct LineHit {
    bool found = false;
    double distance = missing_value; // |t| |d| from the query point
    Point3 point;                    // p + t d
    std::array<std::int64_t, 3> triangle{};
    std::array<double, 2> weights{}; // barycentric weights of the second and third corner
};

// The nearest hit of the line p + t d (t of either sign) with the triangles, whose corners are
// taken from `corners`. Triangles far from the line are rejected quickly (both edges from the
// first corner shorter than 0.99 of its distance from the line), degenerate triangles and those
// parallel to the line are skipped, points on edges and corners count (tolerance 1e-12). Of
// equally near hits the first triangle wins. No hit: found false, distance 1e10.
LineHit nearest_line_hit(const std::vector<Point3>& corners, const std::vector<Triangle>& triangles,
                         const Point3& p, const Point3& d);
// The same hit when it lies nearer than within (none otherwise), testing only the triangles
// that grid (built from corners and triangles) finds near the line: the smaller within, the
// fewer of them.
LineHit nearest_line_hit(const TriangleGrid& grid, const std::vector<Point3>& corners,
                         const std::vector<Triangle>& triangles, const Point3& p, const Point3& d,
                         double within = HUGE_VAL);

// Sliding directions of a point with this normal: tangent1 across the dominant axis, tangent2 =
// normal x tangent1, each normalised unless of zero length.
void tangent_frame(const Point3& normal, Point3& tangent1, Point3& tangent2);

// Puts point (file coordinates of surface) onto surface: along the normal at its nearest vertex
// (as find_closest_vertex finds it, so the HR surface needs its vertex grid), scaled by max_radius,
// onto the nearest triangle hit in the positions as read, when that hit is nearer to the point
// than the vertex; otherwise onto the vertex itself (triangle (E, E, E), weights (0, 0)). The
// result carries position, triangle, weights and the tangent frame of the unit normal there;
// its name is empty and vertex_index and partner keep their defaults. A surface without
// vertices leaves the point where it is, with zero tangents. For the working state's own
// records the searches go through their projection indexes, built on first use.
Landmark project_onto_surface(const WorkingState& state, const Surface& surface,
                              const Point3& point);
