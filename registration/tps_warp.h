// The "Similarity + TPS" warp: a three-dimensional thin-plate spline with the kernel U(r) = r,
// defined by corresponding points; the identity while it has fewer than 3 control points.
#pragma once

#include "surface/point3.h"

#include <vector>

struct TpsWarp {
    std::vector<Point3> control_points; // LR file coordinates of the last solve
    std::vector<Point3> coefficients;   // one weight per control point, then 1, x, y, z terms

    void clear()
    {
        control_points.clear();
        coefficients.clear();
    }
};

// The warp of a point given in LR file coordinates: a_n + a_(n+1) x + a_(n+2) y + a_(n+3) z +
// the sum of a_i |point - c_i|. A warp of fewer than 3 control points, or whose coefficients
// do not number control points + 4, is the identity.
Point3 evaluate_tps(const TpsWarp& warp, const Point3& point);
