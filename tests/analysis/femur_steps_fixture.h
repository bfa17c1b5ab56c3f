// Hand-made analyser states for testing one step of the femur analysis at a time.
#pragma once

#include "analysis/femur_analyser.h"

#include <cmath>
#include <vector>

// A surface of bare vertices whose natural axes are the file axes unless given: u = x, v = y,
// w = z, rim centroid and centroid at the origin.
inline Surface bare_surface(const std::vector<Point3>& positions)
{
    Surface surface;
    surface.positions = positions;
    surface.normals.assign(positions.size(), Point3{});
    surface.vertex_count = static_cast<std::int64_t>(positions.size());
    return surface;
}

inline void set_axes(Surface& surface, const Point3& u, const Point3& v)
{
    const Point3 w = cross(u, v);
    surface.natural_axes = Matrix4{};
    const Point3 columns[] = {u, v, w};
    for (int c = 0; c < 3; ++c) {
        surface.natural_axes[4 * c] = columns[c].x;
        surface.natural_axes[4 * c + 1] = columns[c].y;
        surface.natural_axes[4 * c + 2] = columns[c].z;
    }
}

// An analyser bound to the surface as analyse_proximal_femur binds a surface with a natural
// frame: the steps measure along its natural axes, about its rim centroid.
inline void bind(FemurAnalyser& analyser, Surface& surface, std::uint8_t side = 1)
{
    analyser.surface = &surface;
    analyser.side = side;
    analyser.frame.u = {surface.natural_axes[0], surface.natural_axes[1], surface.natural_axes[2]};
    analyser.frame.v = {surface.natural_axes[4], surface.natural_axes[5], surface.natural_axes[6]};
    analyser.frame.w = {surface.natural_axes[8], surface.natural_axes[9], surface.natural_axes[10]};
    analyser.frame.origin = surface.rim_centroid;
    current_analyser = &analyser;
}

// `count` points on the ellipse with semi-axes a (along e1) and b (along e2) about `centre`.
inline std::vector<Point3> ellipse_contour(const Point3& centre, const Point3& e1, const Point3& e2,
                                           double a, double b, int count)
{
    std::vector<Point3> points;
    for (int k = 0; k < count; ++k) {
        const double t = 2 * 3.141592653589793 * k / count;
        points.push_back(centre + (a * std::cos(t)) * e1 + (b * std::sin(t)) * e2);
    }
    return points;
}

inline PointMatrix rows_of(const std::vector<Point3>& points)
{
    PointMatrix rows(static_cast<Eigen::Index>(points.size()), 3);
    for (std::size_t i = 0; i < points.size(); ++i)
        rows.row(static_cast<Eigen::Index>(i)) << points[i].x, points[i].y, points[i].z;
    return rows;
}
