#include "state/working_state.h"
#include "tests/fixtures/generated_surfaces.h"

#include <gtest/gtest.h>

TEST(WorkingState, ClearingEmptiesTheWorkingDataAndKeepsPosesNamesAndBatch)
{
    WorkingState state;
    for (Surface& s : state.surfaces) {
        fill_surface(s, octahedron(2.0));
        s.name = "femur_left";
        s.centroid = {1, 2, 3};
        s.is_femur = true;
        s.landmarks.push_back({});
        s.landcurves.push_back({});
        s.smoothing_steps = 4;
        s.lad_radius_hint = 7.5;
        s.match_range2 = 4.0;
        s.landmarks_changed = false;
    }
    state.lr_surface = &state.surfaces[1]; // loading may swap the roles
    state.hr_surface = &state.surfaces[0];
    make_translation(state.similarity_transform, 4, 5, 6);
    state.similarity_ffd_grid.values[7] = 2.5;
    state.rims_paired = true;
    state.batch_running = true;
    state.batch_job_values = {1, 2, 3};
    state.hr_data_name = "thickness";
    state.ssm_mode_count = 2;
    state.ssm_mean = {1.0f, 2.0f};
    state.tps_warp.control_points.resize(3);
    state.slide_step = 0.1;
    state.lad_neighbours.resize(6);
    state.vertex_grid.cell_start.assign(VertexGrid::cell_count + 1, 0);
    state.vertex_grid.vertex_indices = {0, 1};
    state.colour_gain = 3.0;
    state.data_units = "HU";
    state.registration_unsaved = true;
    state.result_unsaved.fill(true);
    state.list_dirty.fill(false);
    state.lr_data_loaded = true;
    state.data_max = 99.0;
    state.lr_hand_annotations_unsaved = true;
    state.hr_hand_annotations_unsaved = true;
    const std::uint64_t generation = state.surfaces_generation;

    state.clear_working_data();

    EXPECT_EQ(state.lr_surface, &state.surfaces[0]);
    EXPECT_EQ(state.hr_surface, &state.surfaces[1]);
    for (const Surface& s : state.surfaces) {
        EXPECT_EQ(s.vertex_count, 0);
        EXPECT_TRUE(s.positions.empty());
        EXPECT_TRUE(s.sigma.empty());
        EXPECT_TRUE(s.landmarks.empty());
        EXPECT_TRUE(s.landcurves.empty());
        EXPECT_EQ(s.smoothing_steps, 0);
        EXPECT_EQ(s.lad_radius_hint, -1.0);
        EXPECT_EQ(s.match_range2, -1.0); // the next matching runs in full
        EXPECT_TRUE(s.landmarks_changed);
        EXPECT_EQ(s.name, "femur_left"); // the next load overwrites these
        EXPECT_EQ(s.centroid.z, 3.0);
        EXPECT_TRUE(s.is_femur);
    }
    EXPECT_EQ(state.similarity_transform[12], 4.0);
    EXPECT_EQ(state.similarity_ffd_grid.values[7], 2.5);
    EXPECT_TRUE(state.rims_paired);
    EXPECT_TRUE(state.batch_running);
    EXPECT_EQ(state.batch_job_values.size(), 3u);
    EXPECT_EQ(state.hr_data_name, "thickness");

    EXPECT_FALSE(state.has_shape_model());
    EXPECT_TRUE(state.ssm_mean.empty());
    EXPECT_TRUE(state.tps_warp.control_points.empty());
    EXPECT_EQ(state.slide_step, 0.25);
    EXPECT_TRUE(state.lad_neighbours.empty());
    EXPECT_TRUE(state.vertex_grid.is_empty());
    EXPECT_EQ(state.colour_gain, 1.0);
    EXPECT_EQ(state.data_units, "mm");
    EXPECT_FALSE(state.registration_unsaved);
    // Hand-defined annotations went with their surfaces; work still open on them can tell.
    EXPECT_FALSE(state.hand_annotations_unsaved());
    EXPECT_EQ(state.surfaces_generation, generation + 1);
    for (bool unsaved : state.result_unsaved)
        EXPECT_FALSE(unsaved);
    for (bool dirty : state.list_dirty)
        EXPECT_TRUE(dirty);
    EXPECT_FALSE(state.lr_data_loaded);
    EXPECT_EQ(state.data_max, 6.0);
}
