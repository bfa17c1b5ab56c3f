// The global least-squares fit of one iteration for the types with a global model: rigid,
// similarity, affine and aspect poses, the FFD grids and the shape-model coefficients.
#pragma once

#include "registration/ffd_grid.h"
#include "surface/matrix4.h"

#include <array>
#include <cstdint>
#include <vector>

struct WorkingState;

// Everything a residual evaluation needs, fixed for the duration of one fit.
struct GlobalFitContext {
    WorkingState* state = nullptr;
    int type = 0;
    int rim_mode = 0;
    double range2 = 0.0;     // squared search range, mm^2
    double rim_weight = 1.0; // max(1, (V - R) / R), 1 without rim vertices
    bool reflected = false;  // the fit started from a reflection (rigid, similarity, aspect)
    // LR vertices counted as matched (range2 > match_distance2) with a valid HR match, in
    // index order; every other residual is 0.
    std::vector<std::int64_t> matched;
    std::vector<double> height_weights;           // per matched vertex; empty = all 1
    std::vector<std::array<double, 64>> ffd_weights; // per matched vertex, FFD types only
};

// The context for a fit of type under the given rim mode and search-range slider value.
GlobalFitContext make_global_fit_context(WorkingState& state, int type, int rim_mode,
                                         int search_range);

// Residual function of the fit (context: a GlobalFitContext): three residuals per LR vertex,
// the parameters x decoded by the context's type. Always returns 0.
int compute_global_residuals(void* context, int m, int n, const double* x, double* fvec,
                             int iflag);

// Fits the parameters of type (0, 1, 2, 4, 5, 7, 8 or 11) to the current matches and writes
// the result back: the current transform for the linear types, the current FFD grid, or the
// "Similarity + SSM" shape; then stores the current transform. A start pose that is singular
// or not finite (or a fit that would produce a non-finite result) keeps the current pose and
// says so in the status line. Returns false when nothing was fitted.
bool run_global_fit(WorkingState& state, int type, int rim_mode, int search_range);
