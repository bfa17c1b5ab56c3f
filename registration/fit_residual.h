// Rules that the residual functions of the global fit and of the local affine fits share:
// which LR vertices count as matched, and how rim and fussy vertices pull towards their match.
#pragma once

#include "registration/match_range.h"
#include "surface/surface.h"

#include <cstddef>
#include <cstdint>

// LR vertex i counts as matched when range2 (mm^2) is greater than its squared match distance
// and its match names one of the hr_count HR vertices.
inline bool counts_as_matched(const Surface& lr, std::size_t i, double range2,
                              std::int64_t hr_count)
{
    const std::int64_t j = partner_within_range(lr, i, range2);
    return j >= 0 && j < hr_count;
}

// The pull of a rim vertex under "To rims": max(1, (V - R) / R) for R rim vertices among the V
// LR vertices; 1 without rim vertices.
double rim_weight(const Surface& lr);

// The residual r of LR vertex i as it enters a fit: under "To rims" a rim vertex's residual is
// scaled by rim_weight; otherwise, with square_fussy, a fussy vertex's components are squared.
Point3 weighted_residual(const Surface& lr, std::size_t i, const Point3& r, bool to_rims,
                         double rim_weight, bool square_fussy);
