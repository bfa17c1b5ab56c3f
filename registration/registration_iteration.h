// One registration iteration of an idle-driven run, and the auto sequence that steers the
// search range and "Fussy %" over the first iterations of a run.
#pragma once

#include "registration/matching.h"

#include <array>
#include <cstdint>

struct WorkingState;

// Search-range slider positions (not millimetres) and "Fussy %" before iterations 0 to 9;
// later iterations keep the last entries.
constexpr std::array<int, 10> auto_sequence_search_ranges = {60, 55, 50, 45, 40,
                                                             35, 30, 30, 30, 30};
constexpr std::array<int, 10> auto_sequence_fussy_percents = {15, 15, 10, 10, 5, 5, 3, 3, 1, 1};

// Status message of a run, or a change of the pose, with no LR surface to move.
extern const char no_surfaces_to_register_message[];

int auto_sequence_search_range(std::int64_t iteration);
int auto_sequence_fussy_percent(std::int64_t iteration);

// One iteration for registration_type: re-match and report the error for the counter before
// the iteration (with no match the counter jumps to iterations, the "Iterations" value, so the
// run ends at its stop test), the model step (thin-plate spline, local affine or global fit;
// the local affine step uses lad_search_range and lad_range_units, the slider value and units
// read at the start of the idle step), then the unsaved result, the stored transform, the
// counter + 1 and, for "Similarity + TPS" to rims, the rims counted as paired. Returns false
// when the model step ended the run (the iteration is then not counted). matched (when given)
// receives the number of LR vertices the matching of this iteration matched.
bool run_registration_iteration(WorkingState& state, int registration_type,
                                const MatchControls& controls, std::int64_t iterations,
                                int lad_search_range, double lad_range_units,
                                std::int64_t* matched = nullptr);
