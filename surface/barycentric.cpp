#include "surface/barycentric.h"

#include "surface/surface.h"

bool interpolate_at_triangle(const std::vector<Point3>& values,
                             const std::array<std::int64_t, 3>& triangle,
                             const std::array<double, 2>& weights, Point3& result)
{
    for (const std::int64_t corner : triangle)
        if (corner < 0 || static_cast<std::uint64_t>(corner) >= values.size())
            return false;
    result = barycentric(weights, values[static_cast<std::size_t>(triangle[0])],
                         values[static_cast<std::size_t>(triangle[1])],
                         values[static_cast<std::size_t>(triangle[2])]);
    return true;
}

bool interpolate_at_triangle(const std::vector<Point3>& values, const Landmark& point,
                             Point3& result)
{
    return interpolate_at_triangle(values, point.triangle, point.weights, result);
}
