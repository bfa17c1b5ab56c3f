// Carrying HR surface data onto the registered LR surface through the closest-point matches.
#pragma once

#include "surface/surface.h"

#include <cstdint>
#include <string>

struct WorkingState;

// The text of the undersampling question: asked when the LR mean edge length e_lr exceeds the
// FWHM of the HR data's smoothing (hr_smoothing_steps passes on edges of mean length e_hr).
// Empty when the LR surface samples finely enough.
std::string undersampling_question(std::int64_t hr_smoothing_steps, double e_hr, double e_lr);

// Copies to every LR vertex matched within the squared range r2 the data and sigma of its HR
// partner; unmatched vertices get data 0 and sigma 1e10. Names the LR data after the LR surface
// and the HR data, restarts the LR smoothing count, remembers the HR passes in the LR
// hr_smoothing_steps, sets lr_data_loaded and marks the LR data and data-error lists out of
// date. The matches must be current for r2.
void map_hr_data(WorkingState& state, double r2);
