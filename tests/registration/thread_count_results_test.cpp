// Matching, the fits and the deformed shape give the very same bits on one thread and on
// eight, on pairs large enough that every loop is spread over the threads.
#include "registration/ffd_grid.h"
#include "registration/global_fit.h"
#include "registration/matching.h"
#include "registration/registration_iteration.h"
#include "registration/registration_type.h"
#include "registration/registration_type_selection.h"
#include "state/working_state.h"
#include "tests/fixtures/thread_count.h"
#include "tests/registration/pair_fixture.h"

#include <gtest/gtest.h>

#include <wx/log.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr int search_range = 30; // 3 mm with the bone's 10 units per mm

template <typename T> bool same_bits(const std::vector<T>& a, const std::vector<T>& b)
{
    return a.size() == b.size() &&
           (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0);
}

// The bone of detail against itself turned by 2 degrees and moved by about 1 mm.
std::unique_ptr<WorkingState> bone_pair(int detail)
{
    auto state = std::make_unique<WorkingState>();
    const Mesh bone = procedural_bone(detail);
    Matrix4 offset;
    make_transform(offset, 1.0, -0.5, 0.5, 2.0, -1.0, 1.0);
    load_pair(*state, transformed_mesh(bone, offset), bone);
    return state;
}

struct IterationResult {
    std::vector<std::int64_t> match_index;
    std::vector<double> match_distance2;
    std::vector<std::uint8_t> fussy;
    Matrix4 pose;
    std::vector<double> grid;
    std::vector<Point3> deformed;
};

// Two iterations of type with "Fussy %" 10 (both passes of matching, squared fussy residuals
// in the FFD fit) on threads threads.
IterationResult iterate(WorkingState& state, int type, int threads)
{
    const ThreadCount count(threads);
    wxLogNull quiet;
    select_registration_type(state, type);
    state.iteration_counter = 0;
    const MatchControls controls{10, rims_yes, search_range};
    for (int k = 0; k < 2; ++k)
        run_registration_iteration(state, type, controls, 2, search_range, state.range_units);
    const Surface& lr = *state.lr_surface;
    IterationResult result;
    result.match_index = lr.match_index;
    result.match_distance2 = lr.match_distance2;
    result.fussy = lr.fussy;
    result.pose = state.current_transform;
    result.grid.assign(state.current_ffd_grid->values.begin(),
                       state.current_ffd_grid->values.end());
    result.deformed = lr.deformed_positions;
    return result;
}

void expect_same_bits(const IterationResult& serial, const IterationResult& parallel)
{
    EXPECT_TRUE(same_bits(serial.match_index, parallel.match_index));
    EXPECT_TRUE(same_bits(serial.match_distance2, parallel.match_distance2));
    EXPECT_TRUE(same_bits(serial.fussy, parallel.fussy));
    EXPECT_EQ(std::memcmp(&serial.pose, &parallel.pose, sizeof(Matrix4)), 0);
    EXPECT_TRUE(same_bits(serial.grid, parallel.grid));
    EXPECT_TRUE(same_bits(serial.deformed, parallel.deformed));
}

TEST(ThreadCountResults, ASimilarityRunAboveTheResidualsSplitIsTheSameOnEveryThreadCount)
{
    // About 155k vertices: matching and the residuals of the linear fit both run in parallel.
    std::unique_ptr<WorkingState> one = bone_pair(4);
    ASSERT_GT(one->lr_surface->vertex_count, 150'000);
    const IterationResult serial = iterate(*one, similarity, 1);
    std::unique_ptr<WorkingState> eight = bone_pair(4);
    const IterationResult parallel = iterate(*eight, similarity, 8);
    expect_same_bits(serial, parallel);
}

TEST(ThreadCountResults, FfdFitsAreTheSameOnEveryThreadCount)
{
    // About 2400 vertices, 192 parameters: the steps of the solver's factorisation spread
    // over the threads.
    for (const int type : {similarity_ffd, affine_ffd}) {
        std::unique_ptr<WorkingState> one = bone_pair(1);
        ASSERT_GT(one->lr_surface->vertex_count, 2000);
        const IterationResult serial = iterate(*one, type, 1);
        std::unique_ptr<WorkingState> eight = bone_pair(1);
        const IterationResult parallel = iterate(*eight, type, 8);
        expect_same_bits(serial, parallel);
        // The fit moved the grid.
        FfdGrid undeformed;
        reset_ffd_grid(one->ffd_lattice(), undeformed);
        EXPECT_FALSE(
            std::equal(undeformed.values.begin(), undeformed.values.end(), serial.grid.begin()))
            << type;
    }
}

TEST(ThreadCountResults, FfdResidualsAndTheDeformedShapeAreTheSameOnEveryThreadCount)
{
    // About 39k vertices: above the split of the FFD residuals and of the deformed shape. A
    // whole FFD fit of this size would take minutes; its residuals at a moved grid and the
    // shape under that grid show the same.
    std::unique_ptr<WorkingState> state = bone_pair(3);
    select_registration_type(*state, similarity_ffd);
    {
        wxLogNull quiet;
        establish_matches(*state, {10, rims_yes, search_range});
    }
    FfdGrid& grid = *state->current_ffd_grid;
    for (std::size_t e = 0; e < grid.values.size(); ++e)
        grid.values[e] += 0.01 * static_cast<double>(e % 7) - 0.03;
    const GlobalFitContext context =
        make_global_fit_context(*state, similarity_ffd, rims_yes, search_range);
    ASSERT_GT(context.matched.size(), 30'000u);
    const int m = static_cast<int>(3 * state->lr_surface->vertex_count);
    std::vector<std::vector<double>> residuals;
    std::vector<std::vector<Point3>> shapes;
    for (const int threads : {1, 8}) {
        const ThreadCount count(threads);
        std::vector<double> fvec(static_cast<std::size_t>(m), 7.0);
        compute_global_residuals(const_cast<GlobalFitContext*>(&context), m, 192,
                                 grid.values.data(), fvec.data(), 1);
        residuals.push_back(fvec);
        update_deformed_positions(*state, similarity_ffd);
        shapes.push_back(state->lr_surface->deformed_positions);
    }
    EXPECT_TRUE(same_bits(residuals[0], residuals[1]));
    EXPECT_TRUE(same_bits(shapes[0], shapes[1]));
}

} // namespace
