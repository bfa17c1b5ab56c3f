#include "registration/matching.h"

#include "registration/family_transform.h"
#include "registration/match_range.h"
#include "registration/registration_type.h"
#include "registration/vertex_grid_walk.h"
#include "state/working_state.h"
#include "surface/c_locale.h"
#include "surface/status_log.h"
#include "surface/thread_pool.h"

#include <algorithm>
#include <cmath>

namespace {

// Every cosine test compares against this; about 45 degrees.
constexpr double cosine_limit = 0.707;
// Squared distances (mm^2) below which the direction test and the curvature test are skipped.
constexpr double direction_test_from = 1.0;
constexpr double curvature_test_from = 9.0;
constexpr double curvature_tolerance = 0.025;
// A few hundred grid walks: long enough to outweigh handing the chunk to a thread.
constexpr std::size_t vertices_per_chunk = 256;
// The walks of some parts of a surface (where its vertices crowd) cost several times those of
// others, so matching is cut into more chunks than most loops, that the last chunks handed out
// be short.
constexpr std::size_t matching_chunks_per_thread = 32;

template <typename T> bool has_size(const std::vector<T>& values, std::size_t n)
{
    return values.size() == n;
}

// The per-vertex arrays that matching reads (and, on LR, writes) are all present.
bool has_matching_arrays(const Surface& surface)
{
    const auto n = static_cast<std::size_t>(surface.vertex_count);
    return has_size(surface.shown_positions(), n) && has_size(surface.shown_normals(), n) &&
           has_size(surface.on_rim, n) && has_size(surface.rim_direction, n) &&
           has_size(surface.curvature, n) && has_size(surface.fussy, n) &&
           has_size(surface.match_index, n) && has_size(surface.match_distance2, n);
}

// The LR vertex being matched, placed by the current transform.
struct MatchedVertex {
    Point3 position;
    Point3 normal;        // unit, or zero
    Point3 rim_direction; // unit, or zero; only for LR rim vertices
    double abs_curvature = 0.0;
    bool on_rim = false;
    bool tested = false;
};

class CandidateTest {
public:
    CandidateTest(const Surface& hr, int rim_mode) : hr_(hr), rim_mode_(rim_mode) {}

    // The value with which HR vertex k, at position, would be accepted for vertex, given the
    // best so far; false when k is rejected. A value equal to best wins only when tie_wins (k
    // comes earlier in the table's walk order than the best so far).
    bool accepts(const MatchedVertex& vertex, std::int64_t k, const Point3& position, double best,
                 bool tie_wins, double& value) const
    {
        const auto h = static_cast<std::size_t>(k);
        const Point3 g = vertex.position - position;
        const double s = dot(g, g);
        if (rim_mode_ == rims_to_rims && vertex.on_rim) {
            const double e = hr_.on_rim[h] ? s : missing_value;
            if (!(e < best || (tie_wins && e == best)))
                return false;
            if (vertex.tested) {
                const Point3 u = normalized(g);
                const Point3& hr_direction = hr_.rim_direction[h];
                if (e > direction_test_from &&
                    std::fabs(dot(u, vertex.rim_direction)) > cosine_limit &&
                    std::fabs(dot(u, hr_direction)) > cosine_limit)
                    return false; // the offset runs along both rims
                if (std::fabs(dot(hr_direction, vertex.rim_direction)) < cosine_limit)
                    return false;
                if (!normals_agree(vertex, h, e))
                    return false;
            }
            value = e;
            return true;
        }
        if (!(s < best || (tie_wins && s == best)))
            return false;
        if (vertex.tested) {
            if (s >= direction_test_from) {
                const Point3 u = normalized(g);
                if (!(std::fabs(dot(u, vertex.normal)) > cosine_limit ||
                      std::fabs(dot(u, hr_.shown_normals()[h])) > cosine_limit))
                    return false;
            }
            if (!normals_agree(vertex, h, s))
                return false;
        }
        value = s;
        return true;
    }

private:
    bool normals_agree(const MatchedVertex& vertex, std::size_t h, double v) const
    {
        if (!(dot(hr_.shown_normals()[h], vertex.normal) > cosine_limit))
            return false;
        if (v < curvature_test_from)
            return true;
        return std::fabs(std::fabs(hr_.curvature[h]) - vertex.abs_curvature) < curvature_tolerance;
    }

    const Surface& hr_;
    int rim_mode_;
};

void set_fussy_flags(Surface& lr, int fussy_percent)
{
    if (fussy_percent <= 0) {
        std::fill(lr.fussy.begin(), lr.fussy.end(), 0);
        return;
    }
    if (fussy_percent >= 100) {
        std::fill(lr.fussy.begin(), lr.fussy.end(), 1);
        return;
    }
    std::vector<double> matched;
    matched.reserve(lr.match_distance2.size());
    for (const double d2 : lr.match_distance2)
        if (d2 < missing_value)
            matched.push_back(d2);
    double percentile = 0.0;
    if (!matched.empty()) {
        // The position is computed in integers, exactly as (100 - f) |L| / 100 rounded down.
        const auto count = static_cast<std::int64_t>(matched.size());
        const auto position = static_cast<std::size_t>(((100 - fussy_percent) * count) / 100);
        std::nth_element(matched.begin(), matched.begin() + static_cast<std::ptrdiff_t>(position),
                         matched.end());
        percentile = matched[position];
    }
    for (std::size_t i = 0; i < lr.fussy.size(); ++i)
        lr.fussy[i] = lr.match_distance2[i] > percentile ? 1 : 0;
}

} // namespace

double search_range_squared(double range_units, int search_range)
{
    const double range = search_range / range_units;
    return range * range;
}

void match_vertices(WorkingState& state, int pass, const MatchControls& controls)
{
    Surface& lr = *state.lr_surface;
    const Surface& hr = *state.hr_surface;
    const double r2 = search_range_squared(state.range_units, controls.search_range);
    const int fussy_percent = std::clamp(controls.fussy_percent, 0, 100);
    const auto lr_count = static_cast<std::size_t>(lr.vertex_count);

    if (lr.vertex_count > 0 && has_matching_arrays(lr)) {
        const bool hr_usable =
            hr.vertex_count > 0 && has_matching_arrays(hr) &&
            state.vertex_grid.vertex_indices.size() == static_cast<std::size_t>(hr.vertex_count);
        const Matrix4 t = lr_to_hr_file_transform(lr, hr, state.current_transform);
        const CandidateTest test(hr, controls.rim_mode);
        const std::vector<Point3>& positions = lr.shown_positions();
        const std::vector<Point3>& normals = lr.shown_normals();
        // Each vertex reads only the grid, the HR surface and its own LR entries, and writes
        // only its own match: the vertices can be matched in any order, on any thread.
        const auto match_vertex = [&](std::size_t i) {
            MatchedVertex vertex;
            vertex.position = transformed(t, positions[i]);
            vertex.on_rim = lr.on_rim[i] != 0;
            vertex.tested = pass == 1 || lr.fussy[i] != 0;
            // Only the tests read the directions and the curvature.
            if (vertex.tested) {
                vertex.normal =
                    normalized(linear_part_applied(state.current_transform, normals[i]));
                if (vertex.on_rim)
                    vertex.rim_direction = normalized(
                        linear_part_applied(state.current_transform, lr.rim_direction[i]));
                vertex.abs_curvature = std::fabs(lr.curvature[i]);
            }
            // A vertex under no test takes the nearest HR vertex, as a plain search finds it.
            const bool plain =
                !vertex.tested && !(controls.rim_mode == rims_to_rims && vertex.on_rim);

            double best = missing_value;
            double& distance2 = lr.match_distance2[i];
            std::int64_t& match = lr.match_index[i];
            distance2 = missing_value;
            if (!hr_usable)
                return;
            WalkOrderTie best_place;
            const auto take_nearest = [&](const GridWalkRow& row, const std::int64_t* indices,
                                          const Point3* run_positions, std::size_t count) {
                if (take_nearest_of_run(vertex.position, row.rank, indices, run_positions, count,
                                        best, best_place)) {
                    distance2 = best;
                    match = best_place.index;
                }
            };
            const auto take_accepted = [&](const GridWalkRow& row, const std::int64_t* indices,
                                           const Point3* run_positions, std::size_t count) {
                const auto offer = [&](std::size_t j) {
                    const std::int64_t k = indices[j];
                    double value = 0.0;
                    if (test.accepts(vertex, k, run_positions[j], best,
                                     best_place.is_after(row.rank, k), value)) {
                        best = distance2 = value;
                        best_place = {row.rank, k};
                        match = k;
                    }
                };
                // No value is below the squared distance, so only the vertices no farther
                // than the best can be accepted.
                for_each_no_farther(vertex.position, run_positions, count, best, offer);
            };
            // Any HR vertex that would be accepted bounds the answer from above, and the
            // previous match, moved little since, usually bounds it closely. It may stand as
            // the best from the start when its row's bound lies within both its value and the
            // range: the walk then reaches that row and ends where it would have ended
            // without it, with the same answer, having left out only candidates that could
            // not have won. (A row's bound, rounded to 6 places, can exceed the distances of
            // its own vertices.)
            const auto start = [&](const WalkStart& walk) {
                WalkPlace previous;
                if (!walk.find(match, previous))
                    return;
                double value = missing_value;
                if (plain)
                    value = squared_distance(vertex.position, *previous.position);
                else if (!test.accepts(vertex, match, *previous.position, missing_value, false,
                                       value))
                    value = missing_value;
                if (value < missing_value && previous.bound2 <= value && previous.bound2 <= r2) {
                    best = distance2 = value;
                    best_place = {previous.rank, match};
                }
            };
            const auto visit = [&](const GridWalkRow& row) {
                if (row.bound2 > r2) {
                    if (best > row.bound2)
                        best = distance2 = missing_value;
                    return false;
                }
                if (row.cell_distance2 > best)
                    return true; // nothing nearer in this cell
                const auto run = [&](const std::int64_t* indices, const Point3* run_positions,
                                     std::size_t count) {
                    if (plain)
                        take_nearest(row, indices, run_positions, count);
                    else
                        take_accepted(row, indices, run_positions, count);
                };
                row.for_each_run(best, run);
                return true;
            };
            state.vertex_grid.walk(hr.bbox_min, state.grid_cell_size, vertex.position, best, start,
                                   visit);
            if (controls.rim_mode == rims_no && r2 > best && match >= 0 &&
                match < hr.vertex_count && hr.on_rim[static_cast<std::size_t>(match)])
                best = distance2 = missing_value;
        };
        parallel_for_each(lr_count, vertices_per_chunk, match_vertex, matching_chunks_per_thread);
        set_fussy_flags(lr, fussy_percent);
    }
    lr.match_range2 = r2 + 1e-8;
    mark_error_lists_out_of_date(state.list_dirty);
}

void establish_matches(WorkingState& state, const MatchControls& controls)
{
    if (controls.fussy_percent != 0)
        match_vertices(state, 1, controls);
    match_vertices(state, 0, controls);
}

std::int64_t establish_matches_and_display_alignment_error(WorkingState& state,
                                                           const MatchControls& controls,
                                                           std::int64_t iterations)
{
    const double r2 = search_range_squared(state.range_units, controls.search_range);
    Surface& lr = *state.lr_surface;
    if (r2 > lr.match_range2)
        establish_matches(state, controls);
    std::int64_t matched = 0;
    double sum = 0.0;
    if (lr.vertex_count > 0 &&
        lr.match_distance2.size() == static_cast<std::size_t>(lr.vertex_count))
        for (std::size_t i = 0; i < lr.match_distance2.size(); ++i)
            if (within_match_range(lr, i, r2)) {
                ++matched;
                sum += std::sqrt(lr.match_distance2[i]);
            }
    if (matched > 0) {
        const double mean = sum / static_cast<double>(matched);
        if (!state.run_active())
            log_status(c_format("Registration error is %f mm per point, %ld points", mean,
                                static_cast<long>(matched)));
        else
            log_status(c_format("Iteration %ld, error is %f mm per point, %ld points",
                                static_cast<long>(state.iteration_counter), mean,
                                static_cast<long>(matched)));
    } else {
        log_status("No points within ICP distance threshold");
        if (state.run_active())
            state.iteration_counter = iterations;
    }
    return matched;
}
