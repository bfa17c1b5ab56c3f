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

struct WorkingState;

// One "Similarity + TPS" iteration: resample and transfer the corresponding points, slide the
// HR semilandmarks and solve the warp. Returns false when the run must end (repeated or
// degenerate landmarks; the step has said why in the status line).
bool run_tps_step(WorkingState& state);

// The warp of a point given in LR file coordinates.
Point3 evaluate_tps(const TpsWarp& warp, const Point3& point);
