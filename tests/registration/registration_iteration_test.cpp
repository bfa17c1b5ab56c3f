#include "registration/registration_iteration.h"

#include "app/working_state.h"
#include "registration/family_transform.h"
#include "registration/registration_type.h"
#include "registration/registration_type_selection.h"
#include "tests/fixtures/status_capture.h"
#include "tests/registration/pair_fixture.h"

#include <gtest/gtest.h>

TEST(AutoSequence, FollowsTheScheduleThenHoldsItsLastEntries)
{
    const int ranges[] = {60, 55, 50, 45, 40, 35, 30, 30, 30, 30, 30, 30, 30};
    const int fussy[] = {15, 15, 10, 10, 5, 5, 3, 3, 1, 1, 1, 1, 1};
    for (int k = 0; k < 13; ++k) {
        EXPECT_EQ(auto_sequence_search_range(k), ranges[k]) << k;
        EXPECT_EQ(auto_sequence_fussy_percent(k), fussy[k]) << k;
    }
    EXPECT_EQ(auto_sequence_search_range(200), 30);
}

TEST(RunRegistrationIteration, CountsStoresAndMarksResults)
{
    struct Case {
        int type;
        int rim_mode;
        int unsaved_slot; // -1 none
        bool rims_paired;
    };
    const Case cases[] = {
        {rigid, rims_yes, -1, false},
        {similarity_ffd, rims_to_rims, -1, false},
        {affine_lad, rims_yes, result_affine_lad, false},
        {similarity_tps, rims_to_rims, result_similarity_tps, true},
        {similarity_tps, rims_no, result_similarity_tps, false},
    };
    for (const Case& c : cases) {
        WorkingState state;
        load_pair(state, procedural_bone(0), procedural_bone(0));
        ASSERT_TRUE(select_registration_type(state, c.type));
        state.iteration_counter = 4;
        state.rims_paired = false;
        StatusCapture status;
        EXPECT_TRUE(run_registration_iteration(state, c.type, MatchControls{0, c.rim_mode, 100}, 20,
                                               100, state.range_units));
        EXPECT_EQ(status.messages.front(), "Iteration 4, error is 0.000000 mm per point, " +
                                               std::to_string(state.lr_surface->vertex_count) +
                                               " points")
            << c.type;
        EXPECT_EQ(state.iteration_counter, 5);
        EXPECT_TRUE(state.registration_unsaved);
        EXPECT_EQ(state.lr_surface->match_range2, -1.0); // the store forces a new matching
        for (int slot = 0; slot < 5; ++slot)
            EXPECT_EQ(state.result_unsaved[static_cast<std::size_t>(slot)], slot == c.unsaved_slot)
                << c.type;
        EXPECT_EQ(state.rims_paired, c.rims_paired) << c.type;
    }
}

TEST(RunRegistrationIteration, NoMatchSendsTheCounterToTheEnd)
{
    WorkingState state;
    load_pair(state, procedural_bone(0), procedural_bone(0));
    ASSERT_TRUE(select_registration_type(state, similarity));
    state.current_transform[12] = 500.0; // far from the HR surface
    state.iteration_counter = 2;
    StatusCapture status;
    std::int64_t matched = -1;
    EXPECT_TRUE(run_registration_iteration(state, similarity, MatchControls{0, rims_yes, 30}, 20,
                                           30, state.range_units, &matched));
    EXPECT_EQ(matched, 0);
    EXPECT_EQ(status.messages.front(), "No points within ICP distance threshold");
    EXPECT_EQ(state.iteration_counter, 21); // the "Iterations" value, then this iteration
    EXPECT_EQ(state.current_transform[12], 500.0);
}
