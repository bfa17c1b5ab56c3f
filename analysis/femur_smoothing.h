// How much the femur analysis smooths its curvature: pass counts that reach a wanted width at
// half maximum, and the smoothing itself.
#pragma once

#include "analysis/gaussian_curvature.h"

#include <array>
#include <vector>

// Width at half maximum, in mean edge lengths, after k median passes (k = 0..40); read beside
// FwhmFactorTable, which gives the same for mean passes.
extern const std::array<float, 41> FemurSmoothingTable;

struct FemurSmoothingPasses {
    SmoothingPasses fine;   // about 5 mm: the head, crest and fossa steps
    SmoothingPasses coarse; // about 20 mm: the contours
};

// Pass counts for a mean edge length (mm): for 5 and 20 mm, the table entries nearest to
// width / mean_edge (the first of equal ones). A width 10 or more edge lengths beyond every
// entry, as on very fine meshes (or a mean edge of 0 or NaN), takes the table's widest entry.
FemurSmoothingPasses femur_smoothing_passes(double mean_edge);
