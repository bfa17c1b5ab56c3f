#include "registration/local_affine.h"

#include "registration/family_transform.h"
#include "registration/ffd_grid.h"
#include "registration/fit_residual.h"
#include "registration/lad_neighbours.h"
#include "registration/registration_type.h"
#include "state/working_state.h"
#include "surface/least_squares.h"
#include "surface/thread_pool.h"
#include "surface/unfilled_vector.h"

#include <algorithm>
#include <cmath>

namespace {

using LadParameters = std::array<double, 6>; // tx, ty, tz, then angles a, b, c in degrees

constexpr double lad_fit_tolerance = 0.1;
// The neighbourhood size from which a patch may turn as well as shift.
constexpr std::size_t least_neighbours_to_turn = 3;
// Vertices per chunk of the fits and of the averaging: a local fit takes tens of microseconds
// or more, an average a few.
constexpr std::size_t vertices_per_chunk = 64;

Matrix4 local_motion(const double* x, bool turns)
{
    Matrix4 motion;
    if (turns)
        return make_transform(motion, x[0], x[1], x[2], x[3], x[4], x[5]);
    return make_translation(motion, x[0], x[1], x[2]);
}

bool all_finite(const LadParameters& x)
{
    return std::all_of(x.begin(), x.end(), [](double v) { return std::isfinite(v); });
}

// The per-vertex arrays the step reads, all of the LR vertex count (a surface read by the
// program always has them).
bool has_lad_inputs(const Surface& lr, std::size_t count)
{
    return count > 0 && lr.shown_positions().size() == count && lr.match_index.size() == count &&
           lr.match_distance2.size() == count && lr.on_rim.size() == count &&
           lr.fussy.size() == count;
}

// Step 1: rebuild the lists when the counter is 0 (or they do not fit the surface), count on.
void refresh_neighbours(WorkingState& state, const std::vector<Point3>& shown)
{
    if (state.lad_refresh_counter == 0 || state.lad_neighbours.size() != shown.size())
        state.lad_neighbours = find_lad_neighbours(shown, state.lad_radius);
    if (state.lad_refresh_counter == 0) {
        state.lad_refresh_counter = 1;
    } else if (++state.lad_refresh_counter >= 5) {
        state.lad_refresh_counter = 0;
    }
}

// Step 2: the local motion of every vertex matched within range2, fitted from the identity.
// Each fit reads the surfaces and the neighbour lists and writes only its own vertex's motion,
// so the fits run on the pool's threads, each with its own context and residual space.
void fit_local_motions(WorkingState& state, const LadFitContext& shared, double range2)
{
    const Surface& lr = *state.lr_surface;
    const auto hr_count = static_cast<std::int64_t>(state.hr_surface->shown_positions().size());
    state.lad_parameters.assign(state.lad_neighbours.size(), LadParameters{});
    parallel_for(state.lad_neighbours.size(), vertices_per_chunk,
                 [&](std::size_t begin, std::size_t end) {
                     LadFitContext context = shared;
                     UnfilledVector<double> fvec; // written whole by the residuals
                     for (std::size_t i = begin; i < end; ++i) {
                         if (!counts_as_matched(lr, i, range2, hr_count))
                             continue;
                         const std::size_t neighbour_count = state.lad_neighbours[i].size();
                         const std::int64_t n = neighbour_count >= least_neighbours_to_turn ? 6 : 3;
                         const auto m = static_cast<std::int64_t>(3 * neighbour_count);
                         LadParameters x{};
                         fvec.resize(3 * neighbour_count);
                         context.vertex = static_cast<std::int64_t>(i);
                         std::int64_t info = 0;
                         run_lmdif(compute_lad_residuals, &context, m, n, x.data(), fvec.data(),
                                   lad_fit_tolerance, info);
                         // A diverged fit would spread its non-finite motion to every neighbour.
                         if (all_finite(x))
                             state.lad_parameters[i] = x;
                     }
                 });
}

// Step 3, for one vertex: the mean of its neighbours' motions, weighted 1 - d / max_radius.
LadParameters averaged_motion(const WorkingState& state, const std::vector<Point3>& shown,
                              std::size_t j, double max_radius)
{
    LadParameters sum{};
    double weight_sum = 0.0;
    for (const std::int32_t neighbour : state.lad_neighbours[j]) {
        const auto k = static_cast<std::size_t>(neighbour);
        const double d = std::sqrt(squared_distance(shown[j], shown[k]));
        // Written so that a max_radius of 0 gives weight 0 rather than 0 / 0.
        const double weight = d < max_radius ? 1.0 - d / max_radius : 0.0;
        for (std::size_t p = 0; p < sum.size(); ++p)
            sum[p] += weight * state.lad_parameters[k][p];
        weight_sum += weight;
    }
    LadParameters mean{};
    if (weight_sum > 0.0)
        for (std::size_t p = 0; p < sum.size(); ++p)
            mean[p] = sum[p] / weight_sum;
    return mean;
}

} // namespace

void run_lad_step(WorkingState& state, int registration_type, const MatchControls& controls,
                  int search_range, double range_units)
{
    Surface& lr = *state.lr_surface;
    std::vector<Point3>* result = stored_result(lr, registration_type);
    const auto count = static_cast<std::size_t>(std::max<std::int64_t>(lr.vertex_count, 0));
    if (!is_lad_type(registration_type) || result == nullptr || !has_lad_inputs(lr, count))
        return;
    const std::vector<Point3>& shown = lr.shown_positions();

    refresh_neighbours(state, shown);

    const double start_range = search_range / range_units;
    LadFitContext context;
    context.state = &state;
    context.rim_mode = controls.rim_mode;
    context.range2 = search_range_squared(state.range_units, controls.search_range);
    context.rim_weight = rim_weight(lr);
    fit_local_motions(state, context, start_range * start_range);

    const double max_radius = lr.max_radius;
    std::vector<Point3> moved(count);
    parallel_for_each(count, vertices_per_chunk, [&](std::size_t j) {
        const LadParameters a = averaged_motion(state, shown, j, max_radius);
        const Matrix4 motion = local_motion(a.data(), true);
        moved[j] = transformed(product(product(lr.from_centred, motion), lr.to_centred), shown[j]);
    });
    *result = std::move(moved);
    update_deformed_positions(state, registration_type);
    mark_lr_shape_lists_out_of_date(state.list_dirty);
}

int compute_lad_residuals(void* context_pointer, int m, int, const double* x, double* fvec, int)
{
    const LadFitContext& context = *static_cast<const LadFitContext*>(context_pointer);
    const WorkingState& state = *context.state;
    const Surface& lr = *state.lr_surface;
    const Surface& hr = *state.hr_surface;
    const std::vector<std::int32_t>& neighbours =
        state.lad_neighbours[static_cast<std::size_t>(context.vertex)];
    const Matrix4 motion = local_motion(x, neighbours.size() >= least_neighbours_to_turn);
    const Matrix4 t =
        product(product(product(hr.from_centred, state.current_transform), motion), lr.to_centred);
    const std::vector<Point3>& lr_shown = lr.shown_positions();
    const std::vector<Point3>& hr_shown = hr.shown_positions();
    const auto hr_count = static_cast<std::int64_t>(hr_shown.size());
    const bool to_rims = context.rim_mode == rims_to_rims;
    std::fill(fvec, fvec + m, 0.0);
    for (std::size_t q = 0; q < neighbours.size() && 3 * q + 2 < static_cast<std::size_t>(m); ++q) {
        const auto k = static_cast<std::size_t>(neighbours[q]);
        if (!counts_as_matched(lr, k, context.range2, hr_count))
            continue;
        const Point3& target = hr_shown[static_cast<std::size_t>(lr.match_index[k])];
        const Point3 r = weighted_residual(lr, k, transformed(t, lr_shown[k]) - target, to_rims,
                                           context.rim_weight, true);
        fvec[3 * q] = r.x;
        fvec[3 * q + 1] = r.y;
        fvec[3 * q + 2] = r.z;
    }
    return 0;
}
