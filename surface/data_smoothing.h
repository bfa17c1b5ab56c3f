// Smoothing of per-vertex surface data by inverse-variance weighted averaging with the
// immediate mesh neighbours, and the width of the accumulated smoothing.
#pragma once

#include "surface/surface.h"

struct WorkingState;

#include <array>
#include <cstdint>
#include <string>

// Full width at half maximum, in mean edge lengths, of a unit impulse after n smoothing passes
// (n = 0..200): the width of the n-fold convolution of the kernel (1/3, 1/3, 1/3) on a line of
// unit spacing, the half-maximum crossing interpolated linearly, to five significant digits.
// Entry 1 is 2 rather than the 3 the rule gives.
extern const std::array<float, 201> FwhmFactorTable;

// FwhmFactorTable entry for a pass count, the count clamped to 0..200.
float fwhm_factor(std::int64_t passes);

// Applies `passes` smoothing passes to surface.data and surface.sigma and adds them to
// surface.smoothing_steps. Each pass replaces a vertex value by the mean of itself (weight
// 2 / sigma^2) and its neighbours in every triangle it belongs to (weight 1 / sigma^2 each), and
// its weight by half the summed weights. A vertex without data (sigma 1e10), or whose value or
// weight is not finite, contributes nothing; a vertex that receives nothing gets data 0 and
// sigma 1e10. Zero or negative passes do nothing.
void smooth_data(std::int32_t passes, Surface& surface);

// With LR data loaded, smooth_data(passes) on the LR surface, and the lists drawn from its data
// marked out of date; nothing otherwise.
void smooth_lr_data(WorkingState& state, std::int32_t passes);

// The status text "Smoothing FWHM: ..." for the smoothing passes of the HR data and of the LR
// data (own passes plus the HR passes carried by mapping), given the mean edge lengths of the
// two surfaces (e_hr, e_lr, millimetres). Empty when neither surface has been smoothed.
std::string fwhm_estimate_text(const Surface& hr, const Surface& lr, double e_hr, double e_lr);
