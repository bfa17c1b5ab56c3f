// The "Similarity + TPS" warp; the identity while it has fewer than 3 control points.
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
