#include "registration/registration_iteration.h"

#include "app/working_state.h"
#include "registration/family_transform.h"
#include "registration/global_fit.h"
#include "registration/local_affine.h"
#include "registration/registration_type.h"
#include "registration/semilandmark_sliding.h"

const char no_surfaces_to_register_message[] = "No surfaces to register";

namespace {

template <typename Table>
int schedule_entry(const Table& table, std::int64_t iteration)
{
    if (iteration < 0)
        iteration = 0;
    const auto last = static_cast<std::int64_t>(table.size()) - 1;
    return table[static_cast<std::size_t>(iteration < last ? iteration : last)];
}

} // namespace

int auto_sequence_search_range(std::int64_t iteration)
{
    return schedule_entry(auto_sequence_search_ranges, iteration);
}

int auto_sequence_fussy_percent(std::int64_t iteration)
{
    return schedule_entry(auto_sequence_fussy_percents, iteration);
}

bool run_registration_iteration(WorkingState& state, int registration_type,
                                const MatchControls& controls, std::int64_t iterations,
                                int lad_search_range, double lad_range_units, std::int64_t* matched)
{
    const std::int64_t matches =
        establish_matches_and_display_alignment_error(state, controls, iterations);
    if (matched != nullptr)
        *matched = matches;
    if (registration_type == similarity_tps) {
        if (!run_tps_step(state))
            return false;
    } else if (is_lad_type(registration_type)) {
        run_lad_step(state, registration_type, controls, lad_search_range, lad_range_units);
    } else {
        run_global_fit(state, registration_type, controls.rim_mode, controls.search_range);
    }
    if (const int slot = result_slot(registration_type); slot >= 0)
        state.result_unsaved[static_cast<std::size_t>(slot)] = true;
    store_current_transform(state, registration_type);
    ++state.iteration_counter;
    if (registration_type == similarity_tps && controls.rim_mode == rims_to_rims)
        state.rims_paired = true;
    return true;
}
