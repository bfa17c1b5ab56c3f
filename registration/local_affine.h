// Local affine deformation: per matched LR vertex a small rigid motion of its neighbourhood,
// averaged per vertex and accumulated in the type's stored result.
#pragma once

#include "registration/matching.h"

#include <cstdint>

struct WorkingState;

// What a local fit's residuals need besides the working state, fixed during one step.
struct LadFitContext {
    WorkingState* state = nullptr;
    int rim_mode = 0;        // RimMode
    double range2 = 0.0;     // squared search range, mm^2, from the slider as it stands now
    double rim_weight = 1.0; // max(1, (V - R) / R), 1 without rim vertices
    std::int64_t vertex = 0; // the LR vertex whose neighbourhood is being fitted
};

// One iteration for registration_type (3, 6 or 9), the family pose untouched:
// 1. the neighbour lists (state.lad_neighbours) are rebuilt from the LR shown positions when
//    state.lad_refresh_counter is 0, which then becomes 1; otherwise the counter counts on and
//    wraps from 5 to 0, so they are rebuilt every fifth step;
// 2. every LR vertex matched within search_range / range_units (the slider value and units read
//    at the start of the idle step) gets a least-squares rigid motion of its neighbourhood, a
//    translation only with fewer than three neighbours; the others get none;
// 3. every vertex moves by the distance-weighted mean of its neighbours' motions (weight
//    1 - d / LR max_radius, angles averaged like translations), applied in the LR centred frame
//    to its shown position, into the type's stored result;
// 4. the deformed positions are refilled from it and the LR shape lists marked out of date.
// controls are the matching controls as they stand now: the rim mode and the search range of
// the residuals. A fit whose result is not finite counts as no motion.
void run_lad_step(WorkingState& state, int registration_type, const MatchControls& controls,
                  int search_range, double range_units);

// Residual function of the local fit of LR vertex context.vertex (context: a LadFitContext):
// three residuals per neighbour in list order, the pose T = HR from_centred x current transform
// x L x LR to_centred applied to the neighbour minus its HR match, L the rigid motion x (or the
// translation x[0..2] with fewer than three neighbours); rim and fussy neighbours weighted as in
// the global fit with fussy components squared; 0 for unmatched neighbours. Returns 0.
int compute_lad_residuals(void* context, int m, int n, const double* x, double* fvec, int iflag);
