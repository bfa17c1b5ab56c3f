// Which LR vertices count as matched: the one rule that fits, mapping, map files, colours,
// probes and match lines share. A match counts only when the squared search range is strictly
// greater than its squared distance, so a missing match (1e10) or a NaN distance never counts.
#pragma once

#include "surface/surface.h"

#include <cstddef>
#include <cstdint>

// Whether LR vertex i has a match strictly within the squared range range2 (mm^2); false when
// the match arrays do not hold i.
inline bool within_match_range(const Surface& lr, std::size_t i, double range2)
{
    return i < lr.match_distance2.size() && lr.match_distance2[i] < range2;
}

// The HR vertex matched to LR vertex i when the match lies within the squared range range2,
// -1 otherwise.
inline std::int64_t partner_within_range(const Surface& lr, std::size_t i, double range2)
{
    return within_match_range(lr, i, range2) && i < lr.match_index.size() ? lr.match_index[i] : -1;
}
