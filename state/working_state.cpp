#include "state/working_state.h"

WorkingState::WorkingState()
{
    hr_surface = &surfaces[1];
    lr_surface = &surfaces[0];
    screen_matrix = identity_matrix().m;
    list_dirty.fill(true);
}

void WorkingState::clear_working_data()
{
    tps_warp.clear();
    slide_step = 0.25;
    ssm_mean.clear();
    ssm_variances.clear();
    ssm_modes.clear();
    ssm_mode_count = 0;
    hr_surface = &surfaces[1];
    lr_surface = &surfaces[0];
    for (Surface& surface : surfaces)
        surface.clear();
    lad_neighbours.clear();
    lad_parameters.clear();
    lad_refresh_counter = 0;
    vertex_grid.clear();
    projection_indexes.clear();
    colour_gain = 1.0;
    colour_offset = 0.0;
    data_units = "mm";
    landcurve_state = 0;
    lr_hand_annotations_unsaved = false;
    hr_hand_annotations_unsaved = false;
    ++surfaces_generation;
    registration_unsaved = false;
    result_unsaved.fill(false);
    list_dirty.fill(true);
    lr_data_loaded = false;
    data_min = 0.0;
    data_max = 6.0;
    screen_matrix = identity_matrix().m;
}

void WorkingState::note_hand_defined(const Surface& surface)
{
    if (&surface == lr_surface)
        lr_hand_annotations_unsaved = true;
    else
        hr_hand_annotations_unsaved = true;
}
