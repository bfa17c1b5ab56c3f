#include "registration/registration_type_selection.h"

#include "registration/default_pose.h"
#include "registration/family_transform.h"
#include "registration/ffd_grid.h"
#include "registration/registration_type.h"
#include "state/working_state.h"

bool select_registration_type(WorkingState& state, int type)
{
    Surface& lr = *state.lr_surface;
    if (FfdGrid* grid = family_ffd_grid(state, type))
        state.current_ffd_grid = grid;
    if (lr.vertex_count == 0 || !is_valid_registration_type(type))
        return false;
    if (shows_positions_as_read(type)) {
        if (lr.shown != ShownShape::as_read) {
            lr.shown = ShownShape::as_read;
            mark_lr_shape_lists_out_of_date(state.list_dirty);
        }
    } else {
        lr.shown = ShownShape::deformed;
        mark_lr_shape_lists_out_of_date(state.list_dirty);
    }
    // Also for the linear types: their deformed positions, which are saved and mapped, must
    // lose the shape of the type chosen before.
    update_deformed_positions(state, type);
    restore_current_transform(state, type);
    return true;
}

void reset_registration(WorkingState& state, int type)
{
    Surface& lr = *state.lr_surface;
    if (shows_positions_as_read(type)) {
        *family_slot(state, type) =
            compute_default_pose(*state.lr_surface, *state.hr_surface, state.batch_running);
    } else if (FfdGrid* grid = family_ffd_grid(state, type)) {
        reset_ffd_grid(state.ffd_lattice(), *grid);
    } else if (std::vector<Point3>* result = stored_result(lr, type)) {
        *result = lr.positions;
        state.result_unsaved[static_cast<std::size_t>(result_slot(type))] = true;
        if (type == similarity_tps) {
            state.tps_warp.clear();
            state.slide_step = 0.25;
        }
    }
    restore_current_transform(state, type);
    state.registration_unsaved = true;
    update_deformed_positions(state, type);
    state.lad_refresh_counter = 0;
    mark_lr_shape_lists_out_of_date(state.list_dirty);
}
