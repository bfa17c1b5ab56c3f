#include "registration/tps_warp.h"

#include <cmath>
#include <cstddef>

Point3 evaluate_tps(const TpsWarp& warp, const Point3& point)
{
    const std::size_t n = warp.control_points.size();
    if (n < 3 || warp.coefficients.size() != n + 4)
        return point;
    const std::vector<Point3>& a = warp.coefficients;
    Point3 result = a[n] + point.x * a[n + 1] + point.y * a[n + 2] + point.z * a[n + 3];
    for (std::size_t i = 0; i < n; ++i)
        result = result + std::sqrt(squared_distance(point, warp.control_points[i])) * a[i];
    return result;
}
