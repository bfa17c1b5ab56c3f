// Closest-point matching of the LR vertices, as placed by the current transform, to HR
// vertices through the vertex grid, with the acceptance tests for "fussy" vertices and rims,
// and the report of the alignment error.
#pragma once

#include <cstdint>

struct WorkingState;

// The control values that steer matching, read by the caller at the moment of the call.
struct MatchControls {
    int fussy_percent = 0;    // "Fussy %", 0..100
    int rim_mode = 0;         // RimMode: 0 "Yes", 1 "No", 2 "To rims"
    int search_range = 100;   // search-range slider value
};

// Squared search range in square millimetres: (slider value / range_units)^2.
double search_range_squared(double range_units, int search_range);

// One matching of every LR vertex. pass 1 applies the acceptance tests to every vertex, pass 0
// only to the vertices flagged fussy by the previous matching. Writes the LR match_index,
// match_distance2 (missing_value = none; may exceed the search range), the fussy flags by
// the "Fussy %" percentile, and match_range2; marks the three error lists out of date.
void match_vertices(WorkingState& state, int pass, const MatchControls& controls);

// With a non-zero "Fussy %" pass 1 then pass 0, else pass 0 alone.
void establish_matches(WorkingState& state, const MatchControls& controls);

// Re-matches when the search range grew beyond the last matching (or a change forced it),
// then reports the mean match distance in the status line: "Registration error is %f mm per
// point, %ld points" outside a run, "Iteration %ld, error is %f mm per point, %ld points"
// during one. With no match within the range it says "No points within ICP distance
// threshold" and, during a run, sets the iteration counter to iterations (the "Iterations"
// value) so that the run ends at its next stop test. Returns the number of matched vertices.
std::int64_t establish_matches_and_display_alignment_error(WorkingState& state,
                                                            const MatchControls& controls,
                                                            std::int64_t iterations);
