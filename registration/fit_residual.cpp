#include "registration/fit_residual.h"

#include <algorithm>

double rim_weight(const Surface& lr)
{
    if (lr.rim_vertex_count <= 0)
        return 1.0;
    const double v = static_cast<double>(lr.vertex_count);
    const double r = static_cast<double>(lr.rim_vertex_count);
    return std::max(1.0, (v - r) / r);
}

Point3 weighted_residual(const Surface& lr, std::size_t i, const Point3& r, bool to_rims,
                         double rim_weight, bool square_fussy)
{
    if (to_rims && lr.on_rim[i])
        return rim_weight * r;
    if (square_fussy && lr.fussy[i])
        return {r.x * r.x, r.y * r.y, r.z * r.z};
    return r;
}
