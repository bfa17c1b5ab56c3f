// Local affine deformation: per matched LR vertex a small rigid motion of its neighbourhood,
// averaged per vertex and accumulated in the type's stored result.
#pragma once

struct WorkingState;

// One iteration for registration_type (3, 6 or 9). search_range and range_units are the
// slider value and units read at the start of the idle step; rim_mode the "Match rims" value.
void run_lad_step(WorkingState& state, int registration_type, int rim_mode, int search_range,
                  double range_units);
