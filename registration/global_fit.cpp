#include "registration/global_fit.h"

#include "registration/family_transform.h"
#include "registration/fit_residual.h"
#include "registration/matching.h"
#include "registration/registration_type.h"
#include "state/working_state.h"
#include "surface/least_squares.h"
#include "surface/status_log.h"
#include "surface/thread_pool.h"
#include "surface/unfilled_vector.h"
#include "utilities/shape_model.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr double fit_tolerance = 0.1;
// Matched vertices from which a residual evaluation is spread over the threads.
constexpr std::size_t linear_residuals_in_parallel_from = 100'000;
constexpr std::size_t heavy_residuals_in_parallel_from = 10'000;
constexpr int linear_elements[9] = {0, 1, 2, 4, 5, 6, 8, 9, 10};
constexpr int affine_elements[12] = {0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14};

bool has_weighted_heights(int type)
{
    return type == rigid || type == similarity || type == affine || type == aspect;
}

bool squares_fussy_residuals(int type) { return is_ffd_type(type) || type == similarity_ssm; }

// A pose with a negative determinant is fitted as diag(-1, 1, 1) times a proper one: the first
// row of the linear part is negated.
void negate_first_row(Matrix4& t)
{
    t[0] = -t[0];
    t[4] = -t[4];
    t[8] = -t[8];
}

// The pose that parameters x stand for under type (the current transform for the FFD and SSM
// types, whose pose is not fitted).
Matrix4 parameter_transform(const WorkingState& state, int type, bool reflected, const double* x)
{
    Matrix4 p;
    switch (type) {
    case affine:
        set_zero(p);
        for (int e = 0; e < 12; ++e)
            p[affine_elements[e]] = x[e];
        p[15] = 1.0;
        return p;
    case rigid:
    case similarity:
    case aspect:
        make_transform(p, x[0], x[1], x[2], x[3], x[4], x[5]);
        if (reflected)
            negate_first_row(p);
        if (type == similarity)
            for (const int e : linear_elements)
                p[e] *= x[6];
        if (type == aspect)
            for (int column = 0; column < 3; ++column)
                for (int row = 0; row < 3; ++row)
                    p[4 * column + row] *= x[6 + column];
        return p;
    default:
        return state.current_transform;
    }
}

// Start parameters of a linear type from pose k, or false when the pose is singular.
bool linear_start(int type, Matrix4 k, bool& reflected, std::vector<double>& x)
{
    if (type == affine) {
        x.resize(12);
        for (int e = 0; e < 12; ++e)
            x[static_cast<std::size_t>(e)] = k[affine_elements[e]];
        return true;
    }
    const double det = linear_determinant(k);
    if (!(det != 0.0) || !std::isfinite(det))
        return false;
    reflected = det < 0.0;
    if (reflected)
        negate_first_row(k);
    x.assign(type == aspect ? 9 : 7, 0.0);
    if (type == aspect) {
        for (int column = 0; column < 3; ++column) {
            const double length = linear_column_length(k, column);
            if (!(length > 0.0))
                return false;
            x[static_cast<std::size_t>(6 + column)] = length;
            for (int row = 0; row < 3; ++row)
                k[4 * column + row] /= length;
        }
    } else {
        const double s = std::cbrt(linear_determinant(k));
        for (const int e : linear_elements)
            k[e] /= s;
        x[6] = s;
    }
    decompose_transform(k, x[0], x[1], x[2], x[3], x[4], x[5]);
    return true;
}

bool has_shape_model_for(const WorkingState& state, const Surface& lr)
{
    return shape_model_fits(state) &&
           stored_result_view(lr, similarity_ssm)->size() ==
               static_cast<std::size_t>(lr.vertex_count);
}

// Mean shape of vertex i plus the modes weighted by x, accumulated in double precision.
Point3 shape_model_point(const WorkingState& state, std::size_t i, const double* x,
                         std::size_t modes)
{
    double c[3];
    for (std::size_t axis = 0; axis < 3; ++axis) {
        const std::size_t row = 3 * i + axis;
        double value = state.ssm_mean[row];
        const std::vector<float>& mode_row = state.ssm_modes[row];
        for (std::size_t j = 0; j < modes; ++j)
            value += x[j] * mode_row[j];
        c[axis] = value;
    }
    return {c[0], c[1], c[2]};
}

// Vertices per chunk of a residual evaluation: the whole surface in one (on the caller) until
// the matched vertices are so many that an evaluation outlasts waking the pool many times
// over; an FFD or shape-model point costs several times a linear one.
std::size_t residual_vertices_per_chunk(const GlobalFitContext& context)
{
    const bool heavy = !context.ffd_weights.empty() || context.type == similarity_ssm;
    const std::size_t parallel_from =
        heavy ? heavy_residuals_in_parallel_from : linear_residuals_in_parallel_from;
    if (context.matched.size() < parallel_from)
        return std::numeric_limits<std::size_t>::max();
    return heavy ? 1024 : 8192;
}

bool all_finite(const std::vector<double>& values)
{
    return std::all_of(values.begin(), values.end(), [](double v) { return std::isfinite(v); });
}

} // namespace

GlobalFitContext make_global_fit_context(WorkingState& state, int type, int rim_mode,
                                         int search_range)
{
    GlobalFitContext context;
    context.state = &state;
    context.type = type;
    context.rim_mode = rim_mode;
    context.range2 = search_range_squared(state.range_units, search_range);
    context.reflected = state.fit_reflected;
    const Surface& lr = *state.lr_surface;
    const Surface& hr = *state.hr_surface;
    context.rim_weight = rim_weight(lr);
    const auto hr_count = static_cast<std::int64_t>(hr.shown_positions().size());
    const auto lr_count = static_cast<std::size_t>(std::max<std::int64_t>(lr.vertex_count, 0));
    if (lr.match_distance2.size() == lr_count && lr.match_index.size() == lr_count)
        for (std::size_t i = 0; i < lr_count; ++i)
            if (counts_as_matched(lr, i, context.range2, hr_count))
                context.matched.push_back(static_cast<std::int64_t>(i));

    const double z_low = lr.bbox_min.z;
    const double z_extent = lr.bbox_max.z - lr.bbox_min.z;
    // A box flat in z has no bottom to weight; every vertex then counts once.
    if (lr.is_femur && has_weighted_heights(type) && z_extent > 0.0)
        for (const std::int64_t i : context.matched)
            context.height_weights.push_back(
                5.0 - 4.0 * (lr.positions[static_cast<std::size_t>(i)].z - z_low) / z_extent);
    if (is_ffd_type(type)) {
        const FfdLattice lattice = state.ffd_lattice();
        for (const std::int64_t i : context.matched)
            context.ffd_weights.push_back(
                ffd_weights(lattice, lr.positions[static_cast<std::size_t>(i)]));
    }
    return context;
}

int compute_global_residuals(void* context_pointer, int m, int n, const double* x, double* fvec,
                             int)
{
    const GlobalFitContext& context = *static_cast<const GlobalFitContext*>(context_pointer);
    const WorkingState& state = *context.state;
    const Surface& lr = *state.lr_surface;
    const Surface& hr = *state.hr_surface;
    const Matrix4 t =
        product(product(hr.from_centred, parameter_transform(state, context.type,
                                                             context.reflected, x)),
                lr.to_centred);
    const std::vector<Point3>& lr_shown = lr.shown_positions();
    const std::vector<Point3>& hr_shown = hr.shown_positions();
    const bool to_rims = context.rim_mode == rims_to_rims;
    const bool square_fussy = squares_fussy_residuals(context.type);
    const auto modes = static_cast<std::size_t>(n);
    const std::vector<std::int64_t>& matched = context.matched;
    // The residuals of the matched vertex matched[q], which depend on nothing but q.
    const auto fill_matched = [&](std::size_t q, double* r3) {
        const auto i = static_cast<std::size_t>(matched[q]);
        Point3 point;
        if (!context.ffd_weights.empty())
            point = apply_ffd_weights(context.ffd_weights[q], x);
        else if (context.type == similarity_ssm)
            point = shape_model_point(state, i, x, modes);
        else
            point = lr_shown[i];
        const double w = context.height_weights.empty() ? 1.0 : context.height_weights[q];
        const Point3& target = hr_shown[static_cast<std::size_t>(lr.match_index[i])];
        const Point3 r = weighted_residual(lr, i, w * (transformed(t, point) - target), to_rims,
                                           context.rim_weight, square_fussy);
        r3[0] = r.x;
        r3[1] = r.y;
        r3[2] = r.z;
    };
    // Vertices begin..end - 1 of the m / 3 that fvec holds: each matched one's three residuals,
    // zeros for the others.
    const auto fill_vertices = [&](std::size_t begin, std::size_t end) {
        auto q = static_cast<std::size_t>(
            std::lower_bound(matched.begin(), matched.end(), static_cast<std::int64_t>(begin)) -
            matched.begin());
        std::size_t zeros_from = begin;
        for (; q < matched.size() && static_cast<std::size_t>(matched[q]) < end; ++q) {
            const auto i = static_cast<std::size_t>(matched[q]);
            std::fill(fvec + 3 * zeros_from, fvec + 3 * i, 0.0);
            fill_matched(q, fvec + 3 * i);
            zeros_from = i + 1;
        }
        std::fill(fvec + 3 * zeros_from, fvec + 3 * end, 0.0);
    };
    const auto vertices = static_cast<std::size_t>(std::max(m, 0)) / 3;
    parallel_for(vertices, residual_vertices_per_chunk(context),
                 [&](std::size_t begin, std::size_t end) { fill_vertices(begin, end); });
    std::fill(fvec + 3 * vertices, fvec + std::max(m, 0), 0.0);
    return 0;
}

bool run_global_fit(WorkingState& state, int type, int rim_mode, int search_range)
{
    if (!is_global_type(type))
        return false;
    Surface& lr = *state.lr_surface;
    Matrix4& pose = state.current_transform;
    if (!is_finite_transform(pose)) {
        log_status(singular_pose_message);
        return false;
    }
    std::vector<double> x;
    if (is_ffd_type(type)) {
        x.assign(state.current_ffd_grid->values.begin(), state.current_ffd_grid->values.end());
    } else if (type == similarity_ssm) {
        if (!has_shape_model_for(state, lr))
            return false;
        stored_result(lr, similarity_ssm); // the fit starts from it and replaces it
        x.assign(static_cast<std::size_t>(state.ssm_mode_count), 0.0);
        for (std::size_t j = 0; j < x.size(); ++j) {
            double projection = 0.0;
            for (std::size_t i = 0; i < lr.sim_ssm_positions.size(); ++i) {
                const Point3& p = lr.sim_ssm_positions[i];
                const double offsets[3] = {p.x - state.ssm_mean[3 * i],
                                           p.y - state.ssm_mean[3 * i + 1],
                                           p.z - state.ssm_mean[3 * i + 2]};
                for (std::size_t c = 0; c < 3; ++c)
                    projection += offsets[c] * state.ssm_modes[3 * i + c][j];
            }
            x[j] = projection;
        }
    } else {
        bool reflected = false;
        if (!linear_start(type, pose, reflected, x)) {
            log_status(singular_pose_message);
            return false;
        }
        if (type != affine)
            state.fit_reflected = reflected;
    }
    // The rigid start carries the scale in x[6], which the rigid fit does not use.
    const std::int64_t n = type == rigid ? 6 : static_cast<std::int64_t>(x.size());

    GlobalFitContext context = make_global_fit_context(state, type, rim_mode, search_range);
    const std::int64_t m = 3 * lr.vertex_count;
    // The residual space stays with the thread from fit to fit and is not cleared: the
    // residual function writes all m residuals before the solver reads any. A fresh vector per
    // fit was zeroed and faulted in anew at every iteration.
    thread_local UnfilledVector<double> fvec;
    if (fvec.size() < static_cast<std::size_t>(std::max<std::int64_t>(m, 0)))
        fvec.resize(static_cast<std::size_t>(m));
    std::int64_t info = 0;
    run_lmdif(compute_global_residuals, &context, m, n, x.data(), fvec.data(), fit_tolerance, info);
    if (!all_finite(x)) {
        log_status(singular_pose_message);
        return false;
    }

    if (is_ffd_type(type)) {
        std::copy(x.begin(), x.end(), state.current_ffd_grid->values.begin());
        update_deformed_positions(state, type);
        mark_lr_shape_lists_out_of_date(state.list_dirty);
    } else if (type == similarity_ssm) {
        for (std::size_t i = 0; i < lr.sim_ssm_positions.size(); ++i)
            lr.sim_ssm_positions[i] = shape_model_point(state, i, x.data(), x.size());
        update_deformed_positions(state, type);
        mark_lr_shape_lists_out_of_date(state.list_dirty);
        state.result_unsaved[result_similarity_ssm] = true;
    } else {
        const Matrix4 fitted = parameter_transform(state, type, state.fit_reflected, x.data());
        if (!is_finite_transform(fitted)) {
            log_status(singular_pose_message);
            return false;
        }
        pose = fitted;
    }
    store_current_transform(state, type);
    return true;
}
